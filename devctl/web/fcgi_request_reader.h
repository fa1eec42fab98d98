// Reads one request from a web server's FastCGI connection within one deadline, and checks every
// record and every parameter length on the way.
//
// What a connection may carry, as a web server sends it, one request after another:
//   - management records (request id 0) between requests;
//   - a begin-request record (version 1, a request id other than 0, the responder role, 8 bytes
//     of content) first;
//   - then the parameter records of that request, up to the empty one that ends them. The
//     parameters are one stream: a name-value pair may span records. Their content together is
//     at most kMaxParamsBytes, and it must be a whole sequence of pairs: each pair's name and
//     value lengths (1 byte, or 4 with the high bit set) and its bytes end inside the stream;
//   - then the standard input of that request (its body), up to the empty record that ends it.
// Anything else before the parameters end (another request, another record type, a broken
// header, a pair whose lengths run past the end of the parameters) fails the stream, and so does a
// deadline passed before the parameters end: the connection is dropped. An abort of the request
// inside its body ends the body there: the request is answered and its standard input records that
// follow are read and dropped between requests. An abort of any other request, or of one already
// answered, is read and dropped. Any other record inside the body (a second request on the same
// connection) ends the body there, and the connection is closed after the reply.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "devctl/web/fcgi_connection.h"
#include "devctl/web/fcgi_records.h"

namespace web {

// The parameters of one request: far beyond a web server's CGI variables and request headers.
constexpr size_t kMaxParamsBytes = 65536;

using FcgiParams = std::vector<std::pair<std::string, std::string>>;

// Splits a stream of FastCGI name-value pairs into out. False when it is not a whole sequence of
// pairs.
bool ParseParams(const std::string& stream, FcgiParams& out);
// The value of the first pair named name, or null.
const std::string* FindParam(const FcgiParams& params, const char* name);

struct FcgiRequestHead {
  int request_id = 0;
  bool keep_conn = false;  // the web server keeps the connection for further requests
  FcgiParams params;
};

// A record of request id 0, addressed to the application rather than to a request.
struct FcgiManagementRecord {
  int type = 0;
  std::string content;
};

// kSkipped: a record left over from a request that is no longer active (an abort, the rest of an
// aborted request's standard input) was read and dropped.
enum class FcgiHeadResult { kRequest, kManagement, kSkipped, kBroken };

struct FcgiBodyResult {
  long got = 0;               // bytes stored
  bool stream_ended = false;  // read up to the empty record that ends the standard input
  bool aborted = false;       // the web server aborted the request inside its body
};

class FcgiRequestReader {
 public:
  using Deadline = std::chrono::steady_clock::time_point;
  FcgiRequestReader(FcgiConnection& connection, Deadline deadline);

  // Reads one management record, a record left over from an earlier request, or a request up to
  // the end of its parameters.
  FcgiHeadResult ReadHead(FcgiRequestHead& head, FcgiManagementRecord& management);

  // Reads the standard input of request_id up to its end: the first count bytes into out, what
  // follows is read and dropped. Stops early when the connection ends or breaks, the request is
  // aborted, a record other than this request's standard input or an abort comes, or the deadline
  // passes.
  FcgiBodyResult ReadBody(int request_id, char* out, long count);

 private:
  bool ReadHeader(fcgi::Header& header);
  // Reads and drops the content and padding of a record whose header was read.
  bool SkipContent(const fcgi::Header& header);
  // Reads exactly n bytes (out may be null: skipped). False when the connection ended or broke
  // or the deadline passed first.
  bool ReadExact(char* out, size_t n);
  bool Fill();

  FcgiConnection& connection_;
  Deadline deadline_;
};

}  // namespace web
