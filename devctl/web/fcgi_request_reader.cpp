#include "devctl/web/fcgi_request_reader.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace web {
namespace {

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

}  // namespace

bool ParseParams(const std::string& stream, FcgiParams& out) {
  out.clear();
  size_t at = 0;
  while (at < stream.size()) {
    size_t name = 0, value = 0;
    if (!ReadPairLength(stream, at, name) || !ReadPairLength(stream, at, value)) return false;
    if (name > stream.size() - at || value > stream.size() - at - name) return false;
    out.emplace_back(stream.substr(at, name), stream.substr(at + name, value));
    at += name + value;
  }
  return true;
}

const std::string* FindParam(const FcgiParams& params, const char* name) {
  for (const auto& pair : params) {
    if (pair.first == name) return &pair.second;
  }
  return nullptr;
}

FcgiRequestReader::FcgiRequestReader(FcgiConnection& connection, Deadline deadline)
    : connection_(connection), deadline_(deadline) {}

bool FcgiRequestReader::Fill() {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline_ - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd pfd{connection_.fd, POLLIN, 0};
    const int ready = poll(&pfd, 1, static_cast<int>(std::min<long long>(left.count(), 60000)));
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    const ssize_t n =
        recv(connection_.fd, connection_.buffer.data(), connection_.buffer.size(), MSG_DONTWAIT);
    if (n > 0) {
      connection_.begin = 0;
      connection_.end = static_cast<size_t>(n);
      return true;
    }
    if (n == 0) return false;
    if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) return false;
  }
}

bool FcgiRequestReader::ReadExact(char* out, size_t n) {
  while (n > 0) {
    if (!connection_.HasBufferedBytes() && !Fill()) return false;
    const size_t take = std::min(n, connection_.end - connection_.begin);
    if (out) {
      std::memcpy(out, connection_.buffer.data() + connection_.begin, take);
      out += take;
    }
    connection_.begin += take;
    n -= take;
  }
  return true;
}

bool FcgiRequestReader::ReadHeader(fcgi::Header& header) {
  unsigned char bytes[fcgi::kHeaderLength];
  if (!ReadExact(reinterpret_cast<char*>(bytes), sizeof bytes)) return false;
  header = fcgi::DecodeHeader(bytes);
  return header.version == fcgi::kVersion1;
}

bool FcgiRequestReader::SkipContent(const fcgi::Header& header) {
  return ReadExact(nullptr, header.content + header.padding);
}

FcgiHeadResult FcgiRequestReader::ReadHead(FcgiRequestHead& head,
                                           FcgiManagementRecord& management) {
  fcgi::Header header;
  if (!ReadHeader(header)) return FcgiHeadResult::kBroken;
  const bool left_over =
      header.request_id != 0 &&
      (header.type == fcgi::kAbortRequest ||
       (header.type == fcgi::kStdin && header.request_id == connection_.aborted_request_id));
  if (left_over) return SkipContent(header) ? FcgiHeadResult::kSkipped : FcgiHeadResult::kBroken;
  if (header.request_id == 0) {
    management.type = header.type;
    management.content.resize(header.content);
    return ReadExact(&management.content[0], header.content) && ReadExact(nullptr, header.padding)
               ? FcgiHeadResult::kManagement
               : FcgiHeadResult::kBroken;
  }
  unsigned char begin[fcgi::kBeginRequestBody];
  if (header.type != fcgi::kBeginRequest || header.content != sizeof begin ||
      !ReadExact(reinterpret_cast<char*>(begin), sizeof begin) ||
      !ReadExact(nullptr, header.padding) || ((begin[0] << 8) | begin[1]) != fcgi::kResponder) {
    return FcgiHeadResult::kBroken;
  }
  const int id = header.request_id;
  connection_.aborted_request_id = 0;

  std::string params;
  for (;;) {
    if (!ReadHeader(header) || header.type != fcgi::kParams || header.request_id != id) {
      return FcgiHeadResult::kBroken;
    }
    if (header.content == 0) {
      if (!ReadExact(nullptr, header.padding)) return FcgiHeadResult::kBroken;
      break;
    }
    if (header.content > kMaxParamsBytes - params.size()) return FcgiHeadResult::kBroken;
    const size_t at = params.size();
    params.resize(at + header.content);
    if (!ReadExact(&params[at], header.content) || !ReadExact(nullptr, header.padding)) {
      return FcgiHeadResult::kBroken;
    }
  }
  if (!ParseParams(params, head.params)) return FcgiHeadResult::kBroken;
  head.request_id = id;
  head.keep_conn = (begin[2] & fcgi::kKeepConn) != 0;
  return FcgiHeadResult::kRequest;
}

FcgiBodyResult FcgiRequestReader::ReadBody(int request_id, char* out, long count) {
  FcgiBodyResult result;
  for (;;) {
    fcgi::Header header;
    if (!ReadHeader(header)) return result;
    if (header.type == fcgi::kAbortRequest) {
      if (!SkipContent(header)) return result;
      if (header.request_id != request_id) continue;  // not an active request
      result.aborted = true;
      connection_.aborted_request_id = request_id;
      return result;
    }
    if (header.type != fcgi::kStdin || header.request_id != request_id) return result;
    if (header.content == 0) {
      result.stream_ended = ReadExact(nullptr, header.padding);
      return result;
    }
    const size_t room = count > result.got ? size_t(count - result.got) : 0;
    const size_t take = std::min(header.content, room);
    if (!ReadExact(out + result.got, take)) return result;
    result.got += static_cast<long>(take);
    if (!ReadExact(nullptr, header.content - take + header.padding)) return result;
  }
}

}  // namespace web
