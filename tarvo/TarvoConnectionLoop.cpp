#include "tarvo/TarvoConnectionLoop.h"

#include <cstdio>

#include "tarvo/TarvoLine.h"
#include "tarvo/TarvoTiming.h"

namespace Tarvo {

namespace {

constexpr unsigned kWatchStepMs = 10;

// After a lost engine: true once the connected area shows signs of life (its period or reset
// count moves while magic is set) within a second; false when it stays still or the loop is
// stopped.
bool areaComesAlive(const Buffers& buffers, const std::atomic<bool>& running) {
  const volatile buffer_header* header = buffers.getHeader();
  if (header == nullptr) return false;
  const uint64_t periodCount = header->period_count;
  const uint32_t resetCount = header->reset_count;
  const uint64_t start = getMonotonicValue();
  while (running.load() && getMonotonicValue() - start <= getMonotonicRate()) {
    if (header->magic != 0 &&
        (header->period_count != periodCount || header->reset_count != resetCount)) {
      return true;
    }
    sleepMs(kWatchStepMs);
  }
  return false;
}

}  // namespace

void runConnectionLoop(const ConnectionLoop& loop) {
  int lastError = 0;
  // The engine was lost and reported; no sign of life since.
  bool lost = false;
  loop.runner.setEndWhenLost(true);
  loop.runner.setActiveChangedFn([&loop](bool active) {
    writeLine(stderr, active ? "Activated" : "Deactivated");
    if (loop.onActiveChanged) loop.onActiveChanged(active);
  });
  while (loop.running.load()) {
    if (lastError == 0 && !lost) writeLine(stderr, "Connecting...");
    int err = loop.buffers.connect(loop.areaName, false);
    if (err != 0) {
      if (err != lastError) {
        lastError = err;
        writeText(stderr, "Error connecting to shared memory: ");
        std::string text = SharedMemory::getErrorMessage(err);
        writeLine(stderr, text);
        writeLine(stderr, "Trying to connect again...");
      }
      if (loop.running.load()) sleepMs(loop.retryPauseMs);
      continue;
    }
    lastError = 0;
    if (lost) {
      if (!areaComesAlive(loop.buffers, loop.running)) {
        loop.buffers.disconnect();
        continue;
      }
      lost = false;
    }
    writeLine(stderr, "Connected");
    if (loop.afterConnected) loop.afterConnected();
    int result = loop.runner.run(loop.running, loop.work, loop.reset);
    const bool idle = result != 0 || !loop.runner.calledBackInLastRun();
    if (loop.runner.lostEngineInLastRun()) {
      writeLine(stderr, kEngineLostLine);
      lost = true;
    }
    if (loop.afterRun) loop.afterRun();
    writeLine(stderr, "Disconnecting...");
    loop.buffers.disconnect();
    writeLine(stderr, "Disconnected");
    unsigned pause = loop.pauseAfterRunMs;
    if (idle && pause < kIdleReconnectPauseMs) pause = kIdleReconnectPauseMs;
    if (pause > 0 && loop.running.load()) sleepMs(pause);
  }
  loop.runner.setActiveChangedFn(nullptr);
  loop.runner.setEndWhenLost(false);
}

}  // namespace Tarvo
