// The web commands of the unit-wide settings, presets, reboot and factory reset through
// CApplication::HandleInstr on the simulated board: reply members, configuration, notices,
// saves, flags and files.
#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "devctl/app/service_loop.h"
#include "devctl/core/config_file.h"
#include "devctl/core/markers.h"
#include "devctl/core/notices.h"
#include "devctl/core/port_restarts.h"
#include "devctl/core/presets.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/front_panel_shutdown.h"
#include "devctl/devices/gpio.h"
#include "devctl/hardware/panel_state.h"
#include "devctl/hardware/power_state.h"
#include "devctl/text/control_servers.h"
#include "devctl/text/dispatcher.h"
#include "devctl/web/application.h"
#include "devctl/web/web_commands.h"
#include "platform/sim_sysfs.h"
#include "platform/storage.h"
#include "tests/support/held_port.h"
#include "tests/support/web_commands.h"

namespace {

class WebSystem : public testsupport::WebCommandFixture {
 protected:
  WebSystem() : WebCommandFixture(SystemLines()) {}
  void SetUp() override {
    WebCommandFixture::SetUp();
    g_unit.pending = g_unit.config;
    g_port_restarts.tcp = g_port_restarts.telnet = g_port_restarts.uart = false;
    g_panel.notice = 0;
    ASSERT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));
  }
  void TearDown() override {
    g_port_restarts.tcp = g_port_restarts.telnet = g_port_restarts.uart = false;
    g_panel.notice = 0;
    WebCommandFixture::TearDown();
  }
  static std::string Set(const char* comhead, const char* key, int value) {
    return std::string("{\"comhead\":\"") + comhead + "\",\"" + key +
           "\":" + std::to_string(value) + "}";
  }
};

// Compare-first setters: a new value is stored live and pending, announced once and saved; the
// same value again answers 1 with nothing sent or saved.
TEST_F(WebSystem, CompareFirstSetters) {
  struct Case {
    const char* comhead;
    const char* key;
    int value;
    const char* notice;
    int app_config_s::*field;
  } cases[] = {
      {"set standby mode", "standby", 0, "[SUCCESS]Set system standby mode to sleep.\r\n",
       &app_config_s::standby_mode},
      {"set standby mode", "standby", 2, "[SUCCESS]Set system standby mode to standby.\r\n",
       &app_config_s::standby_mode},
      {"set baudrate", "baudrate", 6, "[SUCCESS]Set baudrate to 115200.\r\n",
       &app_config_s::baudrate},
      {"set key lock", "lock", 1, "[SUCCESS]Set key on.\r\n", &app_config_s::key_lock},
      {"set tcpportenable", "value", 0, "[SUCCESS]Set TCP/IP to off.\r\n",
       &app_config_s::tcpportenable},
      {"set telnetportenable", "value", 0, "[SUCCESS]Set telnet to off.\r\n",
       &app_config_s::telnet_enable},
      {"set power led", "led", 1, "[SUCCESS]Set system power LED follow LCD status.\r\n",
       &app_config_s::powerled},
      {"set_auto_standby_time", "time", 30, "[SUCCESS]Set auto standby time to 30 mins.\r\n",
       &app_config_s::standbytime},
      {"set_auto_standby_time", "time", 0,
       "[SUCCESS]Set auto standby time to 0 mins.(Disable auto standby)\r\n",
       &app_config_s::standbytime},
      {"set input usb", "usb", 7, "[SUCCESS]Set USB port to USB-C.\r\n", &app_config_s::usb_status},
      // Last: the commands above would wake the unit.
      {"set power", "power", 0, "[SUCCESS]Set power to off, please wait a moment...\r\n",
       &app_config_s::power},
  };
  for (const Case& c : cases) {
    ClearNotices();
    long saves = Saves();
    EXPECT_EQ(Command(Set(c.comhead, c.key, c.value)), Result(c.comhead, 1)) << c.comhead;
    EXPECT_EQ(notices(), c.notice) << c.comhead;
    EXPECT_GT(Saves(), saves) << c.comhead;
    const int stored = g_unit.config.*c.field;
    EXPECT_EQ(Saved().*c.field, stored) << c.comhead;
    if (c.field != &app_config_s::standbytime) {
      EXPECT_EQ(g_unit.pending.*c.field, stored);
    }

    // Repeating the stored value changes nothing.
    ClearNotices();
    saves = Saves();
    EXPECT_EQ(Command(Set(c.comhead, c.key, stored)), Result(c.comhead, 1)) << c.comhead;
    EXPECT_EQ(notices(), "") << c.comhead;
    EXPECT_EQ(Saves(), saves) << c.comhead;
  }
  EXPECT_TRUE(g_port_restarts.uart);
  EXPECT_TRUE(g_port_restarts.tcp);
  EXPECT_TRUE(g_port_restarts.telnet);
  EXPECT_EQ(g_panel.notice, 2);
  EXPECT_EQ(g_power.auto_standby_state, 1);
}

// Turning a server on while another program listens on its port answers 0: the server stays
// off, the control ports hear nothing and nothing is saved. Once the port is free it turns on.
TEST_F(WebSystem, TurningOnAServerWhosePortIsHeldAnswersZero) {
  struct Case {
    const char* comhead;
    int app_config_s::*enable;
    int app_config_s::*port;
  } cases[] = {
      {"set telnetportenable", &app_config_s::telnet_enable, &app_config_s::telnetport},
      {"set tcpportenable", &app_config_s::tcpportenable, &app_config_s::tcpport},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.comhead);
    testsupport::HeldPort held;
    ASSERT_NE(held.port(), 0);
    g_unit.config.*c.enable = g_unit.pending.*c.enable = 0;
    g_unit.config.*c.port = g_unit.pending.*c.port = held.port();
    ASSERT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));
    ClearNotices();
    const long saves = Saves();
    EXPECT_EQ(Command(Set(c.comhead, "value", 1)), Result(c.comhead, 0));
    EXPECT_EQ(notices(), "");
    EXPECT_EQ(g_unit.config.*c.enable, 0);
    EXPECT_EQ(g_unit.pending.*c.enable, 0);
    EXPECT_EQ(Saved().*c.enable, 0);
    EXPECT_EQ(Saves(), saves);
    EXPECT_FALSE(g_port_restarts.tcp);
    EXPECT_FALSE(g_port_restarts.telnet);

    held.Release();
    EXPECT_EQ(Command(Set(c.comhead, "value", 1)), Result(c.comhead, 1));
    EXPECT_EQ(Saved().*c.enable, 1);
    g_port_restarts.tcp = g_port_restarts.telnet = false;
  }
}

// Values outside what the unit can take answer 0 before anything changes; the unit stays in
// standby.
TEST_F(WebSystem, RefusedValuesChangeNothingAndDoNotWake) {
  g_unit.config.power = 0;
  const app_config_s before = g_unit.config;
  const long saves = Saves();
  struct Case {
    std::string body;
    const char* comhead;
  } cases[] = {
      {Set("set baudrate", "baudrate", 0), "set baudrate"},
      {Set("set baudrate", "baudrate", 7), "set baudrate"},
      {Set("set power", "power", 2), "set power"},
      {Set("set power led", "led", 2), "set power led"},
      {Set("set front lcd", "lcd", 5), "set front lcd"},
      {Set("set front lcd", "lcd", -1), "set front lcd"},
      {Set("set_auto_standby_time", "time", 121), "set_auto_standby_time"},
      {Set("set_auto_standby_time", "time", -5), "set_auto_standby_time"},
      {"{\"comhead\":\"set key lock\"}", "set key lock"},
      {"{\"comhead\":\"set input usb\",\"usb\":\"1\"}", "set input usb"},
      {"{\"comhead\":\"set input phantom\",\"chn\":4,\"phantom\":1}", "set input phantom"},
      {"{\"comhead\":\"set input phantom\",\"chn\":0,\"phantom\":2}", "set input phantom"},
      {"{\"comhead\":\"reboot\"}", "reboot"},
      {"{\"comhead\":\"reboot\",\"reboot\":\"x\"}", "reboot"},
      {"{\"comhead\":\"set factory\"}", "set factory"},
  };
  for (const Case& c : cases) EXPECT_EQ(Command(c.body), Result(c.comhead, 0)) << c.body;
  EXPECT_EQ(notices(), "");
  EXPECT_EQ(Saves(), saves);
  EXPECT_EQ(g_unit.config.power, 0);
  EXPECT_EQ(g_unit.config.baudrate, before.baudrate);
  EXPECT_EQ(g_unit.config.front_lcd, before.front_lcd);
  EXPECT_EQ(g_unit.config.standbytime, before.standbytime);
  EXPECT_FALSE(Exists("/tmp/reboot"));
}

TEST_F(WebSystem, FrontLcdAlwaysActsAndWakesAfterTheChange) {
  g_unit.config.power = 0;
  EXPECT_EQ(Command(Set("set front lcd", "lcd", 3)), Result("set front lcd", 1));
  EXPECT_EQ(notices(),
            "[SUCCESS]Set system power on, please wait a moment...\r\n"
            "[SUCCESS]Set LCD light on 30s.\r\n");
  EXPECT_EQ(g_unit.config.power, 1);
  EXPECT_EQ(g_unit.config.front_lcd, 3);
  EXPECT_EQ(g_power.backlight_countdown, 60);
  ClearNotices();
  const long saves = Saves();
  EXPECT_EQ(Command(Set("set front lcd", "lcd", 3)), Result("set front lcd", 1));
  EXPECT_EQ(notices(), "[SUCCESS]Set LCD light on 30s.\r\n");
  EXPECT_GT(Saves(), saves);
}

TEST_F(WebSystem, PowerNeverWakesFirst) {
  g_unit.config.power = 0;
  EXPECT_EQ(Command(Set("set power", "power", 1)), Result("set power", 1));
  EXPECT_EQ(notices(), "[SUCCESS]Set power to on, please wait a moment...\r\n");
  EXPECT_EQ(g_unit.pending.power, 1);
}

TEST_F(WebSystem, PhantomFollowsALinkedPair) {
  g_unit.config.analogue_input_stereo[0] = 1;
  EXPECT_EQ(Command("{\"comhead\":\"set input phantom\",\"chn\":1,\"phantom\":1}"),
            Result("set input phantom", 1));
  EXPECT_EQ(notices(),
            "[SUCCESS]Set analogue input CH1 phantom power on.\r\n"
            "[SUCCESS]Set analogue input CH2 phantom power on.\r\n");
  EXPECT_EQ(Saved().analogue_input_phantom[0], 1);
  EXPECT_EQ(Saved().analogue_input_phantom[1], 1);
  EXPECT_EQ(platform::sim_sysfs().Level(kGpioPhantom[0]), 1);
  ClearNotices();
  EXPECT_EQ(Command("{\"comhead\":\"set input phantom\",\"chn\":3,\"phantom\":1}"),
            Result("set input phantom", 1));
  EXPECT_EQ(notices(), "[SUCCESS]Set analogue input CH4 phantom power on.\r\n");
  EXPECT_EQ(g_unit.config.analogue_input_phantom[2], 0);
}

TEST_F(WebSystem, UsbPortComparesTheValueAsSent) {
  EXPECT_EQ(Command(Set("set input usb", "usb", 1)), Result("set input usb", 1));
  EXPECT_EQ(notices(), "");
  EXPECT_EQ(Command(Set("set input usb", "usb", 0)), Result("set input usb", 1));
  EXPECT_EQ(notices(), "[SUCCESS]Set USB port to USB-C.\r\n");
  EXPECT_EQ(g_unit.pending.usb_status, 0);
  ClearNotices();
  const long saves = Saves();
  EXPECT_EQ(Command(Set("set input usb", "usb", 0)), Result("set input usb", 1));
  EXPECT_EQ(notices(), "");
  EXPECT_EQ(Saves(), saves);
}

TEST_F(WebSystem, Reboot) {
  EXPECT_EQ(Command(Set("reboot", "reboot", 0)), Result("reboot", 1));
  EXPECT_EQ(notices(), "[SUCCESS]System reboot, please wait a moment...\r\n");
  EXPECT_EQ(Read("/tmp/reboot"), "1");
}

// With /tmp full the reboot marker cannot be written: "result" 0, and the unit keeps playing with
// its panel lit.
TEST_F(WebSystem, RebootThatCannotBeRequestedAnswersZero) {
  platform::FailWritesUnder(platform::Path("/tmp"));
  SetAudioMuteGpio(0);
  for (const std::string& body : {Set("reboot", "reboot", 0), Set("set factory", "factory", 1),
                                  Set("set factory", "factory", 2)}) {
    EXPECT_EQ(Command(body), "comhead=" + body.substr(12, body.find('"', 12) - 12) +
                                 ";result=0;error=reboot not requested;")
        << body;
  }
  EXPECT_EQ(notices(), "");
  EXPECT_FALSE(Exists("/tmp/reboot"));
  EXPECT_EQ(platform::sim_sysfs().Level(kGpioAudioMute), 0);
  EXPECT_FALSE(PanelThreadStopRequested());
  EXPECT_FALSE(ConfigSavesFrozen(g_unit.config_path));
  platform::FailWritesUnder("");
}

// A factory reset whose save fails (read-only /oem) changes nothing: not the live record, not the
// file, not the network-audio configuration or dhcpcd.conf; the reply says so.
TEST_F(WebSystem, FactoryResetThatCannotBeSavedChangesNothing) {
  g_unit.config.analogue_input_gain[2] = 9;
  g_unit.config.hostname = "studio";
  ASSERT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));
  Write("/etc/dhcpcd.conf", "static\n");
  Write("/etc/hostname", "studio");
  Write("/usr/local/netaudio/tarvo_package/tarvo_data/config/a.conf", "x");
  const std::string file = Read("/oem/app.json");
  platform::FailWritesUnder(platform::Path("/oem"));
  for (int factory : {0, 1, 2}) {
    EXPECT_EQ(Command(Set("set factory", "factory", factory)),
              "comhead=set factory;result=0;error=settings not saved;")
        << factory;
    EXPECT_EQ(g_unit.config.analogue_input_gain[2], 9) << factory;
    EXPECT_EQ(Read("/oem/app.json"), file) << factory;
    EXPECT_EQ(Read("/etc/dhcpcd.conf"), "static\n") << factory;
    EXPECT_EQ(Read("/etc/hostname"), "studio") << factory;
    EXPECT_TRUE(Exists("/usr/local/netaudio/tarvo_package/tarvo_data/config/a.conf")) << factory;
    EXPECT_FALSE(Exists("/tmp/reboot")) << factory;
    EXPECT_FALSE(ConfigSavesFrozen(g_unit.config_path)) << factory;
  }
  EXPECT_EQ(notices(), "");
  platform::FailWritesUnder("");
}

TEST_F(WebSystem, SystemResetKeepsAccountsAndNetwork) {
  g_unit.config.tcpport = 9000;
  g_unit.config.hostname = "studio";
  g_unit.config.analogue_input_gain[2] = 9;
  g_unit.config.preset_enable[1] = 1;
  ASSERT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));
  EXPECT_EQ(Command(Set("set factory", "factory", 1)), Result("set factory", 1));
  EXPECT_EQ(notices(), "[SUCCESS]System reset, please wait a moment...\r\n");
  const app_config_s saved = Saved();
  EXPECT_EQ(saved.tcpport, 9000);
  EXPECT_EQ(saved.hostname, "studio");
  EXPECT_EQ(saved.analogue_input_gain[2], 0);
  EXPECT_EQ(saved.preset_enable[1], 0);
  EXPECT_EQ(Read("/tmp/reboot"), "1");
}

TEST_F(WebSystem, ResetAllIsNotUndoneByLaterSaves) {
  for (int factory : {0, 2}) {
    UnfreezeConfigSaves();
    g_unit.config.tcpport = 9000;
    g_unit.config.hostname = "studio";
    g_unit.config.analogue_input_gain[2] = 9;
    ASSERT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));
    Write("/usr/local/backend/apps/dhcpcd.conf", "template\n");
    Write("/usr/local/netaudio/tarvo_package/tarvo_data/config/a.conf", "x");
    ClearNotices();
    EXPECT_EQ(Command(Set("set factory", "factory", factory)), Result("set factory", 1));
    EXPECT_EQ(notices(), "[SUCCESS]System reset all, please wait a moment...\r\n");
    // The live record still holds the old settings; later commands answer as usual.
    EXPECT_EQ(g_unit.config.tcpport, 9000);
    EXPECT_EQ(Command("{\"comhead\":\"set input mute\",\"action\":0,\"chn\":0,\"mute\":1}"),
              Result("set input mute", 1));
    std::string text = "IN 2 GAIN 5\r";
    DispatchLine(3, text.data(), int(text.size()));
    const app_config_s saved = Saved();
    EXPECT_EQ(saved.tcpport, 8000);
    EXPECT_EQ(saved.hostname, "VX7206");
    EXPECT_EQ(saved.analogue_input_gain[2], 0);
    EXPECT_EQ(saved.analogue_input_gain[1], 0);
    EXPECT_EQ(saved.analogue_input_mute[0], 0);
    EXPECT_EQ(Read("/etc/hostname"), "VX7206");
    EXPECT_EQ(Read("/etc/dhcpcd.conf"), "template\n");
    EXPECT_FALSE(Exists("/usr/local/netaudio/tarvo_package/tarvo_data/config/a.conf"));
    EXPECT_EQ(Read("/tmp/reboot"), "1");
  }
}

}  // namespace
