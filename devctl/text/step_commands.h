// The frame the raise and lower commands share ("IN xx GAIN+yy", "OUT xx VOL-yy"): a step that
// was not read is one step; the channel number (0 all, 1-14 a channel, 15-18 a group) and the
// step (1-10) are checked, then the change of the addressed unit runs.
#pragma once

#include <string>

#include "devctl/core/app_config.h"
#include "devctl/core/level_step.h"

// The core changes one step command makes, by what it addresses.
struct StepChanges {
  void (*all)(app_config_s& config, const LevelStep& step, std::string& lines);
  void (*group)(app_config_s& config, int g, const LevelStep& step, std::string& lines);  // 0-3
  // c: DSP index 0-13
  void (*channel)(app_config_s& config, int c, const LevelStep& step, std::string& lines);
};

// Runs the step command of the condensed line "<prefix>xx<word>+yy" (kUp) or "<prefix>xx<word>-yy"
// (kDown). A raise reads channel and step in one scan, so a missing channel leaves the step unread;
// a lower reads the step from the text after the first "<word>-". Out of range, appends the range
// error naming refused ("Increase input gain") and returns false.
bool RunStepCommand(const StepChanges& changes, LevelStep::Direction direction, const char* line,
                    const char* prefix, const char* word, const char* refused, std::string& reply);
