// The one configuration lock of the process. Every read-modify-save of the live record, the
// pending network record or the network status record holds it; it is recursive so a command can
// call helpers that take it again. Device locks (I2C, DSP safeload, LCD, UART, ...) are inner
// locks: never take this lock while holding one of them.
//
// The configuration generation counts the releases of ConfigLock: every change is made under it,
// so whatever was derived from the records at one generation still holds while the generation is
// the same. Code that only reads takes ConfigReadLock, which leaves the generation alone.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

extern std::recursive_mutex g_config_mutex;
extern std::atomic<uint64_t> g_config_generation;

// The generation of the records; stable while the caller holds either lock.
inline uint64_t ConfigGeneration() { return g_config_generation.load(); }

// Holds the configuration lock for the scope: `ConfigLock lock;`
class ConfigLock {
 public:
  ConfigLock() : guard_(g_config_mutex) {}
  ~ConfigLock() { g_config_generation.fetch_add(1); }  // before the lock is released
  ConfigLock(const ConfigLock&) = delete;
  ConfigLock& operator=(const ConfigLock&) = delete;

 private:
  std::lock_guard<std::recursive_mutex> guard_;
};

// The same lock for code that changes nothing it guards.
class ConfigReadLock {
 public:
  ConfigReadLock() : guard_(g_config_mutex) {}
  ConfigReadLock(const ConfigReadLock&) = delete;
  ConfigReadLock& operator=(const ConfigReadLock&) = delete;

 private:
  std::lock_guard<std::recursive_mutex> guard_;
};
