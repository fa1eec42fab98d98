// The one configuration lock of the process. Every read-modify-save of the live record, the
// pending network record or the network status record holds it; it is recursive so a command can
// call helpers that take it again. Device locks (I2C, DSP safeload, LCD, UART, ...) are inner
// locks: never take this lock while holding one of them.
//
// The configuration generation counts the releases of ConfigLock: every change is made under it,
// so whatever was derived from the records at one generation still holds while the generation is
// the same. Code that only reads takes ConfigReadLock, which leaves the generation alone.
#pragma once

#include <cstdint>
#include <string>

// The generation of the records; stable while the caller holds either lock.
uint64_t ConfigGeneration();
// Counts a change made while holding ConfigReadLock (a refresh that found something new).
void CountConfigChange();
// True when no other thread holds the lock (tests): takes it if it can, and lets it go.
bool ConfigLockFree();

// How long the lock is held, for the benchmarks: each outermost hold of a thread, recorded only
// after SetConfigLockTiming(true). While it is off a lock costs one relaxed load more.
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
  ConfigLock();
  ~ConfigLock();  // counts a generation, then releases
  ConfigLock(const ConfigLock&) = delete;
  ConfigLock& operator=(const ConfigLock&) = delete;
};

// The same lock for code that changes nothing it guards.
class ConfigReadLock {
 public:
  ConfigReadLock();
  ~ConfigReadLock();
  ConfigReadLock(const ConfigReadLock&) = delete;
  ConfigReadLock& operator=(const ConfigReadLock&) = delete;
};
