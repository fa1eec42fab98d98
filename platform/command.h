// Programs the unit runs (the MCU version tool, dhcpcd's init script, updateEngine, tar, umount,
// ip). On the board they run through the shell; the simulated build never runs them on the host:
// it records each command line and answers from canned outputs.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

class CommandRunner {
 public:
  virtual ~CommandRunner() = default;
  // Runs a shell command line and waits for it. When output is given, the command's standard
  // output is collected into it. Returns the exit status, or -1 when it could not be run.
  virtual int Run(const std::string& command, std::string* output) = 0;
};

// The runner in use (the shell on the board, a RecordingCommandRunner in the simulated build).
CommandRunner& commands();
// Installs a runner (nullptr restores the default). Not owned.
void SetCommandRunner(CommandRunner* runner);

inline int RunCommand(const std::string& command, std::string* output = nullptr) {
  return commands().Run(command, output);
}

// Records every command; answers with the canned reply or the stand-in whose key is the longest
// prefix of the command line (status 0 and no output when none matches). When a log path is set,
// each command line is also appended to that file.
class RecordingCommandRunner : public CommandRunner {
 public:
  struct Reply {
    int status = 0;
    std::string output;
  };
  // Acts out a command (inside the simulated root) and returns its exit status.
  using StandIn = std::function<int(const std::string& command, std::string* output)>;

  int Run(const std::string& command, std::string* output) override;

  void SetReply(const std::string& prefix, int status, const std::string& output = "");
  void SetStandIn(const std::string& prefix, StandIn stand_in);
  void SetLogFile(const std::string& resolved_path);
  std::vector<std::string> Commands() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> commands_;
  std::map<std::string, Reply> replies_;
  std::map<std::string, StandIn> stand_ins_;
  std::string log_path_;
};

}  // namespace platform
