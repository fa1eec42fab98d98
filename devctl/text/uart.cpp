#include "devctl/text/uart.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "devctl/text/history.h"
#include "platform/clock.h"
#include "platform/paths.h"

namespace {

constexpr uint32_t kRates[] = {4800, 9600, 19200, 38400, 57600, 115200};
constexpr int kWriterPollMs = 100;
constexpr int kStopDrainMs = 1000;  // what Stop gives the writer to send what is queued
// While the queue keeps overflowing, at most one dropped-lines notice a second: the count goes on
// growing meanwhile, and the notices do not take the line from what is still sent.
constexpr int kNoticeIntervalMs = 1000;

// The port whose reading thread this is: what that thread writes is the port's own output.
thread_local const CUart* t_port_thread = nullptr;

bool StartsWith(const char* data, int len, const char* key) {
  const int n = static_cast<int>(std::strlen(key));
  return len >= n && std::memcmp(data, key, n) == 0;
}

}  // namespace

speed_t BaudToSpeed(uint32_t baud) {
  switch (baud) {
    case 300:
      return B300;
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    default:
      return B19200;
  }
}

CUart::~CUart() { Stop(); }

void CUart::Init(const std::string& name) {
  if (running_) return;
  name_ = name;
  line_buffer_.clear();
  discarding_ = false;
}

int CUart::SetBaudRate(int index) {
  if (index >= 1 && index <= 6) baud_ = kRates[index - 1];
  return 0;
}

int CUart::Open() {
  const std::string path = platform::Path(device_path_);
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  termios t{};
  if (tcgetattr(fd, &t) != 0) {
    close(fd);
    return -1;
  }
  t.c_iflag = IGNPAR;
  t.c_oflag = 0;
  t.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
  t.c_cflag |= CS8 | CREAD | CLOCAL;
  t.c_lflag = 0;
  cfsetospeed(&t, BaudToSpeed(baud_));
  cfsetispeed(&t, BaudToSpeed(baud_));
  tcflush(fd, TCIFLUSH);
  tcsetattr(fd, TCSANOW, &t);
  usleep(1000);
  char drain[10240];
  while (read(fd, drain, sizeof drain) > 0) {
  }
  return fd;
}

int CUart::Start() {
  if (running_) return 0;
  const int fd = Open();
  if (fd < 0) return -1;
  {
    std::lock_guard<std::mutex> lock(port_mutex_);
    fd_ = fd;
  }
  wake_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  {
    std::lock_guard<std::mutex> lock(queue_mutex_);
    queue_.Clear();
    const size_t queue_ms = static_cast<size_t>(std::max(queue_time_ms_, 0));
    queue_.SetBound(LineBytesPerSecond(baud_) * queue_ms / 1000);
    writer_running_ = true;
  }
  writer_ = std::thread(&CUart::RunWriter, this);
  running_ = true;
  thread_ = std::thread(&CUart::Run, this);
  pthread_setname_np(thread_.native_handle(), name_.substr(0, 15).c_str());
  return 0;
}

void CUart::Stop() {
  {
    std::lock_guard<std::mutex> lock(stop_mutex_);
    if (!running_.exchange(false)) return;
  }
  stop_cv_.notify_all();
  Wake();
  if (thread_.joinable()) thread_.join();
  WaitWritten(kStopDrainMs);  // a reply sent just before a restart still leaves at the old rate
  {
    std::lock_guard<std::mutex> lock(queue_mutex_);
    writer_running_ = false;
    queue_.Clear();
  }
  queue_cv_.notify_all();
  if (writer_.joinable()) writer_.join();
  {
    std::lock_guard<std::mutex> lock(port_mutex_);
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  if (wake_fd_ >= 0) close(wake_fd_);
  wake_fd_ = -1;
}

void CUart::Wake() {
  if (wake_fd_ < 0) return;
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = write(wake_fd_, &one, sizeof one);
}

void CUart::Write(const void* buf, int len) {
  if (len <= 0) return;
  const bool own = t_port_thread == this;
  std::lock_guard<std::mutex> lock(queue_mutex_);
  if (!writer_running_) return;
  queue_.Push(static_cast<const char*>(buf), static_cast<size_t>(len), own);
  queue_cv_.notify_all();
}

bool CUart::WaitWritten(int ms) {
  std::unique_lock<std::mutex> lock(queue_mutex_);
  return queue_cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] {
    return !writer_running_ || (queue_.empty() && !writer_busy_);
  });
}

// Writes all of bytes as the port takes them; false when the port failed or the writer is
// stopping.
bool CUart::WriteOut(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    {
      std::lock_guard<std::mutex> lock(queue_mutex_);
      if (!writer_running_) return false;
    }
    pollfd pfd{fd, POLLOUT, 0};
    const int r = poll(&pfd, 1, kWriterPollMs);
    if (r < 0 && errno != EINTR) {
      std::printf("select uart_ctrl failed, %s\n", std::strerror(errno));
      usleep(1000);
      continue;
    }
    if (r <= 0) continue;
    if (pfd.revents & (POLLERR | POLLNVAL)) return false;
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      return false;  // the rest of these bytes is lost
    }
  }
  return true;
}

// Sends the queue a slice at a time, each about kLeadMs of line time, and keeps the driver no more
// than kLeadMs ahead of the line: a serial driver (or a pseudo-terminal) takes kilobytes at once,
// seconds at a slow rate, and what it holds can no longer make way for the port's own replies.
// The line time is real time whatever clock the rest of the program runs on.
void CUart::RunWriter() {
  using SteadyClock = std::chrono::steady_clock;
  const int fd = fd_;
  const size_t rate = std::max<size_t>(1, LineBytesPerSecond(baud_));
  const size_t slice = std::max<size_t>(64, rate * kLeadMs / 1000);
  const auto lead = std::chrono::milliseconds(kLeadMs);
  const auto notice_interval = std::chrono::milliseconds(kNoticeIntervalMs);
  SteadyClock::time_point line_free = SteadyClock::now();  // when the line has sent all written
  SteadyClock::time_point last_notice{};
  bool noticed = false;
  std::unique_lock<std::mutex> lock(queue_mutex_);
  while (true) {
    queue_cv_.wait(lock, [this] { return !writer_running_ || !queue_.empty(); });
    if (!writer_running_) break;
    if (queue_cv_.wait_until(lock, line_free - lead, [this] { return !writer_running_; })) break;
    const SteadyClock::time_point now = SteadyClock::now();
    const bool notice_due = !noticed || now - last_notice >= notice_interval;
    const size_t dropped_before = queue_.dropped_lines();
    std::string bytes = queue_.Take(slice, notice_due);
    if (dropped_before > 0 && queue_.dropped_lines() == 0) {
      noticed = true;
      last_notice = now;
    }
    if (bytes.empty()) continue;
    writer_busy_ = true;
    lock.unlock();
    WriteOut(fd, bytes);
    line_free = std::max(line_free, now) +
                std::chrono::microseconds(static_cast<int64_t>(bytes.size() * 1000000 / rate));
    lock.lock();
    writer_busy_ = false;
    queue_cv_.notify_all();
  }
}

int CUart::Read(void* buf) {
  std::lock_guard<std::mutex> lock(port_mutex_);
  if (fd_ < 0) return -1;
  return static_cast<int>(read(fd_, buf, kLineBufferSize));
}

void CUart::EraseShownLine() {
  std::string erase;
  for (size_t i = 0; i < line_buffer_.size(); ++i) erase += "\b \b";
  Write(erase.data(), static_cast<int>(erase.size()));
  line_buffer_.clear();
}

void CUart::ReplaceLine(const char* text, int len) {
  EraseShownLine();
  Write(text, len);
  line_buffer_.assign(text, static_cast<size_t>(len));
}

void CUart::HandleChunk(const char* data, int len) {
  if (StartsWith(data, len, "\x1b[A") || StartsWith(data, len, "\x1b[B")) {
    std::vector<char> recall(kRecallSize);
    const bool older = data[2] == 'A';
    const int r =
        older ? HistoryOlder(recall.data(), kRecallSize) : HistoryNewer(recall.data(), kRecallSize);
    if (r > 0)
      ReplaceLine(recall.data(), r);
    else if (!older)
      EraseShownLine();
    return;
  }
  if (len == 1 && (data[0] == 0x7F || data[0] == 0x08)) {
    if (!line_buffer_.empty()) {
      Write("\b \b", 3);
      line_buffer_.pop_back();
    }
    return;
  }
  std::string echo;
  for (int i = 0; i < len; ++i) {
    if (data[i] != '\r' && data[i] != '\n') echo += data[i];
  }
  Write(echo.data(), static_cast<int>(echo.size()));
  if (data[0] == '\r' && (len == 1 || data[1] != '\n') && line_buffer_.empty() && !discarding_) {
    char blank[3] = "\r\n";
    if (on_line) on_line(fd_, blank, 2);
    ProcessInput(data + 1, len - 1);
    return;
  }
  ProcessInput(data, len);
}

// Lines end with CR LF, a lone CR or a lone LF. A CR LF line reaches the callback with its CR LF,
// other lines without their terminator; the history gets the text alone. A lone CR with no text
// is a blank line ("\r\n"); a lone LF with no text (the end of a CR LF split across reads) is
// skipped.
void CUart::ProcessInput(const char* data, int len) {
  while (len > 0) {
    if (discarding_) {
      // The rest of a line too long to keep, up to and including its line end.
      int end = 0;
      while (end < len && data[end] != '\r' && data[end] != '\n') ++end;
      if (end == len) return;
      discarding_ = false;
      data += end + 1;
      len -= end + 1;
      continue;
    }
    const size_t room = kLineBufferSize - line_buffer_.size();
    const size_t take = std::min(room, static_cast<size_t>(len));
    line_buffer_.append(data, take);
    data += take;
    len -= static_cast<int>(take);
    while (true) {
      const size_t i = line_buffer_.find_first_of("\r\n");
      if (i == std::string::npos) break;
      const bool crlf =
          line_buffer_[i] == '\r' && i + 1 < line_buffer_.size() && line_buffer_[i + 1] == '\n';
      const size_t consumed = i + (crlf ? 2 : 1);
      const bool lone_cr = !crlf && line_buffer_[i] == '\r';
      std::string line = line_buffer_.substr(0, crlf ? consumed : i);
      line_buffer_.erase(0, consumed);
      if (line.empty()) {
        if (!lone_cr) continue;  // the LF of a CR LF that arrived in two reads
        line = "\r\n";           // Enter on an empty line
      }
      if (i > 0) HistoryAdd(line.data(), static_cast<int>(i));
      if (on_line) on_line(fd_, line.data(), static_cast<int>(line.size()));
      HistoryResetCursor();
      usleep(100);
    }
    if (line_buffer_.size() >= kLineBufferSize) {  // a line too long to keep: none of it runs
      line_buffer_.clear();
      discarding_ = true;
    }
  }
}

void CUart::Run() {
  t_port_thread = this;
  platform::UseShortTimerSlack();
  {
    std::unique_lock<std::mutex> lock(stop_mutex_);
    stop_cv_.wait_for(lock, std::chrono::milliseconds(start_delay_ms_),
                      [this] { return !running_; });
  }
  if (!running_) return;
  if (on_start) on_start();
  std::vector<char> buf(kLineBufferSize);
  while (running_) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
    const int r = poll(fds, 2, 1000);
    if (r < 0) {
      usleep(10000);
      continue;
    }
    if (r == 0 || !running_) continue;
    if (fds[1].revents & POLLIN) {
      uint64_t count;
      [[maybe_unused]] ssize_t n = read(wake_fd_, &count, sizeof count);
    }
    if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    const int n = Read(buf.data());
    if (n < 1) {
      usleep(10000);
      continue;
    }
    HandleChunk(buf.data(), n);
  }
}
