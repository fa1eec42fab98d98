// The network edit of the text protocol. The NET commands and the LCD network page edit
// g_unit.pending; writing that whole copy over the file would throw away every other change
// made meanwhile through the live record (web, panel, workers). While an edit is open, every save
// of the live record writes it merged with the pending network settings instead.
#pragma once

#include <string>

#include "devctl/core/app_config.h"

// While a network edit is open (g_unit.net_edit_pending), NET commands change g_unit.pending until
// a line without "NET" (and without "STATUS") closes the edit and writes the live settings back.

// Copies the settings a network edit changes (dhcp, ipaddress, subnet, gateway, hostname).
void CopyEditedNetworkSettings(const app_config_s& from, app_config_s* to);

// Saves g_unit.config merged with the pending network settings of g_unit.pending to path.
// The live record itself is not changed. Returns SaveAppConfig's result.
bool SavePendingNetworkEdit(const std::string& path);

// The edit step every text line goes through first, with the upper-cased text of the line before
// any "NAME". A NET line opens an edit on a fresh copy of the stored configuration; the first
// later line that is neither NET nor STATUS closes it and puts the live network settings back in
// the file, dhcpcd.conf and the host name. An edit whose reboot was asked for is never closed,
// and nothing is written back while saves are frozen. The caller holds the configuration lock.
void NetworkEditStep(const std::string& scope);
