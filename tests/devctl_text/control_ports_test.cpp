// The three control ports together, as devctl runs them: a line typed on any port is answered on
// every port.
#include "devctl/text/control_ports.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>

#include <fcntl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "devctl/app/service_loop.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/notices.h"
#include "devctl/core/unit_state.h"
#include "devctl/text/broadcast.h"
#include "devctl/text/control_servers.h"
#include "devctl/text/dispatcher.h"
#include "devctl/text/greetings.h"
#include "devctl/text/history.h"
#include "devctl/web/application.h"
#include "devctl/web/web_commands.h"
#include "platform/clock.h"
#include "platform/listen_port.h"
#include "platform/storage.h"
#include "socket_client.h"
#include "tests/support/held_port.h"
#include "tests/support/sim_unit.h"
#include "tests/support/wait_for.h"

namespace {

using namespace testclient;

const std::string kOpening("\xff\xfb\x03\xff\xfb\x01\xff\xfe\x01\xff\xfe\x00", 12);
const std::string kBanner =
    "\r\n================================= \r\nVX7206 Terminal Control System\r\nFW Version : "
    "V2.0\r\nType \"HELP\" For More Information\r\n================================= "
    "\r\n\r\nVX7206>";

class ControlPortsTest : public testsupport::SimUnitFixture {
 protected:
  void SetUp() override {
    SimUnitFixture::SetUp();
    std::filesystem::create_directories(platform::Path("/oem"));
    std::filesystem::create_directories(platform::Path("/dev"));
    HistoryInit();
    ClearResetConfirms();
    g_unit.identity.main_version = "V2.0";
    ASSERT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
    termios raw{};
    tcgetattr(master_, &raw);
    cfmakeraw(&raw);
    tcsetattr(master_, TCSANOW, &raw);
    ASSERT_EQ(symlink(ttyname(slave_), platform::Path("/dev/ttyS6").c_str()), 0);
    g_unit.config.tcpportenable = 1;
    g_unit.config.tcpport = 0;  // an ephemeral port: read back below
    g_unit.config.telnet_enable = 1;
    g_unit.config.telnetport = 0;
    g_control_servers.uart.SetStartDelayMs(0);
    StartControlPorts();
    ASSERT_TRUE(g_control_servers.tcp.running());
    ASSERT_TRUE(g_control_servers.telnet.running());
    ASSERT_TRUE(g_control_servers.uart.running());
    reader_ = std::thread([this] {
      using SteadyClock = std::chrono::steady_clock;
      SteadyClock::time_point last = SteadyClock::now();
      double budget = 0;  // bytes the line has carried and the reader not yet taken
      char buf[4096];
      while (reading_) {
        if (paused_) {
          usleep(5000);
          continue;
        }
        size_t want = sizeof buf;
        const size_t pace = pace_;
        const SteadyClock::time_point now = SteadyClock::now();
        budget = std::min(budget + std::chrono::duration<double>(now - last).count() * pace,
                          pace / 10.0);
        last = now;
        if (pace > 0) {
          if (budget < 1) {
            usleep(5000);  // the line has not carried the next byte yet
            continue;
          }
          want = std::min(want, static_cast<size_t>(budget));
        }
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        const ssize_t n = read(master_, buf, want);
        if (n <= 0) continue;
        budget -= static_cast<double>(n);
        std::lock_guard<std::mutex> lock(serial_mutex_);
        serial_.append(buf, n);
      }
    });
  }
  void TearDown() override {
    g_control_servers.tcp.Stop();
    g_control_servers.telnet.Stop();
    g_control_servers.uart.Stop();
    g_control_servers.uart.SetStartDelayMs(12000);
    reading_ = false;
    reader_.join();
    close(master_);
    close(slave_);
    for (int fd : fds_) close(fd);
    g_unit.identity = device_identity_s();
    SimUnitFixture::TearDown();
  }
  // A raw client, once the server has taken it on.
  int Tcp() {
    const size_t before = g_control_servers.tcp.ClientCount();
    const int fd = fds_.emplace_back(Connect(g_control_servers.tcp.BoundPort()));
    EXPECT_TRUE(
        testsupport::WaitFor([&] { return g_control_servers.tcp.ClientCount() != before; }));
    return fd;
  }
  int Telnet() { return fds_.emplace_back(Connect(g_control_servers.telnet.BoundPort())); }
  // What the serial port sent up to and including `tail` (waits for it).
  // The serial output up to and including tail, taken from what the line carried; text that
  // never comes fails the test.
  std::string Serial(const std::string& tail) {
    std::string got = "(nothing)";
    EXPECT_TRUE(testsupport::WaitFor([&] {
      std::lock_guard<std::mutex> lock(serial_mutex_);
      const size_t at = serial_.find(tail);
      if (at == std::string::npos) return false;
      got = serial_.substr(0, at + tail.size());
      serial_.erase(0, at + tail.size());
      return true;
    })) << "no \"" << tail << "\" on the serial line";
    return got;
  }

  int master_ = -1, slave_ = -1;
  std::vector<int> fds_;
  std::thread reader_;
  std::atomic<bool> reading_{true};
  std::atomic<bool> paused_{false};  // the serial line is not read while set
  std::atomic<size_t> pace_{0};      // bytes a second the serial line is read at; 0: at once
  std::mutex serial_mutex_;
  std::string serial_;
};

TEST_F(ControlPortsTest, GreetingsOfEachPort) {
  EXPECT_EQ(Serial("VX7206>"), kBanner);  // once, when the port starts
  const int first = Telnet();
  EXPECT_EQ(ReadUntil(first, "VX7206>"), kOpening + kBanner);
  const int second = Telnet();
  EXPECT_EQ(ReadUntil(second, "VX7206>"), kOpening + kBanner);
  EXPECT_EQ(ReadUntil(first, "VX7206>"), kBanner);  // every telnet client sees a newcomer's banner
  const int raw = Tcp();
  bool closed = false;
  EXPECT_EQ(ReadUntil(raw, "", 200, &closed), "");  // raw clients get no greeting
  // A restart of the serial port does not repeat its banner.
  RestartUart();
  Send(raw, "\r");
  EXPECT_EQ(ReadUntil(raw, "VX7206>"), "\r\nVX7206>");
  EXPECT_EQ(Serial("VX7206>"), "\r\nVX7206>");
}

TEST_F(ControlPortsTest, ALineFromAnyPortIsAnsweredOnAll) {
  Serial("VX7206>");
  const int raw = Tcp(), tn = Telnet();
  ReadUntil(tn, "VX7206>");
  const std::string reply = "\r\n[SUCCESS]Set analogue input CH1 gain to 10dB.\r\nVX7206>";
  Send(raw, "IN 1 GAIN 10\r\n");
  EXPECT_EQ(ReadUntil(raw, "VX7206>"), "IN 1 GAIN 10" + reply);
  EXPECT_EQ(ReadUntil(tn, "VX7206>"), reply);
  EXPECT_EQ(Serial("VX7206>"), reply);

  Send(tn, "in 2 gain 3\r");
  EXPECT_EQ(
      ReadUntil(tn, "VX7206>"),
      "in 2 gain 3" + std::string("\r\n[SUCCESS]Set analogue input CH2 gain to 3dB.\r\nVX7206>"));
  ReadUntil(raw, "VX7206>");
  Serial("VX7206>");

  ASSERT_EQ(write(master_, "IN 3 GAIN 1\r", 12), 12);
  const std::string serial_reply = "\r\n[SUCCESS]Set analogue input CH3 gain to 1dB.\r\nVX7206>";
  EXPECT_EQ(Serial("VX7206>"), "IN 3 GAIN 1" + serial_reply);
  EXPECT_EQ(ReadUntil(raw, "VX7206>"), serial_reply);
  EXPECT_EQ(ReadUntil(tn, "VX7206>"), serial_reply);

  // History is shared: Up on the serial port recalls the line typed there, Up again the telnet one.
  ASSERT_EQ(write(master_, "\x1b[A", 3), 3);
  EXPECT_EQ(Serial("IN 3 GAIN 1"), "IN 3 GAIN 1");
  usleep(20000);
  ASSERT_EQ(write(master_, "\x1b[A", 3), 3);
  EXPECT_NE(Serial("in 2 gain 3").find("in 2 gain 3"), std::string::npos);
}

TEST_F(ControlPortsTest, CommandInStandbyAnnouncesThePowerOnFirst) {
  Serial("VX7206>");
  const int raw = Tcp(), tn = Telnet();
  ReadUntil(tn, "VX7206>");
  g_unit.config.power = 0;
  const std::string notice = "[SUCCESS]Set system power on, please wait a moment...\r\n";
  const std::string reply = "\r\n[SUCCESS]Set analogue input CH1 gain to 2dB.\r\nVX7206>";
  Send(tn, "IN1GAIN2\r");
  EXPECT_EQ(ReadUntil(tn, "VX7206>"), "IN1GAIN2" + notice + reply);
  EXPECT_EQ(ReadUntil(raw, "VX7206>"), notice + reply);
  EXPECT_EQ(Serial("VX7206>"), notice + reply);
  EXPECT_EQ(g_unit.config.power, 1);
  Send(tn, "IN1GAIN3\r");
  EXPECT_EQ(ReadUntil(raw, "VX7206>").find(notice), std::string::npos);  // only once
}

// A script pasted in one write, more than the line accumulation holds: every line is answered.
TEST_F(ControlPortsTest, AScriptInOneWriteIsAnsweredLineByLine) {
  Serial("VX7206>");
  const int raw = Tcp();
  constexpr size_t kLines = 2100;  // 21,000 bytes of 10-byte lines
  std::string script;
  for (size_t i = 0; i < kLines; ++i) script += "         \r";
  ASSERT_EQ(write(raw, script.data(), script.size()), ssize_t(script.size()));
  const std::string got = ReadUntilCount(raw, '>', kLines, 0);
  EXPECT_EQ(std::count(got.begin(), got.end(), '>'), long(kLines));
}

// Nobody reads the serial line: its terminal buffer is full. A web command and a text command
// whose notices go to that port finish anyway, a command on another port is answered at once, and
// everything reaches the serial port, in order, once it is read again.
TEST_F(ControlPortsTest, ABlockedSerialReaderHoldsUpNoOtherPort) {
  Serial("VX7206>");
  const int raw = Tcp(), tn = Telnet();
  ReadUntil(tn, "VX7206>");
  paused_ = true;
  // Fill the terminal from the port's side until it takes nothing more.
  fcntl(slave_, F_SETFL, fcntl(slave_, F_GETFL) | O_NONBLOCK);
  const std::string fill(4096, '.');
  size_t filled = 0;
  for (ssize_t n; (n = write(slave_, fill.data(), fill.size())) > 0;) filled += size_t(n);
  ASSERT_GT(filled, 0u);

  SetNoticeSink(BroadcastToPorts);  // as start-up registers it
  using Clock = std::chrono::steady_clock;
  const auto started = Clock::now();
  CApplication app("appthread");
  app.FillCommandMap(g_web_commands, g_web_command_count);
  std::thread web([&] {
    std::string reply;
    app.HandleInstr("{\"comhead\":\"set input gain\",\"action\":0,\"chn\":0,\"gain\":4}", reply);
    EXPECT_NE(reply.find("\"result\":\t1"), std::string::npos) << reply;
  });
  Send(raw, "IN 2 GAIN 5\r");
  // Up to the reply's prompt: the web command's notice may come before or after it.
  const std::string raw_reply = ReadUntilCount(raw, '>', 1, 0);
  web.join();
  const auto stalled_done = Clock::now();

  Send(tn, "IN 3 GAIN 6\r");
  const std::string tn_reply = ReadUntil(tn, "CH3 gain to 6dB.\r\nVX7206>");
  const auto other_done = Clock::now();
  EXPECT_NE(raw_reply.find("CH2 gain to 5dB."), std::string::npos);
  EXPECT_NE(tn_reply.find("CH3 gain to 6dB."), std::string::npos);
  auto ms = [](Clock::duration d) {
    return std::chrono::duration_cast<std::chrono::microseconds>(d).count() / 1000.0;
  };
  std::printf("blocked serial reader: web + text commands %.1f ms, command on telnet %.1f ms\n",
              ms(stalled_done - started), ms(other_done - stalled_done));

  paused_ = false;
  const std::string serial = Serial("CH3 gain to 6dB.\r\nVX7206>");
  const size_t web_notice = serial.find("CH1 gain to 4dB.");
  const size_t text_reply = serial.find("CH2 gain to 5dB.");
  const size_t telnet_reply = serial.find("CH3 gain to 6dB.");
  ASSERT_NE(web_notice, std::string::npos);
  ASSERT_NE(text_reply, std::string::npos);
  ASSERT_NE(telnet_reply, std::string::npos);
  EXPECT_LT(std::max(web_notice, text_reply), telnet_reply);
  SetNoticeSink(nullptr);
}

// A controller on the serial port at 9600 bit/s, its line read at that pace, while a raw TCP
// client keeps sending commands whose replies go to the serial port too, far faster than the
// line carries them: each serial command is answered there, and notices count what was dropped.
TEST_F(ControlPortsTest, SerialCommandsAreAnsweredAt9600WhileAnotherPortFloods) {
  Serial("VX7206>");
  g_unit.config.baudrate = 2;
  RestartUart();
  ASSERT_EQ(g_control_servers.uart.baud_rate(), 9600u);
  pace_ = CUart::LineBytesPerSecond(9600);
  const int raw = Tcp();
  std::atomic<bool> flooding{true};
  std::atomic<int> flood_commands{0};
  std::thread flood([&] {
    constexpr size_t kBatch = 10;
    while (flooding) {
      for (size_t i = 0; i < kBatch; ++i) Send(raw, "IN 2 GAIN 5\r");
      flood_commands += kBatch;
      ReadUntilCount(raw, '>', kBatch, 0);  // read, so that the server keeps this client
    }
  });
  std::string serial;
  constexpr int kCommands = 12;
  int answered = 0;
  for (int i = 1; i <= kCommands; ++i) {
    const std::string gain = std::to_string(i);
    const std::string command = "IN 1 GAIN " + gain + "\r";
    ASSERT_EQ(write(master_, command.data(), command.size()), ssize_t(command.size()));
    const std::string got =
        Serial("[SUCCESS]Set analogue input CH1 gain to " + gain + "dB.\r\nVX7206>");
    if (got == "(nothing)") {
      ADD_FAILURE() << "no reply to serial command " << i;
      break;
    }
    serial += got;
    ++answered;
  }
  flooding = false;
  flood.join();
  EXPECT_EQ(answered, kCommands);
  EXPECT_NE(serial.find("[ERROR]RS-232 output full: "), std::string::npos)
      << "the flood never filled the serial queue";
  std::printf("serial at 9600 bit/s: %d of %d commands answered while raw TCP sent %d commands\n",
              answered, kCommands, flood_commands.load());
}

// A RESET question belongs to the client that asked; when a restart closes that client (or the
// serial port), a later client given the same descriptor must not inherit it.
TEST_F(ControlPortsTest, RestartsForgetTheQuestionsOfClosedClients) {
  Serial("VX7206>");
  auto pending = [] {
    int n = 0;
    for (int fd = 0; fd < 1024; ++fd) n += PendingConfirmation(fd) != nullptr;
    return n;
  };
  const int raw = Tcp();
  Send(raw, "RESET\r");
  ReadUntil(raw, "VX7206>");
  ASSERT_EQ(write(master_, "RESET ALL\r", 10), 10);
  Serial(
      "and network settings to default? Type \"Yes\" after next prompt to confirm...\r\nVX7206>");
  EXPECT_EQ(pending(), 2);
  RestartTcpServer();
  EXPECT_EQ(pending(), 1);
  RestartUart();
  EXPECT_EQ(pending(), 0);
}

TEST(Banner, LongModelNameIsCutAt255Characters) {
  const std::string model = g_unit.config.model;
  g_unit.config.model = std::string(200, 'M');
  const std::string banner = FormatBanner();
  EXPECT_EQ(banner.size(), 255u);
  EXPECT_EQ(banner.substr(0, 41), "\r\n================================= \r\nMMM");
  g_unit.config.model = model;
}

TEST_F(ControlPortsTest, ServiceLoopRestartsAPortWithItsNewSettings) {
  const int tn = Telnet();
  ReadUntil(tn, "VX7206>");
  g_unit.config.telnet_enable = 0;
  g_port_restarts.telnet = true;
  ServiceLoopPass();
  EXPECT_TRUE(ClosedWithoutData(tn));
  EXPECT_FALSE(g_control_servers.telnet.running());
  EXPECT_TRUE(g_control_servers.tcp.running());
  g_unit.config.telnet_enable = 1;
  g_port_restarts.telnet = true;
  ServiceLoopPass();
  ASSERT_TRUE(g_control_servers.telnet.running());
  const int again = Telnet();
  EXPECT_EQ(ReadUntil(again, "VX7206>"), kOpening + kBanner);
  g_unit.config.baudrate = 2;
  g_port_restarts.uart = true;
  ServiceLoopPass();
  EXPECT_EQ(g_control_servers.uart.baud_rate(), 9600u);
  EXPECT_TRUE(g_control_servers.uart.running());
}

// A server the record has on whose restart could not listen (another program took its port in
// between) is started by the next ON, from the text port or the web: the ON is answered with
// success only once the server listens, and with the port's occupied line (on the web "result"
// 0) while the port is still held.
TEST_F(ControlPortsTest, TurningOnAServerThatIsOnButDoesNotListenStartsIt) {
  Serial("VX7206>");
  CApplication app("appthread");
  app.FillCommandMap(g_web_commands, g_web_command_count);
  const struct Case {
    const char* what;
    CTcpserver* server;
    int app_config_s::*port;
    std::atomic<bool> PortRestartRequests::*restart;
    const char* line;     // text ON, typed on the other server
    const char* comhead;  // web ON, when the case turns it on there
    const char* success;
  } cases[] = {
      {"telnet, text", &g_control_servers.telnet, &app_config_s::telnetport,
       &PortRestartRequests::telnet, "NET TN ON\r", nullptr, "[SUCCESS]Set telnet to on.\r\n"},
      {"telnet, web", &g_control_servers.telnet, &app_config_s::telnetport,
       &PortRestartRequests::telnet, nullptr, "set telnetportenable", nullptr},
      {"raw TCP, text", &g_control_servers.tcp, &app_config_s::tcpport, &PortRestartRequests::tcp,
       "NET TCPPORT ON\r", nullptr, "[SUCCESS]Set TCP/IP to on.\r\n"},
      {"raw TCP, web", &g_control_servers.tcp, &app_config_s::tcpport, &PortRestartRequests::tcp,
       nullptr, "set tcpportenable", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The text comes from a client of the other server.
    const int other = c.server == &g_control_servers.telnet ? Tcp() : Telnet();
    testsupport::HeldPort held;
    ASSERT_NE(held.port(), 0);
    {
      ConfigLock lock;
      g_unit.config.*c.port = held.port();
      g_port_restarts.*c.restart = true;
    }
    ServiceLoopPass();
    ASSERT_FALSE(c.server->running()) << "the restart listened on a port another program holds";
    const std::string occupied =
        "[ERROR]Port " + std::to_string(held.port()) + " is occupied, please select another port.";
    auto turn_on = [&] {
      if (c.comhead != nullptr) {
        std::string reply;
        const std::string body = std::string("{\"comhead\":\"") + c.comhead + "\",\"value\":1}";
        app.HandleInstr(body.c_str(), reply);
        return reply.find("\"result\":\t1") != std::string::npos ? std::string("result 1")
                                                                  : std::string("result 0");
      }
      Send(other, c.line);
      const std::string got = ReadUntilOneOf(other, {occupied, c.success});
      return got.find(occupied) != std::string::npos ? occupied : std::string(c.success);
    };
    EXPECT_EQ(turn_on(), c.comhead ? "result 0" : occupied);
    EXPECT_FALSE(c.server->running());
    held.Release();
    EXPECT_EQ(turn_on(), c.comhead ? "result 1" : c.success);
    // Listening by the time the answer came.
    EXPECT_TRUE(c.server->running());
    EXPECT_EQ(c.server->BoundPort(), held.port());
    const int client = fds_.emplace_back(Connect(uint16_t(held.port())));
    EXPECT_GE(client, 0);
  }
}

// NET TN OFF, and ON while the restart it asked for still waits for the server's thread to finish
// a long script a telnet client sent in one write: the old listening socket still holds the port,
// but the restart is pending, so ON is taken and the restart ends with the server listening.
TEST_F(ControlPortsTest, OnWhileTheServerIsStillStoppingIsTakenAndTheServerListensAgain) {
  Serial("VX7206>");
  const int raw = Tcp(), tn = Telnet();
  ReadUntil(tn, "VX7206>");
  const uint16_t port = g_control_servers.telnet.BoundPort();
  {
    ConfigLock lock;
    g_unit.config.telnetport = port;  // the restart listens there again
  }
  std::string script;
  for (int i = 0; i < 1500; ++i) script += "IN 1 GAIN " + std::to_string(i % 20) + "\r";
  Send(tn, script);
  Send(raw, "NET TN OFF\r");
  ReadUntilOneOf(raw, {"[SUCCESS]Set telnet to off.\r\n"});
  std::thread service_loop([] { ServiceLoopPass(); });
  const bool stopping =
      testsupport::WaitFor([] { return !g_control_servers.telnet.running(); });
  const bool old_socket_open = !platform::CanListenOn(port);
  Send(raw, "NET TN ON\r");
  const std::string occupied =
      "[ERROR]Port " + std::to_string(port) + " is occupied, please select another port.";
  const std::string got = ReadUntilOneOf(raw, {"[SUCCESS]Set telnet to on.", occupied});
  service_loop.join();
  std::printf("ON came while the old socket %s the port\n",
              old_socket_open ? "still held" : "had already left");
  ASSERT_TRUE(stopping);
  EXPECT_EQ(got.find(occupied), std::string::npos);
  EXPECT_NE(got.find("[SUCCESS]Set telnet to on."), std::string::npos);
  EXPECT_EQ(g_unit.config.telnet_enable, 1);
  EXPECT_TRUE(testsupport::WaitFor([] { return !g_port_restarts.telnet; }));
  ServiceLoopPass();  // carries out a restart still asked for, if any
  ASSERT_TRUE(g_control_servers.telnet.running());
  EXPECT_EQ(g_control_servers.telnet.BoundPort(), port);
  const int again = Telnet();
  EXPECT_EQ(ReadUntil(again, "VX7206>"), kOpening + kBanner);
}

// The unit's clock, except that the service loop pass run by RunPassIntoGap stops in its first
// sleep, the restart's pause between stopping a server and setting it up again, until Open.
class RestartGap : public platform::Clock {
 public:
  RestartGap() : inner_(platform::clock()) { platform::SetClock(this); }
  ~RestartGap() override {
    Finish();
    platform::SetClock(&inner_);
  }
  int64_t NowUs() override { return inner_.NowUs(); }
  void SleepUs(int64_t us) override {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (std::this_thread::get_id() == pass_id_) {
        in_gap_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
      }
    }
    inner_.SleepUs(us);
  }
  // True once the pass, on a thread of its own, waits in the gap.
  bool RunPassIntoGap() {
    pass_ = std::thread([this] {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        pass_id_ = std::this_thread::get_id();
      }
      ServiceLoopPass();
    });
    return testsupport::WaitFor([this] {
      std::lock_guard<std::mutex> lock(mutex_);
      return in_gap_;
    });
  }
  // Lets the pass finish and waits for it.
  void Finish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      open_ = true;
    }
    changed_.notify_all();
    if (pass_.joinable()) pass_.join();
  }

 private:
  platform::Clock& inner_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread::id pass_id_;
  bool in_gap_ = false;
  bool open_ = false;
  std::thread pass_;
};

// One server switched by one front end: the text lines come from a client of the other server.
struct Switch {
  const char* what;
  bool telnet;
  bool web;
};
const Switch kSwitches[] = {{"telnet, text", true, false},
                            {"telnet, web", true, true},
                            {"raw TCP, text", false, false},
                            {"raw TCP, web", false, true}};

class PortSwitchTest : public ControlPortsTest {
 protected:
  void SetUp() override {
    ControlPortsTest::SetUp();
    app_.FillCommandMap(g_web_commands, g_web_command_count);
    Serial("VX7206>");
  }
  CTcpserver& Server(const Switch& s) {
    return s.telnet ? g_control_servers.telnet : g_control_servers.tcp;
  }
  int& Enabled(const Switch& s) {
    return s.telnet ? g_unit.config.telnet_enable : g_unit.config.tcpportenable;
  }
  int& Port(const Switch& s) { return s.telnet ? g_unit.config.telnetport : g_unit.config.tcpport; }
  // The server's port from here on is the one it listens on now, so its restarts come back there.
  uint16_t PinPort(const Switch& s) {
    ConfigLock lock;
    Port(s) = Server(s).BoundPort();
    return uint16_t(Port(s));
  }
  // A client of the other server, for the text lines.
  int Other(const Switch& s) {
    if (!s.telnet) return Telnet();
    return Tcp();
  }
  static std::string Occupied(int port) {
    return "[ERROR]Port " + std::to_string(port) + " is occupied, please select another port.";
  }
  // Turns the server on or off: "success", the occupied line, or on the web "result 1"/"result 0".
  std::string Turn(const Switch& s, int other, bool on) {
    if (s.web) {
      const std::string body = std::string("{\"comhead\":\"") +
                               (s.telnet ? "set telnetportenable" : "set tcpportenable") +
                               "\",\"value\":" + (on ? "1" : "0") + "}";
      std::string reply;
      app_.HandleInstr(body.c_str(), reply);
      return reply.find("\"result\":\t1") != std::string::npos ? "result 1" : "result 0";
    }
    const std::string line =
        std::string(s.telnet ? "NET TN " : "NET TCPPORT ") + (on ? "ON" : "OFF") + "\r";
    const std::string success =
        std::string(s.telnet ? "[SUCCESS]Set telnet to " : "[SUCCESS]Set TCP/IP to ") +
        (on ? "on." : "off.");
    const std::string occupied = Occupied(Port(s));
    Send(other, line);
    const std::string got = ReadUntilOneOf(other, {occupied, success});
    return got.find(occupied) != std::string::npos ? occupied : "success";
  }
  // Moves the server with NET TN <port> or NET TCPPORT <port>: "taken" or "refused".
  std::string Move(const Switch& s, int other, int port) {
    Send(other, std::string(s.telnet ? "NET TN " : "NET TCPPORT ") + std::to_string(port) + "\r");
    const std::string got = ReadUntilOneOf(other, {Occupied(port), " port:"});
    return got.find(Occupied(port)) != std::string::npos ? "refused" : "taken";
  }
  // The web's network settings with these ports and the rest as stored: "taken" or "refused".
  std::string SetNetworkPorts(int tcp, int telnet) {
    const app_config_s& cfg = g_unit.config;
    const std::string body = "{\"comhead\":\"set network\",\"dhcp\":" + std::to_string(cfg.dhcp) +
                             ",\"tcpport\":" + std::to_string(tcp) +
                             ",\"telnetport\":" + std::to_string(telnet) + ",\"ipaddress\":\"" +
                             cfg.ipaddress + "\",\"subnet\":\"" + cfg.subnet + "\",\"gateway\":\"" +
                             cfg.gateway + "\",\"hostname\":\"" + cfg.hostname + "\",\"model\":\"" +
                             cfg.model + "\"}";
    std::string reply;
    app_.HandleInstr(body.c_str(), reply);
    return reply.find("\"result\":\t1") != std::string::npos ? "taken" : "refused";
  }
  std::string Refused(const Switch& s) { return s.web ? "result 0" : Occupied(Port(s)); }
  std::string Taken(const Switch& s) { return s.web ? "result 1" : "success"; }
  // A new client of the server is served: telnet greets it, raw TCP answers an empty line.
  void ExpectServed(const Switch& s, int client) {
    ASSERT_GE(client, 0);
    if (s.telnet) {
      EXPECT_NE(ReadUntil(client, "VX7206>").find("Terminal Control System"), std::string::npos);
    } else {
      Send(client, "\r");
      EXPECT_EQ(ReadUntil(client, "VX7206>"), "\r\nVX7206>");
    }
  }

  CApplication app_{"appthread"};
};

// OFF, then ON while the restart OFF asked for is between stopping the server and setting it up
// again: the port stays devctl's through the gap, so no other program takes it there, ON is
// taken and the restart listens on the same socket.
TEST_F(PortSwitchTest, OnInTheRestartGapKeepsThePort) {
  for (const Switch& s : kSwitches) {
    SCOPED_TRACE(s.what);
    const int other = Other(s);
    const uint16_t port = PinPort(s);
    EXPECT_EQ(Turn(s, other, false), Taken(s));
    RestartGap gap;
    ASSERT_TRUE(gap.RunPassIntoGap());
    EXPECT_FALSE(Server(s).running());
    testsupport::HeldPort intruder(port);
    ASSERT_EQ(intruder.port(), 0) << "another program took the port in the restart gap";
    EXPECT_EQ(Turn(s, other, true), Taken(s));
    const int early = fds_.emplace_back(Connect(port));  // waits in the backlog
    gap.Finish();
    EXPECT_TRUE(Server(s).running());
    EXPECT_EQ(Server(s).BoundPort(), port);
    EXPECT_EQ(Enabled(s), 1);
    ExpectServed(s, early);
  }
}

// OFF, the restart closes the port and another program takes it: ON is refused and the record
// keeps the server off. Once the port is free, ON is taken with devctl listening by the time it
// answers (a client connects before any restart), and the restart serves that client.
TEST_F(PortSwitchTest, OnForAPortAnotherProgramTookIsRefusedUntilItIsFree) {
  for (const Switch& s : kSwitches) {
    SCOPED_TRACE(s.what);
    const int other = Other(s);
    const uint16_t port = PinPort(s);
    EXPECT_EQ(Turn(s, other, false), Taken(s));
    ServiceLoopPass();
    ASSERT_FALSE(Server(s).running());
    testsupport::HeldPort intruder(port);
    ASSERT_EQ(intruder.port(), port) << "devctl kept the port of a server that is off";
    EXPECT_EQ(Turn(s, other, true), Refused(s));
    EXPECT_EQ(Enabled(s), 0);
    EXPECT_FALSE(g_port_restarts.telnet || g_port_restarts.tcp);
    intruder.Release();
    EXPECT_EQ(Turn(s, other, true), Taken(s));
    EXPECT_EQ(Enabled(s), 1);
    const int client = fds_.emplace_back(Connect(port));
    ASSERT_GE(client, 0) << "ON answered before devctl listened";
    ServiceLoopPass();
    ExpectServed(s, client);
  }
}

// A server that is on and moved to another port: a port another program holds is refused with
// the server left where it was; a free one is devctl's from the answer on (nobody takes it before
// the restart), and the restart moves the server there and lets the old port go. The same for
// the web's network settings.
TEST_F(PortSwitchTest, MovingAServerThatIsOnHoldsTheNewPortAtOnce) {
  const struct Case {
    const char* what;
    bool telnet;
    bool web;
  } cases[] = {{"telnet, text", true, false},
               {"raw TCP, text", false, false},
               {"telnet, web network settings", true, true},
               {"raw TCP, web network settings", false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Switch s{c.what, c.telnet, false};
    const int other = Other(s);
    const uint16_t old_port = PinPort(s);
    auto move_to = [&](int port) {
      if (!c.web) return Move(s, other, port);
      const app_config_s& cfg = g_unit.config;
      return c.telnet ? SetNetworkPorts(cfg.tcpport, port) : SetNetworkPorts(port, cfg.telnetport);
    };
    {
      ConfigLock lock;
      g_unit.config.dhcp = 1;  // no address change, so no reboot
    }
    testsupport::HeldPort held;
    ASSERT_NE(held.port(), 0);
    EXPECT_EQ(move_to(held.port()), "refused");
    EXPECT_EQ(Port(s), old_port);
    EXPECT_FALSE(c.telnet ? g_port_restarts.telnet : g_port_restarts.tcp);

    const uint16_t new_port = held.port();
    held.Release();
    EXPECT_EQ(move_to(new_port), "taken");
    EXPECT_EQ(Port(s), new_port);
    EXPECT_EQ(testsupport::HeldPort(new_port).port(), 0) << "the new port was left to be taken";
    const int early = fds_.emplace_back(Connect(new_port));
    EXPECT_GE(early, 0);
    ServiceLoopPass();
    EXPECT_EQ(Server(s).BoundPort(), new_port);
    ExpectServed(s, early);
    EXPECT_EQ(testsupport::HeldPort(old_port).port(), old_port) << "the old port is still held";
  }
}

// A server that is off and was moved (its restart pending), then turned on while another program
// holds its new port: refused, the record keeps it off; once the port is free, ON is taken.
TEST_F(PortSwitchTest, OnAfterAMoveWhileOffWaitsForTheNewPort) {
  const Switch& s = kSwitches[0];
  const int other = Other(s);
  PinPort(s);
  EXPECT_EQ(Turn(s, other, false), "success");
  ServiceLoopPass();
  testsupport::HeldPort probe;
  const int new_port = probe.port();
  probe.Release();
  Send(other, "NET TN " + std::to_string(new_port) + "\r");
  ReadUntilOneOf(other, {"[SUCCESS]Set telnet port:" + std::to_string(new_port) + "."});
  ASSERT_TRUE(g_port_restarts.telnet);
  testsupport::HeldPort intruder(new_port);
  ASSERT_EQ(intruder.port(), new_port);
  EXPECT_EQ(Turn(s, other, true), Occupied(new_port));
  EXPECT_EQ(Enabled(s), 0);
  intruder.Release();
  EXPECT_EQ(Turn(s, other, true), "success");
  const int client = fds_.emplace_back(Connect(uint16_t(new_port)));
  ServiceLoopPass();
  ExpectServed(s, client);
}

// A command whose check held a new port for the raw TCP server, which is on, but that stores no
// record with the server there, leaves the port free by its answer: "set network" refused for a
// telnet port another program holds, "set network" whose save fails, and a move taken back
// before its restart. The server stays on its old port.
TEST_F(PortSwitchTest, APortHeldForAChangeThatIsNotStoredIsFreeAgain) {
  const Switch& s = kSwitches[2];
  const int other = Other(s);
  const uint16_t old_port = PinPort(s);
  const int telnet_port = PinPort(kSwitches[0]);
  {
    ConfigLock lock;
    g_unit.config.dhcp = 1;  // no address change, so no reboot
  }
  const struct Case {
    const char* what;
    std::function<std::string(int port)> change;
    const char* answer;
  } cases[] = {
      {"set network, telnet port occupied",
       [&](int port) {
         testsupport::HeldPort busy;
         return SetNetworkPorts(port, busy.port());
       },
       "refused"},
      {"set network, save failed",
       [&](int port) {
         platform::FailWritesUnder(platform::Path("/oem"));
         const std::string answer = SetNetworkPorts(port, telnet_port);
         platform::FailWritesUnder("");
         return answer;
       },
       "refused"},
      {"moved and moved back before the restart",
       [&](int port) {
         Move(s, other, port);
         return Move(s, other, old_port);
       },
       "taken"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::HeldPort probe;
    const int port = probe.port();
    ASSERT_NE(port, 0);
    probe.Release();
    EXPECT_EQ(c.change(port), c.answer);
    EXPECT_EQ(g_unit.config.tcpport, old_port);
    EXPECT_EQ(testsupport::HeldPort(port).port(), port) << "devctl still holds the port";
    ServiceLoopPass();
    EXPECT_TRUE(Server(s).running());
    EXPECT_EQ(Server(s).BoundPort(), old_port);
  }
}

}  // namespace
