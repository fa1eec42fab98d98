// GPIO watcher object: watches five input lines on a thread of its own and reports a 0/1 state.
// The program builds one and never starts it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <thread>

class CDsp {
 public:
  // Constructing the object touches no GPIO line and starts no thread.
  CDsp() = default;

  uint8_t running = 0;
  std::thread* thread = nullptr;
  std::string name;
  uint32_t mode = 0;
  bool flag = false;
  std::function<void(int)> on_state;
};
