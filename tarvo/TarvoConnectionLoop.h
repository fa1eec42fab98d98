// Connect, run the period loop, disconnect, over and over until the running flag is cleared:
// the outer loop of every tool and of the ALSA plug-in's worker.
//
// Lines on stderr, in this order: "Connecting..." (only after a success or at the start);
// on a failed connect, once per change of the error code, "Error connecting to shared memory: "
// followed on the same line by "ERROR is <n>", then the error's text, then "Trying to connect
// again..."; after a failed connect the loop sleeps retryPauseMs (a signal cuts it short). On
// success: "Connected", the afterConnected hook, the period loop (with "Activated" and
// "Deactivated" as activity changes), the afterRun hook, "Disconnecting...", "Disconnected",
// then pauseAfterRunMs, or at least kIdleReconnectPauseMs when the period loop failed or called
// neither callback (an area left closed would otherwise be reconnected in a tight loop).
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "tarvo/TarvoBuffers.h"
#include "tarvo/TarvoRunner.h"

namespace Tarvo {

constexpr unsigned kIdleReconnectPauseMs = 100;

struct ConnectionLoop {
  ConnectionLoop(Buffers& b, Runner& r, std::string name, std::atomic<bool>& run)
      : buffers(b), runner(r), areaName(std::move(name)), running(run) {}

  Buffers& buffers;
  Runner& runner;
  std::string areaName;
  std::atomic<bool>& running;
  std::function<void(unsigned)> work;
  std::function<void()> reset;
  std::function<void()> afterConnected;       // optional
  std::function<void()> afterRun;             // optional, before "Disconnecting..."
  std::function<void(bool)> onActiveChanged;  // optional, after the "Activated" line
  unsigned retryPauseMs = 1000;
  unsigned pauseAfterRunMs = 0;
};

// Runs the loop until loop.running is false at the top of a pass.
void runConnectionLoop(const ConnectionLoop& loop);

}  // namespace Tarvo
