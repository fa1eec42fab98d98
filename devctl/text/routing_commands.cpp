#include "devctl/text/routing_commands.h"

#include "devctl/core/limits.h"
#include "devctl/core/output_changes.h"
#include "devctl/core/unit_state.h"
#include "devctl/text/line_text.h"
#include "devctl/text/reply_text.h"

bool TermSetOutputSource(const PreparedLine& line, std::string& reply) {
  int out = -1, src = -1;
  ScanText(line.condensed, "OUT%dFR%d", &out, &src);
  if (static_cast<unsigned>(out) > kLastChannelNumber ||
      static_cast<unsigned>(src) > kLastChannelNumber) {
    return RefuseRange("Output from", reply);
  }
  SetOutputSource(g_unit.config, out, src, LinkedPairRouting::kAsPair, reply);
  return true;
}

// The rows of these commands: keyword tests and frames for the dispatcher, entries for HELP.
namespace {

// After the EQ band, lock, enable and clear tests: "OUT 1 EQ 1 FRQ 100" without TYPE routes.
const TextRow kRoutingRowList[] = {
    {[](const PreparedLine& l) { return l.Begins("OUT") && l.Has("FR"); }, TermSetOutputSource,
     kWakes | kSaves, "OUT 1 FR 3"},
};

const text_command_s kRoutingHelpList[] = {
    {0, "OUT xx FR yy", TermSetOutputSource,
     FormatHelpText(nullptr, "OUT xx FR yy",
                    {"Set Output:xx From Input:yy", "xx=[0]:All Output Ports",
                     "xx=[1...14]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB "
                     "Output Left,14:USB Output Right",
                     "yy=[0...14]:0:None,1-4:Analogue Input CH1-CH4,5-12:Tarvo Input "
                     "CH1-CH8,13:USB Input Left,14:USB Input Right"})},
};

}  // namespace

const TextRows kRoutingRows = SliceOf(kRoutingRowList);

const HelpRows kRoutingHelp = SliceOf(kRoutingHelpList);
