// The simulated unit every devctl test starts from: a private unit root, a fake clock, the
// simulated board with its I2C devices (and, when asked for, its front panel), a fresh process
// state, the factory configuration (unit on, saved to "/oem/app.json") and the notices of core and
// hardware captured. Decoders of the hardware writes and a count of saves come with it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "devctl/core/app_config.h"
#include "platform/clock.h"
#include "platform/sim_i2c.h"
#include "platform/sim_sysfs.h"
#include "sim/board/board.h"
#include "sim/board/front_panel.h"
#include "tests/support/process_state.h"
#include "tests/support/unit_root.h"

namespace testsupport {

class SimUnitFixture : public UnitRootFixture {
 protected:
  // What a fixture derived from this one wants; set in its constructor.
  struct Options {
    bool front_panel = false;     // the LCD and LED decoders of the front panel
    bool factory_config = true;   // g_unit.config at its defaults, power on, g_unit.config_path set
    bool capture_notices = true;  // SendNotice and SendNetworkNotice collected in notices()
  };
  SimUnitFixture() = default;
  explicit SimUnitFixture(const Options& options) : options_(options) {}

  void SetUp() override;
  void TearDown() override;

  sim::Board& board() { return *board_; }
  sim::LcdDecoder& lcd() { return panel_->lcd(); }
  sim::LedDecoder& leds() { return panel_->leds(); }
  platform::SimSysfs& fs() { return platform::sim_sysfs(); }
  platform::SimI2cBus& bus() { return platform::sim_i2c(); }

  // Saves of the configuration since SetUp (each save ends with one counted sync).
  long Saves() const;
  // The configuration as a restart would load it from /oem/app.json.
  static app_config_s Saved(const std::string& mac = "02:00:00:00:00:01");
  // Everything SendNotice and SendNetworkNotice sent since SetUp, in order.
  std::string notices();

  // Bytes of every write transfer to one I2C device, in order.
  static std::vector<std::vector<uint8_t>> Writes(unsigned bus, unsigned addr7);
  // The DSP input writes and expander range writes in order: "mute/unmute 2", "gain 2",
  // "range 18=xx", and "wait" where 10 ms or more passed between two writes.
  std::vector<std::string> HardwareLog();
  // The DSP's own view of input c.
  bool DspMuted(int c);
  uint32_t DspGainWord(int c);
  // Every I2C transfer lingers a few microseconds (spinning), which widens the windows between
  // the transfers of one operation for the concurrency tests.
  void PauseInEveryTransfer();

  Options options_;
  platform::FakeClock clock_;
  std::unique_ptr<sim::Board> board_;
  std::unique_ptr<sim::FrontPanel> panel_;
  long syncs_before_ = 0;

 private:
  std::mutex notices_mutex_;
  std::string notices_;
};

}  // namespace testsupport
