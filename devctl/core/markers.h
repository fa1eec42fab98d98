// Marker files that ask the board's scripts to act.
#pragma once

// "1" into "/tmp/enp1s0_down" (take the secondary interface down in sleep standby), sync.
// 0, or -1 when the file could not be written.
int WriteSubIfaceDownFlag();
