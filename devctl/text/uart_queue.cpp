#include "devctl/text/uart_queue.h"

#include <cstdio>

size_t CountShownLines(const std::string& text) {
  size_t lines = 0;
  bool shown = false;
  for (char c : text) {
    if (c == '\n') {
      if (shown) ++lines;
      shown = false;
    } else if (c != '\r') {
      shown = true;
    }
  }
  if (shown) ++lines;
  return lines > 0 ? lines : 1;
}

void UartOutQueue::Push(const char* data, size_t len, bool own) {
  if (len == 0) return;
  writes_.push_back({std::string(data, len), own});
  bytes_ += len;
  if (own) own_bytes_ += len;
  if (bytes_ > bound_) DropWhile(false, [this] { return bytes_ > bound_; });
  if (own_bytes_ > kMaxOwnBytes) DropWhile(true, [this] { return own_bytes_ > kMaxOwnBytes; });
}

template <typename Over>
void UartOutQueue::DropWhile(bool own, Over over) {
  for (auto it = writes_.begin(); it != writes_.end() && over();) {
    const bool pinned = it == writes_.begin() && front_mid_line_;
    if (it->own != own || pinned) {
      ++it;
      continue;
    }
    dropped_lines_ += CountShownLines(it->text);
    bytes_ -= it->text.size();
    if (it->own) own_bytes_ -= it->text.size();
    it = writes_.erase(it);
  }
}

std::string UartOutQueue::Take(size_t max, bool notice_due) {
  if (dropped_lines_ > 0 && !front_mid_line_ && (notice_due || writes_.empty())) {
    char notice[80];
    const int n =
        std::snprintf(notice, sizeof notice,
                      "\r\n[ERROR]RS-232 output full: %zu lines dropped.\r\n", dropped_lines_);
    dropped_lines_ = 0;
    return std::string(notice, static_cast<size_t>(n));
  }
  if (max == 0) max = 1;
  std::string out;
  while (!writes_.empty() && out.size() < max) {
    QueuedWrite& w = writes_.front();
    const size_t room = max - out.size();
    size_t n = w.text.size();
    if (n > room) {
      const size_t end = w.text.rfind('\n', room - 1);
      if (end != std::string::npos) {
        n = end + 1;
      } else if (out.empty()) {
        n = room;  // a line longer than max
      } else {
        break;
      }
    }
    out.append(w.text, 0, n);
    bytes_ -= n;
    if (w.own) own_bytes_ -= n;
    if (n == w.text.size()) {
      writes_.pop_front();
      front_mid_line_ = false;
    } else {
      w.text.erase(0, n);
      front_mid_line_ = out.back() != '\n';
      break;
    }
  }
  return out;
}

void UartOutQueue::Clear() {
  writes_.clear();
  bytes_ = 0;
  own_bytes_ = 0;
  dropped_lines_ = 0;
  front_mid_line_ = false;
}
