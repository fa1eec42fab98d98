// The web request loop: one thread waits on the listen socket and on every connection the web
// server keeps open, reads each request through FcgiRequestReader within its own deadline, hands
// it to the serving function and writes the reply records itself. Nothing but the connections the
// web server makes reaches the loop, and a request is answered only from its own connection's
// parameters and body.
#include "devctl/web/fcgi_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "devctl/core/markers.h"
#include "devctl/web/fcgi_connection.h"
#include "devctl/web/fcgi_management.h"
#include "devctl/web/fcgi_output.h"
#include "devctl/web/fcgi_request_reader.h"
#include "platform/clock.h"

namespace web {
namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> g_read_timeout_ms{kRequestReadTimeoutMs};
std::atomic<uint64_t> g_accept_retries{0};

// Accept failures that pass at once: a client gave up before it was taken, a signal, nothing
// queued after all.
bool IsPassingAcceptError(int error) {
  return error == ECONNABORTED || error == EINTR || error == EAGAIN || error == EWOULDBLOCK ||
         error == EPROTO || error == EPERM;
}

// Accept failures that last a while: descriptors or memory run out.
bool IsExhaustion(int error) {
  return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

// A client that does not read its reply holds the loop at most this long for each write.
void SetSendDeadline(int fd) {
  const int ms = g_read_timeout_ms.load();
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

// Ends the reply side of a connection that is not kept. When the request's input was not read to
// its end, reads what the client still sends until it closes, for a short while at most: closing
// with unread input would reset the connection, and the client could lose the reply.
void EndConnection(int fd, bool input_read_whole) {
  shutdown(fd, SHUT_WR);
  if (input_read_whole) return;
  const auto until = Clock::now() + std::chrono::milliseconds(kCloseLingerMs);
  char buf[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    if (left.count() <= 0) return;
    pollfd pfd{fd, POLLIN, 0};
    const int ready = poll(&pfd, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno != EINTR) return;
    if (ready <= 0) continue;
    const ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) return;
  }
}

class RequestLoop {
 public:
  RequestLoop(int listen_fd, const ServeFunction& serve)
      : listen_fd_(listen_fd), serve_(serve), body_(kMaxBodyLength + 1) {}

  int Run();

 private:
  // Accepts one connection. False when accepting failed for good (errno tells why).
  bool AcceptOne();
  // Closes the connections that have waited longest for a request while more than
  // kMaxIdleConnections wait with nothing to read.
  void CapIdleConnections();
  // Serves what came on the connection: one request or one management record. False when the
  // connection is to be closed.
  bool ServeNext(FcgiConnection& connection);

  int listen_fd_;
  const ServeFunction& serve_;
  std::vector<std::unique_ptr<FcgiConnection>> connections_;  // each waits for its next request
  std::vector<char> body_;
  std::string reply_;
  bool exhausted_ = false;                // in an episode of failing accepts: logged once
  Clock::time_point accept_paused_until_;  // while descriptors or memory ran out
};

int RequestLoop::Run() {
  int listening = 0;
  socklen_t size = sizeof listening;
  if (getsockopt(listen_fd_, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0) return -errno;
  if (!listening) return -EINVAL;
  // An accept never waits: a client that went away between the wait and the accept costs a turn.
  const int flags = fcntl(listen_fd_, F_GETFL);
  if (flags < 0 || fcntl(listen_fd_, F_SETFL, flags | O_NONBLOCK) != 0) return -errno;

  std::vector<pollfd> fds;
  for (;;) {
    const auto now = Clock::now();
    const bool accepting = now >= accept_paused_until_;
    bool buffered = false;
    fds.clear();
    for (const auto& connection : connections_) {
      fds.push_back({connection->fd, POLLIN, 0});
      buffered = buffered || connection->HasBufferedBytes();
    }
    if (accepting) fds.push_back({listen_fd_, POLLIN, 0});
    int timeout = -1;
    if (buffered) {
      timeout = 0;
    } else if (!accepting) {
      timeout = 1 + static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         accept_paused_until_ - now)
                                         .count());
    }
    if (poll(fds.data(), fds.size(), timeout) < 0) {
      if (errno == EINTR) continue;
      if (errno != ENOMEM) return -errno;
      std::this_thread::sleep_for(std::chrono::milliseconds(kAcceptRetryPauseMs));
      continue;
    }
    const size_t waiting = connections_.size();
    for (size_t i = 0; i < waiting; ++i) {
      if (fds[i].revents == 0 && !connections_[i]->HasBufferedBytes()) continue;
      if (!ServeNext(*connections_[i])) connections_[i].reset();
    }
    connections_.erase(std::remove(connections_.begin(), connections_.end(), nullptr),
                       connections_.end());
    if (!accepting) continue;
    const short listen_events = fds.back().revents;
    // A listen socket that was shut down or broke ends the loop.
    if (listen_events & (POLLERR | POLLHUP | POLLNVAL)) return -EINVAL;
    if ((listen_events & POLLIN) && !AcceptOne()) return -errno;
  }
}

bool RequestLoop::AcceptOne() {
  const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    if (IsExhaustion(error)) {
      ++g_accept_retries;
      if (!exhausted_) std::printf("web: accept failed (%s); retrying\n", std::strerror(error));
      exhausted_ = true;
      // Kept connections are served meanwhile; the listen socket waits a little (real time,
      // whatever clock the rest of the unit runs on).
      accept_paused_until_ = Clock::now() + std::chrono::milliseconds(kAcceptRetryPauseMs);
      return true;
    }
    errno = error;
    return IsPassingAcceptError(error);
  }
  if (exhausted_) std::printf("web: accepting again\n");
  exhausted_ = false;
  SetSendDeadline(fd);
  connections_.push_back(std::make_unique<FcgiConnection>(fd));
  CapIdleConnections();
  return true;
}

void RequestLoop::CapIdleConnections() {
  if (connections_.size() <= kMaxIdleConnections) return;
  // A connection with bytes to read has a request on its way: it is served, not closed.
  std::vector<pollfd> fds;
  for (const auto& connection : connections_) fds.push_back({connection->fd, POLLIN, 0});
  if (poll(fds.data(), fds.size(), 0) < 0) return;
  std::vector<size_t> idle;
  for (size_t i = 0; i < connections_.size(); ++i) {
    if (fds[i].revents == 0 && !connections_[i]->HasBufferedBytes()) idle.push_back(i);
  }
  if (idle.size() <= kMaxIdleConnections) return;
  std::sort(idle.begin(), idle.end(), [this](size_t a, size_t b) {
    return connections_[a]->idle_since < connections_[b]->idle_since;
  });
  for (size_t k = 0; k < idle.size() - kMaxIdleConnections; ++k) connections_[idle[k]].reset();
  connections_.erase(std::remove(connections_.begin(), connections_.end(), nullptr),
                     connections_.end());
}

bool RequestLoop::ServeNext(FcgiConnection& connection) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(g_read_timeout_ms.load());
  FcgiRequestReader reader(connection, deadline);
  FcgiRequestHead head;
  FcgiManagementRecord management;
  switch (reader.ReadHead(head, management)) {
    case FcgiHeadResult::kBroken:
      return false;
    case FcgiHeadResult::kManagement:
      return SendFcgiRecords(connection.fd,
                             ManagementReply(management, int(kMaxIdleConnections)));
    case FcgiHeadResult::kRequest:
      break;
  }

  WebRequest request;
  if (const std::string* value = FindParam(head.params, "QUERY_STRING")) {
    request.query_string = *value;
  }
  if (const std::string* value = FindParam(head.params, "REQUEST_URI")) {
    request.request_uri = *value;
  }
  const std::string* length_text = FindParam(head.params, "CONTENT_LENGTH");
  const long count = ParseContentLength(length_text ? length_text->c_str() : nullptr);
  // A body beyond the limit is read and dropped: the request is answered as cut short.
  const bool fits = count <= kMaxBodyLength;
  const FcgiBodyResult body = reader.ReadBody(head.request_id, body_.data(), fits ? count : 0);
  request.body_complete = fits && body.got == std::max(count, 0L);
  body_[body.got] = '\0';
  request.body = body_.data();
  request.length = static_cast<int>(body.got);

  const ReplyEnding ending = serve_(request, reply_);
  const bool sent = SendFcgiReply(connection.fd, head.request_id, HeaderOf(ending), reply_);
  // Kept only when the web server asked for it and the stream stands at the next request.
  const bool keep = sent && head.keep_conn && body.stream_ended;
  if (!keep && sent) {
    EndConnection(connection.fd, body.stream_ended && !connection.HasBufferedBytes());
  }
  // A command that asked for a reboot has its answer out before the board may restart.
  RunRebootAfterReply();
  // Paces the common replies: at most about 100 a second.
  if (ending == ReplyEnding::kCommon) platform::SleepMs(10);
  connection.idle_since = Clock::now();
  return keep;
}

}  // namespace

void SetRequestReadTimeout(int ms) { g_read_timeout_ms.store(ms > 0 ? ms : kRequestReadTimeoutMs); }

uint64_t AcceptRetries() { return g_accept_retries.load(); }

int ServeFastCgi(int listen_fd, const ServeFunction& serve) {
  RequestLoop loop(listen_fd, serve);
  return loop.Run();
}

}  // namespace web
