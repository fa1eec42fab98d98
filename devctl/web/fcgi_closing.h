// Connections the web loop has answered and is closing: the reply side is shut down at once, and
// a connection whose input was not read to its end is drained until the client closes its side or
// the linger time passes. Closing with unread input would reset the connection, and the client
// could lose its reply. The loop waits on these beside its other connections, so a lingering close
// never holds the requests of others.
#pragma once

#include <poll.h>

#include <chrono>
#include <memory>
#include <vector>

#include "devctl/web/fcgi_connection.h"

namespace web {

class ClosingConnections {
 public:
  using Clock = std::chrono::steady_clock;

  explicit ClosingConnections(int linger_ms) : linger_(linger_ms) {}

  // Ends the reply side of connection; closes it now when its input was read whole, else keeps it
  // until its client closes or the linger time passes.
  void Add(std::unique_ptr<FcgiConnection> connection, bool input_read_whole);
  // Appends one entry per lingering connection, in order, to fds.
  void AppendPollFds(std::vector<pollfd>& fds) const;
  // Drains the connections whose entries (from AppendPollFds, at first) reported events and closes
  // those whose client closed or whose linger time passed by now.
  void Handle(const pollfd* first, Clock::time_point now);
  // How long the loop may wait before a linger time passes (-1: none is lingering).
  int MsUntilNextEnd(Clock::time_point now) const;
  size_t size() const { return lingering_.size(); }

 private:
  struct Lingering {
    std::unique_ptr<FcgiConnection> connection;
    Clock::time_point until;
  };
  std::chrono::milliseconds linger_;
  std::vector<Lingering> lingering_;
};

}  // namespace web
