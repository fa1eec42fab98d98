#include "tarvo/TarvoBuffers.h"

#include <cerrno>

namespace Tarvo {

namespace {

constexpr size_t kMaxTimingNameCapacity = 256;

// Fills `table` with the rings of one direction, or leaves it empty and returns false when any
// ring would reach past the segment of `segmentSize` bytes or overlap the next one.
bool fillDirection(std::vector<int32_t*>& table, uint8_t* segmentBase, size_t segmentSize,
                   uint32_t offset, uint32_t count, uint32_t stride, uint32_t ringLength) {
  table.clear();
  if (count == 0) return true;
  const uint64_t ringBytes = uint64_t{ringLength} * 4;
  if (ringLength == 0) return false;
  if (count > 1 && uint64_t{stride} < ringBytes) return false;
  if (count > segmentSize / 4) return false;  // no way to fit; keeps the table size sane
  table.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    // The engine's layout uses a 32-bit product for the channel's distance.
    const uint32_t distance = i * stride;
    const uint64_t start = uint64_t{offset} + distance;
    if (start % 4 != 0 || start + ringBytes > segmentSize) {
      table.clear();
      return false;
    }
    table.push_back(reinterpret_cast<int32_t*>(segmentBase + start));
  }
  return true;
}

}  // namespace

bool layoutCarriesAudio(const volatile buffer_header& header) {
  const uint32_t period = header.samples_per_period;
  const uint32_t ring = header.samples_per_channel;
  return header.samplerate != 0 && period != 0 && ring != 0 && period <= ring;
}

Buffers::Buffers() = default;
Buffers::~Buffers() { disconnect(); }

int Buffers::connect(const std::string& name, bool globalNamespace) {
  if (mHeader != nullptr) return EALREADY;
  mGlobalNamespace = globalNamespace;
  int err = mSharedMemory.connect(name, globalNamespace);
  if (err != 0) {
    disconnect();
    return err;
  }
  if (mSharedMemory.size() < kMinHeaderSize) {
    disconnect();
    return EAGAIN;
  }
  mHeader = static_cast<const volatile buffer_header*>(mSharedMemory.get());
  mSplit = (mHeader->flags & kFlagSplitLayout) != 0;
  if (mSplit) {
    err = mSharedMemoryTx.connect(name + "Tx", globalNamespace);
    if (err == 0) err = mSharedMemoryRx.connect(name + "Rx", globalNamespace);
    if (err != 0) {
      disconnect();
      return err;
    }
  }
  fillTables();
  mConnected = true;
  return 0;
}

void Buffers::disconnect() {
  mSharedMemory.disconnect();
  mSharedMemoryTx.disconnect();
  mSharedMemoryRx.disconnect();
  mHeader = nullptr;
  mTimingObjectSubheader = nullptr;
  mTimingNameCapacity = 0;
  mTxChannels.clear();
  mRxChannels.clear();
  mConnected = false;
  mSplit = false;
}

bool Buffers::refresh() {
  if (mHeader == nullptr) return false;
  if (((mHeader->flags & kFlagSplitLayout) != 0) != mSplit) {
    mTxChannels.clear();
    mRxChannels.clear();
    return false;
  }
  return fillTables();
}

bool Buffers::fillTables() {
  auto* mainBase = static_cast<uint8_t*>(mSharedMemory.get());
  const size_t mainSize = mSharedMemory.size();

  mTimingObjectSubheader = nullptr;
  mTimingNameCapacity = 0;
  const uint32_t subOffset = mHeader->timing_object_offset_bytes;
  if (subOffset != 0 && uint64_t{subOffset} + kSubheaderFixedSize < mainSize) {
    mTimingObjectSubheader =
        reinterpret_cast<const volatile timing_object_subheader*>(mainBase + subOffset);
    mTimingNameCapacity = mainSize - subOffset - kSubheaderFixedSize;
    if (mTimingNameCapacity > kMaxTimingNameCapacity) mTimingNameCapacity = kMaxTimingNameCapacity;
  }

  if (!layoutCarriesAudio(*mHeader)) {
    mTxChannels.clear();
    mRxChannels.clear();
    return false;
  }
  uint8_t* txBase = mSplit ? static_cast<uint8_t*>(mSharedMemoryTx.get()) : mainBase;
  uint8_t* rxBase = mSplit ? static_cast<uint8_t*>(mSharedMemoryRx.get()) : mainBase;
  const size_t txSize = mSplit ? mSharedMemoryTx.size() : mainSize;
  const size_t rxSize = mSplit ? mSharedMemoryRx.size() : mainSize;
  const uint32_t stride = mHeader->bytes_per_channel;
  const uint32_t ringLength = mHeader->samples_per_channel;
  bool ok = fillDirection(mTxChannels, txBase, txSize, mHeader->channel0_offset_bytes[kTx],
                          mHeader->num_channels[kTx], stride, ringLength) &&
            fillDirection(mRxChannels, rxBase, rxSize, mHeader->channel0_offset_bytes[kRx],
                          mHeader->num_channels[kRx], stride, ringLength);
  if (!ok) {
    mTxChannels.clear();
    mRxChannels.clear();
  }
  return ok;
}

int32_t* Buffers::getTarvoTxChannel(unsigned i) const {
  return i < mTxChannels.size() ? mTxChannels[i] : nullptr;
}

const int32_t* Buffers::getTarvoRxChannel(unsigned i) const {
  return i < mRxChannels.size() ? mRxChannels[i] : nullptr;
}

}  // namespace Tarvo
