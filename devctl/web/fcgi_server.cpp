// The web request loop: one thread waits on the listen socket and on every connection the web
// server keeps open, and serves them in turns: before each request it looks at all of them, takes
// the queued connections and serves the request it saw first. It reads each request through
// FcgiRequestReader within its own deadline, hands it to the serving function and writes the reply
// records itself. Nothing but the connections the web server makes reaches the loop, and a request
// is answered only from its own connection's parameters and body.
#include "devctl/web/fcgi_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

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
#include "devctl/web/fcgi_closing.h"
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

// What became of a connection once the loop served what came on it.
enum class Served {
  kKept,    // waits for its next request
  kEnded,   // answered and not kept: closed once its client had its say
  kBroken,  // dropped unanswered
};

class RequestLoop {
 public:
  RequestLoop(int listen_fd, const ServeFunction& serve)
      : listen_fd_(listen_fd), serve_(serve), closing_(kCloseLingerMs), body_(kMaxBodyLength + 1) {}

  int Run();

 private:
  // Looks at every connection and the listen socket; while no request waits, caps the idle
  // connections and waits until a connection has bytes or the listen socket has connections
  // queued (ending lingering closes meanwhile). Marks the connections with bytes ready, since now
  // unless they were already. 1 when connections are queued, 0 when not, a negative errno when the
  // listen socket broke or was shut down.
  int Wait();
  // Accepts the queued connections, kMaxAcceptsPerTurn at most, and marks those whose request has
  // begun to arrive ready. False when accepting failed for good (errno tells why).
  bool AcceptQueued(Clock::time_point seen);
  // Serves one request (or record) on the ready connection whose bytes the loop saw first.
  void ServeLongestWaiting();
  // Closes the connections that have waited longest for a request while more than
  // kMaxIdleConnections wait with nothing to read.
  void CapIdleConnections();
  // Serves what came on the connection: one request, one management record or a record left
  // over from an aborted request.
  Served ServeNext(FcgiConnection& connection);
  void RemoveClosed();

  int listen_fd_;
  const ServeFunction& serve_;
  std::vector<std::unique_ptr<FcgiConnection>> connections_;  // each waits for its next request
  ClosingConnections closing_;
  std::vector<pollfd> fds_;
  std::vector<char> body_;
  std::string reply_;
  bool exhausted_ = false;                 // in an episode of failing accepts: logged once
  Clock::time_point accept_paused_until_;  // while descriptors or memory ran out
};

void MarkReady(FcgiConnection& connection, Clock::time_point seen) {
  if (connection.ready) return;
  connection.ready = true;
  connection.ready_since = seen;
}

int RequestLoop::Run() {
  int listening = 0;
  socklen_t size = sizeof listening;
  if (getsockopt(listen_fd_, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0) return -errno;
  if (!listening) return -EINVAL;
  // An accept never waits: a client that went away between the wait and the accept costs a turn.
  const int flags = fcntl(listen_fd_, F_GETFL);
  if (flags < 0 || fcntl(listen_fd_, F_SETFL, flags | O_NONBLOCK) != 0) return -errno;

  for (;;) {
    const int queued = Wait();
    if (queued < 0) return queued;
    if (queued > 0 && !AcceptQueued(Clock::now())) return -errno;
    CapIdleConnections();
    ServeLongestWaiting();
  }
}

int RequestLoop::Wait() {
  // A look first: the idle connections are capped with what it finds before the loop sleeps.
  for (bool look = true;; look = false) {
    const auto now = Clock::now();
    const bool accepting = now >= accept_paused_until_;
    bool waiting = false;  // a request is waiting already: only a look, no wait
    fds_.clear();
    for (const auto& connection : connections_) {
      fds_.push_back({connection->fd, POLLIN, 0});
      waiting = waiting || connection->ready || connection->HasBufferedBytes();
    }
    closing_.AppendPollFds(fds_);
    if (accepting) fds_.push_back({listen_fd_, POLLIN, 0});
    int timeout = closing_.MsUntilNextEnd(now);
    if (!accepting) {
      const int pause = 1 + static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 accept_paused_until_ - now)
                                                 .count());
      if (timeout < 0 || pause < timeout) timeout = pause;
    }
    if (look || waiting) timeout = 0;
    if (poll(fds_.data(), fds_.size(), timeout) < 0) {
      if (errno == EINTR) continue;
      if (errno != ENOMEM) return -errno;
      std::this_thread::sleep_for(std::chrono::milliseconds(kAcceptRetryPauseMs));
      continue;
    }
    const auto seen = Clock::now();
    bool any_ready = false;
    for (size_t i = 0; i < connections_.size(); ++i) {
      if (fds_[i].revents == 0 && !connections_[i]->HasBufferedBytes()) continue;
      MarkReady(*connections_[i], seen);
      any_ready = true;
    }
    closing_.Handle(fds_.data() + connections_.size(), seen);
    int queued = 0;
    if (accepting) {
      const short listen_events = fds_.back().revents;
      // A listen socket that was shut down or broke ends the loop.
      if (listen_events & (POLLERR | POLLHUP | POLLNVAL)) return -EINVAL;
      queued = (listen_events & POLLIN) ? 1 : 0;
    }
    if (waiting || any_ready || queued) return queued;
    CapIdleConnections();
  }
}

bool RequestLoop::AcceptQueued(Clock::time_point seen) {
  const size_t first_new = connections_.size();
  for (int taken = 0; taken < kMaxAcceptsPerTurn; ++taken) {
    const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
      if (exhausted_) std::printf("web: accepting again\n");
      exhausted_ = false;
      connections_.push_back(std::make_unique<FcgiConnection>(fd));
      continue;
    }
    const int error = errno;
    if (IsExhaustion(error)) {
      ++g_accept_retries;
      if (!exhausted_) std::printf("web: accept failed (%s); retrying\n", std::strerror(error));
      exhausted_ = true;
      // Kept connections are served meanwhile; the listen socket waits a little (real time,
      // whatever clock the rest of the unit runs on).
      accept_paused_until_ = Clock::now() + std::chrono::milliseconds(kAcceptRetryPauseMs);
      break;
    }
    if (error == EAGAIN || error == EWOULDBLOCK) break;  // the queue is empty
    if (!IsPassingAcceptError(error)) {
      errno = error;
      return false;
    }
  }
  // A new connection whose request has begun to arrive waits from now; the others from when their
  // bytes come.
  const size_t added = connections_.size() - first_new;
  if (added == 0) return true;
  fds_.clear();
  for (size_t i = first_new; i < connections_.size(); ++i) {
    fds_.push_back({connections_[i]->fd, POLLIN, 0});
  }
  if (poll(fds_.data(), fds_.size(), 0) <= 0) return true;
  for (size_t i = 0; i < added; ++i) {
    if (fds_[i].revents != 0) MarkReady(*connections_[first_new + i], seen);
  }
  return true;
}

void RequestLoop::ServeLongestWaiting() {
  FcgiConnection* next = nullptr;
  for (const auto& connection : connections_) {
    if (connection->ready && (!next || connection->ready_since < next->ready_since)) {
      next = connection.get();
    }
  }
  if (!next) return;
  next->ready = false;
  switch (ServeNext(*next)) {
    case Served::kKept:
      next->kept = true;
      next->idle_since = Clock::now();
      return;
    case Served::kEnded:
      next->ended = true;
      break;
    case Served::kBroken:
      next->broken = true;
      break;
  }
  RemoveClosed();
}

void RequestLoop::RemoveClosed() {
  for (auto& connection : connections_) {
    if (connection->ended) {
      const bool read_whole = connection->input_read_whole && !connection->HasBufferedBytes();
      closing_.Add(std::move(connection), read_whole);
    } else if (connection->broken) {
      connection.reset();
    }
  }
  connections_.erase(std::remove(connections_.begin(), connections_.end(), nullptr),
                     connections_.end());
}

void RequestLoop::CapIdleConnections() {
  if (connections_.size() <= kMaxIdleConnections) return;
  // A connection with bytes to read has a request on its way: it is served, not closed. A look of
  // its own, since bytes may have come after the loop's last one.
  fds_.clear();
  for (const auto& connection : connections_) fds_.push_back({connection->fd, POLLIN, 0});
  if (poll(fds_.data(), fds_.size(), 0) > 0) {
    const auto seen = Clock::now();
    for (size_t i = 0; i < connections_.size(); ++i) {
      if (fds_[i].revents != 0) MarkReady(*connections_[i], seen);
    }
  }
  std::vector<size_t> idle;
  for (size_t i = 0; i < connections_.size(); ++i) {
    const FcgiConnection& connection = *connections_[i];
    if (!connection.ready && !connection.HasBufferedBytes()) idle.push_back(i);
  }
  if (idle.size() <= kMaxIdleConnections) return;
  // Kept connections go first, longest idle first: a new connection whose request is still on
  // its way was opened to be used now, while a web server meets a kept one closed by opening or
  // retrying on another.
  std::sort(idle.begin(), idle.end(), [this](size_t a, size_t b) {
    const FcgiConnection& x = *connections_[a];
    const FcgiConnection& y = *connections_[b];
    if (x.kept != y.kept) return x.kept;
    return x.idle_since < y.idle_since;
  });
  for (size_t k = 0; k < idle.size() - kMaxIdleConnections; ++k) {
    connections_[idle[k]]->broken = true;
  }
  RemoveClosed();
}

Served RequestLoop::ServeNext(FcgiConnection& connection) {
  auto deadline = Clock::now() + std::chrono::milliseconds(g_read_timeout_ms.load());
  FcgiRequestReader reader(connection, deadline);
  FcgiRequestHead head;
  FcgiManagementRecord management;
  switch (reader.ReadHead(head, management)) {
    case FcgiHeadResult::kBroken:
      return Served::kBroken;
    case FcgiHeadResult::kSkipped:
      return Served::kKept;
    case FcgiHeadResult::kManagement:
      return SendFcgiRecords(connection.fd, ManagementReply(management, int(kMaxIdleConnections)),
                             deadline)
                 ? Served::kKept
                 : Served::kBroken;
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

  // The deadline bounds the client's part of the request, reading it and taking the reply; the
  // time the unit takes to answer is not the client's.
  const auto serve_start = Clock::now();
  const ReplyEnding ending = serve_(request, reply_);
  deadline += Clock::now() - serve_start;
  const bool sent =
      SendFcgiReply(connection.fd, head.request_id, HeaderOf(ending), reply_, deadline);
  // Kept only when the web server asked for it and the stream stands at the next request (after
  // an abort, the rest of the aborted request is dropped as it comes).
  const bool keep = sent && head.keep_conn && (body.stream_ended || body.aborted);
  connection.input_read_whole = body.stream_ended;
  // A command that asked for a reboot has its answer out before the board may restart.
  RunRebootAfterReply();
  // Paces the common replies: at most about 100 a second.
  if (ending == ReplyEnding::kCommon) platform::SleepMs(10);
  if (keep) return Served::kKept;
  return sent ? Served::kEnded : Served::kBroken;
}

}  // namespace

void SetRequestReadTimeout(int ms) { g_read_timeout_ms.store(ms > 0 ? ms : kRequestReadTimeoutMs); }

uint64_t AcceptRetries() { return g_accept_retries.load(); }

int ServeFastCgi(int listen_fd, const ServeFunction& serve) {
  RequestLoop loop(listen_fd, serve);
  return loop.Run();
}

}  // namespace web
