// The rewarded ad's checks on the host's calls, on a loaded ad from the
// loopback server.
#include "plexora/OVRewardedVideoAd.h"

#include <gtest/gtest.h>

#include <string>

#include "RewardedVideoAdTestSupport.h"
#include "platform/foundation/Exception.h"

namespace plexora::testing {
namespace {

using RewardedVideoAdCallsTest = RewardedVideoAdTest;

// The reason of the exception `call` throws; "" when it throws none.
template <typename Call>
std::string reasonOf(Call&& call) {
  try {
    call();
  } catch (const platform::Exception& exception) {
    return exception.name() + ": " + exception.reason();
  }
  return "";
}

TEST_F(RewardedVideoAdCallsTest, AnAdLoadsOnceAndShowsOnlyOnceLoadedFromARootController) {
  answer("once", rewardedData());
  const auto ad = OVRewardedVideoAd::initWithPlacementID("once");
  EXPECT_FALSE(ad->isInitialized());
  EXPECT_EQ(reasonOf([&] { ad->showAdFromRootViewController(root_); }), "InvalidOperationException: Ad not Loaded");
  EXPECT_EQ(ad->showCount(), 0u);

  const auto loaded = loadedAd("once", "u", "coins", 1);
  EXPECT_TRUE(loaded->isInitialized());
  EXPECT_TRUE(loaded->isReady());
  EXPECT_EQ(reasonOf([&] { loaded->loadAd(); }),
            "InvalidOperationException: OVRewardedVideoAd loadAd can only be called once");
  EXPECT_EQ(reasonOf([&] { loaded->showAdFromRootViewController(nullptr); }),
            "NSInvalidArgumentException: rootViewController cannot be nil");
  // The first show presents nothing (the video cannot play any more); a
  // second one raises all the same.
  videoView()->adValid = false;
  EXPECT_FALSE(loaded->showAdFromRootViewController(root_, false));
  EXPECT_EQ(loaded->showCount(), 1u);
  EXPECT_EQ(reasonOf([&] { loaded->showAdFromRootViewController(root_, false); }),
            "InvalidOperationException: showAdFromRootViewController may only be called once");
  EXPECT_EQ(root_->presentedViewController(), nullptr);
  EXPECT_FALSE(platform::Application::shared()->isStatusBarHidden());
}

TEST_F(RewardedVideoAdCallsTest, TheRewardDataKeepsWhatTheHostGave) {
  EXPECT_FALSE(OVRewardedVideoAd::init()->rewardData()->userID());
  const auto ad = OVRewardedVideoAd::initWithPlacementID("p", "user", "coins");
  EXPECT_EQ(ad->placementID(), "p");
  EXPECT_EQ(ad->rewardData()->userID(), "user");
  EXPECT_EQ(ad->rewardData()->currency(), "coins");
  EXPECT_EQ(ad->rewardData()->amount(), 0);
}

}  // namespace
}  // namespace plexora::testing
