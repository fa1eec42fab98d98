// Channel lock, group member and delay commands of the text protocol:
//  "IN xx CH LOCK ON/OFF", "OUT xx CH LOCK ON/OFF": link or unlink the stereo pair of channel xx;
//  "IN GROUP zz MEMBER yy", "OUT GROUP zz MEMBER yy": the complete member list of group zz (1-4),
//    yy fourteen '0'/'1', leftmost analogue CH1, rightmost USB right;
//  "OUT xx DLYT yy": delay yy ms (0-50) on output xx (0 all).
#pragma once

#include <string>

bool TermSetInputChannelLock(int fd, char* line, int len, std::string& reply);
bool TermSetOutputChannelLock(int fd, char* line, int len, std::string& reply);
bool TermSetInputGroupMembers(int fd, char* line, int len, std::string& reply);
bool TermSetOutputGroupMembers(int fd, char* line, int len, std::string& reply);
bool TermSetOutputDelay(int fd, char* line, int len, std::string& reply);
