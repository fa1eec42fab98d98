#include "devctl/web/fcgi_records.h"

namespace web {
namespace fcgi {

Header DecodeHeader(const unsigned char* h) {
  Header header;
  header.version = h[0];
  header.type = h[1];
  header.request_id = (h[2] << 8) | h[3];
  header.content = (size_t(h[4]) << 8) | h[5];
  header.padding = h[6];
  return header;
}

void EncodeHeader(unsigned char* out, int type, int request_id, size_t content, size_t padding) {
  out[0] = kVersion1;
  out[1] = static_cast<unsigned char>(type);
  out[2] = static_cast<unsigned char>((request_id >> 8) & 0xff);
  out[3] = static_cast<unsigned char>(request_id & 0xff);
  out[4] = static_cast<unsigned char>((content >> 8) & 0xff);
  out[5] = static_cast<unsigned char>(content & 0xff);
  out[6] = static_cast<unsigned char>(padding);
  out[7] = 0;
}

void AppendRecord(std::string& out, int type, int request_id, const std::string& content) {
  unsigned char header[kHeaderLength];
  const size_t n = content.size() < kMaxContent ? content.size() : kMaxContent;
  EncodeHeader(header, type, request_id, n, 0);
  out.append(reinterpret_cast<const char*>(header), sizeof header);
  out.append(content, 0, n);
}

}  // namespace fcgi
}  // namespace web
