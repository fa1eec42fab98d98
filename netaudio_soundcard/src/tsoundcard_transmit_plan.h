// Where a playback work call puts the application's frames in the transmit rings.
//
// The engine takes the transmit positions of period P, [P x spp, (P+1) x spp), when it ends
// that period, and then publishes period_count P+1. A work call that sees count N writes the
// window of frames due for the periods it was given, which ends `lead` positions after N x spp.
// Every position of the window must still be ahead of the engine, so the lead is at least one
// engine period plus a margin; and a call that comes late (the engine has moved on since the
// periods were counted) must not write where the engine has taken already.
#pragma once

#include <cstdint>

namespace tsoundcard {

// Samples the transmit window ends ahead of the engine's position: 5 ms of audio where that
// leaves at least 1 ms beyond one engine period, else one engine period plus 1 ms (the engine's
// next period must find every position of the window written, with a margin for the wake-up).
// A fixed 5 ms lead would, at engine periods above 4 ms, put all but the last 5 ms of every
// period on positions the engine had taken already.
// Never more than the ring (a longer lead would wrap onto positions not taken yet); 0 for a
// ring of 0.
uint32_t transmitLeadSamples(uint32_t rate, uint32_t samplesPerPeriod, uint32_t samplesPerChannel);

// Leading positions of a window of `due` positions that the engine has taken already. The window
// ends `lead` positions after the position of the period count it was planned for (the count
// after this call's periods), and the engine stands `periodsPastCount` periods beyond that
// count now: usually 0, more when it moved on while the call was on its way. A call whose
// periods came in one late batch is behind with 0 as well, once due exceeds the lead. At most
// due.
uint64_t positionsBehindEngine(uint64_t periodsPastCount, uint32_t samplesPerPeriod, uint32_t lead,
                               uint64_t due);

// One playback work call over a window of `due` positions.
struct PlaybackBatch {
  uint64_t skipped = 0;  // leading positions written nothing (taken, or not yet played)
  uint64_t dropped = 0;  // frames of the application meant for taken positions: thrown away
  uint64_t frames = 0;   // frames then written from the first position after the skipped ones
  uint64_t pointerAdvance = 0;  // frames the ALSA hardware pointer moves
};

// `held`: frames the application has written and the buffer holds. `behind`: from
// positionsBehindEngine. `firstAfterStart`: the first work call since the ALSA start; it plays
// what the application wrote before the start at the end of the window (the leading positions
// stay empty, as before a sound card's first period), and the pointer moves by those frames
// only: an application whose start threshold is below one engine period is not left an
// underrun at every start. Any other call moves the pointer by the whole window, and its
// shortfall (held below due) is left to the buffer's underrun handling.
// Always skipped + frames == due: the ring head moves by the whole window.
PlaybackBatch planPlaybackBatch(uint64_t due, uint64_t behind, uint64_t held, bool firstAfterStart);

}  // namespace tsoundcard
