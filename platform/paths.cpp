#include "platform/paths.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace platform {
namespace {

std::mutex g_root_mutex;

std::string& RootStorage() {
#ifdef DEVCTL_SIM
  static std::string root = [] {
    const char* env = std::getenv("DEVCTL_SIM_ROOT");
    std::string r = env ? env : "";
    while (r.size() > 1 && r.back() == '/') r.pop_back();
    return r;
  }();
#else
  static std::string root;
#endif
  return root;
}

}  // namespace

std::string Root() {
  std::lock_guard<std::mutex> lock(g_root_mutex);
  return RootStorage();
}

void SetRoot(const std::string& root) {
#ifdef DEVCTL_SIM
  std::lock_guard<std::mutex> lock(g_root_mutex);
  std::string r = root;
  while (r.size() > 1 && r.back() == '/') r.pop_back();
  RootStorage() = r;
#else
  (void)root;
#endif
}

std::string Path(const std::string& absolute) {
  if (absolute.empty() || absolute[0] != '/') return absolute;
  return Root() + absolute;
}

bool MakeParentDirs(const std::string& resolved) {
  std::string::size_type pos = 0;
  while ((pos = resolved.find('/', pos + 1)) != std::string::npos) {
    std::string dir = resolved.substr(0, pos);
    if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

}  // namespace platform
