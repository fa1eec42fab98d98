// Reads one request from a web server's FastCGI connection within one deadline, and checks its
// records before libfcgi parses any of them.
//
// What a connection may carry, as a web server sends it for one request:
//   - a begin-request record (version 1, a request id other than 0, the responder role, 8 bytes
//     of content) first;
//   - then the parameter records of that request, up to the empty one that ends them. The
//     parameters are one stream: a name-value pair may span records. Their content together is
//     at most kMaxParamsBytes, and it must be a whole sequence of pairs: each pair's name and
//     value lengths (1 byte, or 4 with the high bit set) and its bytes end inside the stream;
//   - then the standard input of that request (its body).
// Anything else before the parameters end (management records, another request, another record
// type, a broken header, a pair whose lengths run past the end of the parameters) fails the
// stream, and so does a deadline passed before the parameters end: the connection is dropped.
// One connection carries one request; it is closed after the reply.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace web {

// The parameters of one request: far beyond a web server's CGI variables and request headers.
constexpr size_t kMaxParamsBytes = 65536;

// True when params is a whole sequence of FastCGI name-value pairs.
bool IsWholeParamsStream(const std::string& params);

struct FcgiRequestHead {
  int request_id = 0;
  // The begin-request and parameter records as libfcgi is given them: the checked parameters
  // re-framed without padding, and without the keep-connection flag.
  std::string records;
};

class FcgiRequestReader {
 public:
  using Deadline = std::chrono::steady_clock::time_point;
  FcgiRequestReader(int fd, Deadline deadline);

  // Reads up to the end of the parameters. False when the stream fails (see above).
  bool ReadHead(FcgiRequestHead& head);

  // Reads the standard input of request_id into out until count bytes are there. Returns the
  // bytes read: fewer when the input ended, the connection ended or broke, a record other than
  // this request's standard input came, or the deadline passed.
  long ReadBody(int request_id, char* out, long count);

 private:
  struct Header {
    int version = 0, type = 0, request_id = 0;
    size_t content = 0, padding = 0;
  };
  bool ReadHeader(Header& header);
  // Reads exactly n bytes (out may be null: skipped). False when the connection ended or broke
  // or the deadline passed first.
  bool ReadExact(char* out, size_t n);
  bool Fill();

  int fd_;
  Deadline deadline_;
  std::vector<char> buffer_;
  size_t begin_ = 0, end_ = 0;
};

}  // namespace web
