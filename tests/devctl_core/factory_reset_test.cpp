// The reset of everything writes the factory record as the final configuration: no save of the
// still-old live record reaches the file before the reboot.
#include "devctl/core/factory_reset.h"

#include <gtest/gtest.h>

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_file.h"
#include "devctl/core/name_text.h"
#include "devctl/core/unit_state.h"
#include "tests/support/unit_root.h"

namespace {

class FactoryReset : public testsupport::UnitRootFixture {
 protected:
  void SetUp() override {
    UnitRootFixture::SetUp();
    g_unit.config_path = kConfigFile;
    ResetAppConfig(g_unit.config_path, &g_unit.config, "02:00:00:00:00:01");
    g_unit.config.type = "TRX";
  }
  void TearDown() override {
    UnfreezeConfigSaves();
    g_unit.config = app_config_s();
    UnitRootFixture::TearDown();
  }
  static app_config_s Stored() {
    app_config_s stored;
    std::string path;
    LoadAppConfigFile(path, kConfigFile, &stored, "02:00:00:00:00:01", "TRX");
    return stored;
  }
};

TEST_F(FactoryReset, LaterSavesOfTheLiveRecordDoNotUndoTheReset) {
  g_unit.config.hostname = "studio";
  g_unit.config.analogue_input_gain[0] = 12;
  g_unit.config.tcpport = 9000;
  ASSERT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));

  ASSERT_TRUE(ResetAllForNextStart(g_unit));
  // The live record is untouched; the next command's save is skipped and reports success.
  EXPECT_EQ(g_unit.config.analogue_input_gain[0], 12);
  g_unit.config.analogue_input_gain[1] = 7;
  EXPECT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));
  EXPECT_TRUE(ConfigSavesFrozen(g_unit.config_path));

  const app_config_s stored = Stored();
  EXPECT_EQ(stored.analogue_input_gain[0], 0);
  EXPECT_EQ(stored.analogue_input_gain[1], 0);
  EXPECT_EQ(stored.tcpport, 8000);
  EXPECT_EQ(stored.hostname, "VX7206");
  EXPECT_EQ(Read("/etc/hostname"), "VX7206");
}

TEST_F(FactoryReset, SystemResetKeepsAccountsAndNetwork) {
  g_unit.config.hostname = "studio";
  g_unit.config.tcpport = 9000;
  g_unit.config.analogue_input_gain[0] = 12;
  g_unit.config.standbytime = 45;
  ResetSystemSettings(g_unit);
  EXPECT_EQ(g_unit.config.hostname, "studio");
  EXPECT_EQ(g_unit.config.tcpport, 9000);
  EXPECT_EQ(g_unit.config.analogue_input_gain[0], 0);
  EXPECT_FALSE(ConfigSavesFrozen(g_unit.config_path));
}

TEST(NameText, CleanNamesAndCuts) {
  EXPECT_TRUE(IsCleanName("Lobby A"));
  EXPECT_TRUE(IsCleanName("Bühne"));
  EXPECT_TRUE(IsCleanName(""));
  for (const char* bad : {"a\nb", "a\rb", "\x1b[2J", "tab\there", "del\x7f", "\xc3", "\xc3(",
                          "\xe0\x80\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xff"})
    EXPECT_FALSE(IsCleanName(bad)) << bad;
  EXPECT_EQ(CutAtCharacter("abcdef", 4), "abcd");
  // "ü" is two bytes: a cut inside it drops the whole character.
  EXPECT_EQ(CutAtCharacter("abü", 3), "ab");
  EXPECT_EQ(CutAtCharacter("abü", 4), "abü");
}

}  // namespace
