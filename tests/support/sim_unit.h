// The simulated unit every devctl test starts from: a private unit root, a fake clock, the
// simulated board with its I2C devices (and, when asked for, its front panel), a fresh process
// state, the factory configuration (unit on, saved to "/oem/app.json") and the notices of core and
// hardware captured. Decoders of the hardware writes, a count of saves and the unit's files (Read,
// Write, Exists of UnitRootFixture) come with it. Tests of text and web commands derive from
// TextCommandFixture (tests/support/text_commands.h) or WebCommandFixture
// (tests/support/web_commands.h), which add the way in of their commands.
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

// The bytes of one bus transfer.
using Bytes = std::vector<uint8_t>;

// One equaliser section as the DSPs received it.
struct Biquad {
  int side;     // 0 input, 1 output
  int channel;  // 0-13
  int band;     // 0-7
  std::vector<uint32_t> words;
  std::string Where() const;  // "in 3 band 1"
};

class SimUnitFixture : public UnitRootFixture {
 protected:
  // What a fixture derived from this one wants; set in its constructor.
  struct Options {
    bool front_panel = false;     // the LCD and LED decoders of the front panel
    bool factory_config = true;   // g_unit.config at its defaults, power on, g_unit.config_path set
    bool capture_notices = true;  // SendNotice and SendNetworkNotice collected in notices()
    bool system_lines = false;    // the LCD, front LED, power and phantom supply lines opened
                                  // (and the pending network edit set to the configuration)
  };
  // No configuration set: the driver tests and those that load their own.
  static Options Drivers() {
    Options o;
    o.factory_config = false;
    return o;
  }
  // The front panel on the board and no configuration: the start-up and panel tests.
  static Options Panel() {
    Options o;
    o.front_panel = true;
    o.factory_config = false;
    return o;
  }
  // The factory configuration with the lines the system and preset commands drive.
  static Options SystemLines() {
    Options o;
    o.system_lines = true;
    return o;
  }
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
  // Everything SendNotice and SendNetworkNotice sent since SetUp or ClearNotices, in order.
  std::string notices();
  void ClearNotices();
  // Occurrences of what in text.
  static int Count(const std::string& text, const std::string& what);

  // Bytes of every write transfer to one I2C device, in order.
  static std::vector<std::vector<uint8_t>> Writes(unsigned bus, unsigned addr7);
  // The DSP input writes and expander range writes in order: "mute/unmute 2", "gain 2",
  // "range 18=xx", and "wait" where 10 ms or more passed between two writes.
  std::vector<std::string> HardwareLog();
  // The DSP writes as the output and input changes they carry, in order: "vol 3=50" (percent),
  // "mute 3" / "unmute 3", "delay 3=960" (samples), "src 3=5" (the DSP's source code), "gain 3",
  // "inmute 3" / "inunmute 3", "eq" (any other cell, e.g. one biquad), "range" (an expander gain
  // range write) and "wait" (a pause of 10 ms or more).
  static std::vector<std::string> DspLog();
  // Every completed biquad safeload, in the order the bus carried them.
  static std::vector<Biquad> Biquads();

  // The DSP's own view of channel c: the DSP that holds it, a cell of it, and the cells of its
  // input and output.
  sim::SimDsp& DspOf(int c);
  uint32_t DspWord(uint32_t cell, int c) { return DspOf(c).Word(uint16_t(cell)); }
  bool DspMuted(int c);  // input c
  uint32_t DspGainWord(int c);
  uint32_t VolumeCell(int c);
  bool OutputMutedCell(int c);
  uint32_t DelayCell(int c);
  uint32_t SourceCell(int c);

  // An equaliser memory of one channel slot of the live configuration.
  static peq_data_s& Mem(int side, int m, int s);
  // The stereo links of every channel slot of one side undone, so that a change reaches only the
  // channel it names.
  static void Unlock(int side);
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
