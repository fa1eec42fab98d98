// Marker files that ask the board's scripts to act.
#pragma once

// "1" into "/tmp/enp1s0_down" (take the secondary interface down in sleep standby), sync.
// 0, or -1 when the file could not be written.
int WriteSubIfaceDownFlag();

// The orderly reboot request: audio muted, reboot lines cleared, front panel shut down, then
// "1" into "/tmp/reboot" and sync. A watcher outside devctl reboots the board. The marker is
// written beside its place first: when that fails, -1 and nothing was muted or shut down.
// 0 when the request stands.
int RequestReboot();

// The reboot asked for by a command that answers a client, in three steps: the board may restart
// as soon as the marker is in place, so the reply goes out before that, and a marker that cannot
// be written must be known before the command answers.
// 1. Writes the marker beside its place. False, with nothing changed, when it could not be written.
bool StageRebootMarker();
// Takes a staged marker back (the command failed after staging it).
void DropStagedRebootMarker();
// 2. With the marker staged: audio muted, reboot lines cleared, front panel shut down now; the
// marker is put in place by RunRebootAfterReply on this thread.
void RebootAfterReply();
// 3. The frames call this once the command's reply was handed to its clients.
void RunRebootAfterReply();

// True once a reboot request stands: settings written for the next start are not written back.
bool RebootRequested();

// Tests: no reboot requested, nothing staged.
void ResetRebootRequest();
