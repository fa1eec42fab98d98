// The order in which the request loop serves its connections: new connections beside many kept
// ones that are always busy, the cap of idle kept connections, and aborts on kept connections.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "devctl/web/fcgi_server.h"
#include "fcgi_test_client.h"
#include "tests/support/wait_for.h"

namespace {

const std::string kCommon = "Access-Control-Allow-Origin: *\r\nContent-type: text/html\r\n\r\n";

webtest::Params InstrParams(size_t length) {
  return {{"REQUEST_METHOD", "POST"},
          {"QUERY_STRING", "instr.cgi&"},
          {"REQUEST_URI", "/cgi-bin/instr.cgi"},
          {"CONTENT_LENGTH", std::to_string(length)}};
}

// The request loop on a loopback port; answers every request with its body (an incomplete body
// with "cut") and notes the bodies in the order it served them.
class OrderedLoop {
 public:
  OrderedLoop() {
    listen_fd_ = webtest::OpenListenSocket(&port_);
    if (listen_fd_ >= 0) {
      server_ = std::thread([this] {
        web::ServeFastCgi(listen_fd_, [this](const web::WebRequest& request, std::string& reply) {
          std::string body(request.body, size_t(request.length));
          reply = request.body_complete ? "echo:" + body : "cut";
          std::lock_guard<std::mutex> lock(mutex_);
          served_.push_back(body);
          return web::ReplyEnding::kCommon;
        });
      });
    }
  }
  ~OrderedLoop() {
    if (listen_fd_ < 0) return;
    shutdown(listen_fd_, SHUT_RDWR);
    server_.join();
    close(listen_fd_);
  }
  bool listening() const { return listen_fd_ >= 0; }
  int Connect() const { return webtest::ConnectTo(port_); }

  size_t ServedCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return served_.size();
  }
  // Where body was served in the order of all requests (npos when not yet).
  size_t PositionOf(const std::string& body) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto at = std::find(served_.begin(), served_.end(), body);
    return at == served_.end() ? std::string::npos : size_t(at - served_.begin());
  }

 private:
  int listen_fd_ = -1;
  int port_ = 0;
  std::thread server_;
  std::mutex mutex_;
  std::vector<std::string> served_;
};

// Clients that each keep one connection and send requests on it back to back, as a web server
// with a pool of kept connections under load, until stopped; they then leave their connection
// open, having read every reply.
class BusyKeptClients {
 public:
  BusyKeptClients(const OrderedLoop& loop, int count)
      : answered_(size_t(count)), closed_(size_t(count)) {
    for (int i = 0; i < count; ++i) {
      fds_.push_back(loop.Connect());
      threads_.emplace_back([this, i] { Run(i); });
    }
  }
  ~BusyKeptClients() {
    Stop();
    for (int fd : fds_) close(fd);
  }
  void Stop() {
    stop_ = true;
    for (auto& thread : threads_) {
      if (thread.joinable()) thread.join();
    }
  }
  // Each client had n answers, or its connection was closed by the idle cap; or a client had a
  // wrong answer (AllAnswersRight tells).
  bool EachAnsweredAtLeast(int n) const {
    if (wrong_) return true;
    for (size_t i = 0; i < answered_.size(); ++i) {
      if (answered_[i] < n && !closed_[i]) return false;
    }
    return true;
  }
  bool AllAnswersRight() const { return !wrong_; }
  const std::vector<int>& fds() const { return fds_; }

 private:
  void Run(int i) {
    const int fd = fds_[size_t(i)];
    for (int n = 0; !stop_ && fd >= 0; ++n) {
      const std::string body = "kept " + std::to_string(i) + "/" + std::to_string(n);
      // The idle cap may close a kept connection between two of its requests, as a web server's
      // pool meets it: that client is done, having had every answer it got right.
      if (!webtest::SendAll(fd, webtest::RequestRecords(InstrParams(body.size()), body, true))) {
        closed_[size_t(i)] = true;
        return;
      }
      const webtest::FcgiReply reply = webtest::ReadReply(fd);
      if (!reply.ok && reply.output.empty()) {
        closed_[size_t(i)] = true;
        return;
      }
      if (!reply.ok || reply.output != kCommon + "echo:" + body) {
        wrong_ = true;
        return;
      }
      ++answered_[size_t(i)];
    }
  }

  std::vector<int> fds_;
  std::vector<std::thread> threads_;
  std::vector<std::atomic<int>> answered_;
  std::vector<std::atomic<bool>> closed_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> wrong_{false};
};

// The end of the stream is waiting on fd: the loop closed the connection. Does not wait.
bool ClosedNow(int fd) {
  pollfd pfd{fd, POLLIN, 0};
  if (poll(&pfd, 1, 0) <= 0) return false;
  char byte;
  return recv(fd, &byte, 1, MSG_DONTWAIT | MSG_PEEK) == 0;
}

// However many kept connections are busy, each new connection is answered within about one turn
// of them: counted in requests the loop served between its arrival and its answer.
TEST(WebLoopTurns, NewConnectionsAreServedWithinATurnOfBusyKeptOnes) {
  struct Case {
    int kept, fresh;
  } cases[] = {{32, 12}, {8, 30}};
  for (const Case& c : cases) {
    OrderedLoop loop;
    ASSERT_TRUE(loop.listening());
    BusyKeptClients kept(loop, c.kept);
    ASSERT_TRUE(testsupport::WaitFor([&] { return kept.EachAnsweredAtLeast(2); }));

    std::vector<int> fresh;
    std::vector<size_t> served_before;
    for (int j = 0; j < c.fresh; ++j) {
      // Counted from when the connection is queued (a full listen queue makes connect wait).
      fresh.push_back(loop.Connect());
      ASSERT_GE(fresh.back(), 0);
      served_before.push_back(loop.ServedCount());
      const std::string body = "new " + std::to_string(j);
      ASSERT_TRUE(
          webtest::SendAll(fresh.back(), webtest::RequestRecords(InstrParams(body.size()), body)));
    }
    // A turn serves every kept connection once and the new connections queued at its start; one
    // arriving while a turn runs is served in the next.
    const size_t turn = size_t(c.kept + c.fresh);
    for (int j = 0; j < c.fresh; ++j) {
      const std::string body = "new " + std::to_string(j);
      const webtest::FcgiReply reply = webtest::ReadReply(fresh[size_t(j)]);
      EXPECT_EQ(reply.output, kCommon + "echo:" + body);
      const size_t at = loop.PositionOf(body);
      ASSERT_NE(at, std::string::npos) << body;
      EXPECT_LE(at - served_before[size_t(j)], 2 * turn)
          << body << " of " << c.kept << " kept: served after that many other requests";
      close(fresh[size_t(j)]);
    }
    kept.Stop();
    EXPECT_TRUE(kept.AllAnswersRight()) << c.kept << " kept";
  }
}

// Kept connections that were all busy while they were accepted fall idle afterwards: the loop
// closes the longest idle beyond the cap without waiting for another connection to come.
TEST(WebLoopTurns, TheIdleCapHoldsWithoutANewConnection) {
  constexpr int kKept = 40;
  OrderedLoop loop;
  ASSERT_TRUE(loop.listening());
  BusyKeptClients kept(loop, kKept);
  ASSERT_TRUE(testsupport::WaitFor([&] { return kept.EachAnsweredAtLeast(2); }));
  kept.Stop();
  ASSERT_TRUE(kept.AllAnswersRight());
  auto closed = [&] { return std::count_if(kept.fds().begin(), kept.fds().end(), ClosedNow); };
  ASSERT_TRUE(
      testsupport::WaitFor([&] { return closed() == kKept - long(web::kMaxIdleConnections); }));
  // The ones left open still serve.
  for (int fd : kept.fds()) {
    if (ClosedNow(fd)) continue;
    ASSERT_TRUE(webtest::SendAll(fd, webtest::RequestRecords(InstrParams(2), "{}", true)));
    EXPECT_EQ(webtest::ReadReply(fd).output, kCommon + "echo:{}");
  }
}

// Beyond the cap, kept connections are closed before a new one whose first request has not come
// yet, however long that one has waited: it was opened to be used.
TEST(WebLoopTurns, TheIdleCapClosesKeptConnectionsBeforeANewOne) {
  OrderedLoop loop;
  ASSERT_TRUE(loop.listening());
  const int fresh = loop.Connect();  // accepted first, so the longest idle of all
  ASSERT_GE(fresh, 0);
  const int kKept = int(web::kMaxIdleConnections) + 1;
  std::vector<int> kept;
  for (int i = 0; i < kKept; ++i) {
    kept.push_back(loop.Connect());
    ASSERT_GE(kept.back(), 0);
    const std::string body = "kept " + std::to_string(i);
    ASSERT_TRUE(webtest::SendAll(kept.back(),
                                 webtest::RequestRecords(InstrParams(body.size()), body, true)));
    ASSERT_EQ(webtest::ReadReply(kept.back()).output, kCommon + "echo:" + body);
  }
  // kKept kept and one new connection wait: the two kept ones that waited longest are closed.
  ASSERT_TRUE(testsupport::WaitFor(
      [&] { return std::count_if(kept.begin(), kept.end(), ClosedNow) == 2; }));
  EXPECT_TRUE(ClosedNow(kept[0]) && ClosedNow(kept[1]));
  ASSERT_TRUE(webtest::SendAll(fresh, webtest::RequestRecords(InstrParams(5), "fresh")));
  EXPECT_EQ(webtest::ReadReply(fresh).output, kCommon + "echo:fresh");
  close(fresh);
  for (int fd : kept) close(fd);
}

std::string Record(uint8_t type, int request_id, const std::string& content) {
  std::string out = {1,
                     char(type),
                     char(request_id >> 8),
                     char(request_id & 0xff),
                     char(content.size() >> 8),
                     char(content.size() & 0xff),
                     0,
                     0};
  return out + content;
}

constexpr uint8_t kAbortRequest = 2, kStdin = 5;

// An abort of a request already answered, or of an id never used, is dropped: the connection
// stays kept and the request sent right after it is answered.
TEST(WebLoopTurns, AnAbortOfNoActiveRequestLeavesTheConnectionKept) {
  struct Case {
    const char* why;
    int aborted_id;
  } cases[] = {{"the request just answered", 1}, {"an id never used", 77}};
  for (const Case& c : cases) {
    OrderedLoop loop;
    ASSERT_TRUE(loop.listening());
    const int fd = loop.Connect();
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(webtest::SendAll(fd, webtest::RequestRecords(InstrParams(3), "{1}", true)));
    ASSERT_EQ(webtest::ReadReply(fd).output, kCommon + "echo:{1}") << c.why;
    // The abort alone first, then the next request: neither holds nor breaks the connection.
    ASSERT_TRUE(webtest::SendAll(fd, Record(kAbortRequest, c.aborted_id, "")));
    ASSERT_TRUE(webtest::SendAll(fd, webtest::RequestRecords(InstrParams(3), "{2}", true)));
    EXPECT_EQ(webtest::ReadReply(fd).output, kCommon + "echo:{2}") << c.why;
    // Sent together with the request that follows.
    ASSERT_TRUE(webtest::SendAll(fd, Record(kAbortRequest, c.aborted_id, "") +
                                         webtest::RequestRecords(InstrParams(3), "{3}", true)));
    EXPECT_EQ(webtest::ReadReply(fd).output, kCommon + "echo:{3}") << c.why;
    EXPECT_FALSE(ClosedNow(fd)) << c.why;
    close(fd);
  }
}

// An abort inside a body answers the request at once; the connection stays kept, the rest of the
// aborted request's body is dropped as it comes, and the next request is answered on it. Without
// the keep-connection flag the connection is closed after the answer.
TEST(WebLoopTurns, AnAbortInsideABodyAnswersItAndKeepsTheConnection) {
  OrderedLoop loop;
  ASSERT_TRUE(loop.listening());
  const int fd = loop.Connect();
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(webtest::SendAll(fd, webtest::RequestStart(InstrParams(40), true) +
                                       Record(kStdin, 1, "{\"comhead\"") +
                                       Record(kAbortRequest, 1, "")));
  EXPECT_EQ(webtest::ReadReply(fd).output, kCommon + "cut");
  ASSERT_TRUE(webtest::SendAll(fd, Record(kStdin, 1, ":\"late\"}") + Record(kStdin, 1, "") +
                                       webtest::RequestRecords(InstrParams(5), "{next", true)));
  EXPECT_EQ(webtest::ReadReply(fd).output, kCommon + "echo:{next");
  EXPECT_FALSE(ClosedNow(fd));
  close(fd);

  const int once = loop.Connect();
  ASSERT_GE(once, 0);
  ASSERT_TRUE(webtest::SendAll(once, webtest::RequestStart(InstrParams(40), false) +
                                         Record(kStdin, 1, "{") + Record(kAbortRequest, 1, "")));
  EXPECT_EQ(webtest::ReadReply(once).output, kCommon + "cut");
  char byte;
  EXPECT_EQ(recv(once, &byte, 1, 0), 0);  // waits up to the client's receive timeout
  close(once);
}

}  // namespace
