// Stand-ins for the file tools the unit runs through the shell while it stages an upgrade (rm,
// mkdir, tar, cp, and umount and updateEngine, which only pretend). They act on the simulated
// root only: every path of a command line is a unit path placed under the root, and a line with
// a relative path, a ".." component or an unknown shape is refused without touching anything.
#pragma once

#include <string>

#include "platform/command.h"

namespace platform {

// Acts out one command line of the shapes above: "a && b" runs b only when a succeeded, a group
// in parentheses runs as its contents, a trailing " &" is ignored (the stand-ins return at once).
// Returns the exit status (127 when the root is not set or a tool is unknown, 1 when refused).
int RunSimFileCommand(const std::string& command, std::string* output);

// Registers the stand-ins on a recording runner for the command lines they serve.
void InstallSimFileCommands(RecordingCommandRunner& runner);

// Where the updateEngine stand-in appends its arguments, one call per line (a unit path).
constexpr const char* kSimUpdateEngineLog = "/sim/update_engine.log";

}  // namespace platform
