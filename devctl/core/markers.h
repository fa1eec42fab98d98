// Marker files that ask the board's scripts to act.
#pragma once

// "1" into "/tmp/enp1s0_down" (take the secondary interface down in sleep standby), sync.
// 0, or -1 when the file could not be written.
int WriteSubIfaceDownFlag();

// The orderly reboot request: audio muted, reboot lines cleared, front panel shut down, then
// "1" into "/tmp/reboot" and sync. A watcher outside devctl reboots the board. 0, or -1 when the
// marker could not be written.
int RequestReboot();
// The same routine under its second name.
int RequestReboot2();
