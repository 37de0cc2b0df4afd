#include "internal/OVRewardedVideoAdServerReward.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "plexora/OVAdSettings.h"
#include "plexora/OVRewardedVideoAd.h"
#include "util/SettingsTestEnvironment.h"

namespace plexora::testing {
namespace {

TEST(RewardedVideoAdServerRewardTest, TheRewardTextJoinsTheCurrencyAndANonZeroAmount) {
  struct Case {
    std::optional<std::string> currency;
    std::int64_t amount;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"coins", 10, "coins10"}, {"coins", 0, "coins"},  {"coins", -3, "coins-3"},
      {std::nullopt, 10, "10"}, {std::nullopt, 0, ""},   {"", 0, ""},
  };
  for (const Case& reward : cases) {
    EXPECT_EQ(OVRewardedVideoAdServerReward::rewardText(reward.currency, reward.amount), reward.expected)
        << reward.currency.value_or("(none)") << " " << reward.amount;
  }
}

TEST(RewardedVideoAdServerRewardTest, TheApplicationIsThePlacementUpToItsFirstUnderscore) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"123_456", "123"}, {"789", "789"}, {"1_2_3", "1"}, {"_9", ""}, {"", ""}};
  for (const auto& [placement, expected] : cases) {
    EXPECT_EQ(OVRewardedVideoAdServerReward::applicationID(placement), expected) << placement;
  }
}

TEST(RewardedVideoAdServerRewardTest, ARewardWithoutAUserHasNoParametersAndSendsNothing) {
  const OVRewardedVideoRewardData anonymous(std::nullopt, "coins", 10);
  EXPECT_FALSE(OVRewardedVideoAdServerReward::parameters(anonymous, "123_456"));
  bool called = false;
  EXPECT_FALSE(OVRewardedVideoAdServerReward::send(std::make_shared<OVRewardedVideoRewardData>(anonymous), "123_456",
                                                   [&](bool) { called = true; }));
  EXPECT_FALSE(OVRewardedVideoAdServerReward::send(nullptr, "123_456", [&](bool) { called = true; }));
  EXPECT_FALSE(called);

  const auto form = OVRewardedVideoAdServerReward::parameters(OVRewardedVideoRewardData("u", "coins", 10), "123_456");
  ASSERT_TRUE(form);
  EXPECT_EQ(form->find("puid")->text(), "u");
  EXPECT_EQ(form->find("pc")->text(), "coins10");
  EXPECT_EQ(form->find("appid")->text(), "123");
  const std::string transaction = form->find("ptid")->text().value_or("");
  EXPECT_EQ(transaction.size(), 36u);
  EXPECT_EQ(transaction.find_first_of("abcdef"), std::string::npos) << "upper-case hexadecimal";
  const auto another = OVRewardedVideoAdServerReward::parameters(OVRewardedVideoRewardData("u", "coins", 10), "1");
  EXPECT_NE(another->find("ptid")->text(), transaction);
}

TEST(RewardedVideoAdServerRewardTest, TheRewardGoesToTheWebHostOrToAnAdServerOutsideTheNetwork) {
  SettingsTestEnvironment settings;
  EXPECT_EQ(OVRewardedVideoAdServerReward::rewardURL(), "https://www.plexora.example/plexora/server_side_reward");
  OVAdSettings::setUrlPrefix("sb");
  EXPECT_EQ(OVRewardedVideoAdServerReward::rewardURL(), "https://www.sb.plexora.example/plexora/server_side_reward");
  OVAdSettings::setUrlPrefix("");
  ASSERT_TRUE(OVAdSettings::setAdServerBaseURL("http://127.0.0.1:8080/"));
  EXPECT_EQ(OVRewardedVideoAdServerReward::rewardURL(), "http://127.0.0.1:8080/plexora/server_side_reward");
}

}  // namespace
}  // namespace plexora::testing
