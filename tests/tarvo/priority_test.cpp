#include <gtest/gtest.h>

#include <pthread.h>
#include <regex>
#include <sched.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tarvo/TarvoPriority.h"
#include "tarvo/TarvoVersion.h"

namespace {

struct Sched {
  int policy;
  int priority;
};

Sched currentSched() {
  Sched s{};
  sched_param p{};
  pthread_getschedparam(pthread_self(), &s.policy, &p);
  s.priority = p.sched_priority;
  return s;
}

// Runs fn on a fresh thread (so the test process keeps its own scheduling) with stderr
// captured.
template <typename Fn>
std::string onThreadCapturingStderr(Fn fn) {
  testing::internal::CaptureStderr();
  std::thread t(fn);
  t.join();
  return testing::internal::GetCapturedStderr();
}

TEST(Priority, NonRootGetsTheWarningAndKeepsItsScheduling) {
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(pipeFds[1], 2);
    if (geteuid() == 0 && setresuid(65534, 65534, 65534) != 0) _exit(3);
    Sched before = currentSched();
    setTarvoPriority("./tplay");
    setTarvoPriority(nullptr);
    Sched after = currentSched();
    _exit(before.policy == after.policy && before.priority == after.priority ? 0 : 4);
  }
  close(pipeFds[1]);
  std::string out;
  char buf[512];
  ssize_t n;
  while ((n = read(pipeFds[0], buf, sizeof buf)) > 0) out.append(buf, n);
  close(pipeFds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(out,
            "WARNING: ./tplay has not been run as root so thread priority will not be changed "
            "to realtime.\n"
            "WARNING: The application has not been run as root so thread priority will not be "
            "changed to realtime.\n");
}

TEST(Priority, RootMovesToFifoAndStepsUp) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  Sched first{}, second{};
  std::string err = onThreadCapturingStderr([&] {
    setTarvoPriority("t");
    first = currentSched();
    setTarvoPriority("t");
    second = currentSched();
  });
  if (err.find("Error number: 1") != std::string::npos) GTEST_SKIP() << "no CAP_SYS_NICE";
  EXPECT_EQ(err, "");
  EXPECT_EQ(first.policy, SCHED_FIFO);
  EXPECT_EQ(first.priority, sched_get_priority_min(SCHED_FIFO));
  EXPECT_EQ(second.policy, SCHED_FIFO);
  EXPECT_EQ(second.priority, sched_get_priority_min(SCHED_FIFO) + 1);
}

TEST(Priority, RoundRobinAtMaximumIsLeftAlone) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  Sched after{};
  bool set = false;
  std::string err = onThreadCapturingStderr([&] {
    sched_param p{};
    p.sched_priority = sched_get_priority_max(SCHED_RR);
    set = pthread_setschedparam(pthread_self(), SCHED_RR, &p) == 0;
    setTarvoPriority("t");
    after = currentSched();
  });
  if (!set) GTEST_SKIP() << "cannot set SCHED_RR here";
  EXPECT_EQ(err, "");
  EXPECT_EQ(after.policy, SCHED_RR);
  EXPECT_EQ(after.priority, sched_get_priority_max(SCHED_RR));
  cleanupTarvoPriority();
}

TEST(Version, Text) {
  EXPECT_TRUE(std::regex_match(std::string(getVersionInfo()),
                               std::regex("netaudio_examples : v1\\.2\\.0\\.rc2::[0-9a-f]{8}")))
      << getVersionInfo();
}

}  // namespace
