// The line dispatcher of all three control ports: prepares a completed line, runs the network
// edit and reset confirmation steps, calls the command's handler, and sends the reply with the
// prompt to every port.
#pragma once

#include <functional>
#include <string>

#include "devctl/core/pending_network.h"  // g_unit.net_edit_pending
#include "devctl/text/prepared_line.h"
#include "devctl/text/text_rows.h"

// The on-line callback of every port. line holds len bytes (not NUL-terminated) and may be
// changed in place. Sends the text DispatchLine gives to every port.
void TermDispatchLine(int fd, char* line, int len);

// The command frame of one line: under the configuration lock the line is prepared, the network
// edit and reset confirmation steps run and the command's row (wake, handler); after the lock
// is released the configuration is saved when the row asks for it (a failed save adds an
// "[ERROR]" line). Returns the text for the ports: a wake's power-on notice, the reply and the
// prompt. Call without holding the configuration lock.
std::string DispatchLine(int fd, char* line, int len);
// The same frame handing its text to tell, in the order in which the changes were made
// (commit_order.h): lines of different ports are told in the order their changes took the lock,
// each after its save.
void DispatchLineInOrder(int fd, char* line, int len,
                         const std::function<void(const std::string&)>& tell);

// A RESET / RESET ALL question waits for the next line from the same client or port only: the
// row a "YES" from fd runs, or nullptr when fd was asked nothing.
const TextRow* PendingConfirmation(int fd);
// Forgets the question of a client that went away (its descriptor may be reused).
void ForgetResetConfirm(int fd);
void ClearResetConfirms();
