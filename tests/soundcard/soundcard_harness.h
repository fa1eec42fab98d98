// Shared pieces of the tsoundcard tests: a private shared-memory namespace for the fixed area
// name, a real-time clock for the stand-in engine, child processes (aplay, arecord) and
// descriptor/thread counts.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "sim/engine/StandInEngine.h"

namespace soundcard_test {

// True when this test process (and every child it starts) has its own /dev/shm, so the
// plug-in's fixed area name cannot collide with another test. Without it the tests of this
// program run one at a time under a lock file.
bool hasPrivateShm();

// Steps a stand-in engine on its own thread at the engine's rate (one period per
// samples_per_period / samplerate seconds), at a real-time priority where the process may take
// one (as the engine runs). Touch the engine only while the clock is stopped.
class EngineClock {
 public:
  explicit EngineClock(sim::StandInEngine& engine) : mEngine(engine) {}
  ~EngineClock() { stop(); }
  void start();
  void stop();
  bool running() const { return mThread.joinable(); }
  // Periods this clock finished stepping more than half a period after their time (a busy
  // machine held its thread up, or the step itself took that long; the next periods then
  // follow back to back, as an engine catching up would). A client cannot keep up with those:
  // they take positions it had no period to write.
  uint64_t latePeriods() const { return mLatePeriods.load(); }

 private:
  sim::StandInEngine& mEngine;
  std::atomic<bool> mRun{false};
  std::atomic<uint64_t> mLatePeriods{0};
  std::thread mThread;
};

// An engine with the area name the plug-in uses, created; fails the test when it cannot be.
sim::StandInEngine::Config pluginEngineConfig();

int countOpenDescriptors();
int countThreads();

struct CommandResult {
  int status = -1;  // exit status; 128 + n after signal n; -1 when it had to be killed
  std::string out;
  std::string err;
};

// Runs argv (looked up in PATH) with `env` added to this process's environment, and waits
// at most timeoutSeconds (then kills it). Children of a sanitized build get the sanitizer
// runtime preloaded so they can load the sanitized plug-in.
CommandResult runCommand(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         int timeoutSeconds);
// The same, started now and collected by wait().
class Command {
 public:
  Command(const std::vector<std::string>& argv, const std::vector<std::string>& env);
  ~Command();
  bool started() const { return mPid > 0; }
  // Waits until the program's standard error holds `text` (true), or it ended or
  // timeoutSeconds passed (false).
  bool waitForError(const std::string& text, int timeoutSeconds);
  // Waits until `done` holds for the standard error written so far (true), or the program
  // ended without it or timeoutSeconds passed (false).
  bool waitForErrorText(const std::function<bool(const std::string&)>& done, int timeoutSeconds);
  // True until the program has ended.
  bool running();
  void signal(int sig);
  // Sends `sig` and waits until the program has taken it (no longer pending for the process):
  // its handler has run or is running. False when the program ended first or timeoutSeconds
  // passed.
  bool signalAndWaitTaken(int sig, int timeoutSeconds);
  CommandResult wait(int timeoutSeconds);
  // The same with a bound in milliseconds; status -1 when it had to be killed at the bound.
  CommandResult wait(std::chrono::milliseconds timeout);

 private:
  int mPid = -1;
  std::string mOutPath;
  std::string mErrPath;
};

bool programExists(const std::string& name);

// A fresh temporary folder, removed with its files by the destructor.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return mPath; }
  std::string file(const std::string& name) const { return mPath + "/" + name; }

 private:
  std::string mPath;
};

// ALSA configuration files naming the built plug-in: "tarvo" alone (only), or added to the
// system configuration so that "plug:tarvo" and other wrappers work (withSystem). Returns the
// value for ALSA_CONFIG_PATH.
std::string writeAlsaConfig(const TempDir& dir, bool withSystem);
// The built module.
std::string pluginModulePath();

}  // namespace soundcard_test
