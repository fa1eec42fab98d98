#include "platform/sim_file_commands.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/paths.h"

extern char** environ;

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr int kRefused = 1;
constexpr int kNotRun = 127;

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t start = text.find_first_not_of(' ', pos);
    if (start == std::string::npos) break;
    size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    words.push_back(text.substr(start, end - start));
    pos = end;
  }
  return words;
}

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

// A unit path placed under the root; empty when it is not absolute or climbs with "..".
std::string UnderRoot(const std::string& unit_path) {
  if (unit_path.empty() || unit_path[0] != '/') return "";
  for (const auto& part : fs::path(unit_path)) {
    if (part == "..") return "";
  }
  return Path(unit_path);
}

// Runs a program (found on PATH) with standard input on the null device, collecting its standard
// output when asked. Returns its exit status, or -1.
int Spawn(const std::vector<std::string>& args, std::string* output) {
  int pipe_fds[2] = {-1, -1};
  if (output && pipe2(pipe_fds, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (output) {
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  }
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (output) close(pipe_fds[1]);
  if (rc != 0) {
    if (output) close(pipe_fds[0]);
    return -1;
  }
  if (output) {
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipe_fds[0], buffer, sizeof buffer)) != 0) {
      if (n < 0) {
        if (errno == EINTR) continue;
        break;
      }
      output->append(buffer, size_t(n));
    }
    close(pipe_fds[0]);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Options of the form "-rf" / "-af" wherever they stand; the rest are the operands.
void SplitOptions(const std::vector<std::string>& words, std::string* options,
                  std::vector<std::string>* operands) {
  for (size_t i = 1; i < words.size(); ++i) {
    if (words[i].size() > 1 && words[i][0] == '-') {
      *options += words[i].substr(1);
    } else {
      operands->push_back(words[i]);
    }
  }
}

int Remove(const std::vector<std::string>& words) {
  std::string options;
  std::vector<std::string> operands;
  SplitOptions(words, &options, &operands);
  if (operands.empty()) return kRefused;
  for (const auto& operand : operands) {
    std::string target = UnderRoot(operand);
    if (target.empty() || operand == "/") return kRefused;
    std::error_code ec;
    fs::remove_all(target, ec);
    if (ec) return kRefused;
  }
  return 0;
}

int MakeDirs(const std::vector<std::string>& words) {
  if (words.size() != 3 || words[1] != "-p") return kRefused;
  std::string target = UnderRoot(words[2]);
  if (target.empty()) return kRefused;
  std::error_code ec;
  fs::create_directories(target, ec);
  return ec ? kRefused : 0;
}

// "tar --no-same-owner --no-same-permissions -x -C DIR -f FILE", "tar -tf FILE" and
// "tar -tvf FILE", run by GNU tar on the files under the root.
int Tar(const std::vector<std::string>& words, std::string* output) {
  if (words.size() == 8 && words[1] == "--no-same-owner" && words[2] == "--no-same-permissions" &&
      words[3] == "-x" && words[4] == "-C" && words[6] == "-f") {
    std::string dir = UnderRoot(words[5]);
    std::string file = UnderRoot(words[7]);
    if (dir.empty() || file.empty()) return kRefused;
    // GNU tar refuses "../" members and strips a leading "/" by default.
    return Spawn({"tar", "--no-same-owner", "--no-same-permissions", "-x", "-C", dir, "-f", file},
                 nullptr);
  }
  if (words.size() == 3 && (words[1] == "-tf" || words[1] == "-tvf")) {
    std::string file = UnderRoot(words[2]);
    if (file.empty()) return kRefused;
    std::string listing;
    // The verbose listing in a fixed locale, so its type column reads the same everywhere.
    int status = Spawn({"env", "LC_ALL=C", "tar", words[1], file}, &listing);
    if (output) *output += listing;
    return status;
  }
  return kRefused;
}

// "cp [-af|-rf] SOURCE TARGET": a directory is copied whole; a target that is a directory
// receives the source under its own name.
int Copy(const std::vector<std::string>& words) {
  std::string options;
  std::vector<std::string> operands;
  SplitOptions(words, &options, &operands);
  if (operands.size() != 2) return kRefused;
  std::string source = UnderRoot(operands[0]);
  std::string target = UnderRoot(operands[1]);
  if (source.empty() || target.empty()) return kRefused;
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(source, ec))) return kRefused;
  if (fs::is_directory(target, ec))
    target = (fs::path(target) / fs::path(source).filename()).string();
  fs::copy(source, target,
           fs::copy_options::recursive | fs::copy_options::overwrite_existing |
               fs::copy_options::copy_symlinks,
           ec);
  return ec ? kRefused : 0;
}

int UpdateEngine(const std::string& line) {
  std::string log = Path(kSimUpdateEngineLog);
  MakeParentDirs(log);
  std::ofstream out(log, std::ios::app);
  out << line << "\n";
  out.close();
  return out ? 0 : kRefused;
}

int RunSimple(const std::string& line, std::string* output) {
  std::vector<std::string> words = Words(line);
  if (words.empty()) return kRefused;
  const std::string& tool = words[0];
  if (tool == "rm") return Remove(words);
  if (tool == "mkdir") return MakeDirs(words);
  if (tool == "tar") return Tar(words, output);
  if (tool == "cp") return Copy(words);
  if (tool == "umount" || tool == "sleep" || tool == "sync") return 0;
  if (tool == "updateEngine") return UpdateEngine(line);
  return kNotRun;
}

}  // namespace

int RunSimFileCommand(const std::string& command, std::string* output) {
  if (Root().empty()) return kNotRun;
  std::string line = Trim(command);
  if (line.size() > 2 && line.compare(line.size() - 2, 2, " &") == 0) {
    line = Trim(line.substr(0, line.size() - 2));
  }
  size_t pos = 0;
  while (true) {
    size_t next = line.find(" && ", pos);
    std::string part =
        Trim(line.substr(pos, next == std::string::npos ? std::string::npos : next - pos));
    if (part.size() >= 2 && part.front() == '(' && part.back() == ')') {
      part = Trim(part.substr(1, part.size() - 2));
    }
    int status = RunSimple(part, output);
    if (status != 0 || next == std::string::npos) return status;
    pos = next + 4;
  }
}

void InstallSimFileCommands(RecordingCommandRunner& runner) {
  for (const char* prefix : {"rm ", "(mkdir -p ", "tar ", "cp ", "umount ", "sleep 1 && "}) {
    runner.SetStandIn(prefix, RunSimFileCommand);
  }
}

}  // namespace platform
