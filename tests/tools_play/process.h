// Child processes for end-to-end tests: stdout and stderr go to files in a test folder, stdin
// is an optional pipe. Waits are bounded (a hung program fails the test instead of hanging it).
#pragma once

#include <fcntl.h>
#include <sys/prctl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/wait_for.h"

class Process {
 public:
  Process(const std::vector<std::string>& argv, const std::string& dir, const std::string& tag,
          bool withStdin = false)
      : mOutPath(dir + "/" + tag + ".out"), mErrPath(dir + "/" + tag + ".err") {
    int in[2] = {-1, -1};
    if (withStdin && pipe(in) != 0) return;
    mPid = fork();
    if (mPid == 0) {
      // A test that aborts must not leave a player or an engine running.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      int out = open(mOutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int err = open(mErrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(out, 1);
      dup2(err, 2);
      if (withStdin) {
        dup2(in[0], 0);
        close(in[1]);
      } else {
        int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
      }
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
    if (withStdin) {
      close(in[0]);
      mStdin = in[1];
    }
  }

  ~Process() {
    if (mStdin >= 0) close(mStdin);
    if (mPid > 0 && mStatus < 0) {
      kill(mPid, SIGKILL);
      waitpid(mPid, nullptr, 0);
    }
  }

  void send(const std::string& line) {
    const std::string text = line + "\n";
    if (mStdin >= 0 && write(mStdin, text.data(), text.size()) < 0) {
    }
  }
  void signal(int sig) { kill(mPid, sig); }

  // Exit status, or -1 when the program is still running after timeoutMs (it is then killed).
  int wait(int timeoutMs = 30000) {
    if (mStatus >= 0) return mStatus;
    int status = 0;
    if (testsupport::WaitFor([&] { return waitpid(mPid, &status, WNOHANG) == mPid; },
                             std::chrono::milliseconds(timeoutMs))) {
      mStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return mStatus;
    }
    kill(mPid, SIGKILL);
    waitpid(mPid, nullptr, 0);
    mStatus = 1000;
    return -1;
  }

  bool running() {
    int status = 0;
    if (mStatus >= 0) return false;
    if (waitpid(mPid, &status, WNOHANG) == mPid) {
      mStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return false;
    }
    return true;
  }

  std::string out() const { return readFile(mOutPath); }
  std::string err() const { return readFile(mErrPath); }

  // Waits (bounded) until `predicate(this)` holds.
  template <typename Pred>
  bool waitFor(Pred predicate, int timeoutMs = 20000) {
    return testsupport::WaitFor([&] { return predicate(*this); },
                                std::chrono::milliseconds(timeoutMs));
  }

  static std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

 private:
  pid_t mPid = -1;
  int mStdin = -1;
  int mStatus = -1;
  std::string mOutPath;
  std::string mErrPath;
};
