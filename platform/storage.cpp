#include "platform/storage.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>

#include "platform/state_resets.h"

namespace platform {
namespace {

std::atomic<long> g_sync_count{0};
std::atomic<long> g_fail_after{-1};
std::atomic<bool> g_host_sync{true};
std::atomic<long long> g_available_for_test{-1};
std::atomic<unsigned> g_temp_counter{0};
std::function<void(WriteStep)> g_step_hook;
size_t g_max_write_bytes = 0;
std::mutex g_failing_mutex;
std::string g_failing_folder;  // under g_failing_mutex

// The failures and limits a test asked for end with the test.
const StateReset kReset([] {
  g_fail_after.store(-1);
  g_available_for_test.store(-1);
  std::lock_guard<std::mutex> lock(g_failing_mutex);
  g_failing_folder.clear();
});

bool UnderFailingFolder(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_failing_mutex);
  if (g_failing_folder.empty()) return false;
  return path.compare(0, g_failing_folder.size(), g_failing_folder) == 0 &&
         (path.size() == g_failing_folder.size() || path[g_failing_folder.size()] == '/');
}

void Step(WriteStep step) {
  if (g_step_hook) g_step_hook(step);
}

bool WriteAll(int fd, const char* data, size_t size) {
  long fail_after = g_fail_after.load();
  size_t done = 0;
  while (done < size) {
    size_t chunk = size - done;
    if (fail_after >= 0) {
      if (done >= size_t(fail_after)) {
        errno = ENOSPC;
        return false;
      }
      chunk = std::min(chunk, size_t(fail_after) - done);
    }
    if (g_max_write_bytes > 0) chunk = std::min(chunk, g_max_write_bytes);
    Step(WriteStep::kWrite);
    ssize_t n = write(fd, data + done, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += size_t(n);
  }
  return true;
}

}  // namespace

bool WriteFileAtomic(const std::string& resolved_path, const std::string& data) {
  // A per-process, per-call temporary name keeps concurrent writers of one file apart.
  std::string temp = resolved_path + ".tmp." + std::to_string(getpid()) + "." +
                     std::to_string(g_temp_counter.fetch_add(1));
  Step(WriteStep::kOpen);
  if (UnderFailingFolder(resolved_path)) {
    errno = ENOSPC;
    return false;
  }
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, data.data(), data.size());
  if (ok) {
    Step(WriteStep::kFsync);
    ok = fsync(fd) == 0;
  }
  if (close(fd) != 0) ok = false;
  if (ok) {
    Step(WriteStep::kRename);
    ok = rename(temp.c_str(), resolved_path.c_str()) == 0;
    if (ok) Step(WriteStep::kRenamed);
  }
  if (!ok) unlink(temp.c_str());
  return ok;
}

void RemoveStaleTemporaries(const std::string& resolved_path) {
  std::string::size_type slash = resolved_path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : resolved_path.substr(0, slash + 1);
  std::string prefix =
      (slash == std::string::npos ? resolved_path : resolved_path.substr(slash + 1)) + ".tmp.";
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (dirent* entry = readdir(dir)) {
    if (std::string(entry->d_name).compare(0, prefix.size(), prefix) == 0) {
      unlink((folder + "/" + entry->d_name).c_str());
    }
  }
  closedir(dir);
}

void SyncFileSystems() {
  ++g_sync_count;
  if (g_host_sync.load()) sync();
}

namespace {
// path itself when it exists, else its nearest existing parent folder; "" when none can be found.
std::string NearestExisting(std::string path) {
  struct stat st;
  while (stat(path.c_str(), &st) != 0) {
    const std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos || path == "/") return "";
    path = slash == 0 ? "/" : path.substr(0, slash);
  }
  return path;
}

// The device of the file system that holds path or its nearest existing parent folder.
bool FileSystemOf(const std::string& path, dev_t* device) {
  struct stat st;
  const std::string existing = NearestExisting(path);
  if (existing.empty() || stat(existing.c_str(), &st) != 0) return false;
  *device = st.st_dev;
  return true;
}
}  // namespace

uint64_t AvailableBytes(const std::string& resolved_path) {
  const long long forced = g_available_for_test.load();
  if (forced >= 0) return uint64_t(forced);
  const std::string existing = NearestExisting(resolved_path);
  struct statvfs fs;
  if (existing.empty() || statvfs(existing.c_str(), &fs) != 0) return 0;
  return uint64_t(fs.f_bavail) * uint64_t(fs.f_frsize);
}

bool OnSameFileSystem(const std::string& resolved_a, const std::string& resolved_b) {
  dev_t a, b;
  return FileSystemOf(resolved_a, &a) && FileSystemOf(resolved_b, &b) && a == b;
}

void SetAvailableBytesForTest(long long bytes) { g_available_for_test.store(bytes); }

void SetHostSync(bool enabled) { g_host_sync.store(enabled); }

long SyncCount() { return g_sync_count.load(); }

void FailWritesAfter(long bytes) { g_fail_after.store(bytes); }

void FailWritesUnder(const std::string& resolved_folder) {
  std::lock_guard<std::mutex> lock(g_failing_mutex);
  g_failing_folder = resolved_folder;
  while (g_failing_folder.size() > 1 && g_failing_folder.back() == '/') g_failing_folder.pop_back();
}

void SetWriteStepHook(std::function<void(WriteStep)> hook, size_t max_write_bytes) {
  g_step_hook = std::move(hook);
  g_max_write_bytes = max_write_bytes;
}

}  // namespace platform
