// The one configuration lock of the process. Every read-modify-save of the live record, the
// pending network record or the network status record holds it; it is recursive so a command can
// call helpers that take it again. Device locks (I2C, DSP safeload, LCD, UART, ...) are inner
// locks: never take this lock while holding one of them.
#pragma once

#include <mutex>

extern std::recursive_mutex g_config_mutex;

// Holds the configuration lock for the scope: `ConfigLock lock;`
class ConfigLock {
 public:
  ConfigLock() : guard_(g_config_mutex) {}
  ConfigLock(const ConfigLock&) = delete;
  ConfigLock& operator=(const ConfigLock&) = delete;

 private:
  std::lock_guard<std::recursive_mutex> guard_;
};
