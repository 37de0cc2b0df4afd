// The native ads manager against the loopback ad server on the manual
// clock: one ad per candidate of one answer, delivery when enough have
// loaded, hand-out in turn with copies from the second pass, the refresh of
// the set and its failures.
#include "plexora/OVNativeAdsManager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "NativeAdTestSupport.h"
#include "server/OVAdLoadThrottle.h"
#include "util/cache/OVAdCache.h"
#include "util/OVAdError.h"

namespace plexora::testing {
namespace {

constexpr const char* kPlacement = "native-set";

class OVNativeAdsManagerTest : public NativeAdTest {
 protected:
  std::shared_ptr<OVNativeAdsManager> makeManager(std::uint64_t count, const std::string& placement = kPlacement) {
    auto manager = OVNativeAdsManager::initWithPlacementID(placement, count);
    manager->setDelegate(managerDelegate_);
    return manager;
  }
  // Loads and waits for the manager's answer.
  bool load(const std::shared_ptr<OVNativeAdsManager>& manager) {
    const std::size_t before = managerDelegate_->messages.size();
    manager->loadAds();
    const bool answered =
        DisplayAdTestWorld::waitFor([&] { return managerDelegate_->messages.size() > before; });
    DisplayAdTestWorld::settle();
    return answered;
  }
  // An answer of `count` valid ads named ad-0, ad-1, ..., their images served.
  void answerAds(std::size_t count, const std::string& definition = R"("type":"native")") {
    std::vector<std::string> data;
    for (std::size_t index = 0; index < count; ++index) {
      const std::string name = "ad-" + std::to_string(index);
      serveImagesOf(name);
      data.push_back(nativeAdData(name));
    }
    answer(kPlacement, data, definition);
  }

  std::shared_ptr<RecordingNativeAdsManagerDelegate> managerDelegate_ =
      std::make_shared<RecordingNativeAdsManagerDelegate>();
};

TEST_F(OVNativeAdsManagerTest, ANoneRequestedManagerFailsWithoutARequestAndNoPlacementMakesNone) {
  EXPECT_EQ(OVNativeAdsManager::initWithPlacementID(std::nullopt, 3), nullptr);
  const auto manager = OVNativeAdsManager::init();
  manager->setDelegate(managerDelegate_);
  manager->loadAds();
  ASSERT_EQ(managerDelegate_->messages, std::vector<std::string>{"error"});
  EXPECT_EQ(managerDelegate_->errors[0].code(), kOVAdErrorCodeNoFill);
  EXPECT_TRUE(world_.server().adRequests().empty());
  EXPECT_FALSE(manager->isValid());
  EXPECT_EQ(manager->nextNativeAd(), nullptr) << "nothing to hand out";
  EXPECT_EQ(manager->uniqueNativeAdCount(), 0u);
}

TEST_F(OVNativeAdsManagerTest, OneAnswerMakesOneAdPerCandidateHandedOutInTurnThenAsCopies) {
  answerAds(3);
  const auto manager = makeManager(3);
  manager->setMediaCachePolicy(kOVNativeAdMediaCachePolicyImage | kOVNativeAdMediaCachePolicyIcon);
  ASSERT_TRUE(load(manager));
  ASSERT_EQ(managerDelegate_->messages, std::vector<std::string>{"loaded"});
  EXPECT_EQ(world_.server().adRequests().size(), 1u);
  EXPECT_TRUE(manager->isValid());
  ASSERT_EQ(manager->uniqueNativeAdCount(), 3u);
  EXPECT_EQ(manager->version(), 1u);

  const auto& set = manager->currentNativeAds();
  std::vector<std::string> titles;
  for (int round = 0; round < 9; ++round) {
    const auto ad = manager->nextNativeAd();
    ASSERT_TRUE(ad);
    titles.push_back(ad->title().value_or(""));
    const bool isOriginal = ad == set[static_cast<std::size_t>(round % 3)];
    EXPECT_EQ(isOriginal, round < 3) << "round " << round;
    EXPECT_TRUE(ad->isAdValid());
  }
  EXPECT_EQ(titles, (std::vector<std::string>{"Title ad-0", "Title ad-1", "Title ad-2", "Title ad-0", "Title ad-1",
                                              "Title ad-2", "Title ad-0", "Title ad-1", "Title ad-2"}));
}

TEST_F(OVNativeAdsManagerTest, FromFiveCandidatesDeliveryComesOnceTheThreeRequestedHaveLoaded) {
  answerAds(5);
  const auto manager = makeManager(3);
  ASSERT_TRUE(load(manager));
  ASSERT_EQ(managerDelegate_->messages, std::vector<std::string>{"loaded"});
  EXPECT_EQ(manager->uniqueNativeAdCount(), 3u);
  DisplayAdTestWorld::runBriefly();
  EXPECT_EQ(managerDelegate_->messages.size(), 1u) << "the other two report to no one";
}

TEST_F(OVNativeAdsManagerTest, AnAdWhoseAwaitedCoverFailsIsLeftOutOfTheSet) {
  answerAds(3);
  serve("ad-1-cover.png", "", 404);
  const auto manager = makeManager(3);
  manager->setMediaCachePolicy(kOVNativeAdMediaCachePolicyImage);
  ASSERT_TRUE(load(manager));
  ASSERT_EQ(managerDelegate_->messages, std::vector<std::string>{"loaded"});
  ASSERT_EQ(manager->uniqueNativeAdCount(), 2u);
  EXPECT_EQ(manager->currentNativeAds()[0]->title(), "Title ad-0");
  EXPECT_EQ(manager->currentNativeAds()[1]->title(), "Title ad-2");
}

TEST_F(OVNativeAdsManagerTest, FailuresReachTheDelegateAndTheSetRefreshesOnTheInterval) {
  answerAds(2);
  const auto manager = makeManager(2);
  ASSERT_TRUE(load(manager));
  ASSERT_EQ(manager->uniqueNativeAdCount(), 2u);
  EXPECT_EQ(manager->refreshInterval(), kOVNativeAdsManagerDefaultRefreshInterval);
  const auto first = manager->nextNativeAd();

  // The refresh fails: the delivered set and its position stay.
  world_.server().setAnswer(kPlacement, testserver::AdAnswer::noFill());
  world_.clock().advance(1799.9);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(world_.server().adRequests().size(), 1u);
  world_.clock().advance(0.1);
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return managerDelegate_->messages.size() == 2; }));
  EXPECT_EQ(managerDelegate_->messages.back(), "error");
  EXPECT_EQ(manager->uniqueNativeAdCount(), 2u);
  EXPECT_TRUE(manager->isValid());
  EXPECT_EQ(manager->nextNativeAd(), manager->currentNativeAds()[1]);

  // A failure schedules the next refresh, which brings a new set on the
  // server's interval.
  answerAds(1, R"("type":"native","refresh":60)");
  world_.clock().advance(1800);
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return managerDelegate_->messages.size() == 3; }));
  DisplayAdTestWorld::settle();
  EXPECT_EQ(managerDelegate_->messages.back(), "loaded");
  EXPECT_EQ(manager->uniqueNativeAdCount(), 1u);
  EXPECT_EQ(manager->refreshInterval(), 60);
  EXPECT_EQ(manager->nextNativeAd(), manager->currentNativeAds()[0]) << "hand-out starts over";

  manager->disableAutoRefresh();
  EXPECT_EQ(manager->refreshInterval(), -1);
  world_.clock().advance(3600);
  DisplayAdTestWorld::runBriefly();
  EXPECT_EQ(world_.server().adRequests().size(), 3u);
}

TEST_F(OVNativeAdsManagerTest, TheImagesOfASupersededAnswerDoNotChangeTheDeliveredSet) {
  answerAds(2);
  world_.server().server().on("/media/ad-0-cover.png",
                              testserver::Response::text(200, pngBody(12, 6), std::chrono::milliseconds(1500)));
  const auto manager = makeManager(2);
  manager->setMediaCachePolicy(kOVNativeAdMediaCachePolicyImage);
  manager->loadAds();
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return mediaRequests("ad-0-cover.png") > 0; }));
  DisplayAdTestWorld::runBriefly();
  EXPECT_EQ(manager->version(), 1u);
  EXPECT_TRUE(managerDelegate_->messages.empty()) << "still waiting for the slow cover";

  // A new load supersedes the answer whose cover is still on its way (the
  // load throttle stands aside: moving the clock would wait out the cover).
  OVAdConnectionUtility::setForceThrottle(false);
  serveImagesOf("fresh");
  answer(kPlacement, {nativeAdData("fresh")});
  ASSERT_TRUE(load(manager));
  ASSERT_EQ(managerDelegate_->messages, std::vector<std::string>{"loaded"});
  ASSERT_EQ(manager->uniqueNativeAdCount(), 1u);
  EXPECT_EQ(manager->currentNativeAds()[0]->title(), "Title fresh");

  // The slow cover arrives: its completion is dropped.
  const auto slowCover = platform::URL::parse(world_.server().baseURL() + "media/ad-0-cover.png");
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return OVAdCache::sharedCache()->imageForURL(*slowCover) != nullptr; }));
  DisplayAdTestWorld::runBriefly();
  EXPECT_EQ(managerDelegate_->messages.size(), 1u);
  EXPECT_EQ(manager->uniqueNativeAdCount(), 1u);
  EXPECT_EQ(manager->currentNativeAds()[0]->title(), "Title fresh");
  OVAdConnectionUtility::setForceThrottle(std::nullopt);
}

TEST_F(OVNativeAdsManagerTest, AnAnswerWithoutUsableAdsFailsWithNoFill) {
  answer(kPlacement, {R"({"ct":"ct-1","title":"No image","call_to_action":"Go"})"});
  const auto manager = makeManager(1);
  ASSERT_TRUE(load(manager));
  ASSERT_EQ(managerDelegate_->messages, std::vector<std::string>{"error"});
  EXPECT_EQ(managerDelegate_->errors[0].code(), kOVAdErrorCodeNoFill);
  EXPECT_FALSE(manager->isValid());
}

}  // namespace
}  // namespace plexora::testing
