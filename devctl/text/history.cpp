#include "devctl/text/history.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>

namespace {

// Newest entry first; the cursor counts from the newest (1) and 0 means "not recalling".
struct History {
  std::mutex mutex;
  std::deque<std::string> entries;
  int cursor = 0;
};

History& g_history() {
  static History h;
  return h;
}

int CopyEntry(const std::string& entry, char* out, int max) {
  const int n = std::min(static_cast<int>(entry.size()), std::max(max, 0));
  std::memcpy(out, entry.data(), n);
  return n;
}

}  // namespace

void HistoryInit() { HistoryClear(); }

int HistoryAdd(const void* text, int len) {
  if (len < 0 || (len > 0 && !text)) return -1;
  History& h = g_history();
  std::lock_guard<std::mutex> lock(h.mutex);
  h.entries.emplace_front(static_cast<const char*>(text), static_cast<size_t>(len));
  while (h.entries.size() > static_cast<size_t>(history::kMaxEntries)) h.entries.pop_back();
  h.cursor = std::min(h.cursor, static_cast<int>(h.entries.size()));
  return 0;
}

int HistoryOlder(char* out, int max) {
  History& h = g_history();
  std::lock_guard<std::mutex> lock(h.mutex);
  const int count = static_cast<int>(h.entries.size());
  h.cursor = std::min(count, h.cursor + 1);
  if (count == 0) return 0;
  return CopyEntry(h.entries[h.cursor - 1], out, max);
}

int HistoryNewer(char* out, int max) {
  History& h = g_history();
  std::lock_guard<std::mutex> lock(h.mutex);
  h.cursor -= 1;
  if (h.cursor < 1) {
    h.cursor = 0;
    return 0;
  }
  return CopyEntry(h.entries[h.cursor - 1], out, max);
}

void HistoryResetCursor() {
  History& h = g_history();
  std::lock_guard<std::mutex> lock(h.mutex);
  h.cursor = 0;
}

void HistoryClear() {
  History& h = g_history();
  std::lock_guard<std::mutex> lock(h.mutex);
  h.entries.clear();
  h.cursor = 0;
}

int HistoryCount() {
  History& h = g_history();
  std::lock_guard<std::mutex> lock(h.mutex);
  return static_cast<int>(h.entries.size());
}
