// The web handlers of the status getters, the account table and the network settings.
#pragma once

#include <string>

#include "devctl/web/web_command.h"

// Status getters: the reply is the report, "comhead" echoed (empty when absent).
extern const WebCommandRows kWebStatusRows;
bool WebGetControlStatus(const cJSON* request, WebAnswer& answer);
bool WebGetInputStatus(const cJSON* request, WebAnswer& answer);
bool WebGetOutputStatus(const cJSON* request, WebAnswer& answer);
bool WebGetPeqStatus(const cJSON* request, WebAnswer& answer);
bool WebGetPresetStatus(const cJSON* request, WebAnswer& answer);
bool WebGetSystemStatus(const cJSON* request, WebAnswer& answer);
bool WebGetStatus(const cJSON* request, WebAnswer& answer);

// The network-audio engine's device prefix ("product"/"devicePrefix" of its capability file, at
// most 127 characters) into *out; *out is left as it was when there is none.
void ReadTarvoDevicePrefix(std::string* out);
// "<prefix>-xxxxxx" from the last three bytes of a MAC text (unreadable bytes count as 0).
std::string DeviceName(const std::string& prefix, const std::string& mac);

// Accounts.
extern const WebCommandRows kWebAccountRows;
bool WebLogin(const cJSON* request, WebAnswer& answer);
bool WebLogout(const cJSON* request, WebAnswer& answer);
bool WebModifyPassword(const cJSON* request, WebAnswer& answer);
bool WebModifyUsername(const cJSON* request, WebAnswer& answer);
bool WebGetUser(const cJSON* request, WebAnswer& answer);
bool WebGetLoginUser(const cJSON* request, WebAnswer& answer);
bool WebAddLoginUser(const cJSON* request, WebAnswer& answer);
bool WebDeleteLoginUser(const cJSON* request, WebAnswer& answer);
bool WebGetUserLimit(const cJSON* request, WebAnswer& answer);
bool WebSetUserLimit(const cJSON* request, WebAnswer& answer);
bool WebSetUserEnabled(const cJSON* request, WebAnswer& answer);
bool WebGetPresetUser(const cJSON* request, WebAnswer& answer);

// Network settings.
extern const WebCommandRows kWebNetworkRows;
bool WebSetNetwork(const cJSON* request, WebAnswer& answer);
bool WebSetDefaultsNetwork(const cJSON* request, WebAnswer& answer);
