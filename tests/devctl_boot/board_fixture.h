// A fresh simulated board with its front panel, a fake clock and a temporary unit folder.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "devctl/hardware/gpio.h"
#include "platform/clock.h"
#include "platform/sim_i2c.h"
#include "platform/sim_sysfs.h"
#include "sim/board/board.h"
#include "sim/board/front_panel.h"
#include "unit_root.h"

class BoardTest : public UnitRoot {
 protected:
  void SetUp() override {
    UnitRoot::SetUp();
    platform::SetClock(&clock_);
    platform::sim_i2c().ClearFaults();
    platform::sim_i2c().ClearTransfers();
    GpioCloseAll();
    platform::sim_sysfs().Reset();
    board_ = std::make_unique<sim::Board>();
    panel_ = std::make_unique<sim::FrontPanel>(*board_);
  }
  void TearDown() override {
    panel_.reset();
    board_.reset();
    GpioCloseAll();
    platform::sim_sysfs().Reset();
    platform::SetClock(nullptr);
    UnitRoot::TearDown();
  }

  sim::Board& board() { return *board_; }
  sim::LcdDecoder& lcd() { return panel_->lcd(); }
  sim::LedDecoder& leds() { return panel_->leds(); }
  platform::SimSysfs& fs() { return platform::sim_sysfs(); }
  // Bytes of every write transfer to one I2C device, in order.
  static std::vector<std::vector<uint8_t>> Writes(unsigned bus, unsigned addr7) {
    std::vector<std::vector<uint8_t>> out;
    for (const auto& t : platform::sim_i2c().Transfers(bus, addr7))
      if (!t.read) out.push_back(t.bytes);
    return out;
  }

  platform::FakeClock clock_;
  std::unique_ptr<sim::Board> board_;
  std::unique_ptr<sim::FrontPanel> panel_;
};
