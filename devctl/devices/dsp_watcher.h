// GPIO watcher object: watches five input lines on a thread of its own and reports a 0/1 state
// through a callback, with a mode that also drives one output line. The program builds one and
// never initialises or starts it.
//
// Lines: inputs 134, 135, 0, 1 and 32; outputs 33, and 18 and 35 which Init drives high (18 is
// also the LCD bus data line, so Init must not run beside the LCD).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

class CDsp {
 public:
  // Constructing the object touches no GPIO line and starts no thread.
  CDsp() = default;
  // Stops the thread when one is running.
  ~CDsp();
  CDsp(const CDsp&) = delete;
  CDsp& operator=(const CDsp&) = delete;

  // name := name, running := 0; opens the input lines and the output lines (18 and 35 := 1).
  void Init(const std::string& thread_name);
  void SetMode(uint32_t new_mode) { mode = new_mode; }
  void SetFlag(int value) { flag = value != 0; }
  // running := 1 and a thread (named after the first 15 characters of name) runs Run. 0.
  int Start();
  // running := 0, joins and releases the thread. Harmless without Start.
  void Stop();
  // The thread body: Begin, then Pass and 100 ms until running is 0.
  void Run();

  // The thread's first pass: reads the lines once and reports the first state.
  void Begin();
  // One cycle of the loop without its closing 100 ms pause: applies a changed mode to line 33,
  // reads the lines and reports a changed state.
  void Pass();

  std::atomic<uint8_t> running{0};
  std::thread* thread = nullptr;
  std::string name;
  std::atomic<uint32_t> mode{0};
  std::atomic<bool> flag{false};
  std::function<void(int)> on_state;

 private:
  struct Levels {
    int g134, g135, g0, g1, g32;
  };
  static Levels ReadLines();
  void Report(int state);

  int state_ = 0;
  uint32_t applied_mode_ = UINT32_MAX;  // no mode applied yet
};

// The process's one watcher, built on the first call (start-up makes it) and never started.
CDsp& UnitDspWatcher();
