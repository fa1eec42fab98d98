// Fuzz target: what arrives on the RS-232 port, through the port's echo, history recall and line
// assembly. The first byte chooses where the rest is cut into reads (1 to 64 bytes each); with its
// top bit set, the reads come behind nearly a whole line buffer of text, so lines at and past the
// buffer's bound are reached.
//
// Every line handed on is non-empty, fits the line buffer, and holds no line end but a closing
// CR LF.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "devctl/text/history.h"
#include "devctl/text/uart.h"

namespace {

void CheckLine(int, char* line, int len) {
  if (len < 1 || static_cast<size_t>(len) > CUart::kLineBufferSize) abort();
  const std::string text(line, static_cast<size_t>(len));
  const size_t end = text.find_first_of("\r\n");
  if (end == std::string::npos) return;
  if (end + 2 != text.size() || text.compare(end, 2, "\r\n") != 0) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static bool history = [] {
    HistoryInit();
    return true;
  }();
  (void)history;
  const size_t cut = 1 + data[0] % 64;
  CUart port;  // never started: nothing is echoed, lines go to on_line
  port.on_line = CheckLine;
  if (data[0] & 0x80) {
    const std::string block(4096, 'x');
    size_t flood = CUart::kLineBufferSize - 64 + data[1] % 128;
    for (; flood > 0; flood -= std::min(flood, block.size())) {
      port.HandleChunk(block.data(), static_cast<int>(std::min(flood, block.size())));
    }
  }
  for (size_t at = 2; at < size; at += cut) {
    const std::string read(reinterpret_cast<const char*>(data) + at, std::min(cut, size - at));
    port.HandleChunk(read.data(), static_cast<int>(read.size()));
  }
  HistoryClear();
  return 0;
}
