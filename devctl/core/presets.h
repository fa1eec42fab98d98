// The eight preset slots and the recall of a requested preset.
#pragma once

// Loads "/oem/app_preset1.json" .. "/oem/app_preset8.json" into the slots (start-up), removing
// first what saves of them cut short left beside them.
void LoadPresetSlots();

// Loads preset n's file into its slot again. False, with the slot as it was, when the file is
// missing or no JSON document (an enabled preset without a good file cannot be recalled).
bool ReloadPresetSlot(int n);

// Takes the pending preset and, when it is enabled, copies it into the live configuration:
// routing, phantom power and each channel's gain, mute, volume, mute and delay written to the
// hardware where they differ; links, groups and EQ selections copied; the selected Custom EQ
// memories copied and every band of channels 1-14 written; then one save. A disabled preset only
// saves; a number outside 1-8 is dropped. Each board write takes the configuration lock and sends
// what the record holds then. A failed save is sent to every control port as the failed-save line.
void RecallPendingPreset();
// The recall as the worker runs it: RecallPendingPreset with the audio-mute line raised, when a
// preset is pending.
void RunPendingRecall();
