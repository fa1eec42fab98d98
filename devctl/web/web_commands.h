// The web command table: the rows the family files export, joined in the table's fixed order. The
// command map and the help reply sort the commands by name.
#pragma once

#include <cstddef>

#include "devctl/web/web_command.h"

// The table, one entry per name of the fixed order; built before main from the family rows. A
// name without a row has a null handler and is answered as an unknown command.
extern const web_command_s* const g_web_commands;
extern const size_t g_web_command_count;

// The family files whose rows the table joins.
extern const WebCommandRows* const g_web_command_families[];
extern const size_t g_web_command_family_count;
