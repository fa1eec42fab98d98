#include "platform/command.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>

#include "platform/paths.h"
#include "platform/sim_file_commands.h"

extern char** environ;

namespace platform {
namespace {

class ShellCommandRunner : public CommandRunner {
 public:
  int Run(const std::string& command, std::string* output) override {
    if (!output) return RunDetached(command);
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buffer[512];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
      if (output) output->append(buffer, n);
    }
    int status = pclose(pipe);
    if (status == -1) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  // A command whose output is not read runs with standard input and output on the null device:
  // a job it leaves in the background ("updateEngine ... &") then holds no pipe of ours open, and
  // the wait ends when the shell does.
  static int RunDetached(const std::string& command) {
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return -1;
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    pid_t pid = -1;
    int rc = posix_spawn(&pid, "/bin/sh", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

CommandRunner& DefaultRunner() {
#ifdef DEVCTL_SIM
  static RecordingCommandRunner runner;
  static std::once_flag once;
  std::call_once(once, [] {
    std::string root = Root();
    if (!root.empty()) runner.SetLogFile(root + "/sim/commands.log");
    InstallSimFileCommands(runner);
  });
#else
  static ShellCommandRunner runner;
#endif
  return runner;
}

std::atomic<CommandRunner*> g_runner{nullptr};

}  // namespace

CommandRunner& commands() {
  CommandRunner* r = g_runner.load();
  return r ? *r : DefaultRunner();
}

void SetCommandRunner(CommandRunner* runner) { g_runner.store(runner); }

int RecordingCommandRunner::Run(const std::string& command, std::string* output) {
  std::unique_lock<std::mutex> lock(mutex_);
  commands_.push_back(command);
  if (!log_path_.empty()) {
    MakeParentDirs(log_path_);
    if (FILE* f = std::fopen(log_path_.c_str(), "a")) {
      std::fprintf(f, "%s\n", command.c_str());
      std::fclose(f);
    }
  }
  const Reply* best = nullptr;
  size_t best_len = 0;
  for (const auto& [prefix, reply] : replies_) {
    if (command.compare(0, prefix.size(), prefix) == 0 && (!best || prefix.size() > best_len)) {
      best = &reply;
      best_len = prefix.size();
    }
  }
  // On a tie the canned reply wins, so a test can make one line of a stand-in fail.
  const StandIn* stand_in = nullptr;
  for (const auto& [prefix, candidate] : stand_ins_) {
    if (command.compare(0, prefix.size(), prefix) == 0 &&
        ((!best && !stand_in) || prefix.size() > best_len)) {
      stand_in = &candidate;
      best_len = prefix.size();
    }
  }
  if (stand_in) {
    // The stand-in may take a while (unpacking): it runs without the runner's lock.
    StandIn act = *stand_in;
    lock.unlock();
    return act(command, output);
  }
  if (!best) return 0;
  if (output) *output += best->output;
  return best->status;
}

void RecordingCommandRunner::SetReply(const std::string& prefix, int status,
                                      const std::string& output) {
  std::lock_guard<std::mutex> lock(mutex_);
  replies_[prefix] = Reply{status, output};
}

void RecordingCommandRunner::SetStandIn(const std::string& prefix, StandIn stand_in) {
  std::lock_guard<std::mutex> lock(mutex_);
  stand_ins_[prefix] = std::move(stand_in);
}

void RecordingCommandRunner::SetLogFile(const std::string& resolved_path) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_path_ = resolved_path;
}

std::vector<std::string> RecordingCommandRunner::Commands() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return commands_;
}

void RecordingCommandRunner::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  commands_.clear();
}

}  // namespace platform
