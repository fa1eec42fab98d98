#include "tarvo/TarvoConnectionLoop.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "tarvo/TarvoLine.h"
#include "tarvo/TarvoTiming.h"

namespace Tarvo {

namespace {

constexpr unsigned kWatchStepMs = 10;
constexpr unsigned kPauseStepMs = 20;

// Sleeps ms milliseconds, or less once `running` is cleared (or a signal cuts a step short
// and the flag is then clear).
void pauseWhileRunning(const std::atomic<bool>& running, unsigned ms) {
  for (unsigned slept = 0; slept < ms && running.load(); slept += kPauseStepMs) {
    sleepMs(std::min(kPauseStepMs, ms - slept));
  }
}

// After a lost engine: true once the connected area shows signs of life within a second: its
// period or reset count moves while magic is set and the reset count is even (an engine stuck
// mid-reconfiguration may go on counting periods, but no client can run on it); false when it
// stays still or stuck, or the loop is stopped.
bool areaComesAlive(const Buffers& buffers, const std::atomic<bool>& running) {
  const volatile buffer_header* header = buffers.getHeader();
  if (header == nullptr) return false;
  const uint64_t periodCount = header->period_count;
  const uint32_t resetCount = header->reset_count;
  const uint64_t start = getMonotonicValue();
  while (running.load() && getMonotonicValue() - start <= getMonotonicRate()) {
    const uint32_t resetNow = header->reset_count;
    if (header->magic != 0 && (resetNow & 1u) == 0 &&
        (header->period_count != periodCount || resetNow != resetCount)) {
      return true;
    }
    sleepMs(kWatchStepMs);
  }
  return false;
}

// Whether a period loop on the connected area could run: open, on a layout that fits (or mid-
// reconfiguration, which the period loop waits out), with a timing object that opens; after a
// lost engine also alive again.
bool areaUsable(Buffers& buffers, bool lost, const std::atomic<bool>& running) {
  if (lost && !areaComesAlive(buffers, running)) return false;
  const volatile buffer_header* header = buffers.getHeader();
  if (header == nullptr || header->magic == 0) return false;
  if ((header->reset_count & 1u) == 0) {
    std::atomic_thread_fence(std::memory_order_acquire);
    if (!buffers.refresh()) return false;
  }
  Timing timing;
  const int err = timing.open(buffers.getTimingObjectSubheader(), buffers.isGlobalNamespace(),
                              buffers.getTimingObjectNameCapacity());
  timing.close();
  return err == 0;
}

// Why a period loop that was not asked to stop ended on an area that is still mapped: the
// engine closed it, or settled on a layout no client can move audio through; "" otherwise
// (a lost engine has its own line; a changed timing object is found at the next connect).
std::string areaWentLine(Buffers& buffers) {
  const volatile buffer_header* header = buffers.getHeader();
  if (header == nullptr) return "";
  if (header->magic == 0) return kAreaClosedLine;
  if ((header->reset_count & 1u) != 0) return "";
  if (header->samplerate == 0) return std::string(kUnusableLayoutLine) + "sample rate 0";
  if (header->samples_per_period == 0) {
    return std::string(kUnusableLayoutLine) + "samples per period 0";
  }
  if (header->samples_per_channel == 0) return std::string(kUnusableLayoutLine) + "ring length 0";
  if (header->samples_per_period > header->samples_per_channel) {
    return std::string(kUnusableLayoutLine) + "period longer than the ring";
  }
  std::atomic_thread_fence(std::memory_order_acquire);
  if (!buffers.refresh()) return std::string(kUnusableLayoutLine) + "rings outside the area";
  return "";
}

}  // namespace

void runConnectionLoop(const ConnectionLoop& loop) {
  int lastError = 0;
  // The area went and that was said; the loop looks for it quietly until it is usable again.
  bool quiet = false;
  // It went because its engine was lost; no sign of life since.
  bool lost = false;
  loop.runner.setEndWhenLost(true);
  loop.runner.setActiveChangedFn([&loop](bool active) {
    writeLine(stderr, active ? "Activated" : "Deactivated");
    if (loop.onActiveChanged) loop.onActiveChanged(active);
  });
  while (loop.running.load()) {
    if (lastError == 0 && !quiet) writeLine(stderr, "Connecting...");
    int err = loop.buffers.connect(loop.areaName, false);
    if (err != 0) {
      if (err != lastError) {
        lastError = err;
        writeText(stderr, "Error connecting to shared memory: ");
        std::string text = SharedMemory::getErrorMessage(err);
        writeLine(stderr, text);
        writeLine(stderr, "Trying to connect again...");
      }
      pauseWhileRunning(loop.running, loop.retryPauseMs);
      continue;
    }
    lastError = 0;
    if (quiet) {
      if (!areaUsable(loop.buffers, lost, loop.running)) {
        loop.buffers.disconnect();
        if (!lost) pauseWhileRunning(loop.running, kQuietRetryMs);
        continue;
      }
      quiet = false;
      lost = false;
    }
    writeLine(stderr, "Connected");
    if (loop.afterConnected) loop.afterConnected();
    loop.runner.run(loop.running, loop.work, loop.reset);
    if (loop.runner.lostEngineInLastRun()) {
      writeLine(stderr, kEngineLostLine);
      lost = true;
    } else if (loop.running.load()) {
      const std::string why = areaWentLine(loop.buffers);
      if (!why.empty()) writeLine(stderr, why);
    }
    // Only a stop request ends a period loop on an area that is still there.
    quiet = loop.running.load();
    if (loop.afterRun) loop.afterRun();
    writeLine(stderr, "Disconnecting...");
    loop.buffers.disconnect();
    writeLine(stderr, "Disconnected");
    pauseWhileRunning(loop.running, loop.pauseAfterRunMs);
  }
  loop.runner.setActiveChangedFn(nullptr);
  loop.runner.setEndWhenLost(false);
}

}  // namespace Tarvo
