#include "devctl/text/uart.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "devctl/text/history.h"
#include "platform/paths.h"
#include "tests/support/wait_for.h"

namespace {

// The port's device is the slave end of a pseudo-terminal placed at <root>/dev/ttyS6; the test
// plays the controller on the master end.
class UartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HistoryInit();
    char tmpl[] = "/tmp/uart_test.XXXXXX";
    root = mkdtemp(tmpl);
    platform::SetRoot(root);
    char slave_name[256];
    ASSERT_EQ(openpty(&master, &slave, slave_name, nullptr, nullptr), 0);
    mkdir((root + "/dev").c_str(), 0755);
    ASSERT_EQ(symlink(slave_name, (root + "/dev/ttyS6").c_str()), 0);
    uart.SetStartDelayMs(0);
    uart.Init("uartthread");
    uart.on_line = [this](int, char* line, int len) {
      {
        std::lock_guard<std::mutex> lock(mutex);
        lines.emplace_back(line, len);
      }
      const std::string reply = "\r\n[" + std::string(line, len) + "]>";
      uart.Write(reply.data(), static_cast<int>(reply.size()));
    };
    uart.on_start = [this] { starts++; };
  }
  void TearDown() override {
    reading = false;
    if (reader.joinable()) reader.join();
    uart.Stop();
    close(master);
    close(slave);
    std::system(("rm -rf " + root).c_str());
  }
  void StartReading() {
    reader = std::thread([this] {
      char buf[4096];
      while (reading) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        const ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) continue;
        std::lock_guard<std::mutex> lock(mutex);
        output.append(buf, n);
      }
    });
  }
  void Type(const std::string& s) {
    ASSERT_EQ(write(master, s.data(), s.size()), static_cast<ssize_t>(s.size()));
    usleep(20000);  // the next write arrives as a separate read, like a person typing
  }
  // Waits until the port has sent text ending with `tail`, then returns and clears the output.
  // Text that never comes fails the test.
  std::string Output(const std::string& tail) {
    EXPECT_TRUE(testsupport::WaitFor([&] {
      std::lock_guard<std::mutex> lock(mutex);
      return output.size() >= tail.size() &&
             output.compare(output.size() - tail.size(), tail.size(), tail) == 0;
    })) << "no \"" << tail << "\"";
    std::lock_guard<std::mutex> lock(mutex);
    return std::exchange(output, std::string());
  }
  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> lock(mutex);
    return lines;
  }

  std::string root;
  int master = -1, slave = -1;
  CUart uart;
  std::thread reader;
  std::atomic<bool> reading{true};
  std::atomic<int> starts{0};
  std::mutex mutex;
  std::string output;
  std::vector<std::string> lines;
};

TEST_F(UartTest, EveryLineEndIsOneCommand) {
  ASSERT_EQ(uart.Start(), 0);
  StartReading();
  Type("PON\r");
  EXPECT_EQ(Output("]>"), "PON\r\n[PON]>");
  Type("PON\n");
  EXPECT_EQ(Output("]>"), "PON\r\n[PON]>");
  Type("PON\r\n");
  EXPECT_EQ(Output("]>"), "PON\r\n[PON\r\n]>");
  Type("\r");
  EXPECT_EQ(Output("]>"), "\r\n[\r\n]>");
  EXPECT_EQ(Lines(), (std::vector<std::string>{"PON", "PON", "PON\r\n", "\r\n"}));
  EXPECT_EQ(starts, 1);
}

TEST_F(UartTest, LinesBehindASplitTerminatorAreNotHeldBack) {
  ASSERT_EQ(uart.Start(), 0);
  StartReading();
  Type("PON\r");
  Output("[PON]>");  // the LF below must arrive in a read of its own
  Type("\nPOFF\r");
  Output("[POFF]>");
  Type("\rSTATUS\r");  // a blank line first, then a command in the same read
  Output("[STATUS]>");
  EXPECT_EQ(Lines(), (std::vector<std::string>{"PON", "POFF", "\r\n", "STATUS"}));
}

TEST_F(UartTest, HistoryRecallsTheTextWithoutItsLineEnd) {
  ASSERT_EQ(uart.Start(), 0);
  StartReading();
  Type("STATUS\r\n");
  Output("]>");
  Type("PON\r");
  Output("[PON]>");
  Type("\x1b[A");
  EXPECT_EQ(Output("PON"), "PON");
  Type("\x1b[A");
  EXPECT_EQ(Output("STATUS"), "\b \b\b \b\b \bSTATUS");
  Type("x");
  EXPECT_EQ(Output("x"), "x");
  Type("\x7f");
  EXPECT_EQ(Output("\b \b"), "\b \b");
  Type("\x1b[B");
  EXPECT_EQ(Output("PON"), "\b \b\b \b\b \b\b \b\b \b\b \bPON");
  Type("\r");
  Output("]>");
  EXPECT_EQ(Lines(), (std::vector<std::string>{"STATUS\r\n", "PON", "PON"}));
}

TEST_F(UartTest, RestartAppliesTheNewRateAndStartsOnceMore) {
  ASSERT_EQ(uart.Start(), 0);
  StartReading();
  for (int i = 0; i < 30000 && starts == 0; ++i) usleep(1000);
  uart.Stop();
  uart.Init("uartthread");
  uart.SetBaudRate(2);
  uart.SetBaudRate(7);  // out of range: no change
  ASSERT_EQ(uart.Start(), 0);
  termios t{};
  ASSERT_EQ(tcgetattr(slave, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), B9600);
  EXPECT_EQ(uart.baud_rate(), 9600u);
  Type("PON\r");
  EXPECT_EQ(Output("]>"), "PON\r\n[PON]>");
  EXPECT_EQ(Lines().size(), 1u);  // one thread reads, not two
  EXPECT_EQ(starts, 2);
}

TEST_F(UartTest, StopDuringTheStartDelayEndsTheThread) {
  uart.SetStartDelayMs(60 * 60 * 1000);
  ASSERT_EQ(uart.Start(), 0);
  uart.Stop();  // returns without waiting for the delay
  EXPECT_FALSE(uart.running());
  EXPECT_EQ(starts, 0);
  uart.Write("ignored", 7);  // closed port: nothing happens
}

TEST_F(UartTest, MissingDeviceFailsToStart) {
  uart.SetDevicePath("/dev/ttyS9");
  EXPECT_EQ(uart.Start(), -1);
  uart.Write("x", 1);
}

TEST_F(UartTest, APortNobodyReadsDoesNotHangWriters) {
  ASSERT_EQ(uart.Start(), 0);
  const std::string big(1 << 20, 'z');
  std::thread writer([&] { uart.Write(big.data(), static_cast<int>(big.size())); });
  writer.join();  // returns at once: the bytes wait in the port's queue
  StartReading();
  uart.Write("after\r\n", 7);
  const std::string got = Output("after\r\n");
  EXPECT_LT(got.size(), big.size());
}

// With nobody reading, the queue fills: the oldest whole lines go, one line says how many, and
// what arrives keeps its order.
TEST_F(UartTest, AFullQueueDropsTheOldestWholeLines) {
  uart.SetMaxQueuedBytes(4096);
  ASSERT_EQ(uart.Start(), 0);
  constexpr int kLines = 20000;  // far more than the terminal and the queue hold together
  for (int i = 0; i < kLines; ++i) {
    char line[24];
    const int n = std::snprintf(line, sizeof line, "line %05d\r\n", i);
    uart.Write(line, n);
  }
  StartReading();
  const std::string got = Output("line 19999\r\n");
  size_t dropped = 0, received = 0, notices = 0;
  int last = -1;
  size_t at = 0;
  while (at < got.size()) {
    const size_t end = got.find("\r\n", at);
    ASSERT_NE(end, std::string::npos);
    const std::string line = got.substr(at, end - at);
    at = end + 2;
    if (line.empty()) continue;
    size_t count = 0;
    int number = -1;
    if (std::sscanf(line.c_str(), "[ERROR]RS-232 output full: %zu lines dropped.", &count) == 1) {
      dropped += count;
      ++notices;
    } else {
      ASSERT_EQ(std::sscanf(line.c_str(), "line %d", &number), 1) << "not a whole line: " << line;
      EXPECT_GT(number, last) << "out of order";
      last = number;
      ++received;
    }
  }
  EXPECT_GE(notices, 1u);
  EXPECT_GT(dropped, 0u);
  EXPECT_EQ(dropped + received, static_cast<size_t>(kLines));
  EXPECT_EQ(last, kLines - 1);
}

// A line that outgrows the line buffer is dropped up to its line end: its tail never runs.
TEST_F(UartTest, TheRestOfAnOverlongLineIsDiscarded) {
  ASSERT_EQ(uart.Start(), 0);
  StartReading();
  std::string flood(CUart::kLineBufferSize, 'x');
  flood += "IN 1 GAIN 30\rPON\r";
  std::string longer(100000, 'j');
  longer += "POFF\nSTATUS\r\n";
  for (const std::string& text : {flood, longer}) {
    for (size_t at = 0; at < text.size(); at += 4096) {
      ASSERT_GT(write(master, text.data() + at, std::min<size_t>(4096, text.size() - at)), 0);
    }
  }
  Output("[STATUS\r\n]>");
  EXPECT_EQ(Lines(), (std::vector<std::string>{"PON", "STATUS\r\n"}));
}

TEST_F(UartTest, RepliesOfTwoThreadsDoNotInterleave) {
  ASSERT_EQ(uart.Start(), 0);
  StartReading();
  const std::string a = "<" + std::string(20000, 'a') + ">", b = "<" + std::string(20000, 'b') + ">";
  std::thread ta([&] { uart.Write(a.data(), static_cast<int>(a.size())); });
  std::thread tb([&] { uart.Write(b.data(), static_cast<int>(b.size())); });
  ta.join();
  tb.join();
  const std::string got = Output(">");
  const std::string got2 = got.size() < a.size() + b.size() ? got + Output(">") : got;
  EXPECT_TRUE(got2 == a + b || got2 == b + a);
}

TEST_F(UartTest, WritesDuringRestartsAreSafe) {
  ASSERT_EQ(uart.Start(), 0);
  StartReading();
  std::atomic<bool> done{false};
  std::vector<std::thread> writers;
  for (int t = 0; t < 3; ++t) {
    writers.emplace_back([&] {
      while (!done) uart.Write("notice\r\n", 8);
    });
  }
  for (int i = 0; i < 20; ++i) {
    uart.Stop();
    uart.Init("uartthread");
    uart.SetBaudRate(1 + i % 6);
    ASSERT_EQ(uart.Start(), 0);
  }
  done = true;
  for (auto& t : writers) t.join();
  EXPECT_NE(Output("notice\r\n").find("notice\r\n"), std::string::npos);
}

}  // namespace
