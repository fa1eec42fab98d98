// The FastCGI side of the web request loop: accepts requests on a listen socket one after another,
// reads each body and writes the headers and the reply that the serving function chose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "devctl/web/request_route.h"

namespace web {

// Largest request body the loop accepts (one upload chunk).
constexpr long kMaxBodyLength = 6291456;

struct WebRequest {
  std::string query_string;  // "" when the web server did not set it
  std::string request_uri;
  const char* body = "";  // NUL-terminated after the bytes read
  int length = 0;         // bytes in body
  // False when CONTENT_LENGTH exceeded kMaxBodyLength or the stream ended before it was read.
  bool body_complete = true;
};

using ServeFunction = std::function<ReplyEnding(const WebRequest& request, std::string& reply)>;

// How long a request may hold the loop, from its first bytes to the end of its body and again
// while its reply is written (the time the unit takes to answer is not counted): a stream whose
// parameters have not ended by then is dropped, a body not whole by then is answered as cut short,
// a reply not taken by then closes the connection. The pause of the listen socket while
// descriptors or memory run out (connections already open are served meanwhile). How long a
// connection that is not kept, whose input was not read to its end, may go on sending after its
// reply before it is closed (the loop serves the others meanwhile). How many connections may wait
// for their next request with nothing sent: beyond that the longest waiting are closed, before
// every request. How many queued connections the loop accepts at most before each request.
constexpr int kRequestReadTimeoutMs = 10000;
constexpr int kAcceptRetryPauseMs = 100;
constexpr int kCloseLingerMs = 2000;
constexpr size_t kMaxIdleConnections = 16;
constexpr int kMaxAcceptsPerTurn = 64;

// Serves requests on listen_fd (0 when started by a FastCGI spawner) until accepting fails for
// good, one request at a time, in turns. The loop waits on the listen socket and on every open
// connection at once; before each request it looks at all of them, accepts the queued connections
// (kMaxAcceptsPerTurn at most) and serves the request whose bytes it saw first, so a new connection
// waits for the requests that were waiting before it, about one on each kept connection, however
// many are kept. A connection whose records fail the checks of FcgiRequestReader
// (devctl/web/fcgi_request_reader.h) is closed unanswered. A connection whose web server set the
// keep-connection flag stays open after the reply for its next request; any other is closed after
// the reply. An abort of a request that is not active is ignored. Accepts that fail for a while
// (descriptors or memory exhausted) pause the listen socket briefly, logged once per episode;
// others that pass (an aborted connection, a signal) are retried at once. Returns a negative
// errno: the listen socket is not one, or broke or was shut down.
int ServeFastCgi(int listen_fd, const ServeFunction& serve);

// The request read deadline for loops started afterwards (tests); 0 restores the default.
void SetRequestReadTimeout(int ms);

// Accepts retried so far because descriptors or memory ran out.
uint64_t AcceptRetries();

}  // namespace web
