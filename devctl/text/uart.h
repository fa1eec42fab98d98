// The RS-232 control port: one thread reads and edits what is typed, a second one writes.
//
// Write only queues: the writer thread drains the queue to the port at the line rate, so a port
// nobody reads, or a slow one, never holds up the thread that sends (or a lock it holds). The
// writer keeps the serial driver no more than a fraction of a second ahead of the line; the rest
// waits in the queue (uart_queue.h), bounded to a few seconds of output at the port's rate. When
// that is full, broadcasts from elsewhere are dropped before the echo and the replies of the
// port's own commands (whatever the port's own thread writes), and one line says how many lines
// went. What is sent keeps the order it was written in.
#pragma once

#include <termios.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "devctl/text/uart_queue.h"

// termios speed of a rate in bits per second (B19200 for a rate it does not know).
speed_t BaudToSpeed(uint32_t baud);

class CUart {
 public:
  static constexpr size_t kLineBufferSize = 65536;
  static constexpr int kRecallSize = 131072;

  // Constructing the port opens no device and starts no thread.
  CUart() = default;
  ~CUart();
  CUart(const CUart&) = delete;
  CUart& operator=(const CUart&) = delete;

  // Called on the port's thread with every completed command line.
  std::function<void(int fd, char* line, int len)> on_line;
  // Called on the port's thread once after each start, before the first read.
  std::function<void()> on_start;

  // Stores the thread name and empties the line buffer (while stopped).
  void Init(const std::string& name);
  // Index 1-6: 4800, 9600, 19200, 38400, 57600, 115200 bit/s; any other index changes nothing.
  int SetBaudRate(int index);
  // Opens and configures the port (8N1, raw); the descriptor or -1.
  int Open();
  // 0 when the thread runs, -1 when the port could not be opened.
  int Start();
  // Ends the thread (also during its start delay) and closes the port.
  void Stop();
  // Queues buf for the port; nothing while the port is closed. Written on the port's own thread
  // (echo, replies to the lines it read, its start-up banner) it counts as the port's own output.
  void Write(const void* buf, int len);
  // Waits until everything queued so far has gone to the port, or the port stopped; false when
  // ms passed first.
  bool WaitWritten(int ms);
  // Up to 65536 bytes, or -1 without an open port.
  int Read(void* buf);

  // The device, an absolute unit path resolved under the root ("/dev/ttyS6").
  void SetDevicePath(const std::string& absolute) { device_path_ = absolute; }
  // Wait after each start before the on-start callback and the first read (12 s).
  void SetStartDelayMs(int ms) { start_delay_ms_ = ms; }
  // How much output the queue holds before broadcasts are dropped, as time on the line at the
  // port's rate (kQueueTimeMs); applied at the next start.
  void SetQueueTimeMs(int ms) { queue_time_ms_ = ms; }
  static constexpr int kQueueTimeMs = 3000;
  // How far the writer may run ahead of the line (kLeadMs); it also sizes each write.
  static constexpr int kLeadMs = 100;
  uint32_t baud_rate() const { return baud_; }
  // Bytes per second the line carries at rate baud: ten bits a byte (8N1).
  static size_t LineBytesPerSecond(uint32_t baud) { return baud / 10; }
  // The open port's descriptor (the one lines arrive with), -1 while closed.
  int fd() const { return fd_; }
  bool running() const { return running_; }

  // What one read from the port brought: echoed, a history recall acted on, and each completed
  // line handed to on_line. The port's thread calls it; a fuzz target calls it on a stopped port
  // (nothing is echoed then).
  void HandleChunk(const char* data, int len);

 private:
  void Run();
  void ProcessInput(const char* data, int len);
  void EraseShownLine();
  void ReplaceLine(const char* text, int len);
  void Wake();
  void RunWriter();
  bool WriteOut(int fd, const std::string& bytes);

  std::atomic<bool> running_{false};
  std::string name_ = "uartthread";
  std::atomic<int> fd_{-1};
  std::thread thread_;
  std::string line_buffer_;
  bool discarding_ = false;  // dropping the rest of a line that outgrew the line buffer
  std::atomic<uint32_t> baud_{57600};
  std::string device_path_ = "/dev/ttyS6";
  int start_delay_ms_ = 12000;
  int wake_fd_ = -1;
  std::mutex port_mutex_;  // lives as long as the object

  // Output: the queue and the writer thread.
  std::thread writer_;
  std::mutex queue_mutex_;
  std::condition_variable queue_cv_;
  UartOutQueue queue_;
  bool writer_running_ = false;  // guarded by queue_mutex_
  bool writer_busy_ = false;     // bytes taken from the queue are being written
  int queue_time_ms_ = kQueueTimeMs;
  std::mutex stop_mutex_;
  std::condition_variable stop_cv_;
};
