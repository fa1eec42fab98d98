// Only the reentrant fcgiapp calls are used: the stdio layer replaces the process environment on
// every request, which races with every other thread's getenv and localtime.
//
// The loop accepts the web server's connections itself and reads each request through
// FcgiRequestReader, within one deadline: libfcgi sizes its allocations by the parameter lengths
// a stream declares and ends the process when that fails, so it is only given a head whose
// records and lengths were checked, on a local connection of the loop's own (the handoff).
// libfcgi parses the parameters there and writes the end of the request there; the loop passes
// that on to the client.
#include "devctl/web/fcgi_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include <fcgiapp.h>

#include "devctl/core/markers.h"
#include "devctl/web/fcgi_output.h"
#include "devctl/web/fcgi_request_reader.h"
#include "platform/clock.h"

namespace web {
namespace {

std::string Param(FCGX_Request& request, const char* name) {
  const char* value = FCGX_GetParam(name, request.envp);
  return value ? value : "";
}

std::atomic<int> g_read_timeout_ms{kRequestReadTimeoutMs};
std::atomic<uint64_t> g_accept_retries{0};

// Accept failures that pass: descriptors or memory run out for a while, a client gave up before
// it was taken, a signal, or the wait for a connection reached the read deadline.
bool IsTransientAcceptError(int error) {
  switch (error) {
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
    case ECONNABORTED:
    case EINTR:
    case EAGAIN:
      return true;
    default:
      return error == EWOULDBLOCK;
  }
}

bool IsExhaustion(int error) {
  return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

// A deadline on a socket. As the receive deadline of the listen socket it bounds each wait for a
// connection (the loop then just accepts again); as the send deadline of a connection, a client
// that does not read its reply cannot hold the loop longer than that for each write.
void SetDeadline(int fd, int option = SO_RCVTIMEO) {
  const int ms = g_read_timeout_ms.load();
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv);
}

// A listen socket with an address of its own in the abstract namespace, not blocking: libfcgi
// accepts the connection each checked head is written on, and an accept with nothing queued
// fails at once instead of waiting.
int OpenHandoffListener() {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  // An address of just the family: the kernel chooses a free abstract name.
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(sa_family_t)) != 0 ||
      listen(fd, 4) != 0) {
    const int error = errno;
    close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

bool SendAllBytes(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Connects to the handoff listener and writes the head's records, then ends the sending side so
// that libfcgi finds the end of the stream after them. Returns the connection, whose reading side
// then carries what libfcgi writes back (the end of the request), or -1.
int HandOffHead(int handoff_fd, const std::string& records) {
  sockaddr_un addr{};
  socklen_t length = sizeof addr;
  if (getsockname(handoff_fd, reinterpret_cast<sockaddr*>(&addr), &length) != 0) return -1;
  const int feed = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (feed < 0) return -1;
  if (connect(feed, reinterpret_cast<sockaddr*>(&addr), length) != 0 ||
      !SendAllBytes(feed, records.data(), records.size()) || shutdown(feed, SHUT_WR) != 0) {
    close(feed);
    return -1;
  }
  return feed;
}

// Waits until fd is readable; false when the time ran out first.
bool WaitReadable(int fd, std::chrono::steady_clock::time_point until) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd pfd{fd, POLLIN, 0};
    const int ready = poll(&pfd, 1, static_cast<int>(left.count()));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
}

// Passes on to the client what libfcgi wrote when it finished the request (the empty stdout
// record and the end-request record), up to the end of the handoff connection.
void ForwardRequestEnd(int feed, int client) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCloseLingerMs);
  char buf[512];
  while (WaitReadable(feed, until)) {
    const ssize_t n = recv(feed, buf, sizeof buf, MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    if (n <= 0 || !SendAllBytes(client, buf, static_cast<size_t>(n))) return;
  }
}

// Ends the reply and reads what the client still sends (the end of its input) until it closes,
// for a short while at most: closing with unread input would reset the connection, and the
// client could lose the reply.
void CloseAfterReply(int client) {
  shutdown(client, SHUT_WR);
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCloseLingerMs);
  char buf[4096];
  while (WaitReadable(client, until)) {
    const ssize_t n = recv(client, buf, sizeof buf, MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    if (n <= 0) break;
  }
  close(client);
}

// One connection: its request is read and checked within one deadline, libfcgi parses the
// checked head, the serving function answers, and the connection is closed. A stream that fails
// the checks is dropped unanswered.
void ServeConnection(int client, int handoff_fd, FCGX_Request& request, std::vector<char>& body,
                     std::string& reply, const ServeFunction& serve) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(g_read_timeout_ms.load());
  // The same bound on writing the reply to a client that does not read it.
  SetDeadline(client, SO_SNDTIMEO);
  FcgiRequestReader reader(client, deadline);
  FcgiRequestHead head;
  const int feed = reader.ReadHead(head) ? HandOffHead(handoff_fd, head.records) : -1;
  if (feed < 0) {
    close(client);
    return;
  }
  if (FCGX_Accept_r(&request) < 0 || request.requestId != head.request_id) {
    FCGX_Finish_r(&request);
    close(feed);
    close(client);
    return;
  }

  WebRequest req;
  req.query_string = Param(request, "QUERY_STRING");
  req.request_uri = Param(request, "REQUEST_URI");
  long count = ParseContentLength(FCGX_GetParam("CONTENT_LENGTH", request.envp));
  long got = 0;
  if (count > kMaxBodyLength) {
    req.body_complete = false;
  } else if (count > 0) {
    got = reader.ReadBody(head.request_id, body.data(), count);
    req.body_complete = (got == count);
  }
  body[got] = '\0';
  req.body = body.data();
  req.length = static_cast<int>(got);

  ReplyEnding ending = serve(req, reply);
  // libfcgi's own output stream stays empty, so FCGX_Finish_r only ends the output and the
  // request after this, on the handoff connection.
  SendFcgiStdout(client, request.requestId, HeaderOf(ending), reply);
  FCGX_Finish_r(&request);
  ForwardRequestEnd(feed, client);
  close(feed);
  CloseAfterReply(client);
  // A command that asked for a reboot has its answer out before the board may restart.
  RunRebootAfterReply();
  // Paces the common replies: at most about 100 a second.
  if (ending == ReplyEnding::kCommon) platform::SleepMs(10);
}

}  // namespace

void SetRequestReadTimeout(int ms) { g_read_timeout_ms.store(ms > 0 ? ms : kRequestReadTimeoutMs); }

uint64_t AcceptRetries() { return g_accept_retries.load(); }

int ServeFastCgi(int listen_fd, const ServeFunction& serve) {
  static std::once_flag init_once;
  std::call_once(init_once, [] {
    FCGX_Init();
    // The library catches SIGTERM to end its accept loop; devctl has no orderly shutdown and
    // must end when the web server or an operator asks it to, so termination is restored.
    std::signal(SIGTERM, SIG_DFL);
  });

  SetDeadline(listen_fd);
  FCGX_Request request;
  // libfcgi parses the checked head of each request from a socket of this loop's own, opened
  // before the first accept (again after descriptors ran out).
  int handoff_fd = -1;
  std::vector<char> body(kMaxBodyLength + 1);
  std::string reply;
  bool exhausted = false;  // in an episode of failing accepts: logged once
  for (;;) {
    if (handoff_fd < 0) {
      handoff_fd = OpenHandoffListener();
      if (handoff_fd >= 0 && FCGX_InitRequest(&request, handoff_fd, 0) != 0) {
        close(handoff_fd);
        return -1;
      }
    }
    const int client =
        handoff_fd < 0 ? -1 : accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) {
      const int error = errno;
      if (!IsTransientAcceptError(error)) {
        if (handoff_fd >= 0) close(handoff_fd);
        return -error;
      }
      if (IsExhaustion(error)) {
        ++g_accept_retries;
        if (!exhausted) std::printf("web: accept failed (%s); retrying\n", std::strerror(error));
        exhausted = true;
        // Real time, whatever clock the rest of the unit runs on: this only paces the retries.
        std::this_thread::sleep_for(std::chrono::milliseconds(kAcceptRetryPauseMs));
      }
      continue;
    }
    if (exhausted) std::printf("web: accepting again\n");
    exhausted = false;
    ServeConnection(client, handoff_fd, request, body, reply, serve);
  }
}

}  // namespace web
