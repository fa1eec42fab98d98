#include "platform/command.h"

#include <sys/wait.h>

#include <atomic>
#include <cstdio>
#include <mutex>

#include "platform/paths.h"

namespace platform {
namespace {

class ShellCommandRunner : public CommandRunner {
 public:
  int Run(const std::string& command, std::string* output) override {
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
};

CommandRunner& DefaultRunner() {
#ifdef DEVCTL_SIM
  static RecordingCommandRunner runner;
  static std::once_flag once;
  std::call_once(once, [] {
    std::string root = Root();
    if (!root.empty()) runner.SetLogFile(root + "/sim/commands.log");
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
  std::lock_guard<std::mutex> lock(mutex_);
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
  if (!best) return 0;
  if (output) *output += best->output;
  return best->status;
}

void RecordingCommandRunner::SetReply(const std::string& prefix, int status,
                                      const std::string& output) {
  std::lock_guard<std::mutex> lock(mutex_);
  replies_[prefix] = Reply{status, output};
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
