#include "devctl/core/config_lock.h"

#include <time.h>

#include <cstdio>
#include <vector>

#include "platform/paths.h"

std::recursive_mutex g_config_mutex;
std::atomic<uint64_t> g_config_generation{1};

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

std::atomic<bool> g_enabled{false};

void Acquired() {
  if (t_depth++ == 0) t_start_ns = NowNs();
}

void Released() {
  if (t_depth == 0 || --t_depth != 0) return;
  const Hold hold{t_start_ns, NowNs() - t_start_ns};
  std::lock_guard<std::mutex> lock(g_holds_mutex);
  if (g_pending.size() < kMaxPending) g_pending.push_back(hold);
}

}  // namespace config_lock_timing

void SetConfigLockTiming(bool on) { config_lock_timing::g_enabled = on; }

bool ConfigLockTimingEnabled() { return config_lock_timing::On(); }

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
