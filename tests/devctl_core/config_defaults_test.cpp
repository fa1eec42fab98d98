#include <memory>

#include <gtest/gtest.h>

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_file.h"
#include "record_fields.h"
#include "tests/support/unit_root.h"

namespace {

using record_fields::Diff;
using record_fields::FillDistinct;
using record_fields::Flatten;

// Member names that start with one of the prefixes.
std::set<std::string> Only(const std::set<std::string>& names,
                           std::initializer_list<const char*> prefixes) {
  std::set<std::string> out;
  for (const std::string& name : names) {
    for (const char* prefix : prefixes) {
      if (name.rfind(prefix, 0) == 0) out.insert(name);
    }
  }
  return out;
}

std::unique_ptr<app_config_s> Edited() {
  auto cfg = std::make_unique<app_config_s>();
  FillDistinct(cfg.get());
  cfg->type = "RX";
  return cfg;
}

bool AllRightsGranted(const app_config_s& cfg, int k) {
  std::string prefix = "user[" + std::to_string(k) + "].";
  for (const auto& [name, value] : Flatten(cfg)) {
    if (name.rfind(prefix, 0) != 0 || name == prefix + "user" || name == prefix + "password") {
      continue;
    }
    if (value != "1") return false;
  }
  return true;
}

TEST(ResetAppConfig, GivesFactoryValuesButKeepsTypeAndLaterAccounts) {
  auto before = Edited();
  auto cfg = std::make_unique<app_config_s>(*before);
  ResetAppConfig("", cfg.get(), "");

  EXPECT_EQ(cfg->user_cnt, 2u);
  EXPECT_EQ(cfg->user[0].user, "Morvaneth");
  EXPECT_EQ(cfg->user[0].password, "558b81f78717e7e3af40686654674cc2");
  EXPECT_EQ(cfg->user[1].user, "Guest");
  EXPECT_EQ(cfg->user[1].password, "");
  EXPECT_TRUE(AllRightsGranted(*cfg, 0));
  EXPECT_TRUE(AllRightsGranted(*cfg, 1));
  std::set<std::string> changed = Diff(*before, *cfg);
  EXPECT_EQ(Only(changed, {"user[2]", "user[10]", "type"}), std::set<std::string>{});

  EXPECT_EQ(cfg->model, "VX7206");
  EXPECT_EQ(cfg->hostname, "VX7206");
  EXPECT_EQ(cfg->ipaddress, "192.168.0.200");
  EXPECT_EQ(cfg->tcpport, 8000);
  EXPECT_EQ(cfg->telnetport, 23);
  EXPECT_EQ(cfg->control[0], 1);
  EXPECT_EQ(cfg->control[13], 14);
  EXPECT_STREQ(cfg->input_name[0], "Analogue Input CH1");
  EXPECT_STREQ(cfg->input_name[4], "Tarvo Input CH1");
  EXPECT_STREQ(cfg->input_name[13], "USB Input Right");
  EXPECT_STREQ(cfg->input_name[17], "Input Group 4");
  EXPECT_STREQ(cfg->output_name[3], "Analogue Output CH4");
  EXPECT_STREQ(cfg->output_name[12], "USB Output Left");
  EXPECT_STREQ(cfg->output_name[14], "Output Group A");
  EXPECT_STREQ(cfg->output_name[17], "Output Group D");
  EXPECT_EQ(cfg->group_output_vol[3], 50);
  EXPECT_EQ(cfg->usb_output_vol[1], 50);
  EXPECT_EQ(cfg->usb_output_delay[1], 0);
  EXPECT_EQ(cfg->input_stereo[17], 1);
  EXPECT_EQ(cfg->output_preset[0], 0);
  const int frequencies[] = {32, 80, 200, 500, 1250, 3150, 8000, 12000};
  for (int b = 0; b < kEqBands; ++b) {
    const peq_data_s& eq = cfg->output_custom2_date[17];
    EXPECT_EQ(eq.frequency[b], frequencies[b]);
    EXPECT_EQ(eq.quality[b], 1.41f);
    EXPECT_EQ(eq.bypass[b], 1);
    EXPECT_EQ(eq.gain[b], 0.0f);
    EXPECT_EQ(Flatten(*cfg)["output_custom2_date[17]." + std::to_string(b) + ".type_name"],
              "\"PARAMETRIC\"");  // zeros behind the name
  }
  EXPECT_EQ(cfg->baudrate, 5);
  EXPECT_EQ(cfg->standbytime, 10);
  EXPECT_STREQ(cfg->preset_name[7], "Preset 8");
  EXPECT_EQ(cfg->preset_enable[7], 0);
}

TEST(ResetAudioConfig, KeepsAccountsNetworkAndType) {
  auto before = Edited();
  auto cfg = std::make_unique<app_config_s>(*before);
  ResetConfigReserved("", cfg.get());
  ResetAudioConfig("", cfg.get());
  std::set<std::string> changed = Diff(*before, *cfg);
  EXPECT_EQ(Only(changed, {"user", "dhcp", "ipaddress", "subnet", "gateway", "dnsserver",
                           "hostname", "type", "tcpport", "telnet"}),
            std::set<std::string>{});
  EXPECT_EQ(cfg->model, "VX7206");
  EXPECT_EQ(cfg->power, 1);
  EXPECT_EQ(cfg->baudrate, 5);
  EXPECT_STREQ(cfg->preset_name[0], "Preset 1");
  // The rest of the record is the factory record's.
  auto factory = std::make_unique<app_config_s>(*before);
  ResetAppConfig("", factory.get(), "");
  ResetNetworkConfig("", cfg.get());
  for (int k = 0; k < kMaxUsers; ++k) cfg->user[k] = factory->user[k];
  cfg->user_cnt = factory->user_cnt;
  EXPECT_EQ(Diff(*factory, *cfg), std::set<std::string>{});
}

TEST(ResetNetworkConfig, ChangesOnlyTheTenNetworkFields) {
  auto before = Edited();
  auto cfg = std::make_unique<app_config_s>(*before);
  ResetNetworkConfig("", cfg.get());
  EXPECT_EQ(Diff(*before, *cfg), (std::set<std::string>{"dhcp", "ipaddress", "subnet", "gateway",
                                                        "dnsserver", "hostname", "tcpportenable",
                                                        "tcpport", "telnet_enable", "telnetport"}));
  EXPECT_EQ(cfg->dhcp, 1);
  EXPECT_EQ(cfg->gateway, "192.168.0.1");
}

using ResetConfigReservedFile = testsupport::UnitRootFixture;

TEST_F(ResetConfigReservedFile, LeavesTheRecordUnchanged) {
  auto cfg = Edited();
  ASSERT_TRUE(SaveAppConfig("/oem/before.json", cfg.get()));
  ResetConfigReserved("", cfg.get());
  ASSERT_TRUE(SaveAppConfig("/oem/after.json", cfg.get()));
  EXPECT_EQ(Read("/oem/before.json"), Read("/oem/after.json"));
}

}  // namespace
