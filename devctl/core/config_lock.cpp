#include "devctl/core/config_lock.h"

#include <time.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <vector>

#include "platform/paths.h"

namespace {

std::recursive_mutex g_config_mutex;
std::atomic<uint64_t> g_config_generation{1};
std::atomic<bool> g_timing_on{false};

bool TimingOn() { return g_timing_on.load(std::memory_order_relaxed); }

}  // namespace

namespace config_lock_timing {
namespace {

struct Hold {
  uint64_t start_ns;
  uint64_t held_ns;
};

// Holds not yet appended to the file; a bench run records a few thousand.
constexpr size_t kMaxPending = 1 << 20;
std::mutex g_holds_mutex;  // inner to the configuration lock
std::vector<Hold> g_pending;

thread_local int t_depth = 0;
thread_local uint64_t t_start_ns = 0;

uint64_t NowNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return uint64_t(t.tv_sec) * 1000000000u + uint64_t(t.tv_nsec);
}

}  // namespace

// The lock was just taken.
void Acquired() {
  if (t_depth++ == 0) t_start_ns = NowNs();
}

// The lock is about to be released.
void Released() {
  if (t_depth == 0 || --t_depth != 0) return;
  const Hold hold{t_start_ns, NowNs() - t_start_ns};
  std::lock_guard<std::mutex> lock(g_holds_mutex);
  if (g_pending.size() < kMaxPending) g_pending.push_back(hold);
}

}  // namespace config_lock_timing

ConfigLock::ConfigLock() {
  g_config_mutex.lock();
  if (TimingOn()) config_lock_timing::Acquired();
}

ConfigLock::~ConfigLock() {
  g_config_generation.fetch_add(1);  // before the lock is released
  if (TimingOn()) config_lock_timing::Released();
  g_config_mutex.unlock();
}

ConfigReadLock::ConfigReadLock() {
  g_config_mutex.lock();
  if (TimingOn()) config_lock_timing::Acquired();
}

ConfigReadLock::~ConfigReadLock() {
  if (TimingOn()) config_lock_timing::Released();
  g_config_mutex.unlock();
}

uint64_t ConfigGeneration() { return g_config_generation.load(); }

void CountConfigChange() { g_config_generation.fetch_add(1); }

bool ConfigLockFree() {
  if (!g_config_mutex.try_lock()) return false;
  g_config_mutex.unlock();
  return true;
}

void SetConfigLockTiming(bool on) { g_timing_on = on; }

bool ConfigLockTimingEnabled() { return TimingOn(); }

bool AppendConfigLockHolds(const std::string& path) {
  std::vector<config_lock_timing::Hold> holds;
  {
    std::lock_guard<std::mutex> lock(config_lock_timing::g_holds_mutex);
    holds.swap(config_lock_timing::g_pending);
  }
  std::FILE* file = std::fopen(platform::Path(path).c_str(), "a");
  if (!file) return false;
  for (const auto& h : holds) {
    std::fprintf(file, "%llu %llu\n", static_cast<unsigned long long>(h.start_ns),
                 static_cast<unsigned long long>(h.held_ns));
  }
  return std::fclose(file) == 0;
}
