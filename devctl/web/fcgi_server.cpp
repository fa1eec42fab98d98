// Only the reentrant fcgiapp calls are used: the stdio layer replaces the process environment on
// every request, which races with every other thread's getenv and localtime.
#include "devctl/web/fcgi_server.h"

#include <sys/socket.h>
#include <sys/time.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

#include <fcgiapp.h>

#include <mutex>
#include <vector>

#include "devctl/core/markers.h"
#include "devctl/web/fcgi_output.h"
#include "platform/clock.h"

namespace web {
namespace {

std::string Param(FCGX_Request& request, const char* name) {
  const char* value = FCGX_GetParam(name, request.envp);
  return value ? value : "";
}

// Reads up to count bytes; stops early when the stream ends. Returns the bytes read.
long ReadBody(FCGX_Request& request, char* out, long count) {
  long got = 0;
  while (got < count) {
    int n = FCGX_GetStr(out + got, static_cast<int>(count - got), request.in);
    if (n <= 0) break;
    got += n;
  }
  return got;
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

// A receive deadline on a socket. On the listen socket it also bounds each wait for a connection
// (the loop then just accepts again); on a connection, a client that stops sending in the middle
// of its request cannot hold the loop longer than that.
void SetDeadline(int fd, int option = SO_RCVTIMEO) {
  const int ms = g_read_timeout_ms.load();
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv);
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

  FCGX_Request request;
  if (FCGX_InitRequest(&request, listen_fd, 0) != 0) return -1;

  SetDeadline(listen_fd);
  std::vector<char> body(kMaxBodyLength + 1);
  std::string reply;
  bool exhausted = false;  // in an episode of failing accepts: logged once
  for (;;) {
    const int rc = FCGX_Accept_r(&request);
    if (rc < 0) {
      if (!IsTransientAcceptError(-rc)) return rc;
      if (IsExhaustion(-rc)) {
        ++g_accept_retries;
        if (!exhausted) std::printf("web: accept failed (%s); retrying\n", std::strerror(-rc));
        exhausted = true;
        // Real time, whatever clock the rest of the unit runs on: this only paces the retries.
        std::this_thread::sleep_for(std::chrono::milliseconds(kAcceptRetryPauseMs));
      }
      continue;
    }
    if (exhausted) std::printf("web: accepting again\n");
    exhausted = false;
    SetDeadline(request.ipcFd);
    // The same bound on writing the reply to a client that does not read it.
    SetDeadline(request.ipcFd, SO_SNDTIMEO);
    WebRequest req;
    req.query_string = Param(request, "QUERY_STRING");
    req.request_uri = Param(request, "REQUEST_URI");
    long count = ParseContentLength(FCGX_GetParam("CONTENT_LENGTH", request.envp));
    long got = 0;
    if (count > kMaxBodyLength) {
      req.body_complete = false;
    } else if (count > 0) {
      got = ReadBody(request, body.data(), count);
      req.body_complete = (got == count);
    }
    body[got] = '\0';
    req.body = body.data();
    req.length = static_cast<int>(got);

    ReplyEnding ending = serve(req, reply);
    // The connection is the request's ipcFd: libfcgi keeps it in the request, and its own stream
    // stays empty, so FCGX_Finish_r only ends the output and the request after this.
    SendFcgiStdout(request.ipcFd, request.requestId, HeaderOf(ending), reply);
    FCGX_Finish_r(&request);
    // A command that asked for a reboot has its answer out before the board may restart.
    RunRebootAfterReply();
    // Paces the common replies: at most about 100 a second.
    if (ending == ReplyEnding::kCommon) platform::SleepMs(10);
  }
}

}  // namespace web
