// "get upgrade status" and "GetUpgradeFW": the progress of a staged upgrade.
#pragma once

#include "devctl/web/web_command.h"

bool WebGetUpgradeStatus(const cJSON* request, WebAnswer& answer);
// Always answers "percent" 17.
bool WebGetUpgradeFw(const cJSON* request, WebAnswer& answer);

extern const WebCommandRows kWebUpgradeRows;
