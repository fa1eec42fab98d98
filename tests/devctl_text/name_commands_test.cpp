#include "devctl/core/unit_state.h"
#include "devctl/text/dispatcher.h"
#include "devctl/text/name_commands.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/text_commands.h"

namespace {

class NameCommandTest : public testsupport::TextCommandFixture {};

const std::string kInputError =
    "[ERROR]Set input name param out of range. Type \"HELP\" for more reference.\r\n";
const std::string kOutputError =
    "[ERROR]Set output name param out of range. Type \"HELP\" for more reference.\r\n";

TEST_F(NameCommandTest, NamesAndTheirLines) {
  const struct {
    const char* line;
    const char* reply;
    bool output;
    int slot;
    const char* stored;
  } cases[] = {
      {"in 3 name Vocal Mic 1", "[SUCCESS]Set analogue input CH3 name to VocalMic1.\r\n", false, 2,
       "VocalMic1"},
      {"in 2 name name2", "[SUCCESS]Set analogue input CH2 name to name2.\r\n", false, 1, "name2"},
      {"IN 14 NAME PC", "[SUCCESS]Set USB input right name to PC.\r\n", false, 13, "PC"},
      {"IN 15 NAME Stage", "[SUCCESS]Set input group 1 name to Stage.\r\n", false, 14, "Stage"},
      {"OUT 6 NAME Rear", "[SUCCESS]Set tarvo output CH2 name to Rear.\r\n", true, 5, "Rear"},
      {"OUT 13 NAME Lobby", "[SUCCESS]Set USB output left name to Lobby.\r\n", true, 12, "Lobby"},
      {"OUT 18 NAME Zone", "[SUCCESS]Set output group D name to Zone.\r\n", true, 17, "Zone"},
      // A keyword inside the name is part of the name.
      {"OUT 2 NAME Mute On", "[SUCCESS]Set analogue output CH2 name to MuteOn.\r\n", true, 1,
       "MuteOn"},
      {"OUT 3 NAME VOL 5", "[SUCCESS]Set analogue output CH3 name to VOL5.\r\n", true, 2, "VOL5"},
      {"IN 4 NAME ch lock on", "[SUCCESS]Set analogue input CH4 name to chlockon.\r\n", false, 3,
       "chlockon"},
      {"IN 1 NAME 123456789012345678901234",
       "[SUCCESS]Set analogue input CH1 name to 123456789012345678901234.\r\n", false, 0,
       "123456789012345678901234"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(std::string(c.line) + "\r"), c.reply) << c.line;
    const char* field =
        c.output ? g_unit.config.output_name[c.slot] : g_unit.config.input_name[c.slot];
    EXPECT_STREQ(field, c.stored) << c.line;
  }
  EXPECT_EQ(Saves(), 11);
  EXPECT_STREQ(Saved().output_name[17], "Zone");
  // The partner of a linked pair keeps its name.
  EXPECT_STREQ(g_unit.config.input_name[0], "123456789012345678901234");
  EXPECT_STREQ(g_unit.config.input_name[4], "Tarvo Input CH1");
}

TEST_F(NameCommandTest, RefusedNamesKeepTheOldOne) {
  const std::string too_long(25, 'x');
  const std::string very_long(600, 'y');
  const struct {
    std::string line;
    const std::string& error;
  } cases[] = {
      {"IN 3 NAME", kInputError},
      {"IN 0 NAME Mix", kInputError},
      {"IN 19 NAME Mix", kInputError},
      {"IN NAME Mix", kInputError},
      {"IN 3 NAME " + too_long, kInputError},
      {"IN 3 NAME " + very_long, kInputError},
      {"IN 3 NAME a\tb", kInputError},
      {"OUT 3 NAME a\x1b[2Jb", kOutputError},
      {"OUT 3 NAME \xff\xfe", kOutputError},
      {"OUT -1 NAME Mix", kOutputError},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(c.line + "\r"), c.error) << c.line;
  }
  EXPECT_STREQ(g_unit.config.input_name[2], "Analogue Input CH3");
  EXPECT_STREQ(g_unit.config.output_name[2], "Analogue Output CH3");
  EXPECT_EQ(Saves(), 0);
}

TEST_F(NameCommandTest, RefusedNameStillPowersTheUnitOn) {
  g_unit.config.power = 0;
  std::string line = "IN 3 NAME\r";
  const std::string text = DispatchLine(3, line.data(), static_cast<int>(line.size()));
  EXPECT_EQ(text, "[SUCCESS]Set system power on, please wait a moment...\r\n\r\n" + kInputError +
                      "VX7206>");
  EXPECT_EQ(g_unit.config.power, 1);
  EXPECT_EQ(Saves(), 1);  // the stored power state, so a restart comes back on
  EXPECT_EQ(Saved().power, 1);
}

}  // namespace
