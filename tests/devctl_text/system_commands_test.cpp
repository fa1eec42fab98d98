// The unit-wide text commands through the dispatcher: reply lines, configuration, flags for the
// workers and the service loop, saves, and the hardware the power worker then drives.
#include "devctl/text/system_commands.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "devctl/app/service_loop.h"
#include "devctl/core/config_file.h"
#include "devctl/core/port_restarts.h"
#include "devctl/core/unit_state.h"
#include "devctl/core/uptime.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/devices/gpio.h"
#include "devctl/hardware/panel_state.h"
#include "devctl/hardware/power.h"
#include "devctl/hardware/power_state.h"
#include "devctl/text/control_servers.h"
#include "devctl/text/dispatcher.h"
#include "platform/sim_sysfs.h"
#include "tests/support/held_port.h"
#include "tests/support/text_commands.h"

namespace {

std::string RangeError(const char* what) {
  return std::string("[ERROR]") + what +
         " param out of range. Type \"HELP\" for more reference.\r\n";
}

class SystemCommands : public testsupport::TextCommandFixture {
 protected:
  SystemCommands() : TextCommandFixture(SystemLines()) {}
  void SetUp() override {
    TextCommandFixture::SetUp();
    g_port_restarts.tcp = g_port_restarts.telnet = g_port_restarts.uart = false;
    g_panel.notice = 0;
    ASSERT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));
  }
  void TearDown() override {
    g_control_servers.tcp.Stop();
    g_control_servers.uart.Stop();
    g_port_restarts.tcp = g_port_restarts.telnet = g_port_restarts.uart = false;
    g_panel.notice = 0;
    TextCommandFixture::TearDown();
  }
};

// Lines refused with their family's error: nothing changes, nothing is saved.
TEST_F(SystemCommands, OutOfRangeChangesNothing) {
  struct Case {
    const char* line;
    std::string reply;
  } cases[] = {
      {"usb port 3\r", RangeError("Set USB port")},
      {"usb port\r", RangeError("Set USB port")},
      {"rsb 0\r", RangeError("Baudrate")},
      {"rsb 7\r", RangeError("Baudrate")},
      {"standby 2\r", RangeError("Set system standby mode")},
      {"lcd 20\r", RangeError("Set LCD light")},
      {"lcd\r", RangeError("Set LCD light")},
      {"auto stb 121\r", RangeError("Standby time")},
      {"auto stb -1\r", RangeError("Standby time")},
      {"in 5 pht on\r", RangeError("Analogue input phantom")},
      {"in -1 pht on\r", RangeError("Analogue input phantom")},
      // NET lines last: the first line after them closes the network edit, which saves.
      {"net tcpport 23\r", "[ERROR]Port 23 is occupied, please select another port.\r\n"},
      {"net tcpport 80\r", "[ERROR]Port 80 is occupied, please select another port.\r\n"},
      {"net tcpport 44897\r", "[ERROR]Port 44897 is occupied, please select another port.\r\n"},
      {"net tcpport 0\r", RangeError("TCP/IP port")},
      {"net tcpport 70000\r", RangeError("TCP/IP port")},
      // A number beyond int saturates: it never wraps into a valid port.
      {"net tcpport 4294967319\r", RangeError("TCP/IP port")},
      {"net tn 8000\r", "[ERROR]Port 8000 is occupied, please select another port.\r\n"},
      {"net tn 5555\r", "[ERROR]Port 5555 is occupied, please select another port.\r\n"},
      {"net tn 65536\r", RangeError("Telnet port")},
  };
  const app_config_s before = g_unit.config;
  for (const Case& c : cases) {
    const long saves = Saves();
    EXPECT_EQ(Run(c.line), c.reply) << c.line;
    EXPECT_EQ(Saves(), saves) << c.line;
  }
  EXPECT_EQ(g_unit.config.usb_status, before.usb_status);
  EXPECT_EQ(g_unit.config.tcpport, before.tcpport);
  EXPECT_EQ(g_unit.config.telnetport, before.telnetport);
  EXPECT_EQ(g_unit.config.baudrate, before.baudrate);
  EXPECT_EQ(g_unit.config.front_lcd, before.front_lcd);
  EXPECT_EQ(g_unit.config.standbytime, before.standbytime);
  EXPECT_FALSE(g_port_restarts.tcp || g_port_restarts.telnet || g_port_restarts.uart);
}

TEST_F(SystemCommands, SettingsTakeEffectAndAreSaved) {
  struct Case {
    const char* line;
    const char* reply;
    int app_config_s::*field;
    int value;
  } cases[] = {
      {"usb port 2\r", "[SUCCESS]Set USB port to USB-C.\r\n", &app_config_s::usb_status, 0},
      {"usb port 1\r", "[SUCCESS]Set USB port to USB-B.\r\n", &app_config_s::usb_status, 1},
      {"key on\r", "[SUCCESS]Set key on.\r\n", &app_config_s::key_lock, 1},
      {"key off\r", "[SUCCESS]Set key off.\r\n", &app_config_s::key_lock, 0},
      {"rsb 6\r", "[SUCCESS]Set baudrate to 115200.\r\n", &app_config_s::baudrate, 6},
      {"rsb 1\r", "[SUCCESS]Set baudrate to 4800.\r\n", &app_config_s::baudrate, 1},
      {"standby 0\r", "[SUCCESS]Set system standby mode to sleep.\r\n", &app_config_s::standby_mode,
       0},
      {"standby 1\r", "[SUCCESS]Set system standby mode to standby.\r\n",
       &app_config_s::standby_mode, 1},
      {"pwled follow on\r", "[SUCCESS]Set system power LED follow LCD status.\r\n",
       &app_config_s::powerled, 1},
      {"pwled follow off\r",
       "[SUCCESS]Set system power LED not follow LCD status, in power on state, power LED always "
       "on.\r\n",
       &app_config_s::powerled, 0},
      {"lcd off\r", "[SUCCESS]Set LCD light always off.\r\n", &app_config_s::front_lcd, 0},
      {"lcd on\r", "[SUCCESS]Set LCD light always on.\r\n", &app_config_s::front_lcd, 1},
      {"lcd 15\r", "[SUCCESS]Set LCD light on 15s.\r\n", &app_config_s::front_lcd, 2},
      {"lcd 60\r", "[SUCCESS]Set LCD light on 60s.\r\n", &app_config_s::front_lcd, 4},
      {"auto stb 30\r", "[SUCCESS]Set auto standby time to 30 mins.\r\n",
       &app_config_s::standbytime, 30},
      {"auto stb 0\r", "[SUCCESS]Set auto standby time to 0 mins.(Disable auto standby)\r\n",
       &app_config_s::standbytime, 0},
      {"net tcpport 9000\r", "[SUCCESS]Set TCP/IP port:9000.\r\n", &app_config_s::tcpport, 9000},
      {"net tn 2323\r", "[SUCCESS]Set telnet port:2323.\r\n", &app_config_s::telnetport, 2323},
      {"net tn off\r", "[SUCCESS]Set telnet to off.\r\n", &app_config_s::telnet_enable, 0},
      {"net tcpport off\r", "[SUCCESS]Set TCP/IP to off.\r\n", &app_config_s::tcpportenable, 0},
  };
  for (const Case& c : cases) {
    const long saves = Saves();
    EXPECT_EQ(Run(c.line), c.reply) << c.line;
    EXPECT_EQ(g_unit.config.*c.field, c.value) << c.line;
    EXPECT_EQ(Saved().*c.field, c.value) << c.line;
    EXPECT_GT(Saves(), saves) << c.line;
  }
  // The USB port and the control-port settings are in the pending network copy too, so a network
  // edit saved later keeps them.
  EXPECT_EQ(g_unit.pending.tcpport, 9000);
  EXPECT_EQ(g_unit.pending.usb_status, 1);
}

TEST_F(SystemCommands, PortsRestartOnlyOnChange) {
  EXPECT_EQ(Run("net tcpport 8000\r"), "[SUCCESS]Set TCP/IP port:8000.\r\n");
  EXPECT_FALSE(g_port_restarts.tcp);
  EXPECT_EQ(Run("net tn on\r"), "[SUCCESS]Set telnet to on.\r\n");
  EXPECT_FALSE(g_port_restarts.telnet);
  EXPECT_EQ(Run("rsb 5\r"), "[SUCCESS]Set baudrate to 57600.\r\n");
  EXPECT_FALSE(g_port_restarts.uart);
  const long saves = Saves();
  EXPECT_EQ(Run("net tcpport 8000\r"), "[SUCCESS]Set TCP/IP port:8000.\r\n");
  EXPECT_EQ(Saves(), saves);

  Run("net tcpport 8001\r");
  EXPECT_TRUE(g_port_restarts.tcp);
  Run("net tn 2424\r");
  EXPECT_TRUE(g_port_restarts.telnet);
  Run("rsb 3\r");
  EXPECT_TRUE(g_port_restarts.uart);
  // The port in use by the other server is refused both ways.
  EXPECT_EQ(Run("net tcpport 2424\r"),
            "[ERROR]Port 2424 is occupied, please select another port.\r\n");
  EXPECT_EQ(Run("net tn 8001\r"), "[ERROR]Port 8001 is occupied, please select another port.\r\n");
}

// A port another program listens on is refused before anything changes: the server keeps its
// port and nothing is saved.
TEST_F(SystemCommands, PortHeldByAnotherProgramIsRefused) {
  const int holder = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(holder, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(holder, 1), 0);
  socklen_t len = sizeof addr;
  ASSERT_EQ(getsockname(holder, reinterpret_cast<sockaddr*>(&addr), &len), 0);
  const int port = ntohs(addr.sin_port);
  const long saves = Saves();
  for (const std::string command : {"NET TN ", "NET TCPPORT "}) {
    EXPECT_EQ(
        Run(command + std::to_string(port)),
        "[ERROR]Port " + std::to_string(port) + " is occupied, please select another port.\r\n")
        << command;
  }
  EXPECT_EQ(g_unit.config.telnetport, 23);
  EXPECT_EQ(g_unit.config.tcpport, 8000);
  EXPECT_FALSE(g_port_restarts.tcp);
  EXPECT_FALSE(g_port_restarts.telnet);
  EXPECT_EQ(Saves(), saves);
  close(holder);
  // Free again: taken.
  EXPECT_EQ(Run("NET TN " + std::to_string(port)),
            "[SUCCESS]Set telnet port:" + std::to_string(port) + ".\r\n");
}

// Turning a server on while another program listens on its port is refused as a port change
// is: the server stays off, nothing is saved or restarted. Once the port is free it turns on.
TEST_F(SystemCommands, TurningOnAServerWhosePortIsHeldIsRefused) {
  struct Case {
    const char* on;
    int app_config_s::*enable;
    int app_config_s::*port;
    const char* success;
  } cases[] = {
      {"NET TN ON", &app_config_s::telnet_enable, &app_config_s::telnetport,
       "[SUCCESS]Set telnet to on.\r\n"},
      {"NET TCPPORT ON", &app_config_s::tcpportenable, &app_config_s::tcpport,
       "[SUCCESS]Set TCP/IP to on.\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.on);
    testsupport::HeldPort held;
    ASSERT_NE(held.port(), 0);
    g_unit.config.*c.enable = g_unit.pending.*c.enable = 0;
    g_unit.config.*c.port = g_unit.pending.*c.port = held.port();
    ASSERT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));
    const long saves = Saves();
    EXPECT_EQ(Run(c.on), "[ERROR]Port " + std::to_string(held.port()) +
                             " is occupied, please select another port.\r\n");
    EXPECT_EQ(g_unit.config.*c.enable, 0);
    EXPECT_EQ(g_unit.pending.*c.enable, 0);
    EXPECT_EQ(Saved().*c.enable, 0);
    EXPECT_EQ(Saves(), saves);
    EXPECT_FALSE(g_port_restarts.tcp);
    EXPECT_FALSE(g_port_restarts.telnet);

    held.Release();
    EXPECT_EQ(Run(c.on), c.success);
    EXPECT_EQ(Saved().*c.enable, 1);
    g_port_restarts.tcp = g_port_restarts.telnet = false;
  }
}

TEST_F(SystemCommands, KeyLockAsksThePanelForItsNotice) {
  Run("key on\r");
  EXPECT_EQ(g_panel.notice, 2);
}

TEST_F(SystemCommands, LcdModeSetsTheBacklightCountdown) {
  g_power.backlight_countdown = -1;
  EXPECT_EQ(Run("lcd 30\r"), "[SUCCESS]Set LCD light on 30s.\r\n");
  EXPECT_EQ(g_unit.config.front_lcd, 3);
  EXPECT_EQ(g_power.backlight_countdown, 60);
  EXPECT_EQ(Run("lcd 20\r"), RangeError("Set LCD light"));
  EXPECT_EQ(g_unit.config.front_lcd, 3);
}

TEST_F(SystemCommands, PhantomPowerOneInputOrAll) {
  EXPECT_EQ(Run("in 2 pht on\r"), "[SUCCESS]Set analogue input CH2 phantom power on.\r\n");
  EXPECT_EQ(g_unit.config.analogue_input_phantom[1], 1);
  EXPECT_EQ(platform::sim_sysfs().Level(kGpioPhantom[1]), 1);
  // A linked pair is not followed by the text command.
  g_unit.config.analogue_input_stereo[1] = 1;
  EXPECT_EQ(Run("in 3 pht on\r"), "[SUCCESS]Set analogue input CH3 phantom power on.\r\n");
  EXPECT_EQ(g_unit.config.analogue_input_phantom[3], 0);
  EXPECT_EQ(Run("in 0 pht off\r"), "[SUCCESS]Set analogue input all phantom power off.\r\n");
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(g_unit.config.analogue_input_phantom[c], 0) << c;
    EXPECT_EQ(platform::sim_sysfs().Level(kGpioPhantom[c]), 0) << c;
  }
  EXPECT_EQ(Run("in 0 pht on\r"), "[SUCCESS]Set analogue input all phantom power on.\r\n");
  EXPECT_EQ(Saved().analogue_input_phantom[3], 1);
}

TEST_F(SystemCommands, UptimeLine) {
  EXPECT_EQ(FormatUptime(59), "0000:00:00:59");
  EXPECT_EQ(FormatUptime(93784), "0001:02:03:04");
  const long saves = Saves();
  const std::string line = Run("uptime\r");
  EXPECT_TRUE(line.rfind("The uptime of the system is ", 0) == 0) << line;
  EXPECT_EQ(line.size(), std::string("The uptime of the system is 0000:00:00:00.\r\n").size());
  EXPECT_EQ(Saves(), saves);
}

// The power commands change the wanted state; the power and preset worker then drives the rails,
// the audio-mute line and the DSP mutes.
TEST_F(SystemCommands, PowerOffAndOnReachTheHardware) {
  InitPowerGpios();
  g_power.applied = 1;
  g_power.deep_sleep = 0;
  g_unit.config.standby_mode = 1;
  g_unit.config.analogue_output_mute[1] = 1;  // stays muted after power-on
  EXPECT_EQ(Run("poff\r"), "[SUCCESS]Set system power off.\r\n");
  EXPECT_EQ(Saved().power, 0);
  EXPECT_EQ(Run("poff\r"), "System is power off.\r\n");
  PowerWorkerPass();
  EXPECT_EQ(platform::sim_sysfs().Level(kGpioAudioMute), 1);
  for (int c = 0; c < kDspChannels; ++c) {
    EXPECT_EQ(DspWord(g_dsp_input_mute_addr[c], c), 0u) << c;
    EXPECT_EQ(DspWord(g_dsp_output_mute_addr[c], c), 0u) << c;
  }

  // In standby "pon" answers with its own line only: no separate power-on notice.
  ClearNotices();
  EXPECT_EQ(Run("pon\r"), "[SUCCESS]Set system power on, please wait a moment...\r\n");
  EXPECT_EQ(notices().find("[SUCCESS]Set system power on"), std::string::npos);
  EXPECT_EQ(Saved().power, 1);
  EXPECT_EQ(Run("pon\r"), "System is power on.\r\n");
  PowerWorkerPass();
  EXPECT_EQ(platform::sim_sysfs().Level(kGpioAudioMute), 0);
  EXPECT_EQ(platform::sim_sysfs().Level(kGpioSleep), 0);
  EXPECT_NE(DspWord(g_dsp_output_mute_addr[0], 0), 0u);
  EXPECT_EQ(DspWord(g_dsp_output_mute_addr[1], 1), 0u);
  g_power.applied = 0;
}

TEST_F(SystemCommands, SleepModePowerOffCutsTheRail) {
  InitPowerGpios();
  g_power.applied = 1;
  g_power.deep_sleep = 0;
  EXPECT_EQ(Run("standby 0\r"), "[SUCCESS]Set system standby mode to sleep.\r\n");
  EXPECT_EQ(Run("poff\r"), "[SUCCESS]Set system power off.\r\n");
  PowerWorkerPass();
  EXPECT_EQ(g_power.deep_sleep, 1);
  EXPECT_EQ(platform::sim_sysfs().Level(kGpioSleep), 1);
  g_power.applied = 0;
  g_power.deep_sleep = 0;
}

TEST_F(SystemCommands, BaudRateReopensTheSerialPort) {
  int master = -1, slave = -1;
  char name[128] = {};
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  ASSERT_EQ(symlink(name, platform::Path("/dev/ttyS6").c_str()), 0);
  g_unit.config.front_lcd = 0;
  g_power.backlight_countdown = 0;
  EXPECT_EQ(Run("rsb 2\r"), "[SUCCESS]Set baudrate to 9600.\r\n");
  ASSERT_TRUE(g_port_restarts.uart);
  ServiceLoopPass();
  EXPECT_FALSE(g_port_restarts.uart);
  EXPECT_TRUE(g_control_servers.uart.running());
  EXPECT_EQ(g_control_servers.uart.baud_rate(), 9600u);
  termios t{};
  ASSERT_EQ(tcgetattr(slave, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
  g_control_servers.uart.Stop();
  close(slave);
  close(master);
}

uint16_t FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

int Connect(uint16_t port) {
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

// Reads until text holds what; the test fails when the peer closes or stays quiet for 60 s first.
std::string ReadUntil(int fd, const std::string& what) {
  std::string text;
  char buf[1024];
  while (text.find(what) == std::string::npos) {
    pollfd p{fd, POLLIN, 0};
    const ssize_t n = poll(&p, 1, 60000) > 0 ? read(fd, buf, sizeof buf) : -1;
    if (n <= 0) {
      ADD_FAILURE() << "no \"" << what << "\" in \"" << text << "\"";
      break;
    }
    text.append(buf, size_t(n));
  }
  return text;
}

// "net tcpport" moves the raw TCP server: the service loop restarts it, a client reaches it on
// the new port and is answered there.
TEST_F(SystemCommands, TcpPortChangeRestartsTheServerOnTheNewPort) {
  g_unit.config.front_lcd = 0;
  g_power.backlight_countdown = 0;
  g_unit.config.tcpport = FreePort();
  g_port_restarts.tcp = true;
  ServiceLoopPass();
  ASSERT_TRUE(g_control_servers.tcp.running());
  const uint16_t moved = FreePort();
  const std::string line = "net tcpport " + std::to_string(moved) + "\r";
  EXPECT_EQ(Run(line), "[SUCCESS]Set TCP/IP port:" + std::to_string(moved) + ".\r\n");
  EXPECT_EQ(Saved().tcpport, moved);
  ServiceLoopPass();
  EXPECT_EQ(g_control_servers.tcp.BoundPort(), moved);
  int client = Connect(moved);
  ASSERT_GE(client, 0);
  // The raw port greets nobody: the command goes out at once.
  const std::string command = "uptime\r\n";
  ASSERT_EQ(write(client, command.data(), command.size()), ssize_t(command.size()));
  EXPECT_NE(ReadUntil(client, "The uptime of the system is ").find("The uptime"),
            std::string::npos);
  close(client);
  g_control_servers.tcp.Stop();
}

}  // namespace
