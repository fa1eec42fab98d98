// Area names unique to one test process, so tests can run in parallel.
#pragma once

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace tarvo_test {

// Removes what is left in /dev/shm under names that start with `prefix` (areas, their split
// halves and their timing semaphores), e.g. after an engine that had to be killed.
inline void removeSharedMemoryNames(const std::string& prefix) {
  DIR* dir = opendir("/dev/shm");
  if (dir == nullptr) return;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name.rfind("sem.", 0) == 0) name = name.substr(4);
    if (name.rfind(prefix, 0) == 0) std::remove((std::string("/dev/shm/") + entry->d_name).c_str());
  }
  closedir(dir);
}

// The names of this process ("<tag><pid>_") are removed when it ends.
inline std::string processNamePrefix(const std::string& tag) {
  static std::vector<std::string> prefixes;
  const std::string prefix = tag + std::to_string(getpid()) + "_";
  if (std::find(prefixes.begin(), prefixes.end(), prefix) == prefixes.end()) {
    if (prefixes.empty()) {
      atexit([] {
        for (const std::string& p : prefixes) removeSharedMemoryNames(p);
      });
    }
    prefixes.push_back(prefix);
  }
  return prefix;
}

// "TS<pid>_<n>": short enough for the split layout's "Tx"/"Rx" suffixes.
inline std::string uniqueAreaName() {
  static int counter = 0;
  return processNamePrefix("TS") + std::to_string(counter++);
}

}  // namespace tarvo_test
