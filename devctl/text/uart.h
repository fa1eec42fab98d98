// The RS-232 control port: one thread, a line editor and the port's write lock.
//
// Write holds the port lock for a whole buffer, so replies of different threads never
// interleave, and gives up on the rest of a buffer when the port takes nothing for a while, so a
// port nobody reads cannot hang the threads that broadcast.
#pragma once

#include <termios.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

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
  // Writes all of buf to the port; nothing while the port is closed.
  void Write(const void* buf, int len);
  // Up to 65536 bytes, or -1 without an open port.
  int Read(void* buf);

  // The device, an absolute unit path resolved under the root ("/dev/ttyS6").
  void SetDevicePath(const std::string& absolute) { device_path_ = absolute; }
  // Wait after each start before the on-start callback and the first read (12 s).
  void SetStartDelayMs(int ms) { start_delay_ms_ = ms; }
  // How long Write waits for a port that takes nothing before dropping the rest (2 s).
  void SetWriteStallMs(int ms) { write_stall_ms_ = ms; }
  uint32_t baud_rate() const { return baud_; }
  bool running() const { return running_; }

 private:
  void Run();
  void HandleChunk(const char* data, int len);
  void ProcessInput(const char* data, int len);
  void EraseShownLine();
  void ReplaceLine(const char* text, int len);
  void Wake();

  std::atomic<bool> running_{false};
  std::string name_ = "uartthread";
  std::atomic<int> fd_{-1};
  std::thread thread_;
  std::string line_buffer_;
  uint32_t baud_ = 57600;
  std::string device_path_ = "/dev/ttyS6";
  int start_delay_ms_ = 12000;
  int write_stall_ms_ = 2000;
  int wake_fd_ = -1;
  std::mutex port_mutex_;  // lives as long as the object
  std::mutex stop_mutex_;
  std::condition_variable stop_cv_;
};
