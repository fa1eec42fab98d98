// The status getters, the account commands and the network settings through the web command
// frame: request in, reply members, configuration, files, notices and saves.
#include <cjson/cJSON.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "devctl/core/config_file.h"
#include "devctl/core/markers.h"
#include "devctl/core/notices.h"
#include "devctl/core/pending_network.h"
#include "devctl/core/port_restarts.h"
#include "devctl/core/unit_state.h"
#include "devctl/web/application.h"
#include "devctl/web/web_commands.h"
#include "devctl/web/web_network_handlers.h"
#include "platform/command.h"
#include "platform/storage.h"
#include "tests/support/wait_for.h"
#include "tests/support/web_commands.h"

namespace {

struct JsonDeleter {
  void operator()(cJSON* j) const { cJSON_Delete(j); }
};
using Json = std::unique_ptr<cJSON, JsonDeleter>;

std::vector<std::string> Keys(const cJSON* o) {
  std::vector<std::string> keys;
  for (const cJSON* c = o ? o->child : nullptr; c; c = c->next) keys.push_back(c->string);
  return keys;
}

class WebNetworkTest : public testsupport::WebCommandFixture {
 protected:
  void SetUp() override {
    WebCommandFixture::SetUp();
    for (const char* dir : {"/oem", "/etc", "/tmp", "/usr/local/backend/apps"}) {
      std::filesystem::create_directories(platform::Path(dir));
    }
    std::ofstream(platform::Path("/usr/local/backend/apps/dhcpcd.conf")) << "# template\n";
    g_unit.config.type = "TRX";
    g_unit.pending = g_unit.config;
    g_unit.net_edit_pending = false;
    notices_.clear();
    SetNoticeSink([this](const std::string& text) { notices_.push_back(text); });
  }
  void TearDown() override {
    SetNoticeSink(nullptr);
    g_unit.pending = app_config_s();
    g_unit.identity = device_identity_s();
    WebCommandFixture::TearDown();
  }
  Json Command(const std::string& body) {
    const std::string reply = Post(body);
    Json json(cJSON_Parse(reply.c_str()));
    EXPECT_TRUE(json != nullptr) << body << " -> " << reply;
    return json;
  }
  static int Result(const Json& j) {
    const cJSON* r = cJSON_GetObjectItem(j.get(), "result");
    return cJSON_IsNumber(r) ? r->valueint : -1;
  }
  // The configuration record as its file shows it, for member-by-member comparisons.
  static Json ConfigJson() {
    std::string text;
    EXPECT_TRUE(PrintAppConfig(&g_unit.config, &text));
    return Json(cJSON_Parse(text.c_str()));
  }
  // Every reply member that has a namesake in the section equals it.
  static int CompareWithSection(const cJSON* reply, const cJSON* section) {
    int compared = 0;
    for (const cJSON* c = reply->child; c; c = c->next) {
      const cJSON* field = cJSON_GetObjectItemCaseSensitive(section, c->string);
      if (!field) continue;
      EXPECT_TRUE(cJSON_Compare(c, field, true)) << c->string;
      ++compared;
    }
    return compared;
  }

  std::vector<std::string> notices_;
};

TEST_F(WebNetworkTest, InputAndOutputStatusEqualTheConfiguration) {
  g_unit.config.analogue_input_gain[2] = -7;
  g_unit.config.tarvo_input_stereo[1] = 1;
  g_unit.config.usb_output_delay[1] = 12;
  g_unit.config.group_output_stereo3[5] = 1;
  SetNameField(g_unit.config.output_name[17], "Zone <B>");
  const Json config = ConfigJson();
  const Json in = Command(R"({"comhead":"get input status"})");
  EXPECT_EQ(CompareWithSection(in.get(), cJSON_GetObjectItem(config.get(), "input")), 17);
  EXPECT_EQ(Keys(in.get()).back(), "result");
  EXPECT_EQ(Result(in), 1);
  EXPECT_EQ(cJSON_GetObjectItem(in.get(), "usb")->valueint, g_unit.config.usb_status);
  const Json out = Command(R"({"comhead":"get output status"})");
  EXPECT_EQ(CompareWithSection(out.get(), cJSON_GetObjectItem(config.get(), "output")), 19);
  EXPECT_EQ(Keys(out.get()).back(), "comhead");
  EXPECT_EQ(cJSON_GetObjectItem(out.get(), "result"), nullptr);
  EXPECT_TRUE(notices_.empty());
  EXPECT_EQ(Saves(), 0);
}

TEST_F(WebNetworkTest, ControlAndSystemStatus) {
  g_unit.config.tarvo_input_stereo[2] = 1;
  g_unit.config.group_input_stereo1[0] = 1;  // groups are not pairs
  g_unit.config.control[4] = 9;
  g_unit.config.power = 0;
  g_unit.identity.mac = "00:11:22:AA:BB:CC";
  const Json control = Command(R"({"comhead":"get control status"})");
  EXPECT_EQ(Keys(control.get()),
            (std::vector<std::string>{"status", "preset_enable", "power", "preset", "input_name",
                                      "output_name", "preset_name", "input_stereo", "output_stereo",
                                      "comhead"}));
  const cJSON* stereo = cJSON_GetObjectItem(control.get(), "input_stereo");
  ASSERT_EQ(cJSON_GetArraySize(stereo), 7);
  for (int p = 0; p < 7; ++p) EXPECT_EQ(cJSON_GetArrayItem(stereo, p)->valueint, p == 4 ? 1 : 0);
  EXPECT_EQ(cJSON_GetArrayItem(cJSON_GetObjectItem(control.get(), "status"), 4)->valueint, 9);
  EXPECT_EQ(g_unit.config.power, 0);  // a getter never wakes

  const Json system = Command(R"({"comhead":"get system status"})");
  EXPECT_EQ(Keys(system.get()),
            (std::vector<std::string>{"powerled", "key_lock", "front_lcd", "baudrate", "power",
                                      "standby", "auto_standby_time", "macaddress", "comhead"}));
  const Json config = ConfigJson();
  const cJSON* sys = cJSON_GetObjectItem(config.get(), "system");
  for (const char* k : {"powerled", "key_lock", "front_lcd", "baudrate", "power"}) {
    EXPECT_EQ(cJSON_GetObjectItem(system.get(), k)->valueint, cJSON_GetObjectItem(sys, k)->valueint)
        << k;
  }
  EXPECT_EQ(cJSON_GetObjectItem(system.get(), "standby")->valueint, g_unit.config.standby_mode);
  EXPECT_STREQ(cJSON_GetObjectItem(system.get(), "macaddress")->valuestring, "00:11:22:AA:BB:CC");
}

TEST_F(WebNetworkTest, PeqStatusOfTheSelectedChannelsClamped) {
  g_unit.config.input_geq_chn = 14;
  g_unit.config.input_custom1_date[14].frequency[3] = 777;
  g_unit.config.output_geq_chn = 99;  // as an edited file may hold
  g_unit.config.output_flat_date[17].frequency[0] = 55;
  const Json peq = Command(R"({"comhead":"get peq status"})");
  EXPECT_EQ(cJSON_GetObjectItem(peq.get(), "input_chn")->valueint, 14);
  EXPECT_EQ(cJSON_GetObjectItem(peq.get(), "output_chn")->valueint, 17);
  const cJSON* band3 = cJSON_GetArrayItem(cJSON_GetObjectItem(peq.get(), "input_custom1"), 3);
  EXPECT_EQ(Keys(band3),
            (std::vector<std::string>{"id", "frequency", "gain", "type", "quality", "bypass"}));
  EXPECT_EQ(cJSON_GetObjectItem(band3, "frequency")->valueint, 777);
  EXPECT_STREQ(cJSON_GetObjectItem(band3, "type")->valuestring, "PARAMETRIC");
  const cJSON* out0 = cJSON_GetArrayItem(cJSON_GetObjectItem(peq.get(), "output_flat"), 0);
  EXPECT_EQ(cJSON_GetObjectItem(out0, "frequency")->valueint, 55);
  EXPECT_EQ(cJSON_GetArraySize(cJSON_GetObjectItem(peq.get(), "input_name")), 18);
}

TEST_F(WebNetworkTest, GetStatusOrderAndDeviceName) {
  g_unit.identity.mac = "00:11:22:aa:bb:cc";
  const Json status = Command(R"({"comhead":"get status"})");
  EXPECT_EQ(Keys(status.get()), (std::vector<std::string>{"comhead",       "devicename",
                                                          "model",         "version",
                                                          "mcu_version",   "netaudiosdk",
                                                          "dhcp",          "tcpport",
                                                          "telnetport",    "telnetportenable",
                                                          "tcpportenable", "ipaddress",
                                                          "subnet",        "dnsserver",
                                                          "gateway",       "macaddress",
                                                          "hostname",      "auto_standby_time",
                                                          "def_hostname",  "type",
                                                          "power",         "temp",
                                                          "uptime"}));
  EXPECT_STREQ(cJSON_GetObjectItem(status.get(), "devicename")->valuestring, "-aabbcc");
  EXPECT_STREQ(cJSON_GetObjectItem(status.get(), "def_hostname")->valuestring, "VX7206");
  EXPECT_TRUE(cJSON_IsNumber(cJSON_GetObjectItem(status.get(), "temp")));
  EXPECT_EQ(cJSON_GetObjectItem(status.get(), "tcpport")->valueint, g_unit.config.tcpport);

  const std::string dir = "/usr/local/netaudio/tarvo_package/tarvo_data/capability";
  std::filesystem::create_directories(platform::Path(dir));
  const std::string file = dir + "/tarvo.json";
  struct Case {
    std::string content;
    std::string name;
  } cases[] = {
      {R"({"product":{"devicePrefix":"ABC"}})", "ABC-aabbcc"},
      {R"({"product":{"devicePrefix":5}})", "-aabbcc"},
      {"not json", "-aabbcc"},
      {R"({"product":{"devicePrefix":")" + std::string(300, 'p') + "\"}}",
       std::string(127, 'p') + "-aabbcc"},
  };
  for (const auto& c : cases) {
    std::ofstream(platform::Path(file)) << c.content;
    std::string prefix;
    ReadTarvoDevicePrefix(&prefix);
    EXPECT_EQ(DeviceName(prefix, g_unit.identity.mac), c.name) << c.content;
  }
  EXPECT_EQ(DeviceName("", "zz"), "-000000");
}

TEST_F(WebNetworkTest, Accounts) {
  const std::string digest = g_unit.config.user[0].password;
  const std::string admin = g_unit.config.user[0].user;
  EXPECT_EQ(Result(Command(R"({"comhead":"login","user":")" + admin + R"(","password":")" + digest +
                           "\"}")),
            1);
  EXPECT_EQ(Result(Command(R"({"comhead":"logout","user":"Guest","password":"x"})")), 0);
  EXPECT_EQ(Result(Command(R"({"comhead":"login","user":"Guest"})")), 0);
  EXPECT_EQ(Result(Command(R"({"comhead":"add login user","user":"Guest","password":"p"})")), 0);
  EXPECT_EQ(Saves(), 0);
  const std::string long_name(256, 'n');
  EXPECT_EQ(Result(Command(R"({"comhead":"add login user","user":")" + long_name +
                           R"(","password":"p"})")),
            0);
  for (int n = 3; n <= 11; ++n) {
    EXPECT_EQ(Result(Command(R"({"comhead":"add login user","user":"u)" + std::to_string(n) +
                             R"(","password":"p"})")),
              1);
  }
  EXPECT_EQ(Result(Command(R"({"comhead":"add login user","user":"u12","password":"p"})")), 0);
  EXPECT_EQ(g_unit.config.user_cnt, 11u);

  const Json list = Command(R"({"comhead":"get login user"})");
  EXPECT_EQ(Keys(list.get()), (std::vector<std::string>{"comhead", "user"}));
  const cJSON* users = cJSON_GetObjectItem(list.get(), "user");
  ASSERT_EQ(cJSON_GetArraySize(users), 10);
  EXPECT_EQ(Keys(cJSON_GetArrayItem(users, 0)),
            (std::vector<std::string>{"user", "enabled", "matrix", "network", "system",
                                      "information", "power", "input_analogue", "phantom", "dsp",
                                      "input_tarvo", "input_usb", "input_group", "output_analogue",
                                      "output_tarvo", "output_usb", "output_group", "preset"}));

  EXPECT_EQ(
      Result(Command(
          R"({"comhead":"set user limit","user":"u3","matrix":0,"network":1,"system":1,"information":1,"power":1,"dsp":[2,3,4,5]})")),
      1);
  const Json limit = Command(R"({"comhead":"get user limit","user":"u3"})");
  EXPECT_EQ(Keys(limit.get()),
            (std::vector<std::string>{
                "comhead", "user", "enabled", "network", "system", "information", "power", "matrix",
                "phantom", "dsp", "input_analogue", "input_tarvo", "input_usb", "input_group",
                "output_analogue", "output_tarvo", "output_usb", "output_group", "preset"}));
  EXPECT_EQ(cJSON_GetArrayItem(cJSON_GetObjectItem(limit.get(), "dsp"), 1)->valueint, 3);
  EXPECT_EQ(cJSON_GetObjectItem(limit.get(), "matrix")->valueint, 0);
  EXPECT_EQ(Result(Command(R"({"comhead":"get user limit","user":"nobody"})")), 0);

  EXPECT_EQ(Result(Command(R"({"comhead":"delete login user","index":11})")), 0);
  EXPECT_EQ(Result(Command(R"({"comhead":"delete login user","index":1})")), 1);
  EXPECT_EQ(g_unit.config.user[1].user, "u3");
  EXPECT_TRUE(notices_.empty());
  std::string reply = "untouched";
  app_.HandleInstr(R"({"comhead":"modify username"})", reply);
  EXPECT_EQ(reply, "");
}

TEST_F(WebNetworkTest, SetNetworkEndToEndOfTheHandler) {
  // Outlives the test: the restart thread may still be returning from it.
  static platform::RecordingCommandRunner runner;
  runner.Clear();
  platform::SetCommandRunner(&runner);
  g_unit.config.power = 0;
  const std::string body =
      R"({"comhead":"set network","dhcp":0,"tcpport":8000,"telnetport":23,)"
      R"("ipaddress":"10.0.0.5","subnet":"255.255.255.0","gateway":"10.0.0.1",)"
      R"("hostname":"studio","model":"VX7206"})";
  const Json r = Command(body);
  EXPECT_EQ(Result(r), 1);
  ASSERT_EQ(notices_.size(), 1u);
  EXPECT_EQ(notices_[0],
            "[SUCCESS]Set system power on, please wait a moment...\r\n"
            "[SUCCESS]Set IP mode: Static.\r\n[SUCCESS]Set IP address: 10.0.0.5.\r\n"
            "[SUCCESS]Set gateway:10.0.0.1.\r\n"
            "[SUCCESS]Set DNS domain name to studio.\r\n");
  EXPECT_NE(Read("/etc/dhcpcd.conf").find("static ip_address=10.0.0.5/24"), std::string::npos);
  EXPECT_EQ(Read("/etc/hostname"), "studio");
  EXPECT_EQ(Read("/tmp/reboot"), "1");
  app_config_s saved;
  std::string path;
  LoadAppConfigFile(path, kConfigFile, &saved, "", "TRX");
  EXPECT_EQ(saved.ipaddress, "10.0.0.5");
  EXPECT_EQ(saved.hostname, "studio");
  EXPECT_EQ(g_unit.pending.ipaddress, "10.0.0.5");
  // dhcpcd is restarted on its own thread once the file was rewritten.
  auto restarted = [] {
    for (const auto& c : runner.Commands()) {
      if (c.find("/etc/init.d/S41dhcpcd restart") != std::string::npos) return true;
    }
    return false;
  };
  EXPECT_TRUE(testsupport::WaitFor(restarted));
  platform::SetCommandRunner(nullptr);
}

TEST_F(WebNetworkTest, SetNetworkRefusalsChangeNothing) {
  g_unit.config.power = 0;
  const std::string good[] = {"0",        "8000",   "23",    "10.0.0.5", "255.255.255.0",
                              "10.0.0.1", "studio", "VX7206"};
  const char* keys[] = {"dhcp",   "tcpport", "telnetport", "ipaddress",
                        "subnet", "gateway", "hostname",   "model"};
  auto body = [&](int k, const std::string& value, bool drop = false) {
    std::string b = R"({"comhead":"set network")";
    for (int i = 0; i < 8; ++i) {
      if (drop && i == k) continue;
      const std::string v = i == k ? value : good[i];
      b += std::string(",\"") + keys[i] + "\":" + (i < 3 ? v : "\"" + v + "\"");
    }
    return b + "}";
  };
  struct Case {
    int key;
    std::string value;
  } cases[] = {
      {3, "1.2.3.4\\nnohook resolv.conf"},
      {3, "999.1.1.1"},
      {3, "1.2.3.4\\\""},
      {3, std::string(64, '1')},
      {4, "255.0.255.0"},
      {5, ""},
      {6, "a b"},
      {6, "a\\nb"},
      {6, std::string(33, 'h')},
      {6, std::string(300, 'h')},
      {7, std::string(32, 'm')},
      {7, "MX\\r"},
      {1, "0"},
      {1, "70000"},
      {1, "80"},
      {1, "23"},
      {2, "\"23\""},
      // Addresses no unit can have or route through, and host names a resolver refuses.
      {3, "0.0.0.0"},
      {3, "255.255.255.255"},
      {3, "127.0.0.1"},
      {3, "224.0.0.1"},
      {3, "240.0.0.1"},
      {5, "0.0.0.0"},
      {5, "127.0.0.1"},
      {5, "239.1.1.1"},
      {6, "-studio"},
      {6, "studio-"},
  };
  for (const auto& c : cases) {
    const Json r = Command(body(c.key, c.value));
    EXPECT_EQ(Result(r), 0) << keys[c.key] << "=" << c.value;
  }
  EXPECT_EQ(Result(Command(body(7, "", true))), 0);  // "model" missing
  EXPECT_TRUE(notices_.empty());
  EXPECT_EQ(g_unit.config.power, 0);  // not woken
  EXPECT_EQ(Saves(), 0);
  EXPECT_FALSE(Exists("/etc/dhcpcd.conf"));
  EXPECT_FALSE(Exists("/etc/hostname"));
  EXPECT_FALSE(Exists("/tmp/reboot"));
  EXPECT_EQ(g_unit.config.ipaddress, "192.168.0.200");
}

// A port another program listens on is refused: the server would not start there.
TEST_F(WebNetworkTest, SetNetworkRefusesAPortInUse) {
  const int holder = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(holder, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(holder, 1), 0);
  socklen_t len = sizeof addr;
  ASSERT_EQ(getsockname(holder, reinterpret_cast<sockaddr*>(&addr), &len), 0);
  const std::string port = std::to_string(ntohs(addr.sin_port));
  for (const char* which : {"tcpport", "telnetport"}) {
    std::string body = R"({"comhead":"set network","dhcp":1,"tcpport":8000,"telnetport":23,)"
                       R"("ipaddress":"10.0.0.5","subnet":"255.255.255.0","gateway":"10.0.0.1",)"
                       R"("hostname":"VX7206","model":"VX7206"})";
    const std::string key = std::string("\"") + which + "\":";
    const size_t at = body.find(key) + key.size();
    body.replace(at, body.find(',', at) - at, port);
    EXPECT_EQ(Result(Command(body)), 0) << which;
  }
  close(holder);
  EXPECT_EQ(g_unit.config.tcpport, 8000);
  EXPECT_EQ(g_unit.config.telnetport, 23);
  EXPECT_EQ(Saves(), 0);
}

// "set network" and "set defaults network" whose save fails change no file, no record and ask
// for no reboot; the reply says the settings were not saved.
TEST_F(WebNetworkTest, FailedSaveChangesNoFile) {
  platform::FailWritesUnder(platform::Path("/oem"));
  const Json r = Command(R"({"comhead":"set network","dhcp":0,"tcpport":8000,"telnetport":23,)"
                         R"("ipaddress":"10.0.0.5","subnet":"255.255.255.0","gateway":"10.0.0.1",)"
                         R"("hostname":"studio","model":"VX7206"})");
  EXPECT_EQ(Result(r), 0);
  EXPECT_STREQ(cJSON_GetStringValue(cJSON_GetObjectItem(r.get(), "error")), "settings not saved");
  g_unit.config.dhcp = 0;
  const Json d = Command(R"({"comhead":"set defaults network"})");
  EXPECT_EQ(Result(d), 0);
  EXPECT_EQ(g_unit.config.dhcp, 0);
  EXPECT_EQ(g_unit.config.ipaddress, "192.168.0.200");
  EXPECT_EQ(g_unit.pending.ipaddress, "192.168.0.200");
  EXPECT_FALSE(Exists("/etc/dhcpcd.conf"));
  EXPECT_FALSE(Exists("/etc/hostname"));
  EXPECT_FALSE(Exists("/tmp/reboot"));
  EXPECT_EQ(g_port_restarts.tcp.load(), false);
  platform::FailWritesUnder("");
}

TEST_F(WebNetworkTest, DefaultsNetworkWakesSavesAndReboots) {
  g_unit.config.power = 0;
  g_unit.config.hostname = "custom";
  g_unit.config.tcpport = 9000;
  const Json r = Command(R"({"comhead":"set defaults network"})");
  EXPECT_EQ(Result(r), 1);
  ASSERT_EQ(notices_.size(), 1u);
  EXPECT_EQ(notices_[0],
            "[SUCCESS]Set system power on, please wait a moment...\r\n"
            "[SUCCESS]Doing network reset, the network will restart, please wait for about 60 "
            "seconds.\r\n");
  EXPECT_EQ(g_unit.config.tcpport, 8000);
  EXPECT_EQ(Read("/etc/hostname"), "VX7206");
  EXPECT_EQ(Read("/tmp/reboot"), "1");
}

}  // namespace
