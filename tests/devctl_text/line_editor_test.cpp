#include "devctl/text/line_editor.h"

#include <gtest/gtest.h>

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
    for (std::string c : chunks) EditChunk(session, telnet, c.data(), static_cast<int>(c.size()), io);
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
      {"backspace after left left", {"abc", kLeft, kLeft, kDel},
       "\b\b\b   \b\b\bbc\b\b", "bc", 2},
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
