// Sends one text to every control port: every raw TCP client, every telnet client, the RS-232
// port, in that order. Sent from the RS-232 port's own thread (the reply to a line typed there),
// the text counts as that port's own output, which its queue keeps before other broadcasts when
// the line falls behind (uart.h).
#pragma once

#include <string>

void BroadcastToPorts(const std::string& text);

// Every raw TCP and telnet client, not the RS-232 port.
void SendToNetworkClients(const std::string& text);

// Makes the control ports the destination of the notices of core and hardware (notices.h):
// all-port notices, network-only notices and the RS-232 banner after a power change.
void RegisterControlPortNotices();
