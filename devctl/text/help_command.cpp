#include "devctl/text/help_command.h"

#include "devctl/core/unit_state.h"
#include "devctl/text/text_commands.h"

bool TermPrintHelp(const PreparedLine&, std::string& reply) {
  const std::vector<text_command_s>& table = TextHelpTable();
  AppendHelpListing(reply, table.data(), table.size());
  return false;
}

void AppendHelpListing(std::string& reply, const text_command_s* table, size_t count) {
  const std::string rule(65, '=');
  reply += "\r\n" + rule + "\r\n";
  reply += "      " + g_unit.config.model + " Help Info\r\n";
  reply += "      FW Version:MCU_Main " + g_unit.identity.main_version + "/MCU_Sub " +
           g_unit.identity.mcu_version + "/NETAUDIO_SDK " + g_unit.identity.netaudio_version +
           "\r\n\r\n";
  const std::string& type = g_unit.config.type;
  const bool tx = type.compare(0, 2, "TX") == 0, rx = type.compare(0, 2, "RX") == 0;
  for (size_t i = 0; i < count; ++i) {
    const text_command_s& entry = table[i];
    if ((tx && entry.variant == 2) || (rx && entry.variant == 1)) continue;
    reply += entry.help + "\r\n";
  }
  reply += rule + "\r\n\r\n";
}

// The rows of these commands: keyword tests and frames for the dispatcher, entries for HELP.
namespace {

const TextRow kHelpRowList[] = {
    {[](const PreparedLine& l) { return l.Begins("?") || l.Begins("HELP"); }, TermPrintHelp, 0,
     "HELP"},
};

const text_command_s kHelpRequestHelpList[] = {
    {0, "?/HELP", TermPrintHelp,
     FormatHelpText("System Information Command", "?/HELP", {"Print Help Information"})},
};

}  // namespace

const TextRows kHelpRows = SliceOf(kHelpRowList);

const HelpRows kHelpRequestHelp = SliceOf(kHelpRequestHelpList);
