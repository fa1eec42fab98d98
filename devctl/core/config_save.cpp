#include <cfloat>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <mutex>

#include "devctl/core/config_fields.h"
#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/globals.h"
#include "devctl/core/json_util.h"
#include "devctl/core/pending_network.h"
#include "platform/paths.h"
#include "platform/storage.h"

using config_fields::Field;
using config_fields::Kind;

namespace {

// Set when any item of the document could not be made (memory exhausted): such a document would
// lack members, and saving it would lose them from the file.
thread_local bool t_build_failed = false;

void Add(cJSON* object, const char* key, cJSON* item) {
  if (!item || !cJSON_AddItemToObject(object, key, item)) {
    cJSON_Delete(item);
    t_build_failed = true;
  }
}

void Append(cJSON* array, cJSON* item) {
  if (!item || !cJSON_AddItemToArray(array, item)) {
    cJSON_Delete(item);
    t_build_failed = true;
  }
}

// The shortest decimal that reads back as the same float, so 1.41f is written 1.41 and not
// 1.4099999666213989.
double FloatForJson(float value) {
  char text[32];
  for (int digits = 6; digits <= 9; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, double(value));
    if (std::strtof(text, nullptr) == value) break;
  }
  return std::strtod(text, nullptr);
}

cJSON* IntArray(const int* values, int count) { return cJSON_CreateIntArray(values, count); }

cJSON* FloatArray(const float* values, int count) {
  cJSON* array = cJSON_CreateArray();
  for (int i = 0; i < count; ++i) {
    Append(array, cJSON_CreateNumber(FloatForJson(values[i])));
  }
  return array;
}

cJSON* NameArray(const char (*names)[kNameSize], int count) {
  cJSON* array = cJSON_CreateArray();
  for (int i = 0; i < count; ++i) {
    // A name field is written up to its NUL, and never past its 32 bytes.
    std::string name(names[i], strnlen(names[i], kNameSize));
    Append(array, cJSON_CreateString(name.c_str()));
  }
  return array;
}

void AddField(cJSON* object, const char* key, Kind kind, int count, void* field) {
  switch (kind) {
    case Kind::kInt:
      Add(object, key, cJSON_CreateNumber(*static_cast<int*>(field)));
      break;
    case Kind::kUnsigned:
      Add(object, key, cJSON_CreateNumber(*static_cast<uint32_t*>(field)));
      break;
    case Kind::kString:
      Add(object, key,
                            cJSON_CreateString(static_cast<std::string*>(field)->c_str()));
      break;
    case Kind::kInts:
      Add(object, key, IntArray(static_cast<int*>(field), count));
      break;
    case Kind::kNames:
      Add(object, key,
                            NameArray(static_cast<char(*)[kNameSize]>(field), count));
      break;
  }
}

template <size_t N>
cJSON* Section(app_config_s& cfg, const Field (&fields)[N], cJSON* object = cJSON_CreateObject()) {
  for (const Field& f : fields) AddField(object, f.key, f.kind, f.count, f.at(cfg));
  return object;
}

cJSON* Account(app_user_s& user) {
  cJSON* object = cJSON_CreateObject();
  for (const auto& f : config_fields::kUser) AddField(object, f.key, f.kind, f.count, f.at(user));
  return object;
}

cJSON* EqObject(const peq_data_s& eq) {
  cJSON* object = cJSON_CreateObject();
  Add(object, "bypass", IntArray(eq.bypass, kEqBands));
  Add(object, "gain", FloatArray(eq.gain, kEqBands));
  Add(object, "frequency", IntArray(eq.frequency, kEqBands));
  Add(object, "quality", FloatArray(eq.quality, kEqBands));
  Add(object, "type_name", NameArray(eq.type_name, kEqBands));
  return object;
}

void AddEqMemories(cJSON* peq, app_config_s& cfg, int side) {
  for (int m = 0; m < kEqMemories; ++m) {
    const peq_data_s* memory = cfg.EqMemory(side, m);
    for (int k = 0; k < kChannelSlots; ++k) {
      char key[64];
      std::snprintf(key, sizeof key, "%s%d", config_fields::kEqMemoryKeys[side][m], k);
      Add(peq, key, EqObject(memory[k]));
    }
  }
}

// The whole document, members in their fixed order.
cJSON* BuildConfigJson(app_config_s& cfg) {
  t_build_failed = false;
  cJSON* root = cJSON_CreateObject();
  // The record holds at most kMaxUsers accounts whatever its count says.
  uint32_t users = cfg.user_cnt < uint32_t(kMaxUsers) ? cfg.user_cnt : uint32_t(kMaxUsers);
  Add(root, "user_cnt", cJSON_CreateNumber(users));
  cJSON* user_array = cJSON_CreateArray();
  for (uint32_t k = 0; k < users; ++k) Append(user_array, Account(cfg.user[k]));
  Add(root, "user", user_array);

  cJSON* device = cJSON_CreateObject();
  Add(device, "model", cJSON_CreateString(cfg.model.c_str()));
  Add(device, "type", cJSON_CreateString(cfg.type.c_str()));
  Add(root, "device", device);

  Add(root, "network", Section(cfg, config_fields::kNetwork));
  Add(root, "control", IntArray(cfg.control, kDspChannels));
  Add(root, "input", Section(cfg, config_fields::kInput));
  Add(root, "output", Section(cfg, config_fields::kOutput));

  cJSON* peq = Section(cfg, config_fields::kPeqInput);
  AddEqMemories(peq, cfg, EQ_SIDE_INPUT);
  Section(cfg, config_fields::kPeqOutput, peq);
  AddEqMemories(peq, cfg, EQ_SIDE_OUTPUT);
  Add(root, "peq", peq);

  Add(root, "system", Section(cfg, config_fields::kSystem));
  Add(root, "preset", Section(cfg, config_fields::kPreset));
  if (t_build_failed || !root) {
    cJSON_Delete(root);
    return nullptr;
  }
  return root;
}

// Saves are written one at a time. Each takes a sequence number when it reads the record, and a
// save whose snapshot is older than the one already written to its file is dropped, so the file
// never goes back to an earlier state.
std::mutex g_save_mutex;
uint64_t g_save_sequence = 0;                    // under the configuration lock
std::map<std::string, uint64_t> g_saved_sequence;  // under g_save_mutex, by resolved path
std::set<std::string> g_frozen_paths;              // under g_save_mutex, resolved paths

}  // namespace

std::mutex& ConfigSaveMutex() { return g_save_mutex; }

bool PrintAppConfig(const app_config_s* cfg, std::string* text) {
  if (!cfg || !text) return false;
  ConfigLock lock;
  cJSON* root = BuildConfigJson(*const_cast<app_config_s*>(cfg));
  if (!root) return false;
  char* printed = cJSON_Print(root);
  cJSON_Delete(root);
  if (!printed) return false;
  *text = printed;
  cJSON_free(printed);
  return true;
}

bool SaveAppConfig(const std::string& path, const app_config_s* cfg) {
  std::string target;
  std::string text;
  uint64_t sequence;
  {
    ConfigLock lock;
    // While a text network edit is open the live record is saved with the edit in it, so neither
    // the edit nor the live changes made meanwhile are lost (pending_network.h).
    std::unique_ptr<app_config_s> merged;
    if (cfg == &g_app_config && g_net_edit_pending) {
      merged = std::make_unique<app_config_s>(g_app_config);
      CopyEditedNetworkSettings(g_pending_config, merged.get());
      cfg = merged.get();
    }
    if (!PrintAppConfig(cfg, &text)) return false;
    target = path;
    sequence = ++g_save_sequence;
  }
  {
    std::lock_guard<std::mutex> lock(g_save_mutex);
    std::string resolved = platform::Path(target);
    // A file that holds what the next start must load is not written again.
    if (g_frozen_paths.count(resolved) != 0) return true;
    uint64_t& saved = g_saved_sequence[resolved];
    if (sequence < saved) return true;  // a newer snapshot is already on disk
    if (WriteJsonText(text, target.c_str()) != JSON_WRITE_OK) return false;
    saved = sequence;
  }
  platform::SyncFileSystems();
  return true;
}

bool SaveFinalAppConfig(const std::string& path, const app_config_s* cfg) {
  std::string text;
  uint64_t sequence;
  {
    ConfigLock lock;
    if (!PrintAppConfig(cfg, &text)) return false;
    sequence = ++g_save_sequence;
  }
  {
    std::lock_guard<std::mutex> lock(g_save_mutex);
    if (WriteJsonText(text, path.c_str()) != JSON_WRITE_OK) return false;
    uint64_t& saved = g_saved_sequence[platform::Path(path)];
    if (sequence > saved) saved = sequence;
    g_frozen_paths.insert(platform::Path(path));
  }
  platform::SyncFileSystems();
  return true;
}

bool ConfigSavesFrozen(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_save_mutex);
  return g_frozen_paths.count(platform::Path(path)) != 0;
}

void UnfreezeConfigSaves() {
  std::lock_guard<std::mutex> lock(g_save_mutex);
  g_frozen_paths.clear();
}
