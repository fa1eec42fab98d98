#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "devctl/core/file_copy.h"
#include "devctl/core/identity.h"
#include "devctl/core/netaudio_version.h"
#include "devctl/core/network_files.h"
#include "platform/net_if.h"
#include "platform/vendor_storage.h"
#include "tests/support/unit_root.h"

namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

using SystemFiles = testsupport::UnitRootFixture;

class RecordingVendorStorage : public platform::VendorStorageIo {
 public:
  int Open(const std::string& path) override {
    opened = path;
    return open_fails ? -1 : 42;
  }
  int Ioctl(int fd, unsigned long request, void* record) override {
    EXPECT_EQ(fd, 42);
    requests.push_back(request);
    const auto* bytes = static_cast<const unsigned char*>(record);
    last_record.assign(bytes, bytes + sizeof(vendor_storage_req_s));
    return ioctl_result;
  }
  void Close(int fd) override { closed.push_back(fd); }

  std::string opened;
  bool open_fails = false;
  int ioctl_result = 0;
  std::vector<unsigned long> requests;
  std::vector<int> closed;
  std::vector<unsigned char> last_record;
};

class VendorStorage : public testsupport::UnitRootFixture {
 protected:
  void SetUp() override {
    UnitRootFixture::SetUp();
    platform::SetVendorStorage(&device_);
  }
  void TearDown() override {
    platform::SetVendorStorage(nullptr);
    UnitRootFixture::TearDown();
  }
  RecordingVendorStorage device_;
};

TEST_F(VendorStorage, RecordCarriesBothAddresses) {
  EXPECT_EQ(WriteMacsToVendorStorage("02:1a:2b:3c:4d:5e", "AA:BB:CC:DD:EE:0F"), 0);
  EXPECT_EQ(device_.opened, platform::Path("/dev/vendor_storage"));
  ASSERT_EQ(device_.requests, std::vector<unsigned long>{0x40047602});
  EXPECT_EQ(device_.closed, std::vector<int>{42});
  std::vector<unsigned char> expected(1032, 0);
  const unsigned char head[] = {0x51, 0x45, 0x52, 0x56, 3,    0,    12,   0,    0x02, 0x1a,
                                0x2b, 0x3c, 0x4d, 0x5e, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0x0f};
  std::copy(std::begin(head), std::end(head), expected.begin());
  EXPECT_EQ(device_.last_record, expected);
}

TEST_F(VendorStorage, FailuresAreReportedAndNothingIsWrittenForBadText) {
  CaptureStdout();
  EXPECT_EQ(WriteMacsToVendorStorage("02:1a:2b:3c:4d:5e", ""), -1);
  EXPECT_EQ(GetCapturedStdout(), "Invalid mac address: 02:1a:2b:3c:4d:5e \n");
  EXPECT_TRUE(device_.requests.empty());
  EXPECT_EQ(device_.closed.size(), 1u);

  device_.ioctl_result = -1;
  CaptureStdout();
  EXPECT_EQ(WriteMacsToVendorStorage("02:1a:2b:3c:4d:5e", "02:1a:2b:3c:4d:5f"), -1);
  EXPECT_EQ(GetCapturedStdout(), "ioctl write failed\n");

  device_.open_fails = true;
  errno = ENOENT;
  CaptureStdout();
  EXPECT_EQ(WriteMacsToVendorStorage("02:1a:2b:3c:4d:5e", "02:1a:2b:3c:4d:5f"), -1);
  EXPECT_EQ(GetCapturedStdout().rfind("Failed to open /dev/vendor_storage: ", 0), 0u);
}

TEST_F(SystemFiles, MacFileIsCreatedOnceFromTheInterface) {
  platform::ResetSimInterfaces();
  std::string mac;
  CaptureStdout();
  LoadMacAddress(&mac);
  GetCapturedStdout();
  EXPECT_EQ(mac, "02:00:00:72:06:01");
  EXPECT_EQ(Read("/oem/mac"), "02:00:00:72:06:01");

  // A changed interface address does not replace the stored one.
  platform::SimInterface eth0;
  platform::GetSimInterface("eth0", &eth0);
  eth0.mac[5] = 0x99;
  platform::SetSimInterface("eth0", eth0);
  std::string again;
  LoadMacAddress(&again);
  EXPECT_EQ(again, "02:00:00:72:06:01");

  // Only the first word of the file counts.
  Write("/oem/sub_mac", "02:00:00:00:00:07 trailing words\n");
  std::string sub;
  LoadSubMacAddress(&sub);
  EXPECT_EQ(sub, "02:00:00:00:00:07");
  platform::ResetSimInterfaces();
}

TEST_F(SystemFiles, FailedInterfaceQueryCreatesNoMacFile) {
  platform::RemoveSimInterface("enp1s0");
  std::string sub = "before";
  CaptureStdout();
  LoadSubMacAddress(&sub);
  GetCapturedStdout();
  EXPECT_EQ(sub, "before");
  EXPECT_FALSE(Exists("/oem/sub_mac"));
  platform::ResetSimInterfaces();
  CaptureStdout();
  LoadSubMacAddress(&sub);
  GetCapturedStdout();
  EXPECT_EQ(sub, "02:00:00:72:06:02");
}

TEST_F(SystemFiles, StaticDhcpcdConfiguration) {
  EXPECT_EQ(WriteDhcpcdStaticFor("192.168.0.200", "255.255.0.0", "192.168.0.1", "8.8.8.8"), 0);
  EXPECT_EQ(Read("/etc/dhcpcd.conf"),
            "interface eth0\nstatic ip_address=192.168.0.200/16\nstatic routers=192.168.0.1\n"
            "static domain_name_servers=8.8.8.8\n# Secondary port interface\ninterface enp1s0\n"
            "# Use private address 172.31.x.x for secondary link(Tarvo convention)\n"
            "ipv4_ll_private\n");
  std::string text;
  ASSERT_TRUE(FormatDhcpcdStatic("10.1.2.3", "255.0.255.0", "10.1.2.1", "10.1.2.1", &text));
  EXPECT_NE(text.find("static ip_address=10.1.2.3/16\n"), std::string::npos);
}

TEST_F(SystemFiles, InvalidNetworkSettingsLeaveTheFileAlone) {
  Write("/etc/dhcpcd.conf", "old configuration\n");
  struct Case {
    const char *ip, *subnet, *gateway, *dns;
  } cases[] = {
      {"1.2.3.4\nscript /x", "255.255.255.0", "1.2.3.1", "1.2.3.1"},
      {"1.2.3.4", "255.255.255", "1.2.3.1", "1.2.3.1"},
      {"1.2.3.4", "255.255.255.0", "", "1.2.3.1"},
      {"1.2.3.4", "255.255.255.0", "1.2.3.1", "8.8.8.8 \nhostname x"},
      {"256.1.1.1", "255.255.255.0", "1.2.3.1", "1.2.3.1"},
  };
  CaptureStdout();
  for (const Case& c : cases) {
    EXPECT_EQ(WriteDhcpcdStaticFor(c.ip, c.subnet, c.gateway, c.dns), -1) << c.ip << c.dns;
  }
  GetCapturedStdout();
  EXPECT_EQ(Read("/etc/dhcpcd.conf"), "old configuration\n");
}

TEST_F(SystemFiles, HostnameFilesAndSymlinkedTarget) {
  Write("/etc/real_hostname", "old");
  ASSERT_EQ(symlink((root_ + "/etc/real_hostname").c_str(), (root_ + "/etc/hostname").c_str()), 0);
  EXPECT_EQ(WriteHostname("VX7206"), 0);
  EXPECT_EQ(Read("/etc/real_hostname"), "VX7206");
  struct stat st;
  ASSERT_EQ(lstat((root_ + "/etc/hostname").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(Read("/tmp/hostname"), "1");
}

TEST_F(SystemFiles, CopyIsByteIdenticalAndFailsCleanly) {
  std::string content = std::string(30000, 'a') + "\n" + std::string(5, '\0') + "end";
  Write("/oem/app.json", content);
  EXPECT_EQ(CopyTextFile("/oem/app.json", "/oem/app_preset1.json"), 0);
  EXPECT_EQ(Read("/oem/app_preset1.json"), content);

  EXPECT_EQ(CopyTextFile("/oem/missing.json", "/oem/app_preset1.json"), -1);
  EXPECT_EQ(Read("/oem/app_preset1.json"), content);
  EXPECT_EQ(CopyTextFile("/oem/app.json", "/no/such/folder/x.json"), -1);
}

TEST_F(SystemFiles, RemoveFilesLeavesFoldersAndOverlongNames) {
  const std::string dir = "/usr/local/netaudio/tarvo_package/tarvo_data/config";
  Write(dir + "/a.conf", "a");
  Write(dir + "/b", "b");
  Write(dir + "/sub/inner", "i");
  // Joined with the folder this name is longer than 255 characters.
  std::string long_name(255 - dir.size(), 'n');
  Write(dir + "/" + long_name, "kept");
  Write(dir + "/" + long_name.substr(0, long_name.size() - 1), "removed");
  ClearTarvoConfigDir();
  EXPECT_FALSE(Exists(dir + "/a.conf"));
  EXPECT_FALSE(Exists(dir + "/b"));
  EXPECT_FALSE(Exists(dir + "/" + long_name.substr(0, long_name.size() - 1)));
  EXPECT_TRUE(Exists(dir + "/" + long_name));
  EXPECT_EQ(Read(dir + "/sub/inner"), "i");
  EXPECT_EQ(RemoveFilesInDir("/no/such/folder"), 1);
  EXPECT_EQ(RemoveFilesInDir(dir.c_str()), 0);
}

TEST_F(SystemFiles, NetaudioVersionFromThePackageFiles) {
  struct Case {
    const char* version;  // nullptr: no file
    const char* date;     // nullptr: no file
    const char* expected;
  } cases[] = {
      {"NETAUDIO_VERSION=1.2\n", "20240101\n", "V1.2_20240101"},
      {"NETAUDIO_VERSION=1.2\n", nullptr, "V1.2"},
      {"NETAUDIO_VERSION=1.2\n", "", "V1.2_"},
      {"name=tarvo build=7\nNETAUDIO_VERSION=3.4.5 more", "d1 d2", "V3.4.5_d1"},
      {"xNETAUDIO_VERSION=9", nullptr, "V9"},
      {"VERSION=1.2 other words\n", "20240101", ""},
      {"", "20240101", ""},
      {nullptr, "20240101", ""},
  };
  for (const Case& c : cases) {
    std::remove(platform::Path(kNetaudioVersionFile).c_str());
    std::remove(platform::Path(kNetaudioVersionDateFile).c_str());
    if (c.version) Write(kNetaudioVersionFile, c.version);
    if (c.date) Write(kNetaudioVersionDateFile, c.date);
    EXPECT_EQ(ParseNetaudioVersion(kNetaudioVersionFile, kNetaudioVersionDateFile), c.expected)
        << (c.version ? c.version : "(none)");
  }
}

}  // namespace
