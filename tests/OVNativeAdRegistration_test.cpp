// Registering a host's view with a loaded native ad, on the headless view
// tree and the manual clock: the class-wide view map, tap recognisers, the
// impression from the viewability checks, the click gate, the logging data
// and the impression miss of a released ad. The ad is filled directly with
// its data and recording handlers, as the controller's delivery fills it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "adapters/OVNativeAdDataModel.h"
#include "adapters/views/nativead/OVNativeAdTemplateView.h"
#include "dto/OVAdPlacementDefinition.h"
#include "platform/foundation/Exception.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/UITest.h"
#include "platform/ui/ViewController.h"
#include "plexora/OVNativeAd.h"
#include "support/TempDir.h"
#include "platform/foundation/Base64.h"
#include "platform/ui/Image.h"
#include "tracking/OVAdEventManager.h"
#include "tracking/OVAdEventManagerTestSupport.h"
#include "util/database/OVAdDatabaseManager.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

using platform::Dictionary;
using platform::Point;
using platform::Rect;
using platform::Value;
using platform::View;

constexpr const char* kAdData = R"({"ct":"ct-1","title":"Boots","call_to_action":"Shop",
  "image":{"url":"https://cdn.plexora.test/cover.jpg"},"ovad_command":"ovad://close"})";
// Checks every 0.25 s after 0.5 s; one passing check makes the impression.
constexpr const char* kDefinition = R"({"type":"native","viewability_check_initial_delay":500,
  "viewability_check_interval":250,"min_viewability_percentage":50,"viewability_check_ticker":1})";

Value json(const std::string& text) { return OVAdUtility::getObjectFromJSONString(text).value_or(Value()); }

// What reached the controller's handlers.
struct Logged {
  std::string kind;
  Dictionary extraData;
  Dictionary postData;
  bool withViewController = false;
};

// The registration world: a 320 x 300 host view at (0, 100) of a key
// window, with a title and a call-to-action button.
class OVNativeAdRegistrationTest : public platform::testing::UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    platform::setCachesDirectory(caches_.path().string());
    // The process's store follows this test's caches, not the first test's.
    OVAdDatabaseManager::sharedManager()->resetConnectionForTesting();
    window_ = makeKeyWindow();
    window_->setRootViewController(root_);
    window_->addSubview(adView_);
    adView_->addSubview(title_);
    adView_->addSubview(callToAction_);
  }
  void TearDown() override {
    configure({});
    UITest::TearDown();
    platform::setCachesDirectory("");
  }

  static void configure(Dictionary configuration) {
    OVAdConfigManager::sharedManager()->loadConfigurationFromDictionary(Value(std::move(configuration)));
  }

  std::shared_ptr<OVNativeAd> loadedAd(const std::string& data = kAdData) {
    auto ad = OVNativeAd::init();
    const auto logged = logged_;
    ad->populateFromDataModel(
        OVNativeAdDataModel::initWithMetadata(json(data)),
        OVAdPlacementDefinition::initWithPlacementData(json(kDefinition)),
        [logged](const Dictionary& extra, const Dictionary& post) { logged->push_back({"impression", extra, post}); },
        [logged](const Dictionary& extra, const Dictionary& post) { logged->push_back({"miss", extra, post}); },
        [logged](const std::shared_ptr<platform::ViewController>& viewController, const Dictionary& extra) {
          logged->push_back({"click", extra, {}, viewController != nullptr});
        });
    return ad;
  }
  // Registered with the call to action as the one clickable view, its
  // recogniser attached.
  std::shared_ptr<OVNativeAd> registeredAd(const std::string& data = kAdData) {
    auto ad = loadedAd(data);
    ad->registerViewForInteraction(adView_, root_, {callToAction_});
    runMainQueue();
    return ad;
  }
  std::size_t count(const std::string& kind) const {
    std::size_t found = 0;
    for (const Logged& entry : *logged_) found += entry.kind == kind ? 1 : 0;
    return found;
  }
  // Taps the call to action's centre, in screen coordinates.
  void tapCallToAction() {
    platform::Application::shared()->sendTap(Point{250, 370});
    runMainQueue();
  }
  void advance(double seconds) {
    clock_->advance(seconds);
    runMainQueue();
  }
  static Value touchOf(const Logged& entry) {
    const Value* touch = entry.extraData.find("touch");
    return touch ? json(touch->asString()) : Value();
  }

  testing::TempDir caches_;
  std::shared_ptr<std::vector<Logged>> logged_ = std::make_shared<std::vector<Logged>>();
  std::shared_ptr<platform::Window> window_;
  std::shared_ptr<platform::ViewController> root_ = std::make_shared<platform::ViewController>();
  std::shared_ptr<View> adView_ = std::make_shared<View>(Rect(0, 100, 320, 300));
  std::shared_ptr<platform::Label> title_ = std::make_shared<platform::Label>(Rect(10, 10, 200, 20));
  std::shared_ptr<platform::Button> callToAction_ = std::make_shared<platform::Button>(Rect(200, 250, 100, 40));
};

TEST_F(OVNativeAdRegistrationTest, MisuseRaisesAndAnUnloadedAdOnlyLogs) {
  const auto ad = loadedAd();
  EXPECT_THROW(ad->registerViewForInteraction(nullptr, root_, {}), platform::Exception) << "no view, before the array";
  try {
    ad->registerViewForInteraction(adView_, root_, {});
    FAIL() << "no clickable views";
  } catch (const platform::Exception& exception) {
    EXPECT_EQ(exception.reason(), kOVNativeAdNoClickableViewsReason);
  }
  const auto unloaded = OVNativeAd::init();
  unloaded->registerViewForInteraction(adView_, root_, {callToAction_});
  EXPECT_FALSE(unloaded->isRegistered());
  unloaded->unregisterView();  // nothing registered: nothing happens
}

TEST_F(OVNativeAdRegistrationTest, AViewRegisteredWithASecondAdLeavesTheFirstUnregistered) {
  const auto first = registeredAd();
  const auto second = loadedAd();
  second->registerViewForInteraction(adView_, root_, {callToAction_});
  runMainQueue();
  EXPECT_FALSE(first->isRegistered());
  EXPECT_TRUE(second->isRegistered());
  EXPECT_EQ(second->nativeAdView(), adView_);
  EXPECT_EQ(callToAction_->gestureRecognizers().size(), 1u) << "the first ad's recogniser went with it";
  first->unregisterView();  // taken over: nothing left to do
  EXPECT_TRUE(second->isRegistered());
  second->unregisterView();
  EXPECT_FALSE(second->isRegistered());
  EXPECT_TRUE(callToAction_->gestureRecognizers().empty());
}

TEST_F(OVNativeAdRegistrationTest, RecognisersAttachOnTheNextTurnAndNotAfterAnEarlyUnregistration) {
  const auto ad = loadedAd();
  ad->registerViewForInteraction(adView_, root_, {callToAction_, title_});
  EXPECT_TRUE(callToAction_->gestureRecognizers().empty());
  runMainQueue();
  EXPECT_EQ(callToAction_->gestureRecognizers().size(), 1u);
  EXPECT_TRUE(title_->isUserInteractionEnabled());

  ad->unregisterView();
  ad->registerViewForInteraction(adView_, root_, {callToAction_});
  ad->unregisterView();
  runMainQueue();
  EXPECT_TRUE(callToAction_->gestureRecognizers().empty()) << "queued for a registration that had ended";
}

TEST_F(OVNativeAdRegistrationTest, TheFirstViewableCheckLogsTheImpressionOnceWithTheValidatorsFigures) {
  const auto ad = registeredAd(R"({"ct":"ct-1","title":"Boots","call_to_action":"Shop","enable_view_log":1,
    "image":{"url":"https://cdn.plexora.test/cover.jpg"}})");
  advance(0.49);
  EXPECT_EQ(count("impression"), 0u);
  advance(0.01);
  ASSERT_EQ(count("impression"), 1u);
  advance(5);
  EXPECT_EQ(count("impression"), 1u) << "the checks ended";
  const Logged& impression = logged_->front();
  EXPECT_EQ(impression.extraData.find("vrc")->asString(), "1");
  EXPECT_EQ(impression.extraData.find("vp")->asString(), "1");
  EXPECT_FALSE(impression.extraData.find("vh")->asString().empty());
  EXPECT_EQ(impression.extraData.find("touch")->asString(), "");
  EXPECT_TRUE(impression.extraData.contains("analog"));
  EXPECT_FALSE(impression.extraData.contains("nhs"));
  EXPECT_GT(ad->firstImpressionTime(), 0.0);

  const Value tree = json(impression.postData.find("view")->asString());
  EXPECT_EQ(tree.find("type")->asString(), "view");
  EXPECT_EQ(tree.find("class")->asString(), "View");
  EXPECT_EQ(tree.find("origin")->find("y")->toDouble(), 100.0);
  const Value& subviews = *tree.find("subviews");
  ASSERT_EQ(subviews.size(), 2u);
  EXPECT_EQ(subviews.at(0)->find("type")->asString(), "label");
  EXPECT_FALSE(subviews.at(0)->find("clickable")->asBool());
  EXPECT_EQ(subviews.at(1)->find("type")->asString(), "button");
  EXPECT_TRUE(subviews.at(1)->find("clickable")->asBool());
  EXPECT_EQ(subviews.at(1)->find("origin")->find("x")->toDouble(), 200.0);
}

TEST_F(OVNativeAdRegistrationTest, TapsPassTheClickGateAsTheConfigurationSays) {
  struct Case {
    const char* name;
    Dictionary configuration;
    double secondsAfterImpression;  // negative: tap before any impression
    bool clicks;
  };
  const Case cases[] = {
      {"no restriction, before the impression", {{"ad_clickability_threshold_ms", 0}}, -1, true},
      {"restricted, before the impression", {{"minimum_elapsed_time_after_impression", 0}}, -1, false},
      {"restricted, after the impression", {{"minimum_elapsed_time_after_impression", 0}}, 0.1, true},
      {"restricted, minimum not yet passed", {{"minimum_elapsed_time_after_impression", 2000}}, 1.5, false},
      {"restricted, minimum passed exactly", {{"minimum_elapsed_time_after_impression", 2000}}, 2.0, true},
      {"premature", {{"ad_clickability_threshold_ms", 2000}}, 1.0, false},
      {"premature at the threshold", {{"ad_clickability_threshold_ms", 2000}}, 2.0, false},
      {"past the threshold", {{"ad_clickability_threshold_ms", 2000}}, 2.5, true},
      {"in the margin", {{"ad_viewability_tap_margin", 49}}, 1.0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    logged_->clear();
    Dictionary configuration = c.configuration;
    if (!configuration.contains("minimum_elapsed_time_after_impression")) {
      configuration.set("minimum_elapsed_time_after_impression", -1);
    }
    configure(configuration);
    const auto ad = registeredAd();
    if (c.secondsAfterImpression >= 0) {
      advance(0.5);
      ASSERT_EQ(count("impression"), 1u);
      advance(c.secondsAfterImpression);
    }
    tapCallToAction();
    EXPECT_EQ(count("click"), c.clicks ? 1u : 0u);
  }
}

TEST_F(OVNativeAdRegistrationTest, AClickCarriesTheTapRecordAndLaterLoggingTheLastTouch) {
  configure({{"minimum_elapsed_time_after_impression", -1}});
  const auto ad = registeredAd();
  tapCallToAction();
  ASSERT_EQ(count("click"), 1u);
  Value touch = touchOf(logged_->back());
  EXPECT_EQ(touch.find("clickX")->asInteger(), 250);
  EXPECT_EQ(touch.find("clickY")->asInteger(), 270);
  EXPECT_EQ(touch.find("width")->asInteger(), 320);
  EXPECT_EQ(touch.find("adPositionY")->asInteger(), 100);
  EXPECT_EQ(touch.find("clickDelayTime")->asInteger(), -1) << "before any impression";
  EXPECT_TRUE(logged_->back().withViewController);

  advance(0.5);
  advance(1.5);
  tapCallToAction();
  touch = touchOf(logged_->back());
  EXPECT_NEAR(touch.find("clickDelayTime")->toDouble(), 1500.0, 1.0);
  EXPECT_EQ(json(*ad->lastTouchData()), touch);
  EXPECT_EQ(touchOf(Logged{"", ad->generateLoggingDataWithExtraData({}), {}, false}), touch);
}

TEST_F(OVNativeAdRegistrationTest, TheVideosCallToActionWithoutATouchSkipsTheGateAndTheMargin) {
  configure({{"minimum_elapsed_time_after_impression", 0}, {"ad_viewability_tap_margin", 10}});
  const auto ad = registeredAd();
  ad->handleTap(callToAction_, OVNativeAdNoTouchEvent{});
  EXPECT_EQ(count("click"), 1u) << "before the impression, with a margin that (0, 0) lies in";
  ad->handleTap(callToAction_, Point{0, 0});
  ad->handleTap(title_, OVNativeAdNoTouchEvent{});
  EXPECT_EQ(count("click"), 1u) << "a point, or a sender that is no button, goes through the gate";
}

TEST_F(OVNativeAdRegistrationTest, TheLoggingDataNamesTheViewsThatShowTheAd) {
  const auto ad = loadedAd();
  ad->setIsHScroll(true);
  ad->setUsedByMediaView(true);
  Dictionary data = ad->generateLoggingDataWithExtraData(Dictionary{{"vrc", "9"}});
  EXPECT_EQ(data.find("nhs")->asString(), "true");
  EXPECT_EQ(data.find("nmv")->asString(), "true");
  EXPECT_FALSE(data.contains("nmvap")) << "no configuration";
  EXPECT_EQ(data.find("vrc")->asString(), "9") << "extra data wins";
  EXPECT_EQ(data.find("vp")->asString(), "0");
  EXPECT_EQ(data.find("vh")->asString(), "");
  ad->setMediaViewConfiguration(Dictionary{});
  EXPECT_EQ(ad->generateLoggingDataWithExtraData({}).find("nmvap")->asString(), "true");
  ad->setMediaViewConfiguration(Dictionary{{"autoplay_enabled", false}});
  EXPECT_EQ(ad->generateLoggingDataWithExtraData({}).find("nmvap")->asString(), "false");
  EXPECT_TRUE(ad->generateViewLogging().empty()) << "no view";
  EXPECT_FALSE(data.contains("nti")) << "no template";

  // A registered template names its type.
  class Template final : public OVNativeAdTemplateView {
   public:
    explicit Template(Rect frame) : OVNativeAdTemplateView(frame) {}
    std::int64_t templateType() const override { return 3; }
  };
  const auto view = std::make_shared<Template>(Rect(0, 100, 320, 300));
  window_->addSubview(view);
  ad->registerViewForInteraction(view, root_, {view});
  EXPECT_EQ(ad->generateLoggingDataWithExtraData({}).find("nti")->asString(), "3");
}

TEST_F(OVNativeAdRegistrationTest, AReleasedAdWithoutImpressionLogsOneMissWhileStillWhole) {
  {
    const auto ad = registeredAd(R"({"ct":"ct-1","title":"Boots","call_to_action":"Shop","enable_view_log":1,
      "image":{"url":"https://cdn.plexora.test/cover.jpg"}})");
  }
  ASSERT_EQ(count("miss"), 1u);
  const Logged& miss = logged_->back();
  EXPECT_EQ(miss.extraData.find("miss_reason")->asInteger(), 1);
  EXPECT_EQ(miss.extraData.find("vrc")->asString(), "0") << "read from the ad's validator before it went";
  EXPECT_TRUE(miss.postData.contains("view"));
  EXPECT_TRUE(callToAction_->gestureRecognizers().empty());

  { const auto seen = registeredAd(); advance(0.5); }
  EXPECT_EQ(count("miss"), 1u) << "an ad that was seen misses nothing";
  configure({{"impression_miss_tracking", false}});
  { const auto untracked = loadedAd(); }
  EXPECT_EQ(count("miss"), 1u);
}

TEST_F(OVNativeAdRegistrationTest, ManualAndExternalLoggingFollowThePlacementsPermission) {
  const auto ad = loadedAd();
  EXPECT_THROW(ad->logImpression(), platform::Exception) << "placement without manual logging";
  EXPECT_THROW(OVNativeAd::init()->logImpression(), platform::Exception) << "not loaded";
  const auto manual = loadedAd(R"({"ct":"ct-1","title":"Boots","call_to_action":"Shop","manual_imp":1,
    "image":{"url":"https://cdn.plexora.test/cover.jpg"}})");
  EXPECT_THROW(manual->handleClickWithViewController(nullptr), platform::Exception);
  configure({{"minimum_elapsed_time_after_impression", 0}, {"ad_clickability_threshold_ms", 0}});
  manual->handleClickWithViewController(root_);
  EXPECT_EQ(count("click"), 0u) << "no impression yet";
  manual->logImpression();
  EXPECT_EQ(count("impression"), 1u);
  advance(0.1);
  manual->handleClickWithViewController(root_);
  ASSERT_EQ(count("click"), 1u);
  EXPECT_EQ(logged_->back().extraData, (Dictionary{{"mil", "1"}}));

  EXPECT_THROW(ad->logExternalImpressionFromSource(""), platform::Exception);
  EXPECT_THROW(ad->handleExternalClickWithViewController(nullptr, "partner"), platform::Exception);
  ad->logExternalImpressionFromSource("partner");
  EXPECT_EQ(logged_->back().extraData, (Dictionary{{"eil", "1"}, {"eil_source", "partner"}}));
  ad->handleExternalClickWithViewController(root_, "partner");
  EXPECT_EQ(logged_->back().kind, "click");
}

TEST_F(OVNativeAdRegistrationTest, AViewSnapshotIsLoggedAfterTheDataDelayWhenAskedFor) {
  const auto ad = registeredAd(R"({"ct":"ct-snap","title":"Boots","call_to_action":"Shop","enable_snapshot_log":1,
    "snapshot_log_delay_second":2,"snapshot_compress_quality":80,"image":{"url":"https://cdn.plexora.test/c.jpg"}})");
  adView_->setBackgroundColor(platform::Color{0.2, 0.6, 0.2, 1.0});
  const auto snapshots = [] {
    EXPECT_TRUE(platform::DispatchQueue::settle(testing::kNetworkWaitSeconds));
    std::vector<Value> found;
    for (const auto& event :
         testing::readStoredEvents(OVAdDatabaseManager::sharedManager()->storagePath())) {
      if (event.type == "native_view") found.push_back(json(event.data.value_or("null")));
    }
    return found;
  };
  advance(1.9);
  EXPECT_TRUE(snapshots().empty());
  advance(0.1);
  const auto logged = snapshots();
  ASSERT_EQ(logged.size(), 1u);
  const auto jpeg = platform::base64Decode(logged[0].find("snapshot")->asString());
  ASSERT_TRUE(jpeg);
  const auto picture = platform::Image::decode(*jpeg);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->pixelWidth(), 640u) << "the view's 320 points at the screen's scale of 2";
  EXPECT_EQ(picture->pixelHeight(), 600u);
  EXPECT_NEAR(picture->pixel(4, 4).green, 153, 6) << "the view's background";

  // Without a view there is nothing to take: the event goes with no snapshot.
  ad->unregisterView();
  EXPECT_FALSE(ad->generateViewSnapshot());
}

}  // namespace
}  // namespace plexora
