// The video interstitial's content view over the system player double: it
// reports loaded once the video and the images are in, starts playing or
// waits at the poster as the data says, lays itself out, lets the ad be
// skipped only after its skippable time, can always be closed at the end,
// and reports a failure with its cause.
#include "adapters/views/video/OVInterstitialVideoAdDefaultContentView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "adapters/OVInstreamAdDataModel.h"
#include "adapters/views/nativead/video/VideoRendererTestSupport.h"
#include "adapters/views/video/OVAdVideoPlayPauseButton.h"
#include "adapters/views/video/OVAdVideoProgressBar.h"
#include "adapters/views/video/OVInstreamLearnMoreView.h"
#include "adapters/views/video/OVInterstitialVideoAdCloseButton.h"
#include "adapters/views/video/OVVideoAdLabel.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/ui/ImageView.h"
#include "plexora/OVAdErrorDomain.h"

namespace plexora::testing {
namespace {

using platform::MediaTime;

class RecordingContentViewDelegate final : public OVVideoAdContentViewDelegate {
 public:
  void contentViewDidLoad(const std::shared_ptr<OVVideoAdContentView>&) override { events.push_back("load"); }
  void contentViewDidProgress(const std::shared_ptr<OVVideoAdContentView>&) override {}
  void contentViewDidPause(const std::shared_ptr<OVVideoAdContentView>&) override { events.push_back("pause"); }
  void contentViewDidResume(const std::shared_ptr<OVVideoAdContentView>&) override { events.push_back("resume"); }
  void contentViewDidSkip(const std::shared_ptr<OVVideoAdContentView>&) override { events.push_back("skip"); }
  void contentViewDidClickthrough(const std::shared_ptr<OVVideoAdContentView>&) override {
    events.push_back("clickthrough");
  }
  void contentViewDidEnd(const std::shared_ptr<OVVideoAdContentView>&) override { events.push_back("end"); }
  void contentViewDidUnload(const std::shared_ptr<OVVideoAdContentView>&) override { events.push_back("unload"); }
  void contentView(const std::shared_ptr<OVVideoAdContentView>&, const platform::Error& error) override {
    events.push_back("fail");
    errors.push_back(error);
  }
  std::vector<std::string> events;
  std::vector<platform::Error> errors;
};

struct Ad {
  bool autoplay = true;
  std::string skippableSeconds;  // none when empty
  bool details = true;
};

MediaTime seconds(double value) { return MediaTime::make(static_cast<std::int64_t>(value * 1000), 1000); }

class OVInterstitialVideoAdDefaultContentViewTest : public VideoRendererTest {
 protected:
  OVInterstitialVideoAdDefaultContentViewTest() {
    useSystemPlayer();
    serve("poster.png", pngBody(16, 9));
    serve("icon.png", pngBody(8, 8));
  }

  std::shared_ptr<OVInstreamAdDataModel> model(const Ad& ad) const {
    const std::string base = world_.server().baseURL();
    std::string json = R"({"ct":"ct-iv","video":{"videoURL":")" + base + R"(media/clip.mp4","autoplay":)" +
                       (ad.autoplay ? "true" : "false") + "}";
    if (ad.details) {
      json += R"(,"icon":{"url":")" + base + R"(media/icon.png","width":8,"height":8})";
      json += R"(,"image":{"url":")" + base + R"(media/poster.png","width":16,"height":9})";
      json += R"(,"text":{"title":"Island Getaways","subtitle":"Plexora Travel"})";
      json += R"(,"cta":{"text":"Book Now","url":"ovad://open_link?link=https%3A%2F%2Ftravel.plexora.test"})";
    }
    if (!ad.skippableSeconds.empty()) {
      json += R"(,"capabilities":{"skipButton":{"skippableSeconds":")" + ad.skippableSeconds + R"("}})";
    }
    json += "}";
    return OVInstreamAdDataModel::initWithMetadata(*OVAdUtility::getObjectFromJSONString(json));
  }

  // A content view of the ad, loaded, in the window, started.
  std::shared_ptr<OVInterstitialVideoAdDefaultContentView> started(const Ad& ad) {
    auto view = OVInterstitialVideoAdDefaultContentView::create();
    view->setDelegate(delegate_);
    view->loadAdFromDataModel(model(ad));
    EXPECT_TRUE(runClockUntil([&] { return !delegate_->events.empty(); }));
    view->setFrame({0, 0, 375, 667});
    root_->view()->addSubview(view);
    view->startFromRootViewController(OVAdViewControllerProxy::proxyWithViewController(root_));
    view->layoutIfNeeded();
    return view;
  }

  std::shared_ptr<RecordingContentViewDelegate> delegate_ = std::make_shared<RecordingContentViewDelegate>();
};

TEST(OVInterstitialVideoAdContentViewMakerTest, MakesTheLibrarysOwnViewUnlessAnotherIsInstalled) {
  EXPECT_TRUE(
      std::dynamic_pointer_cast<OVInterstitialVideoAdDefaultContentView>(OVInterstitialVideoAdContentView::create()));
}

TEST_F(OVInterstitialVideoAdDefaultContentViewTest, LoadsOnceVideoAndImagesAreInThenPlaysAndLaysItselfOut) {
  const auto view = started({});
  EXPECT_EQ(delegate_->events, (std::vector<std::string>{"load"}));
  EXPECT_TRUE(view->isAutoplay());
  EXPECT_TRUE(view->videoView()->isPlaying());
  EXPECT_FALSE(view->isPaused());
  EXPECT_TRUE(view->imageView()->isHidden()) << "no poster while the video plays";
  EXPECT_DOUBLE_EQ(view->videoAspectRatio(), 640.0 / 360.0);
  // 16:9 in portrait leaves 456 points below: the details get a band.
  EXPECT_EQ(view->layoutKind(), OVInterstitialVideoAdLayoutKind::PortraitList);
  EXPECT_TRUE(view->adDetailsPersistent());
  EXPECT_EQ(view->videoView()->frame(), platform::Rect(0, 0, 375, 375 / (640.0 / 360.0)));
  EXPECT_EQ(view->callToActionView()->text(), "Book Now");
  EXPECT_EQ(view->callToActionView()->backgroundColor(), view->accentColor());
  EXPECT_FALSE(view->closeButtonView()) << "an ad without skippable seconds cannot be skipped";
  // The video at the bottom, the play/pause button over the details; the
  // badge keeps itself in front.
  const auto subviews = view->subviews();
  ASSERT_EQ(subviews.size(), 8u);
  EXPECT_EQ(subviews.front(), view->videoView());
  const auto indexOf = [&](const std::shared_ptr<platform::View>& child) {
    return std::find(subviews.begin(), subviews.end(), child) - subviews.begin();
  };
  EXPECT_LT(indexOf(view->adDetailsView()), indexOf(view->playPauseButton()));
  EXPECT_LT(indexOf(view->progressBar()), indexOf(view->callToActionView()));
  EXPECT_EQ(view->adChoicesView()->superview(), view);
  EXPECT_EQ(view->adChoicesView()->frame().origin, platform::Point()) << "top left, clear of the close button";

  // The controls fade 2 s after they were shown; the list's details stay.
  view->playPauseButton()->setAlpha(1.0);
  view->layoutIfNeeded();
  world_.clock().advance(OVInterstitialVideoAdDefaultContentView::kHideDelay + 1.0);
  DisplayAdTestWorld::settle();
  world_.clock().advance(1.0);
  DisplayAdTestWorld::settle();
  EXPECT_LT(view->playPauseButton()->alpha(), 1.0);
  EXPECT_EQ(view->adDetailsView()->alpha(), 1.0);
}

TEST_F(OVInterstitialVideoAdDefaultContentViewTest, WithoutAutoplayItWaitsAtThePosterUntilPlayIsPressed) {
  const auto view = started({.autoplay = false, .skippableSeconds = "", .details = true});
  EXPECT_FALSE(view->isAutoplay()) << "as the data says";
  EXPECT_FALSE(view->videoView()->isPlaying());
  EXPECT_TRUE(view->isPaused());
  EXPECT_FALSE(view->imageView()->isHidden());
  EXPECT_TRUE(view->progressBar()->isHidden());
  EXPECT_TRUE(view->playPauseButton()->isHighlighted());
  world_.clock().advance(5.0);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(view->playPauseButton()->alpha(), 1.0) << "nothing fades while paused";

  view->playPauseButtonTapped();
  EXPECT_TRUE(view->videoView()->isPlaying());
  EXPECT_TRUE(view->imageView()->isHidden());
  EXPECT_FALSE(view->progressBar()->isHidden());
  EXPECT_EQ(delegate_->events, (std::vector<std::string>{"load", "resume"}));
  world_.clock().advance(OVInterstitialVideoAdDefaultContentView::kHideDelay + 1.0);
  DisplayAdTestWorld::settle();
  world_.clock().advance(1.0);
  DisplayAdTestWorld::settle();
  EXPECT_LT(view->playPauseButton()->alpha(), 1.0);
}

TEST_F(OVInterstitialVideoAdDefaultContentViewTest, ASkipCountsOnlyAfterTheSkippableTime) {
  const auto view = started({.skippableSeconds = "5"});
  ASSERT_TRUE(view->closeButtonView());
  EXPECT_EQ(view->closeButtonView()->frame(), platform::Rect(332, 0, 43, 43));
  EXPECT_EQ(view->closeButtonView()->progressColor(), view->accentColor());
  kit_->player->tick(seconds(2.5));
  EXPECT_EQ(view->closeButtonView()->currentTime(), seconds(2.5));
  EXPECT_DOUBLE_EQ(view->closeButtonView()->completeRatio(), 0.5);
  EXPECT_EQ(view->skipRemainingTime(), seconds(2.5));
  view->closeButtonViewTapped();
  EXPECT_EQ(delegate_->events, (std::vector<std::string>{"load"})) << "too early";

  kit_->player->tick(seconds(5));
  EXPECT_EQ(view->skipRemainingTime(), MediaTime::zero());
  view->closeButtonViewTapped();
  EXPECT_EQ(delegate_->events, (std::vector<std::string>{"load", "skip"}));
  EXPECT_EQ(view->videoView()->superview(), nullptr);
}

TEST_F(OVInterstitialVideoAdDefaultContentViewTest, EveryAdCanBeClosedAtItsEnd) {
  for (const std::string skippable : {"", "5"}) {
    SCOPED_TRACE(skippable.empty() ? "not skippable" : "skippable");
    delegate_->events.clear();
    const auto view = started({.skippableSeconds = skippable});
    kit_->item->reachEnd();
    ASSERT_TRUE(runClockUntil([&] { return delegate_->events.back() == "end"; }));
    ASSERT_TRUE(view->closeButtonView()) << "the cross shows at the end";
    EXPECT_EQ(view->closeButtonView()->superview(), view);
    EXPECT_EQ(view->closeButtonView()->duration(), MediaTime::zero());
    view->layoutIfNeeded();
    EXPECT_EQ(view->closeButtonView()->frame(), platform::Rect(332, 0, 43, 43));
    EXPECT_TRUE(view->isPaused());
    EXPECT_FALSE(view->imageView()->isHidden()) << "the poster again";
    view->closeButtonViewTapped();
    EXPECT_EQ(delegate_->events, (std::vector<std::string>{"load", "end", "unload"}));
    view->removeFromSuperview();
  }
}

TEST_F(OVInterstitialVideoAdDefaultContentViewTest, GoesWithItsOwnerTakingItsVideoAlong) {
  auto view = started({.skippableSeconds = "5"});
  kit_->player->tick(seconds(1));
  const std::weak_ptr<OVInterstitialVideoAdDefaultContentView> weakView = view;
  const std::weak_ptr<OVAdVideoView> weakVideo = view->videoView();
  view->removeFromSuperview();
  view.reset();
  DisplayAdTestWorld::settle();
  EXPECT_TRUE(weakView.expired());
  EXPECT_TRUE(weakVideo.expired());
}

TEST_F(OVInterstitialVideoAdDefaultContentViewTest, AFailureClearsTheViewAndKeepsItsCause) {
  const auto view = started({.skippableSeconds = "5"});
  kit_->item->fail(platform::Error("media.test", 42));
  ASSERT_TRUE(runClockUntil([&] { return delegate_->events.back() == "fail"; }));
  const platform::Error& error = delegate_->errors.at(0);
  EXPECT_EQ(error.code(), kOVAdErrorCodeNetworkError);
  const auto* detail = error.userInfo().find(kOVAdErrorDetailKey);
  ASSERT_TRUE(detail);
  EXPECT_FALSE(detail->asDictionary().empty()) << "the video's own error is kept";
  for (const auto& removed : std::vector<std::shared_ptr<platform::View>>{
           view->videoView(), view->closeButtonView(), view->callToActionView(), view->adChoicesView(),
           view->titleView(), view->subtitleView()}) {
    EXPECT_EQ(removed->superview(), nullptr);
  }
}

}  // namespace
}  // namespace plexora::testing
