#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/presets.h"
#include "devctl/core/record_writes.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/dsp_biquad.h"
#include "devctl/devices/dsp_channels.h"
#include "platform/paths.h"
#include "platform/storage.h"
#include "tests/support/sim_unit.h"

namespace {

class PresetRecall : public testsupport::SimUnitFixture {
 protected:
  PresetRecall() : SimUnitFixture(Panel()) {}
  void SetUp() override {
    SimUnitFixture::SetUp();
    g_unit.config_path = kConfigFile;
    ResetAppConfig(g_unit.config_path, &g_unit.config, "02:00:00:00:00:01");
    g_unit.config.type = "TRX";
    for (auto& slot : g_unit.presets) slot = g_unit.config;
    g_unit.config.preset_enable[2] = 1;
    ClearJournals();
  }
  void ClearJournals() {
    board().dsp_a().ClearJournal();
    board().dsp_b().ClearJournal();
    platform::sim_i2c().ClearTransfers();
  }
  // Safeloads of one word (channel setters) per DSP, as (cell, word).
  static std::vector<std::pair<uint16_t, uint32_t>> SetterWrites(const sim::SimDsp& dsp) {
    std::vector<std::pair<uint16_t, uint32_t>> out;
    for (const auto& e : dsp.Safeloads())
      if (e.words.size() == 1) out.emplace_back(e.target, e.words[0]);
    return out;
  }
  static size_t BiquadWrites(const sim::SimDsp& dsp) {
    auto events = dsp.Safeloads();
    return size_t(std::count_if(events.begin(), events.end(),
                                [](const sim::SafeloadEvent& e) { return e.words.size() == 5; }));
  }
  // Recalls preset n as a command does (into the record, under the lock), then makes it heard as
  // the worker does; whether the preset was taken. The recall itself saves nothing: the command's
  // frame does.
  bool Recall(int n) {
    const long syncs = platform::SyncCount();
    bool taken;
    {
      ConfigLock lock;
      taken = RecallPresetIntoRecord(g_unit, n);
    }
    EXPECT_EQ(RecallWritesPending(), taken);
    RunPendingRecall(false);
    EXPECT_FALSE(RecallWritesPending());
    EXPECT_EQ(platform::SyncCount(), syncs);
    return taken;
  }
  app_config_s& slot(int n) { return g_unit.presets[n - 1]; }
};

TEST_F(PresetRecall, EqualPresetRewritesOnlyTheEqualisers) {
  EXPECT_TRUE(Recall(3));
  EXPECT_TRUE(SetterWrites(board().dsp_a()).empty());
  EXPECT_TRUE(SetterWrites(board().dsp_b()).empty());
  // 14 channels x 8 bands x 2 directions: inputs and outputs of channels 5-12 sit on DSP B.
  EXPECT_EQ(BiquadWrites(board().dsp_a()) + BiquadWrites(board().dsp_b()), 224u);
  EXPECT_TRUE(Writes(4, 0x18).empty());
}

TEST_F(PresetRecall, DifferencesAreWrittenRoutingFirst) {
  slot(3).control[5] = 13;              // output Tarvo 2 from USB left
  slot(3).tarvo_input_gain[0] = -12;    // input 5
  slot(3).analogue_input_gain[0] = 10;  // input 1: range first, then the trim
  slot(3).tarvo_input_mute[1] = 1;      // input 6 muted
  slot(3).analogue_output_delay[1] = 20;
  g_unit.config.analogue_output_delay[0] = 20;  // back to 0 by the preset
  EXPECT_TRUE(Recall(3));

  EXPECT_EQ(SetterWrites(board().dsp_a()),
            (std::vector<std::pair<uint16_t, uint32_t>>{
                {0x40E8, 5}, {0x10E, 0x0195BB8F}, {0x1B43, 0}, {0x1B44, 20 * 48}}));
  EXPECT_EQ(SetterWrites(board().dsp_b()),
            (std::vector<std::pair<uint16_t, uint32_t>>{{0x1CD, 0x00404DE6}, {0x1E9, 0}}));
  EXPECT_EQ(BiquadWrites(board().dsp_a()) + BiquadWrites(board().dsp_b()), 224u);
  ASSERT_FALSE(Writes(4, 0x18).empty());
  EXPECT_EQ(g_unit.config.control[5], 13);
  EXPECT_EQ(g_unit.config.analogue_output_delay[0], 0);
  EXPECT_EQ(g_unit.config.tarvo_input_mute[1], 1);
}

TEST_F(PresetRecall, SelectedCustomMemoryIsCopiedAndOthersStay) {
  app_config_s& p = slot(3);
  p.input_preset[3] = 2;
  p.input_custom2_date[3].gain[2] = 4.5f;
  SetNameField(p.input_custom2_date[3].type_name[2], "LOW_SHELF");
  p.input_custom1_date[3].gain[2] = -7.0f;  // not selected: stays in the slot only
  p.input_flat_date[0].gain[0] = 9.0f;      // Flat is never copied
  p.output_preset[15] = 1;                  // a group slot: copied, never written
  p.output_custom1_date[15].frequency[0] = 1234;
  g_unit.config.input_custom1_date[3].gain[2] = 1.0f;
  g_unit.config.input_flat_date[0].gain[0] = -2.0f;

  EXPECT_TRUE(Recall(3));
  EXPECT_EQ(g_unit.config.input_preset[3], 2);
  EXPECT_FLOAT_EQ(g_unit.config.input_custom2_date[3].gain[2], 4.5f);
  EXPECT_STREQ(g_unit.config.input_custom2_date[3].type_name[2], "LOW_SHELF");
  EXPECT_FLOAT_EQ(g_unit.config.input_custom1_date[3].gain[2], 1.0f);
  EXPECT_FLOAT_EQ(g_unit.config.input_flat_date[0].gain[0], -2.0f);
  EXPECT_EQ(g_unit.config.output_custom1_date[15].frequency[0], 1234);
  EXPECT_EQ(BiquadWrites(board().dsp_a()) + BiquadWrites(board().dsp_b()), 224u);
}

TEST_F(PresetRecall, OnlyAudioSettingsAreTaken) {
  app_config_s& p = slot(3);
  p.analogue_input_stereo[0] = 1;
  p.usb_output_stereo = 1;
  p.group_input_stereo2[4] = 1;
  p.group_output_vol[1] = 33;
  p.input_geq_chn = 7;
  p.output_geq_chn = 9;
  SetNameField(p.input_name[0], "Preset name");
  p.user[0].user = "someone";
  p.ipaddress = "10.9.9.9";
  p.front_lcd = 0;
  p.preset_enable[5] = 1;
  app_config_s before = g_unit.config;

  EXPECT_TRUE(Recall(3));
  EXPECT_EQ(g_unit.config.analogue_input_stereo[0], 1);
  EXPECT_EQ(g_unit.config.usb_output_stereo, 1);
  EXPECT_EQ(g_unit.config.group_input_stereo2[4], 1);
  EXPECT_EQ(g_unit.config.group_output_vol[1], 33);
  EXPECT_EQ(g_unit.config.input_geq_chn, 7);
  EXPECT_EQ(g_unit.config.output_geq_chn, before.output_geq_chn);
  EXPECT_STREQ(g_unit.config.input_name[0], before.input_name[0]);
  EXPECT_EQ(g_unit.config.user[0].user, before.user[0].user);
  EXPECT_EQ(g_unit.config.ipaddress, before.ipaddress);
  EXPECT_EQ(g_unit.config.front_lcd, before.front_lcd);
  EXPECT_EQ(g_unit.config.preset_enable[5], 0);
  EXPECT_TRUE(SetterWrites(board().dsp_a()).empty());
}

TEST_F(PresetRecall, DisabledOrInvalidPresetsWriteNothing) {
  slot(5).control[0] = 3;
  EXPECT_FALSE(Recall(5));  // disabled
  EXPECT_NE(g_unit.config.control[0], 3);
  for (int n : {9, -1, 1000}) EXPECT_FALSE(Recall(n)) << n;
  EXPECT_TRUE(board().dsp_a().Safeloads().empty());
  EXPECT_TRUE(board().dsp_b().Safeloads().empty());
}

TEST_F(PresetRecall, SlotsLoadFromThePresetFiles) {
  app_config_s stored = g_unit.config;
  stored.control[2] = 7;
  ASSERT_TRUE(SaveAppConfig("/oem/app_preset4.json", &stored));
  g_unit.presets[3] = app_config_s();
  g_unit.presets[0] = app_config_s();
  g_unit.presets[0].control[2] = 99;
  LoadPresetSlots();
  EXPECT_EQ(g_unit.presets[3].control[2], 7);
  // A missing file leaves the slot at the defaults.
  EXPECT_EQ(g_unit.presets[0].control[2], g_unit.config.control[2]);
}

// Temporaries that preset saves cut short by a kill left beside the preset files are removed when
// the slots load at start; the preset files and every other file stay.
TEST_F(PresetRecall, SlotsLoadRemovesTheTemporariesOfCutShortPresetSaves) {
  app_config_s stored = g_unit.config;
  stored.control[2] = 7;
  ASSERT_TRUE(SaveAppConfig("/oem/app_preset3.json", &stored));
  const std::string oem = platform::Path("/oem") + "/";
  for (const char* name : {"app_preset3.json.tmp.12.0", "app_preset8.json.tmp.99.7",
                           "app_preset1.json.tmp.5.5", "app_preset9.json.tmp.1.1",
                           "notes.tmp.1.1"}) {
    std::ofstream(oem + name) << "{\"partial";
  }
  LoadPresetSlots();
  EXPECT_EQ(g_unit.presets[2].control[2], 7);
  for (const char* gone :
       {"app_preset3.json.tmp.12.0", "app_preset8.json.tmp.99.7", "app_preset1.json.tmp.5.5"}) {
    EXPECT_FALSE(std::filesystem::exists(oem + gone)) << gone;
  }
  for (const char* kept : {"app_preset3.json", "app_preset9.json.tmp.1.1", "notes.tmp.1.1"}) {
    EXPECT_TRUE(std::filesystem::exists(oem + kept)) << kept;
  }
}

}  // namespace

namespace {

TEST_F(PresetRecall, CommandsDuringTheWritesAreWhatTheBoardEndsWith) {
  slot(3).control[5] = 13;  // the first write: routing
  slot(3).analogue_output_vol[0] = 40;
  slot(3).output_preset[13] = 1;
  slot(3).output_custom1_date[13].gain[0] = 3.0f;
  bool changed = false;
  // Another port's commands land while the recall writes the board: the record changes first
  // (those commands' own writes come before the recall's, which must not undo them).
  platform::sim_i2c().SetTransferHook([&] {
    if (changed) return;
    changed = true;
    ConfigLock lock;
    g_unit.config.analogue_output_vol[0] = 77;
    g_unit.config.output_custom1_date[13].gain[0] = -6.0f;
  });
  EXPECT_TRUE(Recall(3));
  platform::sim_i2c().SetTransferHook(nullptr);
  ASSERT_TRUE(changed);
  EXPECT_EQ(board().dsp_a().Word(uint16_t(g_dsp_output_volume_addr[0])), DspOutputVolumeWord(77));
  // Output 14's band 1 (on DSP A) as the record holds it now, written through the same path.
  auto band_words = [this] {
    std::vector<uint32_t> words;
    for (int w = 0; w < 5; ++w) {
      words.push_back(board().dsp_a().Word(uint16_t(g_dsp_biquad_addr[EQ_SIDE_OUTPUT][13] + w)));
    }
    return words;
  };
  const std::vector<uint32_t> recalled = band_words();
  WriteEqBands(g_unit.config, EQ_SIDE_OUTPUT, 13);
  EXPECT_EQ(band_words(), recalled);
  EXPECT_FLOAT_EQ(g_unit.config.output_custom1_date[13].gain[0], -6.0f);
}

TEST_F(PresetRecall, RequestDuringARecallWaitsForTheNextPass) {
  g_unit.config.preset_enable[3] = 1;
  bool requested = false;
  platform::sim_i2c().SetTransferHook([&] {
    if (!requested) {
      requested = true;
      ConfigLock lock;
      RecallPresetIntoRecord(g_unit, 4);
    }
  });
  {
    ConfigLock lock;
    ASSERT_TRUE(RecallPresetIntoRecord(g_unit, 3));
  }
  RunPendingRecall(false);
  platform::sim_i2c().SetTransferHook(nullptr);
  EXPECT_TRUE(requested);
  EXPECT_TRUE(RecallWritesPending());
}

// Two recalls before the worker's pass: the first one's differences are written even where the
// second finds the record equal already, and the board ends on the second preset.
TEST_F(PresetRecall, RecallsBeforeOnePassAreAllHeard) {
  g_unit.config.preset_enable[3] = 1;
  g_unit.config.analogue_output_vol[0] = 20;
  slot(3).analogue_output_vol[0] = 90;
  slot(4).analogue_output_vol[0] = 90;
  slot(3).usb_input_gain[1] = 6;  // channel 14; preset 4 keeps the live 0
  {
    ConfigLock lock;
    ASSERT_TRUE(RecallPresetIntoRecord(g_unit, 3));
    ASSERT_TRUE(RecallPresetIntoRecord(g_unit, 4));
  }
  RunPendingRecall(false);
  EXPECT_EQ(board().dsp_a().Word(uint16_t(g_dsp_output_volume_addr[0])), DspOutputVolumeWord(90));
  EXPECT_EQ(g_unit.config.usb_input_gain[1], 0);
  const auto writes = SetterWrites(board().dsp_a());
  EXPECT_EQ(std::count_if(writes.begin(), writes.end(),
                          [](const std::pair<uint16_t, uint32_t>& w) {
                            return w.first == g_dsp_input_gain_addr[13];
                          }),
            1);
}

}  // namespace
