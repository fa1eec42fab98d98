// Only the reentrant fcgiapp calls are used: the stdio layer replaces the process environment on
// every request, which races with every other thread's getenv and localtime.
#include "devctl/web/fcgi_server.h"

#include <csignal>

#include <fcgiapp.h>

#include <mutex>
#include <vector>

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

}  // namespace

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

  std::vector<char> body(kMaxBodyLength + 1);
  std::string reply;
  int rc;
  while ((rc = FCGX_Accept_r(&request)) >= 0) {
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
    // Paces the common replies: at most about 100 a second.
    if (ending == ReplyEnding::kCommon) platform::SleepMs(10);
  }
  return rc;
}

}  // namespace web
