#include "devctl/core/notices.h"

#include <mutex>
#include <utility>

namespace {

std::mutex& SinkMutex() {
  static std::mutex mutex;
  return mutex;
}

std::function<void(const std::string&)>& Sink() {
  static std::function<void(const std::string&)> sink;
  return sink;
}

}  // namespace

void SetNoticeSink(std::function<void(const std::string&)> sink) {
  std::lock_guard<std::mutex> lock(SinkMutex());
  Sink() = std::move(sink);
}

void SendNotice(const std::string& text) {
  if (text.empty()) return;
  std::function<void(const std::string&)> sink;
  {
    std::lock_guard<std::mutex> lock(SinkMutex());
    sink = Sink();
  }
  if (sink) sink(text);
}
