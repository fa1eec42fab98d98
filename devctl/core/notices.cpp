#include "devctl/core/notices.h"

#include <mutex>
#include <utility>

#include "platform/state_resets.h"

namespace {

struct Sinks {
  std::mutex mutex;
  NoticeSink all_ports;
  NoticeSink network;
  std::function<void()> serial_banner;
};

Sinks& TheSinks() {
  static Sinks sinks;
  return sinks;
}

// A copy of one sink, so it runs without the sinks' mutex held.
template <typename F>
F Get(F Sinks::*member) {
  Sinks& s = TheSinks();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.*member;
}

template <typename F>
void Set(F Sinks::*member, F value) {
  Sinks& s = TheSinks();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.*member = std::move(value);
}

}  // namespace

void SetNoticeSink(NoticeSink sink) { Set(&Sinks::all_ports, std::move(sink)); }

void SendNotice(const std::string& text) {
  if (text.empty()) return;
  if (NoticeSink sink = Get(&Sinks::all_ports)) sink(text);
}

void SetNetworkNoticeSink(NoticeSink sink) { Set(&Sinks::network, std::move(sink)); }

void SendNetworkNotice(const std::string& text) {
  if (text.empty()) return;
  if (NoticeSink sink = Get(&Sinks::network)) sink(text);
}

void SetSerialBannerHook(std::function<void()> hook) {
  Set(&Sinks::serial_banner, std::move(hook));
}

void ShowSerialBanner() {
  if (auto hook = Get(&Sinks::serial_banner)) hook();
}

void ResetNoticeSinks() {
  SetNoticeSink(nullptr);
  SetNetworkNoticeSink(nullptr);
  SetSerialBannerHook(nullptr);
}

namespace {
const platform::StateReset kReset(ResetNoticeSinks);
}  // namespace
