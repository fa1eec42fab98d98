// Text for the control ports from code below the front ends (core, hardware). The text front end
// registers the sinks at start-up; until then notices go nowhere.
#pragma once

#include <functional>
#include <string>

using NoticeSink = std::function<void(const std::string&)>;

// Every raw TCP client, every telnet client and the RS-232 port.
void SetNoticeSink(NoticeSink sink);
// Sends text to every control port. Never call it while holding the configuration lock: a port
// that does not read can hold the caller for as long as its write takes.
void SendNotice(const std::string& text);

// The network clients only (raw TCP and telnet), for what the RS-232 port does not hear about.
void SetNetworkNoticeSink(NoticeSink sink);
void SendNetworkNotice(const std::string& text);

// The RS-232 port's banner, shown again after every power change.
void SetSerialBannerHook(std::function<void()> hook);
void ShowSerialBanner();

// Back to no sinks (tests).
void ResetNoticeSinks();
