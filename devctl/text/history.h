// The command history shared by every control port: each completed line is added, and the up and
// down keys of any port step through it. The recall position is one for all ports.
#pragma once

namespace history {
constexpr int kMaxEntries = 100;
}

void HistoryInit();
// Adds a copy of len bytes as the newest entry; the oldest entry goes once 100 are held.
int HistoryAdd(const void* text, int len);
// One step towards older entries (stops at the oldest): copies at most max bytes of the entry to
// out and returns their number; 0 with an empty history.
int HistoryOlder(char* out, int max);
// One step towards newer entries; 0 once the recall moves past the newest entry.
int HistoryNewer(char* out, int max);
void HistoryResetCursor();
// Removes every entry and resets the recall position.
void HistoryClear();
int HistoryCount();
