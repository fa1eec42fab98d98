// The handlers of the web command table. Every handler takes the NUL-terminated JSON request body
// and the reply string, writes its reply and returns true when it answered the command.
#pragma once

#include <string>

// Stands in the table for a command whose handler is not part of this build: answers exactly as
// for a command the unit does not know ("unsupported command", "result" "fail").
bool WebUnsupportedCommand(const char* body, std::string& reply);

// "set input gain" and "set input mute".
bool WebSetInputGain(const char* body, std::string& reply);
bool WebSetInputMute(const char* body, std::string& reply);
