#include "tarvo/TarvoTool.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "tarvo/TarvoConnectionLoop.h"
#include "tarvo/TarvoLine.h"
#include "tarvo/TarvoVersion.h"

namespace Tarvo {

std::atomic<bool> g_running{true};

namespace {

void stopHandler(int signal) {
  g_running.store(false);
  struct sigaction action = {};
  action.sa_handler = stopHandler;
  sigaction(signal, &action, nullptr);
}

}  // namespace

void installStopHandler(int signal) {
  struct sigaction action = {};
  action.sa_handler = stopHandler;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

int parseInt(const char* text) {
  if (text == nullptr) return 0;
  errno = 0;
  long value = strtol(text, nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

int parseLatency(const char* text) { return parseInt(text); }

void printToolSettings(const std::string& areaName, int latency) {
  writeLine(stdout, "Using \"" + areaName + "\" as shared memory");
  writeLine(stdout, "Using " + std::to_string(latency) + " samples as Tx Latency");
}

void printLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  writeText(stdout, text);
}

void printVersion() { writeLine(stdout, getVersionInfo()); }

void runToolMainLoop(Buffers& buffers, Runner& runner, const std::string& areaName,
                     const ToolHooks& hooks) {
  installStopHandler(SIGINT);
  signal(SIGPIPE, SIG_IGN);
  runner.setWaitBoundMs(kToolWaitBoundMs);
  ConnectionLoop loop{buffers, runner, areaName, g_running};
  loop.work = hooks.work;
  loop.reset = hooks.reset;
  loop.afterConnected = hooks.afterConnected;
  loop.afterRun = hooks.afterRun;
  runConnectionLoop(loop);
}

}  // namespace Tarvo
