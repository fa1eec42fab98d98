// A simulated unit for the upload tests: the simulated unit fixture, plus a command
// runner that records every line and acts the file tools out inside the unit root, and helpers
// that build packages with GNU tar in a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "devctl/core/upgrade_staging.h"
#include "platform/command.h"
#include "platform/paths.h"
#include "platform/sim_file_commands.h"
#include "tests/support/sim_unit.h"

namespace uploadtest {

namespace fs = std::filesystem;

class UploadTest : public testsupport::SimUnitFixture {
 protected:
  void SetUp() override {
    SimUnitFixture::SetUp();
    platform::InstallSimFileCommands(runner_);
    platform::SetCommandRunner(&runner_);
    scratch_ = root_ + "-scratch";
    fs::create_directories(scratch_);
    MakeUnitFolders();
  }
  // The folders every unit has.
  void MakeUnitFolders() const {
    for (const char* dir : {"/oem", "/tmp", "/run", "/userdata"})
      fs::create_directories(root_ + dir);
  }
  void TearDown() override {
    platform::SetCommandRunner(nullptr);
    std::error_code ec;
    fs::remove_all(scratch_, ec);
    SimUnitFixture::TearDown();
  }

  // A unit file's content ("<missing>" when absent).
  std::string UnitFile(const std::string& unit_path) const {
    std::ifstream in(root_ + unit_path, std::ios::binary);
    if (!in) return "<missing>";
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  bool UnitExists(const std::string& unit_path) const { return fs::exists(root_ + unit_path); }
  void PutUnitFile(const std::string& unit_path, const std::string& data) const {
    PutFile(root_ + unit_path, data);
  }
  static void PutFile(const std::string& path, const std::string& data) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << data;
  }

  // A tar of the files (relative path -> content), made by GNU tar; extra options go before the
  // member names (e.g. "-P --transform=s,^x,../x,").
  std::string MakeTar(const std::map<std::string, std::string>& files,
                      const std::string& options = "") {
    std::string dir = scratch_ + "/content" + std::to_string(++tars_);
    std::string names;
    for (const auto& [name, data] : files) {
      PutFile(dir + "/" + name, data);
      names += " '" + name + "'";
    }
    std::string tar = scratch_ + "/package" + std::to_string(tars_) + ".tar";
    std::string command = "tar -C '" + dir + "' -cf '" + tar + "' " + options + names;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return ReadFile(tar);
  }
  // One member of a tar written header by header: any type a package could carry, made without
  // privileges (a device node, a FIFO, a link, a set-user-id file).
  struct RawMember {
    std::string name;
    char type;  // '0' file, '1' hard link, '2' symbolic link, '3' char device, '5' folder, '6' FIFO
    std::string data_or_target;  // the content of a file, the target of a link
    unsigned mode = 0644;
  };
  static std::string MakeRawTar(const std::vector<RawMember>& members) {
    std::string tar;
    for (const RawMember& m : members) {
      char header[512] = {};
      std::snprintf(header, 100, "%s", m.name.c_str());
      std::snprintf(header + 100, 8, "%07o", m.mode);
      std::snprintf(header + 108, 8, "%07o", 0u);
      std::snprintf(header + 116, 8, "%07o", 0u);
      const size_t size = m.type == '0' ? m.data_or_target.size() : 0;
      std::snprintf(header + 124, 12, "%011zo", size);
      std::snprintf(header + 136, 12, "%011o", 0u);
      header[156] = m.type;
      if (m.type == '1' || m.type == '2')
        std::snprintf(header + 157, 100, "%s", m.data_or_target.c_str());
      std::memcpy(header + 257, "ustar", 6);
      std::memcpy(header + 263, "00", 2);
      if (m.type == '3') {
        std::snprintf(header + 329, 8, "%07o", 1u);  // /dev/zero's numbers
        std::snprintf(header + 337, 8, "%07o", 5u);
      }
      std::memset(header + 148, ' ', 8);
      unsigned sum = 0;
      for (unsigned char c : header) sum += c;
      std::snprintf(header + 148, 8, "%06o", sum);
      tar.append(header, sizeof header);
      if (size > 0) {
        tar += m.data_or_target;
        tar.append((512 - size % 512) % 512, '\0');
      }
    }
    tar.append(1024, '\0');
    return tar;
  }

  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // Every command line run so far, in order.
  std::vector<std::string> Commands() const { return runner_.Commands(); }

  platform::RecordingCommandRunner runner_;
  std::string scratch_;
  int tars_ = 0;
};

}  // namespace uploadtest
