// The web command table as the family files export it: every name reaches its handler, and the
// frame wakes a unit in standby for exactly the rows that say so.
#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <set>
#include <string>

#include "devctl/core/markers.h"
#include "devctl/core/unit_state.h"
#include "devctl/web/application.h"
#include "devctl/web/web_commands.h"
#include "devctl/web/web_eq_handlers.h"
#include "devctl/web/web_handlers.h"
#include "devctl/web/web_network_handlers.h"
#include "devctl/web/web_output_handlers.h"
#include "devctl/web/web_preset_handlers.h"
#include "devctl/web/web_system_handlers.h"
#include "devctl/web/web_upgrade_handlers.h"
#include "tests/support/web_commands.h"

namespace {

constexpr unsigned kAnyWake = kWebWakesFirst | kWebWakes | kWebWakesAfter;
constexpr char kPowerOnNotice[] = "[SUCCESS]Set system power on, please wait a moment...\r\n";

// The table as the web interface documents it: each name and the handler that answers it.
const struct {
  const char* name;
  WebHandler handler;
} kDocumented[] = {
    {"login", WebLogin},
    {"logout", WebLogout},
    {"modify password", WebModifyPassword},
    {"modify username", WebModifyUsername},
    {"get user", WebGetUser},
    {"get login user", WebGetLoginUser},
    {"add login user", WebAddLoginUser},
    {"delete login user", WebDeleteLoginUser},
    {"get user limit", WebGetUserLimit},
    {"set user limit", WebSetUserLimit},
    {"set user enabled", WebSetUserEnabled},
    {"get control status", WebGetControlStatus},
    {"set control status", WebSetControlStatus},
    {"get input status", WebGetInputStatus},
    {"set input gain", WebSetInputGain},
    {"set input phantom", WebSetInputPhantom},
    {"set input stereo", WebSetInputStereo},
    {"set input mute", WebSetInputMute},
    {"set input name", WebSetInputName},
    {"set input usb", WebSetInputUsb},
    {"get output status", WebGetOutputStatus},
    {"set output vol", WebSetOutputVolume},
    {"set output mute", WebSetOutputMute},
    {"set output stereo", WebSetOutputStereo},
    {"set output delay", WebSetOutputDelay},
    {"set output name", WebSetOutputName},
    {"get peq status", WebGetPeqStatus},
    {"set peq chn", WebSetPeqChannel},
    {"set peq", WebSetPeq},
    {"set peq bypass", WebSetPeqBypass},
    {"set eq stereo", WebSetEqStereo},
    {"set eq preset", WebSetEqPreset},
    {"set peq reset", WebSetPeqReset},
    {"get preset status", WebGetPresetStatus},
    {"get preset user", WebGetPresetUser},
    {"set preset recall", WebSetPresetRecall},
    {"set preset name", WebSetPresetName},
    {"delete preset", WebDeletePreset},
    {"set preset save", WebSetPresetSave},
    {"reboot", WebReboot},
    {"set factory", WebSetFactory},
    {"get status", WebGetStatus},
    {"set network", WebSetNetwork},
    {"set telnetportenable", WebSetTelnetPortEnable},
    {"set tcpportenable", WebSetTcpPortEnable},
    {"get system status", WebGetSystemStatus},
    {"set key lock", WebSetKeyLock},
    {"set power", WebSetPower},
    {"set front lcd", WebSetFrontLcd},
    {"set power led", WebSetPowerLed},
    {"set baudrate", WebSetBaudRate},
    {"set standby mode", WebSetStandbyMode},
    {"set_auto_standby_time", WebSetAutoStandbyTime},
    {"get upgrade status", WebGetUpgradeStatus},
    {"set defaults network", WebSetDefaultsNetwork},
    {"GetUpgradeFW", WebGetUpgradeFw},
};

TEST(WebCommandTableTest, EveryNameReachesItsHandler) {
  ASSERT_EQ(g_web_command_count, std::size(kDocumented));
  CApplication app("appthread");
  app.FillCommandMap(g_web_commands, g_web_command_count);
  ASSERT_EQ(app.command_map().size(), std::size(kDocumented));
  for (size_t i = 0; i < std::size(kDocumented); ++i) {
    EXPECT_EQ(g_web_commands[i].name, kDocumented[i].name) << i;
    const auto entry = app.command_map().find(kDocumented[i].name);
    ASSERT_NE(entry, app.command_map().end()) << kDocumented[i].name;
    EXPECT_EQ(entry->second.handler, kDocumented[i].handler) << kDocumented[i].name;
  }

  // Each family row is in the table once, with its frame; no name is left without a row.
  std::map<std::string, const WebCommandRow*> rows;
  for (size_t f = 0; f < g_web_command_family_count; ++f) {
    const WebCommandRows& family = *g_web_command_families[f];
    for (size_t r = 0; r < family.count; ++r) {
      EXPECT_TRUE(rows.emplace(family.rows[r].name, &family.rows[r]).second)
          << "two rows named " << family.rows[r].name;
    }
  }
  EXPECT_EQ(rows.size(), g_web_command_count);
  for (size_t i = 0; i < g_web_command_count; ++i) {
    const auto row = rows.find(g_web_commands[i].name);
    ASSERT_NE(row, rows.end()) << g_web_commands[i].name << " has no row";
    EXPECT_EQ(row->second->handler, g_web_commands[i].handler) << g_web_commands[i].name;
    EXPECT_EQ(row->second->frame, g_web_commands[i].frame) << g_web_commands[i].name;
  }
}

// Every row once more, in standby, through CApplication::HandleInstr.
class WebFrameWakeTest : public testsupport::WebCommandFixture {
 protected:
  WebFrameWakeTest() : WebCommandFixture(SystemLines()) {}
  void TearDown() override {
    ResetRebootRequest();
    WebCommandFixture::TearDown();
  }
  // Runs body with the unit in standby; returns whether it woke. reply gets the answer.
  bool WokeFromStandby(const std::string& body, std::string& reply) {
    g_unit.config.power = 0;
    ClearNotices();
    reply = Post(body);
    ResetRebootRequest();
    const bool woke = g_unit.config.power != 0;
    // The power-on notice goes out first, and only with a wake.
    EXPECT_EQ(notices().rfind(kPowerOnNotice, 0) == 0, woke) << body << "\n" << notices();
    return woke;
  }
  static std::string Body(const std::string& name, const std::string& members) {
    return "{\"comhead\":\"" + name + "\"" + (members.empty() ? "" : "," + members) + "}";
  }
  // "set network" with the settings the unit has: accepted, nothing to rewrite.
  static std::string SameNetwork() {
    const app_config_s& c = g_unit.config;
    return "\"dhcp\":" + std::to_string(c.dhcp) + ",\"tcpport\":" + std::to_string(c.tcpport) +
           ",\"telnetport\":" + std::to_string(c.telnetport) + ",\"ipaddress\":\"" + c.ipaddress +
           "\",\"subnet\":\"" + c.subnet + "\",\"gateway\":\"" + c.gateway + "\",\"hostname\":\"" +
           c.hostname + "\",\"model\":\"" + c.model + "\"";
  }
};

TEST_F(WebFrameWakeTest, WakesExactlyTheRowsThatSaySo) {
  // Per command: members of a request it accepts, and when the unit wakes for it. The commands
  // that refuse a request without members are asked that way as well: only a command that wakes
  // before it reads the request wakes then.
  enum Wake { kNever, kWhenGood, kFirst };
  const struct {
    const char* name;
    std::string good;
    Wake wakes;
    bool has_members;
  } cases[] = {
      {"login", R"("user":"admin","password":"x")", kNever, true},
      {"logout", R"("user":"admin","password":"x")", kNever, true},
      {"modify password", R"("user":"nobody","newpassword":"a","makesure":"a")", kNever, true},
      {"modify username", "", kNever, false},
      {"get user", "", kNever, false},
      {"get login user", "", kNever, false},
      {"add login user", R"("user":"guest","password":"pw")", kNever, true},
      {"delete login user", R"("index":5)", kNever, true},
      {"get user limit", R"("user":"guest")", kNever, true},
      {"set user limit",
       R"("user":"guest","matrix":1,"network":1,"system":1,"information":1,"power":1)", kNever,
       true},
      {"set user enabled", R"("user":"guest","enabled":1)", kNever, true},
      {"get control status", "", kNever, false},
      {"set control status", R"("chn":1,"status":1)", kFirst, true},
      {"get input status", "", kNever, false},
      {"set input gain", R"("action":0,"chn":0,"gain":1)", kFirst, true},
      {"set input phantom", R"("chn":0,"phantom":1)", kWhenGood, true},
      {"set input stereo", R"("action":0,"chn":0,"stereo":1)", kWhenGood, true},
      {"set input mute", R"("action":0,"chn":0,"mute":1)", kWhenGood, true},
      {"set input name", R"("chn":1,"name":"Mic")", kWhenGood, true},
      {"set input usb", R"("usb":1)", kWhenGood, true},
      {"get output status", "", kNever, false},
      {"set output vol", R"("action":0,"chn":0,"vol":50)", kWhenGood, true},
      {"set output mute", R"("action":0,"chn":0,"mute":1)", kWhenGood, true},
      {"set output stereo", R"("action":0,"chn":0,"stereo":1)", kWhenGood, true},
      {"set output delay", R"("action":0,"chn":0,"delay":5)", kWhenGood, true},
      {"set output name", R"("chn":1,"name":"Out")", kWhenGood, true},
      {"get peq status", "", kNever, false},
      {"set peq chn", R"("action":0,"chn":0)", kWhenGood, true},
      {"set peq",
       R"("action":0,"chn":0,"preset":1,"id":0,"frequency":100,"gain":1,"quality":1,"type":"PARAMETRIC")",
       kWhenGood, true},
      {"set peq bypass", R"("action":0,"chn":0,"id":0,"bypass":1)", kWhenGood, true},
      {"set eq stereo", R"("action":0,"chn":0,"stereo":1)", kWhenGood, true},
      {"set eq preset", R"("action":0,"chn":0,"preset":1)", kWhenGood, true},
      {"set peq reset", R"("action":0,"chn":0,"preset":1)", kWhenGood, true},
      {"get preset status", "", kNever, false},
      {"get preset user", "", kNever, false},
      {"set preset name", R"("chn":1,"name":"Stage")", kNever, true},
      {"set preset save", R"("preset":1)", kNever, true},
      {"set preset recall", R"("preset":1)", kNever, true},
      {"delete preset", R"("chn":1)", kNever, true},
      {"reboot", R"("reboot":1)", kNever, true},
      {"get status", "", kNever, false},
      {"set network", SameNetwork(), kWhenGood, true},
      {"set telnetportenable", R"("value":1)", kWhenGood, true},
      {"set tcpportenable", R"("value":1)", kWhenGood, true},
      {"get system status", "", kNever, false},
      {"set key lock", R"("lock":0)", kWhenGood, true},
      {"set power", R"("power":0)", kNever, true},
      {"set front lcd", R"("lcd":1)", kWhenGood, true},
      {"set power led", R"("led":1)", kWhenGood, true},
      {"set baudrate", R"("baudrate":3)", kWhenGood, true},
      {"set standby mode", R"("standby":1)", kWhenGood, true},
      {"set_auto_standby_time", R"("time":10)", kWhenGood, true},
      {"get upgrade status", R"("type":0)", kNever, false},
      {"set defaults network", "", kWhenGood, false},
      {"GetUpgradeFW", "", kNever, false},
      // Resets every setting for the next start; the live record keeps its power state.
      {"set factory", R"("factory":0)", kNever, true},
  };
  std::set<std::string> covered;
  for (const auto& c : cases) {
    covered.insert(c.name);
    const web_command_s& command = app_.command_map().at(c.name);
    EXPECT_EQ((command.frame & kAnyWake) != 0, c.wakes != kNever) << c.name << ": the row";
    EXPECT_EQ((command.frame & kWebWakesFirst) != 0, c.wakes == kFirst) << c.name << ": the row";

    std::string reply;
    EXPECT_EQ(WokeFromStandby(Body(c.name, c.good), reply), c.wakes != kNever) << c.name;
    EXPECT_EQ(reply.find("unsupported command"), std::string::npos) << c.name;
    if (c.wakes != kNever) {
      // A request the command takes: the wake-up is the frame's, not a refusal's side effect.
      cJSON* json = cJSON_Parse(reply.c_str());
      const cJSON* result = cJSON_GetObjectItem(json, "result");
      EXPECT_TRUE(cJSON_IsNumber(result) && result->valueint == 1) << c.name << ": " << reply;
      cJSON_Delete(json);
    }
    if (c.has_members) {
      EXPECT_EQ(WokeFromStandby(Body(c.name, ""), reply), c.wakes == kFirst)
          << c.name << " without its members";
    }
  }
  EXPECT_EQ(covered.size(), g_web_command_count);
}

// A request found good wakes the unit before its change looks further: a channel beyond its kind
// is refused after the wake-up, while a value out of range is refused before it.
TEST_F(WebFrameWakeTest, TheWakeComesBetweenAGoodRequestAndItsChange) {
  std::string reply;
  EXPECT_TRUE(WokeFromStandby(Body("set output vol", R"("action":0,"chn":7,"vol":50)"), reply));
  EXPECT_NE(reply.find("\"result\":\t0"), std::string::npos) << reply;
  EXPECT_FALSE(WokeFromStandby(Body("set output vol", R"("action":0,"chn":0,"vol":101)"), reply));
  EXPECT_NE(reply.find("\"result\":\t0"), std::string::npos) << reply;
  // A refused request that woke the unit still saves the power state.
  const long saves = Saves();
  EXPECT_TRUE(WokeFromStandby(Body("set input mute", R"("action":2,"chn":3,"mute":1)"), reply));
  EXPECT_GT(Saves(), saves);
}

}  // namespace
