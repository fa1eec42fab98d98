// Channel lock, group member and delay commands of the text protocol:
//  "IN xx CH LOCK ON/OFF", "OUT xx CH LOCK ON/OFF": link or unlink the stereo pair of channel xx;
//  "IN GROUP zz MEMBER yy", "OUT GROUP zz MEMBER yy": the complete member list of group zz (1-4),
//    yy fourteen '0'/'1', leftmost analogue CH1, rightmost USB right;
//  "OUT xx DLYT yy": delay yy ms (0-50) on output xx (0 all).
#pragma once

#include <string>

#include "devctl/text/text_rows.h"

bool TermSetInputChannelLock(const PreparedLine& line, std::string& reply);
bool TermSetOutputChannelLock(const PreparedLine& line, std::string& reply);
bool TermSetInputGroupMembers(const PreparedLine& line, std::string& reply);
bool TermSetOutputGroupMembers(const PreparedLine& line, std::string& reply);
bool TermSetOutputDelay(const PreparedLine& line, std::string& reply);

// Rows (text_rows.h). Dispatch: IN and OUT CH LOCK; IN GROUP MEMBER, OUT DLYT, OUT GROUP MEMBER.
extern const TextRows kChannelLockRows;
extern const TextRows kGroupAndDelayRows;
// HELP: IN CH LOCK; IN GROUP; OUT CH LOCK; OUT DLYT and OUT GROUP.
extern const HelpRows kInputLockHelp;
extern const HelpRows kInputGroupHelp;
extern const HelpRows kOutputLockHelp;
extern const HelpRows kOutputDelayGroupHelp;
