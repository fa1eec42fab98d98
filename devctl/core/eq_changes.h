// Equaliser changes as every control path makes them (text commands, web commands): the EQ
// memories, memory selections and EQ locks of the configuration record, the biquads of the DSPs,
// and the "[SUCCESS]"/"[ERROR]" lines that report them. Callers hold the configuration lock, check
// the ranges, send the lines and save when a function reports a change.
//
// Slots are 0-17 per side (EQ_SIDE_INPUT / EQ_SIDE_OUTPUT): 0-3 analogue CH1-CH4, 4-11 Tarvo
// CH1-CH8, 12 USB left, 13 USB right (the DSP channels), 14-17 the groups (configuration only,
// never sent). Slots (0,1) .. (12,13) are the stereo pairs; a pair is EQ-locked when the
// input_stereo/output_stereo flag of either slot is set. Memories: 0 Flat, 1 Custom1, 2 Custom2.
//
// A channel changed by its own slot leaves every group of its side; group members keep their
// membership. The text and the web commands differ in a few rules and words; `EqCaller` names
// which set applies, and each function lists what it changes.
#pragma once

#include <string>

#include "devctl/core/app_config.h"

// Which command set's rules apply.
enum class EqCaller { kText, kWeb };

constexpr int kAllEqSlots = -1;  // every slot of the side (text commands with channel 0)
constexpr int kAllEqBands = -1;  // the eight bands, 0 to 7 in order

// The values a band edit writes.
struct EqBandValues {
  int type = 0;            // DspEqType 0-4
  std::string type_name;   // stored as given, cut to 31 characters
  int frequency = 0;       // Hz
  float gain = 0.0f;       // dB
  float quality = 0.0f;
};

// Writes values into band (0-7 or kAllEqBands) of slot and sends each written band.
// - kAllEqSlots (text): every slot on Custom1/Custom2 in its own memory; "all Flat" refuses.
// - group: the group slot in its own memory when custom, then every member in its own memory;
//   a member on Flat gets its refusal line (kWeb: the web's wording, "intput").
// - a single channel: kText writes its selected memory and refuses Flat; kWeb writes
//   `web_memory` (the request's, whatever the slot plays; Flat writes nothing but reports).
// - an EQ-locked pair: the second slot takes the first's selection; band by band first then
//   second; kText refuses Flat, kWeb reports it without writing.
// Returns whether the record changed: true when the band was written; after a refusal, true only
// when the group removal or the selection copy (which stay) changed it.
bool SetEqBand(int side, int slot, int band, const EqBandValues& values, int web_memory,
               EqCaller caller, std::string& lines);

// Selects memory (0-2) for slot (or kAllEqSlots, text) and loads it into the DSP: a group slot
// and its members; a pair both channels (kText: one line, bands interleaved; kWeb: one channel
// after the other, a line each).
void SelectEqMemory(int side, int slot, int memory, EqCaller caller, std::string& lines);

// Sets (locked true) or clears the EQ lock of the pair of slot. Locking copies the first
// channel's bands into the second and sends them:
// - kText, slot 0-13: the second channel's own memory, Flat included, selection unchanged;
// - kText, kAllEqSlots: every pair; a second channel on Flat is resent without copying;
// - kWeb, slot 0-13: the second takes the first's selection; Flat resends its own Flat bands;
// - kWeb, slot 14-17: the group slot's own flag only.
void SetEqLock(int side, int slot, bool locked, EqCaller caller, std::string& lines);

// Switches band (0-7 or kAllEqBands) on (1) or off (0) in the selected memory and resends it.
// kText: every memory, Flat included; the group slot is left alone; kAllEqSlots every slot.
// kWeb: Flat targets write nothing (members on Flat get their refusal line); the group slot's
// own custom memory is switched too.
void SetEqBandSwitch(int side, int slot, int band, int on, EqCaller caller, std::string& lines);

// Text clear: puts the selected custom memory of slot (or kAllEqSlots) back to the default bands
// and sends them; Flat memories never change (kAllEqSlots resends them). An output channel always
// clears its whole pair and sets the pair's EQ lock.
void ClearEqMemory(int side, int slot, std::string& lines);

// Web reset: selects memory (0-2) for the target and, for a custom memory, puts it back to the
// default bands and sends them; selecting Flat loads the Flat memory into the DSP.
void ResetEqMemory(int side, int slot, int memory, std::string& lines);

// Remembers slot (0-17) as the channel the web EQ editor of side shows.
void SelectEqEditorSlot(int side, int slot);
