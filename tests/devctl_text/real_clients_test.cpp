// The control ports with the clients people use: the telnet program on a terminal, socat for raw
// TCP, and many clients at once.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "devctl/core/config_file.h"
#include "devctl/core/unit_state.h"
#include "devctl/text/control_ports.h"
#include "devctl/text/control_servers.h"
#include "devctl/text/dispatcher.h"
#include "devctl/text/history.h"
#include "socket_client.h"
#include "tests/support/sim_unit.h"
#include "tests/support/wait_for.h"

namespace {

using namespace testclient;

// A program running on a pseudo-terminal: what it shows, and keys typed into it.
class Terminal {
 public:
  explicit Terminal(const std::vector<std::string>& argv) {
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      std::vector<char*> args;
      for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
  }
  ~Terminal() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }
  void Type(const std::string& keys) {
    ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }
  // Everything shown until `text` appears (the screen is consumed up to there).
  std::string ShownUntil(const std::string& text) {
    for (int waited = 0; waited < kPatienceMs; waited += 20) {
      const size_t at = screen_.find(text);
      if (at != std::string::npos) {
        std::string got = screen_.substr(0, at + text.size());
        screen_.erase(0, at + text.size());
        return got;
      }
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      char buf[4096];
      const ssize_t n = read(master_, buf, sizeof buf);
      if (n > 0) screen_.append(buf, n);
    }
    ADD_FAILURE() << "\"" << text << "\" never shown";
    return "(timed out) " + screen_;
  }

 private:
  pid_t pid_ = -1;
  int master_ = -1;
  std::string screen_;
};

class RealClientsTest : public testsupport::SimUnitFixture {
 protected:
  void SetUp() override {
    SimUnitFixture::SetUp();
    std::filesystem::create_directories(platform::Path("/oem"));
    HistoryInit();
    ClearResetConfirms();
    g_unit.config.tcpportenable = 1;
    g_unit.config.tcpport = 0;
    g_unit.config.telnet_enable = 1;
    g_unit.config.telnetport = 0;
    StartTcpServerFromConfig();
    StartTelnetServerFromConfig();
    ASSERT_TRUE(g_control_servers.tcp.running() && g_control_servers.telnet.running());
  }
  void TearDown() override {
    g_control_servers.tcp.Stop();
    g_control_servers.telnet.Stop();
    SimUnitFixture::TearDown();
  }
};

TEST_F(RealClientsTest, TelnetProgramEditsAndRecallsLines) {
  if (access("/usr/bin/telnet", X_OK) != 0) GTEST_SKIP() << "no telnet program";
  Terminal telnet({"telnet", "127.0.0.1", std::to_string(g_control_servers.telnet.BoundPort())});
  EXPECT_NE(telnet.ShownUntil("VX7206>").find("VX7206 Terminal Control System"), std::string::npos);
  // Each typed character appears once: the server echoes, the client does not.
  telnet.Type("IN 1 GAIN 12");
  EXPECT_EQ(telnet.ShownUntil("IN 1 GAIN 12"), "IN 1 GAIN 12");
  telnet.Type("\r");
  const std::string first = telnet.ShownUntil("VX7206>");
  EXPECT_EQ(Count(first, "IN 1 GAIN 12"), 0) << first;
  EXPECT_NE(first.find("[SUCCESS]Set analogue input CH1 gain to 12dB."), std::string::npos)
      << first;
  // "IN 1 GAIN 15", cursor left once, DEL: the 1 before the cursor goes, "IN 1 GAIN 5" runs.
  telnet.Type("IN 1 GAIN 15");
  telnet.ShownUntil("15");
  telnet.Type("\x1b[D");
  telnet.ShownUntil("\b");  // a key is a read of its own: wait for its echo before the next
  telnet.Type("\x7f");
  telnet.ShownUntil("5\b");
  telnet.Type("\r");
  EXPECT_NE(telnet.ShownUntil("VX7206>").find("CH1 gain to 5dB."), std::string::npos);
  EXPECT_EQ(g_unit.config.analogue_input_gain[0], 5);
  // Up recalls the last line; Up again the one before; Enter runs what is shown.
  telnet.Type("\x1b[A");
  telnet.ShownUntil("IN 1 GAIN 5");
  telnet.Type("\x1b[A");
  telnet.ShownUntil("IN 1 GAIN 12");
  telnet.Type("\r");
  EXPECT_NE(telnet.ShownUntil("VX7206>").find("CH1 gain to 12dB."), std::string::npos);
}

TEST_F(RealClientsTest, SocatRawClientWithCrLfLines) {
  if (access("/usr/bin/socat", X_OK) != 0) GTEST_SKIP() << "no socat";
  const int watcher = Connect(g_control_servers.tcp.BoundPort());
  Terminal socat({"socat", "-",
                  "TCP:127.0.0.1:" + std::to_string(g_control_servers.tcp.BoundPort()) + ",crlf"});
  socat.Type("IN 2 GAIN -4\n");
  const std::string reply = "\r\n[SUCCESS]Set analogue input CH2 gain to -4dB.\r\nVX7206>";
  EXPECT_EQ(ReadUntil(watcher, "VX7206>"), reply);
  EXPECT_NE(socat.ShownUntil("VX7206>").find("[SUCCESS]Set analogue input CH2 gain"),
            std::string::npos);
  close(watcher);
}

// Fifty clients send commands at once and one of them goes away in the middle of the replies:
// every other client gets every reply and the stored configuration stays readable.
TEST_F(RealClientsTest, FiftyClientsAtOnce) {
  constexpr int kClients = 50, kCommandsEach = 2;
  std::vector<int> fds;
  for (int i = 0; i < kClients; ++i) fds.push_back(Connect(g_control_servers.tcp.BoundPort()));
  ASSERT_TRUE(testsupport::WaitFor([] { return g_control_servers.tcp.ClientCount() == kClients; }));
  ASSERT_EQ(g_control_servers.tcp.ClientCount(), static_cast<size_t>(kClients));
  const int leaver = fds.back();
  fds.pop_back();
  // The leaver asks for a long reply and goes while it is being sent, as the others send.
  Send(leaver, "IN 0 GAIN+1\r");
  ReadUntil(leaver, "IN 0 GAIN+1");
  std::vector<std::thread> senders;
  for (int i = 0; i < kClients - 1; ++i) {
    senders.emplace_back([&, i] {
      for (int k = 0; k < kCommandsEach; ++k) {
        Send(fds[i], "IN " + std::to_string(1 + (i + k) % 14) + " GAIN " +
                         std::to_string(-(i % 30)) + "\r");
      }
    });
  }
  close(leaver);
  for (auto& t : senders) t.join();
  const int expected = (kClients - 1) * kCommandsEach + 1;
  for (int fd : fds) {
    std::string got;
    while (Count(got, "VX7206>") < expected) {
      // Every command saves the configuration with a sync, which a busy machine can make slow.
      const std::string more = ReadUntil(fd, "VX7206>", 60000);
      if (more.empty()) break;
      got += more;
    }
    EXPECT_EQ(Count(got, "VX7206>"), expected);
    EXPECT_EQ(Count(got, "[ERROR]"), 0);
    close(fd);
  }
  app_config_s saved;
  std::string path;
  LoadAppConfigFile(path, "/oem/app.json", &saved, "02:00:00:00:00:01", "TRX");
  std::string text;
  ASSERT_TRUE(PrintAppConfig(&saved, &text));
  for (int c = 0; c < kDspChannels; ++c)
    EXPECT_EQ(saved.InputGainRef(c), g_unit.config.InputGainRef(c));
}

// The RS-232 port on one end of a socat pseudo-terminal pair, the controller on the other.
TEST_F(RealClientsTest, SerialPortThroughSocat) {
  if (access("/usr/bin/socat", X_OK) != 0) GTEST_SKIP() << "no socat";
  std::filesystem::create_directories(platform::Path("/dev"));
  const std::string dev = platform::Path("/dev/ttyS6"), peer = root_ + "/tty-peer";
  Terminal socat({"socat", "pty,raw,echo=0,link=" + dev, "pty,raw,echo=0,link=" + peer});
  ASSERT_TRUE(testsupport::WaitFor([&] {
    return access(dev.c_str(), F_OK) == 0 && access(peer.c_str(), F_OK) == 0;
  })) << "socat made no links";
  const int controller = open(peer.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(controller, 0);
  const int watcher = Connect(g_control_servers.tcp.BoundPort());
  ASSERT_TRUE(testsupport::WaitFor([] { return g_control_servers.tcp.ClientCount() > 0; }));
  g_unit.config.baudrate = 3;
  g_control_servers.uart.SetStartDelayMs(0);
  StartUartFromConfig();
  ASSERT_TRUE(g_control_servers.uart.running());
  const int dev_fd = open(dev.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  termios t{};
  ASSERT_EQ(tcgetattr(dev_fd, &t), 0);
  EXPECT_EQ(cfgetispeed(&t), B19200);
  close(dev_fd);

  ASSERT_EQ(write(controller, "IN 4 GAIN 2\r", 12), 12);
  const std::string reply = "\r\n[SUCCESS]Set analogue input CH4 gain to 2dB.\r\nVX7206>";
  std::string got;
  while (got.find("VX7206>") == std::string::npos || got.rfind(reply) == std::string::npos) {
    const std::string more = ReadUntil(controller, "VX7206>");
    if (more.empty()) break;
    got += more;
  }
  EXPECT_EQ(got.substr(got.size() - (11 + reply.size())), "IN 4 GAIN 2" + reply);
  EXPECT_EQ(ReadUntil(watcher, "VX7206>"), reply);
  g_control_servers.uart.Stop();
  g_control_servers.uart.SetStartDelayMs(12000);
  close(controller);
  close(watcher);
}

}  // namespace
