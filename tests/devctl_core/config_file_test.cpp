#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_file.h"
#include "devctl/core/json_util.h"
#include "platform/storage.h"
#include "record_fields.h"
#include "tests/support/unit_root.h"

namespace {

using record_fields::Diff;
using record_fields::FillDistinct;
using record_fields::Flatten;

std::unique_ptr<app_config_s> NewRecord() { return std::make_unique<app_config_s>(); }

// Loads a file the way main does: the record's own type is "TRX" and is passed as the device type.
struct Opened {
  std::unique_ptr<app_config_s> cfg = NewRecord();
  bool result = false;
  long saves = 0;
};

Opened Open(const char* file = kConfigFile) {
  Opened o;
  std::string path;
  o.cfg->type = "TRX";
  long before = platform::SyncCount();
  o.result = OpenAppConfig(path, file, o.cfg.get(), "", o.cfg->type);
  o.saves = platform::SyncCount() - before;
  EXPECT_EQ(path, file);
  return o;
}

std::unique_ptr<app_config_s> Defaults() {
  auto cfg = NewRecord();
  cfg->type = "TRX";
  ResetAppConfig("", cfg.get(), "");
  return cfg;
}

std::vector<std::string> Keys(const cJSON* object) {
  std::vector<std::string> keys;
  for (const cJSON* child = object ? object->child : nullptr; child; child = child->next) {
    keys.push_back(child->string ? child->string : "");
  }
  return keys;
}

using ConfigFile = testsupport::UnitRootFixture;

TEST_F(ConfigFile, RecordWithEveryMemberSetSurvivesSaveAndLoad) {
  auto saved = NewRecord();
  ResetAppConfig("", saved.get(), "");
  FillDistinct(saved.get());
  ASSERT_TRUE(SaveAppConfig(kConfigFile, saved.get()));

  auto loaded = NewRecord();
  LoadAppConfigFile(kConfigFile, kConfigFile, loaded.get(), "", loaded->type);
  EXPECT_EQ(Diff(*saved, *loaded), std::set<std::string>{});
  EXPECT_EQ(std::string(loaded->input_name[17]).size(), 31u);

  // The same document opened as the live record is complete: nothing is written back.
  long before = platform::SyncCount();
  std::string path;
  auto live = NewRecord();
  EXPECT_TRUE(OpenAppConfig(path, kConfigFile, live.get(), "", live->type));
  EXPECT_EQ(platform::SyncCount(), before);
  EXPECT_EQ(Diff(*saved, *live), std::set<std::string>{});
}

TEST_F(ConfigFile, NewRecordHoldsZerosAndEmptyStrings) {
  auto cfg = NewRecord();
  for (const auto& [name, value] : Flatten(*cfg)) {
    EXPECT_TRUE(value == "0" || value == "\"\"") << name << " = " << value;
  }
}

TEST_F(ConfigFile, SavedMembersFollowTheDocumentOrder) {
  ASSERT_TRUE(SaveAppConfig(kConfigFile, Defaults().get()));
  cJSON* root = ReadJsonFile(kConfigFile);
  ASSERT_NE(root, nullptr);

  EXPECT_EQ(Keys(root),
            (std::vector<std::string>{"user_cnt", "user", "device", "network", "control", "input",
                                      "output", "peq", "system", "preset"}));
  const cJSON* users = cJSON_GetObjectItem(root, "user");
  ASSERT_EQ(cJSON_GetArraySize(users), 2);
  EXPECT_EQ(Keys(users->child),
            (std::vector<std::string>{"user", "password", "enabled", "matrix", "network", "system",
                                      "information", "power", "phantom", "dsp", "input_analogue",
                                      "input_tarvo", "input_usb", "input_group", "output_analogue",
                                      "output_tarvo", "output_usb", "output_group", "preset"}));
  EXPECT_EQ(Keys(cJSON_GetObjectItem(root, "device")), (std::vector<std::string>{"model", "type"}));
  EXPECT_EQ(
      Keys(cJSON_GetObjectItem(root, "network")),
      (std::vector<std::string>{"dhcp", "ipaddress", "subnet", "gateway", "dnsserver", "hostname",
                                "tcpport", "telnetport", "telnet_enable", "tcpportenable"}));
  EXPECT_EQ(Keys(cJSON_GetObjectItem(root, "input")),
            (std::vector<std::string>{
                "analogue_input_gain", "analogue_input_stereo", "analogue_input_phantom",
                "analogue_input_mute", "tarvo_input_gain", "tarvo_input_stereo", "tarvo_input_mute",
                "usb_input_gain", "usb_input_mute", "usb_input_stereo", "group_input_gain",
                "group_input_stereo1", "group_input_stereo2", "group_input_stereo3",
                "group_input_stereo4", "group_input_mute", "input_name"}));
  EXPECT_EQ(
      Keys(cJSON_GetObjectItem(root, "output")),
      (std::vector<std::string>{
          "analogue_output_vol", "analogue_output_stereo", "analogue_output_mute",
          "analogue_output_delay", "tarvo_output_vol", "tarvo_output_stereo", "tarvo_output_mute",
          "tarvo_output_delay", "usb_output_vol", "usb_output_stereo", "usb_output_mute",
          "usb_output_delay", "group_output_vol", "group_output_mute", "group_output_stereo1",
          "group_output_stereo2", "group_output_stereo3", "group_output_stereo4", "output_name"}));

  std::vector<std::string> peq = {"input_geq_chn", "input_preset", "input_stereo"};
  for (const char* memory : {"input_flat_date", "input_custom1_date", "input_custom2_date"}) {
    for (int k = 0; k < 18; ++k) peq.push_back(memory + std::to_string(k));
  }
  peq.insert(peq.end(), {"output_geq_chn", "output_preset", "output_stereo"});
  for (const char* memory : {"output_flat_date", "output_custom1_date", "output_custom2_date"}) {
    for (int k = 0; k < 18; ++k) peq.push_back(memory + std::to_string(k));
  }
  const cJSON* peq_object = cJSON_GetObjectItem(root, "peq");
  EXPECT_EQ(Keys(peq_object), peq);
  EXPECT_EQ(Keys(cJSON_GetObjectItem(peq_object, "output_custom2_date17")),
            (std::vector<std::string>{"bypass", "gain", "frequency", "quality", "type_name"}));
  EXPECT_EQ(Keys(cJSON_GetObjectItem(root, "system")),
            (std::vector<std::string>{"power", "powerled", "key_lock", "front_lcd", "baudrate",
                                      "usb_status", "standby_mode", "standbytime"}));
  EXPECT_EQ(Keys(cJSON_GetObjectItem(root, "preset")),
            (std::vector<std::string>{"preset_recall", "preset_enable", "preset_name"}));
  cJSON_Delete(root);
}

TEST_F(ConfigFile, MissingFileIsCreatedWithDefaultsAndThenLeftAlone) {
  Opened live = Open();
  EXPECT_TRUE(live.result);
  EXPECT_EQ(live.saves, 1);
  EXPECT_EQ(Diff(*live.cfg, *Defaults()), std::set<std::string>{});

  cJSON* root = ReadJsonFile(kConfigFile);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(cJSON_GetObjectItem(root, "user_cnt")->valuedouble, 2);
  const cJSON* control = cJSON_GetObjectItem(root, "control");
  for (int k = 0; k < 14; ++k) EXPECT_EQ(cJSON_GetArrayItem(control, k)->valueint, k + 1);
  const cJSON* eq = cJSON_GetObjectItem(cJSON_GetObjectItem(root, "peq"), "input_flat_date0");
  EXPECT_EQ(float(cJSON_GetArrayItem(cJSON_GetObjectItem(eq, "quality"), 7)->valuedouble), 1.41f);
  EXPECT_STREQ(cJSON_GetArrayItem(cJSON_GetObjectItem(eq, "type_name"), 0)->valuestring,
               "PARAMETRIC");
  cJSON_Delete(root);

  std::string first = Read(kConfigFile);
  Opened pending = Open();
  EXPECT_TRUE(pending.result);
  EXPECT_EQ(pending.saves, 0);
  EXPECT_EQ(Read(kConfigFile), first);
}

TEST_F(ConfigFile, FileValuesLoadByTheMemberRules) {
  struct Case {
    const char* what;
    const char* json;
    bool rewritten;
    std::function<void(const app_config_s&)> check;
  } cases[] = {
      {"only a system power", R"({"system":{"power":0}})", true,
       [](const app_config_s& c) {
         EXPECT_EQ(c.power, 0);
         EXPECT_EQ(c.user_cnt, 2u);
         EXPECT_EQ(c.baudrate, 5);
       }},
      {"empty user array", R"({"user":[]})", true,
       [](const app_config_s& c) { EXPECT_EQ(c.user_cnt, 0u); }},
      {"user_cnt larger than the array", R"({"user_cnt":7,"user":[{},{},{}]})", true,
       [](const app_config_s& c) {
         EXPECT_EQ(c.user_cnt, 3u);
         EXPECT_EQ(c.user[0].user, "Morvaneth");
         EXPECT_EQ(c.user[0].password, DefaultPasswordDigest());
         EXPECT_EQ(c.user[1].user, "Guest");
         EXPECT_EQ(c.user[1].password, "");
         EXPECT_EQ(c.user[2].enabled, 1u);
         EXPECT_EQ(c.user[2].power, 1u);
       }},
      {"account values", R"({"user_cnt":1,"user":[{"user":"ann","password":"abc","enabled":0,
          "matrix":0,"power":0,"phantom":[0,0]}]})",
       false,
       [](const app_config_s& c) {
         EXPECT_EQ(c.user[0].user, "ann");
         EXPECT_EQ(c.user[0].password, "abc");
         EXPECT_EQ(c.user[0].enabled, 0u);
         EXPECT_EQ(c.user[0].power, 0u);
         EXPECT_EQ(c.user[0].network, 1u);
         EXPECT_EQ(c.user[0].phantom[1], 0);
         EXPECT_EQ(c.user[0].phantom[2], 1);
       }},
      {"short and long arrays", R"({"user_cnt":2,"input":{"usb_input_stereo":0,
          "analogue_input_gain":[5],"tarvo_input_gain":[1,2,3,4,5,6,7,8,9,10]}})",
       false,
       [](const app_config_s& c) {
         EXPECT_EQ(c.analogue_input_gain[0], 5);
         EXPECT_EQ(c.analogue_input_gain[1], 0);
         EXPECT_EQ(c.tarvo_input_gain[7], 8);
         EXPECT_EQ(c.usb_input_gain[0], 0);
       }},
      {"string where a number belongs", R"({"user_cnt":2,"system":{"power":"1"}})", true,
       [](const app_config_s& c) { EXPECT_EQ(c.power, 1); }},
      {"array elements are not type-checked", R"({"user_cnt":2,"control":[2.9,true,"x",3.7],
          "peq":{"input_geq_chn":0,"output_geq_chn":0,
          "input_flat_date2":{"frequency":[100.9],"bypass":[true,false],"gain":[1.5,"x"]}}})",
       false,
       [](const app_config_s& c) {
         EXPECT_EQ(c.control[0], 2);
         EXPECT_EQ(c.control[1], 1);
         EXPECT_EQ(c.control[2], 0);
         EXPECT_EQ(c.control[3], 3);
         EXPECT_EQ(c.control[4], 5);
         EXPECT_EQ(c.input_flat_date[2].frequency[0], 100);
         EXPECT_EQ(c.input_flat_date[2].frequency[1], 80);
         EXPECT_EQ(c.input_flat_date[2].bypass[0], 1);
         EXPECT_EQ(c.input_flat_date[2].bypass[1], 0);
         EXPECT_EQ(c.input_flat_date[2].gain[0], 1.5f);
         EXPECT_EQ(c.input_flat_date[2].gain[1], 0.0f);
       }},
      {"names are cut; other elements keep the name", R"({"user_cnt":2,"input":{
          "usb_input_stereo":0,"input_name":["0123456789012345678901234567890123456789",5,
          "Mic"]},"peq":{"input_geq_chn":0,"output_geq_chn":0,
          "output_custom1_date17":{"type_name":["LOWPASS",3]}}})",
       false,
       [](const app_config_s& c) {
         EXPECT_STREQ(c.input_name[0], "0123456789012345678901234567890");
         EXPECT_STREQ(c.input_name[1], "Analogue Input CH2");
         EXPECT_STREQ(c.input_name[2], "Mic");
         EXPECT_STREQ(c.output_custom1_date[17].type_name[0], "LOWPASS");
         EXPECT_STREQ(c.output_custom1_date[17].type_name[1], "PARAMETRIC");
       }},
      {"no device object", R"({"user_cnt":2})", false,
       [](const app_config_s& c) {
         EXPECT_EQ(c.type, "TRX");
         EXPECT_EQ(c.model, "VX7206");
       }},
      {"the file's type stands for the live record", R"({"user_cnt":2,
          "device":{"model":"M1","type":"RX"}})",
       false,
       [](const app_config_s& c) {
         EXPECT_EQ(c.type, "RX");
         EXPECT_EQ(c.model, "M1");
       }},
      {"out-of-range values load as stored", R"({"user_cnt":2,"system":{"power":3,
          "powerled":0,"key_lock":0,"front_lcd":99,"baudrate":-4,"usb_status":1,
          "standby_mode":1,"standbytime":1e12}})",
       false,
       [](const app_config_s& c) {
         EXPECT_EQ(c.front_lcd, 99);
         EXPECT_EQ(c.baudrate, -4);
         EXPECT_EQ(c.standbytime, 2147483647);
       }},
      {"channel settings are held to what a command could set", R"({"user_cnt":2,
          "control":[15,-1],"input":{"usb_input_stereo":0,"analogue_input_gain":[31,-99],
          "analogue_input_mute":[2],"group_input_stereo2":[2,-1,1]},
          "output":{"usb_output_stereo":0,"analogue_output_vol":[300,-50],
          "tarvo_output_delay":[-5,51],"group_output_vol":[101]},
          "peq":{"input_geq_chn":0,"output_geq_chn":0,"input_preset":[3,-1,2]}})",
       false,
       [](const app_config_s& c) {
         EXPECT_EQ(c.control[0], 0);
         EXPECT_EQ(c.control[1], 0);
         EXPECT_EQ(c.analogue_input_gain[0], 30);
         EXPECT_EQ(c.analogue_input_gain[1], -30);
         EXPECT_EQ(c.analogue_input_mute[0], 1);
         EXPECT_EQ(c.group_input_stereo2[0], 1) << "a member for every command";
         EXPECT_EQ(c.group_input_stereo2[1], 1);
         EXPECT_EQ(c.group_input_stereo2[2], 1);
         EXPECT_EQ(c.analogue_output_vol[0], 100);
         EXPECT_EQ(c.analogue_output_vol[1], 0);
         EXPECT_EQ(c.tarvo_output_delay[0], 0);
         EXPECT_EQ(c.tarvo_output_delay[1], 50);
         EXPECT_EQ(c.group_output_vol[0], 100);
         EXPECT_EQ(c.input_preset[0], 0);
         EXPECT_EQ(c.input_preset[1], 0);
         EXPECT_EQ(c.input_preset[2], 2);
       }},
      {"wrong JSON types everywhere", R"({"user_cnt":"2","user":{"a":1},"device":[1],
          "network":5,"control":{"a":1},"input":"x","peq":{"input_flat_date0":[1,2]},
          "system":null,"preset":{"preset_recall":[3],"preset_name":"abc"}})",
       true,
       [](const app_config_s& c) {
         EXPECT_EQ(c.user_cnt, 2u);
         EXPECT_EQ(c.control[0], 1);
         EXPECT_EQ(c.tcpport, 8000);
         EXPECT_EQ(c.preset_recall, 0);
         EXPECT_STREQ(c.preset_name[0], "Preset 1");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Write(kConfigFile, c.json);
    Opened o = Open();
    EXPECT_TRUE(o.result);
    EXPECT_EQ(o.saves, c.rewritten ? 1 : 0);
    EXPECT_EQ(Read(kConfigFile) != c.json, c.rewritten);
    c.check(*o.cfg);
  }
}

TEST_F(ConfigFile, RecordsLoadedForPresetsTakeTheLiveType) {
  Write("/oem/app_preset1.json", R"({"device":{"type":"RX"}})");
  Write("/oem/app_preset2.json", R"({"user_cnt":2})");
  std::string live_type = "TRX";
  auto slot = NewRecord();
  slot->type = "TX";
  LoadAppConfigFile("", "/oem/app_preset1.json", slot.get(), "", live_type);
  EXPECT_EQ(slot->type, "TRX");
  // Without a "device" object the type is the one the record had.
  LoadAppConfigFile("", "/oem/app_preset2.json", slot.get(), "", live_type);
  EXPECT_EQ(slot->type, "TRX");
  slot->type = "TX";
  LoadAppConfigFile("", "/oem/app_preset2.json", slot.get(), "", live_type);
  EXPECT_EQ(slot->type, "TX");
  // A missing preset file gives the defaults and writes nothing.
  LoadAppConfigFile("", "/oem/app_preset3.json", slot.get(), "", live_type);
  EXPECT_EQ(slot->power, 1);
  EXPECT_FALSE(Exists("/oem/app_preset3.json"));
}

// Removes the member at path ("system", "power"; array elements by index) from a document.
void RemoveMember(cJSON* root, const std::vector<std::string>& path) {
  cJSON* parent = root;
  for (size_t i = 0; i + 1 < path.size(); ++i) {
    parent = cJSON_IsArray(parent) ? cJSON_GetArrayItem(parent, std::stoi(path[i]))
                                   : cJSON_GetObjectItem(parent, path[i].c_str());
    ASSERT_NE(parent, nullptr) << path[i];
  }
  if (cJSON_IsArray(parent)) {
    cJSON_DeleteItemFromArray(parent, std::stoi(path.back()));
  } else {
    ASSERT_TRUE(cJSON_HasObjectItem(parent, path.back().c_str())) << path.back();
    cJSON_DeleteItemFromObject(parent, path.back().c_str());
  }
}

TEST_F(ConfigFile, OnlyTheListedMissingMembersRewriteTheFile) {
  ASSERT_TRUE(SaveAppConfig(kConfigFile, Defaults().get()));
  std::string complete = Read(kConfigFile);
  struct Case {
    std::vector<std::string> path;
    bool rewrites;
  } cases[] = {
      {{"user_cnt"}, true},
      {{"user", "0", "user"}, true},
      {{"user", "1", "user"}, true},
      {{"user", "0", "password"}, true},
      {{"user", "1", "enabled"}, true},
      {{"user", "0", "matrix"}, true},
      {{"device", "type"}, true},
      {{"device", "model"}, true},
      {{"network", "dhcp"}, true},
      {{"network", "ipaddress"}, true},
      {{"network", "subnet"}, true},
      {{"network", "gateway"}, true},
      {{"network", "dnsserver"}, true},
      {{"network", "hostname"}, true},
      {{"network", "tcpport"}, true},
      {{"network", "telnetport"}, true},
      {{"network", "telnet_enable"}, true},
      {{"network", "tcpportenable"}, true},
      {{"input", "usb_input_stereo"}, true},
      {{"output", "usb_output_stereo"}, true},
      {{"peq", "input_geq_chn"}, true},
      {{"peq", "output_geq_chn"}, true},
      {{"system", "power"}, true},
      {{"system", "powerled"}, true},
      {{"system", "key_lock"}, true},
      {{"system", "front_lcd"}, true},
      {{"system", "baudrate"}, true},
      {{"system", "usb_status"}, true},
      {{"system", "standby_mode"}, true},
      {{"system", "standbytime"}, true},
      {{"preset", "preset_recall"}, true},
      {{"user"}, false},
      {{"user", "1", "password"}, false},
      {{"user", "0", "network"}, false},
      {{"user", "1", "preset"}, false},
      {{"device"}, false},
      {{"network"}, false},
      {{"control"}, false},
      {{"input"}, false},
      {{"input", "input_name"}, false},
      {{"input", "analogue_input_gain"}, false},
      {{"output", "output_name"}, false},
      {{"peq"}, false},
      {{"peq", "input_flat_date3"}, false},
      {{"peq", "output_preset"}, false},
      {{"system"}, false},
      {{"preset"}, false},
      {{"preset", "preset_name"}, false},
  };
  for (const Case& c : cases) {
    std::string where;
    for (const std::string& p : c.path) where += "/" + p;
    SCOPED_TRACE(where);
    cJSON* root = cJSON_Parse(complete.c_str());
    RemoveMember(root, c.path);
    char* text = cJSON_Print(root);
    Write(kConfigFile, text);
    cJSON_free(text);
    cJSON_Delete(root);
    EXPECT_EQ(Open().saves, c.rewrites ? 1 : 0);
  }
}

// A stored name longer than its field is cut before the character that would not fit whole, so
// the status documents never carry a broken UTF-8 sequence.
TEST_F(ConfigFile, LongNamesAreCutAtACharacterBoundary) {
  const std::string thirty(30, 'a');
  struct Case {
    std::string name, kept;
  } cases[] = {
      {thirty + "\xc3\xbc", thirty},         // a 2-byte character across the limit
      {thirty + "b\xc3\xbc", thirty + "b"},  // one that starts past it
      {"abc\xe2\x82\xac" + std::string(30, 'x'), "abc\xe2\x82\xac" + std::string(25, 'x')},
      {std::string(29, 'a') + "\xf0\x9f\x8e\xb5", std::string(29, 'a')},  // a 4-byte one
  };
  for (const Case& c : cases) {
    Write(kConfigFile, R"({"user_cnt":2,"input":{"input_name":[")" + c.name + R"("]}})");
    Opened o = Open();
    EXPECT_EQ(std::string(o.cfg->input_name[0]), c.kept) << c.name;
  }
}

// A hand-edited EQ band outside the protocol's limits would design an unstable filter: it loads as
// that band's default, the other bands as stored.
TEST_F(ConfigFile, EqBandsOutOfRangeLoadAsTheirDefault) {
  auto defaults = Defaults();
  const peq_data_s& plain = defaults->input_custom1_date[3];
  struct Case {
    const char* what;
    const char* member;
    const char* value;  // band 2 of the array
  } cases[] = {
      {"frequency above 20 kHz", "frequency", "30000"},
      {"negative frequency", "frequency", "-5"},
      {"gain above 15 dB", "gain", "40"},
      {"gain below -15 dB", "gain", "-99.5"},
      {"quality 0", "quality", "0"},
      {"quality above 50", "quality", "1e9"},
      {"switch not 0 or 1", "bypass", "7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string values = c.member == std::string("bypass") ? "[0,1,%s,1,1,1,1,1]"
                               : c.member == std::string("frequency")
                                   ? "[100,200,%s,400,500,600,700,800]"
                               : c.member == std::string("gain") ? "[1,2,%s,4,5,6,7,8]"
                                                                 : "[1,1,%s,1,1,1,1,1]";
    char array[128];
    std::snprintf(array, sizeof array, values.c_str(), c.value);
    Write(kConfigFile, std::string(R"({"user_cnt":2,"peq":{"input_custom1_date3":{")") + c.member +
                           "\":" + array + "}}}");
    Opened o = Open();
    const peq_data_s& eq = o.cfg->input_custom1_date[3];
    EXPECT_EQ(eq.frequency[2], plain.frequency[2]);
    EXPECT_EQ(eq.gain[2], plain.gain[2]);
    EXPECT_EQ(eq.quality[2], plain.quality[2]);
    EXPECT_EQ(eq.bypass[2], plain.bypass[2]);
  }
  // In range, to the limits: kept.
  Write(kConfigFile,
        R"({"user_cnt":2,"peq":{"input_custom1_date3":{"frequency":[20,20000,1,1,1,1,1,1],)"
        R"("gain":[-15,15,0,0,0,0,0,0],"quality":[0.02,50,1,1,1,1,1,1]}}})");
  Opened o = Open();
  const peq_data_s& eq = o.cfg->input_custom1_date[3];
  EXPECT_EQ(eq.frequency[0], 20);
  EXPECT_EQ(eq.frequency[1], 20000);
  EXPECT_EQ(eq.gain[0], -15.0f);
  EXPECT_EQ(eq.quality[1], 50.0f);
  EXPECT_EQ(eq.frequency[2], plain.frequency[2]);  // 1 Hz is below the limits
}

// The power state and the USB port have one meaning for every part of the unit: a stored value
// other than 0 loads as 1 (on, USB-B), as the audio and the port lines take it; 0 stays 0.
TEST_F(ConfigFile, PowerAndUsbPortLoadAsZeroOrOne) {
  const struct Case {
    const char* stored;
    int loaded;
  } cases[] = {{"0", 0}, {"1", 1}, {"2", 1}, {"5", 1}, {"-1", 1}, {"1e9", 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    Write(kConfigFile, std::string(R"({"user_cnt":2,"system":{"power":)") + c.stored +
                           R"(,"usb_status":)" + c.stored + "}}");
    Opened o = Open();
    EXPECT_EQ(o.cfg->power, c.loaded);
    EXPECT_EQ(o.cfg->usb_status, c.loaded);
  }
}

TEST_F(ConfigFile, OversizedValuesStayWithinTheRecord) {
  std::string users;
  for (int i = 0; i < 20; ++i)
    users += std::string(i ? "," : "") + R"({"user":"u)" + std::to_string(i) +
             R"(","enabled":1,"matrix":1})";
  std::string long_host(10000, 'h');
  struct Case {
    const char* what;
    std::string json;
    uint32_t user_cnt;
  } cases[] = {
      {"20 accounts", R"({"user_cnt":20,"user":[)" + users + "]}", 11},
      {"count above the record", R"({"user_cnt":500})", 11},
      {"negative count", R"({"user_cnt":-1})", 0},
      {"long host name", R"({"user_cnt":2,"network":{"hostname":")" + long_host + R"("}})", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Write(kConfigFile, c.json);
    Opened o = Open();
    EXPECT_EQ(o.cfg->user_cnt, c.user_cnt);
    // Saving the record again writes at most the record's accounts.
    ASSERT_TRUE(SaveAppConfig(kConfigFile, o.cfg.get()));
    cJSON* root = ReadJsonFile(kConfigFile);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(uint32_t(cJSON_GetArraySize(cJSON_GetObjectItem(root, "user"))), c.user_cnt);
    cJSON_Delete(root);
  }
  EXPECT_EQ(Open().cfg->hostname, std::string(4095, 'h'));

  auto cfg = Defaults();
  cfg->user_cnt = 4000000000u;
  ASSERT_TRUE(SaveAppConfig(kConfigFile, cfg.get()));
  EXPECT_EQ(Open().cfg->user_cnt, 11u);
}

TEST_F(ConfigFile, FailedSaveKeepsTheOldFileAndReportsFalse) {
  auto cfg = Defaults();
  ASSERT_TRUE(SaveAppConfig(kConfigFile, cfg.get()));
  std::string before = Read(kConfigFile);
  cfg->power = 0;
  long syncs = platform::SyncCount();
  platform::FailWritesAfter(1000);
  EXPECT_FALSE(SaveAppConfig(kConfigFile, cfg.get()));
  platform::FailWritesAfter(-1);
  EXPECT_EQ(Read(kConfigFile), before);
  EXPECT_EQ(platform::SyncCount(), syncs);

  testing::internal::CaptureStdout();
  EXPECT_FALSE(SaveAppConfig("/missing/app.json", cfg.get()));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "open file error\n");
  EXPECT_EQ(platform::SyncCount(), syncs);
}

// cJSON's allocator, failing once a number of allocations have been made.
std::atomic<long> g_allocations_left{-1};
void* FailingMalloc(size_t size) {
  if (g_allocations_left >= 0 && g_allocations_left-- == 0) return nullptr;
  return std::malloc(size);
}

TEST_F(ConfigFile, SaveThatRunsOutOfMemoryWritesNothing) {
  auto cfg = Defaults();
  ASSERT_TRUE(SaveAppConfig(kConfigFile, cfg.get()));
  std::string before = Read(kConfigFile);
  cJSON_Hooks hooks = {FailingMalloc, std::free};
  cJSON_InitHooks(&hooks);
  // Count the allocations of one save, then fail each of a few of them: early and late while
  // building the tree, and the last ones, made while printing it.
  const long kPlenty = 1L << 40;
  g_allocations_left = kPlenty;
  ASSERT_TRUE(SaveAppConfig(kConfigFile, cfg.get()));
  long total = kPlenty - g_allocations_left;
  cfg->power = 0;
  for (long left : {0L, 5L, total / 2, total - 3, total - 1}) {
    g_allocations_left = left;
    bool saved = SaveAppConfig(kConfigFile, cfg.get());
    ASSERT_LT(g_allocations_left, 0) << "the save needed fewer than " << left << " allocations";
    g_allocations_left = -1;
    EXPECT_FALSE(saved) << left;
    EXPECT_EQ(Read(kConfigFile), before) << left;
  }
  cJSON_InitHooks(nullptr);
}

TEST_F(ConfigFile, UnparsableFileIsKeptBesideTheNewDefaults) {
  for (const std::string broken : {R"({"user_cnt":2,"user":[{"user":"ann")", "[1,2]", ""}) {
    SCOPED_TRACE(broken);
    Write(kConfigFile, broken);
    Opened o = Open();
    EXPECT_TRUE(o.result);
    EXPECT_EQ(Read("/oem/app.json.bad"), broken);
    EXPECT_EQ(Diff(*o.cfg, *Defaults()), std::set<std::string>{});
    cJSON* root = ReadJsonFile(kConfigFile);
    EXPECT_NE(root, nullptr);
    cJSON_Delete(root);
  }
}

// A complete document: parses and ends with the last section.
bool CompleteDocument(const char* file) {
  cJSON* root = ReadJsonFile(file);
  bool complete = root && cJSON_IsObject(cJSON_GetObjectItem(root, "preset")) &&
                  cJSON_GetArraySize(cJSON_GetObjectItem(root, "user")) == 2;
  cJSON_Delete(root);
  return complete;
}

int TemporaryCount() {
  return std::system("exit $(ls \"$DEVCTL_TEST_OEM\" | grep -c '^app.json.tmp')") >> 8;
}

// The value of "power" in the stored document's system section, -1 when it is not a complete
// document.
int StoredPower(const char* file) {
  if (!CompleteDocument(file)) return -1;
  cJSON* root = ReadJsonFile(file);
  int power = -1;
  const cJSON* item = cJSON_GetObjectItem(cJSON_GetObjectItem(root, "system"), "power");
  if (cJSON_IsNumber(item)) power = item->valueint;
  if (cJSON_IsBool(item)) power = cJSON_IsTrue(item) ? 1 : 0;
  cJSON_Delete(root);
  return power;
}

// A save killed at each of its steps in turn (opening the temporary, each write, fsync, the
// rename, after the rename) leaves the old document or the new one, whole, with at most the one
// temporary of the killed save beside it, which the next open removes.
TEST_F(ConfigFile, SaveKilledAtEachStepLeavesTheOldOrTheNewFile) {
  auto cfg = Defaults();
  cfg->power = 0;
  ASSERT_TRUE(SaveAppConfig(kConfigFile, cfg.get()));
  const int old_power = StoredPower(kConfigFile);
  ASSERT_GE(old_power, 0);
  const size_t chunk = Read(kConfigFile).size() / 5 + 1;  // about five writes

  // The steps one save goes through.
  std::vector<platform::WriteStep> steps;
  cfg->power = 1;
  platform::SetWriteStepHook([&](platform::WriteStep s) { steps.push_back(s); }, chunk);
  ASSERT_TRUE(SaveAppConfig(kConfigFile, cfg.get()));
  platform::SetWriteStepHook(nullptr);
  const int new_power = StoredPower(kConfigFile);
  ASSERT_NE(new_power, old_power);
  ASSERT_GE(std::count(steps.begin(), steps.end(), platform::WriteStep::kWrite), 3);
  ASSERT_EQ(steps.back(), platform::WriteStep::kRenamed);

  setenv("DEVCTL_TEST_OEM", platform::Path("/oem").c_str(), 1);
  for (size_t kill_at = 0; kill_at < steps.size(); ++kill_at) {
    SCOPED_TRACE("killed at step " + std::to_string(kill_at));
    cfg->power = 0;
    ASSERT_TRUE(SaveAppConfig(kConfigFile, cfg.get()));
    cfg->power = 1;
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      size_t step = 0;
      platform::SetWriteStepHook(
          [&](platform::WriteStep) {
            if (step++ == kill_at) raise(SIGKILL);
          },
          chunk);
      SaveAppConfig(kConfigFile, cfg.get());
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    const bool renamed = steps[kill_at] == platform::WriteStep::kRenamed;
    EXPECT_EQ(StoredPower(kConfigFile), renamed ? new_power : old_power);
    const bool temporary = steps[kill_at] != platform::WriteStep::kOpen && !renamed;
    EXPECT_EQ(TemporaryCount(), temporary ? 1 : 0);

    Opened o = Open();
    EXPECT_TRUE(o.result);
    EXPECT_EQ(TemporaryCount(), 0);
    EXPECT_EQ(StoredPower(kConfigFile), renamed ? new_power : old_power);
  }
}

TEST_F(ConfigFile, ConcurrentSavesNeverExposeAPartialFile) {
  auto cfg = Defaults();
  ASSERT_TRUE(SaveAppConfig(kConfigFile, cfg.get()));
  std::atomic<bool> saving{true};
  std::atomic<int> bad_reads{0};
  std::thread reader([&] {
    while (saving) {
      if (!CompleteDocument(kConfigFile)) ++bad_reads;
    }
  });
  std::vector<std::thread> savers;
  std::atomic<int> failures{0};
  for (int t = 0; t < 8; ++t) {
    savers.emplace_back([&] {
      for (int n = 0; n < 25; ++n) {
        if (!SaveAppConfig(kConfigFile, cfg.get())) ++failures;
      }
    });
  }
  for (std::thread& t : savers) t.join();
  saving = false;
  reader.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(bad_reads, 0);
  EXPECT_TRUE(CompleteDocument(kConfigFile));
}

}  // namespace
