// The stand-in network-audio engine: creates the shared-memory area and the period semaphore by
// name, fills the header, writes a checkable receive pattern, takes what clients write to the
// transmit rings, and advances the period counter when told to. Tests drive it step by step;
// the tarvo_engine program drives it in real time.
//
// Per period P (step): receive rings get positions [P x spp, (P+1) x spp) mod spc; transmit
// samples at the same positions are captured, checked for the poison value (a sample the
// client did not write in time), and treated by the TxAfter policy; then the time fields and
// period_count = P+1 are stored and the semaphore is posted.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tarvo/TarvoHeader.h"

namespace sim {

class StandInEngine {
 public:
  // Written into transmit rings where no client sample is expected yet.
  static constexpr int32_t kPoison = 0x7FFFFF5A;
  static constexpr uint32_t kMagic = 0x54415256;  // "TARV"

  enum class Timing {
    Semaphore,         // object_type 1, "<name>_period", posted once per period
    Polling,           // object_type 0
    OtherType,         // object_type 2
    MissingSemaphore,  // object_type 1 naming a semaphore that does not exist
    NoSubheader,       // timing_object_offset_bytes 0
  };
  enum class TxAfter { Poison, Zero, Keep };
  enum class RxContent { Pattern, Sine, Silence, Loop };

  struct Config {
    std::string name = Tarvo::kDefaultAreaName;
    bool split = false;
    uint32_t txChannels = 8;
    uint32_t rxChannels = 8;
    uint32_t samplerate = 48000;
    uint32_t encoding = 32;
    uint32_t samplesPerChannel = 4096;
    uint32_t samplesPerPeriod = 48;
    uint32_t stridePadding = 0;  // bytes between rings of one direction
    uint32_t txOffset = 0x100;   // channel0_offset_bytes[0]
    uint32_t rxOffset = 0x200;   // channel0_offset_bytes[1] (split layout; single: after tx)
    uint64_t startPeriodCount = 0;
    Timing timing = Timing::Semaphore;
    TxAfter txAfter = TxAfter::Poison;
    RxContent rx = RxContent::Pattern;
    bool captureTx = true;  // keep consumed transmit samples in memory
    uint32_t postCap = 0;   // skip a post while the semaphore value is >= postCap (0: never)
    // The engine's clock runs this many parts per million fast against CLOCK_MONOTONIC_RAW:
    // `monotonic` is stamped accordingly and clock_drift_ppb reports it.
    int32_t driftPpm = 0;
    // flags bit 16 (time fields being updated) is never cleared.
    bool timeFlagStuck = false;
    // Room reserved for later reconfigurations (0: the initial value).
    uint32_t maxChannels = 0;
    uint32_t maxSamplesPerChannel = 0;
  };

  explicit StandInEngine(Config config);
  // Removes the segments and the semaphore (magic 0 first, for clients that still map them).
  ~StandInEngine();
  StandInEngine(const StandInEngine&) = delete;
  StandInEngine& operator=(const StandInEngine&) = delete;

  // Creates the area (removing stale objects of the same names first) and fills it. 0 or errno.
  int create();
  // Clears magic, unmaps and removes every object; harmless when repeated.
  void destroy();
  // Ends like a killed engine: unmaps without clearing magic and leaves the names behind (a
  // new engine of the same name replaces them).
  void abandon();

  // Advances `periods` periods one by one, each with its own post.
  void step(unsigned periods = 1);
  // Advances `periods` periods at once with a single post: the client sees one batch.
  void burst(unsigned periods);
  // Moves period_count back without a reset.
  void rewind(uint64_t periods);

  // Makes reset_count odd, lets `change` edit the header, then makes it even again unless hold
  // is set (finishReconfigure() ends a held one). Rings are re-primed with the layout change.
  // Nothing is posted: clients notice at their next period (step) or wait timeout.
  void reconfigure(const std::function<void(Tarvo::buffer_header&)>& change, bool hold = false);
  void finishReconfigure();
  // Changes of the layout through reconfigure: rate, channel counts.
  void changeRate(uint32_t rate);
  void changeChannels(uint32_t tx, uint32_t rx);

  // magic = 0 (clients end their loops); with unlinkObjects the names are removed too.
  void close(bool unlinkObjects = false);
  // magic non-zero again (after close without unlink).
  void reopen();

  // Raw access for tests that need a hostile header.
  Tarvo::buffer_header& header();
  uint8_t* mainBase() { return mMain.base; }
  size_t mainSize() const { return mMain.size; }
  const Config& config() const { return mConfig; }
  std::string semaphoreName() const;

  // What clients wrote: every consumed transmit sample of channel ch since create (poison
  // where nothing was written in time).
  const std::vector<int32_t>& capture(unsigned ch) const;
  void clearCapture();
  // Transmit samples a client left unwritten between two written ones, per channel.
  uint64_t lateSamples(unsigned ch) const;
  uint64_t lateSamplesTotal() const;
  // Called with every consumed stretch of a channel (the program streams captures to files).
  void setCaptureFn(std::function<void(unsigned ch, const int32_t* samples, size_t n)> fn);
  uint64_t periodCount() const;
  uint64_t posts() const { return mPosts; }

  // The receive pattern: channel and absolute sample index, invertible.
  static int32_t rxPattern(unsigned ch, uint64_t absoluteIndex);
  // Transmit ring pointer as the engine sees it.
  int32_t* txRing(unsigned ch);
  int32_t* rxRing(unsigned ch);

  // Makes an empty (size 0) segment `name`, for tests of the not-yet-set-up case.
  static int createEmptySegment(const std::string& name, size_t size = 0);
  static void removeSegment(const std::string& name);

 private:
  struct Segment {
    std::string name;  // current name (temporary until published)
    std::string finalName;
    uint8_t* base = nullptr;
    size_t size = 0;
  };

  int createSegment(Segment& segment, const std::string& name, size_t size);
  int publishSegment(Segment& segment);
  void releaseSegment(Segment& segment, bool unlinkName);
  void fillHeader();
  void primeRings();
  void advance(unsigned periods, bool postEach);
  void processPeriod(uint64_t period);
  void publishTime(uint64_t newCount);
  void post();
  void setResetCount(uint32_t value);

  Config mConfig;
  Segment mMain;
  Segment mTx;
  Segment mRx;
  void* mSem = nullptr;  // sem_t*
  uint32_t mTxOffset = 0;
  uint32_t mRxOffset = 0;
  uint32_t mStride = 0;
  std::vector<std::vector<int32_t>> mCapture;
  std::vector<uint64_t> mLate;
  std::vector<uint64_t> mPendingPoison;
  std::vector<bool> mWritten;
  std::vector<std::vector<int32_t>> mLoopBuffer;
  std::function<void(unsigned, const int32_t*, size_t)> mCaptureFn;
  uint64_t mPosts = 0;
  uint64_t mClockOrigin = 0;
  bool mCreated = false;
  bool mUnlinked = false;
};

}  // namespace sim
