#include "tarvo/TarvoLine.h"

namespace Tarvo {

void writeText(FILE* stream, const std::string& text) {
  fwrite(text.data(), 1, text.size(), stream);
  fflush(stream);
}

void writeLine(FILE* stream, const std::string& text) { writeText(stream, text + "\n"); }

}  // namespace Tarvo
