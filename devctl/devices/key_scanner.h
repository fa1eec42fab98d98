// The two GPIO buttons, scanned every 10 ms on the "keythread" thread: the reset key (held 2 s,
// held 4 s, released) and the USB-select button. Also keeps the heartbeat line toggling.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <thread>

enum reset_key_long {
  RESET_KEY_LONG_RELEASED = 0,
  RESET_KEY_LONG_HELD_2S = 1,
  RESET_KEY_LONG_HELD_4S = 2,
};

// What the scan keeps between ticks.
struct KeyScanState {
  int ticks = 0;
  uint8_t heartbeat = 0;
  bool usb_down = false;
  int64_t usb_down_ms = 0;
  bool reset_armed = false;
  int reset_count = 0;
  int reset_reported = RESET_KEY_LONG_RELEASED;
};

class CKey {
 public:
  // Opens the reset key, the two USB detect lines and the USB button as inputs.
  explicit CKey(std::string name);
  ~CKey();
  CKey(const CKey&) = delete;
  CKey& operator=(const CKey&) = delete;

  // Starts the scan thread, named after the object. 0.
  int Start();
  // Ends the scan and joins the thread.
  void Stop();
  // One 10 ms tick of the scan.
  void Tick(KeyScanState* state);

  std::function<void(reset_key_long)> on_reset_key;
  std::function<void()> on_usb_button;

 private:
  void Run();

  volatile uint8_t running_ = 0;
  std::thread* thread_ = nullptr;
  std::string name_;
};
