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
#include <string>

extern std::recursive_mutex g_config_mutex;
extern std::atomic<uint64_t> g_config_generation;

// The generation of the records; stable while the caller holds either lock.
inline uint64_t ConfigGeneration() { return g_config_generation.load(); }

// How long the lock is held, for the benchmarks: each outermost hold of a thread, recorded only
// after EnableConfigLockTiming. While it is off a lock costs one relaxed load more.
namespace config_lock_timing {
extern std::atomic<bool> g_enabled;
void Acquired();  // the lock was just taken
void Released();  // the lock is about to be released
inline bool On() { return g_enabled.load(std::memory_order_relaxed); }
}  // namespace config_lock_timing

// Starts or stops recording the holds (switch it while no thread holds the lock: a hold that
// began before is not recorded).
void SetConfigLockTiming(bool on);
bool ConfigLockTimingEnabled();
// Appends the holds recorded since the last call to the file at path (a unit path), one line
// "START_NS HELD_NS" each, START_NS on CLOCK_MONOTONIC. False when the file cannot be written.
bool AppendConfigLockHolds(const std::string& path);

// Holds the configuration lock for the scope: `ConfigLock lock;`
class ConfigLock {
 public:
  ConfigLock() : guard_(g_config_mutex) {
    if (config_lock_timing::On()) config_lock_timing::Acquired();
  }
  ~ConfigLock() {
    g_config_generation.fetch_add(1);  // before the lock is released
    if (config_lock_timing::On()) config_lock_timing::Released();
  }
  ConfigLock(const ConfigLock&) = delete;
  ConfigLock& operator=(const ConfigLock&) = delete;

 private:
  std::lock_guard<std::recursive_mutex> guard_;
};

// The same lock for code that changes nothing it guards.
class ConfigReadLock {
 public:
  ConfigReadLock() : guard_(g_config_mutex) {
    if (config_lock_timing::On()) config_lock_timing::Acquired();
  }
  ~ConfigReadLock() {
    if (config_lock_timing::On()) config_lock_timing::Released();
  }
  ConfigReadLock(const ConfigReadLock&) = delete;
  ConfigReadLock& operator=(const ConfigReadLock&) = delete;

 private:
  std::lock_guard<std::recursive_mutex> guard_;
};
