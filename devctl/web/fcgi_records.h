// The FastCGI record layer as the web loop speaks it: the record header, the record and request
// types, and the values of the begin-request and end-request bodies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace web {
namespace fcgi {

constexpr size_t kHeaderLength = 8;
constexpr int kVersion1 = 1;
constexpr size_t kMaxContent = 65535;

// Record types.
constexpr int kBeginRequest = 1;
constexpr int kAbortRequest = 2;
constexpr int kEndRequest = 3;
constexpr int kParams = 4;
constexpr int kStdin = 5;
constexpr int kStdout = 6;
constexpr int kGetValues = 9;
constexpr int kGetValuesResult = 10;
constexpr int kUnknownType = 11;

// The begin-request body: role (2 bytes), flags, 5 reserved bytes.
constexpr size_t kBeginRequestBody = 8;
constexpr int kResponder = 1;
constexpr int kKeepConn = 1;

// The end-request body: application status (4 bytes), protocol status, 3 reserved bytes.
constexpr int kRequestComplete = 0;

struct Header {
  int version = 0;
  int type = 0;
  int request_id = 0;
  size_t content = 0;
  size_t padding = 0;
};

Header DecodeHeader(const unsigned char* bytes);
// Writes the 8 header bytes of a record of type and content length for request_id to out.
void EncodeHeader(unsigned char* out, int type, int request_id, size_t content, size_t padding);
// Appends a whole record (no padding) of at most kMaxContent bytes of content.
void AppendRecord(std::string& out, int type, int request_id, const std::string& content);

}  // namespace fcgi
}  // namespace web
