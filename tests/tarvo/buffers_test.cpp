#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "sim/engine/StandInEngine.h"
#include "tarvo/TarvoBuffers.h"
#include "test_names.h"

namespace {

using sim::StandInEngine;
using tarvo_test::uniqueAreaName;

// Mappings of segment `name` in this process.
int mappingsOf(const std::string& name) {
  std::ifstream in("/proc/self/maps");
  std::string line;
  int count = 0;
  const std::string suffix = "/dev/shm/" + name;
  while (std::getline(in, line)) {
    if (line.size() >= suffix.size() &&
        line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0) {
      ++count;
    }
  }
  return count;
}

// True when the client's pointer and the engine's ring are the same memory: marks written by
// the engine at both ends of the ring are read back through the client pointer.
bool sameRing(const int32_t* client, int32_t* engineRing, uint32_t ringLength, int32_t mark) {
  if (client == nullptr) return false;
  const int32_t first = engineRing[0], last = engineRing[ringLength - 1];
  engineRing[0] = mark;
  engineRing[ringLength - 1] = ~mark;
  const bool same = client[0] == mark && client[ringLength - 1] == ~mark;
  engineRing[0] = first;
  engineRing[ringLength - 1] = last;
  return same;
}

TEST(BuffersConnect, ResultsTable) {
  const std::string area = uniqueAreaName();
  StandInEngine::Config cfg;
  cfg.name = area;
  StandInEngine engine(cfg);
  ASSERT_EQ(engine.create(), 0);

  const std::string empty = uniqueAreaName();
  ASSERT_EQ(StandInEngine::createEmptySegment(empty), 0);
  const std::string tiny = uniqueAreaName();
  ASSERT_EQ(StandInEngine::createEmptySegment(tiny, 0x40), 0);

  struct Case {
    std::string name;
    int expected;
    const char* what;
  } cases[] = {
      {"", EINVAL, "empty name"},
      {std::string(32, 'a'), EINVAL, "name over 31 characters"},
      {uniqueAreaName() + "missing", ENOENT, "no such area"},
      {empty, EAGAIN, "engine still setting up (size 0)"},
      {tiny, EAGAIN, "segment smaller than the header"},
      {area, 0, "a running engine"},
  };
  for (const Case& c : cases) {
    Tarvo::Buffers buffers;
    EXPECT_EQ(buffers.connect(c.name, false), c.expected) << c.what;
    EXPECT_EQ(buffers.isConnected(), c.expected == 0) << c.what;
    EXPECT_EQ(buffers.getHeader() != nullptr, c.expected == 0) << c.what;
  }
  StandInEngine::removeSegment(empty);
  StandInEngine::removeSegment(tiny);
}

TEST(BuffersConnect, SecondConnectKeepsFirstMapping) {
  StandInEngine::Config cfg;
  cfg.name = uniqueAreaName();
  StandInEngine engine(cfg);
  ASSERT_EQ(engine.create(), 0);
  Tarvo::Buffers buffers;
  ASSERT_EQ(buffers.connect(cfg.name, false), 0);
  const volatile Tarvo::buffer_header* header = buffers.getHeader();
  EXPECT_EQ(buffers.connect(cfg.name, false), EALREADY);
  EXPECT_EQ(buffers.getHeader(), header);
  EXPECT_EQ(header->magic, StandInEngine::kMagic);
  EXPECT_NE(buffers.getTarvoTxChannel(0), nullptr);
}

TEST(BuffersConnect, SplitBaseNameTooLongUnmapsMain) {
  StandInEngine::Config cfg;
  cfg.name = uniqueAreaName();
  cfg.name += std::string(30 - cfg.name.size(), 'x');  // 30 characters: "Tx" makes 32
  cfg.split = true;
  StandInEngine engine(cfg);
  ASSERT_EQ(engine.create(), 0);
  ASSERT_EQ(mappingsOf(cfg.name), 1);  // the engine's own

  Tarvo::Buffers buffers;
  EXPECT_EQ(buffers.connect(cfg.name, false), EINVAL);
  EXPECT_EQ(buffers.getHeader(), nullptr);
  EXPECT_FALSE(buffers.isConnected());
  EXPECT_EQ(mappingsOf(cfg.name), 1);
}

TEST(BuffersConnect, DisconnectIsHarmlessWhenRepeated) {
  Tarvo::Buffers buffers;
  buffers.disconnect();
  buffers.disconnect();
  EXPECT_EQ(buffers.getHeader(), nullptr);
  EXPECT_EQ(buffers.getTarvoTxChannel(0), nullptr);

  StandInEngine::Config cfg;
  cfg.name = uniqueAreaName();
  StandInEngine engine(cfg);
  ASSERT_EQ(engine.create(), 0);
  ASSERT_EQ(buffers.connect(cfg.name, false), 0);
  buffers.disconnect();
  buffers.disconnect();
  EXPECT_EQ(buffers.getHeader(), nullptr);
  EXPECT_EQ(buffers.getTimingObjectSubheader(), nullptr);
  EXPECT_EQ(buffers.getTxChannelCount(), 0u);
  EXPECT_EQ(buffers.connect(cfg.name, false), 0);
}

TEST(SharedMemoryErrors, MessageWritesErrorLineFirst) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(Tarvo::SharedMemory::getErrorMessage(0), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR is 0\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(Tarvo::SharedMemory::getErrorMessage(ENOENT), "No such file or directory");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR is 2\n");
}

// Every ring address the client computes equals the engine's, for both layouts, offsets,
// strides and channel counts; a sample written through a client pointer reaches the engine.
TEST(BuffersLayout, ChannelTablesMatchTheEngine) {
  struct Case {
    bool split;
    uint32_t txOffset, rxOffset, padding, tx, rx;
    StandInEngine::Timing timing;
  } cases[] = {
      {false, 0x100, 0, 0, 8, 8, StandInEngine::Timing::Semaphore},
      {false, 0x180, 0, 64, 1, 3, StandInEngine::Timing::NoSubheader},
      {false, 0x100, 0, 64, 0, 0, StandInEngine::Timing::Polling},
      {true, 0, 0, 0, 8, 8, StandInEngine::Timing::Semaphore},
      {true, 0x100, 0x200, 64, 8, 1, StandInEngine::Timing::Semaphore},
      {true, 0x100, 0x200, 0, 0, 2, StandInEngine::Timing::NoSubheader},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "split " << c.split << " offsets " << c.txOffset << "/" << c.rxOffset << " pad "
                 << c.padding << " tx " << c.tx << " rx " << c.rx);
    StandInEngine::Config cfg;
    cfg.name = uniqueAreaName();
    cfg.split = c.split;
    cfg.txOffset = c.txOffset;
    cfg.rxOffset = c.rxOffset;
    cfg.stridePadding = c.padding;
    cfg.txChannels = c.tx;
    cfg.rxChannels = c.rx;
    cfg.samplesPerChannel = 4800;
    cfg.timing = c.timing;
    StandInEngine engine(cfg);
    ASSERT_EQ(engine.create(), 0);

    Tarvo::Buffers buffers;
    ASSERT_EQ(buffers.connect(cfg.name, false), 0);
    ASSERT_EQ(buffers.getTxChannelCount(), c.tx);
    ASSERT_EQ(buffers.getRxChannelCount(), c.rx);
    EXPECT_EQ(buffers.getTimingObjectSubheader() == nullptr,
              c.timing == StandInEngine::Timing::NoSubheader);
    for (unsigned i = 0; i < c.tx; ++i) {
      EXPECT_TRUE(sameRing(buffers.getTarvoTxChannel(i), engine.txRing(i), 4800, 100 + i))
          << "tx " << i;
    }
    for (unsigned i = 0; i < c.rx; ++i) {
      EXPECT_TRUE(sameRing(buffers.getTarvoRxChannel(i), engine.rxRing(i), 4800, 200 + i))
          << "rx " << i;
    }
    EXPECT_EQ(buffers.getTarvoTxChannel(c.tx), nullptr);
    EXPECT_EQ(buffers.getTarvoRxChannel(c.rx), nullptr);
    if (c.tx > 0) {
      buffers.getTarvoTxChannel(c.tx - 1)[5] = 1234;
      EXPECT_EQ(engine.txRing(c.tx - 1)[5], 1234);
    }
    if (c.rx > 0) {
      // Primed with the pattern for the positions before the start.
      engine.step(1);
      EXPECT_EQ(buffers.getTarvoRxChannel(c.rx - 1)[7], StandInEngine::rxPattern(c.rx - 1, 7));
    }
  }
}

// The client's struct reads the bytes the engine put at the raw offsets.
TEST(BuffersLayout, HeaderFieldsAtTheirByteOffsets) {
  StandInEngine::Config cfg;
  cfg.name = uniqueAreaName();
  StandInEngine engine(cfg);
  ASSERT_EQ(engine.create(), 0);
  Tarvo::Buffers buffers;
  ASSERT_EQ(buffers.connect(cfg.name, false), 0);
  const volatile Tarvo::buffer_header* h = buffers.getHeader();
  uint8_t* raw = engine.mainBase();
  auto put32 = [raw](size_t offset, uint32_t v) { memcpy(raw + offset, &v, 4); };
  auto put64 = [raw](size_t offset, uint64_t v) { memcpy(raw + offset, &v, 8); };
  put32(0x00, 0xA1B2C3D4);
  put32(0x04, 0x11);
  put32(0x08, 0x22);
  put32(0x0C, 0x10001);
  put32(0x10, 0x33);
  put32(0x14, 0x44);
  put32(0x18, 0x55);
  put32(0x1C, 0x66);
  put32(0x20, 44100);
  put32(0x24, 24);
  put32(0x28, 0x77);
  put32(0x2C, 0x88);
  put32(0x30, 0x99);
  put32(0x34, 0xAA);
  put32(0x40, 0xBB);
  put32(0x44, 0xCC);
  put32(0x48, 0xDD);
  put64(0x50, 0x0123456789ABCDEFULL);
  put32(0x58, 0xEE);
  put64(0x60, 0xFEDCBA9876543210ULL);
  EXPECT_EQ(h->magic, 0xA1B2C3D4u);
  EXPECT_EQ(h->buffer_length, 0x11u);
  EXPECT_EQ(h->header_length, 0x22u);
  EXPECT_EQ(h->flags, 0x10001u);
  EXPECT_EQ(h->channel0_offset_bytes[0], 0x33u);
  EXPECT_EQ(h->channel0_offset_bytes[1], 0x44u);
  EXPECT_EQ(h->timing_object_offset_bytes, 0x55u);
  EXPECT_EQ(h->reset_count, 0x66u);
  EXPECT_EQ(h->samplerate, 44100u);
  EXPECT_EQ(h->encoding, 24u);
  EXPECT_EQ(h->samples_per_channel, 0x77u);
  EXPECT_EQ(h->bytes_per_channel, 0x88u);
  EXPECT_EQ(h->num_channels[0], 0x99u);
  EXPECT_EQ(h->num_channels[1], 0xAAu);
  EXPECT_EQ(h->epoch[0], 0xBBu);
  EXPECT_EQ(h->epoch[1], 0xCCu);
  EXPECT_EQ(h->samples_per_period, 0xDDu);
  EXPECT_EQ(h->period_count, 0x0123456789ABCDEFULL);
  EXPECT_EQ(h->clock_drift_ppb, 0xEEu);
  EXPECT_EQ(h->monotonic, 0xFEDCBA9876543210ULL);
}

// Layouts that do not fit the mapping leave the tables empty instead of pointing outside it.
TEST(BuffersLayout, HostileLayoutsAreRefused) {
  struct Case {
    const char* what;
    void (*change)(Tarvo::buffer_header&);
  } cases[] = {
      {"more tx channels than the segment holds",
       [](Tarvo::buffer_header& h) { h.num_channels[0] = 1000; }},
      {"huge rx count", [](Tarvo::buffer_header& h) { h.num_channels[1] = 0xFFFFFFFF; }},
      {"stride beyond the segment", [](Tarvo::buffer_header& h) { h.bytes_per_channel *= 100; }},
      {"rings overlap", [](Tarvo::buffer_header& h) { h.bytes_per_channel = 16; }},
      {"ring longer than the segment",
       [](Tarvo::buffer_header& h) { h.samples_per_channel = 1u << 30; }},
      {"ring length 0", [](Tarvo::buffer_header& h) { h.samples_per_channel = 0; }},
      // Layouts that fit the mapping but cannot carry a sample.
      {"period 0", [](Tarvo::buffer_header& h) { h.samples_per_period = 0; }},
      {"rate 0", [](Tarvo::buffer_header& h) { h.samplerate = 0; }},
      {"period longer than the ring",
       [](Tarvo::buffer_header& h) { h.samples_per_period = h.samples_per_channel + 1; }},
      {"offset beyond the segment",
       [](Tarvo::buffer_header& h) { h.channel0_offset_bytes[1] = 0xFFFFFF00; }},
      {"split flag appears", [](Tarvo::buffer_header& h) { h.flags |= Tarvo::kFlagSplitLayout; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StandInEngine::Config cfg;
    cfg.name = uniqueAreaName();
    StandInEngine engine(cfg);
    ASSERT_EQ(engine.create(), 0);
    Tarvo::Buffers buffers;
    ASSERT_EQ(buffers.connect(cfg.name, false), 0);
    ASSERT_EQ(buffers.getTxChannelCount(), 8u);
    engine.reconfigure(c.change);
    EXPECT_FALSE(buffers.refresh());
    EXPECT_EQ(buffers.getTxChannelCount(), 0u);
    EXPECT_EQ(buffers.getTarvoTxChannel(0), nullptr);
    EXPECT_EQ(buffers.getTarvoRxChannel(0), nullptr);
    // A fresh connection to a hostile header holds no rings (the split case has no Tx
    // segment to map at all).
    Tarvo::Buffers second;
    const int err = second.connect(cfg.name, false);
    EXPECT_TRUE(err == 0 || err == ENOENT) << err;
    EXPECT_EQ(second.getTarvoTxChannel(0), nullptr);
  }
}

TEST(BuffersLayout, RefreshFollowsAGrownChannelCount) {
  StandInEngine::Config cfg;
  cfg.name = uniqueAreaName();
  cfg.txChannels = 2;
  cfg.rxChannels = 2;
  cfg.maxChannels = 16;
  StandInEngine engine(cfg);
  ASSERT_EQ(engine.create(), 0);
  Tarvo::Buffers buffers;
  ASSERT_EQ(buffers.connect(cfg.name, false), 0);
  ASSERT_EQ(buffers.getTxChannelCount(), 2u);
  engine.changeChannels(16, 4);
  ASSERT_TRUE(buffers.refresh());
  EXPECT_EQ(buffers.getTxChannelCount(), 16u);
  EXPECT_EQ(buffers.getRxChannelCount(), 4u);
  EXPECT_TRUE(sameRing(buffers.getTarvoTxChannel(15), engine.txRing(15), 4096, 7));
}

TEST(BuffersLayout, UnterminatedTimingNameStaysInsideTheMapping) {
  StandInEngine::Config cfg;
  cfg.name = uniqueAreaName();
  StandInEngine engine(cfg);
  ASSERT_EQ(engine.create(), 0);
  // Subheader placed so that its name runs to the very end of the segment without a NUL.
  const uint32_t offset = static_cast<uint32_t>(engine.mainSize() - 16);
  memset(engine.mainBase() + offset, 'n', 16);
  const uint32_t type = 1;
  memcpy(engine.mainBase() + offset + 4, &type, 4);
  engine.header().timing_object_offset_bytes = offset;
  Tarvo::Buffers buffers;
  ASSERT_EQ(buffers.connect(cfg.name, false), 0);
  ASSERT_NE(buffers.getTimingObjectSubheader(), nullptr);
  EXPECT_EQ(buffers.getTimingObjectNameCapacity(), 8u);

  engine.header().timing_object_offset_bytes = static_cast<uint32_t>(engine.mainSize() - 4);
  EXPECT_TRUE(buffers.refresh());
  EXPECT_EQ(buffers.getTimingObjectSubheader(), nullptr);
}

}  // namespace

namespace {

// Random header values (biased to the edges) through refresh(): every ring the tables hold
// lies inside the mapping, and reading both its ends is safe.
TEST(BuffersLayout, RandomHeadersNeverPointOutsideTheMapping) {
  StandInEngine::Config cfg;
  cfg.name = uniqueAreaName();
  StandInEngine engine(cfg);
  ASSERT_EQ(engine.create(), 0);
  Tarvo::Buffers buffers;
  ASSERT_EQ(buffers.connect(cfg.name, false), 0);
  const uint8_t* base = reinterpret_cast<const uint8_t*>(
      const_cast<const Tarvo::buffer_header*>(buffers.getHeader()));
  const uint64_t size = engine.mainSize();
  Tarvo::buffer_header& h = engine.header();
  const Tarvo::buffer_header original = h;

  uint64_t seed = 0x9E3779B97F4A7C15ULL;
  auto next = [&seed] {
    seed ^= seed << 13;
    seed ^= seed >> 7;
    seed ^= seed << 17;
    return seed;
  };
  auto pick = [&](uint32_t usual) -> uint32_t {
    switch (next() % 6) {
      case 0:
        return 0;
      case 1:
        return 0xFFFFFFFFu - uint32_t(next() % 8);
      case 2:
        return uint32_t(next());
      case 3:
        return usual + uint32_t(next() % 64) - 32;
      case 4:
        return uint32_t(next() % (size + 64));
      default:
        return usual;
    }
  };
  unsigned accepted = 0;
  for (int round = 0; round < 20000; ++round) {
    h = original;
    h.channel0_offset_bytes[0] = pick(original.channel0_offset_bytes[0]);
    h.channel0_offset_bytes[1] = pick(original.channel0_offset_bytes[1]);
    h.num_channels[0] = pick(original.num_channels[0]);
    h.num_channels[1] = pick(original.num_channels[1]);
    h.bytes_per_channel = pick(original.bytes_per_channel);
    h.samples_per_channel = pick(original.samples_per_channel);
    h.timing_object_offset_bytes = pick(original.timing_object_offset_bytes);
    if (!buffers.refresh()) continue;
    ++accepted;
    const uint64_t ringBytes = uint64_t{h.samples_per_channel} * 4;
    for (unsigned d = 0; d < 2; ++d) {
      const unsigned count = d == 0 ? buffers.getTxChannelCount() : buffers.getRxChannelCount();
      ASSERT_EQ(count, h.num_channels[d]);
      for (unsigned i = 0; i < count; ++i) {
        const uint8_t* ring = reinterpret_cast<const uint8_t*>(
            d == 0 ? buffers.getTarvoTxChannel(i) : buffers.getTarvoRxChannel(i));
        ASSERT_GE(ring, base);
        ASSERT_LE(uint64_t(ring - base) + ringBytes, size) << "round " << round;
        volatile int32_t first = reinterpret_cast<const int32_t*>(ring)[0];
        volatile int32_t last = reinterpret_cast<const int32_t*>(ring)[h.samples_per_channel - 1];
        (void)first;
        (void)last;
      }
    }
    if (buffers.getTimingObjectSubheader() != nullptr) {
      const uint8_t* sub = reinterpret_cast<const uint8_t*>(
          const_cast<const Tarvo::timing_object_subheader*>(buffers.getTimingObjectSubheader()));
      ASSERT_LE(
          uint64_t(sub - base) + Tarvo::kSubheaderFixedSize + buffers.getTimingObjectNameCapacity(),
          size);
    }
  }
  EXPECT_GT(accepted, 100u);  // the walk also reached layouts that fit
}

}  // namespace
