#include <cmath>
#include <functional>

#include "devctl/devices/dsp_channels.h"
#include "tests/support/sim_unit.h"

namespace {

class DspChannelsTest : public testsupport::SimUnitFixture {
 protected:
  DspChannelsTest() : SimUnitFixture(Drivers()) {}
  // The one safeload a setter made: (DSP 7-bit address, cell, word).
  struct Landing {
    unsigned dsp;
    uint16_t cell;
    uint32_t word;
    bool operator==(const Landing& o) const {
      return dsp == o.dsp && cell == o.cell && word == o.word;
    }
  };
  std::vector<Landing> Landings() {
    std::vector<Landing> out;
    for (auto* d : {&board().dsp_a(), &board().dsp_b()}) {
      for (const auto& e : d->Safeloads()) {
        out.push_back({d == &board().dsp_a() ? 0x38u : 0x39u, e.target, e.words.at(0)});
      }
    }
    return out;
  }
  void Clear() {
    board().dsp_a().ClearJournal();
    board().dsp_b().ClearJournal();
    bus().ClearTransfers();
  }
};

TEST_F(DspChannelsTest, EachSetterLandsInItsChannelsCell) {
  constexpr unsigned A = 0x38, B = 0x39;
  // index: DSP, input gain, input mute, output volume, output mute, source (A), delay
  const struct {
    unsigned dsp;
    uint16_t gain, in_mute, volume, out_mute, source, delay;
  } rows[14] = {
      {A, 0x10E, 0x133, 0x1B20, 0x1B33, 0x1B49, 0x1B43},
      {A, 0x111, 0x136, 0x1B23, 0x1B36, 0x1B4A, 0x1B44},
      {A, 0x114, 0x139, 0x1B26, 0x1B39, 0x1B4B, 0x1B45},
      {A, 0x117, 0x13C, 0x1B29, 0x1B3C, 0x40E4, 0x1B46},
      {B, 0x1CD, 0x1E6, 0x3230, 0x3238, 0x40E7, 0x200},
      {B, 0x1D0, 0x1E9, 0x3231, 0x3239, 0x40E8, 0x201},
      {B, 0x1D3, 0x1EC, 0x3232, 0x323A, 0x40E9, 0x202},
      {B, 0x1D6, 0x1EF, 0x3233, 0x323B, 0x40EA, 0x203},
      {B, 0x1D9, 0x1F2, 0x322C, 0x3234, 0x40EB, 0x1FC},
      {B, 0x1DC, 0x1F5, 0x322D, 0x3235, 0x40EC, 0x1FD},
      {B, 0x1DF, 0x1F8, 0x322E, 0x3236, 0x40ED, 0x1FE},
      {B, 0x1E2, 0x1FB, 0x322F, 0x3237, 0x40EE, 0x1FF},
      {A, 0xD4, 0x40EF, 0x1B2C, 0x1B3F, 0x40E5, 0x1B47},
      {A, 0xD7, 0x40F0, 0x1B2F, 0x1B42, 0x40E6, 0x1B47},
  };
  for (int i = 0; i < 14; ++i) {
    const auto& r = rows[i];
    const struct {
      const char* setter;
      std::function<void()> call;
      Landing expected;
    } calls[] = {
        {"input gain",
         [i] { DspSetInputGain(i, 0); },
         {r.dsp, r.gain, i < 4 ? 0x02D1818Bu : 0x01000000u}},
        {"input mute", [i] { DspSetInputMute(i, true); }, {r.dsp, r.in_mute, 0}},
        {"output volume", [i] { DspSetOutputVolume(i, 50); }, {r.dsp, r.volume, 0x00800000}},
        {"output mute", [i] { DspSetOutputMute(i, false); }, {r.dsp, r.out_mute, 0x01000000}},
        {"output source", [i] { DspSetOutputSource(i, 1); }, {A, r.source, 1}},
        {"output delay", [i] { DspSetOutputDelay(i, 48); }, {r.dsp, r.delay, 48}},
    };
    for (const auto& c : calls) {
      Clear();
      c.call();
      EXPECT_EQ(Landings(), std::vector<Landing>{c.expected}) << c.setter << " index " << i;
      EXPECT_EQ(bus().TransferCount(), 3u) << c.setter << " index " << i;
    }
  }
}

TEST_F(DspChannelsTest, AnalogueTrimFollowsItsFormulaAndGivenWords) {
  for (int d = -30; d <= 30; ++d) {
    double o = d <= -10 ? -16.5 : d <= 5 ? -9 : d <= 19 ? 6 : 19.7;
    uint32_t expected = uint32_t(std::llround(std::pow(10.0, (d - o) / 20.0) * 16777216.0));
    EXPECT_EQ(g_dsp_analog_trim[d + 30], expected) << d << " dB";
  }
  const struct {
    int db;
    uint32_t word;
  } given[] = {{-30, 0x00361AF6}, {-10, 0x021D0D9E}, {-9, 0x01000000}, {5, 0x05030A11},
               {6, 0x01000000},   {19, 0x0477828F},  {20, 0x0108FF14}, {30, 0x0345FDFF}};
  for (const auto& g : given) EXPECT_EQ(DspInputGainWord(0, g.db), g.word) << g.db;
}

TEST_F(DspChannelsTest, WordsOfGainAndVolume) {
  const struct {
    const char* what;
    uint32_t actual, expected;
  } cases[] = {
      {"USB 0 dB", DspInputGainWord(12, 0), 0x01000000},
      {"Tarvo -20 dB", DspInputGainWord(4, -20), 0x00199999},
      {"Tarvo 6 dB", DspInputGainWord(4, 6), 0x01FEC984},
      {"Tarvo 30 dB", DspInputGainWord(11, 30), 0x1F9F6E40},
      {"analogue 99 dB clamps to 30", DspInputGainWord(1, 99), 0x0345FDFF},
      {"analogue -99 dB clamps to -30", DspInputGainWord(1, -99), 0x00361AF6},
      {"volume 0", DspOutputVolumeWord(0), 0},
      {"volume 1", DspOutputVolumeWord(1), 0x00028F5C},
      {"volume 33", DspOutputVolumeWord(33), 0x00547AE1},
      {"volume 50", DspOutputVolumeWord(50), 0x00800000},
      {"volume 100", DspOutputVolumeWord(100), 0x01000000},
  };
  for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected) << c.what;
}

TEST_F(DspChannelsTest, SourceCodesAndDelayWords) {
  DspSetOutputSource(5, 13);
  EXPECT_EQ(Landings(), (std::vector<Landing>{{0x38, 0x40E8, 5}}));
  const struct {
    int source;
    uint32_t code;
  } codes[] = {{0, 0},   {1, 1},  {4, 4},  {5, 7},  {7, 9},
               {12, 14}, {13, 5}, {14, 6}, {15, 0}, {-1, 0}};
  for (const auto& c : codes) EXPECT_EQ(DspSourceCode(c.source), c.code) << c.source;

  Clear();
  DspSetOutputDelay(0, 50 * 48);
  DspSetOutputDelay(1, 65536);
  EXPECT_EQ(Landings(), (std::vector<Landing>{{0x38, 0x1B43, 0x960}, {0x38, 0x1B44, 0}}));
}

TEST_F(DspChannelsTest, IndexesOutsideTheTablesWriteNothing) {
  for (int i : {-1, 14, 1000}) {
    DspSetInputGain(i, 0);
    DspSetInputMute(i, true);
    DspSetOutputVolume(i, 50);
    DspSetOutputMute(i, true);
    DspSetOutputSource(i, 1);
    DspSetOutputDelay(i, 1);
  }
  EXPECT_EQ(bus().TransferCount(), 0u);
}

TEST_F(DspChannelsTest, SignalDetectionStopsAtTheFirstMeterAboveThreshold) {
  board().SetAllMeters(0x10);
  EXPECT_EQ(DspDetectSignal(), 0);
  EXPECT_EQ(bus().TransferCount(), 28u);  // 14 combined transfers of two messages

  bus().ClearTransfers();
  board().dsp_a().SetWord(0x46, 0x11);
  EXPECT_EQ(DspDetectSignal(), 1);
  EXPECT_EQ(bus().TransferCount(), 6u);  // the third meter

  // A DSP that does not answer counts as silence.
  board().SetAllMeters(0);
  board().dsp_b().SetWord(0x88, 0x01000000);
  board().dsp_b().SetPresent(false);
  EXPECT_EQ(DspDetectSignal(), 0);
  board().dsp_b().SetPresent(true);
  EXPECT_EQ(DspDetectSignal(), 1);
}

}  // namespace
