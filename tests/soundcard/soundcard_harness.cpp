#include "soundcard_harness.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tests/support/wait_for.h"

extern char** environ;

namespace soundcard_test {

namespace {

// Runs before main, while the process has a single thread (a condition of unshare): a mount
// namespace of our own with an empty tmpfs on /dev/shm, which holds both POSIX shared memory
// and named semaphores. Mounts become private before anything is mounted, so nothing reaches
// the host's /dev/shm.
bool makePrivateShm() {
  if (unshare(CLONE_NEWNS) != 0) return false;
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
  return mount("tmpfs", "/dev/shm", "tmpfs", 0, "mode=1777") == 0;
}

const bool g_privateShm = [] {
  if (makePrivateShm()) return true;
  // Shared /dev/shm: take turns with the other processes of these tests.
  int fd = open("/tmp/tsoundcard_tests.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0666);
  if (fd >= 0) flock(fd, LOCK_EX);
  return false;
}();

uint64_t nowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint64_t(ts.tv_sec) * 1000000000ULL + uint64_t(ts.tv_nsec);
}

int countEntries(const char* dir) {
  DIR* d = opendir(dir);
  if (d == nullptr) return -1;
  int n = 0;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] != '.') ++n;
  }
  closedir(d);
  return n;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> childEnvironment(const std::vector<std::string>& extra) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
#ifdef SANITIZER_RUNTIME
  // The sanitized plug-in needs its runtime loaded first; the host program's own leaks at
  // exit are not ours to report.
  env.push_back(std::string("LD_PRELOAD=") + SANITIZER_RUNTIME);
  env.push_back("ASAN_OPTIONS=detect_leaks=0:abort_on_error=0");
#endif
  for (const std::string& e : extra) env.push_back(e);
  return env;
}

}  // namespace

bool hasPrivateShm() { return g_privateShm; }

void EngineClock::start() {
  if (mThread.joinable()) return;
  mRun = true;
  mThread = std::thread([this] {
    sched_param param{};
    param.sched_priority = 10;
    // Refused without the privilege: the clock then keeps time as well as the machine lets it.
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    const uint64_t spp = mEngine.config().samplesPerPeriod;
    const uint64_t rate = mEngine.header().samplerate;
    const uint64_t periodNs = spp * 1000000000ULL / rate;
    const uint64_t t0 = nowNs();
    for (uint64_t tick = 1; mRun.load(); ++tick) {
      const uint64_t deadline = t0 + tick * periodNs;
      timespec ts{time_t(deadline / 1000000000ULL), long(deadline % 1000000000ULL)};
      while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
      }
      if (!mRun.load()) break;
      mEngine.step(1);
      // Published late (held up before or during the step): its successor's positions follow
      // too soon.
      if (nowNs() - deadline > periodNs / 2) ++mLatePeriods;
    }
  });
}

void EngineClock::stop() {
  mRun = false;
  if (mThread.joinable()) mThread.join();
}

sim::StandInEngine::Config pluginEngineConfig() {
  sim::StandInEngine::Config c;
  c.name = "TarvoEP";
  return c;
}

// Less the descriptor of the directory stream itself.
int countOpenDescriptors() { return countEntries("/proc/self/fd") - 1; }
int countThreads() { return countEntries("/proc/self/task"); }

Command::Command(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  char dirTemplate[] = "/tmp/tsoundcard_cmdXXXXXX";
  const char* dir = mkdtemp(dirTemplate);
  if (dir == nullptr) return;
  mOutPath = std::string(dir) + "/out";
  mErrPath = std::string(dir) + "/err";

  std::vector<std::string> envStrings = childEnvironment(env);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, mOutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, mErrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data()) == 0) mPid = pid;
  posix_spawn_file_actions_destroy(&actions);
}

Command::~Command() {
  if (mPid > 0) {
    kill(mPid, SIGKILL);
    waitpid(mPid, nullptr, 0);
  }
  if (!mOutPath.empty()) {
    unlink(mOutPath.c_str());
    unlink(mErrPath.c_str());
    rmdir(mOutPath.substr(0, mOutPath.size() - 4).c_str());
  }
}

bool Command::waitForError(const std::string& text, int timeoutSeconds) {
  return waitForErrorText(
      [&text](const std::string& err) { return err.find(text) != std::string::npos; },
      timeoutSeconds);
}

bool Command::waitForErrorText(const std::function<bool(const std::string&)>& done,
                               int timeoutSeconds) {
  if (mPid <= 0) return false;
  bool ended = false;
  const bool seen = testsupport::WaitFor(
      [&] {
        if (done(readFile(mErrPath))) return true;
        ended = !running();
        return ended;
      },
      std::chrono::seconds(timeoutSeconds));
  return seen && (!ended || done(readFile(mErrPath)));
}

bool Command::running() {
  if (mPid <= 0) return false;
  // Ended (left for wait() to collect)?
  siginfo_t info{};
  return !(waitid(P_PID, id_t(mPid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0);
}

void Command::signal(int sig) {
  if (mPid > 0) kill(mPid, sig);
}

bool Command::signalAndWaitTaken(int sig, int timeoutSeconds) {
  if (mPid <= 0 || kill(mPid, sig) != 0) return false;
  const std::string statusPath = "/proc/" + std::to_string(mPid) + "/status";
  // ShdPnd: the signals pending for the process as a whole, in hex, bit sig-1.
  auto pending = [&] {
    const std::string status = readFile(statusPath);
    const size_t at = status.find("ShdPnd:");
    if (at == std::string::npos) return false;
    const unsigned long long mask = strtoull(status.c_str() + at + 7, nullptr, 16);
    return (mask >> (sig - 1) & 1u) != 0;
  };
  bool ended = false;
  const bool taken = testsupport::WaitFor(
      [&] {
        ended = !running();
        return ended || !pending();
      },
      std::chrono::seconds(timeoutSeconds));
  return taken && !ended;
}

CommandResult Command::wait(int timeoutSeconds) {
  return wait(std::chrono::milliseconds(std::chrono::seconds(timeoutSeconds)));
}

CommandResult Command::wait(std::chrono::milliseconds timeout) {
  CommandResult result;
  if (mPid <= 0) return result;
  int status = 0;
  pid_t done = 0;
  testsupport::WaitFor([&] { return (done = waitpid(mPid, &status, WNOHANG)) != 0; }, timeout);
  if (done == 0) {
    kill(mPid, SIGKILL);
    waitpid(mPid, &status, 0);
    result.status = -1;
  } else if (WIFEXITED(status)) {
    result.status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.status = 128 + WTERMSIG(status);
  }
  mPid = -1;
  result.out = readFile(mOutPath);
  result.err = readFile(mErrPath);
  return result;
}

CommandResult runCommand(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         int timeoutSeconds) {
  Command command(argv, env);
  return command.wait(timeoutSeconds);
}

bool programExists(const std::string& name) {
  const char* path = getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (access((dir + "/" + name).c_str(), X_OK) == 0) return true;
  }
  return false;
}

TempDir::TempDir() {
  char dirTemplate[] = "/tmp/tsoundcard_testXXXXXX";
  const char* dir = mkdtemp(dirTemplate);
  mPath = dir != nullptr ? dir : "/tmp";
}

TempDir::~TempDir() {
  if (mPath == "/tmp") return;
  if (DIR* d = opendir(mPath.c_str())) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] != '.') unlink((mPath + "/" + e->d_name).c_str());
    }
    closedir(d);
  }
  rmdir(mPath.c_str());
}

std::string pluginModulePath() { return TSOUNDCARD_MODULE_PATH; }

std::string writeAlsaConfig(const TempDir& dir, bool withSystem) {
  const std::string path = dir.file(withSystem ? "extra.conf" : "only.conf");
  std::ofstream out(path);
  out << "pcm_type.tsoundcard.lib \"" << pluginModulePath() << "\"\n"
      << "pcm.tarvo { type tsoundcard }\n"
      << "pcm.tarvo_plug { type plug slave.pcm \"tarvo\" }\n";
  return withSystem ? std::string(ALSA_SYSTEM_CONFIG) + ":" + path : path;
}

}  // namespace soundcard_test
