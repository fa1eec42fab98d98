#include "devctl/core/eq_changes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devctl/core/unit_state.h"
#include "devctl/text/eq_commands.h"
#include "devctl/web/web_eq_handlers.h"
#include "tests/support/eq_design.h"
#include "tests/support/sim_unit.h"

namespace {

using eqtest::LoadOf;
using eqtest::Order;
using eqtest::PlaysRecord;
using eqtest::WordsAre;

constexpr int kIn = EQ_SIDE_INPUT;
constexpr int kOut = EQ_SIDE_OUTPUT;

class EqChangesTest : public testsupport::SimUnitFixture {
 protected:
  // Gives every band of a memory slot a distinct audible setting, so copies and loads show.
  void Shape(int side, int m, int s, float gain) {
    peq_data_s& bands = Mem(side, m, s);
    for (int b = 0; b < kEqBands; ++b) {
      bands.gain[b] = gain + float(b) * 0.5f;
      bands.frequency[b] = 100 * (b + 1) + s;
      bands.quality[b] = 0.7f + float(b) * 0.1f;
      SetNameField(bands.type_name[b], b % 2 ? "LOW_SHELF" : "PARAMETRIC");
    }
  }
  static bool SameBand(const peq_data_s& a, const peq_data_s& b, int band) {
    return a.bypass[band] == b.bypass[band] && a.gain[band] == b.gain[band] &&
           a.frequency[band] == b.frequency[band] && a.quality[band] == b.quality[band] &&
           std::string(a.type_name[band]) == b.type_name[band];
  }
  std::string lines;
};

const EqBandValues kLowShelf{3, "LOW_SHELF", 200, 6.0f, 0.7f};
const EqBandValues kPeak{0, "PARAMETRIC", 1000, -3.0f, 1.41f};

TEST_F(EqChangesTest, BandEditOfASingleChannel) {
  Unlock(kIn);
  g_unit.config.input_preset[2] = 1;
  g_unit.config.group_input_stereo1[2] = 1;
  g_unit.config.group_input_stereo3[2] = 1;
  EXPECT_TRUE(SetEqBand(g_unit.config, kIn, 2, 1, kPeak, kSelectedEqMemory, kTextEqRules, lines));
  EXPECT_EQ(lines,
            "[SUCCESS]Set analogue input CH3 EQ 2 to parametric with FRQ 1000Hz gain -3dB "
            "Q 1.41.\r\n");
  const peq_data_s& band = Mem(kIn, 1, 2);
  EXPECT_EQ(band.frequency[1], 1000);
  EXPECT_EQ(band.gain[1], -3.0f);
  EXPECT_EQ(band.quality[1], 1.41f);
  EXPECT_STREQ(band.type_name[1], "PARAMETRIC");
  EXPECT_EQ(g_unit.config.group_input_stereo1[2], 0);
  EXPECT_EQ(g_unit.config.group_input_stereo3[2], 0);
  auto qs = Biquads();
  ASSERT_EQ(qs.size(), 1u);
  EXPECT_EQ(g_dsp_biquad_addr[0][2] + 5, 0x1E2u);
  EXPECT_EQ(qs[0].Where(), "in 2 band 1");
  EXPECT_TRUE(WordsAre(qs[0], 1000, 0, 1, -3.0f, 1.41f));
  // The peaking golden section of the design itself.
  EXPECT_EQ(qs[0].words,
            (std::vector<uint32_t>{0x00E93397, 0xFE1ED94A, 0x00FC19FD, 0xFF1AB26C, 0x01E126B6}));
  EXPECT_TRUE(SameBand(Mem(kIn, 0, 2), Mem(kIn, 2, 2), 1));  // other memories untouched

  // A band switched off keeps its new values but stays transparent.
  Mem(kOut, 2, 13).bypass[4] = 0;
  Unlock(kOut);
  g_unit.config.output_preset[13] = 2;
  platform::sim_i2c().ClearTransfers();
  lines.clear();
  EXPECT_TRUE(
      SetEqBand(g_unit.config, kOut, 13, 4, kLowShelf, kSelectedEqMemory, kTextEqRules, lines));
  EXPECT_EQ(lines,
            "[SUCCESS]Set USB output right EQ 5 to low shelf with FRQ 200Hz gain 6dB Q "
            "0.7.\r\n");
  qs = Biquads();
  ASSERT_EQ(qs.size(), 1u);
  EXPECT_EQ(qs[0].Where(), "out 13 band 4");
  EXPECT_EQ(qs[0].words, (std::vector<uint32_t>{0, 0, 0x01000000, 0, 0}));
  EXPECT_EQ(Mem(kOut, 2, 13).gain[4], 6.0f);
}

TEST_F(EqChangesTest, BandEditOfALockedPairWritesBothBandByBand) {
  // The factory configuration locks every pair.
  g_unit.config.input_preset[0] = 2;
  g_unit.config.input_preset[1] = 1;
  g_unit.config.group_input_stereo2[0] = 1;
  g_unit.config.group_input_stereo4[1] = 1;
  EXPECT_TRUE(SetEqBand(g_unit.config, kIn, 1, kAllEqBands, kLowShelf, kSelectedEqMemory,
                        kTextEqRules, lines));
  EXPECT_EQ(lines,
            "[SUCCESS]Set analogue input CH1/CH2 all EQ to low shelf with FRQ 200Hz gain "
            "6dB Q 0.7.\r\n");
  EXPECT_EQ(g_unit.config.input_preset[1], 2);
  EXPECT_EQ(g_unit.config.group_input_stereo2[0], 0);
  EXPECT_EQ(g_unit.config.group_input_stereo4[1], 0);
  auto qs = Biquads();
  // CH2 takes CH1's memory: all of it goes to the DSP first, then the edit band by band.
  ASSERT_EQ(qs.size(), 24u);
  EXPECT_EQ(Order({qs.begin(), qs.begin() + 8}), LoadOf(kIn, 1));
  qs.erase(qs.begin(), qs.begin() + 8);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(qs[i].channel, i % 2);
    EXPECT_EQ(qs[i].band, i / 2);
    EXPECT_EQ(qs[i].words,
              (std::vector<uint32_t>{0x00F68F09, 0xFE080906, 0x0101A66A, 0xFF07DA21, 0x01F8068F}));
    EXPECT_STREQ(Mem(kIn, 2, i % 2).type_name[i / 2], "LOW_SHELF");
  }
  EXPECT_EQ(Mem(kIn, 1, 1).frequency[0], 32);  // the memory it left is untouched
  EXPECT_TRUE(PlaysRecord(board(), kIn, 0));
  EXPECT_TRUE(PlaysRecord(board(), kIn, 1));

  // The Tarvo pair (5,6) named by its second channel, on the output side.
  g_unit.config.output_preset[4] = 1;
  lines.clear();
  EXPECT_TRUE(SetEqBand(g_unit.config, kOut, 5, 7, kPeak, kSelectedEqMemory, kTextEqRules, lines));
  EXPECT_EQ(lines,
            "[SUCCESS]Set tarvo output CH1/CH2 EQ 8 to parametric with FRQ 1000Hz gain "
            "-3dB Q 1.41.\r\n");
}

TEST_F(EqChangesTest, FlatRefusals) {
  Unlock(kIn);
  g_unit.config.group_input_stereo1[2] = 1;
  // Refused, but the record changed (the channel left its group): it is to be saved.
  EXPECT_TRUE(SetEqBand(g_unit.config, kIn, 2, 0, kPeak, kSelectedEqMemory, kTextEqRules, lines));
  EXPECT_EQ(lines,
            "[ERROR]Input equalizer is flat mode now, setting invalid. (This error is if EQ "
            "is set to flat and not custom mode)\r\n");
  // The channel has left its group already (kept as the unit does it).
  EXPECT_EQ(g_unit.config.group_input_stereo1[2], 0);
  EXPECT_EQ(Mem(kIn, 0, 2).frequency[0], 32);

  // A locked output pair: the second takes the first's Flat selection, then refuses.
  g_unit.config.output_preset[3] = 1;
  lines.clear();
  EXPECT_TRUE(SetEqBand(g_unit.config, kOut, 3, 0, kPeak, kSelectedEqMemory, kTextEqRules, lines));
  EXPECT_EQ(lines,
            "[ERROR]Output equalizer is flat mode now, setting invalid. (This error is if "
            "EQ is set to flat and not custom mode)\r\n");
  EXPECT_EQ(g_unit.config.output_preset[3], 0);
  // Refused again with nothing left to change: nothing to save.
  lines.clear();
  EXPECT_FALSE(SetEqBand(g_unit.config, kOut, 3, 0, kPeak, kSelectedEqMemory, kTextEqRules, lines));
  // What it plays now is its Flat memory: loaded, though the edit itself was refused.
  EXPECT_EQ(Order(Biquads()), LoadOf(kOut, 3));
  EXPECT_TRUE(PlaysRecord(board(), kOut, 3));
  platform::sim_i2c().ClearTransfers();

  // Every slot on Flat: the all-channel edit is refused with the unit's one text.
  for (int side : {kIn, kOut}) {
    lines.clear();
    EXPECT_FALSE(SetEqBand(g_unit.config, side, kAllEqSlots, 0, kPeak, kSelectedEqMemory,
                           kTextEqRules, lines));
    EXPECT_EQ(lines,
              "[ERROR]All 0utput equalizer is flat mode now, setting invalid. (This error "
              "is if EQ is set to flat and not custom mode)\r\n");
  }
  EXPECT_TRUE(Biquads().empty());

  // The web writes nothing for Flat but reports the line.
  lines.clear();
  EXPECT_TRUE(SetEqBand(g_unit.config, kIn, 2, 0, kPeak, 0, kWebEqRules, lines));
  EXPECT_EQ(lines,
            "[SUCCESS]Set analogue input CH3 EQ 1 to parametric with FRQ 1000Hz gain -3dB "
            "Q 1.41.\r\n");
  EXPECT_TRUE(Biquads().empty());
}

TEST_F(EqChangesTest, BandEditOfAllSlotsWritesTheCustomOnes) {
  g_unit.config.input_preset[6] = 1;
  g_unit.config.input_preset[15] = 1;
  EXPECT_TRUE(
      SetEqBand(g_unit.config, kIn, kAllEqSlots, 0, kPeak, kSelectedEqMemory, kTextEqRules, lines));
  EXPECT_EQ(lines,
            "[SUCCESS]Set all input EQ 1 to parametric with FRQ 1000Hz gain -3dB Q "
            "1.41.\r\n");
  EXPECT_EQ(Mem(kIn, 1, 6).frequency[0], 1000);
  EXPECT_EQ(Mem(kIn, 1, 15).frequency[0], 1000);
  EXPECT_EQ(Mem(kIn, 1, 5).frequency[0], 32);
  const auto qs = Biquads();
  ASSERT_EQ(qs.size(), 1u);
  EXPECT_EQ(qs[0].Where(), "in 6 band 0");
  EXPECT_TRUE(WordsAre(qs[0], 1000, 0, 1, -3.0f, 1.41f));
}

TEST_F(EqChangesTest, BandEditOfAGroupGoesToEachMembersOwnMemory) {
  g_unit.config.group_input_stereo2[0] = 1;
  g_unit.config.group_input_stereo2[12] = 1;
  g_unit.config.group_input_stereo2[5] = 1;
  g_unit.config.input_preset[0] = 1;
  g_unit.config.input_preset[5] = 2;
  EXPECT_TRUE(
      SetEqBand(g_unit.config, kIn, 15, 2, kLowShelf, kSelectedEqMemory, kTextEqRules, lines));
  const std::string tail = " EQ 3 to low shelf with FRQ 200Hz gain 6dB Q 0.7.\r\n";
  EXPECT_EQ(lines, "[SUCCESS]Set input group 2" + tail + "[SUCCESS]Set analogue input CH1" + tail +
                       "[SUCCESS]Set tarvo input CH2" + tail +
                       "[ERROR]USB input left equalizer is flat mode now, setting invalid. (This "
                       "error is if EQ is set to flat and not custom mode)\r\n");
  EXPECT_EQ(Mem(kIn, 0, 15).gain[2], 0.0f);  // the group's slot plays Flat: untouched
  EXPECT_EQ(Order(Biquads()), (std::vector<std::string>{"in 0 band 2", "in 5 band 2"}));
  EXPECT_EQ(Mem(kIn, 1, 0).gain[2], 6.0f);
  EXPECT_EQ(Mem(kIn, 2, 5).gain[2], 6.0f);
  EXPECT_EQ(Mem(kIn, 0, 12).gain[2], 0.0f);
  EXPECT_EQ(g_unit.config.group_input_stereo2[0], 1);  // members stay

  // Web: an output group by letter with analogue members; the web's own spelling of the input
  // refusal.
  g_unit.config.group_output_stereo3[3] = 1;
  g_unit.config.output_preset[16] = 2;
  g_unit.config.output_preset[3] = 1;
  lines.clear();
  EXPECT_TRUE(SetEqBand(g_unit.config, kOut, 16, 2, kLowShelf, 0, kWebEqRules, lines));
  EXPECT_EQ(lines,
            "[SUCCESS]Set output group C" + tail + "[SUCCESS]Set analogue output CH4" + tail);
  EXPECT_EQ(Mem(kOut, 2, 16).gain[2], 6.0f);
  g_unit.config.input_preset[0] = 0;
  lines.clear();
  SetEqBand(g_unit.config, kIn, 15, 2, kLowShelf, 0, kWebEqRules, lines);
  EXPECT_NE(lines.find("[ERROR]Analogue intput CH1 equalizer is flat mode now"), std::string::npos);
}

TEST_F(EqChangesTest, WebBandEditOfASingleWritesTheRequestedMemory) {
  Unlock(kIn);
  g_unit.config.input_preset[4] = 2;
  EXPECT_TRUE(SetEqBand(g_unit.config, kIn, 4, 0, kPeak, 1, kWebEqRules, lines));
  EXPECT_EQ(Mem(kIn, 1, 4).frequency[0], 1000);
  EXPECT_EQ(Mem(kIn, 2, 4).frequency[0], 32);
  EXPECT_EQ(g_unit.config.input_preset[4], 2);
  const auto qs = Biquads();
  ASSERT_EQ(qs.size(), 1u);
  EXPECT_TRUE(WordsAre(qs[0], 1000, 0, 1, -3.0f, 1.41f));
}

TEST_F(EqChangesTest, SelectingAMemoryLoadsItsEightBands) {
  Unlock(kIn);
  Shape(kIn, 1, 6, 4.0f);
  Shape(kIn, 0, 6, 0.0f);
  for (int b = 0; b < kEqBands; ++b) Mem(kIn, 0, 6).gain[b] = 0.0f;  // a flat Flat memory
  Mem(kIn, 1, 6).bypass[3] = 0;
  g_unit.config.group_input_stereo1[6] = 1;
  SelectEqMemory(g_unit.config, kIn, 6, 1, kTextEqRules, lines);
  EXPECT_EQ(lines, "[SUCCESS]Set tarvo input CH3 PEQ to Custom1.\r\n");
  EXPECT_EQ(g_unit.config.input_preset[6], 1);
  EXPECT_EQ(g_unit.config.group_input_stereo1[6], 0);
  auto qs = Biquads();
  ASSERT_EQ(qs.size(), 8u);
  for (int b = 0; b < kEqBands; ++b) {
    EXPECT_EQ(qs[b].Where(), "in 6 band " + std::to_string(b));
    EXPECT_TRUE(WordsAre(qs[b], Mem(kIn, 1, 6), b));
  }
  EXPECT_EQ(qs[3].words, (std::vector<uint32_t>{0, 0, 0x01000000, 0, 0}));
  EXPECT_NE(qs[0].words, qs[3].words);

  // Flat: the DSP becomes flat again.
  platform::sim_i2c().ClearTransfers();
  lines.clear();
  SelectEqMemory(g_unit.config, kIn, 6, 0, kWebEqRules, lines);
  EXPECT_EQ(lines, "[SUCCESS]Set tarvo input CH3 PEQ to Flat.\r\n");
  qs = Biquads();
  ASSERT_EQ(qs.size(), 8u);
  for (const auto& q : qs) EXPECT_EQ(q.words, (std::vector<uint32_t>{0, 0, 0x01000000, 0, 0}));
}

TEST_F(EqChangesTest, SelectingAMemoryForPairsGroupsAndAll) {
  // Text: one line, interleaved; web: one channel after the other, two lines.
  SelectEqMemory(g_unit.config, kIn, 2, 1, kTextEqRules, lines);
  EXPECT_EQ(lines, "[SUCCESS]Set analogue input CH3/CH4 PEQ to Custom1.\r\n");
  auto order = Order(Biquads());
  ASSERT_EQ(order.size(), 16u);
  EXPECT_EQ(std::vector<std::string>(order.begin(), order.begin() + 3),
            (std::vector<std::string>{"in 2 band 0", "in 3 band 0", "in 2 band 1"}));
  platform::sim_i2c().ClearTransfers();
  lines.clear();
  SelectEqMemory(g_unit.config, kOut, 12, 2, kTextEqRules, lines);
  EXPECT_EQ(lines, "[SUCCESS]Set USB output left right PEQ to Custom2.\r\n");
  platform::sim_i2c().ClearTransfers();
  lines.clear();
  SelectEqMemory(g_unit.config, kOut, 13, 2, kWebEqRules, lines);
  EXPECT_EQ(lines,
            "[SUCCESS]Set USB output left PEQ to Custom2.\r\n"
            "[SUCCESS]Set USB output right PEQ to Custom2.\r\n");
  order = Order(Biquads());
  ASSERT_EQ(order.size(), 16u);
  EXPECT_EQ(order[7], "out 12 band 7");
  EXPECT_EQ(order[8], "out 13 band 0");

  // Groups are named by letter on both sides; members stay.
  g_unit.config.group_input_stereo2[0] = 1;
  g_unit.config.group_input_stereo2[4] = 1;
  lines.clear();
  platform::sim_i2c().ClearTransfers();
  SelectEqMemory(g_unit.config, kIn, 15, 2, kTextEqRules, lines);
  EXPECT_EQ(lines,
            "[SUCCESS]Set input group B PEQ to Custom2.\r\n"
            "[SUCCESS]Set analogue input CH1 PEQ to Custom2.\r\n"
            "[SUCCESS]Set tarvo input CH1 PEQ to Custom2.\r\n");
  EXPECT_EQ(g_unit.config.input_preset[15], 2);
  EXPECT_EQ(g_unit.config.input_preset[4], 2);
  EXPECT_EQ(g_unit.config.group_input_stereo2[4], 1);
  EXPECT_EQ(Biquads().size(), 16u);

  lines.clear();
  platform::sim_i2c().ClearTransfers();
  SelectEqMemory(g_unit.config, kOut, kAllEqSlots, 0, kTextEqRules, lines);
  EXPECT_EQ(lines, "[SUCCESS]Set all output PEQ to Flat.\r\n");
  for (int s = 0; s < kChannelSlots; ++s) EXPECT_EQ(g_unit.config.output_preset[s], 0);
  EXPECT_EQ(Biquads().size(), 112u);
}

TEST_F(EqChangesTest, TextLockCopiesIntoTheSecondChannelsOwnMemory) {
  Unlock(kIn);
  g_unit.config.input_preset[0] = 1;
  g_unit.config.input_preset[1] = 2;
  Shape(kIn, 2, 0, 5.0f);
  SetEqLock(g_unit.config, kIn, 1, true, kTextEqRules, lines);
  EXPECT_EQ(lines, "[SUCCESS]Set analogue input CH1/CH2 PEQ locked.\r\n");
  EXPECT_EQ(g_unit.config.input_stereo[0], 1);
  EXPECT_EQ(g_unit.config.input_stereo[1], 1);
  EXPECT_EQ(g_unit.config.input_preset[1], 2);
  auto qs = Biquads();
  ASSERT_EQ(qs.size(), 8u);
  for (int b = 0; b < kEqBands; ++b) {
    EXPECT_TRUE(SameBand(Mem(kIn, 2, 0), Mem(kIn, 2, 1), b));
    EXPECT_EQ(qs[b].Where(), "in 1 band " + std::to_string(b));
    EXPECT_TRUE(WordsAre(qs[b], Mem(kIn, 2, 0), b));
  }
  platform::sim_i2c().ClearTransfers();
  lines.clear();
  SetEqLock(g_unit.config, kIn, 11, false, kTextEqRules, lines);
  EXPECT_EQ(lines, "[SUCCESS]Set tarvo input CH7/CH8 PEQ unlocked.\r\n");
  EXPECT_TRUE(Biquads().empty());

  // All pairs: a second channel on Flat is resent without copying.
  Unlock(kOut);
  g_unit.config.output_preset[2] = 1;
  g_unit.config.output_preset[3] = 1;
  Shape(kOut, 1, 2, -4.0f);
  Shape(kOut, 0, 0, 3.0f);
  lines.clear();
  SetEqLock(g_unit.config, kOut, kAllEqSlots, true, kTextEqRules, lines);
  EXPECT_EQ(lines, "[SUCCESS]Set all output PEQ locked.\r\n");
  for (int s = 0; s < kDspChannels; ++s) EXPECT_EQ(g_unit.config.output_stereo[s], 1);
  EXPECT_TRUE(SameBand(Mem(kOut, 1, 2), Mem(kOut, 1, 3), 5));
  EXPECT_FALSE(SameBand(Mem(kOut, 0, 0), Mem(kOut, 0, 1), 5));
  EXPECT_EQ(Biquads().size(), 56u);  // seven second channels, eight bands each
}

TEST_F(EqChangesTest, WebLockMakesTheSecondTakeTheFirstsEq) {
  Unlock(kIn);
  g_unit.config.input_preset[0] = 1;
  Shape(kIn, 1, 0, 2.0f);
  SetEqLock(g_unit.config, kIn, 1, true, kWebEqRules, lines);
  EXPECT_EQ(lines, "[SUCCESS]Set analogue input CH1/CH2 PEQ locked.\r\n");
  EXPECT_EQ(g_unit.config.input_preset[1], 1);
  for (int b = 0; b < kEqBands; ++b) EXPECT_TRUE(SameBand(Mem(kIn, 1, 0), Mem(kIn, 1, 1), b));
  EXPECT_EQ(Biquads().size(), 8u);

  const struct {
    int side, slot;
    bool locked;
    const char* line;
  } cases[] = {
      {kOut, 0, true, "[SUCCESS]Set analogue output CH1/CH2 PEQ lock.\r\n"},
      {kOut, 9, true, "[SUCCESS]Set tarvo output CH5/CH6 PEQ lock.\r\n"},
      {kOut, 13, true, "[SUCCESS]Set USB output right PEQ locked.\r\n"},
      {kIn, 12, false, "[SUCCESS]Set USB input left PEQ unlock.\r\n"},
      {kOut, 17, true, "[SUCCESS]Set output group D PEQ locked.\r\n"},
      {kIn, 14, false, "[SUCCESS]Set input group 1 PEQ unlock.\r\n"},
  };
  for (const auto& c : cases) {
    lines.clear();
    SetEqLock(g_unit.config, c.side, c.slot, c.locked, kWebEqRules, lines);
    EXPECT_EQ(lines, c.line);
  }
  EXPECT_EQ(g_unit.config.output_stereo[17], 1);
  EXPECT_EQ(g_unit.config.input_stereo[14], 0);
  EXPECT_EQ(g_unit.config.input_stereo[12], 0);
  EXPECT_EQ(g_unit.config.input_stereo[13], 0);

  // First channel on Flat: the second selects Flat and its own Flat bands are resent.
  Shape(kOut, 0, 7, 1.0f);
  g_unit.config.output_preset[7] = 2;
  platform::sim_i2c().ClearTransfers();
  lines.clear();
  SetEqLock(g_unit.config, kOut, 6, true, kWebEqRules, lines);
  EXPECT_EQ(g_unit.config.output_preset[7], 0);
  auto qs = Biquads();
  ASSERT_EQ(qs.size(), 8u);
  for (int b = 0; b < kEqBands; ++b) EXPECT_TRUE(WordsAre(qs[b], Mem(kOut, 0, 7), b));
}

TEST_F(EqChangesTest, TextBandSwitches) {
  SetEqBandSwitch(g_unit.config, kIn, kAllEqSlots, kAllEqBands, 0, kTextEqRules, lines);
  EXPECT_EQ(lines, "[SUCCESS]Set all input all EQ off.\r\n");
  auto qs = Biquads();
  EXPECT_EQ(qs.size(), 112u);
  for (const auto& q : qs) EXPECT_EQ(q.words, (std::vector<uint32_t>{0, 0, 0x01000000, 0, 0}));
  for (int s = 0; s < kChannelSlots; ++s) EXPECT_EQ(Mem(kIn, 0, s).bypass[7], 0);

  // Unlocked: one channel; locked: both, the second takes the first's selection.
  Unlock(kIn);
  Shape(kIn, 0, 1, 3.0f);
  platform::sim_i2c().ClearTransfers();
  lines.clear();
  SetEqBandSwitch(g_unit.config, kIn, 1, 2, 1, kTextEqRules, lines);
  EXPECT_EQ(lines, "[SUCCESS]Set analogue input CH2 EQ 3 on.\r\n");
  qs = Biquads();
  ASSERT_EQ(qs.size(), 1u);
  EXPECT_EQ(Mem(kIn, 0, 1).bypass[2], 1);
  EXPECT_TRUE(WordsAre(qs[0], Mem(kIn, 0, 1), 2));
  g_unit.config.input_stereo[0] = 1;
  g_unit.config.input_preset[0] = 1;
  g_unit.config.group_input_stereo1[1] = 1;
  lines.clear();
  platform::sim_i2c().ClearTransfers();
  SetEqBandSwitch(g_unit.config, kIn, 1, 2, 1, kTextEqRules, lines);
  EXPECT_EQ(lines, "[SUCCESS]Set analogue input CH1/CH2 EQ 3 on.\r\n");
  EXPECT_EQ(g_unit.config.input_preset[1], 1);
  EXPECT_EQ(g_unit.config.group_input_stereo1[1], 0);
  // CH2 takes CH1's Custom1: all of it first, then the switch on both.
  std::vector<std::string> order = LoadOf(kIn, 1);
  order.insert(order.end(), {"in 0 band 2", "in 1 band 2"});
  EXPECT_EQ(Order(Biquads()), order);
  EXPECT_TRUE(PlaysRecord(board(), kIn, 1));

  // USB words and the group form: members in their own memory, Flat included.
  lines.clear();
  SetEqBandSwitch(g_unit.config, kOut, 12, kAllEqBands, 1, kTextEqRules, lines);
  EXPECT_EQ(lines, "[SUCCESS]Set USB left/right output all EQ on.\r\n");
  Unlock(kOut);
  lines.clear();
  SetEqBandSwitch(g_unit.config, kOut, 13, 0, 0, kTextEqRules, lines);
  EXPECT_EQ(lines, "[SUCCESS]Set USB right output EQ 1 off.\r\n");
  g_unit.config.group_output_stereo2[2] = 1;
  g_unit.config.group_output_stereo2[9] = 1;
  g_unit.config.output_preset[9] = 2;
  g_unit.config.output_preset[15] = 1;
  lines.clear();
  platform::sim_i2c().ClearTransfers();
  SetEqBandSwitch(g_unit.config, kOut, 15, 0, 0, kTextEqRules, lines);
  EXPECT_EQ(lines, "[SUCCESS]Set output group B EQ 1 off.\r\n");
  EXPECT_EQ(Mem(kOut, 0, 2).bypass[0], 0);
  EXPECT_EQ(Mem(kOut, 2, 9).bypass[0], 0);
  EXPECT_EQ(Mem(kOut, 1, 15).bypass[0], 1);  // the group's own slot stays
  EXPECT_EQ(Order(Biquads()), (std::vector<std::string>{"out 2 band 0", "out 9 band 0"}));
}

TEST_F(EqChangesTest, WebBandSwitches) {
  g_unit.config.group_input_stereo3[0] = 1;
  g_unit.config.group_input_stereo3[7] = 1;
  g_unit.config.group_input_stereo3[13] = 1;
  g_unit.config.input_preset[0] = 0;
  g_unit.config.input_preset[7] = 1;
  g_unit.config.input_preset[13] = 2;
  g_unit.config.input_preset[16] = 2;
  SetEqBandSwitch(g_unit.config, kIn, 16, 4, 0, kWebEqRules, lines);
  EXPECT_EQ(lines,
            "[SUCCESS]Set input group 3 EQ 5 off.\r\n"
            "[ERROR]Analogue intput CH1 equalizer is flat mode now, setting invalid. (This "
            "error is if EQ is set to flat and not custom mode)\r\n"
            "[SUCCESS]Set tarvo input CH4 EQ 5 off.\r\n"
            "[SUCCESS]Set USB input right EQ 5 off.\r\n");
  EXPECT_EQ(Mem(kIn, 2, 16).bypass[4], 0);
  EXPECT_EQ(Mem(kIn, 0, 0).bypass[4], 1);
  EXPECT_EQ(Mem(kIn, 1, 7).bypass[4], 0);
  EXPECT_EQ(Mem(kIn, 2, 13).bypass[4], 0);
  EXPECT_EQ(Order(Biquads()), (std::vector<std::string>{"in 7 band 4", "in 13 band 4"}));

  // A single target on Flat: the line, the group left, nothing written.
  Unlock(kIn);
  platform::sim_i2c().ClearTransfers();
  lines.clear();
  SetEqBandSwitch(g_unit.config, kIn, 0, 4, 0, kWebEqRules, lines);
  EXPECT_EQ(lines, "[SUCCESS]Set analogue input CH1 EQ 5 off.\r\n");
  EXPECT_EQ(g_unit.config.group_input_stereo3[0], 0);
  EXPECT_EQ(Mem(kIn, 0, 0).bypass[4], 1);
  EXPECT_TRUE(Biquads().empty());
  lines.clear();
  SetEqBandSwitch(g_unit.config, kIn, 12, 0, 1, kWebEqRules, lines);
  EXPECT_EQ(lines, "[SUCCESS]Set USB input left EQ 1 on.\r\n");
}

TEST_F(EqChangesTest, ClearPutsTheSelectedCustomMemoryBack) {
  Unlock(kIn);
  g_unit.config.input_preset[4] = 1;
  Shape(kIn, 1, 4, 6.0f);
  Shape(kIn, 2, 4, 6.0f);
  ClearEqMemory(g_unit.config, kIn, 4, lines);
  EXPECT_EQ(lines, "[SUCCESS]Set tarvo CH1clear.\r\n");
  const int frequencies[kEqBands] = {32, 80, 200, 500, 1250, 3150, 8000, 12000};
  auto qs = Biquads();
  ASSERT_EQ(qs.size(), 8u);
  for (int b = 0; b < kEqBands; ++b) {
    EXPECT_EQ(Mem(kIn, 1, 4).frequency[b], frequencies[b]);
    EXPECT_EQ(Mem(kIn, 1, 4).gain[b], 0.0f);
    EXPECT_EQ(Mem(kIn, 1, 4).quality[b], 1.41f);
    EXPECT_EQ(Mem(kIn, 1, 4).bypass[b], 1);
    EXPECT_STREQ(Mem(kIn, 1, 4).type_name[b], "PARAMETRIC");
    EXPECT_EQ(qs[b].words, (std::vector<uint32_t>{0, 0, 0x01000000, 0, 0}));
  }
  EXPECT_EQ(Mem(kIn, 2, 4).gain[0], 6.0f);  // the other memory keeps its bands

  const struct {
    int side, slot;
    const char* line;
  } cases[] = {
      {kIn, 0, "[SUCCESS]Set analogue CH1 clear.\r\n"},
      {kIn, 13, "[SUCCESS]Set USB input right EQ clear.\r\n"},
      {kIn, 15, "[SUCCESS]Set input group 2 EQ clear.\r\n"},
      {kOut, 17, "[SUCCESS]Set output group D EQ clear.\r\n"},
      {kOut, 4, "[SUCCESS]Set tarvo output CH1/CH2 EQ clear.\r\n"},
      {kOut, 1, "[SUCCESS]Set analogue output CH1/CH2 EQ clear.\r\n"},
      {kOut, 12, "[SUCCESS]Set USB left/right output EQ clear.\r\n"},
      {kIn, kAllEqSlots, "[SUCCESS]Set all input EQ clear.\r\n"},
  };
  for (const auto& c : cases) {
    lines.clear();
    ClearEqMemory(g_unit.config, c.side, c.slot, lines);
    EXPECT_EQ(lines, c.line);
  }
  // Output clears lock the pair.
  EXPECT_EQ(g_unit.config.output_stereo[4], 1);
  EXPECT_EQ(g_unit.config.output_stereo[5], 1);
}

TEST_F(EqChangesTest, ClearOfAllResendsFlatAndResetsGroupSlotsWithoutSending) {
  Shape(kIn, 0, 3, 2.0f);
  g_unit.config.input_preset[16] = 2;
  Shape(kIn, 2, 16, 2.0f);
  g_unit.config.input_preset[5] = 1;
  Shape(kIn, 1, 5, 2.0f);
  ClearEqMemory(g_unit.config, kIn, kAllEqSlots, lines);
  EXPECT_EQ(Mem(kIn, 0, 3).gain[1], 2.5f);  // Flat never changes
  EXPECT_EQ(Mem(kIn, 2, 16).gain[1], 0.0f);
  EXPECT_EQ(Mem(kIn, 1, 5).gain[1], 0.0f);
  const auto qs = Biquads();
  ASSERT_EQ(qs.size(), 112u);
  for (const auto& q : qs) EXPECT_LT(q.channel, kDspChannels);
  EXPECT_TRUE(WordsAre(qs[3 * 8 + 1], Mem(kIn, 0, 3), 1));
}

TEST_F(EqChangesTest, ResetSelectsAndResetsAndFlatIsLoaded) {
  Unlock(kIn);
  g_unit.config.input_preset[2] = 1;
  Shape(kIn, 1, 2, 3.0f);
  Shape(kIn, 2, 2, 3.0f);
  ResetEqMemory(g_unit.config, kIn, 2, 2, lines);
  EXPECT_EQ(lines, "[SUCCESS]Set analogue input CH3 PEQ Custom2 to reset.\r\n");
  EXPECT_EQ(g_unit.config.input_preset[2], 2);
  EXPECT_EQ(Mem(kIn, 2, 2).gain[0], 0.0f);
  EXPECT_EQ(Mem(kIn, 1, 2).gain[0], 3.0f);
  EXPECT_EQ(Biquads().size(), 8u);

  // Flat: selected and loaded, so the DSP plays what the record says.
  Shape(kIn, 0, 2, 1.0f);
  platform::sim_i2c().ClearTransfers();
  lines.clear();
  ResetEqMemory(g_unit.config, kIn, 2, 0, lines);
  EXPECT_EQ(lines, "[SUCCESS]Set analogue input CH3 PEQ Flat to reset.\r\n");
  EXPECT_EQ(g_unit.config.input_preset[2], 0);
  auto qs = Biquads();
  ASSERT_EQ(qs.size(), 8u);
  for (int b = 0; b < kEqBands; ++b) EXPECT_TRUE(WordsAre(qs[b], Mem(kIn, 0, 2), b));

  // Groups: the output line says GEQ; every member reloaded, outputs too.
  g_unit.config.group_output_stereo3[0] = 1;
  g_unit.config.group_output_stereo3[11] = 1;
  platform::sim_i2c().ClearTransfers();
  lines.clear();
  ResetEqMemory(g_unit.config, kOut, 16, 0, lines);
  EXPECT_EQ(lines,
            "[SUCCESS]Set output group C GEQ Flat to reset.\r\n"
            "[SUCCESS]Set analogue output CH1 PEQ Flat to reset.\r\n"
            "[SUCCESS]Set tarvo output CH8 PEQ Flat to reset.\r\n");
  EXPECT_EQ(Biquads().size(), 16u);
  lines.clear();
  ResetEqMemory(g_unit.config, kIn, 14, 1, lines);
  EXPECT_EQ(lines, "[SUCCESS]Set input group 1 PEQ Custom1 to reset.\r\n");
  // A locked pair: both channels, a line each.
  lines.clear();
  ResetEqMemory(g_unit.config, kOut, 13, 1, lines);
  EXPECT_EQ(lines,
            "[SUCCESS]Set USB output left PEQ Custom1 to reset.\r\n"
            "[SUCCESS]Set USB output right PEQ Custom1 to reset.\r\n");
}

}  // namespace
