// The load throttle and the response cache: when a request shape may reach
// the server again, and which answers a throttled load can be served.
#include "server/OVAdLoadThrottle.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "dto/OVAdCandidate.h"
#include "dto/OVAdPlacement.h"
#include "dto/OVAdPlacementDefinition.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Exception.h"
#include "server/OVAdEnvironmentData.h"
#include "util/SettingsTestEnvironment.h"
#include "support/TrackersByType.h"

namespace plexora {
namespace {

class OVAdLoadThrottleTest : public ::testing::Test {
 protected:
  OVAdLoadThrottleTest() { OVAdConnectionUtility::resetForTesting(); }
  ~OVAdLoadThrottleTest() override { OVAdConnectionUtility::resetForTesting(); }

  static std::shared_ptr<OVAdEnvironmentData> environment(OVAdPlacementType type, std::uint64_t numAds = 1) {
    return std::make_shared<OVAdEnvironmentData>("123_456", type, 4, kOVAdSize320x50, numAds);
  }
  // A load of this shape was answered now, with the server's threshold when
  // given.
  void answered(const OVAdEnvironmentData& data, std::optional<std::int64_t> threshold = std::nullopt) {
    OVAdConnectionUtility::setLastLoadTime(clock_->wallTime(), &data);
    if (threshold) {
      OVAdConnectionUtility::setLastRefreshThreshold(*threshold, &data);
    }
  }
  static std::shared_ptr<OVAdProviderResponseAds> adsResponse(bool cacheable, std::int64_t threshold,
                                                              std::size_t candidates = 1) {
    auto definition = std::make_shared<OVAdPlacementDefinition>();
    definition->setCacheable(cacheable);
    definition->setRefreshThreshold(threshold);
    std::vector<std::shared_ptr<OVAdCandidate>> ads;
    for (std::size_t i = 0; i < candidates; ++i) {
      ads.push_back(std::make_shared<OVAdCandidate>(
          "PX", platform::Dictionary{},
          platform::Value(platform::Array{platform::Value(platform::Dictionary{
              {"type", "impression"}, {"url", "https://t.example/i"}})})));
    }
    return std::make_shared<OVAdProviderResponseAds>(
        std::make_shared<OVAdPlacement>(0, "", std::move(definition), std::move(ads)));
  }

  testing::SettingsTestEnvironment settings_;
  std::shared_ptr<platform::ManualClock> clock_ = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock_{clock_};
};

TEST_F(OVAdLoadThrottleTest, ThrottlesInsideTheThresholdAndNotAtOrAfterIt) {
  const struct {
    const char* name;
    OVAdPlacementType type;
    std::optional<std::int64_t> serverThreshold;
    double elapsed;
    bool throttled;
  } cases[] = {
      {"banner, default threshold, just answered", kOVAdPlacementTypeBanner, std::nullopt, 0.0, true},
      {"banner, default threshold, 19.9 s later", kOVAdPlacementTypeBanner, std::nullopt, 19.9, true},
      {"banner, default threshold, exactly 20 s later", kOVAdPlacementTypeBanner, std::nullopt, 20.0, false},
      {"banner, default threshold, 21 s later", kOVAdPlacementTypeBanner, std::nullopt, 21.0, false},
      {"interstitial without a server threshold", kOVAdPlacementTypeInterstitial, std::nullopt, 0.0, false},
      {"interstitial, server threshold 60, 59 s later", kOVAdPlacementTypeInterstitial, 60, 59.0, true},
      {"interstitial, server threshold 60, 60 s later", kOVAdPlacementTypeInterstitial, 60, 60.0, false},
      {"banner, server threshold 0", kOVAdPlacementTypeBanner, 0, 0.0, false},
      {"banner, server threshold -1", kOVAdPlacementTypeBanner, -1, 0.0, false},
      {"native without a server threshold", kOVAdPlacementTypeNative, std::nullopt, 0.0, false},
      {"placement type 0", 0, std::nullopt, 0.0, false},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    OVAdConnectionUtility::resetForTesting();
    const auto data = environment(test.type);
    answered(*data, test.serverThreshold);
    clock_->advance(test.elapsed);
    EXPECT_EQ(OVAdConnectionUtility::shouldThrottleFrequentLoadForEnvironmentData(data.get()), test.throttled);
  }
}

TEST_F(OVAdLoadThrottleTest, NothingIsThrottledBeforeTheFirstAnswerOrWithoutEnvironment) {
  EXPECT_FALSE(OVAdConnectionUtility::shouldThrottleFrequentLoadForEnvironmentData(
      environment(kOVAdPlacementTypeBanner).get()));
  EXPECT_FALSE(OVAdConnectionUtility::shouldThrottleFrequentLoadForEnvironmentData(nullptr));
  EXPECT_EQ(OVAdConnectionUtility::getLastRefreshThresholdForEnvironmentData(nullptr), -1);
  EXPECT_FALSE(OVAdConnectionUtility::getLastLoadTimeForEnvironmentData(nullptr));
  EXPECT_EQ(OVAdConnectionUtility::cacheKeyForEnvironmentData(nullptr), "");
}

TEST_F(OVAdLoadThrottleTest, ShapesThatDifferOnlyInAKeyFieldDoNotThrottleEachOther) {
  const auto answeredShape = environment(kOVAdPlacementTypeBanner, 1);
  answered(*answeredShape);
  EXPECT_EQ(OVAdConnectionUtility::cacheKeyForEnvironmentData(answeredShape.get()), "1:123_456:1:4:50:320:1");

  const auto moreAds = environment(kOVAdPlacementTypeBanner, 2);
  auto otherPod = environment(kOVAdPlacementTypeBanner);
  otherPod->setPodPosition(2);
  EXPECT_FALSE(OVAdConnectionUtility::shouldThrottleFrequentLoadForEnvironmentData(moreAds.get()));
  EXPECT_FALSE(OVAdConnectionUtility::shouldThrottleFrequentLoadForEnvironmentData(otherPod.get()));
  // A new object of the same shape shares the answered one's entry.
  EXPECT_TRUE(OVAdConnectionUtility::shouldThrottleFrequentLoadForEnvironmentData(
      environment(kOVAdPlacementTypeBanner, 1).get()));
}

TEST_F(OVAdLoadThrottleTest, ARetryForThePodPositionIsLetThroughAndTheOverrideDecidesAlone) {
  auto data = environment(kOVAdPlacementTypeBanner);
  answered(*data);
  data->setRetryForPodPosition(true);
  EXPECT_FALSE(OVAdConnectionUtility::shouldThrottleFrequentLoadForEnvironmentData(data.get()));

  OVAdConnectionUtility::setForceThrottle(true);
  EXPECT_TRUE(OVAdConnectionUtility::shouldThrottleFrequentLoadForEnvironmentData(data.get()));
  const auto neverLoaded = environment(kOVAdPlacementTypeInterstitial);
  EXPECT_TRUE(OVAdConnectionUtility::shouldThrottleFrequentLoadForEnvironmentData(neverLoaded.get()));
  OVAdConnectionUtility::setForceThrottle(false);
  data->setRetryForPodPosition(false);
  EXPECT_FALSE(OVAdConnectionUtility::shouldThrottleFrequentLoadForEnvironmentData(data.get()));
}

TEST_F(OVAdLoadThrottleTest, AnUnknownPlacementTypeRaisesAndLeavesTheLockFree) {
  const auto unknown = environment(6);
  answered(*unknown);
  try {
    OVAdConnectionUtility::shouldThrottleFrequentLoadForEnvironmentData(unknown.get());
    FAIL() << "no exception";
  } catch (const platform::Exception& exception) {
    EXPECT_EQ(exception.name(), "NSInternalInconsistencyException");
    EXPECT_EQ(exception.reason(),
              "[OVAdConnectionUtility getLastRefreshThresholdForEnvironmentData:] not implemented.");
  }
  // Another thread can still take the maps.
  std::thread other([] { OVAdConnectionUtility::setForceThrottle(std::nullopt); });
  other.join();
}

TEST_F(OVAdLoadThrottleTest, OnlyCacheableAdsWithCandidatesAndAPositiveThresholdAreKept) {
  const struct {
    const char* name;
    std::shared_ptr<OVAdProviderResponse> response;
    bool kept;
  } cases[] = {
      {"cacheable, 60 s", adsResponse(true, 60), true},
      {"not cacheable", adsResponse(false, 60), false},
      {"threshold 0", adsResponse(true, 0), false},
      {"no candidates", adsResponse(true, 60, 0), false},
      {"server error", std::make_shared<OVAdProviderResponseError>("x", 2000, nullptr), false},
      {"unknown type", std::make_shared<OVAdProviderResponse>(OVAdProviderResponseType::Unknown), false},
      {"no response", nullptr, false},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    OVAdConnectionUtility::resetForTesting();
    const auto data = environment(kOVAdPlacementTypeInterstitial);
    OVAdConnectionUtility::setCachedResponse(test.response, data.get());
    EXPECT_EQ(OVAdConnectionUtility::cachedResponseForEnvironmentData(data.get()) != nullptr, test.kept);
  }
  OVAdConnectionUtility::setCachedResponse(adsResponse(true, 60), nullptr);
  EXPECT_EQ(OVAdConnectionUtility::cachedResponseForEnvironmentData(nullptr), nullptr);
}

// The candidates' own tests show that a copy fires its trackers anew; here
// each serve must hand out such copies, never the objects served before.
TEST_F(OVAdLoadThrottleTest, EachServeHandsOutFreshCandidates) {
  const auto data = environment(kOVAdPlacementTypeInterstitial);
  const auto original = adsResponse(true, 60, 2);
  OVAdConnectionUtility::setCachedResponse(original, data.get());

  const auto first = OVAdConnectionUtility::cachedResponseForEnvironmentData(data.get());
  const auto second = OVAdConnectionUtility::cachedResponseForEnvironmentData(data.get());
  ASSERT_TRUE(first && second);
  ASSERT_EQ(first->adPlacement()->adCandidates().size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    const auto& served = first->adPlacement()->adCandidates()[i];
    EXPECT_NE(served, original->adPlacement()->adCandidates()[i]);
    EXPECT_NE(served, second->adPlacement()->adCandidates()[i]);
    EXPECT_EQ(testing::trackersByType(*served), testing::trackersByType(*original->adPlacement()->adCandidates()[i]));
  }
  EXPECT_EQ(first->adPlacement()->definition(), original->adPlacement()->definition());
}

TEST_F(OVAdLoadThrottleTest, ACachedAnswerIsNotServedPastItsThreshold) {
  const auto data = environment(kOVAdPlacementTypeInterstitial);
  OVAdConnectionUtility::setCachedResponse(adsResponse(true, 60), data.get());
  clock_->advance(59.0);
  EXPECT_NE(OVAdConnectionUtility::cachedResponseForEnvironmentData(data.get()), nullptr);
  clock_->advance(1.0);
  EXPECT_EQ(OVAdConnectionUtility::cachedResponseForEnvironmentData(data.get()), nullptr);
}

}  // namespace
}  // namespace plexora
