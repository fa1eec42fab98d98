#include "fcgi_test_client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstdint>

namespace webtest {
namespace {

constexpr uint8_t kBeginRequest = 1, kEndRequest = 3, kParams = 4, kStdin = 5, kStdout = 6;

void AppendRecord(std::string& out, uint8_t type, const std::string& content) {
  size_t n = content.size();
  out += char(1);
  out += char(type);
  out += char(0);
  out += char(1);  // request id 1
  out += char((n >> 8) & 0xff);
  out += char(n & 0xff);
  out += char(0);
  out += char(0);
  out += content;
}

void AppendLength(std::string& out, size_t n) {
  if (n < 128) {
    out += char(n);
  } else {
    out += char(((n >> 24) & 0x7f) | 0x80);
    out += char((n >> 16) & 0xff);
    out += char((n >> 8) & 0xff);
    out += char(n & 0xff);
  }
}

bool ReadExact(int fd, char* out, size_t n) {
  size_t got = 0;
  while (got < n) {
    ssize_t r = read(fd, out + got, n - got);
    if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      ADD_FAILURE() << "no reply from the request loop within the receive timeout";
    }
    if (r <= 0) return false;
    got += size_t(r);
  }
  return true;
}

}  // namespace

bool SendAll(int fd, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += size_t(n);
  }
  return true;
}

std::string StdinRecord(const std::string& content) {
  std::string out;
  AppendRecord(out, kStdin, content);
  return out;
}

namespace {

// A connection to addr whose reads give up after a minute: a reply that never comes fails the
// test instead of hanging it. -1 when it cannot be made.
int ConnectWithReadTimeout(const sockaddr* addr, socklen_t length) {
  int fd = socket(addr->sa_family, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  timeval tv{60, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  if (connect(fd, addr, length) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

int ConnectTo(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(uint16_t(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return ConnectWithReadTimeout(reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
}

std::string RequestStart(const Params& params, bool keep_conn) {
  std::string out;
  AppendRecord(out, kBeginRequest, std::string("\0\1", 2) + char(keep_conn ? 1 : 0) +
                                       std::string(5, '\0'));
  std::string pairs;
  for (const auto& p : params) {
    AppendLength(pairs, p.first.size());
    AppendLength(pairs, p.second.size());
    pairs += p.first + p.second;
  }
  for (size_t i = 0; i < pairs.size(); i += 65535)
    AppendRecord(out, kParams, pairs.substr(i, 65535));
  AppendRecord(out, kParams, "");
  return out;
}

bool SendRequestStart(int fd, const Params& params, const std::string& stdin_part) {
  std::string out = RequestStart(params);
  if (!stdin_part.empty()) AppendRecord(out, kStdin, stdin_part);
  return SendAll(fd, out);
}

FcgiReply FcgiRequest(int port, const Params& params, const std::string& stdin_bytes) {
  const int fd = ConnectTo(port);
  if (fd < 0) return FcgiReply();
  return FcgiRequestOn(fd, params, stdin_bytes);
}

std::string RequestRecords(const Params& params, const std::string& stdin_bytes,
                           bool keep_conn) {
  std::string out = RequestStart(params, keep_conn);
  for (size_t i = 0; i < stdin_bytes.size(); i += 65535)
    AppendRecord(out, kStdin, stdin_bytes.substr(i, 65535));
  AppendRecord(out, kStdin, "");
  return out;
}

FcgiReply ReadReply(int fd) {
  FcgiReply reply;
  for (;;) {
    unsigned char header[8];
    if (!ReadExact(fd, reinterpret_cast<char*>(header), 8)) break;
    size_t length = (size_t(header[4]) << 8) | header[5];
    std::string content(length + header[6], '\0');
    if (!content.empty() && !ReadExact(fd, content.data(), content.size())) break;
    content.resize(length);
    if (header[1] == kStdout) {
      reply.output += content;
      reply.stdout_records.push_back(length);
    }
    if (header[1] == kEndRequest) {
      reply.ok = true;
      break;
    }
  }
  return reply;
}

FcgiReply FcgiRequestOn(int fd, const Params& params, const std::string& stdin_bytes) {
  SendAll(fd, RequestRecords(params, stdin_bytes));
  FcgiReply reply = ReadReply(fd);
  close(fd);
  return reply;
}

int OpenLocalListenSocket(std::string* path) {
  char dir[] = "/tmp/devctl_fcgi_test_XXXXXX";
  if (mkdtemp(dir) == nullptr) return -1;
  *path = std::string(dir) + "/socket";
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path->c_str());
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 16) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

int ConnectToLocal(const std::string& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
  return ConnectWithReadTimeout(reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
}

int OpenListenSocket(int* port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 16) != 0) {
    close(fd);
    return -1;
  }
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  *port = ntohs(addr.sin_port);
  return fd;
}

}  // namespace webtest
