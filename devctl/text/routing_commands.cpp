#include "devctl/text/routing_commands.h"

#include "devctl/core/globals.h"
#include "devctl/core/limits.h"
#include "devctl/core/output_changes.h"
#include "devctl/text/line_text.h"

bool TermSetOutputSource(int, char* line, int, std::string& reply) {
  int out = -1, src = -1;
  ScanText(line, "OUT%dFR%d", &out, &src);
  if (static_cast<unsigned>(out) > kLastChannelNumber ||
      static_cast<unsigned>(src) > kLastChannelNumber) {
    reply += "[ERROR]Output from param out of range. Type \"HELP\" for more reference.\r\n";
    return false;
  }
  SetOutputSource(out, src, LinkedPairRouting::kAsPair, reply);
  return true;
}
