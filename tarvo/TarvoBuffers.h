// The buffer set of one engine: main segment (header, timing subheader, rings), and in the split
// layout the transmit (name+"Tx") and receive (name+"Rx") segments, with one table of ring
// pointers per direction.
//
// Usage: connect(name, false); let Tarvo::Runner call refresh() after every reconfiguration; in
// the reset callback read the layout from getHeader() and the rings from the getters below.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tarvo/TarvoHeader.h"
#include "tarvo/TarvoSharedMemory.h"

namespace Tarvo {

// True when the header's timing and ring sizes can carry audio: a non-zero rate, a non-zero
// period that fits in a non-zero ring. A client cannot move a sample through any other layout.
bool layoutCarriesAudio(const volatile buffer_header& header);

class Buffers {
 public:
  Buffers();
  ~Buffers();
  Buffers(const Buffers&) = delete;
  Buffers& operator=(const Buffers&) = delete;

  // Maps the area `name` (and name+"Tx", name+"Rx" when the header's split flag is set) and
  // builds the channel tables from the header. Returns 0, EALREADY when a header is already
  // set (nothing changes), EINVAL for a bad name (also a split base name over 29 characters),
  // EAGAIN when the main segment is empty or smaller than the header, or the errno of the
  // failing system call (ENOENT: the engine is not running). Any failure leaves the set fully
  // unconnected. The tables stay empty when the layout read at this moment does not fit the
  // mapping (the engine may be mid-reconfiguration); refresh() fills them later.
  int connect(const std::string& name, bool globalNamespace);
  // Unmaps everything; harmless when not connected.
  void disconnect();

  // Re-reads both channel tables and the timing subheader from the current header and checks
  // them against the mapped sizes: every ring must lie inside the segment holding it, rings of
  // one direction must not overlap, the split flag must be what it was at connect, and the
  // header must be able to carry audio at all (layoutCarriesAudio). Returns false (tables
  // emptied) when the layout does not fit; the caller then disconnects and connects again.
  // Call only while reset_count is even.
  bool refresh();

  bool isConnected() const { return mConnected; }
  // Tells the connected area from one an engine made anew under the same name; 0 when not
  // connected.
  uint64_t areaIdentity() const { return mSharedMemory.identity(); }
  bool isGlobalNamespace() const { return mGlobalNamespace; }
  // The header (nullptr when not connected). Read every field anew at each use.
  const volatile buffer_header* getHeader() const { return mHeader; }
  // The timing subheader (nullptr when not connected, when its offset is 0, or when it lies
  // outside the main segment).
  const volatile timing_object_subheader* getTimingObjectSubheader() const {
    return mTimingObjectSubheader;
  }
  // Bytes available for object_name inside the mapping (at most 256); 0 without subheader.
  size_t getTimingObjectNameCapacity() const { return mTimingNameCapacity; }

  // First sample of transmit/receive ring i; nullptr when i is not below the table size.
  int32_t* getTarvoTxChannel(unsigned i) const;
  const int32_t* getTarvoRxChannel(unsigned i) const;
  // Table sizes: the channel counts of the layout last checked (0 while it did not fit).
  unsigned getTxChannelCount() const { return static_cast<unsigned>(mTxChannels.size()); }
  unsigned getRxChannelCount() const { return static_cast<unsigned>(mRxChannels.size()); }

 private:
  bool fillTables();

  bool mGlobalNamespace = false;
  SharedMemory mSharedMemory;
  SharedMemory mSharedMemoryTx;
  SharedMemory mSharedMemoryRx;
  const volatile buffer_header* mHeader = nullptr;
  const volatile timing_object_subheader* mTimingObjectSubheader = nullptr;
  std::vector<int32_t*> mTxChannels;
  std::vector<int32_t*> mRxChannels;
  bool mConnected = false;
  bool mSplit = false;
  size_t mTimingNameCapacity = 0;
};

}  // namespace Tarvo
