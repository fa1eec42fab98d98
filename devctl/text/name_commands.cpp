#include "devctl/text/name_commands.h"

#include <cstring>

#include "devctl/core/channel_names.h"
#include "devctl/core/limits.h"
#include "devctl/core/unit_state.h"
#include "devctl/text/line_text.h"
#include "devctl/text/reply_text.h"

namespace {

constexpr int kNoChannel = -65535;

// Everything after the first "NAME" up to the line end.
std::string NameText(const char* line) {
  const char* at = std::strstr(line, "NAME");
  if (at == nullptr) return std::string();
  at += 4;
  return std::string(at, std::strcspn(at, "\r\n"));
}

bool SetName(int side, const char* line, const char* pattern, const char* what,
             std::string& reply) {
  int channel = kNoChannel;
  ScanText(line, pattern, &channel);
  const std::string name = NameText(line);
  if (name.empty() || name.size() > static_cast<size_t>(kMaxNameLength) ||
      !IsDisplayableName(name) || channel < 1 || channel > kMaxChannelNumber) {
    return RefuseRange(what, reply);
  }
  return SetChannelName(g_unit.config, side, channel, name, reply);
}

}  // namespace

bool TermSetInputName(const PreparedLine& line, std::string& reply) {
  return SetName(EQ_SIDE_INPUT, line.condensed, "IN%d", "Set input name", reply);
}

bool TermSetOutputName(const PreparedLine& line, std::string& reply) {
  return SetName(EQ_SIDE_OUTPUT, line.condensed, "OUT%d", "Set output name", reply);
}

// The rows of these commands: keyword tests and frames for the dispatcher, entries for HELP.
namespace {

// A name may hold any keyword: these rows come first in the channel commands.
const TextRow kNameRowList[] = {
    {[](const PreparedLine& l) { return l.Begins("IN") && l.Has("NAME"); }, TermSetInputName,
     kWakes | kSaves, "IN 1 NAME Stage Left"},
    {[](const PreparedLine& l) { return l.Begins("OUT") && l.Has("NAME"); }, TermSetOutputName,
     kWakes | kSaves, "OUT 2 NAME Monitor"},
};

const text_command_s kInputNameHelpList[] = {
    {0, "IN xx NAME yy", TermSetInputName,
     FormatHelpText(nullptr, "IN xx NAME yy",
                    {"Set Input: xx To Name: yy",
                     "xx=[1...18]:1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input "
                     "Left,14:USB Input Right,15-18:Input Group 1-4",
                     "yy:Max 24 Characters"})},
};

const text_command_s kOutputNameHelpList[] = {
    {0, "OUT xx NAME yy", TermSetOutputName,
     FormatHelpText("Output Control Command", "OUT xx NAME yy",
                    {"Set Output:xx To Name:yy",
                     "xx=[1...18]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB "
                     "Output Left,14:USB Output Right,15-18:Output Group A-D",
                     "yy:Max 24 Characters"})},
};

}  // namespace

const TextRows kNameRows = SliceOf(kNameRowList);

const HelpRows kInputNameHelp = SliceOf(kInputNameHelpList);
const HelpRows kOutputNameHelp = SliceOf(kOutputNameHelpList);
