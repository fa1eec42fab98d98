// A received command line prepared for the keyword tests and the handlers: blanks and NULs
// removed, upper-cased up to and including the first "NAME" (a name keeps the case it was typed
// in).
#pragma once

#include <string>
#include <string_view>

struct PreparedLine {
  static constexpr int kSize = 1024;
  char condensed[kSize] = {};  // NUL-terminated: at most kSize - 1 bytes are kept
  int count = 0;               // bytes in condensed
  std::string scope;           // the upper-cased condensed text before the first "NAME"
  std::string_view raw;        // the received line, upper-cased in place with its blanks

  // The condensed line begins with keyword.
  bool Begins(const char* keyword) const;
  // The condensed line holds keyword anywhere (a name included).
  bool Has(const char* keyword) const;
  // The text before the first "NAME" holds keyword: what a name says is not a keyword.
  bool ScopeHas(const char* keyword) const;
  // The received line holds keyword, blanks included ("GAIN " with its blank).
  bool RawHas(const char* keyword) const;
  // keyword, then later in the line then.
  bool HasAfter(const char* keyword, const char* then) const;
};

// Condenses line (after DEL editing) into p, upper-cases line in place and keeps it as p->raw
// (p is valid only as long as line is). False, with p unusable, when the condensed line does not
// fit.
bool PrepareLine(char* line, int len, PreparedLine* p);
