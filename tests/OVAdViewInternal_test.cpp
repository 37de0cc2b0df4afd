// One HTML ad view with a fake page: its impression needs a superview and a
// viewable check, links go to the command processor or out of the
// application, the touch record, and the size bounds of its page.
#include "OVAdViewInternal.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "BannerTestSupport.h"
#include "dto/OVAdPlacementDefinition.h"
#include "platform/ui/Application.h"
#include "util/OVAdUtility.h"

namespace plexora::testing {
namespace {

class RecordingInternalDelegate final : public OVAdViewDelegate {
 public:
  void adViewDidClick(const std::shared_ptr<OVAdView>&) override { ++clicks; }
  void adViewDidFinishHandlingClick(const std::shared_ptr<OVAdView>&) override { ++finished; }
  void adViewDidLoad(const std::shared_ptr<OVAdView>&) override { ++loads; }
  void adViewWillLogImpression(const std::shared_ptr<OVAdView>&) override { ++impressions; }
  int clicks = 0;
  int finished = 0;
  int loads = 0;
  int impressions = 0;
};

class AdViewInternalTest : public BannerTest {
 protected:
  AdViewInternalTest() { platform::Application::shared()->reset(); }

  std::shared_ptr<OVAdViewInternal> makeAd() {
    auto definition = std::make_shared<OVAdPlacementDefinition>();
    definition->setViewabilityCheckInitialDelay(0.5);
    definition->setViewabilityCheckInterval(0.5);
    auto ad = OVAdViewInternal::initWithAdData(
        OVAdUtility::getObjectFromJSONString(htmlAdData("ct-internal"))->asDictionary(), definition, kOVAdSize320x50);
    ad->setDelegate(recorder_);
    return ad;
  }
  FakeContentContainer& pageOf(const std::shared_ptr<OVAdViewInternal>& ad) {
    return static_cast<FakeContentContainer&>(*ad->adContentContainer());
  }

  std::shared_ptr<RecordingInternalDelegate> recorder_ = std::make_shared<RecordingInternalDelegate>();
};

TEST_F(AdViewInternalTest, TheImpressionIsLoggedOnceByAViewableCheckOfAnAdInAWindow) {
  const auto ad = makeAd();
  FakeContentContainer& page = pageOf(ad);
  page.setImpressionReady(true);
  page.finishLoad();
  world_.clock().advance(3.0);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(page.logImpressionCalls, 0) << "no superview, no check";
  EXPECT_EQ(ad->viewabilityValidator(), nullptr);

  window_->addSubview(ad);
  world_.clock().advance(0.5);
  DisplayAdTestWorld::settle();
  EXPECT_TRUE(ad->isImpressionSent());
  EXPECT_EQ(recorder_->impressions, 1);
  world_.clock().advance(3.0);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(page.logImpressionCalls, 1);
}

struct LinkCase {
  const char* name;
  const char* url;
  bool opensOutside;
  int clicks;
};

class AdViewInternalLinkTest : public AdViewInternalTest, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(AdViewInternalLinkTest, CommandLinksGoToTheProcessorAndOtherLinksOpenOutsideAsAClick) {
  const auto ad = makeAd();
  FakeContentContainer& page = pageOf(ad);
  const auto url = platform::URL::parse(GetParam().url);
  ASSERT_TRUE(url);
  EXPECT_TRUE(page.tapLink(*url));
  EXPECT_EQ(platform::Application::shared()->openedURLs().size(), GetParam().opensOutside ? 1u : 0u);
  EXPECT_EQ(recorder_->clicks, GetParam().clicks);
  EXPECT_EQ(static_cast<int>(page.clicks.size()), GetParam().clicks);
}

INSTANTIATE_TEST_SUITE_P(
    Links, AdViewInternalLinkTest,
    ::testing::Values(LinkCase{"CommandInCapitals", "OVAD://close", false, 0},
                      LinkCase{"Command", "ovad://close", false, 0},
                      LinkCase{"WebLink", "https://shop.plexora.test/spring", true, 1}),
    [](const ::testing::TestParamInfo<LinkCase>& info) { return std::string(info.param.name); });

TEST_F(AdViewInternalTest, TheTouchRecordNeedsATouchAndCarriesTheDelaySinceTheFirstImpression) {
  const auto ad = makeAd();
  FakeContentContainer& page = pageOf(ad);
  OVAdCommandProcessor& processor = *ad->commandHandler();
  EXPECT_EQ(ad->commandProcessorTouchInformation(processor), std::nullopt);

  page.setLastTouchStartLocation({10, 20});
  page.setLastTouchCurrentLocation({12, 24});
  page.setLastTouchStartTimestamp(100.0);
  page.setLastTouchCurrentTimestamp(100.25);
  page.setLastTouchPressure(0.5);
  page.setLastTouchRadius(4.0);
  const auto record = ad->commandProcessorTouchInformation(processor);
  ASSERT_TRUE(record);
  const platform::Dictionary& touch = record->asDictionary();
  EXPECT_EQ(touch.size(), 12u);
  EXPECT_EQ(touch.find("clickDelayTime")->toInt64(), -1) << "no impression yet";
  EXPECT_EQ(touch.find("startX")->toDouble(), 10.0);
  EXPECT_EQ(touch.find("endY")->toDouble(), 24.0);
  EXPECT_EQ(touch.find("clickX")->toDouble(), 12.0);
  EXPECT_EQ(touch.find("endTime")->toDouble(), 100.25);
  EXPECT_EQ(touch.find("radiusY")->toDouble(), 4.0);

  page.setFirstImpressionTime(platform::Clock::current()->timeSinceReferenceDate() - 1.5);
  EXPECT_DOUBLE_EQ(ad->commandProcessorTouchInformation(processor)->asDictionary().find("clickDelayTime")->toDouble(),
                   1500.0);
}

TEST_F(AdViewInternalTest, TheFrameIsBoundedByThePagesMinimumAndMaximumSizes) {
  const auto ad = makeAd();
  FakeContentContainer& page = pageOf(ad);
  page.setMinimumSize({100, 40});
  page.setMaximumSize({400, 60});
  ad->setFrame(platform::Rect(5, 6, 50, 100));
  EXPECT_EQ(ad->frame(), platform::Rect(5, 6, 100, 60));
  EXPECT_EQ(page.getView()->frame(), platform::Rect(0, 0, 100, 60));
  page.setMinimumSize({});
  page.setMaximumSize({});
  ad->setFrame(platform::Rect(0, 0, 1000, 1));
  EXPECT_EQ(ad->frame(), platform::Rect(0, 0, 1000, 1));
}

}  // namespace
}  // namespace plexora::testing
