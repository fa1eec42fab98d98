#include "devctl/text/tcp_server.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "devctl/text/line_editor.h"
#include "platform/clock.h"
#include "platform/listen_port.h"

namespace {
constexpr size_t kReadSize = 65536;
constexpr int kPollTimeoutMs = 1000;
constexpr int kAcceptRetryPauseMs = 100;

bool SetNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL, 0);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}
}  // namespace

CTcpserver::~CTcpserver() { Stop(); }

int CTcpserver::Init(const std::string& name, uint32_t port, uint32_t mode) {
  if (running_ || port > 65535 || (mode != kModeTelnet && mode != kModeRaw)) return -1;
  name_ = name;
  port_ = port;
  mode_ = mode;
  return 0;
}

int CTcpserver::CreateSocket(uint16_t port) {
  const int fd = platform::OpenListenSocket(port, kBacklog);
  if (fd < 0) {
    std::printf("bind err!\n");
    return -2;
  }
  return fd;
}

bool CTcpserver::HoldPort(uint16_t port) {
  const uint16_t bound = bound_port_;
  if (bound != 0 && (port == 0 || bound == port)) return true;
  std::lock_guard<std::mutex> lock(spare_mutex_);
  if (spare_fd_ >= 0 && (port == 0 || spare_port_ == port)) return true;
  const int fd = platform::OpenListenSocket(port, kBacklog);
  if (fd < 0) return false;
  CloseFd(spare_fd_);
  spare_fd_ = fd;
  spare_port_ = platform::LocalPort(fd);
  return true;
}

void CTcpserver::ReleaseSpare(int wanted_port) {
  std::lock_guard<std::mutex> lock(spare_mutex_);
  if (spare_fd_ < 0 || wanted_port == 0 || wanted_port == spare_port_) return;
  CloseFd(spare_fd_);
  spare_fd_ = -1;
  spare_port_ = 0;
}

int CTcpserver::TakeListener() {
  auto fits = [this](uint16_t port) { return port_ == 0 || port == port_; };
  int fd = -1;
  if (listen_fd_ >= 0 && fits(bound_port_)) {
    fd = listen_fd_;
  } else {
    CloseFd(listen_fd_);
  }
  listen_fd_ = -1;
  bound_port_ = 0;
  {
    std::lock_guard<std::mutex> lock(spare_mutex_);
    if (fd < 0 && spare_fd_ >= 0 && fits(spare_port_)) {
      fd = spare_fd_;
    } else {
      CloseFd(spare_fd_);
    }
    spare_fd_ = -1;
    spare_port_ = 0;
  }
  return fd >= 0 ? fd : CreateSocket(static_cast<uint16_t>(port_));
}

int CTcpserver::Start() {
  if (running_) return 0;
  listen_fd_ = TakeListener();
  if (listen_fd_ < 0) {
    std::printf("socketcreate fail.\n");
    std::fflush(stdout);
    listen_fd_ = -1;
    return -1;
  }
  bound_port_ = platform::LocalPort(listen_fd_);
  wake_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  read_buffer_.assign(kReadSize, 0);
  running_ = true;
  thread_ = std::thread(&CTcpserver::Run, this);
  pthread_setname_np(thread_.native_handle(), name_.substr(0, 15).c_str());
  return 0;
}

void CTcpserver::Stop() {
  if (std::this_thread::get_id() == thread_.get_id()) return;  // would wait for itself
  StopKeepingListener();
  CloseListeners();
}

void CTcpserver::StopKeepingListener() {
  if (std::this_thread::get_id() == thread_.get_id()) return;  // would wait for itself
  if (!running_.exchange(false)) return;
  Wake();
  if (thread_.joinable()) thread_.join();
  std::vector<int> gone;
  {
    std::lock_guard<std::mutex> lock(clients_mutex_);
    for (auto& s : clients_) gone.push_back(s->fd);
  }
  // Outside the client lock: the callback may take locks whose holders send to clients.
  if (on_disconnect) {
    for (int fd : gone) on_disconnect(fd);
  }
  {
    std::lock_guard<std::mutex> lock(clients_mutex_);
    for (auto& s : clients_) CloseFd(s->fd);
    clients_.clear();
  }
  CloseFd(wake_fd_);
  wake_fd_ = -1;
}

void CTcpserver::CloseListeners() {
  if (running_) return;
  CloseFd(listen_fd_);
  listen_fd_ = -1;
  bound_port_ = 0;
  ReleaseSpare(-1);
}

void CTcpserver::CloseFd(int fd) {
  if (fd >= 0) close(fd);
}

void CTcpserver::Wake() {
  if (wake_fd_ < 0) return;
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = write(wake_fd_, &one, sizeof one);
}

size_t CTcpserver::ClientCount() {
  std::lock_guard<std::mutex> lock(clients_mutex_);
  return clients_.size();
}

void CTcpserver::Enqueue(tcp_session_s& s, const char* data, size_t len) {
  if (s.dead || s.fd < 0 || len == 0) return;
  size_t sent = 0;
  if (s.out.empty()) {
    const ssize_t n = send(s.fd, data, len, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent = static_cast<size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      s.dead = true;
      Wake();
      return;
    }
    if (sent == len) return;
    Wake();  // the server thread now has to wait for the socket to take the rest
  }
  s.out.append(data + sent, len - sent);
  if (s.out.size() > kMaxQueuedBytes) {
    s.dead = true;
    s.out.clear();
    Wake();
  }
}

void CTcpserver::Flush(tcp_session_s& s) {
  while (!s.dead && !s.out.empty()) {
    const ssize_t n = send(s.fd, s.out.data(), s.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      s.out.erase(0, static_cast<size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      return;
    } else {
      s.dead = true;
      s.out.clear();
    }
  }
}

void CTcpserver::SendAll(const void* buf, int len) {
  if (len <= 0) return;
  std::lock_guard<std::mutex> lock(clients_mutex_);
  for (auto& s : clients_) Enqueue(*s, static_cast<const char*>(buf), static_cast<size_t>(len));
}

void CTcpserver::SendTo(int fd, const void* buf, int len) {
  if (len <= 0) return;
  std::lock_guard<std::mutex> lock(clients_mutex_);
  for (auto& s : clients_) {
    if (s->fd == fd) Enqueue(*s, static_cast<const char*>(buf), static_cast<size_t>(len));
  }
}

int CTcpserver::AddSession(int fd) {
  const int one = 1;
  if (!SetNonBlocking(fd) || setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) != 0) {
    CloseFd(fd);
    return 0;
  }
  auto s = std::make_unique<tcp_session_s>();
  s->fd = fd;
  s->telnet = std::make_unique<telnet_state_s>();
  TelnetInitState(s->telnet.get(), fd);
  tcp_session_s* raw = s.get();
  s->telnet->send = [this, raw](const uint8_t* d, int n) {
    std::lock_guard<std::mutex> lock(clients_mutex_);
    Enqueue(*raw, reinterpret_cast<const char*>(d), static_cast<size_t>(n));
  };
  {
    std::lock_guard<std::mutex> lock(clients_mutex_);
    clients_.push_back(std::move(s));
  }
  if (on_connect) on_connect(fd);
  return 1;
}

void CTcpserver::Drop(tcp_session_s* s) {
  if (on_disconnect) on_disconnect(s->fd);
  std::lock_guard<std::mutex> lock(clients_mutex_);
  auto it = std::find_if(clients_.begin(), clients_.end(),
                         [s](const std::unique_ptr<tcp_session_s>& c) { return c.get() == s; });
  if (it == clients_.end()) return;
  CloseFd(s->fd);
  clients_.erase(it);
}

void CTcpserver::DropDead() {
  std::vector<tcp_session_s*> dead;
  {
    std::lock_guard<std::mutex> lock(clients_mutex_);
    for (auto& s : clients_) {
      if (s->dead) dead.push_back(s.get());
    }
  }
  for (tcp_session_s* s : dead) Drop(s);
}

void CTcpserver::AcceptClients() {
  while (true) {
    const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        // The connection stays queued; the listen socket stays readable, so polling it again at
        // once would spin.
        if (!accept_exhausted_)
          std::printf("%s: accept failed (%s); retrying\n", name_.c_str(), std::strerror(errno));
        accept_exhausted_ = true;
        accept_resume_ =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kAcceptRetryPauseMs);
      }
      return;  // nothing more waiting, or a client that gave up
    }
    if (accept_exhausted_) std::printf("%s: accepting again\n", name_.c_str());
    accept_exhausted_ = false;
    if (ClientCount() >= kMaxClients) {
      CloseFd(fd);
      continue;
    }
    AddSession(fd);
  }
}

void CTcpserver::ProcessInput(tcp_session_s& s, char* data, uint32_t len) {
  EditIo io;
  io.write = [this, &s](const char* d, size_t n) {
    std::lock_guard<std::mutex> lock(clients_mutex_);
    Enqueue(s, d, n);
  };
  io.on_line = on_line;
  EditChunk(s, mode_ == kModeTelnet, data, static_cast<int>(len), io);
}

void CTcpserver::Run() {
  platform::UseShortTimerSlack();
  std::vector<pollfd> fds;
  std::vector<tcp_session_s*> polled;
  while (running_) {
    DropDead();
    fds.clear();
    polled.clear();
    fds.push_back({wake_fd_, POLLIN, 0});
    // A negative descriptor is left out of the poll: no accepting during a pause.
    const bool accepting = !accept_exhausted_ || std::chrono::steady_clock::now() >= accept_resume_;
    fds.push_back({accepting ? listen_fd_ : -1, POLLIN, 0});
    {
      std::lock_guard<std::mutex> lock(clients_mutex_);
      for (auto& s : clients_) {
        const short events = POLLIN | (s->out.empty() ? 0 : POLLOUT);
        fds.push_back({s->fd, events, 0});
        polled.push_back(s.get());
      }
    }
    const int ready =
        poll(fds.data(), fds.size(), accepting ? kPollTimeoutMs : kAcceptRetryPauseMs);
    if (ready <= 0 || !running_) continue;
    if (fds[0].revents & POLLIN) {
      uint64_t count;
      [[maybe_unused]] ssize_t n = read(wake_fd_, &count, sizeof count);
    }
    if (fds[1].revents & POLLIN) AcceptClients();
    for (size_t i = 0; i < polled.size() && running_; ++i) {
      const short rev = fds[i + 2].revents;
      tcp_session_s* s = polled[i];
      if (rev & POLLOUT) {
        std::lock_guard<std::mutex> lock(clients_mutex_);
        Flush(*s);
      }
      if (!(rev & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = read(s->fd, read_buffer_.data(), read_buffer_.size());
      if (n > 0) {
        ProcessInput(*s, read_buffer_.data(), static_cast<uint32_t>(n));
      } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        Drop(s);
      }
    }
  }
}
