#include "devctl/web/fcgi_output.h"

#include <limits.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <vector>

#include "devctl/web/fcgi_records.h"

namespace web {
namespace {

using HeaderBytes = std::array<unsigned char, fcgi::kHeaderLength>;

HeaderBytes Header(int type, int request_id, size_t content, size_t padding) {
  HeaderBytes h;
  fcgi::EncodeHeader(h.data(), type, request_id, content, padding);
  return h;
}

// Until fd takes more bytes; false when the deadline passed or the connection broke first.
bool WaitWritable(int fd, SendDeadline deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd pfd{fd, POLLOUT, 0};
    const int ready = poll(&pfd, 1, static_cast<int>(std::min<long long>(left.count(), 60000)));
    if (ready < 0 && errno != EINTR) return false;
    if (ready > 0) return true;  // writable, or an error the next send reports
  }
}

// Sends every byte of iov before the deadline; a write that stops short (a full socket buffer, a
// signal) goes on where it stopped. MSG_NOSIGNAL: a web server that went away costs an error, not
// the process.
bool SendAll(int fd, std::vector<iovec> iov, SendDeadline deadline) {
  size_t first = 0;
  while (first < iov.size()) {
    msghdr message{};
    message.msg_iov = &iov[first];
    message.msg_iovlen = std::min(iov.size() - first, size_t(IOV_MAX));
    const ssize_t n = sendmsg(fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EINTR) continue;
      if ((errno == EAGAIN || errno == EWOULDBLOCK) && WaitWritable(fd, deadline)) continue;
      return false;
    }
    size_t sent = size_t(n);
    while (first < iov.size() && sent >= iov[first].iov_len) sent -= iov[first++].iov_len;
    if (first < iov.size()) {
      iov[first].iov_base = static_cast<char*>(iov[first].iov_base) + sent;
      iov[first].iov_len -= sent;
    }
  }
  return true;
}

}  // namespace

bool SendFcgiReply(int fd, int request_id, const std::string& head, const std::string& body,
                   SendDeadline deadline) {
  static const char kPadding[8] = {};
  const std::string* parts[] = {&head, &body};
  const size_t total = head.size() + body.size();
  std::vector<HeaderBytes> headers;
  headers.reserve(total / kMaxStdoutRecord + 3);  // iov points into it: no reallocation
  std::vector<iovec> iov;
  size_t part = 0, offset = 0;
  for (size_t left = total; left > 0;) {
    const size_t content = std::min(left, kMaxStdoutRecord);
    const size_t padding = (8 - content % 8) % 8;
    headers.push_back(Header(fcgi::kStdout, request_id, content, padding));
    iov.push_back({headers.back().data(), fcgi::kHeaderLength});
    for (size_t need = content; need > 0;) {
      const std::string& from = *parts[part];
      const size_t take = std::min(need, from.size() - offset);
      if (take > 0) iov.push_back({const_cast<char*>(from.data()) + offset, take});
      need -= take;
      offset += take;
      if (offset == from.size()) {
        ++part;
        offset = 0;
      }
    }
    if (padding > 0) iov.push_back({const_cast<char*>(kPadding), padding});
    left -= content;
  }
  // The end of the output, and the end of the request with its 8-byte body (all zero: application
  // status 0, request complete).
  headers.push_back(Header(fcgi::kStdout, request_id, 0, 0));
  iov.push_back({headers.back().data(), fcgi::kHeaderLength});
  headers.push_back(Header(fcgi::kEndRequest, request_id, 8, 0));
  iov.push_back({headers.back().data(), fcgi::kHeaderLength});
  static_assert(fcgi::kRequestComplete == 0, "the end-request body is all zero");
  iov.push_back({const_cast<char*>(kPadding), 8});
  return SendAll(fd, std::move(iov), deadline);
}

bool SendFcgiRecords(int fd, const std::string& records, SendDeadline deadline) {
  return SendAll(fd, {{const_cast<char*>(records.data()), records.size()}}, deadline);
}

}  // namespace web
