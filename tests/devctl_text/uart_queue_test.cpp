#include "devctl/text/uart_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Written {
  std::string text;
  bool own;
};

std::string Notice(size_t lines) {
  return "\r\n[ERROR]RS-232 output full: " + std::to_string(lines) + " lines dropped.\r\n";
}

// Everything the queue sends from now on, in slices of max bytes, every notice due.
std::string Drain(UartOutQueue& q, size_t max = 1 << 20) {
  std::string out;
  for (std::string s; !(s = q.Take(max, true)).empty();) out += s;
  return out;
}

TEST(UartOutQueueTest, OverflowDropsBroadcastsBeforeTheOwnOutput) {
  const std::string own_big(UartOutQueue::kMaxOwnBytes - 10, 'o');
  struct Case {
    const char* what;
    size_t bound;
    std::vector<Written> writes;
    std::string sent;  // what Drain gets: the notice first, then what stayed, in order
  } cases[] = {
      {"under the bound nothing goes",
       100,
       {{"bcast-1\r\n", false}, {"echo", true}, {"\r\n[reply]\r\nVX>", true}},
       "bcast-1\r\necho\r\n[reply]\r\nVX>"},
      {"the oldest broadcast goes first, one behind the own reply stays",
       30,
       {{"bcast-1\r\n", false},
        {"own-1\r\n", true},
        {"bcast-2\r\n", false},
        {"bcast-3\r\n", false}},
       Notice(1) + "own-1\r\nbcast-2\r\nbcast-3\r\n"},
      {"every broadcast goes before an own byte",
       16,
       {{"echo", true}, {"\r\n[SUCCESS]x\r\nVX>", false}, {"\r\n[reply]\r\nVX>", true}},
       Notice(2) + "echo\r\n[reply]\r\nVX>"},
      {"own output past the bound stays, later broadcasts go",
       8,
       {{"\r\n[a long own reply]\r\nVX>", true}, {"bcast\r\n", false}, {"echo", true}},
       Notice(1) + "\r\n[a long own reply]\r\nVX>echo"},
      {"own output past its memory cap goes, oldest first",
       8,
       {{"old\r\n", true}, {own_big, true}, {"newest\r\n", true}, {"bcast\r\n", false}},
       Notice(2) + own_big + "newest\r\n"},
      {"one broadcast bigger than the bound goes at once",
       8,
       {{"a\r\nb\r\nc\r\nd\r\n", false}, {"ok\r\n", true}},
       Notice(4) + "ok\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UartOutQueue q;
    q.SetBound(c.bound);
    for (const Written& w : c.writes) q.Push(w.text.data(), w.text.size(), w.own);
    EXPECT_LE(q.own_bytes(), UartOutQueue::kMaxOwnBytes);
    EXPECT_EQ(Drain(q), c.sent);
    EXPECT_TRUE(q.empty());
    EXPECT_EQ(q.bytes(), 0u);
  }
}

// The writer takes slices; what stays queued starts a line, so it can still be dropped whole,
// except the rest of a line that had to be cut.
TEST(UartOutQueueTest, SlicesEndAtLineEndsAndACutLineIsFinished) {
  UartOutQueue q;
  q.SetBound(40);
  const std::string reply = "line-1\r\nline-2\r\nline-3\r\n";
  q.Push(reply.data(), reply.size(), false);
  EXPECT_EQ(q.Take(20, true), "line-1\r\nline-2\r\n");  // not "line-3" cut after "li"
  const std::string flood(36, 'f');
  q.Push(flood.data(), flood.size(), false);  // the rest of the reply goes: whole lines
  EXPECT_EQ(Drain(q), Notice(1) + flood);

  const std::string long_line = std::string(30, 'x') + "\r\n";
  q.Push(long_line.data(), long_line.size(), false);
  EXPECT_EQ(q.Take(10, true), std::string(10, 'x'));
  q.Push(flood.data(), flood.size(), false);  // over the bound: the newer write goes instead
  EXPECT_EQ(q.dropped_lines(), 1u);
  // The notice waits for the end of the cut line, in which it would land.
  EXPECT_EQ(q.Take(10, true), std::string(10, 'x'));
  EXPECT_EQ(q.Take(100, true), std::string(10, 'x') + "\r\n");
  EXPECT_EQ(Drain(q), Notice(1));
}

// One notice counts every line dropped since the last one; it goes first when it is due, and
// at the latest once nothing else is queued.
TEST(UartOutQueueTest, OneNoticeCountsTheDroppedLines) {
  UartOutQueue q;
  q.SetBound(12);
  for (const char* text : {"b-1\r\n", "b-2\r\n", "b-3\r\n", "b-4\r\n"}) q.Push(text, 5, false);
  EXPECT_EQ(q.dropped_lines(), 2u);
  EXPECT_EQ(q.Take(5, false), "b-3\r\n");  // not due yet
  q.Push("b-5\r\nb-6\r\n", 10, false);
  EXPECT_EQ(q.dropped_lines(), 3u);
  EXPECT_EQ(q.Take(100, true), Notice(3));
  EXPECT_EQ(q.Take(100, false), "b-5\r\nb-6\r\n");
  const std::string reply_and_line = "\r\n[x]\r\nVX>b-7\r\n";  // longer than the bound
  q.Push(reply_and_line.data(), reply_and_line.size(), false);
  EXPECT_EQ(q.Take(100, false), Notice(2));  // nothing else left to send
  EXPECT_TRUE(q.empty());
}

TEST(UartOutQueueTest, CountShownLines) {
  const struct {
    const char* text;
    size_t lines;
  } cases[] = {
      {"x", 1},      {"line\r\n", 1}, {"\r\n[SUCCESS]Set.\r\nVX7206>", 2},
      {"a\nb\n", 2}, {"\r\n", 1},     {"\r\n\r\n\r\n", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(CountShownLines(c.text), c.lines) << c.text;
}

}  // namespace
