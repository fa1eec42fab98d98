// A private folder as the unit's root for one test (every unit path resolves below it), with the
// usual folders in it, removed afterwards; and small helpers to read and write unit files.
#pragma once

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "platform/storage.h"

namespace testsupport {

class UnitRootFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/devctl_unit.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    platform::SetRoot(root_);
    platform::SetHostSync(false);  // saves are counted, not flushed to the host's disks
    for (const char* dir : {"/oem", "/etc", "/tmp", "/dev", "/sim", "/usr/local/backend/apps"}) {
      MakeDir(dir);
    }
  }
  void TearDown() override {
    platform::SetHostSync(true);
    platform::SetRoot("");
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

  static void MakeDir(const std::string& unit_path) {
    std::error_code ec;
    std::filesystem::create_directories(platform::Path(unit_path), ec);
  }
  static void Write(const std::string& unit_path, const std::string& data) {
    const std::string path = platform::Path(unit_path);
    platform::MakeParentDirs(path);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
  }
  static std::string Read(const std::string& unit_path) {
    std::ifstream in(platform::Path(unit_path), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static bool Exists(const std::string& unit_path) {
    return access(platform::Path(unit_path).c_str(), F_OK) == 0;
  }

  std::string root_;
};

// Number of open descriptors of this process.
inline int OpenDescriptorCount() {
  int count = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d)) ++count;
    closedir(d);
  }
  return count;
}

}  // namespace testsupport
