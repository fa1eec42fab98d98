// The skeleton shared by the audio tools tplay, trecord, tloopback and ttrace: the running
// flag and its signal handlers, option helpers, the settings and usage lines, and the main
// loop (connect, run the period loop, disconnect, until SIGINT).
//
// A tool's main: parse its options with getopt (-v -> printVersion() and exit 0), print its
// settings, build its object, call setTarvoPriority(argv[0]) (not ttrace), then
// runToolMainLoop(...), then cleanupTarvoPriority() (not ttrace) and return 0.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "tarvo/TarvoBuffers.h"
#include "tarvo/TarvoRunner.h"

namespace Tarvo {

// True while the tool runs; cleared by SIGINT (and SIGTERM where installed) and by a tool
// object that ends the program.
extern std::atomic<bool> g_running;

// Installs the handler that clears g_running for `signal` (no SA_RESTART, so sleeps and
// period waits return at once); it stays installed for later signals.
void installStopHandler(int signal);

// -l: the latency in samples, strtol with saturation to the int range ("" and junk read 0).
int parseLatency(const char* text);
// -c / -n: a decimal integer as atoi reads it, saturating instead of overflowing.
int parseInt(const char* text);

// stdout: "Using \"<name>\" as shared memory" and "Using <latency> samples as Tx Latency".
void printToolSettings(const std::string& areaName, int latency);
// stdout: each line followed by an end of line.
void printLines(const std::vector<std::string>& lines);
// stdout: getVersionInfo() and an end of line.
void printVersion();

struct ToolHooks {
  std::function<void(unsigned)> work;
  std::function<void()> reset;
  std::function<void()> afterConnected;  // ttrace: its header lines
  std::function<void()> afterRun;        // trecord: Recorder::cleanup
};

// Bound of the tools' waits for a period: an engine that closes its area sends no period to
// wake the tool, which sees the closed area at the end of that wait.
constexpr unsigned kToolWaitBoundMs = 50;

// Installs the SIGINT handler, ignores SIGPIPE, and connects/runs/disconnects on areaName
// until g_running is cleared (see TarvoConnectionLoop.h for the lines it writes). The period
// waits last at most kToolWaitBoundMs.
void runToolMainLoop(Buffers& buffers, Runner& runner, const std::string& areaName,
                     const ToolHooks& hooks);

}  // namespace Tarvo
