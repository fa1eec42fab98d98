// The request loop over a real FastCGI connection: routing, header bytes, bodies of every length
// and requests that arrive broken.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <mutex>
#include <thread>

#include "devctl/web/fcgi_server.h"
#include "devctl/web/webapp.h"
#include "fcgi_test_client.h"

namespace {

const std::string kCommon = "Access-Control-Allow-Origin: *\r\nContent-type: text/html\r\n\r\n";

// Records what each handler was given and answers with it.
class RecordingApp : public CWebapp {
 public:
  RecordingApp() : CWebapp("appthread") {}

  struct Call {
    std::string handler, tail, body;
    int length = -1;
  };
  std::vector<Call> calls;
  std::string next_instr_reply;  // when set, HandleInstr answers this instead of echoing
  bool instr_writes_nothing = false;

  bool HandleInstr(const char* body, std::string& reply) override {
    calls.push_back({"instr", "", body, -1});
    if (instr_writes_nothing) return false;
    reply = next_instr_reply.empty() ? "instr:" + std::string(body) : next_instr_reply;
    return true;
  }
  bool HandleGetJson(const char* tail, const char* body, int length, std::string& reply) override {
    calls.push_back({"json", tail, body, length});
    reply = "{\"doc\":1}";
    return true;
  }
  bool HandleGetXml(const char* tail, const char* body, int length, std::string& reply) override {
    calls.push_back({"xml", tail, body, length});
    reply = "<MATRIX/>";
    return true;
  }
  bool HandleUpdateSoc(const char* tail, const char* body, int length,
                       std::string& reply) override {
    calls.push_back({"soc", tail, std::string(body, size_t(length)), length});
    reply = "soc";
    return true;
  }
};

class WebappLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    listen_fd_ = webtest::OpenListenSocket(&port_);
    ASSERT_GE(listen_fd_, 0);
    server_ = std::thread([this] { served_result_ = app_.Serve(listen_fd_); });
  }
  void TearDown() override {
    shutdown(listen_fd_, SHUT_RDWR);
    server_.join();
    close(listen_fd_);
  }

  webtest::FcgiReply Post(const std::string& qs, const std::string& body,
                          const std::string& uri = "/cgi-bin/instr.cgi") {
    return webtest::FcgiRequest(port_,
                                {{"REQUEST_METHOD", "POST"},
                                 {"QUERY_STRING", qs},
                                 {"REQUEST_URI", uri},
                                 {"CONTENT_LENGTH", std::to_string(body.size())}},
                                body);
  }

  RecordingApp app_;
  int listen_fd_ = -1;
  int port_ = 0;
  int served_result_ = 0;
  std::thread server_;
};

TEST_F(WebappLoopTest, HeadersOfTheThreeEndingsAreExact) {
  struct Case {
    std::string qs, uri, expected;
  } cases[] = {
      {"instr.cgi&", "/cgi-bin/instr.cgi", kCommon + "instr:{\"comhead\":\"x\"}"},
      {"", "/cgi-bin/getjson.cgi?json=mxsta", "Content-type:application/json\r\n\r\n{\"doc\":1}"},
      {"", "/cgi-bin/getxml.cgi?xml=mxsta", "Content-type: text/xml\r\n\r\n<MATRIX/>"},
      {"", "/cgi-bin/getjson.cgi?json=other", kCommon + "unknow"},
      {"nothing.cgi", "/nothing", kCommon + "unknow"},
  };
  for (const auto& c : cases) {
    webtest::FcgiReply r = Post(c.qs, "{\"comhead\":\"x\"}", c.uri);
    ASSERT_TRUE(r.ok) << c.uri;
    EXPECT_EQ(r.output, c.expected) << c.uri;
  }
}

// A reply goes out in records of up to 64 KB sent together, not in small records one write at a
// time; the end of the output and of the request follow.
TEST_F(WebappLoopTest, RepliesGoOutInFewLargeRecords) {
  struct Case {
    size_t body;
    std::vector<size_t> records;  // stdout record sizes, the empty end-of-output record last
  } cases[] = {
      {3, {kCommon.size() + 3, 0}},
      {54649, {kCommon.size() + 54649, 0}},
      {65528 - kCommon.size(), {65528, 0}},
      {150000, {65528, 65528, kCommon.size() + 150000 - 2 * 65528, 0}},
  };
  for (const Case& c : cases) {
    std::string body(c.body, 'b');
    for (size_t i = 0; i < body.size(); i += 997) body[i] = char('a' + i % 26);
    app_.next_instr_reply = body;
    webtest::FcgiReply r = Post("instr.cgi&", "{}");
    ASSERT_TRUE(r.ok) << c.body;
    EXPECT_EQ(r.output, kCommon + body) << c.body;
    EXPECT_EQ(r.stdout_records, c.records) << c.body;
  }
}

TEST_F(WebappLoopTest, DefaultHandlersAnswerUnsupported) {
  webtest::FcgiReply r = Post("getinfo.cgi&", "{\"comhead\":\"probe\"}");
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.output, kCommon +
                          "{\n\t\"comhead\":\t\"probe\",\n\t\"error\":\t\"unsupported command\","
                          "\n\t\"result\":\t\"fail\"\n}");
}

TEST_F(WebappLoopTest, RequestWithoutBodyGetsAnEmptyBody) {
  for (const char* length : std::vector<const char*>{"0", "-5", "abc", nullptr}) {
    ASSERT_TRUE(Post("instr.cgi&", "{\"comhead\":\"earlier body\"}").ok);
    webtest::Params params = {{"QUERY_STRING", "instr.cgi&"}};
    if (length) params.push_back({"CONTENT_LENGTH", length});
    webtest::FcgiReply r = webtest::FcgiRequest(port_, params, "{\"unread\":1}");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.output, kCommon + "instr:") << (length ? length : "unset");
    EXPECT_EQ(app_.calls.back().body, "") << (length ? length : "unset");
  }
}

TEST_F(WebappLoopTest, UploadGetsTheTailAndTheExactBytes) {
  std::string chunk("a\0b\xff", 4);
  webtest::FcgiReply r = Post("update_soc.cgi&cmd=hex(01,02,80,04,05)", chunk);
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(app_.calls.size(), 1u);
  EXPECT_EQ(app_.calls[0].tail, "cmd=hex(01,02,80,04,05)");
  EXPECT_EQ(app_.calls[0].body, chunk);
  EXPECT_EQ(app_.calls[0].length, 4);

  ASSERT_TRUE(Post("update_soc.cgi&cmd=hex" + std::string(200, '9'), "x").ok);
  EXPECT_EQ(app_.calls.back().tail, "cmd=hex" + std::string(48, '9'));
}

TEST_F(WebappLoopTest, BrokenRequestsAreAnsweredAndTheNextIsServed) {
  struct Case {
    webtest::Params params;
    std::string stdin_bytes;
    const char* why;
  } cases[] = {
      {{{"QUERY_STRING", "instr.cgi&"}, {"CONTENT_LENGTH", "7340032"}}, "{}", "over the limit"},
      {{{"QUERY_STRING", "instr.cgi&"}, {"CONTENT_LENGTH", "100"}}, "{\"comhead\":", "cut short"},
      {{{"QUERY_STRING", "update_soc.cgi&cmd=hex(00,00,80,00,00)"}, {"CONTENT_LENGTH", "50"}},
       "short chunk",
       "upload cut short"},
      {{{"CONTENT_LENGTH", "2"}}, "{}", "no QUERY_STRING or REQUEST_URI"},
  };
  for (const auto& c : cases) {
    webtest::FcgiReply r = webtest::FcgiRequest(port_, c.params, c.stdin_bytes);
    ASSERT_TRUE(r.ok) << c.why;
    EXPECT_EQ(r.output, kCommon + "unknow") << c.why;
    EXPECT_TRUE(app_.calls.empty()) << c.why;

    webtest::FcgiReply next = Post("instr.cgi&", "{}");
    ASSERT_TRUE(next.ok) << c.why;
    EXPECT_EQ(next.output, kCommon + "instr:{}") << c.why;
    app_.calls.clear();
  }
}

TEST_F(WebappLoopTest, ReplyIsNotCarriedOverToTheNextRequest) {
  app_.next_instr_reply = "{\"user\":\"secret\"}";
  ASSERT_TRUE(Post("instr.cgi&", "{}").ok);
  // An upload script without its command runs nothing, and a handler may write nothing.
  EXPECT_EQ(Post("update_ota.cgi&", "{}").output, kCommon);
  ASSERT_TRUE(Post("instr.cgi&", "{}").ok);
  app_.instr_writes_nothing = true;
  EXPECT_EQ(Post("instr.cgi&", "{}").output, kCommon);
}

TEST(WebappTest, LoopEndsWhenAcceptingFails) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  RecordingApp app;
  EXPECT_LT(app.Serve(fds[0]), 0);
  close(fds[0]);
  close(fds[1]);
}

}  // namespace

// devctl has no orderly shutdown: once the request loop has started, a termination request from
// the web server or an operator must still end the process.
TEST(WebappTermination, SigtermEndsTheProcessOnceTheLoopRuns) {
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int port = 0;
    int fd = webtest::OpenListenSocket(&port);
    if (fd < 0) _exit(2);
    RecordingApp app;
    std::thread server([&] { app.Serve(fd); });
    webtest::FcgiReply reply = webtest::FcgiRequest(port,
                                                    {{"REQUEST_METHOD", "POST"},
                                                     {"QUERY_STRING", "xml=mxsta"},
                                                     {"REQUEST_URI", "/cgi-bin/getxml.cgi"},
                                                     {"CONTENT_LENGTH", "0"}},
                                                    "");
    (void)reply;
    kill(getpid(), SIGTERM);
    for (int i = 0; i < 500; ++i) usleep(10000);
    _exit(3);  // still alive: the signal was swallowed
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
}

namespace {

const webtest::Params kInstrParams(size_t length) {
  return {{"REQUEST_METHOD", "POST"},
          {"QUERY_STRING", "instr.cgi&"},
          {"REQUEST_URI", "/cgi-bin/instr.cgi"},
          {"CONTENT_LENGTH", std::to_string(length)}};
}

// A client that stops in the middle of its body holds the loop only until the read deadline: the
// next client is served.
TEST(WebappLoopLimits, AStalledRequestIsDroppedAtTheReadDeadline) {
  web::SetRequestReadTimeout(300);
  RecordingApp app;
  int port = 0;
  const int listen_fd = webtest::OpenListenSocket(&port);
  ASSERT_GE(listen_fd, 0);
  std::thread server([&] { app.Serve(listen_fd); });
  const int stalled = webtest::ConnectTo(port);
  ASSERT_GE(stalled, 0);
  ASSERT_TRUE(webtest::SendRequestStart(stalled, kInstrParams(100), "{\"comhead\""));
  const webtest::FcgiReply next = webtest::FcgiRequest(port, kInstrParams(2), "{}");
  EXPECT_TRUE(next.ok);
  EXPECT_NE(next.output.find("instr:{}"), std::string::npos) << next.output;
  close(stalled);
  shutdown(listen_fd, SHUT_RDWR);
  server.join();
  close(listen_fd);
  web::SetRequestReadTimeout(0);
}

// When the process runs out of descriptors the loop keeps retrying, and serves again once
// descriptors come back.
TEST(WebappLoopLimits, ServesAgainAfterDescriptorExhaustion) {
  RecordingApp app;
  int port = 0;
  const int listen_fd = webtest::OpenListenSocket(&port);
  ASSERT_GE(listen_fd, 0);
  // Queued before the loop starts, so the loop's first accept meets the exhaustion.
  const int client = webtest::ConnectTo(port);
  ASSERT_GE(client, 0);
  rlimit old_limit{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old_limit), 0);
  rlimit low = old_limit;
  low.rlim_cur = 256;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  // One request served directly first: the sanitizer's type checks of these calls are settled
  // while it can still open files.
  web::WebRequest warm_up;
  warm_up.query_string = "instr.cgi&";
  warm_up.body = "{}";
  warm_up.length = 2;
  std::string warm_reply;
  app.ServeRequest(warm_up, warm_reply);
  // The loop's thread is made before the descriptors run out, and let go once they have.
  std::atomic<bool> go{false};
  std::thread server([&] {
    while (!go) std::this_thread::yield();
    app.Serve(listen_fd);
  });
  std::vector<int> fillers;
  for (int fd; (fd = dup(listen_fd)) >= 0;) fillers.push_back(fd);
  const uint64_t retries = web::AcceptRetries();
  go = true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (web::AcceptRetries() == retries && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  const bool retried = web::AcceptRetries() > retries;
  for (int fd : fillers) close(fd);
  setrlimit(RLIMIT_NOFILE, &old_limit);
  EXPECT_TRUE(retried);
  const webtest::FcgiReply reply = webtest::FcgiRequestOn(client, kInstrParams(2), "{}");
  EXPECT_TRUE(reply.ok);
  EXPECT_NE(reply.output.find("instr:{}"), std::string::npos) << reply.output;
  shutdown(listen_fd, SHUT_RDWR);
  server.join();
  close(listen_fd);
}

}  // namespace

namespace {

const std::string kJsonReply = "Content-type:application/json\r\n\r\n{\"doc\":1}";

const webtest::Params kGetJsonParams = {{"REQUEST_METHOD", "GET"},
                                        {"QUERY_STRING", "json=mxsta"},
                                        {"REQUEST_URI", "/cgi-bin/getjson.cgi?json=mxsta"},
                                        {"CONTENT_LENGTH", "0"}};

std::string FromBase64(const std::string& text) {
  static const std::string kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned bits = 0;
  int count = 0;
  for (char c : text) {
    const size_t value = kAlphabet.find(c);
    if (value == std::string::npos) continue;  // '=' padding
    bits = (bits << 6) | unsigned(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += char((bits >> count) & 0xff);
    }
  }
  return out;
}

// The request loop on a local socket, as a web server spawning devctl gives it one, with a
// request deadline of its own.
class LocalLoop {
 public:
  explicit LocalLoop(int deadline_ms) {
    web::SetRequestReadTimeout(deadline_ms);
    listen_fd_ = webtest::OpenLocalListenSocket(&path_);
    if (listen_fd_ >= 0) server_ = std::thread([this] { app_.Serve(listen_fd_); });
  }
  ~LocalLoop() {
    if (listen_fd_ >= 0) {
      shutdown(listen_fd_, SHUT_RDWR);
      server_.join();
      close(listen_fd_);
      unlink(path_.c_str());
      rmdir(path_.substr(0, path_.rfind('/')).c_str());
    }
    web::SetRequestReadTimeout(0);
  }
  bool listening() const { return listen_fd_ >= 0; }
  int Connect() const { return webtest::ConnectToLocal(path_); }

  // A getjson request from a new client; its whole reply.
  webtest::FcgiReply GetJson() const {
    const int fd = Connect();
    if (fd < 0) return webtest::FcgiReply();
    return webtest::FcgiRequestOn(fd, kGetJsonParams, "");
  }

  RecordingApp app_;

 private:
  std::string path_;
  int listen_fd_ = -1;
  std::thread server_;
};

// Sends bytes on a new connection, ends the sending side and reads what comes back until the loop
// closes the connection.
std::string ExchangeRaw(const LocalLoop& loop, const std::string& bytes) {
  const int fd = loop.Connect();
  if (fd < 0) return "no connection";
  webtest::SendAll(fd, bytes);
  shutdown(fd, SHUT_WR);
  std::string out;
  char buf[4096];
  for (ssize_t n; (n = recv(fd, buf, sizeof buf, 0)) > 0;) out.append(buf, size_t(n));
  close(fd);
  return out;
}

std::string Record(uint8_t type, const std::string& content, uint8_t version = 1) {
  std::string out = {char(version), char(type), 0, 1, char(content.size() >> 8),
                     char(content.size() & 0xff), 0, 0};
  return out + content;
}

const std::string kBegin = Record(1, std::string("\0\1\0\0\0\0\0\0", 8));

// Streams whose parameter lengths declare more than the stream holds, or that break the record
// layer, are dropped unanswered; the loop serves the next client. A pair may still span records.
TEST(WebappLoopLimits, BrokenParameterStreamsAreDroppedAndTheLoopServesOn) {
  LocalLoop loop(10000);
  ASSERT_TRUE(loop.listening());
  const std::string four_byte_max("\xff\xff\xff\xff", 4);
  struct Case {
    const char* why;
    std::string bytes;
  } cases[] = {
      {"overflowing parameter lengths (found by the fuzz campaign)",
       FromBase64("AQEAAQAIAAAAAQHRAAAAAAEEWwEAEQAADgFDT05URU5UX0xFTkdUAAEBAAAAAQBggAADoM4AAAAAAQEAAQ"
                  "D5/////v///wAAAAEEAAEAPwAAQ0NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0ND"
                  "Q0NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0"
                  "NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0NDQ0NDAAAAAAAADABRVUUBBQAAQGEAAAARWV9TAAA"
                  "=")},
      {"the largest name and value lengths",
       kBegin + Record(4, four_byte_max + four_byte_max + "x") + Record(4, "")},
      {"a value longer than what the parameters hold",
       kBegin + Record(4, std::string("\x01\x64", 2) + "Nshort") + Record(4, "")},
      {"parameters beyond the limit",
       kBegin + Record(4, std::string("\x01\x80\x01\x11\x70", 5) + "V" + std::string(60000, 'v')) +
           Record(4, std::string(10000, 'v')) + Record(4, "")},
      {"a record of another protocol version", Record(1, std::string(8, '\1'), 2)},
      {"parameters before the begin-request record", Record(4, "") + kBegin},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExchangeRaw(loop, c.bytes), "") << c.why;
    const webtest::FcgiReply next = loop.GetJson();
    EXPECT_TRUE(next.ok) << c.why;
    EXPECT_EQ(next.output, kJsonReply) << c.why;
  }

  // The parameters are one stream: pairs cut anywhere across records are read whole.
  const std::string whole = webtest::RequestStart(kGetJsonParams);
  const std::string pairs = whole.substr(kBegin.size() + 8, whole.size() - kBegin.size() - 16);
  std::string spread = kBegin;
  for (char byte : pairs) spread += Record(4, std::string(1, byte));
  spread += Record(4, "") + Record(5, "");
  loop.app_.calls.clear();
  EXPECT_NE(ExchangeRaw(loop, spread).find(kJsonReply), std::string::npos);
  ASSERT_EQ(loop.app_.calls.size(), 1u);
  EXPECT_EQ(loop.app_.calls[0].handler, "json");
}

// A client that stops inside its request, or trickles it, holds the single loop only until the
// request deadline, counted from its accept: another client's getjson is answered while the held
// client is still connected (and still sending).
TEST(WebappLoopLimits, AHeldRequestLetsTheNextThroughAtTheDeadline) {
  const std::string start = webtest::RequestStart(kInstrParams(1000));
  const std::string params_end = Record(4, "");
  struct Case {
    const char* why;
    std::string first;  // sent at once
    bool trickles;      // then one more byte every 100 ms
  } cases[] = {
      {"stopped inside a parameter record", start.substr(0, kBegin.size() + 20), false},
      {"stopped before the end of the parameters", start.substr(0, start.size() - 8), false},
      {"trickles its body", start + std::string("\x01\x05\x00\x01\x03\xe8\x00\x00", 8), true},
  };
  for (const Case& c : cases) {
    LocalLoop loop(1000);
    ASSERT_TRUE(loop.listening());
    const int held = loop.Connect();
    ASSERT_GE(held, 0);
    ASSERT_TRUE(webtest::SendAll(held, c.first)) << c.why;
    std::atomic<bool> answered{false};
    std::atomic<bool> still_holding{true};
    // Holds the connection until the other client is answered, 30 s at most.
    std::thread holder([&] {
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
      while (!answered && std::chrono::steady_clock::now() < until) {
        if (c.trickles) webtest::SendAll(held, "x");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      still_holding = !!answered;
      close(held);
    });
    const webtest::FcgiReply next = loop.GetJson();
    const bool answered_while_held = still_holding;
    answered = true;
    holder.join();
    EXPECT_TRUE(next.ok) << c.why;
    EXPECT_EQ(next.output, kJsonReply) << c.why;
    EXPECT_TRUE(answered_while_held) << c.why << ": answered only once the held client let go";
  }
}

// True when the loop closed the connection: the end of the stream is there to read (waits up to
// the client's receive timeout for it).
bool ClosedByTheLoop(int fd) {
  char byte;
  return recv(fd, &byte, 1, 0) == 0;
}

// With the keep-connection flag the web server reuses one connection: each request on it is
// answered from its own parameters and body, other clients are served while it waits, and a
// request without the flag has the connection closed after its reply.
TEST(WebappLoopConnections, AKeptConnectionServesRequestAfterRequest) {
  LocalLoop loop(10000);
  ASSERT_TRUE(loop.listening());
  const int kept = loop.Connect();
  ASSERT_GE(kept, 0);
  for (const std::string body : {"{\"n\":1}", "", "{\"n\":333}"}) {
    ASSERT_TRUE(webtest::SendAll(kept,
                                 webtest::RequestRecords(kInstrParams(body.size()), body, true)));
    const webtest::FcgiReply reply = webtest::ReadReply(kept);
    ASSERT_TRUE(reply.ok) << body;
    EXPECT_EQ(reply.output, kCommon + "instr:" + body);
    const webtest::FcgiReply other = loop.GetJson();
    EXPECT_TRUE(other.ok) << "another client while the kept connection waits";
    EXPECT_EQ(other.output, kJsonReply);
  }
  // Two requests sent together: both answered, in order.
  ASSERT_TRUE(webtest::SendAll(kept, webtest::RequestRecords(kInstrParams(3), "{1}", true) +
                                         webtest::RequestRecords(kInstrParams(3), "{2}", false)));
  EXPECT_EQ(webtest::ReadReply(kept).output, kCommon + "instr:{1}");
  EXPECT_EQ(webtest::ReadReply(kept).output, kCommon + "instr:{2}");
  EXPECT_TRUE(ClosedByTheLoop(kept));
  close(kept);
}

// Records addressed to the application: a get-values query is answered (no multiplexing), an
// unknown type is named back; the connection then serves its request. A second request begun
// inside the first one's body is refused: the first is answered, the connection closed.
TEST(WebappLoopConnections, ManagementRecordsAndMultiplexedRequests) {
  LocalLoop loop(10000);
  ASSERT_TRUE(loop.listening());
  auto management = [](uint8_t type, const std::string& content) {
    std::string out = {1, char(type), 0, 0, char(content.size() >> 8),
                       char(content.size() & 0xff), 0, 0};
    return out + content;
  };
  const int fd = loop.Connect();
  ASSERT_GE(fd, 0);
  const std::string query = std::string("\x0f\x00", 2) + "FCGI_MPXS_CONNS" +
                            std::string("\x0e\x00", 2) + "FCGI_MAX_CONNS" +
                            std::string("\x07\x00", 2) + "UNKNOWN";
  ASSERT_TRUE(webtest::SendAll(fd, management(9, query) + management(42, "")));
  const std::string values = std::string("\x0f\x01", 2) + "FCGI_MPXS_CONNS0" +
                             std::string("\x0e\x02", 2) + "FCGI_MAX_CONNS16";
  const std::string expected =
      management(10, values) + management(11, std::string("\x2a\0\0\0\0\0\0\0", 8));
  std::string got(expected.size(), '\0');
  ASSERT_EQ(recv(fd, got.data(), got.size(), MSG_WAITALL), ssize_t(expected.size()));
  EXPECT_EQ(got, expected);
  ASSERT_TRUE(webtest::SendAll(fd, webtest::RequestRecords(kInstrParams(2), "{}", true)));
  EXPECT_EQ(webtest::ReadReply(fd).output, kCommon + "instr:{}");

  // Request 1 declares 4 bytes of body; request 2 begins after 2 of them.
  std::string begin2 = kBegin;
  begin2[3] = 2;
  ASSERT_TRUE(webtest::SendAll(fd, webtest::RequestStart(kInstrParams(4), true) +
                                       webtest::StdinRecord("{}") + begin2));
  const webtest::FcgiReply first = webtest::ReadReply(fd);
  EXPECT_TRUE(first.ok);
  EXPECT_EQ(first.output, kCommon + "unknow");
  EXPECT_TRUE(ClosedByTheLoop(fd));
  close(fd);
  EXPECT_EQ(loop.GetJson().output, kJsonReply);
}

// Connections that send nothing wait beside the listen socket without holding the loop; beyond 16
// the longest waiting are closed.
TEST(WebappLoopConnections, IdleConnectionsDoNotHoldTheLoop) {
  LocalLoop loop(10000);
  ASSERT_TRUE(loop.listening());
  std::vector<int> idle;
  for (int i = 0; i < 40; ++i) {
    idle.push_back(loop.Connect());
    ASSERT_GE(idle.back(), 0);
  }
  const webtest::FcgiReply reply = loop.GetJson();
  EXPECT_TRUE(reply.ok);
  EXPECT_EQ(reply.output, kJsonReply);
  for (int i = 0; i < 24; ++i) EXPECT_TRUE(ClosedByTheLoop(idle[size_t(i)])) << i;
  for (int i = 25; i < 40; ++i) {
    char byte;
    EXPECT_EQ(recv(idle[size_t(i)], &byte, 1, MSG_DONTWAIT), -1) << i << ": still open";
  }
  for (int fd : idle) close(fd);
}

}  // namespace
