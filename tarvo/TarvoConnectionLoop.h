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
//
// A lost engine (no period for more than a second while magic stays set: killed, crashed or
// stuck mid-reconfiguration) ends the period loop like a closed area. The loss is reported
// once, as kEngineLostLine after "Deactivated", and the area is released and looked up again
// by name. Until an engine under that name shows signs of life again (its period or reset
// count moves), the reconnections are silent and run no callbacks: each one watches the area
// for up to a second and lets it go again.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "tarvo/TarvoBuffers.h"
#include "tarvo/TarvoRunner.h"

namespace Tarvo {

constexpr unsigned kIdleReconnectPauseMs = 100;
constexpr const char* kEngineLostLine = "Engine lost: no period for more than a second";

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
