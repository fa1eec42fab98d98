// The handlers of the web command table (web_commands.cpp), by family.
#pragma once

#include "devctl/web/web_command.h"

// "set input gain" and "set input mute".
bool WebSetInputGain(const cJSON* request, WebAnswer& answer);
bool WebSetInputMute(const cJSON* request, WebAnswer& answer);

extern const WebCommandRows kWebInputRows;
