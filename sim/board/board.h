// The simulated board: the devices devctl talks to on this machine, attached to the simulated
// I2C buses and sysfs of the platform layer, and a plain-text view of them under <root>/sim/.
//
// Bus 3: DSP A (0x38) and DSP B (0x39). Bus 4: I/O expanders 0x18, 0x19, 0x1B, 0x1F. Bus 5: key
// controller 0x24. GPIO lines and LED class files: platform::sim_sysfs().
//
// One Board at a time: it attaches itself on construction and detaches on destruction. Unit
// tests use the devices' C++ API; scripts/sim and end-to-end tests read the published files and
// write input commands (see sim/board/README.md for both formats).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim_sysfs.h"
#include "sim/board/sim_dsp.h"
#include "sim/board/sim_expander.h"
#include "sim/board/sim_key_controller.h"

namespace sim {

class Board {
 public:
  static constexpr unsigned kDspBus = 3;
  static constexpr unsigned kExpanderBus = 4;
  static constexpr unsigned kKeyBus = 5;
  static constexpr uint8_t kDspA = 0x38;
  static constexpr uint8_t kDspB = 0x39;
  static constexpr uint8_t kKeyController = 0x24;

  Board();
  ~Board();
  Board(const Board&) = delete;
  Board& operator=(const Board&) = delete;

  SimDsp& dsp_a() { return dsp_a_; }
  SimDsp& dsp_b() { return dsp_b_; }
  // nullptr for an address that is not a DSP / expander of the board.
  SimDsp* dsp(uint8_t addr7);
  SimExpander* expander(uint8_t addr7);
  SimKeyController& keys() { return keys_; }
  platform::SimSysfs& sysfs();

  // The level meters of the DSP programs (one word per analogue, network and USB input).
  static const std::vector<std::pair<uint8_t, uint16_t>>& MeterCells();
  // Sets every meter to the given word (0 = silence).
  void SetAllMeters(uint32_t word);

  // Writes the state files under <root>/sim/. Also runs every extra publisher. false when a
  // file could not be written.
  bool Publish();
  // Extra state files (front-panel decoders): called with the resolved <root>/sim folder.
  void AddPublisher(std::function<void(const std::string& dir)> publisher);

  // Applies one input command; false when it is not understood.
  bool ApplyInput(const std::string& line);
  // Takes the command files in <root>/sim/in/ in name order, applies their lines and deletes
  // them. A file whose text does not yet end in a newline is left for the next poll. Returns
  // the number of commands applied.
  int PollInputs();

  // Background service for a running simulated unit: every period, inputs are polled and the
  // state files rewritten when they changed. Stop (or the destructor) ends it. Starting also puts
  // the kernel's routing table at <root>/proc/net/route when there is none (the default route of
  // the simulated eth0, through 192.168.0.1).
  void Start(int period_ms = 100);
  void Stop();

 private:
  bool WriteIfChanged(const std::string& dir, const std::string& name, const std::string& text);
  std::string DspText(const SimDsp& dsp, uint8_t addr7) const;
  std::string ExpanderText() const;
  std::string GpioText() const;
  std::string KeysText() const;
  void Run(int period_ms);
  void WriteRouteTableIfMissing();

  SimDsp dsp_a_{"A"};
  SimDsp dsp_b_{"B"};
  std::vector<std::unique_ptr<SimExpander>> expanders_;
  SimKeyController keys_;

  std::mutex publish_mutex_;
  std::map<std::string, std::string> published_;
  std::vector<std::function<void(const std::string&)>> publishers_;

  std::mutex run_mutex_;
  std::condition_variable run_cv_;
  bool running_ = false;
  std::thread thread_;
};

}  // namespace sim
