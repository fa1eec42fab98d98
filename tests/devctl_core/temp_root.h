// A fresh folder as the unit's root for each test, with "/oem" in it.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/paths.h"

class TempRoot : public ::testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/devctl_core_test.XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    root_ = templ;
    platform::SetRoot(root_);
    ASSERT_EQ(mkdir((root_ + "/oem").c_str(), 0755), 0);
  }
  void TearDown() override {
    platform::SetRoot("");
    std::string cmd = "rm -rf '" + root_ + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }

  // Reads or writes a unit path below the root.
  static std::string ReadUnitFile(const std::string& unit_path) {
    std::ifstream in(platform::Path(unit_path), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static void WriteUnitFile(const std::string& unit_path, const std::string& text) {
    std::ofstream out(platform::Path(unit_path), std::ios::binary | std::ios::trunc);
    out << text;
  }
  static bool UnitFileExists(const std::string& unit_path) {
    return access(platform::Path(unit_path).c_str(), F_OK) == 0;
  }

  std::string root_;
};
