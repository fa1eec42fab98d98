// ttrace's output: the area's header as three lines (METADATA, AUDIO, TIME) at every connection
// and reconfiguration, and at most every intervalMs of the engine's monotonic counter a line
// comparing the network time that passed with the monotonic time that passed.
#pragma once

#include <cstdint>
#include <string>

#include "tarvo/TarvoBuffers.h"
#include "tarvo/TarvoHeader.h"

namespace ttrace {

std::string metadataLine(const volatile Tarvo::buffer_header& header);
std::string layoutLine(const volatile Tarvo::buffer_header& header);
std::string timeLine(const volatile Tarvo::buffer_header& header);

// Each writes its line to stderr.
void traceMetadata(const volatile Tarvo::buffer_header& header);
void traceLayout(const volatile Tarvo::buffer_header& header);
void traceTime(const volatile Tarvo::buffer_header& header);

// The network time against the monotonic counter, since the last line written.
class NetworkMonotonicTrace {
 public:
  // How long a snapshot is retried while the engine keeps its time-update flag set; after that
  // the line is skipped.
  static constexpr uint64_t kSnapshotRetryNs = 10000000;

  // The timing line when more than intervalMs of monotonic time passed since the last one
  // (the last values are then updated), "" otherwise or when no consistent snapshot could be
  // taken. samplerate 0 gives the variant without nanoseconds of network time.
  std::string line(const volatile Tarvo::buffer_header& header, unsigned samplerate,
                   unsigned intervalMs);

  // Takes network time (period_count x samples_per_period) and the monotonic counter from one
  // update of the engine; false when the update flag stayed set for kSnapshotRetryNs.
  static bool snapshot(const volatile Tarvo::buffer_header& header, uint64_t& network,
                       uint64_t& monotonic);

 private:
  uint64_t mLastNetwork = 0;
  uint64_t mLastMonotonic = 0;
  uint64_t mRate = 0;
};

// The program-wide trace: writes NetworkMonotonicTrace::line to stderr when there is one.
void traceNetworkMonotonicTime(const volatile Tarvo::buffer_header& header, unsigned samplerate,
                               unsigned intervalMs);

// Period loop callbacks: work traces the time (periods unused); reset writes 41 dashes,
// latches the sample rate into *samplerate and writes the three header lines.
void work(Tarvo::Buffers& buffers, unsigned periods, unsigned samplerate, unsigned intervalMs);
void reset(Tarvo::Buffers& buffers, unsigned* samplerate);

// The tool's main loop on area `areaName` until SIGINT (ttrace passes "TarvoEP").
void runTimingTrace(const std::string& areaName);

}  // namespace ttrace
