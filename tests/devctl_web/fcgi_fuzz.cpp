// Fuzz target: the bytes a web server sends on one FastCGI connection, read by the request loop:
// records, parameters, bodies, management records, and further requests on a connection whose
// web server asked to keep it. The loop serves on a local socket in a thread of its own; each
// input is written on a new connection whose sending side is then closed, and what comes back is
// read to its end.
//
// Every request the loop hands on has a NUL-terminated body no longer than the largest accepted
// one or than what the connection sent; what comes back is whole FastCGI records of the kinds the
// loop writes, each request's output ended by its end-request record. A connection the loop
// leaves hanging fails the run, and so does any input that ends the process.
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "devctl/web/fcgi_server.h"
#include "platform/clock.h"

namespace {

constexpr int kHeader = 8;

std::mutex g_mutex;
std::string g_input;  // the bytes of the connection being served

web::ReplyEnding Serve(const web::WebRequest& request, std::string& reply) {
  if (request.length < 0 || request.length > web::kMaxBodyLength) abort();
  if (request.body[request.length] != '\0') abort();
  {
    // The body is standard-input bytes of this connection.
    std::lock_guard<std::mutex> lock(g_mutex);
    if (static_cast<size_t>(request.length) > g_input.size()) abort();
  }
  reply = "length " + std::to_string(request.length) + (request.body_complete ? "" : " cut");
  return web::ReplyEnding::kCommon;
}

std::string SocketPath() {
  static std::string path = [] {
    static char dir[] = "/tmp/devctl_fcgi_fuzz_XXXXXX";
    if (mkdtemp(dir) == nullptr) abort();
    atexit([] { std::system((std::string("rm -rf '") + dir + "'").c_str()); });
    return std::string(dir) + "/socket";
  }();
  return path;
}

void StartLoop() {
  static bool started = [] {
    static platform::FakeClock clock;  // the pause after each reply passes at once
    platform::SetClock(&clock);
    const int listen_fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", SocketPath().c_str());
    if (listen_fd < 0 || bind(listen_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listen_fd, 16) != 0) {
      abort();
    }
    std::thread([listen_fd] { web::ServeFastCgi(listen_fd, Serve); }).detach();
    return true;
  }();
  (void)started;
}

// Checks that the reply is whole records of protocol version 1: standard output and end-request
// records of a request id other than 0 (a request's output never follows its end, nor another
// request's unfinished output), and answers to management records with id 0.
void CheckRecords(const std::string& out) {
  constexpr int kEndRequest = 3, kStdout = 6, kGetValuesResult = 10, kUnknownType = 11;
  size_t at = 0;
  int open_request = 0;  // a request whose output began and did not end yet
  while (at < out.size()) {
    if (at + kHeader > out.size()) abort();
    const auto* h = reinterpret_cast<const uint8_t*>(out.data() + at);
    const int type = h[1], id = (h[2] << 8) | h[3];
    if (h[0] != 1) abort();
    if (type == kStdout || type == kEndRequest) {
      if (id == 0 || (open_request != 0 && open_request != id)) abort();
      open_request = type == kStdout ? id : 0;
    } else if (type == kGetValuesResult || type == kUnknownType) {
      if (id != 0 || open_request != 0) abort();
    } else {
      abort();
    }
    at += kHeader + ((size_t(h[4]) << 8) | h[5]) + h[6];
  }
  if (at != out.size() || open_request != 0) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  StartLoop();
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_input.assign(reinterpret_cast<const char*>(data), size);
  }
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", SocketPath().c_str());
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) abort();
  // Far beyond the loop's own read deadline: only a loop that hangs reaches it.
  timeval deadline{60, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &deadline, sizeof deadline);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &deadline, sizeof deadline);
  // The loop may close the connection before it has read everything (a broken stream).
  for (size_t at = 0; at < size;) {
    const ssize_t n = send(fd, data + at, size - at, MSG_NOSIGNAL);
    if (n <= 0) break;
    at += static_cast<size_t>(n);
  }
  shutdown(fd, SHUT_WR);
  std::string out;
  char buf[4096];
  for (;;) {
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n == 0) break;
    if (n < 0) {
      if (errno == ECONNRESET) break;
      std::fprintf(stderr, "the request loop left the connection hanging\n");
      abort();
    }
    out.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  CheckRecords(out);
  return 0;
}
