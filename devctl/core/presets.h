// The eight preset slots and the recall of a preset: its settings taken into the live record at
// once, its board writes made later by the power and preset worker.
#pragma once

#include "devctl/core/unit_state.h"

// Loads "/oem/app_preset1.json" .. "/oem/app_preset8.json" into the slots (start-up), removing
// first what saves of them cut short left beside them.
void LoadPresetSlots();

// Loads preset n's file into its slot again. False, with the slot as it was, when the file is
// missing or no JSON document (an enabled preset without a good file cannot be recalled).
bool ReloadPresetSlot(int n);

// Copies enabled preset n (1-8) from its slot into the live record of unit: routing, phantom power
// and each channel's gain, mute, volume, mute and delay; links, groups and EQ selections; the
// selected Custom EQ memories. Call with the configuration lock held: the recall takes its place
// among the changes like any command, and the caller's save covers it. The board writes it calls
// for (the settings that differed, and every band of channels 1-14) wait for RunPendingRecall.
// False, with nothing changed, for a disabled preset or a number outside 1-8.
bool RecallPresetIntoRecord(UnitState& unit, int n);

// Whether recalled settings still wait for their board writes.
bool RecallWritesPending();

// The audible part of the recalls made since the last run, as the power and preset worker runs
// it: with the audio-mute line raised, the board writes they called for, each setting once and
// in the order a recall makes them, each under the lock with what the live record holds then (a
// command made after the recall is what the board ends with). The line is then left as the power
// state holds it: raised when audio_mute_held (standby), else released. Nothing when none is
// waiting.
void RunPendingRecall(bool audio_mute_held);
