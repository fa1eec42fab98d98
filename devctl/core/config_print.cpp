#include "devctl/core/config_print.h"

#include <cjson/cJSON.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "devctl/core/accounts.h"
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

// The bytes a field is printed from, appended to a piece's content.
void AppendContent(std::string* content, Kind kind, int count, const void* field) {
  const char* bytes = static_cast<const char*>(field);
  switch (kind) {
    case Kind::kInt:
    case Kind::kUnsigned:
      content->append(bytes, sizeof(int32_t));
      break;
    case Kind::kString: {
      const std::string& text = *static_cast<const std::string*>(field);
      const size_t size = text.size();
      content->append(reinterpret_cast<const char*>(&size), sizeof size);
      *content += text;
      break;
    }
    case Kind::kInts:
      content->append(bytes, sizeof(int) * size_t(count));
      break;
    case Kind::kNames:
      content->append(bytes, size_t(kNameSize) * size_t(count));
      break;
  }
}

// The field tables hand out mutable pointers; the record is only read here.
template <typename Record, typename Table, typename F>
void ForFields(const Record& record, const Table& table, F&& f) {
  Record& r = const_cast<Record&>(record);
  for (const auto& field : table) f(field, field.at(r));
}

template <size_t N>
void AddFields(cJSON* object, const app_config_s& cfg, const Field (&fields)[N]) {
  ForFields(cfg, fields,
            [&](const Field& f, void* at) { AddField(object, f.key, f.kind, f.count, at); });
}

template <size_t N>
void AppendFieldsContent(std::string* content, const app_config_s& cfg, const Field (&fields)[N]) {
  ForFields(cfg, fields,
            [&](const Field& f, void* at) { AppendContent(content, f.kind, f.count, at); });
}

// A printed piece of the document with the content it was printed from. The pieces are printed
// again only when their content changed: a save after one command rebuilds one section.
struct KeptText {
  bool valid = false;
  std::string content;
  std::string text;
};

// Prints item on its own and indents every line after the first by depth tabs, as cJSON prints it
// depth containers down. Takes item. False when out of memory.
bool PrintPiece(cJSON* item, int depth, std::string* text) {
  char* printed = t_build_failed || !item ? nullptr : cJSON_Print(item);
  cJSON_Delete(item);
  if (!printed) return false;
  text->clear();
  // Every newline of cJSON's output is layout: one inside a string is written as \n.
  const char* p = printed;
  for (const char* nl; (nl = std::strchr(p, '\n')) != nullptr; p = nl + 1) {
    text->append(p, nl + 1);
    text->append(size_t(depth), '\t');
  }
  text->append(p);
  cJSON_free(printed);
  return true;
}

// The kept text of a piece for content, printed again by build when the content changed; a raw
// item of that text, or nullptr when out of memory (the kept text is then left invalid).
template <typename Build>
cJSON* KeptItem(KeptText* kept, const std::string& content, int depth, Build&& build) {
  if (!kept->valid || kept->content != content) {
    kept->valid = false;
    const bool failed_before = t_build_failed;
    t_build_failed = false;
    const bool printed = PrintPiece(build(), depth, &kept->text);
    t_build_failed = failed_before;
    if (!printed) return nullptr;
    kept->content = content;
    kept->valid = true;
  }
  return cJSON_CreateRaw(kept->text.c_str());
}

// Everything below is under g_kept_mutex: the kept texts are shared by every saver.
std::mutex g_kept_mutex;

// Depths of the pieces: sections are members of the document, EQ objects members of "peq".
constexpr int kSectionDepth = 1;
constexpr int kEqDepthInPeq = 1;

KeptText g_eq_texts[2][kEqMemories][kChannelSlots];

cJSON* EqObject(const peq_data_s& eq) {
  cJSON* object = cJSON_CreateObject();
  Add(object, "bypass", NumberArray(eq.bypass, kEqBands));
  Add(object, "gain", NumberArray(eq.gain, kEqBands));
  Add(object, "frequency", NumberArray(eq.frequency, kEqBands));
  Add(object, "quality", NumberArray(eq.quality, kEqBands));
  Add(object, "type_name", NameArray(eq.type_name, kEqBands));
  return object;
}

void AppendEqContent(std::string* content, const app_config_s& cfg, int side) {
  for (int m = 0; m < kEqMemories; ++m) {
    content->append(reinterpret_cast<const char*>(cfg.EqMemory(side, m)),
                    sizeof(peq_data_s) * kChannelSlots);
  }
}

void AddEqMemories(cJSON* peq, const app_config_s& cfg, int side) {
  for (int m = 0; m < kEqMemories; ++m) {
    const peq_data_s* memory = cfg.EqMemory(side, m);
    for (int k = 0; k < kChannelSlots; ++k) {
      char key[64];
      std::snprintf(key, sizeof key, "%s%d", config_fields::kEqMemoryKeys[side][m], k);
      const peq_data_s& eq = memory[k];
      const std::string content(reinterpret_cast<const char*>(&eq), sizeof eq);
      Add(peq, key, KeptItem(&g_eq_texts[side][m][k], content, kEqDepthInPeq, [&eq] {
            return EqObject(eq);
          }));
    }
  }
}

cJSON* PeqSection(const app_config_s& cfg) {
  cJSON* peq = cJSON_CreateObject();
  AddFields(peq, cfg, config_fields::kPeqInput);
  AddEqMemories(peq, cfg, EQ_SIDE_INPUT);
  AddFields(peq, cfg, config_fields::kPeqOutput);
  AddEqMemories(peq, cfg, EQ_SIDE_OUTPUT);
  return peq;
}

cJSON* Accounts(const app_config_s& cfg) {
  cJSON* array = cJSON_CreateArray();
  for (int k = 0; k < AccountCount(cfg); ++k) {
    cJSON* object = cJSON_CreateObject();
    ForFields(cfg.user[k], config_fields::kUser, [&](const config_fields::UserField& f, void* at) {
      AddField(object, f.key, f.kind, f.count, at);
    });
    Append(array, object);
  }
  return array;
}

void AppendAccountsContent(std::string* content, const app_config_s& cfg) {
  const uint32_t count = static_cast<uint32_t>(AccountCount(cfg));
  content->append(reinterpret_cast<const char*>(&count), sizeof count);
  for (uint32_t k = 0; k < count; ++k) {
    ForFields(cfg.user[k], config_fields::kUser, [&](const config_fields::UserField& f, void* at) {
      AppendContent(content, f.kind, f.count, at);
    });
  }
}

cJSON* Device(const app_config_s& cfg) {
  cJSON* device = cJSON_CreateObject();
  Add(device, "model", cJSON_CreateString(cfg.model.c_str()));
  Add(device, "type", cJSON_CreateString(cfg.type.c_str()));
  return device;
}

void AppendDeviceContent(std::string* content, const app_config_s& cfg) {
  AppendContent(content, Kind::kString, 1, &cfg.model);
  AppendContent(content, Kind::kString, 1, &cfg.type);
}

template <size_t N>
cJSON* FieldsSection(const app_config_s& cfg, const Field (&fields)[N]) {
  cJSON* object = cJSON_CreateObject();
  AddFields(object, cfg, fields);
  return object;
}

// One section of the document: its key, the content it is printed from and its item.
struct Section {
  const char* key;
  void (*content)(std::string*, const app_config_s&);
  cJSON* (*build)(const app_config_s&);
};

#define FIELDS_SECTION(key, table)                                                            \
  Section {                                                                                   \
    key, [](std::string* c, const app_config_s& cfg) { AppendFieldsContent(c, cfg, table); }, \
        [](const app_config_s& cfg) { return FieldsSection(cfg, table); }                     \
  }

// The sections after "user_cnt", in the order of the document.
const Section kSections[] = {
    {"user", AppendAccountsContent, Accounts},
    {"device", AppendDeviceContent, Device},
    FIELDS_SECTION("network", config_fields::kNetwork),
    {"control",
     [](std::string* c, const app_config_s& cfg) {
       AppendContent(c, Kind::kInts, kDspChannels, cfg.control);
     },
     [](const app_config_s& cfg) { return NumberArray(cfg.control, kDspChannels); }},
    FIELDS_SECTION("input", config_fields::kInput),
    FIELDS_SECTION("output", config_fields::kOutput),
    {"peq",
     [](std::string* c, const app_config_s& cfg) {
       AppendFieldsContent(c, cfg, config_fields::kPeqInput);
       AppendEqContent(c, cfg, EQ_SIDE_INPUT);
       AppendFieldsContent(c, cfg, config_fields::kPeqOutput);
       AppendEqContent(c, cfg, EQ_SIDE_OUTPUT);
     },
     PeqSection},
    FIELDS_SECTION("system", config_fields::kSystem),
    FIELDS_SECTION("preset", config_fields::kPreset),
};
#undef FIELDS_SECTION

constexpr size_t kSectionCount = sizeof kSections / sizeof kSections[0];
KeptText g_section_texts[kSectionCount];
thread_local std::string t_content;  // the content of one section

// The size of the last document, so the next one is printed into one buffer.
std::atomic<size_t> g_last_size{0};

// The whole document, members in their fixed order.
cJSON* BuildConfigJson(const app_config_s& cfg) {
  t_build_failed = false;
  cJSON* root = cJSON_CreateObject();
  Add(root, "user_cnt", cJSON_CreateNumber(AccountCount(cfg)));
  std::lock_guard<std::mutex> lock(g_kept_mutex);
  for (size_t i = 0; i < kSectionCount; ++i) {
    const Section& s = kSections[i];
    t_content.clear();  // keeps its capacity from one save to the next
    s.content(&t_content, cfg);
    Add(root, s.key,
        KeptItem(&g_section_texts[i], t_content, kSectionDepth, [&] { return s.build(cfg); }));
  }
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
  // cJSON grows its print buffer by doubling; a buffer that fits from the start saves the copies.
  const size_t hint = g_last_size.load() + 4096;
  char* printed = cJSON_PrintBuffered(root, hint < INT_MAX ? int(hint) : INT_MAX, 1);
  cJSON_Delete(root);
  if (!printed) return false;
  *text = printed;
  cJSON_free(printed);
  g_last_size = text->size();
  return true;
}
