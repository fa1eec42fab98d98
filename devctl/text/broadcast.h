// Sends one text to every control port: every raw TCP client, every telnet client, the RS-232
// port, in that order.
#pragma once

#include <string>

void BroadcastToPorts(const std::string& text);
