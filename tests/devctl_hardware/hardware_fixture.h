// A fresh simulated board, a fake clock and a temporary root for each test.
#pragma once

#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "devctl/hardware/gpio.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/sim_i2c.h"
#include "platform/sim_sysfs.h"
#include "sim/board/board.h"

class HardwareTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/devctl_hw.XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    root_ = templ;
    platform::SetRoot(root_);
    platform::SetClock(&clock_);
    platform::sim_i2c().ClearFaults();
    platform::sim_i2c().ClearTransfers();
    GpioCloseAll();  // descriptors of an earlier test's sysfs
    platform::sim_sysfs().Reset();
    board_ = std::make_unique<sim::Board>();
  }
  void TearDown() override {
    board_.reset();
    GpioCloseAll();
    platform::sim_i2c().ClearFaults();
    platform::SetClock(nullptr);
    platform::SetRoot("");
    std::string cmd = "rm -rf '" + root_ + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }

  platform::SimI2cBus& bus() { return platform::sim_i2c(); }
  // Every transfer lingers for a few microseconds, which widens the window between the transfers
  // of one operation. It spins rather than yields or sleeps: on a busy machine a yield or a
  // sleep waits out other programs' time slices, while a spin costs only its own few
  // microseconds (and the scheduler still preempts the threads at any point).
  void PauseInEveryTransfer() {
    bus().SetTransferHook([] {
      const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(3);
      while (std::chrono::steady_clock::now() < until) {
      }
    });
  }
  platform::SimSysfs& fs() { return platform::sim_sysfs(); }
  sim::Board& board() { return *board_; }

  // Bytes of every write transfer to one device, in order.
  std::vector<std::vector<uint8_t>> Writes(unsigned busno, unsigned addr7) {
    std::vector<std::vector<uint8_t>> out;
    for (const auto& t : bus().Transfers(busno, addr7)) {
      if (!t.read) out.push_back(t.bytes);
    }
    return out;
  }

  std::string root_;
  platform::FakeClock clock_;
  std::unique_ptr<sim::Board> board_;
};

using Bytes = std::vector<uint8_t>;
