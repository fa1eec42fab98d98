#include "devctl/core/config_print.h"

#include <cjson/cJSON.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "devctl/core/config_fields.h"
#include "devctl/core/json_numbers.h"

using config_fields::Field;
using config_fields::Kind;

namespace {

// Set when any item of the document could not be made (memory exhausted): such a document would
// lack members, and saving it would lose them from the file.
thread_local bool t_build_failed = false;

void Add(cJSON* object, const char* key, cJSON* item) {
  if (!object || !item || !cJSON_AddItemToObject(object, key, item)) {
    cJSON_Delete(item);
    t_build_failed = true;
  }
}

void Append(cJSON* array, cJSON* item) {
  if (!array || !item || !cJSON_AddItemToArray(array, item)) {
    cJSON_Delete(item);
    t_build_failed = true;
  }
}

template <typename T>
cJSON* NumberArray(const T* values, int count) {
  return cJSON_CreateRaw(JsonNumberArray(values, count).c_str());
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

void AddField(cJSON* object, const char* key, Kind kind, int count, const void* field) {
  switch (kind) {
    case Kind::kInt:
      Add(object, key, cJSON_CreateNumber(*static_cast<const int*>(field)));
      break;
    case Kind::kUnsigned:
      Add(object, key, cJSON_CreateNumber(*static_cast<const uint32_t*>(field)));
      break;
    case Kind::kString:
      Add(object, key, cJSON_CreateString(static_cast<const std::string*>(field)->c_str()));
      break;
    case Kind::kInts:
      Add(object, key, NumberArray(static_cast<const int*>(field), count));
      break;
    case Kind::kNames:
      Add(object, key, NameArray(static_cast<const char(*)[kNameSize]>(field), count));
      break;
  }
}

// The field tables hand out mutable pointers; the record is only read here.
template <size_t N>
cJSON* Section(const app_config_s& cfg, const Field (&fields)[N],
               cJSON* object = cJSON_CreateObject()) {
  app_config_s& record = const_cast<app_config_s&>(cfg);
  for (const Field& f : fields) AddField(object, f.key, f.kind, f.count, f.at(record));
  return object;
}

cJSON* Account(const app_user_s& user) {
  cJSON* object = cJSON_CreateObject();
  app_user_s& record = const_cast<app_user_s&>(user);
  for (const auto& f : config_fields::kUser) AddField(object, f.key, f.kind, f.count, f.at(record));
  return object;
}

// EQ objects sit two levels down (document, "peq"): every line after the first is indented by
// that much more than when the object is printed on its own.
constexpr char kEqIndent[] = "\t\t";

// The formatted text of one EQ object at its place in the document; false when out of memory.
bool PrintEqObject(const peq_data_s& eq, std::string* text) {
  const bool failed_before = t_build_failed;
  t_build_failed = false;
  cJSON* object = cJSON_CreateObject();
  Add(object, "bypass", NumberArray(eq.bypass, kEqBands));
  Add(object, "gain", NumberArray(eq.gain, kEqBands));
  Add(object, "frequency", NumberArray(eq.frequency, kEqBands));
  Add(object, "quality", NumberArray(eq.quality, kEqBands));
  Add(object, "type_name", NameArray(eq.type_name, kEqBands));
  char* printed = t_build_failed ? nullptr : cJSON_Print(object);
  cJSON_Delete(object);
  t_build_failed = failed_before;
  if (!printed) return false;
  text->clear();
  for (const char* p = printed; *p; ++p) {
    *text += *p;
    if (*p == '\n') *text += kEqIndent;  // cJSON escapes a newline inside a string
  }
  cJSON_free(printed);
  return true;
}

// The printed text of every EQ slot of the last document, with the content it was printed from.
struct EqText {
  bool valid = false;
  peq_data_s content;
  std::string text;
};
std::mutex g_eq_texts_mutex;
EqText g_eq_texts[2][kEqMemories][kChannelSlots];  // under g_eq_texts_mutex

cJSON* EqItem(int side, int memory, int slot, const peq_data_s& eq) {
  std::lock_guard<std::mutex> lock(g_eq_texts_mutex);
  EqText& kept = g_eq_texts[side][memory][slot];
  if (!kept.valid || std::memcmp(&kept.content, &eq, sizeof eq) != 0) {
    kept.valid = false;
    if (!PrintEqObject(eq, &kept.text)) return nullptr;
    kept.content = eq;
    kept.valid = true;
  }
  return cJSON_CreateRaw(kept.text.c_str());
}

void AddEqMemories(cJSON* peq, const app_config_s& cfg, int side) {
  for (int m = 0; m < kEqMemories; ++m) {
    const peq_data_s* memory = cfg.EqMemory(side, m);
    for (int k = 0; k < kChannelSlots; ++k) {
      char key[64];
      std::snprintf(key, sizeof key, "%s%d", config_fields::kEqMemoryKeys[side][m], k);
      Add(peq, key, EqItem(side, m, k, memory[k]));
    }
  }
}

cJSON* BuildConfigJson(const app_config_s& cfg) {
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
  Add(root, "control", NumberArray(cfg.control, kDspChannels));
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

}  // namespace

bool PrintConfigDocument(const app_config_s& record, std::string* text) {
  cJSON* root = BuildConfigJson(record);
  if (!root) return false;
  char* printed = cJSON_Print(root);
  cJSON_Delete(root);
  if (!printed) return false;
  *text = printed;
  cJSON_free(printed);
  return true;
}
