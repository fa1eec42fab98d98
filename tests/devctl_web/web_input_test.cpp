// "set input gain" and "set input mute" on the simulated board: the request in, the reply, the
// configuration, the DSP and expander writes in order, the notice on the three control ports and
// the save.
#include <cjson/cJSON.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/notices.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/devices/io_expander.h"
#include "devctl/text/broadcast.h"
#include "devctl/text/control_servers.h"
#include "devctl/web/application.h"
#include "devctl/web/web_commands.h"
#include "devctl/web/web_handlers.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/sim_i2c.h"
#include "platform/sim_sysfs.h"
#include "platform/storage.h"
#include "sim/board/board.h"
#include "tests/support/wait_for.h"
#include "tests/support/web_commands.h"

namespace {

int ConnectLoopback(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Everything that arrives on fd until expected bytes came or the line stays quiet; quiet before
// the expected bytes came fails the test.
std::string ReadAvailable(int fd, size_t expected, int quiet_ms) {
  std::string out;
  char buf[4096];
  while (out.size() < expected || expected == 0) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, quiet_ms) <= 0) {
      if (expected > 0) ADD_FAILURE() << "only " << out.size() << " of " << expected << " bytes";
      break;
    }
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    out.append(buf, size_t(n));
  }
  return out;
}

class WebInputTest : public testsupport::WebCommandFixture {
 protected:
  void SetUp() override {
    WebCommandFixture::SetUp();
    ASSERT_EQ(g_control_servers.tcp.Init("tcpthread", 0, CTcpserver::kModeRaw), 0);
    ASSERT_EQ(g_control_servers.tcp.Start(), 0);
    ASSERT_EQ(g_control_servers.telnet.Init("telnetthread", 0, CTcpserver::kModeTelnet), 0);
    ASSERT_EQ(g_control_servers.telnet.Start(), 0);
    tcp_client_ = ConnectLoopback(g_control_servers.tcp.BoundPort());
    telnet_client_ = ConnectLoopback(g_control_servers.telnet.BoundPort());
    ASSERT_GE(tcp_client_, 0);
    ASSERT_GE(telnet_client_, 0);
    ASSERT_TRUE(testsupport::WaitFor([] {
      return g_control_servers.tcp.ClientCount() >= 1 &&
             g_control_servers.telnet.ClientCount() >= 1;
    }));

    int slave = -1;
    char name[256];
    ASSERT_EQ(openpty(&uart_peer_, &slave, name, nullptr, nullptr), 0);
    close(slave);
    std::filesystem::create_directories(root_ + "/dev");
    std::filesystem::create_symlink(name, root_ + "/dev/ttyS6");
    g_control_servers.uart.Init("uartthread");
    g_control_servers.uart.SetDevicePath("/dev/ttyS6");
    g_control_servers.uart.SetStartDelayMs(0);
    ASSERT_EQ(g_control_servers.uart.Start(), 0);
    std::filesystem::create_directories(root_ + "/oem");

    SetNoticeSink(BroadcastToPorts);
    syncs_before_ = platform::SyncCount();
  }

  void TearDown() override {
    SetNoticeSink(nullptr);
    g_control_servers.uart.Stop();
    g_control_servers.tcp.Stop();
    g_control_servers.telnet.Stop();
    close(tcp_client_);
    close(telnet_client_);
    close(uart_peer_);
    WebCommandFixture::TearDown();
  }

  // Sends a request through the dispatcher; returns the parsed reply members as text.
  std::string Command(const std::string& body, bool* result = nullptr) {
    return Members(Post(body), result);
  }

  // The notice each of the three ports received: all three must agree.
  std::string Notice(size_t expected_length) {
    // Nothing expected: what a port gets until it stays quiet for a while (100 ms).
    int quiet = expected_length ? 60000 : 100;
    std::string tcp = ReadAvailable(tcp_client_, expected_length, quiet);
    std::string telnet = ReadAvailable(telnet_client_, expected_length, quiet);
    std::string uart = ReadAvailable(uart_peer_, expected_length, quiet);
    EXPECT_EQ(tcp, telnet);
    EXPECT_EQ(tcp, uart);
    return tcp;
  }

  int tcp_client_ = -1, telnet_client_ = -1, uart_peer_ = -1;
};

std::string Gain(int action, int chn, int gain) {
  return "{\"comhead\":\"set input gain\",\"action\":" + std::to_string(action) +
         ",\"chn\":" + std::to_string(chn) + ",\"gain\":" + std::to_string(gain) + "}";
}
std::string Mute(int action, int chn, int mute) {
  return "{\"comhead\":\"set input mute\",\"action\":" + std::to_string(action) +
         ",\"chn\":" + std::to_string(chn) + ",\"mute\":" + std::to_string(mute) + "}";
}

TEST_F(WebInputTest, RejectedRequestsChangeNothing) {
  struct Case {
    std::string body;
    std::string reply;
  } cases[] = {
      {Gain(0, 0, 31), "comhead=set input gain;result=0;"},
      {Gain(0, 0, -31), "comhead=set input gain;result=0;"},
      {Mute(0, 0, 2), "comhead=set input mute;result=0;"},
      {Mute(0, 0, -1), "comhead=set input mute;result=0;"},
      {Gain(1, 8, 0), "comhead=set input gain;result=0;"},
      {Mute(2, 8, 0), "comhead=set input mute;result=0;"},
      {Gain(0, 4, 0), "comhead=set input gain;result=0;"},
      {Mute(3, 7, 1), "comhead=set input mute;result=0;"},
      {Gain(2, 3, 0), "comhead=set input gain;result=0;"},
      {Gain(4, 0, 0), "comhead=set input gain;result=0;"},
      {Mute(-1, 0, 0), "comhead=set input mute;result=0;"},
      {Gain(0, -1, 0), "comhead=set input gain;result=0;"},
      {"{\"comhead\":\"set input gain\",\"chn\":0,\"gain\":0}", "comhead=set input gain;result=0;"},
      {"{\"comhead\":\"set input gain\",\"action\":\"0\",\"chn\":0,\"gain\":0}",
       "comhead=set input gain;result=0;"},
      {"{\"comhead\":\"set input mute\",\"action\":0,\"chn\":0,\"mute\":true}",
       "comhead=set input mute;result=0;"},
      {"{\"comhead\":\"set input gain\",\"action\":0,\"chn\":0,\"gain\":1e10}",
       "comhead=set input gain;result=0;"},
  };
  const app_config_s before = g_unit.config;
  for (const auto& c : cases) {
    EXPECT_EQ(Command(c.body), c.reply) << c.body;
  }
  EXPECT_TRUE(HardwareLog().empty());
  EXPECT_EQ(Notice(0), "");
  EXPECT_EQ(Saves(), 0);
  EXPECT_EQ(g_unit.config.analogue_input_gain[0], before.analogue_input_gain[0]);
  EXPECT_EQ(g_unit.config.tarvo_input_mute[7], before.tarvo_input_mute[7]);
}

TEST_F(WebInputTest, GainWakesAUnitInStandbyEvenWhenRejected) {
  g_unit.config.power = 0;
  Command(Mute(0, 0, 5));
  EXPECT_EQ(g_unit.config.power, 0) << "a rejected mute request does not wake";
  EXPECT_EQ(Notice(0), "");

  Command(Gain(0, 0, 99));
  EXPECT_EQ(g_unit.config.power, 1);
  const std::string power_on = "[SUCCESS]Set system power on, please wait a moment...\r\n";
  EXPECT_EQ(Notice(power_on.size()), power_on);
  EXPECT_EQ(Saves(), 1);  // the stored power state, so a restart comes back on
}

TEST_F(WebInputTest, AnalogueChannelGain) {
  g_unit.config.analogue_input_mute[2] = 1;
  g_unit.config.group_input_stereo2[2] = 1;
  bool result = false;
  EXPECT_EQ(Command(Gain(0, 2, -12), &result), "comhead=set input gain;result=1;");
  EXPECT_TRUE(result);
  EXPECT_EQ(g_unit.config.analogue_input_gain[2], -12);
  EXPECT_EQ(g_unit.config.analogue_input_mute[2], 0);
  EXPECT_EQ(g_unit.config.group_input_stereo2[2], 0) << "a channel set directly leaves its groups";
  EXPECT_EQ(HardwareLog(), (std::vector<std::string>{"mute/unmute 2", "wait", "range 18=00",
                                                     "gain 2", "mute/unmute 2"}));
  EXPECT_FALSE(DspMuted(2));
  EXPECT_EQ(DspGainWord(2), DspInputGainWord(2, -12));
  const std::string line = "[SUCCESS]Set analogue input CH3 gain to -12dB.\r\n";
  EXPECT_EQ(Notice(line.size()), line);
  EXPECT_EQ(Saves(), 1);

  // The same value again still writes, sends and saves.
  platform::sim_i2c().ClearTransfers();
  Command(Gain(0, 2, -12));
  EXPECT_EQ(HardwareLog().size(), 5u);
  EXPECT_EQ(Notice(line.size()), line);
  EXPECT_EQ(Saves(), 2);
}

TEST_F(WebInputTest, FailedSaveAnswersResultZeroAndKeepsTheChange) {
  platform::FailWritesAfter(0);
  EXPECT_EQ(Command(Mute(1, 3, 1)), "comhead=set input mute;result=0;error=settings not saved;");
  platform::FailWritesAfter(-1);
  EXPECT_EQ(g_unit.config.tarvo_input_mute[3], 1);
  EXPECT_TRUE(DspMuted(kFirstTarvoChannel + 3));
  // The change was made, so the ports hear of it; and of the failed save, as after a text command.
  const std::string lines =
      "[SUCCESS]Set tarvo input CH4 mute on.\r\n[ERROR]Settings could not be saved.\r\n";
  EXPECT_EQ(Notice(lines.size()), lines);
  EXPECT_EQ(Saves(), 0);
}

TEST_F(WebInputTest, NoticeIsSentAfterTheConfigurationLockIsReleased) {
  // A sink that finds the configuration lock taken by another thread would deadlock or fail
  // here: the frame must have released it before sending.
  bool lock_free = false;
  SetNoticeSink([&](const std::string&) {
    std::thread other([&] { lock_free = ConfigLockFree(); });
    other.join();
  });
  Command(Mute(0, 0, 1));
  EXPECT_TRUE(lock_free);
}

TEST_F(WebInputTest, KindAndChannelNameTheInputs) {
  struct Case {
    std::string body;
    int linked_pair;  // -1: none
    std::string lines;
  } cases[] = {
      {Gain(0, 1, 20), 0,
       "[SUCCESS]Set analogue input CH1 gain to 20dB.\r\n"
       "[SUCCESS]Set analogue input CH2 gain to 20dB.\r\n"},
      {Gain(0, 1, 20), -1, "[SUCCESS]Set analogue input CH2 gain to 20dB.\r\n"},
      {Gain(1, 7, -5), -1, "[SUCCESS]Set tarvo input CH8 gain to -5dB.\r\n"},
      {Gain(2, 0, 3), -1, "[SUCCESS]Set USB input left gain to 3dB.\r\n"},
      {Gain(2, 2, 3), 6,
       "[SUCCESS]Set USB input left gain to 3dB.\r\n[SUCCESS]Set USB right input gain to 3dB.\r\n"},
      {Gain(2, 2, 3), -1, ""},
      {Mute(1, 4, 1), 4,
       "[SUCCESS]Set tarvo input CH5 mute on.\r\n[SUCCESS]Set tarvo input CH6 mute on.\r\n"},
      {Mute(2, 1, 0), -1, "[SUCCESS]Set USB input right mute off.\r\n"},
      {Mute(2, 2, 1), 6, ""},
      {Mute(3, 3, 1), -1, "[SUCCESS]Set input group 4 mute on.\r\n"},
  };
  for (const auto& c : cases) {
    ResetAppConfig("/oem/app.json", &g_unit.config, "02:00:00:00:00:01");
    g_unit.config.power = 1;
    if (c.linked_pair >= 0) g_unit.config.InputLinkRef(c.linked_pair) = 1;
    long saves = Saves();
    bool result = false;
    EXPECT_NE(Command(c.body, &result), "");
    EXPECT_TRUE(result) << c.body;
    EXPECT_EQ(Notice(c.lines.size()), c.lines) << c.body;
    EXPECT_EQ(Saves(), saves + 1) << c.body;
  }
}

TEST_F(WebInputTest, GroupGainSetsEveryMemberAndKeepsMemberships) {
  for (int k : {0, 1, 12}) g_unit.config.group_input_stereo3[k] = 1;
  g_unit.config.group_input_mute[2] = 1;
  g_unit.config.usb_input_mute[0] = 1;
  g_unit.config.analogue_input_mute[1] = 1;
  Command(Gain(3, 2, 6));
  const std::string lines =
      "[SUCCESS]Set input group 3 gain to 6dB.\r\n"
      "[SUCCESS]Set analogue input CH1 gain to 6dB.\r\n"
      "[SUCCESS]Set analogue input CH2 gain to 6dB.\r\n"
      "[SUCCESS]Set USB input left gain to 6dB.\r\n";
  EXPECT_EQ(Notice(lines.size()), lines);
  EXPECT_EQ(g_unit.config.group_input_gain[2], 6);
  EXPECT_EQ(g_unit.config.group_input_mute[2], 0);
  for (int k : {0, 1, 12}) {
    EXPECT_EQ(g_unit.config.group_input_stereo3[k], 1) << k;
    EXPECT_EQ(g_unit.config.InputGainRef(k), 6) << k;
    EXPECT_EQ(g_unit.config.InputMuteRef(k), 0) << k;
    EXPECT_FALSE(DspMuted(k)) << k;
    EXPECT_EQ(DspGainWord(k), DspInputGainWord(k, 6)) << k;
  }
  // Each analogue member has its own wait, and gets its DSP gain after the unmute.
  EXPECT_EQ(HardwareLog(),
            (std::vector<std::string>{"mute/unmute 0", "wait", "range 18=02", "mute/unmute 0",
                                      "gain 0", "mute/unmute 1", "wait", "range 18=0a",
                                      "mute/unmute 1", "gain 1", "mute/unmute 12", "gain 12"}));
  EXPECT_EQ(Saves(), 1);

  // A group without members changes only its own fields.
  platform::sim_i2c().ClearTransfers();
  Command(Gain(3, 0, -4));
  const std::string line = "[SUCCESS]Set input group 1 gain to -4dB.\r\n";
  EXPECT_EQ(Notice(line.size()), line);
  EXPECT_TRUE(HardwareLog().empty());
  EXPECT_EQ(g_unit.config.group_input_gain[0], -4);
}

TEST_F(WebInputTest, OverLongStringsAreRefused) {
  std::string body = "{\"comhead\":\"set input gain\",\"action\":0,\"chn\":0,\"gain\":1,\"x\":\"" +
                     std::string(300, 'y') + "\"}";
  EXPECT_EQ(Command(body), "comhead=set input gain;result=1;") << "unknown members are ignored";
  WebAnswer answer;
  // Called directly: a comhead longer than its field counts as missing.
  std::string long_comhead =
      "{\"comhead\":\"" + std::string(300, 'c') + "\",\"action\":0,\"chn\":0,\"mute\":1}";
  cJSON* request = cJSON_Parse(long_comhead.c_str());
  EXPECT_FALSE(WebSetInputMute(request, answer));
  cJSON_Delete(request);
  EXPECT_FALSE(answer.save);
  EXPECT_TRUE(answer.notice.empty());
  cJSON* json = cJSON_Parse(answer.reply.c_str());
  EXPECT_STREQ(cJSON_GetObjectItem(json, "comhead")->valuestring, "");
  EXPECT_EQ(cJSON_GetObjectItem(json, "result")->valueint, 0);
  cJSON_Delete(json);
}

}  // namespace
