#include "devctl/text/line_editor.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "devctl/text/history.h"

namespace {

const std::string kUp = "\x1b[A", kDown = "\x1b[B", kRight = "\x1b[C", kLeft = "\x1b[D",
                  kDelete = "\x1b[3~", kDel = "\x7f", kBs = "\b";

class LineEditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HistoryInit();
    session = tcp_session_s{};
    echo.clear();
    lines.clear();
    session.fd = 5;
    session.telnet = std::make_unique<telnet_state_s>();
    TelnetInitState(session.telnet.get(), 5);
    session.telnet->send = [this](const uint8_t* d, int n) {
      echo.append(reinterpret_cast<const char*>(d), n);
    };
    io.write = [this](const char* d, size_t n) { echo.append(d, n); };
    io.on_line = [this](int fd, char* line, int len) {
      EXPECT_EQ(fd, 5);
      lines.emplace_back(line, len);
    };
  }
  void TearDown() override { HistoryInit(); }

  // Each string is one received chunk.
  void Send(const std::vector<std::string>& chunks, bool telnet = false) {
    for (std::string c : chunks)
      EditChunk(session, telnet, c.data(), static_cast<int>(c.size()), io);
  }
  std::string EditLine() const { return std::string(session.edit, session.edit_len); }

  tcp_session_s session;
  EditIo io;
  std::string echo;
  std::vector<std::string> lines;
};

TEST_F(LineEditorTest, KeysGiveExactEchoAndLine) {
  struct Case {
    const char* what;
    std::vector<std::string> chunks;
    std::string echo_after_typing;  // echo after the first chunk ("abc")
    std::string line;
    int offset;
  } cases[] = {
      {"backspace at end", {"abc", kDel}, "\b\b\b   \b\b\bab", "ab", 0},
      {"backspace after left left", {"abc", kLeft, kLeft, kDel}, "\b\b\b   \b\b\bbc\b\b", "bc", 2},
      {"insert at cursor", {"abc", kLeft, "x"}, "\bxc\b", "abxc", 1},
      {"BS deletes before cursor", {"abc", kLeft, kBs}, "\b\b\b   \b\b\bac\b", "ac", 1},
      {"BS at end", {"abc", kBs}, "\b \b", "ab", 0},
      {"delete in the middle", {"abc", kLeft, kLeft, kDelete}, "\b\b\b   \b\b\bac\b", "ac", 1},
      {"delete at end does nothing", {"abc", kDelete}, "", "abc", 0},
      {"left stops at start", {"ab", kLeft, kLeft, kLeft}, "\b\b", "ab", 2},
      {"right", {"ab", kLeft, kRight, kRight}, "\b\x1b[C", "ab", 0},
      {"controls ignored", {"a\tb\nc\x1b"}, "", "abc", 0},
  };
  for (const auto& c : cases) {
    SetUp();
    Send({c.chunks[0]});
    echo.clear();
    Send(std::vector<std::string>(c.chunks.begin() + 1, c.chunks.end()));
    EXPECT_EQ(echo, c.echo_after_typing) << c.what;
    EXPECT_EQ(EditLine(), c.line) << c.what;
    EXPECT_EQ(session.cursor_offset, c.offset) << c.what;
    EXPECT_TRUE(lines.empty()) << c.what;
  }
}

TEST_F(LineEditorTest, WhatRunsIsWhatWasShown) {
  Send({"IN1GAIN5", kLeft, "1", "\r"});
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "IN1GAIN15\r");
}

TEST_F(LineEditorTest, HistoryRecallWithArrows) {
  Send({kUp});
  EXPECT_EQ(echo, "");
  Send({"one\r", "two\r", "three\r"});
  echo.clear();
  Send({"xy", kUp});
  EXPECT_EQ(echo, "xy\b \b\b \bthree");
  echo.clear();
  Send({kUp, kUp, kUp});
  EXPECT_EQ(EditLine(), "one");
  Send({kDown});
  EXPECT_EQ(EditLine(), "two");
  echo.clear();
  Send({kDown, kDown});
  // "two" replaced by "three", then "three" erased as the recall is left.
  EXPECT_EQ(echo, "\b \b\b \b\b \bthree\b \b\b \b\b \b\b \b\b \b");
  EXPECT_EQ(EditLine(), "");
  // With the cursor left of the end, Up first moves the terminal cursor to the end.
  Send({"ab", kLeft, kLeft});
  echo.clear();
  Send({kUp});
  EXPECT_EQ(echo, "\x1b[2C\b \b\b \bthree");
}

TEST_F(LineEditorTest, LinesOfOneChunkAreHandedOnInOrder) {
  Send({"A\rB\r\rC\r\n"});
  EXPECT_EQ(lines, (std::vector<std::string>{"A\r", "B\r", "\r\n", "C\r"}));
  EXPECT_EQ(echo, "ABC");  // CR is never echoed, LF ignored
  char buf[8];
  EXPECT_EQ(std::string(buf, HistoryOlder(buf, 8)), "C");
  EXPECT_EQ(std::string(buf, HistoryOlder(buf, 8)), "B");
  EXPECT_EQ(std::string(buf, HistoryOlder(buf, 8)), "A");
}

TEST_F(LineEditorTest, CursorNeverLeavesTheLine) {
  Send({"abc", kLeft, kLeft, kLeft, kBs, kBs, kBs, "\r", kDelete, kDel, kLeft});
  EXPECT_EQ(lines, (std::vector<std::string>{"abc\r"}));
  EXPECT_EQ(session.cursor_offset, 0);
  EXPECT_EQ(session.edit_len, 0);
}

TEST_F(LineEditorTest, OversizedInputIsBounded) {
  std::string flood(65536, 'a');
  Send({flood});
  EXPECT_EQ(session.edit_len, session::kEditMax);
  EXPECT_EQ(echo.size(), static_cast<size_t>(session::kEditMax));
  Send({"\r"});
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), static_cast<size_t>(session::kEditMax) + 1);

  SetUp();
  std::string pairs;
  for (int i = 0; i < 30000; ++i) pairs += "a\b";
  Send({pairs + "ok\r"});
  EXPECT_EQ(echo.size(), 30000u * 4 + 2);
  EXPECT_EQ(lines, (std::vector<std::string>{"ok\r"}));
}

// A client that streams commands faster than they are answered, or pastes a script, can put
// more complete lines into one read than the accumulation holds: every one is answered.
TEST_F(LineEditorTest, ReadsOfManyLinesLoseNone) {
  for (int count : {2000, 2100, 6000}) {
    SetUp();
    std::string script;
    for (int i = 0; i < count; ++i) {
      char line[16];
      std::snprintf(line, sizeof line, "IN1GAIN%02d\r", i % 100);
      script += line;
    }
    script += "PART";  // an unfinished line stays in the edit line
    Send({script});
    ASSERT_EQ(lines.size(), static_cast<size_t>(count)) << count << " lines in one read";
    EXPECT_EQ(lines.front(), "IN1GAIN00\r");
    char last[16];
    std::snprintf(last, sizeof last, "IN1GAIN%02d\r", (count - 1) % 100);
    EXPECT_EQ(lines.back(), last);
    EXPECT_EQ(EditLine(), "PART");
  }
}

TEST_F(LineEditorTest, TelnetEchoDoublesTheByteFF) {
  // IAC IAC is one typed 0xFF; its echo must again be IAC IAC, or the client reads a command.
  Send({std::string("a\xff\xff"
                    "b",
                    4)},
       true);
  EXPECT_EQ(echo, std::string("a\xff\xff"
                              "b",
                              4));
  EXPECT_EQ(EditLine(), std::string("a\xff"
                                    "b",
                                    3));
  Send({kLeft, kDelete}, true);  // the redraw after deleting "b" shows the 0xFF doubled too
  EXPECT_EQ(EditLine(), std::string("a\xff", 2));
  for (size_t i = 4; i < echo.size(); ++i) {
    if (echo[i] != '\xff') continue;
    ASSERT_LT(i + 1, echo.size());
    EXPECT_EQ(echo[i + 1], '\xff') << "lone 0xFF at " << i;
    ++i;
  }
  echo.clear();
  Send({std::string("\xff\xff", 2)});  // raw TCP sends bytes as they are
  EXPECT_EQ(echo, std::string("\xff\xff", 2));
}

TEST_F(LineEditorTest, LeadingNonPrintablesAreDropped) {
  Send({"\x80\x81PON\r", "\xff\xfe\r"});
  EXPECT_EQ(lines, (std::vector<std::string>{"PON\r", "\r\n"}));
}

TEST_F(LineEditorTest, TelnetModeFiltersBeforeEditing) {
  Send({std::string("PO\xff\xfb\x1fN\r", 7)}, true);
  EXPECT_EQ(lines, (std::vector<std::string>{"PON\r"}));
  EXPECT_EQ(echo, "\xff\xfe\x1fPON");  // the answer (DONT NAWS) leaves before the echo
}

TEST_F(LineEditorTest, TwoClientsKeepTheirOwnLines) {
  tcp_session_s other;
  other.fd = 6;
  std::string other_echo;
  std::vector<std::string> other_lines;
  EditIo other_io{[&](const char* d, size_t n) { other_echo.append(d, n); },
                  [&](int, char* l, int n) { other_lines.emplace_back(l, n); }};
  for (char c : std::string("PON")) {
    std::string a(1, c), b(1, static_cast<char>(c + 1));
    Send({a});
    EditChunk(other, false, b.data(), 1, other_io);
  }
  Send({"\r"});
  std::string cr = "\r";
  EditChunk(other, false, cr.data(), 1, other_io);
  EXPECT_EQ(lines, (std::vector<std::string>{"PON\r"}));
  EXPECT_EQ(other_lines, (std::vector<std::string>{"QPO\r"}));
  EXPECT_EQ(echo, "PON");
  EXPECT_EQ(other_echo, "QPO");
}

}  // namespace
