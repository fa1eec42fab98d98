// The simulated board of BoardTest with what the preset and system command tests look at: the
// unit folder's files, the notices sent to the control ports, and the DSP cells.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "devctl/core/config_file.h"
#include "devctl/core/unit_state.h"
#include "devctl/core/notices.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/front_leds.h"
#include "devctl/devices/gpio.h"
#include "devctl/devices/lcd.h"
#include "devctl/hardware/phantom_power.h"
#include "platform/paths.h"
#include "tests/devctl_web/board_fixture.h"

class SimUnitFixture : public webtest::BoardTest {
 protected:
  void SetUp() override {
    BoardTest::SetUp();
    for (const char* dir : {"/oem", "/etc", "/tmp", "/dev", "/usr/local/backend/apps"})
      std::filesystem::create_directories(platform::Path(dir));
    // The lines the panel, the power worker and the phantom supplies drive.
    LcdInit();
    InitFrontLeds();
    InitPowerGpios();
    InitPhantomPower();
    platform::sim_i2c().ClearTransfers();
    g_unit.pending = g_unit.config;
    notices_.clear();
    SetNoticeSink([this](const std::string& text) { notices_ += text; });
  }
  void TearDown() override {
    SetNoticeSink(nullptr);
    UnfreezeConfigSaves();
    GpioCloseAll();
    BoardTest::TearDown();
  }

  // Everything sent to the control ports outside command replies since the last clear.
  std::string& Notices() { return notices_; }

  static std::string Read(const std::string& unit_path) {
    std::ifstream in(platform::Path(unit_path), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static void Write(const std::string& unit_path, const std::string& data) {
    std::string path = platform::Path(unit_path);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
  }
  static bool Exists(const std::string& unit_path) {
    struct stat st;
    return stat(platform::Path(unit_path).c_str(), &st) == 0;
  }
  // The configuration as stored in the file.
  // A cell of the DSP that holds channel c (0-13).
  uint32_t DspWord(uint32_t cell, int c) {
    sim::SimDsp& dsp = (c >= 4 && c < 12) ? board_->dsp_b() : board_->dsp_a();
    return dsp.Word(uint16_t(cell));
  }

 private:
  std::string notices_;
};
