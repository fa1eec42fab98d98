#include "devctl/text/uart.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
  // Reads the controller's end of the line; with a pace, no faster than that many bytes a second,
  // as a serial line at that rate delivers them.
  void StartReading(size_t bytes_per_second = 0) {
    reader = std::thread([this, bytes_per_second] {
      using SteadyClock = std::chrono::steady_clock;
      const SteadyClock::time_point start = SteadyClock::now();
      size_t received = 0;
      char buf[4096];
      while (reading) {
        size_t want = sizeof buf;
        if (bytes_per_second > 0) {
          const auto us =
              std::chrono::duration_cast<std::chrono::microseconds>(SteadyClock::now() - start)
                  .count();
          const size_t due = static_cast<size_t>(us) * bytes_per_second / 1000000;
          want = std::min(want, due - std::min(due, received));
          if (want == 0) {
            usleep(5000);  // the line has not carried the next byte yet
            continue;
          }
        }
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        const ssize_t n = read(master, buf, want);
        if (n <= 0) continue;
        received += static_cast<size_t>(n);
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
    })) << "no \""
        << tail << "\"";
    std::lock_guard<std::mutex> lock(mutex);
    return std::exchange(output, std::string());
  }
  // Waits until the port has sent `text` at or after `from` in the output (kept); where it ends,
  // or npos when it never came.
  size_t WaitFor(const std::string& text, size_t from) {
    size_t end = std::string::npos;
    EXPECT_TRUE(testsupport::WaitFor([&] {
      std::lock_guard<std::mutex> lock(mutex);
      const size_t at = output.find(text, from);
      if (at != std::string::npos) end = at + text.size();
      return at != std::string::npos;
    })) << "no \"" << text << "\"";
    return end;
  }
  std::string Received() {
    std::lock_guard<std::mutex> lock(mutex);
    return output;
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
  ASSERT_TRUE(testsupport::WaitFor([&] { return starts != 0; }));
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
  uart.SetQueueTimeMs(700);  // about 4 KB at 57600 bit/s
  ASSERT_EQ(uart.Start(), 0);
  constexpr int kLines = 20000;  // far more than the terminal and the queue hold together
  for (int i = 0; i < kLines; ++i) {
    char line[24];
    const int n = std::snprintf(line, sizeof line, "line %05d\r\n", i);
    uart.Write(line, n);
  }
  StartReading();
  std::string got = Output("line 19999\r\n");
  size_t dropped = 0, received = 0, notices = 0;
  int last = -1;
  // Lines dropped after the last notice are counted by one more notice behind the last line.
  for (size_t at = 0, round = 0; round < 2; ++round) {
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
    if (dropped + received == static_cast<size_t>(kLines)) break;
    got += Output(" lines dropped.\r\n");
  }
  EXPECT_GE(notices, 1u);
  EXPECT_GT(dropped, 0u);
  EXPECT_EQ(dropped + received, static_cast<size_t>(kLines));
  EXPECT_EQ(last, kLines - 1);
}

// A line that outgrows the line buffer is dropped up to its line end: its tail never runs.
TEST_F(UartTest, TheRestOfAnOverlongLineIsDiscarded) {
  uart.SetBaudRate(6);  // the echo of all of it goes at the line rate
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
  uart.SetBaudRate(6);
  uart.SetQueueTimeMs(10000);  // both writes fit in the queue
  ASSERT_EQ(uart.Start(), 0);
  StartReading();
  const std::string a = "<" + std::string(20000, 'a') + ">",
                    b = "<" + std::string(20000, 'b') + ">";
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

// A controller on a 9600 bit/s line, read at the line's pace, while another port floods it with
// broadcasts fifty times faster than the line carries them: every command typed gets its reply,
// in order; the broadcasts that arrive keep their order, and the notice lines count the rest.
TEST_F(UartTest, EachCommandIsAnsweredAt9600WhileAnotherPortFloods) {
  uart.SetBaudRate(2);
  ASSERT_EQ(uart.Start(), 0);
  StartReading(CUart::LineBytesPerSecond(9600));
  std::atomic<bool> flooding{true};
  std::atomic<int> broadcasts{0};
  std::thread flood([&] {
    while (flooding) {
      char text[64];
      const int n = std::snprintf(text, sizeof text, "\r\n[SUCCESS]broadcast %06d\r\nVX7206>",
                                  broadcasts.fetch_add(1));
      uart.Write(text, n);
      usleep(1000);
    }
  });
  using SteadyClock = std::chrono::steady_clock;
  constexpr int kCommands = 12;
  std::vector<double> waited_ms;
  size_t at = 0;
  for (int i = 1; i <= kCommands; ++i) {
    const std::string command = "OUT " + std::to_string(i) + " VOL -5";
    const SteadyClock::time_point typed = SteadyClock::now();
    Type(command + "\r");
    at = WaitFor("\r\n[" + command + "]>", at);
    if (at == std::string::npos) {
      ADD_FAILURE() << "no reply to command " << i;
      break;
    }
    waited_ms.push_back(
        std::chrono::duration<double, std::milli>(SteadyClock::now() - typed).count());
  }
  flooding = false;
  flood.join();
  ASSERT_EQ(waited_ms.size(), static_cast<size_t>(kCommands));

  const std::string got = Received();
  size_t notices = 0, dropped = 0, shown = 0;
  int last = -1;
  for (size_t pos = 0; (pos = got.find('[', pos)) != std::string::npos; ++pos) {
    size_t count = 0;
    int number = 0;
    if (std::sscanf(got.c_str() + pos, "[ERROR]RS-232 output full: %zu lines dropped.", &count) ==
        1) {
      ++notices;
      dropped += count;
    } else if (std::sscanf(got.c_str() + pos, "[SUCCESS]broadcast %d", &number) == 1) {
      EXPECT_GT(number, last) << "broadcasts out of order";
      last = number;
      ++shown;
    }
  }
  EXPECT_GE(notices, 1u);
  EXPECT_GT(dropped, 0u);
  double worst = 0, sum = 0;
  for (double ms : waited_ms) {
    worst = std::max(worst, ms);
    sum += ms;
  }
  std::printf(
      "9600 bit/s under a flood of %d broadcasts: %d of %d commands answered, reply after "
      "%.0f ms on average, %.0f ms at worst; %zu broadcasts shown, %zu lines dropped in %zu "
      "notices\n",
      broadcasts.load(), kCommands, kCommands, sum / kCommands, worst, shown, dropped, notices);
}

}  // namespace
