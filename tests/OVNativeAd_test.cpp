// The native ad's load against the loopback ad server: the controller's
// delivery, the media its cache policy waits for through the resource
// cache, failures of the load and of the media, and copies.
#include "plexora/OVNativeAd.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "NativeAdTestSupport.h"
#include "OVNativeAdEvents.h"
#include "adapters/OVNativeAdDataModel.h"
#include "adapters/OVNativeAdMultiProductDataModel.h"
#include "platform/foundation/Exception.h"
#include "plexora/OVAdImage.h"
#include "tracking/OVAdClientEventManager.h"
#include "util/cache/OVAdCache.h"
#include "util/OVAdError.h"

namespace plexora::testing {
namespace {

bool inCache(const std::shared_ptr<OVAdImage>& image) {
  return image && image->url() && OVAdCache::sharedCache()->imageForURL(*image->url()) != nullptr;
}

using OVNativeAdTest = NativeAdTest;

TEST_F(OVNativeAdTest, TheFixtureAdLoadsOnceItsIconAndImagesAreInTheCache) {
  OVAdClientEventManager::dumpClientEventsToJson();
  const auto ad = loadedAd(kNativeFixturePlacement,
                           kOVNativeAdMediaCachePolicyIcon | kOVNativeAdMediaCachePolicyImage);
  ASSERT_EQ(delegate_->messages, std::vector<std::string>{"loaded"});
  EXPECT_TRUE(ad->isAdValid());
  EXPECT_EQ(ad->getAdNetwork(), "PX");
  EXPECT_EQ(ad->title(), "Trailblazer Boots");
  EXPECT_EQ(ad->callToAction(), "Shop Now");
  EXPECT_EQ(ad->starRating(), (OVAdStarRating{4.5, 5}));
  EXPECT_EQ(ad->body(), ad->rawBody()) << "short enough";
  EXPECT_EQ(ad->adChoicesText(), "AdChoices");
  EXPECT_TRUE(ad->isMultiProductSupported());
  EXPECT_FALSE(ad->isVideoSupported());
  EXPECT_TRUE(inCache(ad->icon()));
  EXPECT_TRUE(inCache(ad->coverImage()));
  for (const auto& card : ad->multiProductAdContent()) EXPECT_TRUE(inCache(card->image()));
  EXPECT_EQ(OVNativeAd::outstandingRequestCount(), 0u);

  const std::string clientEvents = OVAdClientEventManager::dumpClientEventsToJson();
  EXPECT_NE(clientEvents.find("\"latency\""), std::string::npos) << clientEvents;
  EXPECT_NE(clientEvents.find("loading ad"), std::string::npos) << clientEvents;
}

TEST_F(OVNativeAdTest, MediaThePolicyWaitsForMustArriveWhileOtherMediaAreOnlyPreloaded) {
  struct Case {
    const char* name;
    OVNativeAdMediaCachePolicy policy;
    const char* brokenImage;
    int status;  // 0: the connection drops without an answer
    const char* body;
    bool loads;
  };
  const Case cases[] = {
      {"no policy, cover missing", kOVNativeAdMediaCachePolicyNone, "native-cover.jpg", 404, "", true},
      {"cover waited for, 404", kOVNativeAdMediaCachePolicyImage, "native-cover.jpg", 404, "", false},
      {"card waited for, undecodable", kOVNativeAdMediaCachePolicyImage, "carousel-2.jpg", 200, "not an image", false},
      {"icon waited for, server error", kOVNativeAdMediaCachePolicyIcon, "native-icon.png", 500, "", false},
      {"icon waited for, cover broken", kOVNativeAdMediaCachePolicyIcon, "native-cover.jpg", 404, "", true},
      {"video waited for, the ad has none", kOVNativeAdMediaCachePolicyVideo, "native-cover.jpg", 404, "", true},
      {"cover waited for, connection dropped", kOVNativeAdMediaCachePolicyImage, "native-cover.jpg", 0, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Each case on its own placement: the cache remembers the URLs of the
    // one before.
    const std::string placement = std::string("native-") + std::to_string(&c - cases);
    const auto fixture = world_.server().bodyOf(testserver::AdAnswer::fixture(kNativeFixturePlacement));
    ASSERT_TRUE(fixture);
    std::string body = *fixture;
    for (std::size_t at = body.find("/media/"); at != std::string::npos; at = body.find("/media/", at + 1)) {
      body.replace(at, 7, "/media/" + placement + "/");
    }
    world_.server().setAnswer(placement, testserver::AdAnswer::document(body));
    for (const std::string& image : nativeFixtureImages()) serve(placement + "/" + image, pngBody(8, 6));
    if (c.status == 0) {
      world_.server().server().on("/media/" + placement + "/" + c.brokenImage, testserver::Response::dropped());
    } else {
      serve(placement + "/" + c.brokenImage, c.body, c.status);
    }

    delegate_->messages.clear();
    delegate_->errors.clear();
    const auto ad = loadedAd(placement, c.policy);
    ASSERT_EQ(delegate_->messages.size(), 1u);
    EXPECT_EQ(delegate_->messages[0], c.loads ? "loaded" : "error");
    if (!c.loads) {
      EXPECT_EQ(delegate_->errors[0].code(), kOVAdErrorCodeNoFill);
      EXPECT_EQ(ad->adController(), nullptr);
    }
    // Preloads go out whether or not they are waited for.
    EXPECT_TRUE(DisplayAdTestWorld::waitFor([&] { return mediaRequests(placement + "/native-icon.png") > 0; }));
  }
  EXPECT_EQ(OVNativeAd::outstandingRequestCount(), 0u);
}

TEST_F(OVNativeAdTest, AFailedLoadReachesTheDelegateAndTheAdStaysLoadedOnce) {
  const auto ad = loadedAd("no_fill", kOVNativeAdMediaCachePolicyNone);
  ASSERT_EQ(delegate_->messages, std::vector<std::string>{"error"});
  EXPECT_EQ(delegate_->errors[0].code(), kOVAdErrorCodeNoFill);
  EXPECT_FALSE(ad->isAdValid());
  EXPECT_EQ(ad->adController(), nullptr);
  EXPECT_FALSE(ad->getAdNetwork());
  try {
    ad->loadAd();
    FAIL() << "a second load";
  } catch (const platform::Exception& exception) {
    EXPECT_EQ(exception.name(), kOVNativeAdInvalidOperationException);
    EXPECT_EQ(exception.reason(), kOVNativeAdLoadOnceReason);
  }
}

TEST_F(OVNativeAdTest, InvalidCandidatesFailWithNoFill) {
  answer("broken", {R"({"ct":"ct-1","title":"No action","image":{"url":"{{BASE_URL}}media/native-cover.jpg"}})",
                    R"({"ct":"ct-2","title":"Bad image","call_to_action":"Go","image":{"url":["x"]}})", R"("data")"});
  loadedAd("broken", kOVNativeAdMediaCachePolicyNone);
  ASSERT_EQ(delegate_->messages, std::vector<std::string>{"error"});
  EXPECT_EQ(delegate_->errors[0].code(), kOVAdErrorCodeNoFill);
}

TEST_F(OVNativeAdTest, AnAdTheHostDropsStillFinishesItsLoad) {
  {
    auto ad = OVNativeAd::initWithPlacementID(std::string(kNativeFixturePlacement));
    ad->setDelegate(delegate_);
    ad->loadAd();
  }
  EXPECT_EQ(OVNativeAd::outstandingRequestCount(), 1u);
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return delegate_->settled(); }));
  DisplayAdTestWorld::settle();
  EXPECT_EQ(delegate_->messages, std::vector<std::string>{"loaded"});
  EXPECT_EQ(OVNativeAd::outstandingRequestCount(), 0u);
}

TEST_F(OVNativeAdTest, ACopyHasTheAssetsButNoPlacementDelegateOrController) {
  const auto ad = loadedAd(kNativeFixturePlacement, kOVNativeAdMediaCachePolicyNone);
  const auto copied = ad->copy();
  EXPECT_TRUE(copied->isAdValid());
  EXPECT_EQ(copied->title(), ad->title());
  EXPECT_EQ(copied->icon(), ad->icon());
  EXPECT_EQ(copied->adChoicesLinkURL(), ad->adChoicesLinkURL());
  EXPECT_EQ(copied->placementID(), "");
  EXPECT_EQ(copied->delegate(), nullptr);
  EXPECT_EQ(copied->adController(), nullptr);
  EXPECT_THROW(copied->loadAd(), platform::Exception) << "a copy counts as loaded";
}

TEST(OVNativeAdPlaceholderTest, ThePlaceholderIsValidWithoutAnyAsset) {
  const auto placeholder = OVNativeAd::fakeNativeAd();
  EXPECT_EQ(placeholder, OVNativeAd::fakeNativeAd());
  EXPECT_TRUE(placeholder->isAdValid());
  EXPECT_FALSE(placeholder->title());
  EXPECT_EQ(placeholder->icon(), nullptr);
  EXPECT_FALSE(placeholder->body());
  EXPECT_FALSE(placeholder->getAdNetwork());
  EXPECT_FALSE(OVNativeAd::init()->isAdValid());
}

TEST(OVNativeAdControllerReportsTest, AStoppedReportIsIgnored) {
  const auto ad = OVNativeAd::init();
  const auto delegate = std::make_shared<RecordingNativeAdDelegate>();
  ad->setDelegate(delegate);
  OVNativeAdEvents events(ad);
  EXPECT_NO_THROW(events.displayAdControllerStopped(nullptr));
  EXPECT_TRUE(delegate->messages.empty());
}

}  // namespace
}  // namespace plexora::testing
