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
// membership. Where the two command sets differ, the caller's EqRules say how (each front end
// defines its value beside its commands); each function lists what it changes.
#pragma once

#include <string>

#include "devctl/core/app_config.h"

// How an EQ-locked pair loads a newly selected memory.
enum class PairLoad {
  kBandByBand,        // band 0 of the first, band 0 of the second, ...; one line for the pair
  kChannelByChannel,  // the first channel's eight bands, then the second's; a line each
};

// What locking a pair does with the second channel's EQ.
enum class PairLock {
  // It keeps its selection and gets the first channel's bands of that memory, Flat included
  // (all pairs at once: a second channel on Flat is resent as it is).
  kCopyIntoOwnMemory,
  // It takes the first channel's selection; a custom memory is copied, Flat is resent.
  kFollowFirst,
};

// The rules in which the EQ commands of the front ends differ.
struct EqRules {
  // A band edit of a channel or an EQ-locked pair on Flat: refused with an error line (true), or
  // reported while nothing is written (false).
  bool refuses_flat_edit;
  // A band switch switches Flat memories as well (true); otherwise Flat stays as it is and a
  // group member on Flat gets its refusal line.
  bool switches_flat;
  // A band switch on a group also switches the group slot's own custom memory and reports each
  // member (true); otherwise it switches the members only, with the group's line alone.
  bool switches_whole_group;
  PairLoad pair_load;
  PairLock pair_lock;

  // Words of the lines.
  const char* flat_analogue_input;  // label of an analogue input in the Flat refusal line
  bool usb_switch_side_last;        // band switch lines name "USB left input", not "USB input left"
  const char* unlocked;             // ending of an unlocked pair's or group's line
  const char* locked_output_pair;   // ending of a locked analogue or Tarvo output pair's line
  bool usb_lock_by_channel;         // a USB pair's lock line names the addressed channel
};

constexpr int kAllEqSlots = -1;        // every slot of the side
constexpr int kAllEqBands = -1;        // the eight bands, 0 to 7 in order
constexpr int kSelectedEqMemory = -1;  // the memory the channel plays

// The values a band edit writes.
struct EqBandValues {
  int type = 0;           // DspEqType 0-4
  std::string type_name;  // stored as given, cut to 31 characters
  int frequency = 0;      // Hz
  float gain = 0.0f;      // dB
  float quality = 0.0f;
};

// Writes values into band (0-7 or kAllEqBands) of slot and sends each written band.
// - kAllEqSlots: every slot on Custom1/Custom2 in its own memory; "all Flat" refuses.
// - group: the group slot in its own memory when custom, then every member in its own memory;
//   a member on Flat gets its refusal line.
// - a single channel: memory (0-2, or kSelectedEqMemory); Flat writes nothing and is refused or
//   reported as rules.refuses_flat_edit says.
// - an EQ-locked pair: the second slot takes the first's selection; band by band first then
//   second; Flat as for a single channel.
// Returns whether the record changed: true when the band was written; after a refusal, true only
// when the group removal or the selection copy (which stay) changed it.
bool SetEqBand(app_config_s& config, int side, int slot, int band, const EqBandValues& values,
               int memory, const EqRules& rules, std::string& lines);

// Selects memory (0-2) for slot (or kAllEqSlots) and loads it into the DSP: a group slot and its
// members; a pair both channels, as rules.pair_load says.
void SelectEqMemory(app_config_s& config, int side, int slot, int memory, const EqRules& rules,
                    std::string& lines);

// Sets (locked true) or clears the EQ lock of the pair of slot, of every pair (kAllEqSlots), or
// the flag of a group slot. Locking a pair copies the first channel's bands into the second and
// sends them, as rules.pair_lock says.
void SetEqLock(app_config_s& config, int side, int slot, bool locked, const EqRules& rules,
               std::string& lines);

// Switches band (0-7 or kAllEqBands) on (1) or off (0) in the selected memory and resends it, for
// slot, a group with its members, or every slot (kAllEqSlots); rules.switches_flat and
// rules.switches_whole_group say what a Flat memory and a group slot take.
void SetEqBandSwitch(app_config_s& config, int side, int slot, int band, int on,
                     const EqRules& rules, std::string& lines);

// Text clear: puts the selected custom memory of slot (or kAllEqSlots) back to the default bands
// and sends them; Flat memories never change (kAllEqSlots resends them). An output channel always
// clears its whole pair and sets the pair's EQ lock.
void ClearEqMemory(app_config_s& config, int side, int slot, std::string& lines);

// Web reset: selects memory (0-2) for the target and, for a custom memory, puts it back to the
// default bands and sends them; selecting Flat loads the Flat memory into the DSP.
void ResetEqMemory(app_config_s& config, int side, int slot, int memory, std::string& lines);

// Remembers slot (0-17) as the channel the web EQ editor of side shows.
void SelectEqEditorSlot(app_config_s& config, int side, int slot);
