#include "devctl/core/timer.h"

#include <pthread.h>

#include "platform/clock.h"

CTimer::CTimer(const std::string& thread_name) : name(thread_name) {}

CTimer::~CTimer() {
  // Only a stopped timer's thread can be released; a running one lives as long as the process.
  if (thread && !running && thread->joinable()) thread->join();
  if (!running) delete thread;
}

void CTimer::Start() {
  running = true;
  thread = new std::thread(&CTimer::Run, this);
  pthread_setname_np(thread->native_handle(), name.substr(0, 15).c_str());
}

void CTimer::Run() {
  platform::UseShortTimerSlack();
  while (running) {
    if (callback) callback();
    platform::SleepMs(1000);
  }
}

void CTimer::Stop() {
  running = false;
  if (thread) {
    if (thread->joinable()) thread->join();
    delete thread;
    thread = nullptr;
  }
}
