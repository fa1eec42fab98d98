// The configuration document as printed for saving, against a reference printer that builds every
// number as a cJSON item (the way the document was printed before its pieces were printed ahead
// and cached): the two must parse to the same tree, load to the same record and share one layout.
#include <cjson/cJSON.h>

#include <cctype>
#include <chrono>
#include <mutex>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <atomic>
#include <set>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_fields.h"
#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/json_numbers.h"
#include "devctl/core/json_util.h"
#include "devctl/core/unit_state.h"
#include "record_fields.h"
#include "tests/support/unit_root.h"

// The lock that orders the writes of the configuration file (config_save.cpp).
std::mutex& ConfigSaveMutex();

namespace {

using config_fields::Field;
using config_fields::Kind;

// ---- The reference printer: one cJSON item per value, floats through printf and strtod. ----
namespace reference {

double FloatForJson(float value) {
  char text[32];
  for (int digits = 6; digits <= 9; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, double(value));
    if (std::strtof(text, nullptr) == value) break;
  }
  return std::strtod(text, nullptr);
}

cJSON* FloatArray(const float* values, int count) {
  cJSON* array = cJSON_CreateArray();
  for (int i = 0; i < count; ++i) {
    cJSON_AddItemToArray(array, cJSON_CreateNumber(FloatForJson(values[i])));
  }
  return array;
}

cJSON* NameArray(const char (*names)[kNameSize], int count) {
  cJSON* array = cJSON_CreateArray();
  for (int i = 0; i < count; ++i) {
    std::string name(names[i], strnlen(names[i], kNameSize));
    cJSON_AddItemToArray(array, cJSON_CreateString(name.c_str()));
  }
  return array;
}

void AddField(cJSON* object, const char* key, Kind kind, int count, void* field) {
  switch (kind) {
    case Kind::kInt:
      cJSON_AddItemToObject(object, key, cJSON_CreateNumber(*static_cast<int*>(field)));
      break;
    case Kind::kUnsigned:
      cJSON_AddItemToObject(object, key, cJSON_CreateNumber(*static_cast<uint32_t*>(field)));
      break;
    case Kind::kString:
      cJSON_AddItemToObject(object, key,
                            cJSON_CreateString(static_cast<std::string*>(field)->c_str()));
      break;
    case Kind::kInts:
      cJSON_AddItemToObject(object, key, cJSON_CreateIntArray(static_cast<int*>(field), count));
      break;
    case Kind::kNames:
      cJSON_AddItemToObject(object, key, NameArray(static_cast<char(*)[kNameSize]>(field), count));
      break;
  }
}

template <size_t N>
cJSON* Section(app_config_s& cfg, const Field (&fields)[N], cJSON* object = cJSON_CreateObject()) {
  for (const Field& f : fields) AddField(object, f.key, f.kind, f.count, f.at(cfg));
  return object;
}

cJSON* EqObject(const peq_data_s& eq) {
  cJSON* object = cJSON_CreateObject();
  cJSON_AddItemToObject(object, "bypass", cJSON_CreateIntArray(eq.bypass, kEqBands));
  cJSON_AddItemToObject(object, "gain", FloatArray(eq.gain, kEqBands));
  cJSON_AddItemToObject(object, "frequency", cJSON_CreateIntArray(eq.frequency, kEqBands));
  cJSON_AddItemToObject(object, "quality", FloatArray(eq.quality, kEqBands));
  cJSON_AddItemToObject(object, "type_name", NameArray(eq.type_name, kEqBands));
  return object;
}

std::string Print(app_config_s cfg) {
  cJSON* root = cJSON_CreateObject();
  uint32_t users = cfg.user_cnt < uint32_t(kMaxUsers) ? cfg.user_cnt : uint32_t(kMaxUsers);
  cJSON_AddItemToObject(root, "user_cnt", cJSON_CreateNumber(users));
  cJSON* user_array = cJSON_CreateArray();
  for (uint32_t k = 0; k < users; ++k) {
    cJSON* account = cJSON_CreateObject();
    for (const auto& f : config_fields::kUser) {
      AddField(account, f.key, f.kind, f.count, f.at(cfg.user[k]));
    }
    cJSON_AddItemToArray(user_array, account);
  }
  cJSON_AddItemToObject(root, "user", user_array);
  cJSON* device = cJSON_CreateObject();
  cJSON_AddItemToObject(device, "model", cJSON_CreateString(cfg.model.c_str()));
  cJSON_AddItemToObject(device, "type", cJSON_CreateString(cfg.type.c_str()));
  cJSON_AddItemToObject(root, "device", device);
  cJSON_AddItemToObject(root, "network", Section(cfg, config_fields::kNetwork));
  cJSON_AddItemToObject(root, "control", cJSON_CreateIntArray(cfg.control, kDspChannels));
  cJSON_AddItemToObject(root, "input", Section(cfg, config_fields::kInput));
  cJSON_AddItemToObject(root, "output", Section(cfg, config_fields::kOutput));
  cJSON* peq = Section(cfg, config_fields::kPeqInput);
  for (int side : {EQ_SIDE_INPUT, EQ_SIDE_OUTPUT}) {
    if (side == EQ_SIDE_OUTPUT) Section(cfg, config_fields::kPeqOutput, peq);
    for (int m = 0; m < kEqMemories; ++m) {
      for (int k = 0; k < kChannelSlots; ++k) {
        std::string key = config_fields::kEqMemoryKeys[side][m] + std::to_string(k);
        cJSON_AddItemToObject(peq, key.c_str(), EqObject(cfg.EqMemory(side, m)[k]));
      }
    }
  }
  cJSON_AddItemToObject(root, "peq", peq);
  cJSON_AddItemToObject(root, "system", Section(cfg, config_fields::kSystem));
  cJSON_AddItemToObject(root, "preset", Section(cfg, config_fields::kPreset));
  char* printed = cJSON_Print(root);
  cJSON_Delete(root);
  std::string text = printed ? printed : "";
  cJSON_free(printed);
  return text;
}

}  // namespace reference

// ---- Comparisons ----

std::string Printed(const app_config_s& cfg) {
  std::string text;
  EXPECT_TRUE(PrintAppConfig(&cfg, &text));
  return text;
}

bool IsFloatMember(const cJSON* item) {
  return item->string &&
         (!std::strcmp(item->string, "gain") || !std::strcmp(item->string, "quality"));
}

// Floats (the elements of "gain" and "quality") are compared as the loader reads them back, as
// floats; every other number as it stands.
void ExpectSameTree(const cJSON* want, const cJSON* got, const std::string& where, bool floats) {
  ASSERT_NE(got, nullptr) << where;
  ASSERT_EQ(want->type & 0xFF, got->type & 0xFF) << where;
  if (cJSON_IsNumber(want)) {
    if (floats) {
      EXPECT_EQ(float(want->valuedouble), float(got->valuedouble)) << where;
    } else {
      EXPECT_EQ(want->valuedouble, got->valuedouble) << where;
    }
  } else if (cJSON_IsString(want)) {
    EXPECT_STREQ(want->valuestring, got->valuestring) << where;
  }
  const cJSON* w = want->child;
  const cJSON* g = got->child;
  for (int i = 0; w || g; ++i, w = w ? w->next : nullptr, g = g ? g->next : nullptr) {
    ASSERT_TRUE(w && g) << where << ": member count differs at " << i;
    if (w->string) {
      ASSERT_STREQ(w->string, g->string) << where;
    }
    const std::string name = w->string ? w->string : std::to_string(i);
    ExpectSameTree(w, g, where + "/" + name, floats || IsFloatMember(w));
  }
}

// The text with every number replaced by "#": what is left is the layout (order, indentation,
// separators, strings).
std::string Layout(const std::string& text) {
  std::string out;
  bool in_string = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      out += c;
      if (c == '\\' && i + 1 < text.size())
        out += text[++i];
      else if (c == '"')
        in_string = false;
      continue;
    }
    if (c == '"') {
      in_string = true;
      out += c;
    } else if (c == '-' || std::isdigit(static_cast<unsigned char>(c))) {
      while (i + 1 < text.size() && std::strchr("0123456789+-.eE", text[i + 1])) ++i;
      out += '#';
    } else if (text.compare(i, 4, "null") == 0) {
      i += 3;
      out += '#';
    } else {
      out += c;
    }
  }
  return out;
}

std::unique_ptr<app_config_s> Loaded(const std::string& text) {
  auto cfg = std::make_unique<app_config_s>();
  cfg->type = "TRX";
  ResetAppConfig("", cfg.get(), "");
  cJSON* root = cJSON_Parse(text.c_str());
  EXPECT_NE(root, nullptr);
  LoadAppConfigDocument(root, cfg.get(), cfg->type);
  cJSON_Delete(root);
  return cfg;
}

void ExpectPrintedAsReference(const app_config_s& cfg) {
  const std::string want = reference::Print(cfg);
  const std::string got = Printed(cfg);
  cJSON* want_tree = cJSON_Parse(want.c_str());
  cJSON* got_tree = cJSON_Parse(got.c_str());
  ASSERT_NE(want_tree, nullptr);
  ASSERT_NE(got_tree, nullptr) << got.substr(0, 2000);
  ExpectSameTree(want_tree, got_tree, "", false);
  cJSON_Delete(want_tree);
  cJSON_Delete(got_tree);
  EXPECT_EQ(Layout(got), Layout(want));
  EXPECT_EQ(record_fields::Diff(*Loaded(want), *Loaded(got)), std::set<std::string>{});
}

std::unique_ptr<app_config_s> Defaults() {
  auto cfg = std::make_unique<app_config_s>();
  cfg->type = "TRX";
  ResetAppConfig("", cfg.get(), "");
  return cfg;
}

// Values at the edges of what a record can hold.
void FillEdges(app_config_s* cfg) {
  const float floats[] = {0.1f,
                          1.41f,
                          -15.5f,
                          1.00000012f,
                          16777216.0f,
                          2147483648.0f,
                          -2147483648.0f,
                          FLT_MAX,
                          -FLT_MAX,
                          FLT_MIN,
                          std::numeric_limits<float>::denorm_min(),
                          -0.0f,
                          std::numeric_limits<float>::quiet_NaN(),
                          std::numeric_limits<float>::infinity(),
                          -std::numeric_limits<float>::infinity(),
                          0.0001f,
                          123456.5f,
                          1e-7f};
  const int floats_count = int(sizeof floats / sizeof floats[0]);
  int f = 0, n = 0;
  for (int side : {EQ_SIDE_INPUT, EQ_SIDE_OUTPUT}) {
    for (int m = 0; m < kEqMemories; ++m) {
      for (int k = 0; k < kChannelSlots; ++k) {
        peq_data_s& eq = cfg->EqMemory(side, m)[k];
        for (int b = 0; b < kEqBands; ++b) {
          eq.gain[b] = floats[f++ % floats_count];
          eq.quality[b] = floats[f++ % floats_count];
          eq.frequency[b] =
              (n++ % 2) ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max();
        }
      }
    }
  }
  cfg->user_cnt = 20;  // more than the record holds: kMaxUsers are written
  for (auto& u : cfg->user) {
    u.enabled = std::numeric_limits<uint32_t>::max();
    u.user = "quote\" backslash\\ tab\t newline\n bell\a \xC3\xA9";
  }
  cfg->model = "";
  std::memset(cfg->input_name[3], 'x', kNameSize);  // no NUL: written up to its 32 bytes
  std::strcpy(cfg->output_name[0], "/slash \x01\x1F");
  cfg->power = std::numeric_limits<int>::min();
}

using ConfigPrint = testsupport::UnitRootFixture;

TEST_F(ConfigPrint, DocumentsReadBackAsTheReferencePrinterWroteThem) {
  struct Case {
    const char* name;
    void (*fill)(app_config_s*);
  } cases[] = {
      {"defaults", [](app_config_s*) {}},
      {"every member changed", [](app_config_s* c) { record_fields::FillDistinct(c); }},
      {"edge values", FillEdges},
      {"no accounts", [](app_config_s* c) { c->user_cnt = 0; }},
  };
  // Twice over, so the second pass prints from the kept EQ texts of the first.
  for (int pass = 0; pass < 2; ++pass) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + ", pass " + std::to_string(pass));
      auto cfg = Defaults();
      c.fill(cfg.get());
      ExpectPrintedAsReference(*cfg);
    }
  }
}

TEST_F(ConfigPrint, AChangedMemberIsPrintedAgainWhereverItIs) {
  auto cfg = Defaults();
  record_fields::FillDistinct(cfg.get());
  ExpectPrintedAsReference(*cfg);
  // One change at a time, in every section and in EQ slots (printed pieces of their own within
  // "peq"): each shows in the next document.
  struct Change {
    const char* name;
    void (*apply)(app_config_s&);
  } changes[] = {
      {"account password", [](app_config_s& c) { c.user[1].password = "0123456789abcdef"; }},
      {"account right", [](app_config_s& c) { c.user[10].preset[7] = 0; }},
      {"account count", [](app_config_s& c) { c.user_cnt = 3; }},
      {"model", [](app_config_s& c) { c.model = "VX7206B"; }},
      {"type", [](app_config_s& c) { c.type = "RX"; }},
      {"gateway", [](app_config_s& c) { c.gateway = "10.0.0.254"; }},
      {"routing", [](app_config_s& c) { c.control[13] = 1; }},
      {"input name", [](app_config_s& c) { SetNameField(c.input_name[17], "Stage left"); }},
      {"input link", [](app_config_s& c) { c.usb_input_stereo = 1; }},
      {"output delay", [](app_config_s& c) { c.analogue_output_delay[3] = 50; }},
      {"EQ selection", [](app_config_s& c) { c.input_preset[4] = 2; }},
      {"output EQ lock", [](app_config_s& c) { c.output_stereo[17] = 1; }},
      {"output geq channel", [](app_config_s& c) { c.output_geq_chn = 3; }},
      {"EQ gain", [](app_config_s& c) { c.output_custom2_date[17].gain[7] += 0.5f; }},
      {"EQ quality", [](app_config_s& c) { c.input_flat_date[0].quality[0] = 0.02f; }},
      {"EQ bypass", [](app_config_s& c) { c.input_custom1_date[9].bypass[3] ^= 1; }},
      {"EQ frequency", [](app_config_s& c) { c.output_flat_date[5].frequency[5] = 20000; }},
      {"EQ type name",
       [](app_config_s& c) { SetNameField(c.output_custom1_date[2].type_name[2], "LOWPASS"); }},
      {"bytes behind an EQ name's NUL",
       [](app_config_s& c) { c.input_custom2_date[1].type_name[1][30] = 'z'; }},
      {"standby time", [](app_config_s& c) { c.standbytime = 120; }},
      {"preset name", [](app_config_s& c) { SetNameField(c.preset_name[7], "Evening"); }},
      {"preset recalled", [](app_config_s& c) { c.preset_recall = 8; }},
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.name);
    change.apply(*cfg);
    ExpectPrintedAsReference(*cfg);
  }
  // Another record between two prints of the first: each gets its own text.
  ExpectPrintedAsReference(*Defaults());
  ExpectPrintedAsReference(*cfg);
}

// Every float of a sweep across the whole range, and every step of the EQ ranges: the text reads
// back, through strtod as cJSON parses, to the same float.
TEST(JsonNumbers, FloatsReadBackAsTheSameFloat) {
  std::vector<float> values;
  for (uint64_t bits = 0; bits <= 0xFFFFFFFFu; bits += 40503) {
    float v;
    const uint32_t b = uint32_t(bits);
    std::memcpy(&v, &b, sizeof v);
    values.push_back(v);
  }
  for (int i = -1500; i <= 1500; ++i) values.push_back(float(i) / 100.0f);  // gains
  for (int i = 2; i <= 5000; ++i) values.push_back(float(i) / 100.0f);      // qualities
  int checked = 0;
  for (float v : values) {
    std::string text;
    AppendJsonNumber(text, v);
    if (!std::isfinite(v)) {
      EXPECT_EQ(text, "null");
      continue;
    }
    char* end = nullptr;
    const double read = std::strtod(text.c_str(), &end);
    ASSERT_EQ(*end, '\0') << text;
    ASSERT_EQ(float(read), v) << text;
    ++checked;
  }
  EXPECT_GT(checked, 100000);

  // Whole values as integers, the others as few digits as read back.
  const struct {
    float value;
    const char* text;
  } forms[] = {{1.41f, "1.41"},
               {-15.5f, "-15.5"},
               {0.7f, "0.7"},
               {50.0f, "50"},
               {-0.0f, "-0"},
               {0.1f, "0.1"},
               {1.00000012f, "1.0000001"},
               {2147483648.0f, "2.1474836e+09"}};
  for (const auto& f : forms) {
    std::string text;
    AppendJsonNumber(text, f.value);
    EXPECT_EQ(text, f.text);
  }
  std::string ints;
  AppendJsonNumber(ints, std::numeric_limits<int>::min());
  ints += ' ';
  AppendJsonNumber(ints, std::numeric_limits<uint32_t>::max());
  EXPECT_EQ(ints, "-2147483648 4294967295");
  const int array[] = {1, -2, 3};
  EXPECT_EQ(JsonNumberArray(array, 3), "[1, -2, 3]");
  EXPECT_EQ(JsonNumberArray(array, 0), "[]");
}

// cJSON's allocator, holding up one thread until the gate opens (or a minute passes).
std::atomic<std::thread::id> g_held_thread{};
std::atomic<bool> g_gate_open{true};
void* GatedMalloc(size_t size) {
  if (std::this_thread::get_id() == g_held_thread.load()) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!g_gate_open && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  }
  return std::malloc(size);
}

// A save whose document is still being printed when a later change is made and saved: the
// printing holds no configuration lock, and the later snapshot is what stays in the file.
TEST_F(ConfigPrint, AnOlderSnapshotNeverReplacesANewerOne) {
  // The live record, its path and cJSON's allocator as they were, back when the test ends.
  struct Restore {
    std::unique_ptr<app_config_s> live = std::make_unique<app_config_s>(g_unit.config);
    std::string path = g_unit.config_path;
    ~Restore() {
      g_gate_open = true;
      cJSON_InitHooks(nullptr);
      ConfigLock lock;
      g_unit.config = *live;
      g_unit.config_path = path;
    }
  } restore;
  {
    ConfigLock lock;
    g_unit.config_path = kConfigFile;
    g_unit.config = *Defaults();
  }
  cJSON_Hooks hooks = {GatedMalloc, std::free};
  cJSON_InitHooks(&hooks);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    const int older_value = 2 * round + 1, newer_value = 2 * round + 2;
    g_gate_open = false;
    const uint64_t generation = ConfigGeneration();
    std::atomic<bool> older_saved{false};
    std::thread older([&] {
      g_held_thread = std::this_thread::get_id();
      {
        ConfigLock lock;
        g_unit.config.standbytime = older_value;
      }
      older_saved = SaveAppConfig(g_unit.config_path, &g_unit.config);
    });
    // The change and the save's copy of the record are two releases of the lock.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (ConfigGeneration() < generation + 2 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::yield();
    }
    // The older document is printed without the configuration lock: a change can go ahead.
    bool free = false;
    while (!(free = ConfigLockFree()) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::yield();
    }
    if (!free) {
      g_gate_open = true;
      older.join();
      FAIL() << "the configuration lock is held while the document is printed";
    }
    {
      ConfigLock lock;
      g_unit.config.standbytime = newer_value;
    }
    EXPECT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));
    g_gate_open = true;
    older.join();
    g_held_thread = std::thread::id();
    EXPECT_TRUE(older_saved);
    cJSON* root = ReadJsonFile(kConfigFile);
    ASSERT_NE(root, nullptr);
    int stored = 0;
    GetJsonInt(cJSON_GetObjectItem(root, "system"), "standbytime", &stored);
    cJSON_Delete(root);
    EXPECT_EQ(stored, newer_value);
  }
  EXPECT_EQ(Printed(g_unit.config), Read(kConfigFile));
}

}  // namespace
