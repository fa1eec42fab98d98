#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/command.h"
#include "platform/listen_port.h"
#include "platform/paths.h"
#include "platform/storage.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class TempRoot : public ::testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/platform_test.XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    root_ = templ;
    platform::SetRoot(root_);
  }
  void TearDown() override {
    platform::SetRoot("");
    std::string cmd = "rm -rf '" + root_ + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  std::string root_;
};

TEST_F(TempRoot, PathsArePlacedUnderTheRoot) {
  EXPECT_EQ(platform::Path("/oem/app.json"), root_ + "/oem/app.json");
  EXPECT_EQ(platform::Path("relative/file"), "relative/file");
  platform::SetRoot(root_ + "///");
  EXPECT_EQ(platform::Path("/tmp/reboot"), root_ + "/tmp/reboot");
}

TEST_F(TempRoot, AtomicWriteReplacesWholeFileOrNothing) {
  std::string target = platform::Path("/oem/app.json");
  ASSERT_TRUE(platform::MakeParentDirs(target));
  ASSERT_TRUE(platform::WriteFileAtomic(target, "first version\n"));
  EXPECT_EQ(ReadFile(target), "first version\n");

  platform::FailWritesAfter(5);
  EXPECT_FALSE(platform::WriteFileAtomic(target, "second, longer version\n"));
  platform::FailWritesAfter(-1);
  EXPECT_EQ(ReadFile(target), "first version\n");

  // No temporary file is left behind after the failure.
  EXPECT_EQ(std::system(("test $(ls '" + root_ + "/oem' | wc -l) -eq 1").c_str()), 0);
}

TEST_F(TempRoot, AtomicWriteFailsWhenFolderIsMissing) {
  EXPECT_FALSE(platform::WriteFileAtomic(platform::Path("/missing/dir/file"), "x"));
}

TEST_F(TempRoot, StaleTemporariesOfOneFileAreRemoved) {
  std::string target = platform::Path("/oem/app.json");
  ASSERT_TRUE(platform::MakeParentDirs(target));
  for (const char* name : {"app.json", "app.json.tmp.12.0", "app.json.tmp.99.7", "app.json.bad",
                           "app_preset1.json.tmp.12.0", "other.tmp.1.1"}) {
    std::ofstream(root_ + "/oem/" + name) << "x";
  }
  platform::RemoveStaleTemporaries(target);
  std::set<std::string> left;
  DIR* dir = opendir((root_ + "/oem").c_str());
  ASSERT_NE(dir, nullptr);
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') left.insert(entry->d_name);
  }
  closedir(dir);
  EXPECT_EQ(left, (std::set<std::string>{"app.json", "app.json.bad", "app_preset1.json.tmp.12.0",
                                         "other.tmp.1.1"}));
}

// A socket listening on a free port of every address, with SO_REUSEPORT or without; its port
// through *port. -1 when it could not be opened.
int ListenElsewhere(bool reuse_port, uint16_t* port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int one = 1;
  if (reuse_port) setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  socklen_t length = sizeof addr;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 1) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
    close(fd);
    return -1;
  }
  *port = ntohs(addr.sin_port);
  return fd;
}

// A port another program listens on is taken, whatever options it listens with: a control server
// can neither listen beside it (and receive half of its connections) nor be told it is free.
TEST(ListenPort, APortAnySocketListensOnIsTaken) {
  for (bool reuse_port : {true, false}) {
    SCOPED_TRACE(reuse_port ? "holder with SO_REUSEPORT" : "plain holder");
    uint16_t port = 0;
    const int holder = ListenElsewhere(reuse_port, &port);
    ASSERT_GE(holder, 0);
    EXPECT_FALSE(platform::CanListenOn(port));
    const int server = platform::OpenListenSocket(port, 4);
    EXPECT_LT(server, 0);
    if (server >= 0) close(server);
    close(holder);
    EXPECT_TRUE(platform::CanListenOn(port));
  }
  // A control server's own socket holds its port the same way.
  const int server = platform::OpenListenSocket(0, 4);
  ASSERT_GE(server, 0);
  sockaddr_in addr{};
  socklen_t length = sizeof addr;
  ASSERT_EQ(getsockname(server, reinterpret_cast<sockaddr*>(&addr), &length), 0);
  const uint16_t port = ntohs(addr.sin_port);
  EXPECT_FALSE(platform::CanListenOn(port));
  const int second = platform::OpenListenSocket(port, 4);
  EXPECT_LT(second, 0);
  if (second >= 0) close(second);
  close(server);
  for (int outside : {0, -1, 65536}) EXPECT_FALSE(platform::CanListenOn(outside)) << outside;
}

TEST(Clock, FakeClockMovesOnlyWhenSleptOn) {
  platform::FakeClock fake;
  platform::SetClock(&fake);
  int64_t start = platform::NowMs();
  platform::SleepMs(15000);
  EXPECT_EQ(platform::NowMs() - start, 15000);
  fake.Advance(500000);
  EXPECT_EQ(platform::NowMs() - start, 15500);
  EXPECT_EQ(fake.SleptUs(), 15000000);
  platform::SetClock(nullptr);
}

TEST(Commands, RecorderAnswersFromLongestMatchingPrefix) {
  platform::RecordingCommandRunner runner;
  platform::SetCommandRunner(&runner);
  runner.SetReply("cat", 1, "short");
  runner.SetReply("cat /tmp/mcu", 0, "V1.2");
  std::string out;
  EXPECT_EQ(platform::RunCommand("cat /tmp/mcu_version", &out), 0);
  EXPECT_EQ(out, "V1.2");
  EXPECT_EQ(platform::RunCommand("reboot"), 0);
  EXPECT_EQ(runner.Commands(), (std::vector<std::string>{"cat /tmp/mcu_version", "reboot"}));
  platform::SetCommandRunner(nullptr);
}

}  // namespace
