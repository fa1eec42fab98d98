// The configuration record as one JSON document: "/oem/app.json" for the live record and
// "/oem/app_preset1.json" .. "/oem/app_preset8.json" for the presets. The functions hold the
// configuration lock while they read or fill the record.
#pragma once

#include <cjson/cJSON.h>

#include <string>

#include "devctl/core/app_config.h"

constexpr char kConfigFile[] = "/oem/app.json";
constexpr char kConfigBadSuffix[] = ".bad";  // an unparsable file is kept beside the new one

// Writes the whole record to path (a unit path) atomically and syncs. Returns false, with the old
// file untouched, when the file could not be written. The configuration lock is held only while
// the record is copied; the document is printed from the copy. A save whose copy is older than
// the one already written to path writes nothing and returns true, as does every save to path
// once SaveFinalAppConfig has written it.
bool SaveAppConfig(const std::string& path, const app_config_s* cfg);
// SaveAppConfig of the live record with the settings of the network edit (g_unit.pending) in
// it, whether or not the edit is still open (pending_network.h).
bool SaveLiveConfigWithNetworkEdit(const std::string& path);

// Writes cfg as the last configuration before a reboot (the factory reset of everything): written
// whatever was saved before, and every later save to path is skipped until the process starts
// again, so nothing still in memory can write the old settings back. False when the file could
// not be written (saves then go on as before).
bool SaveFinalAppConfig(const std::string& path, const app_config_s* cfg);
bool ConfigSavesFrozen(const std::string& path);
// Lets saves through again (a test that goes on after a final save).
void UnfreezeConfigSaves();

// Gives cfg its defaults, sets path := file and loads the file over them. Writes the file back when
// it is missing or unparsable (an unparsable file is first kept as file + ".bad") or when one of
// the members that must be present was missing; returns that save's result, otherwise true.
// device_type is the type the record must carry (see LoadAppConfigFile).
bool OpenAppConfig(std::string& path, const char* file, app_config_s* cfg, const std::string& mac,
                   const std::string& device_type);

// Gives cfg its defaults and loads file over them; never writes. When the file has a
// "device" object, cfg's type becomes device_type (a caller that passes cfg->type itself keeps the
// file's type). False when the file is missing or holds no JSON object (cfg keeps the defaults).
bool LoadAppConfigFile(const std::string& path, const char* file, app_config_s* cfg,
                       const std::string& mac, const std::string& device_type);

// The document of a record as saved (formatted). False when it could not be made.
bool PrintAppConfig(const app_config_s* cfg, std::string* text);
// The document SaveAppConfig(path, cfg) would write now, byte for byte (for the live record, with
// the settings of an open network edit in it). The record is copied under the configuration lock;
// a caller that holds the lock gets the record as its own change left it.
bool PrintAsSaved(const app_config_s* cfg, std::string* text);

// Loads a parsed document over the values already in cfg (the loaders reset it first). Returns
// true when a member that must be present was missing, so the file should be written back.
bool LoadAppConfigDocument(const cJSON* root, app_config_s* cfg, const std::string& device_type);
