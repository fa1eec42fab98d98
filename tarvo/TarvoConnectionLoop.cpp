#include "tarvo/TarvoConnectionLoop.h"

#include <cstdio>

#include "tarvo/TarvoLine.h"
#include "tarvo/TarvoTiming.h"

namespace Tarvo {

void runConnectionLoop(const ConnectionLoop& loop) {
  int lastError = 0;
  loop.runner.setActiveChangedFn([&loop](bool active) {
    writeLine(stderr, active ? "Activated" : "Deactivated");
    if (loop.onActiveChanged) loop.onActiveChanged(active);
  });
  while (loop.running.load()) {
    if (lastError == 0) writeLine(stderr, "Connecting...");
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
    writeLine(stderr, "Connected");
    if (loop.afterConnected) loop.afterConnected();
    int result = loop.runner.run(loop.running, loop.work, loop.reset);
    const bool idle = result != 0 || !loop.runner.calledBackInLastRun();
    if (loop.afterRun) loop.afterRun();
    writeLine(stderr, "Disconnecting...");
    loop.buffers.disconnect();
    writeLine(stderr, "Disconnected");
    unsigned pause = loop.pauseAfterRunMs;
    if (idle && pause < kIdleReconnectPauseMs) pause = kIdleReconnectPauseMs;
    if (pause > 0 && loop.running.load()) sleepMs(pause);
  }
  loop.runner.setActiveChangedFn(nullptr);
}

}  // namespace Tarvo
