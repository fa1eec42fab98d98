// Group memberships of the inputs and outputs as the text and web commands change them: the
// membership lists, the group level and EQ a joining channel takes, and the exclusivity of the
// four groups of a side. Callers hold the configuration lock, send the lines and save.
//
// side: EQ_SIDE_INPUT or EQ_SIDE_OUTPUT (app_config.h). Groups 0-3 (input groups 1-4, output
// groups A-D); channels are DSP indexes 0-13.
#pragma once

#include <string>

#include "devctl/core/app_config.h"

// Makes exactly the channels marked in members (14 flags by DSP index) the members of group g.
// A marked channel of a linked pair brings its partner; both channels of such a pair take the
// group's level and mute. Every member takes the group's EQ memory selection (Custom bands
// copied) and gets its eight bands written; members leave the other three groups of the side.
// Appends "[SUCCESS]Set output group A include ..." / "[SUCCESS]Set intput group 1 include ..."
// with the member list and "\r\n" (no final period). Returns false, changing nothing, for g or a
// side out of range.
bool SetGroupMembers(app_config_s& config, int side, int g, const bool members[14],
                     std::string& lines);

// Puts channel c (with its linked partner) into group g (flag 1) or takes it out (flag 0). On
// joining, the channel(s) take the group's level and mute, and c alone takes the group's EQ.
// Members leave the other three groups. Appends the opening, the member list, ".\r\n".
bool SetGroupMembership(app_config_s& config, int side, int g, int c, int flag, std::string& lines);
