// Control server of the raw TCP and telnet ports: one thread per object, the connected clients
// and their line editors.
//
// Every client has an output queue: SendAll and the echo of the line editor append to it and
// send what the socket takes at once; the server thread sends the rest when the socket is ready
// again. A client whose queue passes kMaxQueuedBytes, or whose socket fails, is dropped, so a slow
// or dead client never blocks the senders or the other clients.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "devctl/text/tcp_session.h"

class CTcpserver {
 public:
  static constexpr uint32_t kModeTelnet = 1;
  static constexpr uint32_t kModeRaw = 2;
  static constexpr size_t kMaxClients = 256;
  static constexpr size_t kMaxQueuedBytes = 256 * 1024;
  static constexpr uint32_t kBacklog = 256;

  // Constructing a server opens no socket and starts no thread.
  CTcpserver() = default;
  ~CTcpserver();
  CTcpserver(const CTcpserver&) = delete;
  CTcpserver& operator=(const CTcpserver&) = delete;

  // Called on the server's thread with every completed command line.
  std::function<void(int fd, char* line, int len)> on_line;
  // Called on the server's thread with each newly accepted client, before its first line.
  std::function<void(int fd)> on_connect;
  // Called when a client goes, while fd still belongs to it: on the server's thread, or by Stop
  // for every client it closes.
  std::function<void(int fd)> on_disconnect;

  // Stores name (also the thread's name), port and mode while stopped. -1 for a port above
  // 65535 or an unknown mode (nothing stored).
  int Init(const std::string& name, uint32_t port, uint32_t mode);
  // 0 when the thread runs; -1 (and "socketcreate fail." on stdout) without a listening socket.
  // A listening socket the server already holds on its port (kept by StopKeepingListener, or
  // opened by HoldPort) is taken first; one on another port is closed.
  int Start();
  // Ends the thread, drops every client and closes the listening sockets. Must not be called
  // from the server's own thread.
  void Stop();
  // Stop, but the listening socket stays open: the port stays taken, connections wait in its
  // backlog, and the next Start on the same port listens on it without a gap.
  void StopKeepingListener();
  // Makes sure the server holds a listening socket on port (0: any port): the one it listens on
  // or kept, or one opened now for the next Start. False when port cannot be listened on. Called
  // under the owner's lock that also covers Start and CloseListeners.
  bool HoldPort(uint16_t port);
  // Closes the socket HoldPort opened unless the server is to start on its port: wanted_port,
  // 0 for any port, -1 for none. Called under the same lock as HoldPort.
  void ReleaseSpare(int wanted_port);
  // Closes the listening sockets of a stopped server (no effect on a running one's own).
  void CloseListeners();

  // Queues buf for every client.
  void SendAll(const void* buf, int len);
  // Queues buf for the one client with this socket (nothing when it is gone).
  void SendTo(int fd, const void* buf, int len);

  bool running() const { return running_; }
  // The port of the server's listening socket (useful after Init with port 0), also while it is
  // stopped keeping the socket; 0 without one.
  uint16_t BoundPort() const { return bound_port_; }
  size_t ClientCount();

 private:
  int CreateSocket(uint16_t port);
  // The listening socket for a start on port_: the kept one, the one HoldPort opened, or a new
  // one; -1 without. Sockets on other ports are closed.
  int TakeListener();
  int AddSession(int fd);
  void CloseFd(int fd);
  void Run();
  void ProcessInput(tcp_session_s& s, char* data, uint32_t len);
  void Enqueue(tcp_session_s& s, const char* data, size_t len);  // client lock held
  void Flush(tcp_session_s& s);                                  // client lock held
  void Drop(tcp_session_s* s);
  void DropDead();
  void AcceptClients();
  // While descriptors or memory run out, accepting pauses until this time (steady clock) instead of
  // waking on the listen socket again at once; the episode is logged once.
  std::chrono::steady_clock::time_point accept_resume_{};
  bool accept_exhausted_ = false;
  void Wake();

  std::atomic<bool> running_{false};
  std::string name_;
  uint32_t port_ = 0;
  uint32_t mode_ = kModeRaw;
  int listen_fd_ = -1;
  // A listening socket HoldPort opened on a port the server does not listen on yet.
  std::mutex spare_mutex_;
  int spare_fd_ = -1;
  uint16_t spare_port_ = 0;
  std::atomic<int> wake_fd_{-1};
  std::atomic<uint16_t> bound_port_{0};
  std::thread thread_;
  std::mutex clients_mutex_;
  std::vector<std::unique_ptr<tcp_session_s>> clients_;
  std::vector<char> read_buffer_;
};
