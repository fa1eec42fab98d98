#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "devctl/app/service_loop.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/front_leds.h"
#include "devctl/devices/lcd.h"
#include "devctl/hardware/power_state.h"
#include "devctl/text/control_ports.h"
#include "devctl/text/control_servers.h"
#include "socket_client.h"
#include "tests/support/sim_unit.h"

namespace {

class ServiceLoop : public testsupport::SimUnitFixture {
 protected:
  ServiceLoop() : SimUnitFixture(Panel()) {}
  void SetUp() override {
    SimUnitFixture::SetUp();
    LcdInit();
    InitFrontLeds();
    Quiet();
  }
  void TearDown() override {
    g_control_servers.tcp.Stop();
    g_control_servers.telnet.Stop();
    g_control_servers.uart.Stop();
    g_power.backlight_countdown = -1;
    SimUnitFixture::TearDown();
  }
  void Quiet() {
    fs().ClearHistory();
    leds().ClearFrames();
  }
  // What the pass did to the panel.
  enum Effect { kNothing, kLitOn, kLedsAllOff, kDarkPowerOnly, kDarkNone };
  Effect Seen() {
    auto backlight = fs().History(kGpioLcdBacklight);
    auto frames = leds().Frames();
    uint8_t led0 = leds().Memory()[0];
    if (backlight.empty() && frames.empty()) return kNothing;
    if (!backlight.empty() && backlight.back().level == 1 && led0 == 3) return kLitOn;
    if (backlight.empty() && led0 == 4) return kLedsAllOff;
    if (!backlight.empty() && backlight.back().level == 0)
      return led0 == 0 ? kDarkNone : kDarkPowerOnly;
    return Effect(-1);
  }
};

TEST_F(ServiceLoop, BacklightAndLedsFollowTheLcdMode) {
  struct Case {
    int front_lcd, countdown, power, powerled;
    int countdown_after;
    Effect effect;
  } cases[] = {
      {1, -1, 1, 0, 1, kLitOn},         {1, 0, 1, 1, 1, kLitOn},
      {1, 5, 0, 0, 1, kLedsAllOff},     {1, 1, 1, 0, 1, kNothing},
      {0, -1, 1, 0, 0, kDarkPowerOnly}, {0, 5, 1, 1, 0, kDarkNone},
      {0, 1, 0, 0, 0, kDarkPowerOnly},  {0, 0, 1, 0, 0, kNothing},
      {3, 5, 1, 0, 4, kNothing},        {3, 1, 1, 0, 0, kNothing},
      {3, 0, 1, 0, -1, kDarkPowerOnly}, {3, 0, 1, 1, -1, kDarkNone},
      {3, -1, 1, 0, -1, kNothing},      {7, 0, 0, 0, -1, kDarkPowerOnly},
      {7, 5, 1, 0, 4, kNothing},
  };
  for (const Case& c : cases) {
    g_unit.config.front_lcd = c.front_lcd;
    g_unit.config.power = c.power;
    g_unit.config.powerled = c.powerled;
    g_power.backlight_countdown = c.countdown;
    LedShowAll(1);  // something that a dark panel would change
    LcdSetBacklight(1);
    Quiet();
    ServiceLoopPass();
    std::string what = "mode " + std::to_string(c.front_lcd) + " countdown " +
                       std::to_string(c.countdown) + " power " + std::to_string(c.power) +
                       " powerled " + std::to_string(c.powerled);
    EXPECT_EQ(g_power.backlight_countdown, c.countdown_after) << what;
    EXPECT_EQ(Seen(), c.effect) << what;
  }
}

TEST_F(ServiceLoop, TimedModeDarkensAfterItsPassesAndThenStaysQuiet) {
  g_unit.config.front_lcd = 3;
  g_unit.config.power = 1;
  g_power.backlight_countdown = 60;
  for (int pass = 1; pass <= 60; ++pass) ServiceLoopPass();
  EXPECT_EQ(Seen(), kNothing);
  EXPECT_EQ(g_power.backlight_countdown, 0);
  ServiceLoopPass();
  EXPECT_EQ(Seen(), kDarkPowerOnly);
  Quiet();
  for (int pass = 0; pass < 10; ++pass) ServiceLoopPass();
  EXPECT_EQ(g_power.backlight_countdown, -1);
  EXPECT_EQ(Seen(), kNothing);
}

TEST_F(ServiceLoop, RestartRequestsMoveOrStopTheServers) {
  g_unit.config.front_lcd = 0;  // keep the panel out of it
  g_power.backlight_countdown = 0;
  g_unit.config.tcpportenable = 1;
  g_unit.config.tcpport = 0;  // any free port: a restart shows as a new port
  g_unit.config.telnet_enable = 1;
  g_unit.config.telnetport = 0;
  g_port_restarts.tcp = true;
  g_port_restarts.telnet = true;
  ServiceLoopPass();
  ASSERT_TRUE(g_control_servers.tcp.running());
  ASSERT_TRUE(g_control_servers.telnet.running());
  uint16_t port = g_control_servers.tcp.BoundPort();
  int client = testclient::Connect(port);
  EXPECT_GE(client, 0);
  close(client);

  // Several requests before a pass give one restart; a pass without a request changes nothing.
  g_port_restarts.tcp = true;
  g_port_restarts.tcp = true;
  ServiceLoopPass();
  EXPECT_FALSE(g_port_restarts.tcp);
  uint16_t restarted = g_control_servers.tcp.BoundPort();
  ServiceLoopPass();
  EXPECT_EQ(g_control_servers.tcp.BoundPort(), restarted);
  EXPECT_TRUE(g_control_servers.tcp.running());

  g_unit.config.telnet_enable = 0;
  g_port_restarts.telnet = true;
  ServiceLoopPass();
  EXPECT_FALSE(g_control_servers.telnet.running());
  EXPECT_TRUE(g_control_servers.tcp.running());
}

TEST_F(ServiceLoop, UartRestartReopensThePortAtTheNewRate) {
  int master = -1, slave = -1;
  char name[128] = {};
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  ASSERT_EQ(symlink(name, platform::Path("/dev/ttyS6").c_str()), 0);
  g_unit.config.front_lcd = 0;
  g_power.backlight_countdown = 0;
  g_unit.config.baudrate = 2;
  g_port_restarts.uart = true;
  ServiceLoopPass();
  EXPECT_FALSE(g_port_restarts.uart);
  EXPECT_TRUE(g_control_servers.uart.running());
  termios t{};
  ASSERT_EQ(tcgetattr(slave, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
  g_control_servers.uart.Stop();
  close(slave);
  close(master);
}

}  // namespace
