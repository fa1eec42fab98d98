// The web commands of the outputs, the routing matrix, the stereo links and group memberships
// of both sides, and the channel names.
#pragma once

#include "devctl/web/web_command.h"

bool WebSetOutputVolume(const cJSON* request, WebAnswer& answer);   // "set output vol"
bool WebSetOutputMute(const cJSON* request, WebAnswer& answer);     // "set output mute"
bool WebSetControlStatus(const cJSON* request, WebAnswer& answer);  // "set control status"
bool WebSetOutputStereo(const cJSON* request, WebAnswer& answer);   // "set output stereo"
bool WebSetInputStereo(const cJSON* request, WebAnswer& answer);    // "set input stereo"
bool WebSetOutputName(const cJSON* request, WebAnswer& answer);     // "set output name"
bool WebSetInputName(const cJSON* request, WebAnswer& answer);      // "set input name"
bool WebSetOutputDelay(const cJSON* request, WebAnswer& answer);    // "set output delay"

extern const WebCommandRows kWebOutputRows;
