// The equaliser commands of the web interface: "set peq chn" (the channel the EQ editor shows),
// "set peq" (one band), "set peq bypass" (a band's switch), "set eq preset" (the memory a channel
// plays), "set peq reset" (a memory back to its default bands) and "set eq stereo" (EQ lock).
// "action" 0 inputs / 1 outputs, "chn" 0-17 the EQ slot (0-13 channels, 14-17 groups).
#pragma once

#include <cjson/cJSON.h>

#include "devctl/core/eq_changes.h"
#include "devctl/web/web_command.h"

// How the web commands change the EQ where the command sets differ.
extern const EqRules kWebEqRules;

bool WebSetPeqChannel(const cJSON* request, WebAnswer& answer);
bool WebSetPeq(const cJSON* request, WebAnswer& answer);
bool WebSetPeqBypass(const cJSON* request, WebAnswer& answer);
bool WebSetEqPreset(const cJSON* request, WebAnswer& answer);
bool WebSetPeqReset(const cJSON* request, WebAnswer& answer);
bool WebSetEqStereo(const cJSON* request, WebAnswer& answer);

extern const WebCommandRows kWebEqRows;
