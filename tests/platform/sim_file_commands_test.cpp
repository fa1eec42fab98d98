// The simulated unit's stand-ins for the file tools: they act inside the unit root only, and a
// line they cannot place there is refused without touching anything.
#include <gtest/gtest.h>

#include "platform/sim_file_commands.h"
#include "tests/support/upload_fixture.h"

namespace uploadtest {
namespace {

class SimFileCommandsTest : public UploadTest {};

TEST_F(SimFileCommandsTest, LinesThatLeaveTheRootAreRefused) {
  std::string outside = scratch_ + "/outside";
  PutFile(outside + "/keep", "keep");
  PutUnitFile("/tmp/a/file", "a");
  // A name of this run's own, so that another run's leftovers cannot fail or hide the check.
  const std::string escape = fs::path(root_).filename().string() + "-escape";
  const std::string lines[] = {
      "rm -rf /tmp/../../" + fs::path(scratch_).filename().string() + "/outside",
      "rm -rf tmp/a",
      "rm -rf /",
      "cp -rf /tmp/a ../" + escape,
      "cp -rf /tmp/a",
      "(mkdir -p /tmp/../" + escape +
          ") && (tar --no-same-owner --no-same-permissions -x -C /tmp/../" + escape +
          " -f /tmp/t.tar)",
      "tar --no-same-owner --no-same-permissions -x -C /tmp -f /tmp/../t.tar",
      "tar -x -C /tmp -f /tmp/t.tar",
      "reboot",
      "dd if=/dev/zero of=/tmp/a/file",
  };
  for (const auto& line : lines) {
    EXPECT_NE(platform::RunSimFileCommand(line, nullptr), 0) << line;
  }
  EXPECT_EQ(ReadFile(outside + "/keep"), "keep");
  EXPECT_EQ(UnitFile("/tmp/a/file"), "a");
  EXPECT_FALSE(fs::exists(fs::path(root_).parent_path() / escape));
}

TEST_F(SimFileCommandsTest, WithoutARootNothingRuns) {
  platform::SetRoot("");
  PutFile(scratch_ + "/keep", "keep");
  EXPECT_EQ(platform::RunSimFileCommand("rm -rf " + scratch_ + "/keep", nullptr), 127);
  platform::SetRoot(root_);
  EXPECT_EQ(ReadFile(scratch_ + "/keep"), "keep");
}

TEST_F(SimFileCommandsTest, ToolsActInsideTheRoot) {
  PutUnitFile("/src/config/a", "a");
  PutUnitFile("/src/config/sub/b", "b");
  fs::create_directories(root_ + "/oem");
  EXPECT_EQ(platform::RunSimFileCommand("cp /src/config /oem -af", nullptr), 0);
  EXPECT_EQ(UnitFile("/oem/config/sub/b"), "b");
  EXPECT_EQ(platform::RunSimFileCommand("cp -rf /src/config /oem/copy", nullptr), 0);
  EXPECT_EQ(UnitFile("/oem/copy/a"), "a");
  // "a && b" stops at the first failure.
  EXPECT_NE(platform::RunSimFileCommand("cp /missing /oem -af && rm -rf /oem", nullptr), 0);
  EXPECT_TRUE(UnitExists("/oem/config"));
  EXPECT_EQ(platform::RunSimFileCommand("umount -f /dev/loop0 && rm /oem -rf", nullptr), 0);
  EXPECT_FALSE(UnitExists("/oem"));
  std::string tar = MakeTar({{"d/f", "content"}});
  PutUnitFile("/tmp/t.tar", tar);
  std::string listing;
  EXPECT_EQ(platform::RunSimFileCommand("tar -tf /tmp/t.tar", &listing), 0);
  EXPECT_EQ(listing, "d/f\n");
  EXPECT_EQ(platform::RunSimFileCommand("(mkdir -p /run/x) && (tar --no-same-owner "
                                        "--no-same-permissions -x -C /run/x -f /tmp/t.tar)",
                                        nullptr),
            0);
  EXPECT_EQ(UnitFile("/run/x/d/f"), "content");
}

}  // namespace
}  // namespace uploadtest
