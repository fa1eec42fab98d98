// Helpers shared by the tool tests: unique area names, temporary folders, and running a built
// tool as a child process with its output captured in files.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/wait_for.h"
#include "tests/tarvo/test_names.h"

namespace tools_test {

// "TT<pid>_<n>": unique per test process, short enough for the split layout's suffixes.
inline std::string uniqueAreaName() {
  static int counter = 0;
  return tarvo_test::processNamePrefix("TT") + std::to_string(counter++);
}

// A fresh folder under $TMPDIR (or /tmp), removed with its files at the end.
class TempDir {
 public:
  TempDir() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/tools_test_XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) != nullptr) mPath = buffer.data();
  }
  ~TempDir() {
    if (!mPath.empty()) {
      std::string command = "rm -rf '" + mPath + "'";
      if (system(command.c_str()) != 0) {
      }
    }
  }
  const std::string& path() const { return mPath; }
  std::string file(const std::string& name) const { return mPath + "/" + name; }

 private:
  std::string mPath;
};

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) out.push_back(line);
  return out;
}

// A built tool run as a child process; stdout and stderr go to files in `dir`.
class ToolProcess {
 public:
  struct Options {
    std::string workDir;  // the child's working folder ("" = unchanged)
    long fileSizeLimit;   // RLIMIT_FSIZE in bytes (-1 = unchanged)
  };

  ToolProcess(const std::string& program, const std::vector<std::string>& args,
              const std::string& dir, const Options& options = Options{"", -1})
      : mOut(dir + "/stdout.txt"), mErr(dir + "/stderr.txt") {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    ::signal(SIGPIPE, SIG_IGN);  // a child that ended must not end the test with send()
    int input[2] = {-1, -1};
    if (pipe(input) != 0) return;
    mPid = fork();
    if (mPid == 0) {
      // A test that aborts must not leave the tool running.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      close(input[1]);
      int out = open(mOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int err = open(mErr.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(out, 1);
      dup2(err, 2);
      dup2(input[0], 0);
      if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0) _exit(126);
      if (options.fileSizeLimit >= 0) {
        rlimit limit{rlim_t(options.fileSizeLimit), rlim_t(options.fileSizeLimit)};
        setrlimit(RLIMIT_FSIZE, &limit);
      }
      std::vector<char*> raw;
      for (std::string& a : argv) raw.push_back(a.data());
      raw.push_back(nullptr);
      execv(raw[0], raw.data());
      _exit(127);
    }
    close(input[0]);
    mInput = input[1];
  }

  ~ToolProcess() {
    if (mInput >= 0) close(mInput);
    if (mPid > 0 && !mExited) {
      kill(mPid, SIGKILL);
      waitpid(mPid, nullptr, 0);
    }
  }

  void signal(int sig) { kill(mPid, sig); }
  // Writes `line` and an end of line to the child's standard input.
  bool send(const std::string& line) {
    const std::string text = line + "\n";
    return write(mInput, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  }

  // Waits for the exit; returns the exit status, or -1 when it did not end within `seconds`,
  // or 128 + signal when a signal ended it.
  int wait(int seconds = 20) {
    int status = 0;
    if (!testsupport::WaitFor([&] { return waitpid(mPid, &status, WNOHANG) == mPid; },
                              std::chrono::seconds(seconds))) {
      return -1;
    }
    mExited = true;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
  }

  std::string out() const { return readFile(mOut); }
  std::string err() const { return readFile(mErr); }

  // Waits until stderr holds `line` as a whole line (at most `seconds`).
  bool waitForErrLine(const std::string& line, int seconds = 20) const {
    return testsupport::WaitFor(
        [&] {
          for (const std::string& l : splitLines(err())) {
            if (l == line) return true;
          }
          return false;
        },
        std::chrono::seconds(seconds));
  }

 private:
  std::string mOut;
  std::string mErr;
  pid_t mPid = -1;
  int mInput = -1;
  bool mExited = false;
};

// Polls `pred` every millisecond for at most `seconds`.
inline bool waitUntil(const std::function<bool()>& pred, int seconds = 20) {
  return testsupport::WaitFor(pred, std::chrono::seconds(seconds));
}

}  // namespace tools_test
