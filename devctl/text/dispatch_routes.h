// Which handler a condensed command line goes to: the keyword tests of the text protocol, in
// their fixed order (first match wins).
#pragma once

#include "devctl/text/text_handler.h"

// A destination of the keyword tests. handler is null while that command is not part of the
// build; the dispatcher then answers "[ERROR]Command not found.".
struct TextRoute {
  const char* name;
  TextHandler handler;
};

// Destinations the dispatcher handles itself.
extern const TextRoute kRouteResetRequest;     // "RESET": asks for confirmation
extern const TextRoute kRouteResetAllRequest;  // "RESET ALL": asks for confirmation
extern const TextRoute kRouteHelp;             // "?" / "HELP": the listing
// What a confirmed RESET / RESET ALL runs.
extern const TextRoute kRouteResetSystem;
extern const TextRoute kRouteResetAll;

// The route of a condensed line, or nullptr when no test matches. raw_upper is the received line
// upper-cased with its blanks (raw_len bytes, not NUL-terminated), for the "GAIN " test.
const TextRoute* FindTextRoute(const char* condensed, const char* raw_upper, int raw_len);
