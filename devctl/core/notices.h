// Text for the control ports from code below the front ends (core, hardware): every raw TCP
// client, every telnet client and the RS-232 port receive it. The text front end registers the
// sink at start-up; until then notices go nowhere.
#pragma once

#include <functional>
#include <string>

void SetNoticeSink(std::function<void(const std::string&)> sink);

// Sends text to every control port. Never call it while holding the configuration lock: a port
// that does not read can hold the caller for as long as its write takes.
void SendNotice(const std::string& text);
