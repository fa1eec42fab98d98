#include "devctl/core/globals.h"

// Keep every definition here and in this order: objects in one translation unit are constructed
// top to bottom, so a table that reads an earlier object always finds it built.
app_config_s g_app_config;
app_config_s g_preset_configs[kPresets];
app_config_s g_pending_config;
std::string g_config_path;
app_config_s g_net_status;
CDsp g_dsp_watcher;
device_identity_s g_device_identity;
