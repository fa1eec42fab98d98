#include <unistd.h>

#include <cfloat>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "devctl/core/config_bounds.h"
#include "devctl/core/config_defaults.h"
#include "devctl/core/config_fields.h"
#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/json_util.h"
#include "devctl/core/limits.h"
#include "devctl/core/name_text.h"
#include "platform/paths.h"
#include "platform/storage.h"

using config_fields::Field;
using config_fields::Kind;

std::mutex& ConfigSaveMutex();

namespace {

// Strings are read through a buffer of this size; longer ones are cut.
constexpr size_t kStringBuffer = 4096;

// Collects whether the loaded file lacks a member that must be present.
struct LoadState {
  bool rewrite = false;
};

const cJSON* ObjectMember(const cJSON* object, const char* key) {
  const cJSON* item = object ? cJSON_GetObjectItem(object, key) : nullptr;
  return cJSON_IsObject(item) ? item : nullptr;
}

const cJSON* ArrayMember(const cJSON* object, const char* key) {
  const cJSON* item = object ? cJSON_GetObjectItem(object, key) : nullptr;
  return cJSON_IsArray(item) ? item : nullptr;
}

bool ReadString(const cJSON* object, const char* key, std::string* out) {
  char buffer[kStringBuffer];
  if (!GetJsonString(object, key, buffer, sizeof buffer)) return false;
  *out = buffer;
  return true;
}

// An unsigned member: negative numbers read as 0, numbers beyond the range as its maximum.
bool ReadUnsigned(const cJSON* object, const char* key, uint32_t* out) {
  double value;
  if (!GetJsonDouble(object, key, &value)) return false;
  if (!(value > 0)) {
    *out = 0;
  } else if (value >= 4294967295.0) {
    *out = 4294967295u;
  } else {
    *out = uint32_t(value);
  }
  return true;
}

// Array elements are not type-checked: a number gives its value, true 1, anything else 0.
int IntElement(const cJSON* element) {
  if (cJSON_IsNumber(element)) return element->valueint;
  return cJSON_IsTrue(element) ? 1 : 0;
}

float FloatElement(const cJSON* element) {
  if (!cJSON_IsNumber(element)) return 0.0f;
  double value = element->valuedouble;
  if (value > FLT_MAX) return FLT_MAX;
  if (value < -FLT_MAX) return -FLT_MAX;
  return float(value);
}

// The first min(length, count) elements replace the entries; the others are kept.
void ReadInts(const cJSON* object, const char* key, int* out, int count) {
  const cJSON* element = ArrayMember(object, key) ? ArrayMember(object, key)->child : nullptr;
  for (int i = 0; i < count && element; ++i, element = element->next) out[i] = IntElement(element);
}

void ReadFloats(const cJSON* object, const char* key, float* out, int count) {
  const cJSON* element = ArrayMember(object, key) ? ArrayMember(object, key)->child : nullptr;
  for (int i = 0; i < count && element; ++i, element = element->next) {
    out[i] = FloatElement(element);
  }
}

// A string element replaces the name (broken UTF-8 replaced, then cut to 31 bytes at a
// character); any other element keeps it.
void ReadNames(const cJSON* object, const char* key, char (*names)[kNameSize], int count) {
  const cJSON* element = ArrayMember(object, key) ? ArrayMember(object, key)->child : nullptr;
  for (int i = 0; i < count && element; ++i, element = element->next) {
    if (cJSON_IsString(element) && element->valuestring)
      SetNameField(names[i], WithValidUtf8(element->valuestring).c_str());
  }
}

void ReadField(const cJSON* object, Kind kind, const char* key, int count, void* field,
               bool* found) {
  *found = true;
  switch (kind) {
    case Kind::kInt: {
      int value;
      *found = GetJsonInt(object, key, &value);
      if (*found) *static_cast<int*>(field) = value;
      break;
    }
    case Kind::kUnsigned:
      *found = ReadUnsigned(object, key, static_cast<uint32_t*>(field));
      break;
    case Kind::kString:
      *found = ReadString(object, key, static_cast<std::string*>(field));
      break;
    case Kind::kInts:
      ReadInts(object, key, static_cast<int*>(field), count);
      break;
    case Kind::kNames:
      ReadNames(object, key, static_cast<char(*)[kNameSize]>(field), count);
      break;
  }
}

// Loads a present section's members; a missing scalar keeps its default.
template <size_t N>
void ReadSection(const cJSON* section, app_config_s* cfg, const Field (&fields)[N],
                 LoadState* state) {
  if (!section) return;
  for (const Field& f : fields) {
    bool found;
    ReadField(section, f.kind, f.key, f.count, f.at(*cfg), &found);
    if (!found && f.rewrite_if_missing) state->rewrite = true;
  }
}

void ReadUsers(const cJSON* root, app_config_s* cfg, LoadState* state) {
  int count = 0;
  if (GetJsonInt(root, "user_cnt", &count)) {
    cfg->user_cnt = count < 0 ? 0u : uint32_t(count);
  } else {
    state->rewrite = true;
  }
  if (cfg->user_cnt > uint32_t(kMaxUsers)) cfg->user_cnt = kMaxUsers;

  const cJSON* users = ArrayMember(root, "user");
  if (!users) return;
  int k = 0;
  for (const cJSON* element = users->child; element && k < kMaxUsers;
       element = element->next, ++k) {
    const cJSON* account = cJSON_IsObject(element) ? element : nullptr;
    app_user_s& user = cfg->user[k];
    for (const auto& f : config_fields::kUser) {
      bool found;
      ReadField(account, f.kind, f.key, f.count, f.at(user), &found);
      if (found || f.kind != Kind::kUnsigned) continue;
      *static_cast<uint32_t*>(f.at(user)) = 1;  // an absent right is granted
    }
    // The first two accounts' names, the first account's password and every account's enabled
    // and matrix flags must be in the file; the resets gave the first two their defaults.
    if (k < 2 && !cJSON_IsString(cJSON_GetObjectItem(account, "user"))) state->rewrite = true;
    if (k == 0 && !cJSON_IsString(cJSON_GetObjectItem(account, "password"))) state->rewrite = true;
    if (!cJSON_IsNumber(cJSON_GetObjectItem(account, "enabled")) ||
        !cJSON_IsNumber(cJSON_GetObjectItem(account, "matrix"))) {
      state->rewrite = true;
    }
  }
  cfg->user_cnt = uint32_t(k);
}

void ReadDevice(const cJSON* root, app_config_s* cfg, const std::string& device_type,
                LoadState* state) {
  const cJSON* device = ObjectMember(root, "device");
  if (!device) return;
  // device_type may be cfg->type itself: then the file's type stands.
  if (ReadString(device, "type", &cfg->type)) {
    if (cfg->type != device_type) {
      cfg->type = device_type;
      state->rewrite = true;
    }
  } else {
    cfg->type = device_type;
    state->rewrite = true;
  }
  if (ReadString(device, "model", &cfg->model)) {
    // The model name leads every prompt and status document: never broken UTF-8.
    cfg->model = WithValidUtf8(cfg->model);
  } else {
    state->rewrite = true;
  }
}

// A band the protocols could have set: the filter it designs is stable and audible as meant.
bool EqBandInRange(const peq_data_s& eq, int b) {
  return (eq.bypass[b] == 0 || eq.bypass[b] == 1) && eq.frequency[b] >= kEqMinFrequency &&
         eq.frequency[b] <= kEqMaxFrequency && eq.gain[b] >= kEqMinGain &&
         eq.gain[b] <= kEqMaxGain && eq.quality[b] >= kEqMinQuality &&
         eq.quality[b] <= kEqMaxQuality;  // false for NaN as well
}

void ReadEqObject(const cJSON* object, const char* key, peq_data_s* eq) {
  ReadInts(object, "bypass", eq->bypass, kEqBands);
  ReadFloats(object, "gain", eq->gain, kEqBands);
  ReadInts(object, "frequency", eq->frequency, kEqBands);
  ReadFloats(object, "quality", eq->quality, kEqBands);
  ReadNames(object, "type_name", eq->type_name, kEqBands);
  // A hand-edited file can hold any number; an out-of-range band would be an unstable filter.
  for (int b = 0; b < kEqBands; ++b) {
    if (EqBandInRange(*eq, b)) continue;
    std::printf("config: %s band %d out of range; its default is used\n", key, b + 1);
    ResetEqBand(eq, b);
  }
}

void ReadEqMemories(const cJSON* peq, app_config_s* cfg, int side) {
  for (int m = 0; m < kEqMemories; ++m) {
    peq_data_s* memory = cfg->EqMemory(side, m);
    for (int k = 0; k < kChannelSlots; ++k) {
      char key[64];
      std::snprintf(key, sizeof key, "%s%d", config_fields::kEqMemoryKeys[side][m], k);
      const cJSON* object = ObjectMember(peq, key);
      if (object) ReadEqObject(object, key, &memory[k]);
    }
  }
}

void ReadConfigJson(const cJSON* root, app_config_s* cfg, const std::string& device_type,
                    LoadState* state) {
  ReadUsers(root, cfg, state);
  ReadDevice(root, cfg, device_type, state);
  ReadSection(ObjectMember(root, "network"), cfg, config_fields::kNetwork, state);
  ReadInts(root, "control", cfg->control, kDspChannels);
  ReadSection(ObjectMember(root, "input"), cfg, config_fields::kInput, state);
  ReadSection(ObjectMember(root, "output"), cfg, config_fields::kOutput, state);
  if (const cJSON* peq = ObjectMember(root, "peq")) {
    ReadSection(peq, cfg, config_fields::kPeqInput, state);
    ReadEqMemories(peq, cfg, EQ_SIDE_INPUT);
    ReadSection(peq, cfg, config_fields::kPeqOutput, state);
    ReadEqMemories(peq, cfg, EQ_SIDE_OUTPUT);
  }
  ReadSection(ObjectMember(root, "system"), cfg, config_fields::kSystem, state);
  ReadSection(ObjectMember(root, "preset"), cfg, config_fields::kPreset, state);
  BoundChannelSettings(cfg);
  BoundSystemSettings(cfg);
}

bool FileExists(const char* file) { return access(platform::Path(file).c_str(), F_OK) == 0; }

}  // namespace

bool LoadAppConfigDocument(const cJSON* root, app_config_s* cfg, const std::string& device_type) {
  if (!cfg) return false;
  ConfigLock lock;
  LoadState state;
  ReadConfigJson(root, cfg, device_type, &state);
  return state.rewrite;
}

bool OpenAppConfig(std::string& path, const char* file, app_config_s* cfg, const std::string& mac,
                   const std::string& device_type) {
  if (!cfg || !file) return false;
  ConfigLock lock;
  ResetAppConfig(path, cfg, mac);
  path = file;
  {
    // Temporaries of saves that were cut short (a power loss) are of no use any more.
    std::lock_guard<std::mutex> save_lock(ConfigSaveMutex());
    platform::RemoveStaleTemporaries(platform::Path(file));
  }
  if (!FileExists(file)) return SaveAppConfig(path, cfg);
  cJSON* root = ReadJsonFile(file);
  if (!cJSON_IsObject(root)) {
    cJSON_Delete(root);
    // Keep what could still be repaired by hand before the defaults replace it.
    std::string resolved = platform::Path(file);
    std::rename(resolved.c_str(), (resolved + kConfigBadSuffix).c_str());
    return SaveAppConfig(path, cfg);
  }
  bool rewrite = LoadAppConfigDocument(root, cfg, device_type);
  cJSON_Delete(root);
  return rewrite ? SaveAppConfig(path, cfg) : true;
}

bool LoadAppConfigFile(const std::string& path, const char* file, app_config_s* cfg,
                       const std::string& mac, const std::string& device_type) {
  if (!cfg) return false;
  ConfigLock lock;
  ResetAppConfig(path, cfg, mac);
  if (!file || !FileExists(file)) return false;
  cJSON* root = ReadJsonFile(file);
  if (!cJSON_IsObject(root)) {
    cJSON_Delete(root);
    return false;
  }
  LoadAppConfigDocument(root, cfg, device_type);
  cJSON_Delete(root);
  return true;
}
