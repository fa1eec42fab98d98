// A private folder as the unit's root for one test, removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/paths.h"

namespace webtest {

class UnitRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/devctl_web_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    platform::SetRoot(root_);
  }
  void TearDown() override {
    platform::SetRoot("");
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  std::string root_;
};

}  // namespace webtest
