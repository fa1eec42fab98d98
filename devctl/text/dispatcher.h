// The line dispatcher of all three control ports: prepares a completed line, runs the network
// edit and reset confirmation steps, calls the command's handler, and sends the reply with the
// prompt to every port.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "devctl/core/pending_network.h"  // g_net_edit_pending
#include "devctl/text/text_commands.h"


// The on-line callback of every port. line holds len bytes (not NUL-terminated) and may be
// changed in place. Sends the text DispatchLine gives to every port.
void TermDispatchLine(int fd, char* line, int len);

// The command frame of one line: under the configuration lock the line is prepared, the network
// edit and reset confirmation steps run and the command's route (wake, handler); after the lock
// is released the configuration is saved when the route asks for it (a failed save adds an
// "[ERROR]" line). Returns the text for the ports: a wake's power-on notice, the reply and the
// prompt. Call without holding the configuration lock.
std::string DispatchLine(int fd, char* line, int len);
// The same frame handing its text to tell, in the order in which the changes were made
// (commit_order.h): lines of different ports are told in the order their changes took the lock,
// each after its save.
void DispatchLineInOrder(int fd, char* line, int len,
                         const std::function<void(const std::string&)>& tell);

// A received line prepared for the keyword tests.
struct PreparedLine {
  static constexpr int kSize = 1024;
  char condensed[kSize] = {};  // blanks and NULs removed, upper-cased up to the first "NAME"
  int count = 0;
  std::string scope;  // the upper-cased condensed text before the first "NAME"
};

// Condenses line (after DEL editing) into p and upper-cases line in place. False, with p
// unusable, when the condensed line does not fit.
bool PrepareLine(char* line, int len, PreparedLine* p);

// A RESET / RESET ALL question waits for the next line from the same client or port only.
// 0 none, 1 RESET asked, 2 RESET ALL asked.
int ResetConfirmState(int fd);
// Forgets the question of a client that went away (its descriptor may be reused).
void ForgetResetConfirm(int fd);
void ClearResetConfirms();

// Appends the HELP listing of a table (without the prompt) for the live configuration's device
// type.
void AppendHelpListing(std::string& reply, const text_command_s* table, size_t count);
