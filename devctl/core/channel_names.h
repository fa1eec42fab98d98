// Names of the input and output channels and groups, as the text and web commands set them.
// Callers hold the configuration lock, validate the name for their protocol, send the line and
// save.
#pragma once

#include <string>

#include "devctl/core/app_config.h"

// True when every byte is printable: no control characters (below 0x20, 0x7F), so a name can never
// forge lines on the control ports, and the bytes form valid UTF-8.
bool IsDisplayableName(const std::string& name);

// Stores name in config for number n (1-4 analogue, 5-12 Tarvo, 13/14 USB left/right, 15-18
// groups) of the side (EQ_SIDE_INPUT / EQ_SIDE_OUTPUT), cut to the 31 bytes of the field at a
// UTF-8 character boundary, and appends "[SUCCESS]Set <channel> name to <name>." quoting the whole
// name. Returns false, changing nothing, for n or the side out of range.
bool SetChannelName(app_config_s& config, int side, int n, const std::string& name,
                    std::string& lines);
