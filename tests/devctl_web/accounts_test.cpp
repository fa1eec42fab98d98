// The account table's changes, as the web's account commands make them.
#include "devctl/core/accounts.h"

#include <gtest/gtest.h>

#include "devctl/core/config_defaults.h"
#include "devctl/core/unit_state.h"

namespace {

class AccountsTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetAppConfig("", &g_unit.config, ""); }
  void TearDown() override { g_unit.config = app_config_s(); }
};

TEST_F(AccountsTest, LoginComparesExactly) {
  const std::string admin = g_unit.config.user[0].user;
  const std::string digest = g_unit.config.user[0].password;
  EXPECT_TRUE(CheckLogin(g_unit.config, admin, digest));
  EXPECT_FALSE(CheckLogin(g_unit.config, admin, kDefaultPassword));  // only the stored text
  EXPECT_TRUE(CheckLogin(g_unit.config, "Guest", ""));
  EXPECT_FALSE(CheckLogin(g_unit.config, "guest", ""));
  EXPECT_FALSE(CheckLogin(g_unit.config, "Guest ", ""));
  g_unit.config.user[1].enabled = 0;
  EXPECT_TRUE(CheckLogin(g_unit.config, "Guest", ""));  // the flag is not consulted
}

TEST_F(AccountsTest, TableLifecycle) {
  EXPECT_FALSE(AddAccount(g_unit.config, "Guest", "x"));
  for (int n = 3; n <= kMaxUsers; ++n)
    EXPECT_TRUE(AddAccount(g_unit.config, "u" + std::to_string(n), "p"));
  EXPECT_EQ(g_unit.config.user_cnt, 11u);
  EXPECT_FALSE(AddAccount(g_unit.config, "twelfth", "p"));
  EXPECT_EQ(g_unit.config.user_cnt, 11u);
  EXPECT_EQ(g_unit.config.user[2].enabled, 1u);
  EXPECT_EQ(g_unit.config.user[2].preset[7], 1);

  EXPECT_FALSE(DeleteAccount(g_unit.config, 11));
  EXPECT_FALSE(DeleteAccount(g_unit.config, -1));
  EXPECT_TRUE(DeleteAccount(g_unit.config, 1));  // Guest
  EXPECT_EQ(g_unit.config.user[1].user, "u3");
  EXPECT_EQ(g_unit.config.user_cnt, 10u);
  EXPECT_TRUE(DeleteAccount(g_unit.config, 0));  // the administrator too
  EXPECT_EQ(g_unit.config.user[0].user, "u3");
}

TEST_F(AccountsTest, CountAboveTheTableIsBounded) {
  g_unit.config.user_cnt = 15;  // as a hand-edited file may say
  EXPECT_EQ(AccountCount(g_unit.config), 11);
  EXPECT_FALSE(DeleteAccount(g_unit.config, 12));
  EXPECT_FALSE(AddAccount(g_unit.config, "new", "p"));
  EXPECT_EQ(FindAccount(g_unit.config, "nobody"), -1);
  EXPECT_TRUE(DeleteAccount(g_unit.config, 10));
  EXPECT_EQ(g_unit.config.user_cnt, 10u);
}

TEST_F(AccountsTest, ModifyPassword) {
  EXPECT_FALSE(ModifyPassword(g_unit.config, "Guest", "a", "b"));
  EXPECT_FALSE(ModifyPassword(g_unit.config, "Guest", "", ""));  // equal to the stored text
  EXPECT_TRUE(ModifyPassword(g_unit.config, "Guest", "new", "new"));
  EXPECT_FALSE(CheckLogin(g_unit.config, "Guest", ""));
  EXPECT_TRUE(CheckLogin(g_unit.config, "Guest", "new"));
}

TEST_F(AccountsTest, RightsAndEnabled) {
  AccountRights r;
  r.matrix = 0;
  r.network = 2;
  r.present[1] = true;  // dsp: the first two values count
  r.arrays[1] = {2, 3, 4, 5};
  r.present[10] = true;  // preset: the first eight
  r.arrays[10] = {8, 8, 8, 8, 8, 8, 8, 8, 9};
  g_unit.config.user[1].phantom[0] = 0;
  EXPECT_FALSE(SetAccountRights(g_unit.config, "nobody", r));
  EXPECT_TRUE(SetAccountRights(g_unit.config, "Guest", r));
  const app_user_s& u = g_unit.config.user[1];
  EXPECT_EQ(u.network, 2u);
  EXPECT_EQ(u.dsp[0], 2);
  EXPECT_EQ(u.dsp[1], 3);
  EXPECT_EQ(u.preset[7], 8);
  EXPECT_EQ(u.phantom[0], 0);  // absent array unchanged
  EXPECT_TRUE(SetAccountEnabled(g_unit.config, "Guest", 7));
  EXPECT_EQ(u.enabled, 7u);
  EXPECT_FALSE(SetAccountEnabled(g_unit.config, "nobody", 1));
}

}  // namespace
