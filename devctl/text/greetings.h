// What a control port shows when a client connects or the port starts: the telnet option
// opening and the banner ending with the prompt.
#pragma once

#include <cstdint>
#include <string>

// The banner for the live configuration's model and the main firmware version, at most 255
// characters.
std::string FormatBanner();

// On-connect callback of the telnet server: the option opening to the new client, then the
// banner to every telnet client.
void OnTelnetClientConnect(int fd);
// On-connect callback of the raw TCP server: raw clients get no greeting.
void OnTcpClientConnect(int fd);
// On-start callback of the RS-232 port: the banner, the first time in the run only.
void SendUartBannerOnce();
// The banner to the RS-232 port (after every power change).
void SendUartBanner();
