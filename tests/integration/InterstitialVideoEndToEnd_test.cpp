// The video interstitial from end to end on the manual clock against the
// bundled ad server, its video played by the system player double: the
// fixture placement loads, is shown over the host's controller, plays to
// its end and is closed with the cross; the host hears each step in order
// and the logging endpoint acknowledges the impression.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "InterstitialTestSupport.h"
#include "adapters/views/nativead/video/VideoRendererTestSupport.h"
#include "adapters/views/video/OVInterstitialVideoAdCloseButton.h"
#include "adapters/views/video/OVInterstitialVideoAdDefaultContentView.h"
#include "internal/OVInterstitialVideoAdInternal.h"
#include "platform/ui/ViewController.h"
#include "plexora/OVInterstitialAd.h"
#include "tracking/OVAdEventManager.h"

namespace plexora::testing {
namespace {

constexpr const char* kFixturePlacement = "interstitial_video";
constexpr const char* kToken = "ct-inter-video-1";

class InterstitialVideoEndToEndTest : public VideoRendererTest {
 protected:
  InterstitialVideoEndToEndTest() {
    useSystemPlayer();
    serve("interstitial-video.mp4", videoFileBytes(testMediaPath("baseline_aac_moov_first.mp4")));
    events_ = world_.makeEventManager(caches_ / "events.sqlite");
  }

  void finishTransition() {
    DisplayAdTestWorld::settle();
    world_.clock().advance(platform::ViewController::kTransitionSeconds);
    DisplayAdTestWorld::settle();
  }
  bool acknowledged(const std::string& token) {
    for (const auto& event : world_.server().logging().events()) {
      if (event.token == token) return true;
    }
    return false;
  }

  std::shared_ptr<OVAdEventManager> events_;
  std::shared_ptr<RecordingInterstitialDelegate> host_ = std::make_shared<RecordingInterstitialDelegate>();
};

TEST_F(InterstitialVideoEndToEndTest, TheVideoFixtureLoadsShowsPlaysToTheEndAndCloses) {
  const auto ad = OVInterstitialAd::initWithPlacementID(kFixturePlacement);
  ad->setDelegate(host_);
  ad->loadAd();
  ASSERT_TRUE(runClockUntil([&] { return !host_->messages.empty(); }));
  ASSERT_EQ(host_->messages, (std::vector<std::string>{"loaded"}));
  EXPECT_TRUE(ad->isAdValid());

  ASSERT_TRUE(ad->showAdFromRootViewController(root_));
  const auto internal = std::dynamic_pointer_cast<OVInterstitialVideoAdInternal>(root_->presentedViewController());
  ASSERT_TRUE(internal);
  internal->setEventManager(events_);
  finishTransition();
  EXPECT_EQ(host_->messages, (std::vector<std::string>{"loaded", "impression"}));
  const auto content = std::dynamic_pointer_cast<OVInterstitialVideoAdDefaultContentView>(internal->contentView());
  ASSERT_TRUE(content);
  EXPECT_EQ(content->window(), window_);
  EXPECT_TRUE(content->videoView()->isPlaying());
  content->layoutIfNeeded();
  EXPECT_EQ(content->layoutKind(), OVInterstitialVideoAdLayoutKind::PortraitList);

  // Half way through the skippable time the wedge is half full; then the
  // video plays to its end and the cross closes the ad.
  kit_->player->tick(platform::MediaTime::make(2500, 1000));
  EXPECT_DOUBLE_EQ(content->closeButtonView()->completeRatio(), 0.5);
  kit_->player->tick(platform::MediaTime::make(30, 1));
  kit_->item->reachEnd();
  ASSERT_TRUE(runClockUntil([&] { return content->isVideoEnded(); }));
  EXPECT_EQ(content->closeButtonView()->duration(), platform::MediaTime::zero());
  content->closeButtonViewTapped();
  finishTransition();
  EXPECT_EQ(root_->presentedViewController(), nullptr);
  EXPECT_EQ(host_->messages, (std::vector<std::string>{"loaded", "impression", "will close", "did close"}));

  ASSERT_TRUE(runClockUntil([&] { return acknowledged(kToken); }));
  EXPECT_FALSE(world_.loggedEvents("impression", kToken).empty());
  ASSERT_TRUE(world_.waitForTrackerHits(1));
  EXPECT_TRUE(world_.trackerHit("interstitial-video-1-request").has_value());
}

}  // namespace
}  // namespace plexora::testing
