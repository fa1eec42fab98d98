// What the RS-232 port still has to send, in the order it was written.
//
// Every write is kept whole and marked as the port's own (the echo of what its controller types,
// the replies to its commands) or as a broadcast that another port or a worker caused. The queue
// has a bound in bytes (the port sizes it to a few seconds of its line rate): while it holds more,
// the oldest broadcasts are dropped; the port's own output goes only when it alone passes a
// larger memory cap, oldest first. What stays keeps its order. One notice line counts the lines
// dropped since the last notice and goes out ahead of the rest.
//
// Not thread-safe: the port guards it with its queue mutex.
#pragma once

#include <cstddef>
#include <deque>
#include <string>

class UartOutQueue {
 public:
  // The port's own output beyond this is dropped, oldest first, whatever the bound.
  static constexpr size_t kMaxOwnBytes = 64 * 1024;

  // Broadcasts are dropped while the queue holds more than bytes.
  void SetBound(size_t bytes) { bound_ = bytes; }
  size_t bound() const { return bound_; }

  void Push(const char* data, size_t len, bool own);
  // The next bytes to send, at most max of them (max of at least 1). They end at a line end when
  // one lies within max, so what stays queued starts a line and can still be dropped whole; a
  // line longer than max goes in pieces, and the rest of it is kept. The notice of dropped lines
  // comes first, on its own, when notice_due is set or nothing else is queued. Empty when nothing
  // is queued.
  std::string Take(size_t max, bool notice_due);

  bool empty() const { return writes_.empty() && dropped_lines_ == 0; }
  // Queued bytes (the notice not counted).
  size_t bytes() const { return bytes_; }
  size_t own_bytes() const { return own_bytes_; }
  // Lines dropped that no notice has reported yet.
  size_t dropped_lines() const { return dropped_lines_; }
  void Clear();

 private:
  struct QueuedWrite {
    std::string text;
    bool own;
  };
  // Drops queued writes of one kind, oldest first, while over() holds.
  template <typename Over>
  void DropWhile(bool own, Over over);

  std::deque<QueuedWrite> writes_;
  size_t bytes_ = 0;
  size_t own_bytes_ = 0;
  size_t dropped_lines_ = 0;
  size_t bound_ = 64 * 1024;
  bool front_mid_line_ = false;  // the first write was cut inside a line: its rest must go out
};

// Lines a reader would have seen in text: the parts between line ends that hold more than CR;
// at least one.
size_t CountShownLines(const std::string& text);
