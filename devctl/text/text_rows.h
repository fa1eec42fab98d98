// What a command of the text protocol is: one dispatch row (its keyword test, its handler and
// the frame around it) and one HELP row, both exported by the command's family file. The family
// slices are joined in text_commands.cpp, in the order the dispatcher tries them and the order
// HELP lists them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "devctl/text/prepared_line.h"

// A text command handler: parses the prepared line, calls the change, appends its reply lines
// ("[SUCCESS]" / "[ERROR]" ..., each ending "\r\n") and returns true when it changed the
// configuration. It never sends, saves or wakes: its row's flags have the frame do that.
using TextHandler = bool (*)(const PreparedLine& line, std::string& reply);

// A keyword test: true when the row answers the line.
using TextTest = bool (*)(const PreparedLine& line);

// What the dispatcher does around a row's handler.
enum TextRowFlag : unsigned {
  kWakes = 1u << 0,         // WakeOnCommand before the handler
  kSaves = 1u << 1,         // save the live configuration when the handler returned true
  kWakesAfter = 1u << 3,    // WakeOnCommand after the handler, when it returned true
  kWakesWhenOff = 1u << 4,  // unit off: WakeOnCommand before the handler and save the live
                            // configuration whatever the handler returned
};

// One row of the dispatch order. The first row whose test matches a line answers it.
struct TextRow {
  TextTest matches;
  TextHandler handler;
  unsigned flags;       // TextRowFlag
  const char* example;  // a line this row answers, as typed (the routing test sends it)
  // When set, the line only asks this question; the next line of the same port runs the row
  // when it begins "YES".
  const char* question = nullptr;
};

// One entry of the HELP table.
struct text_command_s {
  // 0 listed for every device type; 1 hidden when the type begins "RX"; 2 when it begins "TX".
  uint32_t variant;
  const char* keyword;  // the command keyword as the table stores it
  TextHandler handler;  // the command this entry lists
  std::string help;     // one or more lines joined by "\r\n", none after the last
};

// A run of rows a family file exports.
template <typename Row>
struct RowSlice {
  const Row* rows;
  size_t count;

  const Row* begin() const { return rows; }
  const Row* end() const { return rows + count; }
};

template <typename Row, size_t N>
constexpr RowSlice<Row> SliceOf(const Row (&rows)[N]) {
  return {rows, N};
}

using TextRows = RowSlice<TextRow>;
using HelpRows = RowSlice<text_command_s>;

// A help text: an optional section header line, the syntax padded to 30 columns followed by the
// first description line, and the other description lines indented by 30 blanks. A syntax of 30
// characters or more stands alone and all description lines are indented.
std::string FormatHelpText(const char* section_title, const char* syntax,
                           std::initializer_list<const char*> description);
