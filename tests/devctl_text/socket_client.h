// Small blocking loopback clients for the server tests.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <initializer_list>
#include <string>

namespace testclient {

// Generous limit for a byte to arrive on loopback; only reached when something is broken, and then
// the read fails the test.
constexpr int kPatienceMs = 60000;

inline int Connect(uint16_t port, int rcvbuf = 0) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (rcvbuf > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

inline void Send(int fd, const std::string& s) { ::send(fd, s.data(), s.size(), MSG_NOSIGNAL); }

// Reads until the received text ends with `until`, or the peer closes. With `until` set, nothing
// arriving for quiet_ms fails the test; with it empty, the read ends there (what a client gets
// until it goes quiet).
inline std::string ReadUntil(int fd, const std::string& until, int quiet_ms = kPatienceMs,
                             bool* closed = nullptr) {
  std::string got;
  if (closed) *closed = false;
  while (until.empty() || got.size() < until.size() ||
         got.compare(got.size() - until.size(), until.size(), until) != 0) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, quiet_ms) <= 0) {
      if (!until.empty()) ADD_FAILURE() << "no \"" << until << "\" after \"" << got << "\"";
      break;
    }
    char buf[65536];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) {
      if (closed) *closed = true;
      break;
    }
    got.append(buf, n);
  }
  return got;
}

// Reads until the received text contains one of `texts` (other text may come before and after
// it, as broadcasts of other clients' lines do), or the peer closes; a stall fails the test.
inline std::string ReadUntilOneOf(int fd, std::initializer_list<std::string> texts) {
  std::string got;
  auto found = [&] {
    for (const std::string& t : texts)
      if (got.find(t) != std::string::npos) return true;
    return false;
  };
  while (!found()) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, kPatienceMs) <= 0) {
      ADD_FAILURE() << "none of the awaited texts after \"" << got << "\"";
      break;
    }
    char buf[65536];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, n);
  }
  return got;
}

// Reads until the text holds `count` occurrences of `mark`, the last one followed by at least
// `tail` more bytes, or the peer closes; a stall fails the test.
inline std::string ReadUntilCount(int fd, char mark, size_t count, size_t tail) {
  std::string got;
  size_t seen = 0, last = 0, scanned = 0;
  while (seen < count || got.size() < last + tail) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, kPatienceMs) <= 0) {
      ADD_FAILURE() << "only " << seen << " of " << count << " marks arrived";
      break;
    }
    char buf[65536];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, n);
    for (; scanned < got.size() && seen < count; ++scanned) {
      if (got[scanned] == mark) {
        ++seen;
        last = scanned;
      }
    }
  }
  return got;
}

// Reads exactly n bytes (fewer if the peer closes); a stall fails the test.
inline std::string ReadBytes(int fd, size_t n) {
  std::string got;
  while (got.size() < n) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, kPatienceMs) <= 0) {
      ADD_FAILURE() << "only " << got.size() << " of " << n << " bytes arrived";
      break;
    }
    char buf[65536];
    const ssize_t r = recv(fd, buf, std::min(sizeof buf, n - got.size()), 0);
    if (r <= 0) break;
    got.append(buf, r);
  }
  return got;
}

// True when the peer closed the connection (EOF) without sending anything first.
inline bool ClosedWithoutData(int fd) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, kPatienceMs) <= 0) return false;
  char c;
  return recv(fd, &c, 1, 0) == 0;
}

}  // namespace testclient
