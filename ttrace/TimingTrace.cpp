#include "ttrace/TimingTrace.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <sstream>

#include "tarvo/TarvoLine.h"
#include "tarvo/TarvoRunner.h"
#include "tarvo/TarvoTiming.h"
#include "tarvo/TarvoTool.h"

namespace ttrace {

namespace {

constexpr unsigned kIntervalMs = 100;
// Pause between two snapshot attempts while the engine's update flag is set.
constexpr useconds_t kSnapshotPauseUs = 50;

void fence() { std::atomic_thread_fence(std::memory_order_acquire); }

uint64_t networkTime(const volatile Tarvo::buffer_header& header) {
  return header.period_count * uint64_t{header.samples_per_period};
}

NetworkMonotonicTrace& programTrace() {
  static NetworkMonotonicTrace trace;
  return trace;
}

}  // namespace

std::string metadataLine(const volatile Tarvo::buffer_header& h) {
  std::ostringstream out;
  out << "METADATA magic=0x" << std::hex << h.magic << std::dec
      << " buffer_length=" << h.buffer_length << " header_length=" << h.header_length << " flags=0x"
      << std::hex << h.flags << std::dec
      << " channel0_offset_bytes=" << h.channel0_offset_bytes[Tarvo::kTx] << "/"
      << h.channel0_offset_bytes[Tarvo::kRx];
  return out.str();
}

std::string layoutLine(const volatile Tarvo::buffer_header& h) {
  std::ostringstream out;
  out << "AUDIO samplerate=" << h.samplerate << " encoding=" << h.encoding
      << " samples/channel=" << h.samples_per_channel << " bytes/channels=" << h.bytes_per_channel
      << " num_channels=" << h.num_channels[Tarvo::kTx] << "/" << h.num_channels[Tarvo::kRx];
  return out.str();
}

std::string timeLine(const volatile Tarvo::buffer_header& h) {
  std::ostringstream out;
  out << "TIME epoch=" << h.epoch[0] << "." << h.epoch[1] << " reset_count=" << h.reset_count
      << " samples_per_period=" << h.samples_per_period << " period_count=" << h.period_count
      << " clock_drift_ppb=" << h.clock_drift_ppb << " monotonic=" << h.monotonic;
  return out.str();
}

void traceMetadata(const volatile Tarvo::buffer_header& h) {
  Tarvo::writeLine(stderr, metadataLine(h));
}
void traceLayout(const volatile Tarvo::buffer_header& h) {
  Tarvo::writeLine(stderr, layoutLine(h));
}
void traceTime(const volatile Tarvo::buffer_header& h) { Tarvo::writeLine(stderr, timeLine(h)); }

bool NetworkMonotonicTrace::snapshot(const volatile Tarvo::buffer_header& header, uint64_t& network,
                                     uint64_t& monotonic) {
  uint64_t retryStart = 0;
  for (;;) {
    network = networkTime(header);
    monotonic = header.monotonic;
    fence();
    if ((header.flags & Tarvo::kFlagTimeUpdating) == 0) {
      fence();
      if (networkTime(header) == network && header.monotonic == monotonic) return true;
    }
    // The engine is updating the time fields: retry, but not for ever.
    const uint64_t now = Tarvo::getMonotonicValue();
    if (retryStart == 0) retryStart = now;
    if (now - retryStart > kSnapshotRetryNs) return false;
    usleep(kSnapshotPauseUs);
  }
}

std::string NetworkMonotonicTrace::line(const volatile Tarvo::buffer_header& header,
                                        unsigned samplerate, unsigned intervalMs) {
  mRate = Tarvo::getMonotonicRate();
  uint64_t network = 0;
  uint64_t monotonic = 0;
  if (!snapshot(header, network, monotonic)) return "";

  const uint64_t deltaMonotonic = monotonic - mLastMonotonic;
  const double deltaMonotonicNs = double(deltaMonotonic) * 1e9 / double(mRate);
  if (!(deltaMonotonicNs > double(intervalMs) * 1e6)) return "";

  const uint64_t deltaNetwork = network - mLastNetwork;
  std::ostringstream out;
  if (samplerate != 0) {
    const double deltaNetworkNs = double(deltaNetwork) * 1e9 / double(samplerate);
    out << "network time in samples " << network << " (" << deltaNetworkNs << "ns delta)"
        << " monotonic counter " << monotonic << " (" << deltaMonotonicNs << "ns delta)"
        << " ratio=" << deltaMonotonicNs / deltaNetworkNs;
  } else {
    out << "network time in samples " << network << " (time in ns unknown)"
        << " monotonic counter " << monotonic << "ns (" << deltaMonotonicNs << "ns delta)"
        << " Samplerate unavailable";
  }
  mLastNetwork = network;
  mLastMonotonic = monotonic;
  return out.str();
}

void traceNetworkMonotonicTime(const volatile Tarvo::buffer_header& header, unsigned samplerate,
                               unsigned intervalMs) {
  const std::string text = programTrace().line(header, samplerate, intervalMs);
  if (!text.empty()) Tarvo::writeLine(stderr, text);
}

void work(Tarvo::Buffers& buffers, unsigned /*periods*/, unsigned samplerate, unsigned intervalMs) {
  const volatile Tarvo::buffer_header* header = buffers.getHeader();
  if (header != nullptr) traceNetworkMonotonicTime(*header, samplerate, intervalMs);
}

void reset(Tarvo::Buffers& buffers, unsigned* samplerate) {
  const volatile Tarvo::buffer_header* header = buffers.getHeader();
  if (header == nullptr) return;
  Tarvo::writeLine(stderr, "-----------------------------------------");
  *samplerate = header->samplerate;
  traceMetadata(*header);
  traceLayout(*header);
  traceTime(*header);
}

void runTimingTrace(const std::string& areaName) {
  Tarvo::Buffers buffers;
  Tarvo::Runner runner(buffers);
  unsigned samplerate = 0;

  Tarvo::ToolHooks hooks;
  hooks.afterConnected = [&buffers] {
    const volatile Tarvo::buffer_header* header = buffers.getHeader();
    traceMetadata(*header);
    traceLayout(*header);
    traceTime(*header);
  };
  hooks.reset = [&buffers, &samplerate] { reset(buffers, &samplerate); };
  hooks.work = [&buffers, &samplerate](unsigned periods) {
    work(buffers, periods, samplerate, kIntervalMs);
  };
  Tarvo::runToolMainLoop(buffers, runner, areaName, hooks);
}

}  // namespace ttrace
