#include "devctl/web/fcgi_request_reader.h"

#include <fastcgi.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace web {
namespace {

constexpr size_t kReadChunk = 65536;

// A pair length at p[at]: one byte below 0x80, else four with the high bit cleared. False when
// the length's own bytes run past the end.
bool ReadPairLength(const std::string& params, size_t& at, size_t& length) {
  const auto* p = reinterpret_cast<const unsigned char*>(params.data());
  if (at >= params.size()) return false;
  if (p[at] < 0x80) {
    length = p[at++];
    return true;
  }
  if (params.size() - at < 4) return false;
  length = (size_t(p[at] & 0x7f) << 24) | (size_t(p[at + 1]) << 16) | (size_t(p[at + 2]) << 8) |
           p[at + 3];
  at += 4;
  return true;
}

void AppendRecord(std::string& out, int type, int request_id, const char* content, size_t n) {
  const unsigned char header[FCGI_HEADER_LEN] = {
      FCGI_VERSION_1,
      static_cast<unsigned char>(type),
      static_cast<unsigned char>((request_id >> 8) & 0xff),
      static_cast<unsigned char>(request_id & 0xff),
      static_cast<unsigned char>((n >> 8) & 0xff),
      static_cast<unsigned char>(n & 0xff),
      0,
      0};
  out.append(reinterpret_cast<const char*>(header), sizeof header);
  out.append(content, n);
}

}  // namespace

bool IsWholeParamsStream(const std::string& params) {
  size_t at = 0;
  while (at < params.size()) {
    size_t name = 0, value = 0;
    if (!ReadPairLength(params, at, name) || !ReadPairLength(params, at, value)) return false;
    if (name > params.size() - at || value > params.size() - at - name) return false;
    at += name + value;
  }
  return true;
}

FcgiRequestReader::FcgiRequestReader(int fd, Deadline deadline)
    : fd_(fd), deadline_(deadline), buffer_(kReadChunk) {}

bool FcgiRequestReader::Fill() {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline_ - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd pfd{fd_, POLLIN, 0};
    const int ready = poll(&pfd, 1, static_cast<int>(std::min<long long>(left.count(), 60000)));
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    const ssize_t n = recv(fd_, buffer_.data(), buffer_.size(), MSG_DONTWAIT);
    if (n > 0) {
      begin_ = 0;
      end_ = static_cast<size_t>(n);
      return true;
    }
    if (n == 0) return false;
    if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) return false;
  }
}

bool FcgiRequestReader::ReadExact(char* out, size_t n) {
  while (n > 0) {
    if (begin_ == end_ && !Fill()) return false;
    const size_t take = std::min(n, end_ - begin_);
    if (out) {
      std::memcpy(out, buffer_.data() + begin_, take);
      out += take;
    }
    begin_ += take;
    n -= take;
  }
  return true;
}

bool FcgiRequestReader::ReadHeader(Header& header) {
  unsigned char h[FCGI_HEADER_LEN];
  if (!ReadExact(reinterpret_cast<char*>(h), sizeof h)) return false;
  header.version = h[0];
  header.type = h[1];
  header.request_id = (h[2] << 8) | h[3];
  header.content = (size_t(h[4]) << 8) | h[5];
  header.padding = h[6];
  return header.version == FCGI_VERSION_1;
}

bool FcgiRequestReader::ReadHead(FcgiRequestHead& head) {
  Header header;
  FCGI_BeginRequestBody begin{};
  if (!ReadHeader(header) || header.type != FCGI_BEGIN_REQUEST ||
      header.request_id == FCGI_NULL_REQUEST_ID || header.content != sizeof begin ||
      !ReadExact(reinterpret_cast<char*>(&begin), sizeof begin) ||
      !ReadExact(nullptr, header.padding)) {
    return false;
  }
  if (((begin.roleB1 << 8) | begin.roleB0) != FCGI_RESPONDER) return false;
  const int id = header.request_id;

  std::string params;
  for (;;) {
    if (!ReadHeader(header) || header.type != FCGI_PARAMS || header.request_id != id) return false;
    if (header.content == 0) {
      if (!ReadExact(nullptr, header.padding)) return false;
      break;
    }
    if (header.content > kMaxParamsBytes - params.size()) return false;
    const size_t at = params.size();
    params.resize(at + header.content);
    if (!ReadExact(&params[at], header.content) || !ReadExact(nullptr, header.padding)) {
      return false;
    }
  }
  if (!IsWholeParamsStream(params)) return false;

  head.request_id = id;
  head.records.clear();
  begin.flags = 0;
  AppendRecord(head.records, FCGI_BEGIN_REQUEST, id, reinterpret_cast<const char*>(&begin),
               sizeof begin);
  for (size_t at = 0; at < params.size(); at += FCGI_MAX_LENGTH) {
    AppendRecord(head.records, FCGI_PARAMS, id, params.data() + at,
                 std::min<size_t>(FCGI_MAX_LENGTH, params.size() - at));
  }
  AppendRecord(head.records, FCGI_PARAMS, id, "", 0);
  return true;
}

long FcgiRequestReader::ReadBody(int request_id, char* out, long count) {
  long got = 0;
  while (got < count) {
    Header header;
    if (!ReadHeader(header) || header.type != FCGI_STDIN || header.request_id != request_id ||
        header.content == 0) {
      break;
    }
    const size_t take = std::min<size_t>(header.content, size_t(count - got));
    if (!ReadExact(out + got, take)) break;
    got += static_cast<long>(take);
    // The rest of a record beyond the length the request declared is not needed.
    if (got == count) break;
    if (!ReadExact(nullptr, header.padding)) break;
  }
  return got;
}

}  // namespace web
