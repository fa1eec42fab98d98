// The web commands of the presets: delete, recall, save and name. None of them wakes the unit.
#pragma once

#include "devctl/web/web_command.h"

bool WebDeletePreset(const cJSON* request, WebAnswer& answer);
bool WebSetPresetRecall(const cJSON* request, WebAnswer& answer);
bool WebSetPresetSave(const cJSON* request, WebAnswer& answer);
bool WebSetPresetName(const cJSON* request, WebAnswer& answer);

extern const WebCommandRows kWebPresetRows;
