#include "sim/engine/StandInEngine.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr uint32_t kSubheaderOffset = 0x80;
constexpr size_t kSplitMainSize = 0x1000;
constexpr uint32_t kHeaderLength = 0x80;

uint32_t roundUp(uint64_t value, uint32_t unit) {
  return static_cast<uint32_t>((value + unit - 1) / unit * unit);
}

uint64_t monotonicRawNs() {
  struct timespec ts = {0, 0};
  clock_gettime(CLOCK_MONOTONIC_RAW, &ts);
  return uint64_t(ts.tv_sec) * 1000000000ULL + uint64_t(ts.tv_nsec);
}

// True when `count` rings of `ringLength` samples, `stride` bytes apart from `offset`, lie
// inside a segment of `size` bytes without overlapping.
bool layoutFits(uint32_t offset, uint32_t count, uint32_t stride, uint32_t ringLength,
                size_t size) {
  if (count == 0) return true;
  if (ringLength == 0 || offset % 4 != 0 || stride % 4 != 0) return false;
  if (count > 1 && uint64_t{stride} < uint64_t{ringLength} * 4) return false;
  return uint64_t{offset} + uint64_t{count - 1} * stride + uint64_t{ringLength} * 4 <= size;
}

}  // namespace

StandInEngine::StandInEngine(Config config) : mConfig(std::move(config)) {}

StandInEngine::~StandInEngine() { destroy(); }

std::string StandInEngine::semaphoreName() const { return mConfig.name + "_period"; }

// Segments are made under a temporary name and renamed into place once filled (publish), so
// a client never maps a half-made area. glibc keeps POSIX shared memory in /dev/shm.
int StandInEngine::createSegment(Segment& segment, const std::string& name, size_t size) {
  const std::string temporary = name + ".new" + std::to_string(getpid());
  shm_unlink(temporary.c_str());
  int fd = shm_open(temporary.c_str(), O_CREAT | O_EXCL | O_RDWR, 0666);
  if (fd < 0) return errno;
  fchmod(fd, 0666);
  if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
    int err = errno;
    ::close(fd);
    shm_unlink(temporary.c_str());
    return err;
  }
  void* base = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  int err = base == MAP_FAILED ? errno : 0;
  ::close(fd);
  if (err != 0) {
    shm_unlink(temporary.c_str());
    return err;
  }
  segment.name = temporary;
  segment.finalName = name;
  segment.base = static_cast<uint8_t*>(base);
  segment.size = size;
  return 0;
}

int StandInEngine::publishSegment(Segment& segment) {
  if (segment.base == nullptr) return 0;
  const std::string from = "/dev/shm/" + segment.name;
  const std::string to = "/dev/shm/" + segment.finalName;
  if (rename(from.c_str(), to.c_str()) != 0) return errno;
  segment.name = segment.finalName;
  return 0;
}

void StandInEngine::releaseSegment(Segment& segment, bool unlinkName) {
  if (segment.base != nullptr) munmap(segment.base, segment.size);
  if (unlinkName && !segment.name.empty()) shm_unlink(segment.name.c_str());
  segment = Segment();
}

int StandInEngine::create() {
  destroy();
  // Stale objects of these names from an engine that did not clean up.
  shm_unlink(mConfig.name.c_str());
  shm_unlink((mConfig.name + "Tx").c_str());
  shm_unlink((mConfig.name + "Rx").c_str());
  const uint32_t maxChannels =
      std::max({mConfig.maxChannels, mConfig.txChannels, mConfig.rxChannels, 1u});
  const uint32_t maxRing = std::max(mConfig.maxSamplesPerChannel, mConfig.samplesPerChannel);
  const uint64_t maxStride = uint64_t{maxRing} * 4 + mConfig.stridePadding;
  const uint64_t ringsBytes = maxChannels * maxStride;
  mStride = mConfig.samplesPerChannel * 4 + mConfig.stridePadding;

  int err = 0;
  if (mConfig.split) {
    mTxOffset = mConfig.txOffset;
    mRxOffset = mConfig.rxOffset;
    err = createSegment(mMain, mConfig.name, kSplitMainSize);
    if (err == 0) err = createSegment(mTx, mConfig.name + "Tx", mTxOffset + ringsBytes);
    if (err == 0) err = createSegment(mRx, mConfig.name + "Rx", mRxOffset + ringsBytes);
  } else {
    mTxOffset = std::max<uint32_t>(mConfig.txOffset, 0x100);
    mRxOffset = roundUp(mTxOffset + ringsBytes, 0x100) + 0x100;
    err = createSegment(mMain, mConfig.name, mRxOffset + ringsBytes);
  }
  if (err == 0 && mConfig.timing == Timing::Semaphore) {
    sem_unlink(semaphoreName().c_str());
    sem_t* sem = sem_open(semaphoreName().c_str(), O_CREAT | O_EXCL, 0666, 0);
    if (sem == SEM_FAILED) {
      err = errno;
    } else {
      mSem = sem;
    }
  }
  if (err != 0) {
    destroy();
    return err;
  }
  mCreated = true;
  mCapture.assign(maxChannels, {});
  mLate.assign(maxChannels, 0);
  mPendingPoison.assign(maxChannels, 0);
  mWritten.assign(maxChannels, false);
  mLoopBuffer.assign(maxChannels, {});
  fillHeader();
  err = publishSegment(mTx);
  if (err == 0) err = publishSegment(mRx);
  if (err == 0) err = publishSegment(mMain);
  if (err != 0) destroy();
  return err;
}

void StandInEngine::destroy() {
  // Clients that still map the area learn from magic 0 that it is gone.
  if (mMain.base != nullptr && mMain.size >= sizeof(Tarvo::buffer_header)) {
    __atomic_store_n(&header().magic, 0u, __ATOMIC_RELEASE);
  }
  // After close(true) the names may already belong to a newer engine.
  const bool unlinkNames = !mUnlinked;
  releaseSegment(mMain, unlinkNames);
  releaseSegment(mTx, unlinkNames);
  releaseSegment(mRx, unlinkNames);
  if (mSem != nullptr) {
    sem_close(static_cast<sem_t*>(mSem));
    mSem = nullptr;
  }
  if (mCreated && unlinkNames && mConfig.timing == Timing::Semaphore) {
    sem_unlink(semaphoreName().c_str());
  }
  mCreated = false;
  mUnlinked = false;
}

void StandInEngine::abandon() {
  releaseSegment(mMain, false);
  releaseSegment(mTx, false);
  releaseSegment(mRx, false);
  if (mSem != nullptr) {
    sem_close(static_cast<sem_t*>(mSem));
    mSem = nullptr;
  }
  mCreated = false;
  mUnlinked = false;
}

Tarvo::buffer_header& StandInEngine::header() {
  return *reinterpret_cast<Tarvo::buffer_header*>(mMain.base);
}

void StandInEngine::setResetCount(uint32_t value) {
  __atomic_store_n(&header().reset_count, value, __ATOMIC_RELEASE);
}

void StandInEngine::fillHeader() {
  Tarvo::buffer_header& h = header();
  setResetCount(1);
  h.magic = kMagic;
  h.buffer_length = static_cast<uint32_t>(mMain.size);
  h.header_length = kHeaderLength;
  h.flags = mConfig.split ? Tarvo::kFlagSplitLayout : 0;
  h.channel0_offset_bytes[Tarvo::kTx] = mTxOffset;
  h.channel0_offset_bytes[Tarvo::kRx] = mRxOffset;
  h.samplerate = mConfig.samplerate;
  h.encoding = mConfig.encoding;
  h.samples_per_channel = mConfig.samplesPerChannel;
  h.bytes_per_channel = mStride;
  h.num_channels[Tarvo::kTx] = mConfig.txChannels;
  h.num_channels[Tarvo::kRx] = mConfig.rxChannels;
  h.epoch[0] = 1;
  h.epoch[1] = 0;
  h.samples_per_period = mConfig.samplesPerPeriod;
  h.clock_drift_ppb = static_cast<uint32_t>(int64_t{mConfig.driftPpm} * 1000);
  h.period_count = mConfig.startPeriodCount;
  mClockOrigin = monotonicRawNs();
  h.monotonic = mClockOrigin;

  if (mConfig.timing == Timing::NoSubheader) {
    h.timing_object_offset_bytes = 0;
  } else {
    h.timing_object_offset_bytes = kSubheaderOffset;
    uint8_t* sub = mMain.base + kSubheaderOffset;
    uint32_t type = 1;
    if (mConfig.timing == Timing::Polling) type = 0;
    if (mConfig.timing == Timing::OtherType) type = 2;
    memcpy(sub + 4, &type, sizeof type);
    std::string name =
        mConfig.timing == Timing::MissingSemaphore ? mConfig.name + "_nosem" : semaphoreName();
    memcpy(sub + 8, name.c_str(), name.size() + 1);
  }
  primeRings();
  setResetCount(2);
}

int32_t StandInEngine::rxPattern(unsigned ch, uint64_t absoluteIndex) {
  return static_cast<int32_t>((uint32_t{ch} << 27) | (absoluteIndex & 0x07FFFFFFu));
}

int32_t* StandInEngine::txRing(unsigned ch) {
  uint8_t* base = mConfig.split ? mTx.base : mMain.base;
  return reinterpret_cast<int32_t*>(base + header().channel0_offset_bytes[Tarvo::kTx] +
                                    uint64_t{ch} * header().bytes_per_channel);
}

int32_t* StandInEngine::rxRing(unsigned ch) {
  uint8_t* base = mConfig.split ? mRx.base : mMain.base;
  return reinterpret_cast<int32_t*>(base + header().channel0_offset_bytes[Tarvo::kRx] +
                                    uint64_t{ch} * header().bytes_per_channel);
}

// Fills the receive rings as if the engine had been running up to the current period count,
// and the transmit rings with the value that marks "not written".
void StandInEngine::primeRings() {
  Tarvo::buffer_header& h = header();
  const uint32_t spc = h.samples_per_channel;
  const size_t txSize = mConfig.split ? mTx.size : mMain.size;
  const size_t rxSize = mConfig.split ? mRx.size : mMain.size;
  const uint64_t end = h.period_count * h.samples_per_period;
  if (layoutFits(h.channel0_offset_bytes[Tarvo::kRx], h.num_channels[Tarvo::kRx],
                 h.bytes_per_channel, spc, rxSize)) {
    const uint64_t begin = end > spc ? end - spc : 0;
    for (unsigned ch = 0; ch < h.num_channels[Tarvo::kRx]; ++ch) {
      int32_t* ring = rxRing(ch);
      for (uint64_t a = begin; a < end; ++a) {
        ring[a % spc] = mConfig.rx == RxContent::Pattern ? rxPattern(ch, a) : 0;
      }
    }
  }
  if (layoutFits(h.channel0_offset_bytes[Tarvo::kTx], h.num_channels[Tarvo::kTx],
                 h.bytes_per_channel, spc, txSize)) {
    const int32_t fill = mConfig.txAfter == TxAfter::Poison ? kPoison : 0;
    for (unsigned ch = 0; ch < h.num_channels[Tarvo::kTx]; ++ch) {
      std::fill(txRing(ch), txRing(ch) + spc, fill);
    }
  }
}

void StandInEngine::processPeriod(uint64_t period) {
  Tarvo::buffer_header& h = header();
  const uint32_t spc = h.samples_per_channel;
  const uint32_t spp = h.samples_per_period;
  const size_t txSize = mConfig.split ? mTx.size : mMain.size;
  const size_t rxSize = mConfig.split ? mRx.size : mMain.size;
  if (spc == 0 || spp == 0) return;
  const uint64_t first = period * spp;

  const bool txFits = layoutFits(h.channel0_offset_bytes[Tarvo::kTx], h.num_channels[Tarvo::kTx],
                                 h.bytes_per_channel, spc, txSize);
  const unsigned txCount = std::min<size_t>(h.num_channels[Tarvo::kTx], mCapture.size());
  if (txFits) {
    for (unsigned ch = 0; ch < txCount; ++ch) {
      int32_t* ring = txRing(ch);
      std::vector<int32_t>& loop = mLoopBuffer[ch];
      loop.resize(spp);
      for (uint32_t i = 0; i < spp; ++i) {
        int32_t& slot = ring[(first + i) % spc];
        const int32_t value = slot;
        loop[i] = value;
        if (value == kPoison) {
          if (mWritten[ch]) ++mPendingPoison[ch];
        } else {
          mWritten[ch] = true;
          mLate[ch] += mPendingPoison[ch];
          mPendingPoison[ch] = 0;
        }
        if (mConfig.txAfter == TxAfter::Poison) slot = kPoison;
        if (mConfig.txAfter == TxAfter::Zero) slot = 0;
      }
      if (mConfig.captureTx) mCapture[ch].insert(mCapture[ch].end(), loop.begin(), loop.end());
      if (mCaptureFn) mCaptureFn(ch, loop.data(), loop.size());
    }
  }

  if (layoutFits(h.channel0_offset_bytes[Tarvo::kRx], h.num_channels[Tarvo::kRx],
                 h.bytes_per_channel, spc, rxSize)) {
    for (unsigned ch = 0; ch < h.num_channels[Tarvo::kRx]; ++ch) {
      int32_t* ring = rxRing(ch);
      for (uint32_t i = 0; i < spp; ++i) {
        const uint64_t a = first + i;
        int32_t value = 0;
        switch (mConfig.rx) {
          case RxContent::Pattern:
            value = rxPattern(ch, a);
            break;
          case RxContent::Sine: {
            const double phase = 2.0 * M_PI * 1000.0 * (ch + 1) * double(a) / h.samplerate;
            value = static_cast<int32_t>(std::lround(std::sin(phase) * 1073741824.0));
            break;
          }
          case RxContent::Silence:
            value = 0;
            break;
          case RxContent::Loop:
            value =
                (txFits && ch < txCount && mLoopBuffer[ch].size() == spp) ? mLoopBuffer[ch][i] : 0;
            if (value == kPoison) value = 0;
            break;
        }
        ring[a % spc] = value;
      }
    }
  }
}

void StandInEngine::publishTime(uint64_t newCount) {
  Tarvo::buffer_header& h = header();
  const uint64_t now = monotonicRawNs();
  const int64_t elapsed = static_cast<int64_t>(now - mClockOrigin);
  const uint64_t stamp =
      now + static_cast<uint64_t>(static_cast<long double>(elapsed) * mConfig.driftPpm / 1e6L);
  __atomic_store_n(&h.flags, h.flags | Tarvo::kFlagTimeUpdating, __ATOMIC_RELEASE);
  __atomic_store_n(&h.monotonic, stamp, __ATOMIC_RELAXED);
  __atomic_store_n(&h.period_count, newCount, __ATOMIC_RELEASE);
  if (!mConfig.timeFlagStuck) {
    __atomic_store_n(&h.flags, h.flags & ~Tarvo::kFlagTimeUpdating, __ATOMIC_RELEASE);
  }
}

void StandInEngine::post() {
  if (mSem == nullptr) return;
  auto* sem = static_cast<sem_t*>(mSem);
  if (mConfig.postCap > 0) {
    int value = 0;
    if (sem_getvalue(sem, &value) == 0 && value >= static_cast<int>(mConfig.postCap)) return;
  }
  sem_post(sem);
  ++mPosts;
}

void StandInEngine::advance(unsigned periods, bool postEach) {
  if (mMain.base == nullptr || periods == 0) return;
  uint64_t p = header().period_count;
  for (unsigned k = 0; k < periods; ++k, ++p) {
    processPeriod(p);
    if (postEach) {
      publishTime(p + 1);
      post();
    }
  }
  if (!postEach) {
    publishTime(p);
    post();
  }
}

void StandInEngine::step(unsigned periods) { advance(periods, true); }
void StandInEngine::burst(unsigned periods) { advance(periods, false); }

void StandInEngine::rewind(uint64_t periods) {
  const uint64_t p = header().period_count;
  publishTime(p >= periods ? p - periods : 0);
}

void StandInEngine::reconfigure(const std::function<void(Tarvo::buffer_header&)>& change,
                                bool hold) {
  uint32_t count = header().reset_count;
  if (count % 2 == 0) setResetCount(count + 1);
  if (change) change(header());
  if (!hold) finishReconfigure();
}

void StandInEngine::finishReconfigure() {
  primeRings();
  uint32_t count = header().reset_count;
  if (count % 2 != 0) setResetCount(count + 1);
}

void StandInEngine::changeRate(uint32_t rate) {
  reconfigure([rate](Tarvo::buffer_header& h) { h.samplerate = rate; });
}

void StandInEngine::changeChannels(uint32_t tx, uint32_t rx) {
  reconfigure([tx, rx](Tarvo::buffer_header& h) {
    h.num_channels[Tarvo::kTx] = tx;
    h.num_channels[Tarvo::kRx] = rx;
  });
}

void StandInEngine::close(bool unlinkObjects) {
  if (mMain.base == nullptr) return;
  __atomic_store_n(&header().magic, 0u, __ATOMIC_RELEASE);
  post();
  if (unlinkObjects) {
    mUnlinked = true;
    shm_unlink(mMain.name.c_str());
    if (mConfig.split) {
      shm_unlink(mTx.name.c_str());
      shm_unlink(mRx.name.c_str());
    }
    if (mConfig.timing == Timing::Semaphore) sem_unlink(semaphoreName().c_str());
  }
}

void StandInEngine::reopen() {
  if (mMain.base == nullptr) return;
  __atomic_store_n(&header().magic, kMagic, __ATOMIC_RELEASE);
}

const std::vector<int32_t>& StandInEngine::capture(unsigned ch) const {
  static const std::vector<int32_t> kEmpty;
  return ch < mCapture.size() ? mCapture[ch] : kEmpty;
}

void StandInEngine::clearCapture() {
  for (auto& c : mCapture) c.clear();
}

uint64_t StandInEngine::lateSamples(unsigned ch) const { return ch < mLate.size() ? mLate[ch] : 0; }

uint64_t StandInEngine::lateSamplesTotal() const {
  uint64_t total = 0;
  for (uint64_t n : mLate) total += n;
  return total;
}

void StandInEngine::setCaptureFn(std::function<void(unsigned, const int32_t*, size_t)> fn) {
  mCaptureFn = std::move(fn);
}

uint64_t StandInEngine::periodCount() const {
  if (mMain.base == nullptr) return 0;
  return __atomic_load_n(&reinterpret_cast<const Tarvo::buffer_header*>(mMain.base)->period_count,
                         __ATOMIC_ACQUIRE);
}

int StandInEngine::createEmptySegment(const std::string& name, size_t size) {
  shm_unlink(name.c_str());
  int fd = shm_open(name.c_str(), O_CREAT | O_EXCL | O_RDWR, 0666);
  if (fd < 0) return errno;
  int err = 0;
  if (size > 0 && ftruncate(fd, static_cast<off_t>(size)) != 0) err = errno;
  ::close(fd);
  return err;
}

void StandInEngine::removeSegment(const std::string& name) { shm_unlink(name.c_str()); }

}  // namespace sim
