// The "[SUCCESS]" notice of a web command that changed something, for every control-port client.
#pragma once

#include <string>

// Sends text once to the raw TCP clients, then the telnet clients, then the RS-232 port, with no
// prompt. An empty text sends nothing.
void SendNotice(const std::string& text);
