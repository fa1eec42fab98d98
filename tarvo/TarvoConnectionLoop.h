// Connect, run the period loop, disconnect, over and over until the running flag is cleared:
// the outer loop of every tool and of the ALSA plug-in's worker.
//
// Lines on stderr, in this order: "Connecting..." (only at the start and after a success);
// on a failed connect, once per change of the error code, "Error connecting to shared memory: "
// followed on the same line by "ERROR is <n>", then the error's text, then "Trying to connect
// again..."; after a failed connect the loop sleeps retryPauseMs (a signal cuts it short). On
// success: "Connected", the afterConnected hook, the period loop (with "Activated" and
// "Deactivated" as activity changes), the afterRun hook, "Disconnecting...", "Disconnected",
// then pauseAfterRunMs.
//
// A period loop that ends while the loop still runs means the area went: closed (magic 0),
// settled on a layout that cannot carry audio, its timing object gone, or its engine lost (no
// period for more than a second while magic stays set: killed, crashed or stuck
// mid-reconfiguration; reported once as kEngineLostLine after "Deactivated"; a closed area or
// an unusable layout as kAreaClosedLine or kUnusableLayoutLine). That is said once, by the lines
// above. Until the area is usable again the loop looks it up by name quietly, every
// kQuietRetryMs, without lines and without callbacks; a lost engine must also show signs of
// life (its period or reset count moves within a second, with the reset count even: an engine
// stuck mid-reconfiguration stays lost until the reconfiguration ends). Once it is back:
// "Connected", and on as after any connect. Connection errors meanwhile are reported as always.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "tarvo/TarvoBuffers.h"
#include "tarvo/TarvoRunner.h"

namespace Tarvo {

// Pause between two quiet looks at an area that went.
constexpr unsigned kQuietRetryMs = 200;
constexpr const char* kEngineLostLine = "Engine lost: no period for more than a second";
// Said once when the area went because the engine closed it, or because its layout cannot carry
// audio (followed by what is wrong with it, "samples per period 0" for example).
constexpr const char* kAreaClosedLine = "Area closed by the engine";
constexpr const char* kUnusableLayoutLine = "Area cannot carry audio: ";

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
