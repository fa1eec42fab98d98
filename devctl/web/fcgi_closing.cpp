#include "devctl/web/fcgi_closing.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace web {

void ClosingConnections::Add(std::unique_ptr<FcgiConnection> connection, bool input_read_whole) {
  shutdown(connection->fd, SHUT_WR);
  if (input_read_whole) return;  // closed here, with the object
  lingering_.push_back({std::move(connection), Clock::now() + linger_});
}

void ClosingConnections::AppendPollFds(std::vector<pollfd>& fds) const {
  for (const Lingering& entry : lingering_) fds.push_back({entry.connection->fd, POLLIN, 0});
}

void ClosingConnections::Handle(const pollfd* first, Clock::time_point now) {
  for (size_t i = 0; i < lingering_.size(); ++i) {
    Lingering& entry = lingering_[i];
    bool ended = now >= entry.until;
    if (!ended && first[i].revents != 0) {
      // What the client still sends is read and dropped; its end (or an error) ends the wait.
      FcgiConnection& connection = *entry.connection;
      const ssize_t n =
          recv(connection.fd, connection.buffer.data(), connection.buffer.size(), MSG_DONTWAIT);
      ended = n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK);
    }
    if (ended) entry.connection.reset();
  }
  lingering_.erase(std::remove_if(lingering_.begin(), lingering_.end(),
                                  [](const Lingering& entry) { return !entry.connection; }),
                   lingering_.end());
}

int ClosingConnections::MsUntilNextEnd(Clock::time_point now) const {
  int soonest = -1;
  for (const Lingering& entry : lingering_) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(entry.until - now).count();
    const int ms = static_cast<int>(std::max<long long>(0, left)) + 1;
    if (soonest < 0 || ms < soonest) soonest = ms;
  }
  return soonest;
}

}  // namespace web
