// Where a playback work call puts the application's frames: the transmit lead, the positions a
// late call finds taken, and the first call after a start.
#include <gtest/gtest.h>

#include <cstdint>

#include "netaudio_soundcard/src/tsoundcard_transmit_plan.h"

namespace {

using tsoundcard::PlaybackBatch;
using tsoundcard::planPlaybackBatch;
using tsoundcard::positionsBehindEngine;
using tsoundcard::transmitLeadSamples;

TEST(TransmitLead, FiveMillisecondsUnlessThePeriodNeedsMore) {
  struct Case {
    uint32_t rate, spp, spc, lead;
  } cases[] = {
      {48000, 48, 4096, 240},      // 5 ms leaves 4 ms beyond the period
      {48000, 192, 4096, 240},     // exactly 1 ms beyond
      {48000, 193, 4096, 241},     // period + 1 ms
      {48000, 4800, 48000, 4848},  // 100 ms periods
      {44100, 4410, 44100, 4454},
      {48000, 480, 500, 500},      // never beyond the ring
      {48000, 48, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(transmitLeadSamples(c.rate, c.spp, c.spc), c.lead)
        << c.rate << " Hz, " << c.spp << " per period, ring " << c.spc;
  }
}

// The window ends `lead` after the counted period's position; the engine takes everything
// below its own position.
TEST(TransmitPlan, LateCallsSkipTakenPositionsAndFirstCallsPlayWhatIsBuffered) {
  struct Case {
    const char* what;
    uint64_t periodsPast;
    uint32_t spp, lead;
    uint64_t due, held;
    bool first;
    PlaybackBatch expected;  // skipped, dropped, frames, pointer
  } cases[] = {
      {"one period in time", 0, 48, 240, 48, 1000, false, {0, 0, 48, 48}},
      {"a batch within the lead", 0, 48, 240, 240, 1000, false, {0, 0, 240, 240}},
      {"a batch beyond the lead", 0, 48, 240, 288, 1000, false, {48, 48, 240, 288}},
      {"engine a period on, still within the lead", 1, 48, 240, 48, 1000, false, {0, 0, 48, 48}},
      {"engine past the whole window", 5, 48, 240, 48, 1000, false, {48, 48, 0, 48}},
      {"long period in time", 0, 4800, 4848, 4800, 38400, false, {0, 0, 4800, 4800}},
      {"long period, engine a period on", 1, 4800, 4848, 4800, 38400, false,
       {4752, 4752, 48, 4800}},
      {"underrun left to the buffer", 0, 4800, 4848, 4800, 100, false, {0, 0, 4800, 4800}},
      {"first call, less than a period written", 0, 4800, 4848, 4800, 192, true,
       {4608, 0, 192, 192}},
      {"first call, nothing written", 0, 4800, 4848, 4800, 0, true, {4800, 0, 0, 0}},
      {"first call, more than a period written", 0, 4800, 4848, 4800, 9600, true,
       {0, 0, 4800, 4800}},
      {"first call, late into the written frames", 0, 48, 240, 480, 300, true,
       {240, 60, 240, 300}},
      {"first call, late but only into empty positions", 0, 48, 240, 480, 200, true,
       {280, 0, 200, 200}},
      {"hostile period count", UINT64_MAX, 48, 240, 48, 1000, false, {48, 48, 0, 48}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const uint64_t behind = positionsBehindEngine(c.periodsPast, c.spp, c.lead, c.due);
    const PlaybackBatch got = planPlaybackBatch(c.due, behind, c.held, c.first);
    EXPECT_EQ(got.skipped, c.expected.skipped);
    EXPECT_EQ(got.dropped, c.expected.dropped);
    EXPECT_EQ(got.frames, c.expected.frames);
    EXPECT_EQ(got.pointerAdvance, c.expected.pointerAdvance);
    EXPECT_EQ(got.skipped + got.frames, c.due) << "the ring head must move by the whole window";
  }
}

}  // namespace
