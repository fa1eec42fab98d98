// A named worker thread that calls one callback over and over, pausing 1 s between calls.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

class CTimer {
 public:
  explicit CTimer(const std::string& name);
  ~CTimer();
  CTimer(const CTimer&) = delete;
  CTimer& operator=(const CTimer&) = delete;

  // Starts the thread, named with the first 15 characters of name.
  void Start();
  // The thread body: while running, the callback (when set), then 1 s.
  void Run();
  // Clears running and joins the thread.
  void Stop();

  std::atomic<bool> running{false};
  std::thread* thread = nullptr;
  std::string name;
  std::function<int()> callback;
};
