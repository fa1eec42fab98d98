// Staging of received packages on the simulated unit: real archives made by GNU tar, the shell
// lines the unit runs (recorded, with the file tools acted out inside the unit root), the model
// check, the member check and the markers.
#include <gtest/gtest.h>

#include "devctl/core/unit_state.h"
#include "devctl/core/upgrade_staging.h"
#include "tests/support/upload_fixture.h"

namespace uploadtest {
namespace {

const char* kSocList = "tar -tf /tmp/soc.tar";
const char* kSocTypes = "tar -tvf /tmp/soc.tar";
const char* kSocUnpack =
    "(mkdir -p /tmp/soctmp) && (tar --no-same-owner --no-same-permissions -x -C /tmp/soctmp -f "
    "/tmp/soc.tar)";
const char* kNetList = "tar -tf /tmp/netaudio.tar";
const char* kNetTypes = "tar -tvf /tmp/netaudio.tar";
const char* kNetUnpack =
    "(mkdir -p /run/netaudiotmp) && (tar --no-same-owner --no-same-permissions -x -C "
    "/run/netaudiotmp -f /tmp/netaudio.tar)";

TEST(ArchiveListingTest, RefusesMembersOutsideTheFolder) {
  struct Case {
    const char* listing;
    bool safe;
  } cases[] = {
      {"backend/\nbackend/apps/product\n", true},
      {"", true},
      {"a..b/c..\n..x\n", true},
      {"backend/\n../evil\n", false},
      {"backend/../../evil\n", false},
      {"backend/..\n", false},
      {"..\n", false},
      {"/etc/passwd\n", false},
      {"backend/\n/abs", false},
      {"./backend/x\nbackend//y\n", true},
      {"backend/link\nbackend/link/passwd\n", false},
      {"backend/link\nbackend/./link//x\n", false},
      {"backend/dir/\nbackend/dir/x\nbackend/dir2\n", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(upgrade::ArchiveListingIsSafe(c.listing), c.safe) << c.listing;
  }
}

TEST(ArchiveListingTest, RefusesMembersThatAreNotFilesFoldersOrLinks) {
  struct Case {
    const char* verbose;
    bool safe;
  } cases[] = {
      {"drwxr-xr-x root/root 0 2024-01-01 00:00 backend/\n"
       "-rw-r--r-- root/root 6 2024-01-01 00:00 backend/apps/product\n"
       "lrwxrwxrwx root/root 0 2024-01-01 00:00 backend/l -> product\n",
       true},
      {"", true},
      {"crw-r--r-- root/root 1,5 2024-01-01 00:00 backend/zero\n", false},
      {"brw-r--r-- root/root 8,0 2024-01-01 00:00 backend/disk\n", false},
      {"prw-r--r-- root/root 0 2024-01-01 00:00 backend/pipe\n", false},
      {"hrw-r--r-- root/root 0 2024-01-01 00:00 backend/b link to backend/a\n", false},
      {"-rw-r--r-- root/root 6 2024-01-01 00:00 a\nsrwxr-xr-x root/root 0 2024-01-01 00:00 s\n",
       false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(upgrade::ArchiveMemberTypesAreSafe(c.verbose), c.safe) << c.verbose;
  }
}

class CheckModelFileTest : public UploadTest {};

TEST_F(CheckModelFileTest, FirstWordMustBeTheModelCode) {
  struct Case {
    const char* content;  // nullptr: no file
    int result;
  } cases[] = {
      {"VX7206", 0},  {"  \n VX7206\n", 0}, {"VX7206 build 12", 0},
      {"VX7206x", 1}, {"vx7206", 1},        {"VX720", 1},
      {"", 1},        {" \n\t", 1},         {nullptr, 1},
  };
  for (const auto& c : cases) {
    fs::remove(root_ + "/tmp/product");
    if (c.content) PutUnitFile("/tmp/product", c.content);
    EXPECT_EQ(upgrade::CheckModelFile("/tmp/product"), c.result)
        << (c.content ? c.content : "none");
  }
}

class SystemPackageTest : public UploadTest {
 protected:
  std::map<std::string, std::string> Package(const std::string& product = "VX7206\n") {
    return {{"backend/apps/product", product}, {"backend/apps/devctl", "program"}};
  }
  bool Stage(const std::string& tar) {
    PutUnitFile("/tmp/soc.tar", tar);
    return upgrade::StageSystemPackage();
  }
  // A valid package plus a link to the unit's /oem and a member written through it.
  std::string LinkPackage() {
    std::string dir = scratch_ + "/linked";
    PutFile(dir + "/backend/apps/product", "VX7206");
    PutFile(dir + "/through/upgrade_app", "forged");
    fs::create_directories(dir + "/backend");
    fs::create_directory_symlink(root_ + "/oem", dir + "/backend/oem");
    std::string tar = scratch_ + "/linked.tar";
    std::string command = "tar -C '" + dir + "' -cf '" + tar +
                          "' backend --transform=s,^through,backend/oem, through/upgrade_app";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return ReadFile(tar);
  }
};

TEST_F(SystemPackageTest, MarksTheApplicationAndAnMcuFirmwareOfAnotherVersion) {
  struct Case {
    const char* why;
    bool firmware;
    const char* package_version;  // nullptr: no version file
    const char* running_version;  // nullptr: no "/tmp/mcu_version"
    bool mcu_marker;
  } cases[] = {
      {"versions differ", true, "V2.0\n", "V1.0", true},
      {"versions equal", true, "V1.0 new\n", "V1.0\n", false},
      {"no firmware", false, "V2.0", "V1.0", false},
      {"version file missing", true, nullptr, "V1.0", true},
      {"both versions empty", true, nullptr, nullptr, false},
  };
  for (const auto& c : cases) {
    fs::remove_all(root_ + "/tmp");
    fs::remove_all(root_ + "/oem");
    MakeUnitFolders();
    g_unit.identity.mcu_version.clear();
    auto files = Package();
    if (c.firmware) files["backend/mcu/mcu_upgrade.bin"] = "firmware";
    if (c.package_version) files["backend/mcu/version"] = c.package_version;
    if (c.running_version) PutUnitFile("/tmp/mcu_version", c.running_version);
    std::string tar = MakeTar(files);
    clock_.Advance(5000000);
    ASSERT_TRUE(Stage(tar)) << c.why;
    EXPECT_EQ(UnitFile("/oem/upgrade_app"), "1") << c.why;
    EXPECT_EQ(UnitFile("/tmp/upgrade_mcu"), c.mcu_marker ? "1" : "<missing>") << c.why;
    EXPECT_EQ(AppStagedAtMs(), platform::NowMs()) << c.why;
    // The package and the unpacked folder stay for the board's scripts.
    EXPECT_TRUE(UnitFile("/tmp/soc.tar") == tar) << c.why;
    EXPECT_EQ(UnitFile("/tmp/soctmp/backend/apps/devctl"), "program") << c.why;
  }
  g_unit.identity.mcu_version.clear();
}

TEST_F(SystemPackageTest, UnpacksOnlyAfterListingAndReplacesAnEarlierFolder) {
  PutUnitFile("/tmp/soctmp/stale", "old");
  ASSERT_TRUE(Stage(MakeTar(Package())));
  EXPECT_EQ(Commands(),
            (std::vector<std::string>{"rm /tmp/soctmp -rf", kSocList, kSocTypes, kSocUnpack}));
  EXPECT_FALSE(UnitExists("/tmp/soctmp/stale"));
}

TEST_F(SystemPackageTest, RefusedPackagesAreRemovedAndNothingIsMarked) {
  struct Case {
    const char* why;
    std::string tar;
  } cases[] = {
      {"another model", MakeTar(Package("VX7207\n"))},
      {"model code with more characters", MakeTar(Package("VX7206x\n"))},
      {"no product file", MakeTar({{"backend/apps/devctl", "program"}})},
      {"no backend folder", MakeTar({{"apps/product", "VX7206"}})},
      {"not an archive", std::string(3000, 'x')},
      {"archive cut short", MakeTar(Package()).substr(0, 700)},
      {"member climbing out",
       MakeTar(Package(), "-P --transform=s,^backend/apps/devctl,../../devctl,")},
      {"absolute member", MakeTar(Package(), "-P --transform=s,^backend/apps/devctl,/tmp/devctl,")},
      {"member written through a link", LinkPackage()},
  };
  for (const auto& c : cases) {
    runner_.Clear();
    const int64_t before = AppStagedAtMs();
    clock_.Advance(1000000);
    EXPECT_FALSE(Stage(c.tar)) << c.why;
    EXPECT_FALSE(UnitExists("/oem/upgrade_app")) << c.why;
    EXPECT_FALSE(UnitExists("/tmp/upgrade_mcu")) << c.why;
    EXPECT_FALSE(UnitExists("/tmp/soctmp")) << c.why;
    EXPECT_FALSE(UnitExists("/tmp/soc.tar")) << c.why;
    EXPECT_EQ(AppStagedAtMs(), before) << c.why;
    std::vector<std::string> commands = Commands();
    ASSERT_GE(commands.size(), 2u) << c.why;
    EXPECT_EQ(commands[commands.size() - 2], "rm -rf /tmp/soctmp") << c.why;
    EXPECT_EQ(commands.back(), "rm -rf /tmp/soc.tar") << c.why;
  }
  // Nothing of the refused members reached the unit or the folders around it.
  EXPECT_FALSE(fs::exists(root_ + "/devctl"));
  EXPECT_FALSE(fs::exists(fs::path(root_).parent_path() / "devctl"));
  EXPECT_FALSE(UnitExists("/tmp/devctl"));
}

TEST_F(SystemPackageTest, MembersOutsideTheFolderAreNeverUnpacked) {
  for (const char* transform : {"s,^backend/apps/devctl,../x,", "s,^backend/apps/devctl,/x,"}) {
    runner_.Clear();
    EXPECT_FALSE(Stage(MakeTar(Package(), std::string("-P --transform=") + transform)));
    for (const auto& line : Commands()) EXPECT_EQ(line.find(" -x "), std::string::npos) << line;
  }
}

TEST_F(SystemPackageTest, AnUnwritableMarkerFailsTheStaging) {
  fs::create_directories(root_ + "/oem/upgrade_app/busy");  // a folder where the marker goes
  // Firmware of another version: its marker is written before the application's fails.
  auto files = Package();
  files["backend/mcu/mcu_upgrade.bin"] = "firmware";
  files["backend/mcu/version"] = "V9";
  PutUnitFile("/tmp/mcu_version", "V1");
  EXPECT_FALSE(Stage(MakeTar(files)));
  EXPECT_EQ(AppStagedAtMs(), 0);
  EXPECT_FALSE(UnitExists("/tmp/soc.tar"));
  // No marker is left pointing at the removed firmware.
  EXPECT_FALSE(UnitExists("/tmp/upgrade_mcu"));
}

class NetaudioPackageTest : public UploadTest {
 protected:
  std::map<std::string, std::string> Package(const std::string& product = "VX7206") {
    return {{"netaudio/tarvo_package/product", product},
            {"netaudio/tarvo_package/bin/engine", "engine"}};
  }
  bool Stage(const std::string& tar) {
    PutUnitFile("/tmp/netaudio.tar", tar);
    return upgrade::StageNetaudioPackage();
  }
};

TEST_F(NetaudioPackageTest, StagesWithoutAMountedEngine) {
  ASSERT_TRUE(Stage(MakeTar(Package())));
  EXPECT_EQ(Commands(), (std::vector<std::string>{kNetList, kNetTypes, kNetUnpack}));
  EXPECT_EQ(UnitFile("/tmp/upgrade_netaudio"), "1");
  EXPECT_EQ(UnitFile("/run/netaudiotmp/netaudio/tarvo_package/bin/engine"), "engine");
  EXPECT_EQ(NetaudioStagedAtMs(), platform::NowMs());
}

TEST_F(NetaudioPackageTest, KeepsTheMountedEnginesConfiguration) {
  PutUnitFile("/oem/tarvo/netaudio/tarvo_package/tarvo_data/config/routes", "kept");
  PutUnitFile("/run/netaudiotmp/old", "old");
  ASSERT_TRUE(Stage(MakeTar(Package())));
  EXPECT_EQ(
      Commands(),
      (std::vector<std::string>{
          "rm /run/netaudiotmp -rf", kNetList, kNetTypes, kNetUnpack,
          "umount -f /dev/loop0 && cp /oem/tarvo/netaudio/tarvo_package/tarvo_data/config /oem -af",
          "cp /oem/tarvo/netaudio/tarvo_package/tarvo_data/config /oem -af"}));
  EXPECT_EQ(UnitFile("/oem/config/routes"), "kept");
  EXPECT_EQ(UnitFile("/tmp/upgrade_netaudio"), "1");
}

TEST_F(NetaudioPackageTest, FailedConfigurationCopyCleansUp) {
  PutUnitFile("/oem/tarvo/netaudio/tarvo_package/tarvo_data/config/routes", "kept");
  runner_.SetReply("cp /oem/tarvo/netaudio/tarvo_package/tarvo_data/config /oem -af", 1);
  EXPECT_FALSE(Stage(MakeTar(Package())));
  std::vector<std::string> commands = Commands();
  ASSERT_EQ(commands.size(), 7u);
  EXPECT_EQ(commands[5], "rm -rf /run/netaudiotmp");
  EXPECT_EQ(commands[6], "rm -rf /tmp/netaudio.tar");
  EXPECT_FALSE(UnitExists("/tmp/upgrade_netaudio"));
  EXPECT_FALSE(UnitExists("/run/netaudiotmp"));
  EXPECT_FALSE(UnitExists("/tmp/netaudio.tar"));
  EXPECT_EQ(NetaudioStagedAtMs(), 0);
}

TEST_F(NetaudioPackageTest, RefusedPackagesLeaveNoMarker) {
  struct Case {
    const char* why;
    std::string tar;
  } cases[] = {
      {"another model", MakeTar(Package("VX7205"))},
      {"no netaudio folder", MakeTar({{"tarvo_package/product", "VX7206"}})},
      {"member climbing out",
       MakeTar(Package(), "-P --transform=s,^netaudio/tarvo_package/bin/engine,../engine,")},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(Stage(c.tar)) << c.why;
    EXPECT_FALSE(UnitExists("/tmp/upgrade_netaudio")) << c.why;
    EXPECT_FALSE(UnitExists("/run/netaudiotmp")) << c.why;
    EXPECT_FALSE(UnitExists("/tmp/netaudio.tar")) << c.why;
    EXPECT_EQ(NetaudioStagedAtMs(), 0) << c.why;
  }
  EXPECT_FALSE(UnitExists("/run/engine"));
}

}  // namespace
}  // namespace uploadtest
