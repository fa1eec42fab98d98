// Saving a network edit that is not applied yet. The text NET commands and the LCD network page
// edit g_pending_config; writing that whole copy over the file would throw away every other
// change made meanwhile through the live record (web, panel, workers). The merged save writes the
// live record with the pending network settings in it instead.
#pragma once

#include <string>

#include "devctl/core/app_config.h"

// Copies the settings a network edit changes (dhcp, ipaddress, subnet, gateway, hostname).
void CopyEditedNetworkSettings(const app_config_s& from, app_config_s* to);

// Saves g_app_config merged with the pending network settings of g_pending_config to path.
// The live record itself is not changed. Returns SaveAppConfig's result.
bool SavePendingNetworkEdit(const std::string& path);
