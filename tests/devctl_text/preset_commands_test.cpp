// The PRESET text commands through the dispatcher: replies, the preset directory in the
// configuration and in the file, the preset files, and the recall by the power and preset worker.
#include "devctl/text/preset_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "devctl/core/config_file.h"
#include "devctl/core/presets.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/hardware/power.h"
#include "devctl/text/dispatcher.h"
#include "platform/sim_sysfs.h"
#include "platform/storage.h"
#include "tests/support/eq_design.h"
#include "tests/support/text_commands.h"

namespace {

const std::string kRangeError =
    "[ERROR]Set preset param out of range. Type \"HELP\" for more reference.\r\n";

class PresetCommands : public testsupport::TextCommandFixture {
 protected:
  PresetCommands() : TextCommandFixture(SystemLines()) {}
  void SetUp() override {
    TextCommandFixture::SetUp();
    ASSERT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));
  }
  // devctl started again on the same folder: the configuration and the preset slots reloaded.
  void Restart() {
    g_unit.config = app_config_s();
    for (auto& slot : g_unit.presets) slot = app_config_s();
    std::string path;
    OpenAppConfig(path, kConfigFile, &g_unit.config, "02:00:00:00:00:01", "TRX");
    g_unit.config_path = path;
    LoadPresetSlots();
  }
};

TEST_F(PresetCommands, RangeAndNameErrors) {
  const app_config_s before = g_unit.config;
  const long saves = Saves();
  for (const char* line :
       {"preset 9 save\r", "preset save\r", "preset 0 apply\r", "preset 9 delete\r",
        "preset 9 status\r", "preset status\r", "preset 2 name\r",
        "preset 2 name ABCDEFGHIJKLMNOPQRSTUVWXY\r", "preset 9 name Hall\r",
        "preset 2 name Tab\tHere\r", "preset 2 name esc\x1b[2J\r"}) {
    EXPECT_EQ(Run(line), kRangeError) << line;
  }
  // A name part far beyond the buffer.
  std::string huge = "preset 2 name " + std::string(900, 'x') + "\r";
  EXPECT_EQ(Run(huge), kRangeError);
  EXPECT_EQ(Saves(), saves);
  EXPECT_STREQ(g_unit.config.preset_name[1], before.preset_name[1]);
  EXPECT_EQ(Run("preset 2 status\r"), "[ERROR]Preset 2 not enable.\r\n");
  EXPECT_EQ(Run("preset 3 apply\r"), "[ERROR]Preset 3 not enable.\r\n");
  EXPECT_EQ(g_unit.config.preset_recall, 0);
  EXPECT_FALSE(RecallWritesPending());
}

TEST_F(PresetCommands, NamesKeepTheirCaseAndKeywordsInsideThemDoNothing) {
  EXPECT_EQ(Run("preset 2 name Stage Left\r"),
            "[SUCCESS]Set preset 2 with the name StageLeft.\r\n");
  EXPECT_STREQ(g_unit.config.preset_name[1], "StageLeft");
  EXPECT_STREQ(Saved().preset_name[1], "StageLeft");
  // 24 characters are stored whole.
  EXPECT_EQ(Run("preset 1 name ABCDEFGHIJKLMNOPQRSTUVWX\r"),
            "[SUCCESS]Set preset 1 with the name ABCDEFGHIJKLMNOPQRSTUVWX.\r\n");
  for (const char* name : {"SAVE ME", "STATUS", "DELETE", "APPLY"}) {
    std::string expected = std::string(name);
    expected.erase(std::remove(expected.begin(), expected.end(), ' '), expected.end());
    EXPECT_EQ(Run(std::string("preset 1 name ") + name + "\r"),
              "[SUCCESS]Set preset 1 with the name " + expected + ".\r\n");
  }
  EXPECT_EQ(g_unit.config.preset_enable[0], 0);
  EXPECT_FALSE(Exists("/oem/app_preset1.json"));
}

TEST_F(PresetCommands, SaveNeedsANameAndWritesTheRecordAsTheConfigurationFileHoldsIt) {
  g_unit.config.analogue_input_gain[0] = 7;
  g_unit.config.preset_name[3][0] = '\0';
  ASSERT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));
  const std::string on_disk = Read("/oem/app.json");
  EXPECT_EQ(Run("preset 4 save\r"), "[ERROR]Preset 4 not name.\r\n");
  EXPECT_EQ(g_unit.config.preset_enable[3], 0);

  EXPECT_EQ(Run("preset 3 save\r"), "[SUCCESS]Save current config to preset 3.\r\n");
  EXPECT_EQ(g_unit.config.preset_enable[2], 1);
  // The preset file is the record before this save, byte for byte as the configuration file
  // holds it.
  EXPECT_EQ(Read("/oem/app_preset3.json"), on_disk);
  EXPECT_EQ(g_unit.presets[2].analogue_input_gain[0], 7);
  // The enable flag reached the file at once.
  EXPECT_EQ(Saved().preset_enable[2], 1);
}

TEST_F(PresetCommands, FailedSaveKeepsWhatWasThere) {
  ASSERT_EQ(Run("preset 3 save\r"), "[SUCCESS]Save current config to preset 3.\r\n");
  const std::string preset_file = Read("/oem/app_preset3.json");
  g_unit.config.analogue_input_gain[0] = -9;
  ASSERT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));
  // No file can be written: the overwrite fails, the preset saved before stays as it was.
  platform::FailWritesAfter(0);
  EXPECT_EQ(Run("preset 3 save\r"), "[ERROR]Preset 3 could not be saved.\r\n");
  // A preset that had no file stays disabled.
  EXPECT_EQ(Run("preset 5 save\r"), "[ERROR]Preset 5 could not be saved.\r\n");
  platform::FailWritesAfter(-1);
  EXPECT_EQ(g_unit.config.preset_enable[2], 1);
  EXPECT_EQ(Read("/oem/app_preset3.json"), preset_file);
  EXPECT_EQ(Saved().preset_enable[2], 1);
  EXPECT_EQ(g_unit.config.preset_enable[4], 0);
  EXPECT_FALSE(Exists("/oem/app_preset5.json"));
  EXPECT_EQ(Saved().preset_enable[4], 0);
  // The preset is written from the record, not copied from the configuration file: without that
  // file it is saved all the same, with what the record holds.
  ASSERT_EQ(std::remove(platform::Path("/oem/app.json").c_str()), 0);
  EXPECT_EQ(Run("preset 3 save\r"), "[SUCCESS]Save current config to preset 3.\r\n");
  EXPECT_EQ(g_unit.presets[2].analogue_input_gain[0], -9);
}

TEST_F(PresetCommands, AnEnabledPresetWithoutAGoodFileIsNotRecalled) {
  ASSERT_EQ(Run("preset 2 save\r"), "[SUCCESS]Save current config to preset 2.\r\n");
  g_unit.config.analogue_output_vol[1] = 61;
  const char* const contents[] = {"", "{\"user_cnt\":", nullptr};  // nullptr: no file
  for (const char* content : contents) {
    if (content == nullptr) {
      ASSERT_EQ(std::remove(platform::Path("/oem/app_preset2.json").c_str()), 0);
    } else {
      Write("/oem/app_preset2.json", content);
    }
    EXPECT_EQ(Run("preset 2 apply\r"), "[ERROR]Preset 2 could not be read.\r\n");
    EXPECT_FALSE(RecallWritesPending());
    PowerWorkerPass();
    EXPECT_EQ(g_unit.config.analogue_output_vol[1], 61);
    EXPECT_EQ(g_unit.config.preset_enable[1], 1);
  }
}

// The command changes the record and saves it; the worker makes the recall heard.
TEST_F(PresetCommands, ApplyChangesTheRecordAndTheWorkerTheBoard) {
  g_unit.config.analogue_output_vol[0] = 40;
  ASSERT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));
  ASSERT_EQ(Run("preset 5 save\r"), "[SUCCESS]Save current config to preset 5.\r\n");
  g_unit.config.analogue_output_vol[0] = 90;
  const long saves = Saves();
  EXPECT_EQ(Run("preset 5 apply\r"), "[SUCCESS]Recall preset 5 to the current setting.\r\n");
  EXPECT_EQ(Saves(), saves + 1);
  EXPECT_EQ(g_unit.config.preset_recall, 5);
  EXPECT_EQ(g_unit.config.analogue_output_vol[0], 40);
  EXPECT_EQ(Saved().analogue_output_vol[0], 40);
  EXPECT_EQ(Saved().preset_recall, 5);
  EXPECT_TRUE(RecallWritesPending());
  EXPECT_NE(VolumeCell(0), DspOutputVolumeWord(40));
  PowerWorkerPass();
  EXPECT_FALSE(RecallWritesPending());
  EXPECT_EQ(VolumeCell(0), DspOutputVolumeWord(40));
  EXPECT_EQ(Saves(), saves + 1);
}

// A line sent right after a recall (before the worker's pass) is what the record, the file and
// the board end with; a delete of the preset after its recall keeps what was recalled.
TEST_F(PresetCommands, WhatFollowsARecallStands) {
  const struct {
    std::vector<std::string> after;
    int volume;
    float band_gain;
  } cases[] = {
      {{"OUT 1 VOL 50\r", "OUT 1 EQ 2 TYPE 4 FRQ 200 GAIN -3 Q 0.7\r"}, 50, -3.0f},
      {{"PRESET 5 DELETE\r"}, 90, 5.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.after.front());
    // Preset 5: output 1 at 90, its Custom1 band 2 at 5 dB.
    g_unit.config.analogue_output_vol[0] = 90;
    g_unit.config.output_preset[0] = g_unit.config.output_preset[1] = 1;
    g_unit.config.output_custom1_date[0].gain[1] = 5.0f;
    ASSERT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));
    ASSERT_EQ(Run("PRESET 5 SAVE\r"), "[SUCCESS]Save current config to preset 5.\r\n");
    ASSERT_EQ(Run("OUT 1 VOL 20\r"), "[SUCCESS]Set analogue output CH1 volume to 20.\r\n");
    g_unit.config.output_custom1_date[0].gain[1] = 0.0f;

    ASSERT_EQ(Run("PRESET 5 APPLY\r"), "[SUCCESS]Recall preset 5 to the current setting.\r\n");
    for (const std::string& line : c.after) {
      const std::string reply = Run(line);
      ASSERT_EQ(reply.find("[SUCCESS]"), 0u) << reply;
    }
    PowerWorkerPass();

    const app_config_s saved = Saved();
    EXPECT_EQ(g_unit.config.analogue_output_vol[0], c.volume);
    EXPECT_EQ(saved.analogue_output_vol[0], c.volume);
    EXPECT_EQ(VolumeCell(0), DspOutputVolumeWord(c.volume));
    EXPECT_FLOAT_EQ(g_unit.config.output_custom1_date[0].gain[1], c.band_gain);
    EXPECT_FLOAT_EQ(saved.output_custom1_date[0].gain[1], c.band_gain);
    EXPECT_TRUE(eqtest::PlaysRecord(board(), EQ_SIDE_OUTPUT, 0));
  }
}

TEST_F(PresetCommands, DeleteFreesThePresetForGood) {
  ASSERT_EQ(Run("preset 4 name Choir\r"), "[SUCCESS]Set preset 4 with the name Choir.\r\n");
  ASSERT_EQ(Run("preset 4 save\r"), "[SUCCESS]Save current config to preset 4.\r\n");
  ASSERT_EQ(Run("preset 4 apply\r"), "[SUCCESS]Recall preset 4 to the current setting.\r\n");
  PowerWorkerPass();
  EXPECT_EQ(Run("preset 4 delete\r"), "[SUCCESS]Delete preset 4 from the system.\r\n");
  EXPECT_EQ(g_unit.config.preset_recall, 0);
  EXPECT_STREQ(g_unit.config.preset_name[3], "Preset 4");
  EXPECT_FALSE(Exists("/oem/app_preset4.json"));
  EXPECT_EQ(Run("preset 4 status\r"), "[ERROR]Preset 4 not enable.\r\n");

  Restart();
  EXPECT_EQ(g_unit.config.preset_enable[3], 0);
  EXPECT_EQ(g_unit.config.preset_recall, 0);
  EXPECT_STREQ(g_unit.config.preset_name[3], "Preset 4");
  EXPECT_EQ(Run("preset 4 apply\r"), "[ERROR]Preset 4 not enable.\r\n");
}

TEST_F(PresetCommands, SavedAndNamedPresetSurvivesARestart) {
  g_unit.config.tarvo_input_gain[1] = -6;
  ASSERT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));
  ASSERT_EQ(Run("preset 6 name Lobby\r"), "[SUCCESS]Set preset 6 with the name Lobby.\r\n");
  ASSERT_EQ(Run("preset 6 save\r"), "[SUCCESS]Save current config to preset 6.\r\n");
  g_unit.config.tarvo_input_gain[1] = 3;
  ASSERT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));

  Restart();
  EXPECT_EQ(g_unit.config.preset_enable[5], 1);
  EXPECT_STREQ(g_unit.config.preset_name[5], "Lobby");
  EXPECT_EQ(g_unit.presets[5].tarvo_input_gain[1], -6);
  EXPECT_EQ(g_unit.config.tarvo_input_gain[1], 3);
  ASSERT_EQ(Run("preset 6 apply\r"), "[SUCCESS]Recall preset 6 to the current setting.\r\n");
  PowerWorkerPass();
  EXPECT_EQ(g_unit.config.tarvo_input_gain[1], -6);
}

TEST_F(PresetCommands, StatusTable) {
  g_unit.config.analogue_input_phantom[0] = 1;
  g_unit.config.analogue_input_stereo[0] = 1;
  g_unit.config.analogue_input_gain[1] = -12;
  g_unit.config.usb_input_mute[1] = 1;
  g_unit.config.control[4] = 0;    // output 5: no source
  g_unit.config.control[0] = 13;   // output 1: USB left
  g_unit.config.control[13] = 77;  // a value no input has
  g_unit.config.analogue_output_vol[0] = 100;
  ASSERT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));
  ASSERT_EQ(Run("preset 1 save\r"), "[SUCCESS]Save current config to preset 1.\r\n");

  const std::string table = Run("preset 1 status\r");
  const std::string lines[] = {
      "Input   Name               Phantom_Power   Locked      Gain(dB)   Mute",
      "01      Analogue_In_CH1    On              Yes         0          Off",
      "02      Analogue_In_CH2    Off             Yes         -12        Off",
      "05      Tarvo_In_CH1       --              No          0          Off",
      "14      USB_In_Right       --              No          0          On ",
      "\r\n\r\nOutput   Name               From              Locked      Volume    Mute",
      "01      Analogue_Out_CH1    USB_In_Left       No          100        Off",
      "05      Tarvo_Out_CH1       None              No          ",
      "14      USB_Out_Right       None              No          ",
  };
  for (const std::string& line : lines) EXPECT_NE(table.find(line), std::string::npos) << line;
  EXPECT_EQ(table.substr(table.size() - 2), "\r\n");
  // 1 + 14 input rows, the empty line, 1 + 14 output rows.
  size_t rows = 0;
  for (size_t at = table.find("\r\n"); at != std::string::npos; at = table.find("\r\n", at + 1))
    ++rows;
  EXPECT_EQ(rows, 31u);
}

}  // namespace
