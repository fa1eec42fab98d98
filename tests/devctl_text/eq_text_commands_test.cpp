#include "devctl/text/eq_commands.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "devctl/core/config_file.h"
#include "devctl/core/unit_state.h"
#include "devctl/text/dispatcher.h"
#include "tests/support/eq_design.h"
#include "tests/support/text_commands.h"

namespace {

using eqtest::LoadOf;
using eqtest::Order;
using eqtest::PlaysRecord;
using eqtest::WordsAre;

constexpr int kIn = EQ_SIDE_INPUT;
constexpr int kOut = EQ_SIDE_OUTPUT;
const std::vector<uint32_t> kPassThrough = {0, 0, 0x01000000, 0, 0};
const std::string kFlatTail =
    " equalizer is flat mode now, setting invalid. (This error is if EQ is set to flat and not "
    "custom mode)\r\n";

class EqTextTest : public testsupport::TextCommandFixture {
 protected:
  // The reply lines to line with its line end added.
  std::string Run(std::string line) { return TextCommandFixture::Run(line + "\r"); }
  void Shape(int side, int m, int s, float gain) {
    peq_data_s& bands = Mem(side, m, s);
    for (int b = 0; b < kEqBands; ++b) {
      bands.gain[b] = gain + float(b);
      bands.frequency[b] = 150 * (b + 1);
      bands.quality[b] = 1.0f + float(b) * 0.25f;
      SetNameField(bands.type_name[b], b % 2 ? "HIGH_SHELF" : "PARAMETRIC");
    }
  }
};

// One band line on a single channel: the reply, the stored band and the biquad words, which are
// compared with a design computed in the test from the typed values.
TEST_F(EqTextTest, BandLinesOnASingleChannel) {
  const struct {
    const char* line;
    const char* reply;
    int band;  // index; -1 all eight
    int type, frequency;
    float gain, quality;
    const char* stored_type;
  } cases[] = {
      {"IN 3 EQ 2 TYPE 1 FRQ 1000 GAIN -3 Q 1.41",
       "[SUCCESS]Set analogue input CH3 EQ 2 to parametric with FRQ 1000Hz gain -3dB Q 1.41.", 1, 0,
       1000, -3.0f, 1.41f, "PARAMETRIC"},
      {"in 3 eq 8 type 5 frq 20000 gain 15 q 50",
       "[SUCCESS]Set analogue input CH3 EQ 8 to high shelf with FRQ 20000Hz gain 15dB Q 50.", 7, 4,
       20000, 15.0f, 50.0f, "HIGH_SHELF"},
      {"IN3EQ1TYPE2FRQ20GAIN-15Q0.02",
       "[SUCCESS]Set analogue input CH3 EQ 1 to lowpass with FRQ 20Hz gain -15dB Q 0.02.", 0, 1, 20,
       -15.0f, 0.02f, "LOWPASS"},
      {"IN 3 EQ 4 TYPE 4 FRQ 200 GAIN +6.5 Q 0.7",
       "[SUCCESS]Set analogue input CH3 EQ 4 to low shelf with FRQ 200Hz gain 6.5dB Q 0.7.", 3, 3,
       200, 6.5f, 0.7f, "LOW_SHELF"},
      {"IN 3 EQ 0 TYPE 3 FRQ 80 GAIN 0 Q 0.7071",
       "[SUCCESS]Set analogue input CH3 all EQ to highpass with FRQ 80Hz gain 0dB Q 0.7071.", -1, 2,
       80, 0.0f, 0.7071f, "HIGHPASS"},
      {"IN 3 EQ 6 TYPE 1 FRQ 4000 GAIN 0.123456789 Q 2",
       "[SUCCESS]Set analogue input CH3 EQ 6 to parametric with FRQ 4000Hz gain 0.123457dB Q 2.", 5,
       0, 4000, 0.123456789f, 2.0f, "PARAMETRIC"},
  };
  Unlock(kIn);
  g_unit.config.input_preset[2] = 1;
  for (const auto& c : cases) {
    g_unit.config.group_input_stereo2[2] = 1;
    EXPECT_EQ(Run(c.line), std::string(c.reply) + "\r\n") << c.line;
    EXPECT_EQ(g_unit.config.group_input_stereo2[2], 0) << c.line;
    const auto qs = Biquads();
    ASSERT_EQ(qs.size(), c.band < 0 ? 8u : 1u) << c.line;
    for (size_t i = 0; i < qs.size(); ++i) {
      const int b = c.band < 0 ? int(i) : c.band;
      EXPECT_EQ(qs[i].Where(), "in 2 band " + std::to_string(b));
      EXPECT_TRUE(WordsAre(qs[i], c.frequency, c.type, 1, c.gain, c.quality)) << c.line;
      EXPECT_EQ(Mem(kIn, 1, 2).frequency[b], c.frequency);
      EXPECT_EQ(Mem(kIn, 1, 2).gain[b], c.gain);
      EXPECT_EQ(Mem(kIn, 1, 2).quality[b], c.quality);
      EXPECT_STREQ(Mem(kIn, 1, 2).type_name[b], c.stored_type);
    }
  }
  EXPECT_EQ(Saves(), 6);
  const app_config_s saved = Saved();
  EXPECT_EQ(saved.input_custom1_date[2].frequency[5], 4000);
  EXPECT_STREQ(saved.input_custom1_date[2].type_name[5], "PARAMETRIC");
  EXPECT_STREQ(saved.input_custom1_date[2].type_name[3], "HIGHPASS");
  EXPECT_EQ(saved.input_custom1_date[2].quality[0], 0.7071f);
  EXPECT_EQ(saved.group_input_stereo2[2], 0);
}

TEST_F(EqTextTest, BandLinesOnALockedPairAGroupAndAll) {
  // Factory configuration: every pair EQ-locked.
  g_unit.config.input_preset[0] = 2;
  g_unit.config.input_preset[1] = 1;
  EXPECT_EQ(Run("IN 2 EQ 0 TYPE 4 FRQ 200 GAIN 6 Q 0.7"),
            "[SUCCESS]Set analogue input CH1/CH2 all EQ to low shelf with FRQ 200Hz gain 6dB Q "
            "0.7.\r\n");
  auto qs = Biquads();
  // CH2 takes CH1's Custom2: all of it first, then the edit band by band.
  ASSERT_EQ(qs.size(), 24u);
  EXPECT_EQ(Order({qs.begin(), qs.begin() + 8}), LoadOf(kIn, 1));
  qs.erase(qs.begin(), qs.begin() + 8);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(qs[i].Where(), "in " + std::to_string(i % 2) + " band " + std::to_string(i / 2));
    EXPECT_TRUE(WordsAre(qs[i], 200, 3, 1, 6.0f, 0.7f));
  }
  EXPECT_TRUE(PlaysRecord(board(), kIn, 1));
  EXPECT_EQ(g_unit.config.input_preset[1], 2);
  EXPECT_EQ(Saved().input_preset[1], 2);
  EXPECT_EQ(Saved().input_custom2_date[1].frequency[7], 200);

  EXPECT_EQ(Run("IN 6 EQ 3 TYPE 1 FRQ 500 GAIN 2 Q 3"),
            "[ERROR]Input equalizer is flat mode now, setting invalid. (This error is if EQ is set "
            "to flat and not custom mode)\r\n");

  // Output group D: the group's own Custom2 slot, then the members; a Flat member is named.
  g_unit.config.group_output_stereo4[3] = 1;
  g_unit.config.group_output_stereo4[12] = 1;
  g_unit.config.output_preset[3] = 1;
  g_unit.config.output_preset[17] = 2;
  EXPECT_EQ(Run("OUT 18 EQ 3 TYPE 3 FRQ 80 GAIN 0 Q 1.41"),
            "[SUCCESS]Set output group D EQ 3 to highpass with FRQ 80Hz gain 0dB Q 1.41.\r\n"
            "[SUCCESS]Set analogue output CH4 EQ 3 to highpass with FRQ 80Hz gain 0dB Q 1.41.\r\n"
            "[ERROR]USB output left" +
                kFlatTail);
  qs = Biquads();
  ASSERT_EQ(qs.size(), 1u);
  EXPECT_EQ(qs[0].Where(), "out 3 band 2");
  EXPECT_TRUE(WordsAre(qs[0], 80, 2, 1, 0.0f, 1.41f));
  EXPECT_STREQ(Saved().output_custom2_date[17].type_name[2], "HIGHPASS");
  EXPECT_EQ(Saved().group_output_stereo4[3], 1);

  // All inputs: only the slots on a custom memory.
  g_unit.config.input_preset[0] = 0;
  g_unit.config.input_preset[1] = 0;
  g_unit.config.input_preset[6] = 1;
  g_unit.config.input_preset[15] = 1;
  EXPECT_EQ(Run("IN 0 EQ 1 TYPE 2 FRQ 5000 GAIN 0 Q 0.5"),
            "[SUCCESS]Set all input EQ 1 to lowpass with FRQ 5000Hz gain 0dB Q 0.5.\r\n");
  qs = Biquads();
  ASSERT_EQ(qs.size(), 1u);
  EXPECT_EQ(qs[0].Where(), "in 6 band 0");
  EXPECT_TRUE(WordsAre(qs[0], 5000, 1, 1, 0.0f, 0.5f));
  EXPECT_EQ(Saved().input_custom1_date[15].frequency[0], 5000);
}

TEST_F(EqTextTest, BandLinesRefused) {
  const std::string in_error =
      "[ERROR]Input PEQ param out of range. Type \"HELP\" for more reference.\r\n";
  const std::string out_error =
      "[ERROR]Output PEQ param out of range. Type \"HELP\" for more reference.\r\n";
  const struct {
    const char* line;
    std::string reply;
  } cases[] = {
      {"IN 3 EQ 1 TYPE 1 FRQ 19 GAIN 0 Q 1", in_error},
      {"IN 3 EQ 1 TYPE 1 FRQ 20001 GAIN 0 Q 1", in_error},
      {"IN 3 EQ 1 TYPE 1 FRQ 100 GAIN 15.1 Q 1", in_error},
      {"IN 3 EQ 1 TYPE 1 FRQ 100 GAIN -15.01 Q 1", in_error},
      {"IN 3 EQ 1 TYPE 1 FRQ 100 GAIN 1 Q 0.019", in_error},
      {"IN 3 EQ 1 TYPE 1 FRQ 100 GAIN 1 Q 50.01", in_error},
      {"IN 3 EQ 1 TYPE 0 FRQ 100 GAIN 1 Q 1", in_error},
      {"IN 3 EQ 1 TYPE 6 FRQ 100 GAIN 1 Q 1", in_error},
      {"IN 3 EQ 9 TYPE 1 FRQ 100 GAIN 1 Q 1", in_error},
      {"IN 3 EQ 1 TYPE 1 FRQ 100 GAIN NAN Q 1", in_error},
      {"IN 3 EQ 1 TYPE 1 FRQ 100 GAIN INF Q 1", in_error},
      {"IN 3 EQ 1 TYPE 1 FRQ 100 GAIN 1 Q", in_error},
      {"IN 3 EQ 1 TYPE 1 FRQ 100 GAIN 1 Q NAN", in_error},
      {"IN 3 EQ 1 TYPE 1 FRQ 99999999999 GAIN 1 Q 1", in_error},
      {"IN 3 EQ 1 TYPE 1 FRQ 100 GAIN 1e40 Q 1", in_error},
      {"IN 3 EQ TYPE 1 FRQ 100 GAIN 1 Q 1", in_error},
      {"IN 19 EQ 1 TYPE 1 FRQ 100 GAIN 1 Q 1",
       "[ERROR]Input PEQ param in of range. Type \"HELP\" for more reference.\r\n"},
      {"IN -1 EQ 1 TYPE 1 FRQ 100 GAIN 1 Q 1",
       "[ERROR]Input PEQ param in of range. Type \"HELP\" for more reference.\r\n"},
      {"OUT 19 EQ 1 TYPE 1 FRQ 100 GAIN 1 Q 1", out_error},
      {"OUT 3 EQ 1 TYPE 7 FRQ 100 GAIN 1 Q 1", out_error},
      {"IN 0 EQ 1 TYPE 1 FRQ 100 GAIN 1 Q 1",
       "[ERROR]All 0utput equalizer is flat mode now, setting invalid. (This error is if EQ is set "
       "to flat and not custom mode)\r\n"},
      {"OUT 7 EQ 1 TYPE 1 FRQ 100 GAIN 1 Q 1",
       "[ERROR]Output equalizer is flat mode now, setting invalid. (This error is if EQ is set to "
       "flat and not custom mode)\r\n"},
  };
  const app_config_s before = g_unit.config;
  for (const auto& c : cases) EXPECT_EQ(Run(c.line), c.reply) << c.line;
  EXPECT_TRUE(Biquads().empty());
  EXPECT_EQ(Saves(), 0);
  for (int s = 0; s < kChannelSlots; ++s) {
    for (int m = 0; m < kEqMemories; ++m) {
      EXPECT_EQ(std::memcmp(&Mem(kIn, m, s), &before.EqMemory(kIn, m)[s], sizeof(peq_data_s)), 0);
    }
  }
}

TEST_F(EqTextTest, PresetLinesSelectAndLoad) {
  Shape(kIn, 1, 2, 3.0f);
  Shape(kIn, 1, 3, -2.0f);
  g_unit.config.group_input_stereo1[3] = 1;
  EXPECT_EQ(Run("IN 3 EQ PRESET 2"), "[SUCCESS]Set analogue input CH3/CH4 PEQ to Custom1.\r\n");
  auto qs = Biquads();
  ASSERT_EQ(qs.size(), 16u);
  for (int i = 0; i < 16; ++i) {
    const int c = 2 + i % 2, b = i / 2;
    EXPECT_EQ(qs[i].Where(), "in " + std::to_string(c) + " band " + std::to_string(b));
    // Custom1 of each channel: the values given above, computed afresh.
    EXPECT_TRUE(WordsAre(qs[i], 150 * (b + 1), b % 2 ? 4 : 0, 1, (c == 2 ? 3.0f : -2.0f) + b,
                         1.0f + b * 0.25f));
  }
  app_config_s saved = Saved();
  EXPECT_EQ(saved.input_preset[2], 1);
  EXPECT_EQ(saved.input_preset[3], 1);
  EXPECT_EQ(saved.group_input_stereo1[3], 0);

  // Back to Flat: the DSP is flat again.
  EXPECT_EQ(Run("IN 4 EQ PRESET 1"), "[SUCCESS]Set analogue input CH3/CH4 PEQ to Flat.\r\n");
  qs = Biquads();
  ASSERT_EQ(qs.size(), 16u);
  for (const auto& q : qs) EXPECT_EQ(q.words, kPassThrough);
  EXPECT_EQ(Saved().input_preset[3], 0);

  Unlock(kIn);
  EXPECT_EQ(Run("IN 6 EQ PRESET 3"), "[SUCCESS]Set tarvo input CH2 PEQ to Custom2.\r\n");
  EXPECT_EQ(Biquads().size(), 8u);
  g_unit.config.group_input_stereo2[0] = 1;
  g_unit.config.group_input_stereo2[4] = 1;
  EXPECT_EQ(Run("IN 16 EQ PRESET 3"),
            "[SUCCESS]Set input group B PEQ to Custom2.\r\n"
            "[SUCCESS]Set analogue input CH1 PEQ to Custom2.\r\n"
            "[SUCCESS]Set tarvo input CH1 PEQ to Custom2.\r\n");
  saved = Saved();
  EXPECT_EQ(saved.input_preset[15], 2);
  EXPECT_EQ(saved.input_preset[4], 2);
  EXPECT_EQ(saved.group_input_stereo2[4], 1);
  EXPECT_EQ(Run("OUT 0 EQ PRESET 2"), "[SUCCESS]Set all output PEQ to Custom1.\r\n");
  EXPECT_EQ(Biquads().size(), 112u);
  EXPECT_EQ(Saved().output_preset[17], 1);

  const long saves = Saves();
  EXPECT_EQ(Run("IN 19 EQ PRESET 2"), "\r\n");
  EXPECT_EQ(Saves(), saves + 1);  // rewritten unchanged, as the unit does
  for (const char* line : {"IN 3 EQ PRESET 4", "IN 3 EQ PRESET", "IN 3 EQ PRESET 0"}) {
    EXPECT_EQ(Run(line),
              "[ERROR]Input PEQ preset param out of range. Type \"HELP\" for more reference.\r\n");
  }
  EXPECT_EQ(Run("OUT 3 EQ PRESET -1"),
            "[ERROR]Output PEQ preset param out of range. Type \"HELP\" for more reference.\r\n");
  EXPECT_EQ(Saves(), saves + 1);
}

TEST_F(EqTextTest, LockLines) {
  Unlock(kIn);
  g_unit.config.input_preset[0] = 1;
  g_unit.config.input_preset[1] = 2;
  Shape(kIn, 2, 0, -6.0f);
  EXPECT_EQ(Run("IN 2 EQ LOCK ON"), "[SUCCESS]Set analogue input CH1/CH2 PEQ locked.\r\n");
  auto qs = Biquads();
  ASSERT_EQ(qs.size(), 8u);
  for (int b = 0; b < kEqBands; ++b) {
    EXPECT_EQ(qs[b].Where(), "in 1 band " + std::to_string(b));
    EXPECT_TRUE(WordsAre(qs[b], 150 * (b + 1), b % 2 ? 4 : 0, 1, -6.0f + b, 1.0f + b * 0.25f));
  }
  app_config_s saved = Saved();
  EXPECT_EQ(saved.input_stereo[0], 1);
  EXPECT_EQ(saved.input_stereo[1], 1);
  EXPECT_EQ(saved.input_preset[1], 2);
  EXPECT_EQ(saved.input_custom2_date[1].frequency[3], 600);

  EXPECT_EQ(Run("IN 12 EQ LOCK OFF"), "[SUCCESS]Set tarvo input CH7/CH8 PEQ unlocked.\r\n");
  EXPECT_TRUE(Biquads().empty());
  EXPECT_EQ(Run("OUT 13 EQ LOCK OFF"), "[SUCCESS]Set USB output left/right PEQ unlocked.\r\n");
  EXPECT_EQ(Run("IN EQ LOCK ON"), "[SUCCESS]Set all input PEQ locked.\r\n");
  EXPECT_EQ(Biquads().size(), 56u);
  saved = Saved();
  for (int s = 0; s < kDspChannels; ++s) EXPECT_EQ(saved.input_stereo[s], 1);
  EXPECT_EQ(saved.output_stereo[12], 0);
  EXPECT_EQ(Run("OUT 0 EQ LOCK OFF"), "[SUCCESS]Set all output PEQ unlocked.\r\n");
  EXPECT_EQ(Saved().output_stereo[0], 0);

  const long saves = Saves();
  EXPECT_EQ(Run("IN 15 EQ LOCK ON"),
            "[ERROR]Set input PEQ param out of range. Type \"HELP\" for more reference.\r\n");
  EXPECT_EQ(Run("OUT -1 EQ LOCK ON"),
            "[ERROR]Set output PEQ param out of range. Type \"HELP\" for more reference.\r\n");
  EXPECT_EQ(Saves(), saves);
}

TEST_F(EqTextTest, EnableLines) {
  const long saves = Saves();
  for (const char* line : {"IN 3 EQ 9 ON", "IN 19 EQ 1 ON", "IN 3 EQ ON", "IN -1 EQ 1 OFF"}) {
    EXPECT_EQ(Run(line),
              "[ERROR]Set input PEQ param out of range. Type \"HELP\" for more reference.\r\n")
        << line;
  }
  EXPECT_EQ(Run("OUT 3 EQ 9 OFF"),
            "[ERROR]Set output PEQ param out of range. Type \"HELP\" for more reference.\r\n");
  EXPECT_EQ(Saves(), saves);
  EXPECT_TRUE(Biquads().empty());

  EXPECT_EQ(Run("IN 0 EQ 0 OFF"), "[SUCCESS]Set all input all EQ off.\r\n");
  auto qs = Biquads();
  EXPECT_EQ(qs.size(), 112u);
  for (const auto& q : qs) EXPECT_EQ(q.words, kPassThrough);
  app_config_s saved = Saved();
  for (int s = 0; s < kChannelSlots; ++s) EXPECT_EQ(saved.input_flat_date[s].bypass[4], 0);

  // Unlocked: one channel; on Flat the Flat memory's switch changes.
  Unlock(kIn);
  Shape(kIn, 0, 1, 2.0f);
  EXPECT_EQ(Run("IN 2 EQ 3 ON"), "[SUCCESS]Set analogue input CH2 EQ 3 on.\r\n");
  qs = Biquads();
  ASSERT_EQ(qs.size(), 1u);
  EXPECT_TRUE(WordsAre(qs[0], 450, 0, 1, 4.0f, 1.5f));
  EXPECT_EQ(Saved().input_flat_date[1].bypass[2], 1);
  g_unit.config.input_stereo[0] = 1;
  g_unit.config.input_preset[0] = 1;
  EXPECT_EQ(Run("IN 2 EQ 3 ON"), "[SUCCESS]Set analogue input CH1/CH2 EQ 3 on.\r\n");
  std::vector<std::string> order = LoadOf(kIn, 1);  // CH2 takes CH1's Custom1 whole
  order.insert(order.end(), {"in 0 band 2", "in 1 band 2"});
  EXPECT_EQ(Order(Biquads()), order);
  EXPECT_TRUE(PlaysRecord(board(), kIn, 1));
  EXPECT_EQ(Saved().input_preset[1], 1);

  g_unit.config.group_output_stereo2[1] = 1;
  g_unit.config.group_output_stereo2[8] = 1;
  g_unit.config.output_preset[8] = 2;
  EXPECT_EQ(Run("OUT 16 EQ 1 OFF"), "[SUCCESS]Set output group B EQ 1 off.\r\n");
  EXPECT_EQ(Order(Biquads()), (std::vector<std::string>{"out 1 band 0", "out 8 band 0"}));
  saved = Saved();
  EXPECT_EQ(saved.output_flat_date[1].bypass[0], 0);
  EXPECT_EQ(saved.output_custom2_date[8].bypass[0], 0);
  EXPECT_EQ(saved.output_flat_date[15].bypass[0], 1);
  EXPECT_EQ(Run("IN 13 EQ 0 ON"), "[SUCCESS]Set USB left input all EQ on.\r\n");
  g_unit.config.input_stereo[13] = 1;
  EXPECT_EQ(Run("IN 13 EQ 0 ON"), "[SUCCESS]Set USB left/right input all EQ on.\r\n");
}

// Every command that moves the second channel of a locked pair to another memory leaves the DSP
// playing exactly what app.json says both channels play.
TEST_F(EqTextTest, LockedPairPlaysWhatTheFileSays) {
  const struct {
    const char* what;
    const char* command;
  } steps[] = {{"clear", "OUT 1 EQ CLR"},
               {"band switch", "OUT 2 EQ 1 ON"},
               {"band edit", "OUT 1 EQ 3 TYPE 1 FRQ 500 GAIN 3 Q 1"},
               {"band edit refused on Flat", "OUT 1 EQ 3 TYPE 1 FRQ 500 GAIN 3 Q 1"}};
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    Run("OUT 1 EQ LOCK OFF");
    // PRESET 1 is Flat, 2 Custom1, 3 Custom2.
    Run(std::string("OUT 1 EQ PRESET ") +
        (std::string(step.what).find("Flat") != std::string::npos ? "1" : "2"));
    Run("OUT 2 EQ PRESET 3");
    Run("OUT 2 EQ 0 TYPE 1 FRQ 1000 GAIN 10 Q 1");
    // The pair locks again without copying (the text lock keeps each selection), then the step.
    g_unit.config.output_stereo[0] = g_unit.config.output_stereo[1] = 1;
    Run(step.command);
    const app_config_s saved = Saved();
    EXPECT_EQ(saved.output_preset[1], saved.output_preset[0]);
    EXPECT_TRUE(PlaysRecord(board(), kOut, 0, saved));
    EXPECT_TRUE(PlaysRecord(board(), kOut, 1, saved));
  }
}

// A line that names EQ but is not a whole EQ command gets the band command's range error and
// changes nothing: it never falls through to the gain command.
TEST_F(EqTextTest, IncompleteEqLineNeverChangesTheGain) {
  g_unit.config.analogue_input_gain[0] = 6;
  const long saves = Saves();
  const std::string reply = Run("IN 1 EQ 1 TYPE 1 FRQ 100 GAIN-3");
  EXPECT_EQ(reply.substr(0, 7), "[ERROR]") << reply;
  EXPECT_NE(reply.find("Type \"HELP\" for more reference."), std::string::npos) << reply;
  EXPECT_EQ(g_unit.config.analogue_input_gain[0], 6);
  EXPECT_EQ(Saves(), saves);
  EXPECT_TRUE(Biquads().empty());
}

TEST_F(EqTextTest, ClearLines) {
  Unlock(kIn);
  Unlock(kOut);
  g_unit.config.input_preset[4] = 2;
  g_unit.config.input_preset[5] = 2;
  Shape(kIn, 2, 4, 5.0f);
  Shape(kIn, 2, 5, 5.0f);
  EXPECT_EQ(Run("IN 5 EQ CLR"), "[SUCCESS]Set tarvo CH1clear.\r\n");
  auto qs = Biquads();
  ASSERT_EQ(qs.size(), 8u);
  for (const auto& q : qs) EXPECT_EQ(q.words, kPassThrough);  // default bands: 0 dB
  app_config_s saved = Saved();
  EXPECT_EQ(saved.input_custom2_date[4].frequency[7], 12000);
  EXPECT_EQ(saved.input_custom2_date[4].gain[7], 0.0f);
  EXPECT_EQ(saved.input_custom2_date[5].gain[7], 12.0f);

  g_unit.config.output_preset[4] = 1;
  g_unit.config.output_preset[5] = 2;
  Shape(kOut, 1, 4, 5.0f);
  Shape(kOut, 1, 5, 5.0f);
  EXPECT_EQ(Run("OUT 5 EQ CLR"), "[SUCCESS]Set tarvo output CH1/CH2 EQ clear.\r\n");
  // CH2 takes CH1's Custom1 whole, then both are cleared.
  EXPECT_EQ(Order(Biquads()).size(), 24u);
  EXPECT_TRUE(PlaysRecord(board(), kOut, 4));
  EXPECT_TRUE(PlaysRecord(board(), kOut, 5));
  saved = Saved();
  EXPECT_EQ(saved.output_stereo[4], 1);
  EXPECT_EQ(saved.output_stereo[5], 1);
  EXPECT_EQ(saved.output_preset[5], 1);
  EXPECT_EQ(saved.output_custom1_date[5].gain[2], 0.0f);

  // No number: every input; Flat bands are sent again, groups are not sent at all.
  Shape(kIn, 0, 0, 4.0f);
  EXPECT_EQ(Run("IN EQ CLR"), "[SUCCESS]Set all input EQ clear.\r\n");
  qs = Biquads();
  ASSERT_EQ(qs.size(), 112u);
  EXPECT_TRUE(WordsAre(qs[1], 300, 4, 1, 5.0f, 1.25f));
  EXPECT_EQ(Saved().input_flat_date[0].gain[1], 5.0f);

  const long saves = Saves();
  EXPECT_EQ(Run("OUT -1 EQ CLR"),
            "[ERROR]Set output PEQ param out of range. Type \"HELP\" for more reference.\r\n");
  EXPECT_EQ(Run("IN 19 EQ CLR"),
            "[ERROR]Set input PEQ param out of range. Type \"HELP\" for more reference.\r\n");
  EXPECT_EQ(Saves(), saves);
}

}  // namespace
