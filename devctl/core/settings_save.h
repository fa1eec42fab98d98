// The save that follows a command: the front-end frames call these after they released the
// configuration lock (the snapshot is taken under the lock, the file is written outside it).
#pragma once

// The text a control port gets after the command's own lines when the save failed.
constexpr char kSaveFailedLine[] = "[ERROR]Settings could not be saved.\r\n";

// Saves the live configuration to its file. On failure prints one line to stderr and returns
// false; the change stays in effect.
bool SaveLiveSettings();
