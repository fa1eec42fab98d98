// The web commands of the unit-wide settings: standby mode, baud rate, key lock, control-port
// enables, power, power LED, LCD light, auto-standby time, phantom power, USB port, reboot and
// factory reset.
#pragma once

#include "devctl/web/web_command.h"

bool WebSetStandbyMode(const cJSON* request, WebAnswer& answer);
bool WebSetBaudRate(const cJSON* request, WebAnswer& answer);
bool WebSetKeyLock(const cJSON* request, WebAnswer& answer);
bool WebSetTcpPortEnable(const cJSON* request, WebAnswer& answer);
bool WebSetTelnetPortEnable(const cJSON* request, WebAnswer& answer);
bool WebSetPower(const cJSON* request, WebAnswer& answer);
bool WebSetPowerLed(const cJSON* request, WebAnswer& answer);
bool WebSetFrontLcd(const cJSON* request, WebAnswer& answer);
bool WebSetAutoStandbyTime(const cJSON* request, WebAnswer& answer);
bool WebSetInputPhantom(const cJSON* request, WebAnswer& answer);
bool WebSetInputUsb(const cJSON* request, WebAnswer& answer);
bool WebReboot(const cJSON* request, WebAnswer& answer);
bool WebSetFactory(const cJSON* request, WebAnswer& answer);

extern const WebCommandRows kWebSystemRows;
