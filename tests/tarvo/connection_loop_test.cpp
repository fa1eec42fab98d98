#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

#include "sim/engine/StandInEngine.h"
#include "tarvo/TarvoConnectionLoop.h"
#include "test_names.h"
#include "tests/support/wait_for.h"

namespace {

using sim::StandInEngine;
using std::chrono::milliseconds;

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) out.push_back(line);
  return out;
}

int countOf(const std::vector<std::string>& all, const std::string& line) {
  return static_cast<int>(std::count(all.begin(), all.end(), line));
}

void expectStartAndEnd(const std::vector<std::string>& out, const std::vector<std::string>& first,
                       const std::vector<std::string>& last) {
  ASSERT_GE(out.size(), first.size() + last.size() - 1) << testing::PrintToString(out);
  EXPECT_EQ(std::vector<std::string>(out.begin(), out.begin() + first.size()), first);
  EXPECT_EQ(std::vector<std::string>(out.end() - last.size(), out.end()), last);
}

// The outer loop on its own thread with short pauses; stderr goes to a file for the whole run,
// which the test can read while the loop runs.
class ConnectionLoopTest : public testing::Test {
 protected:
  void SetUp() override { config.name = tarvo_test::uniqueAreaName(); }
  void TearDown() override {
    if (thread.joinable()) stop();
  }

  void start(unsigned retryPauseMs = 20) {
    char path[] = "/tmp/connection_loop_stderr_XXXXXX";
    capture = mkstemp(path);
    ASSERT_GE(capture, 0);
    unlink(path);
    fflush(stderr);
    savedStderr = dup(2);
    dup2(capture, 2);
    thread = std::thread([this, retryPauseMs] {
      Tarvo::ConnectionLoop loop(buffers, runner, config.name, running);
      loop.work = [this](unsigned n) { periods += n; };
      loop.reset = [this] { ++resets; };
      loop.retryPauseMs = retryPauseMs;
      Tarvo::runConnectionLoop(loop);
      ended = true;
    });
  }

  // The lines written to stderr so far.
  std::vector<std::string> written() const {
    std::string text;
    char buf[4096];
    ssize_t n;
    for (off_t at = 0; (n = pread(capture, buf, sizeof buf, at)) > 0; at += n) text.append(buf, n);
    return lines(text);
  }

  // Waits until stderr holds `line` at least `times` times (a liveness bound, not a timing check).
  void waitForLine(const std::string& line, int times = 1) {
    waitUntil([&] { return countOf(written(), line) >= times; });
  }

  // Stops the loop; a period from `engine` wakes it at once from its wait.
  std::vector<std::string> stop(StandInEngine* engine = nullptr) {
    running = false;
    if (engine != nullptr) engine->step(1);
    if (thread.joinable()) thread.join();
    fflush(stderr);
    dup2(savedStderr, 2);
    close(savedStderr);
    std::vector<std::string> out = written();
    close(capture);
    return out;
  }

  template <typename Pred>
  void waitUntil(Pred pred) {
    EXPECT_TRUE(testsupport::WaitFor(pred));
  }

  StandInEngine::Config config;
  Tarvo::Buffers buffers;
  Tarvo::Runner runner{buffers};
  std::atomic<bool> running{true};
  std::atomic<unsigned> periods{0};
  std::atomic<unsigned> resets{0};
  std::thread thread;
  std::atomic<bool> ended{false};
  int capture = -1;
  int savedStderr = -1;
};

// Steps an engine every 2 ms on its own thread until destroyed.
class Stepper {
 public:
  explicit Stepper(StandInEngine& engine)
      : mThread([this, &engine] {
          while (mRun) {
            engine.step(1);
            std::this_thread::sleep_for(milliseconds(2));
          }
        }) {}
  ~Stepper() {
    mRun = false;
    mThread.join();
  }

 private:
  std::atomic<bool> mRun{true};
  std::thread mThread;
};

TEST_F(ConnectionLoopTest, MissingEngineIsReportedOnceThenConnects) {
  start();
  waitForLine("Trying to connect again...");
  std::this_thread::sleep_for(milliseconds(100));  // several retries
  StandInEngine engine(config);
  ASSERT_EQ(engine.create(), 0);
  {
    // A running engine: its periods keep coming however long the loop takes to find the area.
    Stepper stepper(engine);
    waitUntil([&] { return resets > 0 && periods > 0; });
  }
  std::vector<std::string> out = stop(&engine);
  // The loop may catch the area half made (magic still 0) and connect once more.
  expectStartAndEnd(out,
                    {"Connecting...", "Error connecting to shared memory: ERROR is 2",
                     "No such file or directory", "Trying to connect again...", "Connected"},
                    {"Connected", "Activated", "Disconnecting...", "Disconnected"});
  EXPECT_EQ(countOf(out, "Trying to connect again..."), 1);
}

// An engine that shuts down cleanly after its periods (magic 0, names removed, no last post)
// wakes no waiting loop: the loop finds the closed area at the end of its wait, and says so,
// not that the engine was lost.
TEST_F(ConnectionLoopTest, CleanShutdownAfterPeriodsIsAClosedArea) {
  auto engine = std::make_unique<StandInEngine>(config);
  ASSERT_EQ(engine->create(), 0);
  start();
  {
    Stepper stepper(*engine);
    waitUntil([&] { return periods > 0; });
  }
  engine->destroy();
  waitForLine("Disconnected");
  std::vector<std::string> out = stop();
  EXPECT_EQ(countOf(out, Tarvo::kAreaClosedLine), 1) << testing::PrintToString(out);
  EXPECT_EQ(countOf(out, Tarvo::kEngineLostLine), 0) << testing::PrintToString(out);
}

// The area closed and made anew under the same name: said once when it goes and once when it
// is back, whatever the loop saw in between (the old area closed, the new one half made).
TEST_F(ConnectionLoopTest, RecreatedAreaIsReconnected) {
  auto engine = std::make_unique<StandInEngine>(config);
  ASSERT_EQ(engine->create(), 0);
  start();
  waitUntil([&] { return resets == 1; });
  engine->close(true);
  waitForLine("Disconnected");
  auto second = std::make_unique<StandInEngine>(config);
  ASSERT_EQ(second->create(), 0);
  waitUntil([&] { return resets == 2; });
  second->step(1);
  waitUntil([&] { return periods > 0; });
  std::vector<std::string> out = stop(second.get());
  // Between the two areas the name may be missing for a moment: that error is said once.
  for (const char* error : {"Error connecting to shared memory: ERROR is 2",
                            "No such file or directory", "Trying to connect again..."}) {
    const auto at = std::find(out.begin(), out.end(), error);
    if (at != out.end()) out.erase(at);
  }
  EXPECT_EQ(out, (std::vector<std::string>{"Connecting...", "Connected", Tarvo::kAreaClosedLine,
                                           "Disconnecting...", "Disconnected", "Connected",
                                           "Activated", "Disconnecting...", "Disconnected"}));
}

// An area that stays closed (magic 0), settles on a layout that cannot carry audio, or names a
// timing object that cannot be opened is reported once, with a line that says which; the loop
// then looks for it quietly and says "Connected" once it is usable again.
TEST_F(ConnectionLoopTest, UnusableAreaIsReportedOnceAndRetriedQuietly) {
  struct Case {
    const char* what;
    StandInEngine::Timing timing;
    void (*spoil)(StandInEngine&);
    void (*repair)(StandInEngine&);
    std::vector<std::string> gone;
  } cases[] = {
      {"closed",
       StandInEngine::Timing::Semaphore,
       [](StandInEngine& e) { e.close(); },
       [](StandInEngine& e) { e.reopen(); },
       {"Connecting...", "Connected", Tarvo::kAreaClosedLine, "Disconnecting...",
        "Disconnected"}},
      {"period 0",
       StandInEngine::Timing::Semaphore,
       [](StandInEngine& e) {
         e.reconfigure([](Tarvo::buffer_header& h) { h.samples_per_period = 0; });
       },
       [](StandInEngine& e) {
         e.reconfigure([](Tarvo::buffer_header& h) { h.samples_per_period = 48; });
       },
       {"Connecting...", "Connected", "Area cannot carry audio: samples per period 0",
        "Disconnecting...", "Disconnected"}},
      {"timing object missing",
       StandInEngine::Timing::MissingSemaphore,
       [](StandInEngine&) {},
       [](StandInEngine& e) {
         e.reconfigure([](Tarvo::buffer_header& h) { h.timing_object_offset_bytes = 0; });
       },
       {"Connecting...", "Connected", "Error opening timing object: No such file or directory",
        "Disconnecting...", "Disconnected"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    config.name = tarvo_test::uniqueAreaName();
    config.timing = c.timing;
    resets = 0;
    periods = 0;
    running = true;
    runner.setActive(false);  // as a new program would start
    StandInEngine engine(config);
    ASSERT_EQ(engine.create(), 0);
    c.spoil(engine);
    start();
    waitForLine("Disconnected");
    EXPECT_EQ(written(), c.gone);
    c.repair(engine);
    {
      // A running engine: a loop that finds the area only after a second of silence would
      // otherwise take the engine for lost.
      Stepper stepper(engine);
      waitUntil([&] { return resets > 0 && periods > 0; });
    }
    std::vector<std::string> out = stop(&engine);
    std::vector<std::string> expected = c.gone;
    for (const char* line : {"Connected", "Activated", "Disconnecting...", "Disconnected"}) {
      expected.push_back(line);
    }
    EXPECT_EQ(out, expected);
  }
}

// An engine that dies without clearing magic is lost after a second without periods: reported
// once, released, and a new engine under the same name is found. The reconnections in between
// are silent.
TEST_F(ConnectionLoopTest, KilledEngineIsReportedOnceAndReplacedByName) {
  auto first = std::make_unique<StandInEngine>(config);
  ASSERT_EQ(first->create(), 0);
  start();
  {
    Stepper stepper(*first);
    waitUntil([&] { return periods > 0; });
  }
  first->abandon();
  waitForLine(Tarvo::kEngineLostLine);
  // The dead area is released; the next attempts map it again, silently.
  waitForLine("Disconnected");
  StandInEngine second(config);
  ASSERT_EQ(second.create(), 0);
  const unsigned before = periods;
  {
    Stepper stepper(second);
    waitUntil([&] { return resets == 2 && periods > before; });
  }
  std::vector<std::string> out = stop(&second);
  EXPECT_EQ(resets, 2u);
  EXPECT_EQ(countOf(out, Tarvo::kEngineLostLine), 1) << testing::PrintToString(out);
  EXPECT_EQ(countOf(out, "Connected"), 2) << testing::PrintToString(out);
  EXPECT_EQ(countOf(out, "Connecting..."), 1) << testing::PrintToString(out);
  const std::vector<std::string> lost = {"Deactivated",      Tarvo::kEngineLostLine,
                                         "Disconnecting...", "Disconnected",
                                         "Connected",        "Activated"};
  const auto at = std::search(out.begin(), out.end(), lost.begin(), lost.end());
  EXPECT_NE(at, out.end()) << testing::PrintToString(out);
}

// An engine stuck mid-reconfiguration that goes on counting periods is lost once: the loop
// says so when it starts and "Connected" when the reconfiguration ends, and is quiet in between
// instead of taking each period for a sign of life.
TEST_F(ConnectionLoopTest, StuckReconfigurationIsReportedOnceUntilItEnds) {
  StandInEngine engine(config);
  ASSERT_EQ(engine.create(), 0);
  start();
  {
    Stepper stepper(engine);
    waitUntil([&] { return periods > 0; });
  }
  engine.reconfigure(nullptr, true);
  {
    Stepper stepper(engine);
    waitForLine(Tarvo::kEngineLostLine);
    // Three seconds of the engine's periods while it stays stuck.
    const uint64_t stuckFrom = engine.periodCount();
    waitUntil([&] { return engine.periodCount() >= stuckFrom + 1500; });
  }
  engine.finishReconfigure();
  const unsigned before = periods;
  {
    Stepper stepper(engine);
    waitUntil([&] { return resets == 2 && periods > before; });
  }
  std::vector<std::string> out = stop(&engine);
  EXPECT_EQ(out, (std::vector<std::string>{"Connecting...", "Connected", "Activated",
                                           "Deactivated", Tarvo::kEngineLostLine,
                                           "Disconnecting...", "Disconnected", "Connected",
                                           "Activated", "Disconnecting...", "Disconnected"}));
}

TEST_F(ConnectionLoopTest, StopDuringTheRetryPauseEndsPromptly) {
  start(60000);
  waitForLine("Trying to connect again...");
  // The loop sits in a one-minute pause; a signal cuts it short in the tools. Here the flag
  // is checked after the pause, so wake the thread with a signal as SIGINT would (again until
  // it ends, in case the first one came before the pause began).
  struct sigaction action = {};
  action.sa_handler = [](int) {};
  sigaction(SIGUSR2, &action, nullptr);
  running = false;
  // Well inside the minute the pause would last: a loop that sat the pause out fails here.
  EXPECT_TRUE(testsupport::WaitFor(
      [&] {
        if (ended) return true;
        pthread_kill(thread.native_handle(), SIGUSR2);
        return false;
      },
      milliseconds(30000)));
  std::vector<std::string> out = stop();
  signal(SIGUSR2, SIG_DFL);
  // It ended in the pause: no attempt after it.
  EXPECT_EQ(out, (std::vector<std::string>{
                     "Connecting...", "Error connecting to shared memory: ERROR is 2",
                     "No such file or directory", "Trying to connect again..."}));
}

}  // namespace
