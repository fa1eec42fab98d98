#include "devctl/text/tcp_server.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/prctl.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "devctl/text/history.h"
#include "platform/clock.h"
#include "socket_client.h"
#include "tests/support/wait_for.h"

namespace {

using namespace testclient;

const std::string kPrompt = "\r\nOK>";

// A server on an ephemeral loopback port whose dispatcher answers every line to all clients.
class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HistoryInit();
    server.on_line = [this](int, char* line, int len) {
      lines_seen++;
      line_timer_slack_ns = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
      const std::string reply = "\r\n[" + std::string(line, len - 1) + "]" + "\r\nOK>";
      server.SendAll(reply.data(), static_cast<int>(reply.size()));
    };
    ASSERT_EQ(server.Init("tcpthread", 0, CTcpserver::kModeRaw), 0);
    ASSERT_EQ(server.Start(), 0);
    port = server.BoundPort();
  }
  void TearDown() override {
    server.Stop();
    for (int fd : fds) close(fd);
  }
  int Client() {
    const int fd = Connect(port);
    fds.push_back(fd);
    return fd;
  }
  void WaitForClients(size_t n) {
    ASSERT_TRUE(testsupport::WaitFor([&] { return server.ClientCount() == n; }));
    ASSERT_EQ(server.ClientCount(), n);
  }

  CTcpserver server;
  uint16_t port = 0;
  std::vector<int> fds;
  std::atomic<int> lines_seen{0};
  std::atomic<long> line_timer_slack_ns{-1};  // of the thread that ran the last line
};

// Commands write to the DSPs, whose 5 us pauses must not stretch to the default 50 us slack.
TEST_F(ServerTest, LinesRunOnAThreadWithAShortTimerSlack) {
  const int a = Client();
  Send(a, "GAIN\r");
  EXPECT_EQ(ReadUntil(a, "OK>"), "GAIN\r\n[GAIN]\r\nOK>");
  EXPECT_EQ(line_timer_slack_ns, long(platform::kShortTimerSlackNs));
}

TEST_F(ServerTest, EchoGoesToTheTypistAndTheReplyToEveryone) {
  const int a = Client(), b = Client();
  WaitForClients(2);
  Send(a, "STATUS\r\n");
  EXPECT_EQ(ReadUntil(a, "OK>"), "STATUS\r\n[STATUS]\r\nOK>");
  EXPECT_EQ(ReadUntil(b, "OK>"), "\r\n[STATUS]\r\nOK>");
  // Three commands pasted in one write are answered in order.
  Send(b, "A\rB\rC\r");
  EXPECT_EQ(ReadUntil(a, "[C]\r\nOK>"), "\r\n[A]\r\nOK>\r\n[B]\r\nOK>\r\n[C]\r\nOK>");
}

TEST_F(ServerTest, TheClientAfterTheLastAllowedIsClosedAtOnce) {
  for (size_t i = 0; i < CTcpserver::kMaxClients; ++i) Client();
  WaitForClients(CTcpserver::kMaxClients);
  const int extra = Connect(port);
  EXPECT_TRUE(ClosedWithoutData(extra));
  close(extra);
  close(fds.back());
  fds.pop_back();
  WaitForClients(CTcpserver::kMaxClients - 1);
  const int again = Client();
  WaitForClients(CTcpserver::kMaxClients);
  Send(again, "X\r");
  EXPECT_EQ(ReadUntil(again, "OK>"), "X\r\n[X]\r\nOK>");
}

TEST_F(ServerTest, StopClosesClientsAndARestartMovesThePort) {
  const int a = Client(), b = Client();
  WaitForClients(2);
  server.Stop();
  EXPECT_TRUE(ClosedWithoutData(a));
  EXPECT_TRUE(ClosedWithoutData(b));
  EXPECT_EQ(Connect(port), -1);

  ASSERT_EQ(server.Init("tcpthread", 0, CTcpserver::kModeRaw), 0);
  ASSERT_EQ(server.Start(), 0);
  const uint16_t new_port = server.BoundPort();
  if (new_port != port) {
    EXPECT_EQ(Connect(port), -1);
  }
  port = new_port;
  const int c = Client();
  Send(c, "PON\r");
  EXPECT_EQ(ReadUntil(c, "OK>"), "PON\r\n[PON]\r\nOK>");
}

TEST(ServerStart, BusyPortFailsWithTheUsualLines) {
  const int holder = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  listen(holder, 1);
  socklen_t len = sizeof addr;
  getsockname(holder, reinterpret_cast<sockaddr*>(&addr), &len);

  CTcpserver server;
  ASSERT_EQ(server.Init("tcpthread", ntohs(addr.sin_port), CTcpserver::kModeRaw), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(server.Start(), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "bind err!\nsocketcreate fail.\n");
  EXPECT_FALSE(server.running());
  EXPECT_EQ(server.Init("x", 65536, CTcpserver::kModeRaw), -1);
  close(holder);
}

TEST_F(ServerTest, LongReplyReachesASlowReaderWhole) {
  const int slow = Connect(port, 2048);
  fds.push_back(slow);
  WaitForClients(1);
  std::string help;
  for (int i = 0; help.size() < 14000; ++i) help += "line " + std::to_string(i) + "\r\n";
  server.SendAll(help.data(), static_cast<int>(help.size()));
  usleep(50000);  // let the socket buffers fill before reading
  EXPECT_EQ(ReadBytes(slow, help.size()), help);
}

// Senders on several threads while clients come and go and one client never reads: the reading
// clients get every reply, each one whole.
TEST_F(ServerTest, SendersChurnAndAStalledClientNeverHoldUpTheOthers) {
  const int stalled = Connect(port, 4096);
  fds.push_back(stalled);
  const int readers[] = {Client(), Client()};
  WaitForClients(3);

  constexpr int kThreads = 4, kPerThread = 25;  // well below the queue bound
  std::atomic<bool> churn{true};
  std::thread churner([&] {
    while (churn) {
      const int fd = Connect(port);
      Send(fd, "X\r");
      close(fd);
    }
  });
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t) {
    senders.emplace_back([&, t] {
      const std::string reply = "<" + std::string(2000, static_cast<char>('a' + t)) + ">";
      for (int i = 0; i < kPerThread; ++i) {
        server.SendAll(reply.data(), static_cast<int>(reply.size()));
      }
    });
  }
  for (auto& t : senders) t.join();
  churn = false;
  churner.join();
  for (int fd : readers) {
    // Every reply that was sent, then whatever else follows until the server falls quiet.
    std::string got = ReadUntilCount(fd, '<', kThreads * kPerThread, 2002);
    got += ReadUntil(fd, "", 300);
    // Drop the churners' echoes and replies; what is left must be whole replies.
    std::string replies;
    for (size_t at = got.find('<'); at != std::string::npos; at = got.find('<', at + 1)) {
      ASSERT_LE(at + 2002, got.size());
      const std::string one = got.substr(at, 2002);
      EXPECT_EQ(one, "<" + std::string(2000, one[1]) + ">");
      replies += one[1];
    }
    EXPECT_EQ(replies.size(), static_cast<size_t>(kThreads * kPerThread));
  }
}

TEST_F(ServerTest, AClientThatNeverReadsIsDroppedAtTheBound) {
  const int stalled = Connect(port, 4096);
  fds.push_back(stalled);
  const int reader = Client();
  WaitForClients(2);
  const std::string chunk(16384, 's');
  std::atomic<bool> reading{true};
  std::thread drain([&] {
    while (reading) ReadUntil(reader, "", 50);
  });
  // Chunks go out until the server gives up on the client that never reads.
  EXPECT_TRUE(testsupport::WaitFor([&] {
    server.SendAll(chunk.data(), static_cast<int>(chunk.size()));
    return server.ClientCount() != 2;
  }));
  reading = false;
  drain.join();
  WaitForClients(1);
  bool closed = false;
  for (int i = 0; i < 1000 && !closed; ++i) ReadUntil(stalled, "", 1000, &closed);
  EXPECT_TRUE(closed);
}

// Broadcasts while the service loop stops and starts the server: a broadcast never writes into a
// descriptor that the server has closed and another file has taken over.
TEST(ServerRestart, BroadcastsDuringRestartsNeverHitOtherFiles) {
  CTcpserver server;
  ASSERT_EQ(server.Init("tcpthread", 0, CTcpserver::kModeRaw), 0);
  ASSERT_EQ(server.Start(), 0);
  std::atomic<bool> done{false};
  std::atomic<uint16_t> port{server.BoundPort()};
  char sentinel_path[] = "/tmp/server_sentinel_XXXXXX";
  const int keep = mkstemp(sentinel_path);
  close(keep);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      while (!done) server.SendAll("broadcast\r\n", 11);
    });
  }
  threads.emplace_back([&] {  // clients keep arriving
    while (!done) {
      const int fd = Connect(port);
      if (fd >= 0) {
        usleep(500);
        close(fd);
      }
    }
  });
  bool clean = true;
  threads.emplace_back([&] {  // files keep taking freed descriptor numbers
    while (!done) {
      const int fd = open(sentinel_path, O_RDWR | O_TRUNC);
      if (fd < 0) continue;
      usleep(200);
      char buf[16];
      if (read(fd, buf, sizeof buf) != 0) clean = false;
      close(fd);
    }
  });
  // A restart that fails ends the restarts; it is reported once the threads are joined (an
  // assertion that returned here would leave them running).
  std::string failed_restart;
  for (int i = 0; i < 40 && failed_restart.empty(); ++i) {
    server.Stop();
    if (server.Init("tcpthread", 0, CTcpserver::kModeRaw) != 0) {
      failed_restart = "Init of restart " + std::to_string(i);
    } else if (server.Start() != 0) {
      failed_restart = "Start of restart " + std::to_string(i);
    } else {
      port = server.BoundPort();
      usleep(2000);
    }
  }
  done = true;
  for (auto& t : threads) t.join();
  server.Stop();
  EXPECT_EQ(failed_restart, "");
  EXPECT_TRUE(clean);
  unlink(sentinel_path);
}

}  // namespace
