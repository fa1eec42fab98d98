// A fresh simulated unit folder per test: every unit path resolves below it.
#pragma once

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/paths.h"

class UnitRoot : public ::testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/devctl_boot.XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    root_ = templ;
    platform::SetRoot(root_);
    for (const char* dir : {"/oem", "/etc", "/tmp", "/dev", "/sim"}) MakeDir(dir);
  }
  void TearDown() override {
    platform::SetRoot("");
    std::string cmd = "rm -rf '" + root_ + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }

  static void MakeDir(const std::string& unit_path) {
    std::string path = platform::Path(unit_path + "/x");
    ASSERT_TRUE(platform::MakeParentDirs(path));
  }
  static void Write(const std::string& unit_path, const std::string& data) {
    std::string path = platform::Path(unit_path);
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
    struct stat st;
    return stat(platform::Path(unit_path).c_str(), &st) == 0;
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
