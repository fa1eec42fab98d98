// Area names unique to one test process, so tests can run in parallel.
#pragma once

#include <string>
#include <unistd.h>

namespace tarvo_test {

// "TS<pid>_<n>": short enough for the split layout's "Tx"/"Rx" suffixes.
inline std::string uniqueAreaName() {
  static int counter = 0;
  return "TS" + std::to_string(getpid()) + "_" + std::to_string(counter++);
}

}  // namespace tarvo_test
