// Fuzz target: what a telnet client sends, through the telnet filter and the line editor. The
// first byte chooses where the input is cut into reads; the edit line and cursor must stay within
// their bounds and every completed line must end with CR.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "devctl/text/history.h"
#include "devctl/text/line_editor.h"

namespace {
template <size_t N>
std::string Bytes(const char (&s)[N]) {
  return std::string(s, N - 1);
}
}  // namespace

extern const std::vector<std::string> kFuzzSeeds = {
    Bytes("\x05"
          "abc\x1b[D\x1b[D\x7f\r"),
    Bytes("\x03"
          "\xff\xfb\x1f\xff\xfd\x18IN 1\xff\xff\r"),
    Bytes("\x07"
          "\xff\xfa\x18\x01\xff\xff\x02\xff\xf0x\r\x1b[A\x1b[B\x1b[3~"),
    Bytes("\x01"
          "a\bb\bc\r\r\r\x1b[C\x1b[C"),
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t cut = 1 + data[0] % 64;
  tcp_session_s s;
  s.fd = 9;
  s.telnet = std::make_unique<telnet_state_s>();
  TelnetInitState(s.telnet.get(), 9);
  s.telnet->send = [](const uint8_t*, int n) {
    if (n < 0) abort();
  };
  EditIo io;
  io.write = [](const char*, size_t) {};
  io.on_line = [](int fd, char* line, int len) {
    if (fd != 9 || len < 1 || (line[len - 1] != '\r' && line[len - 1] != '\n')) abort();
  };
  for (size_t at = 1; at < size; at += cut) {
    std::string chunk(reinterpret_cast<const char*>(data) + at, std::min(cut, size - at));
    EditChunk(s, true, chunk.data(), static_cast<int>(chunk.size()), io);
    if (s.edit_len < 0 || s.edit_len > session::kEditMax) abort();
    if (s.cursor_offset < 0 || s.cursor_offset > s.edit_len) abort();
  }
  HistoryClear();
  return 0;
}
