// The web command table in its fixed order; the command map and the help reply sort it by name.
#pragma once

#include <cstddef>

#include "devctl/web/web_command.h"

extern const web_command_s g_web_commands[];
extern const size_t g_web_command_count;
