// The rewarded video view playing generated clips from the loopback server
// through the resource cache and the video engine, on the manual clock: the
// preload is reported as cached only when the cache delivered a video, the
// view loads and its delegate starts the player, progress moves the bar and
// the skip ring, and playback ends once (played out, failed, stalled or
// skipped) with the overlay taken down. The overlay fades on taps, the
// play/pause button and the application's activity pause it, and the
// details block is laid out from its labels.
#include "adapters/views/video/OVRewardedVideoAdEngineView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "NativeAdTestSupport.h"
#include "adapters/OVRewardedVideoAdDataModel.h"
#include "adapters/views/nativead/OVGradientView.h"
#include "adapters/views/nativead/video/OVAdVideoPlayerView.h"
#include "adapters/views/video/OVAdVideoPlayPauseButton.h"
#include "adapters/views/video/OVAdVideoProgressBar.h"
#include "adapters/views/video/OVAdVideoSkipButton.h"
#include "adapters/views/video/OVVideoAdLabel.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/foundation/Exception.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/media/GStreamerPlayerKit.h"
#include "platform/media/SystemPlayer.h"
#include "platform/ui/Application.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/ViewRendering.h"
#include "platform/ui/Window.h"
#include "plexora/OVAdErrorDomain.h"
#include "plexora/OVAdSettings.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdUtility.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/player/QNVPlayer.h"
#include "util/qnv/render/QNVRenderingThread.h"
#include "util/qnv/support/QNVTestClip.h"

namespace plexora::testing {
namespace {

using platform::MediaTime;
using platform::Rect;

std::string fileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Records each callback by name; the delegate starts the player once the
// view loaded, as the rewarded ad's controller does.
class RecordingDelegate final : public OVRewardedVideoAdViewDelegate {
 public:
  void rewardedVideoViewCached(const std::shared_ptr<OVRewardedVideoAdView>&) override { messages.push_back("cached"); }
  void rewardedVideoViewDidLoad(const std::shared_ptr<OVRewardedVideoAdView>& view) override {
    messages.push_back("load");
    loadedSystemPlayer = std::dynamic_pointer_cast<platform::SystemPlayer>(view->player()) != nullptr;
    if (startOnLoad && view->player()) view->player()->play();
  }
  void rewardedVideoViewProgress(const std::shared_ptr<OVRewardedVideoAdView>&) override { ++progress; }
  void rewardedVideoViewDidPause(const std::shared_ptr<OVRewardedVideoAdView>&) override {
    messages.push_back("pause");
  }
  void rewardedVideoViewDidResume(const std::shared_ptr<OVRewardedVideoAdView>&) override {
    messages.push_back("resume");
  }
  void rewardedVideoViewDidSkip(const std::shared_ptr<OVRewardedVideoAdView>&) override { messages.push_back("skip"); }
  void rewardedVideoView(const std::shared_ptr<OVRewardedVideoAdView>&, const platform::Error& error) override {
    messages.push_back("fail");
    errors.push_back(error);
  }
  void rewardedVideoViewEnded(const std::shared_ptr<OVRewardedVideoAdView>&, bool success, double time) override {
    messages.push_back(success ? "ended yes" : "ended no");
    endTime = time;
  }
  void rewardedVideoViewContextSwitch(const std::shared_ptr<OVRewardedVideoAdView>&) override {
    messages.push_back("switch");
  }

  std::size_t count(const std::string& message) const {
    return static_cast<std::size_t>(std::count(messages.begin(), messages.end(), message));
  }

  std::vector<std::string> messages;
  std::vector<platform::Error> errors;
  int progress = 0;
  double endTime = -1.0;
  // The player built at the load was the system's.
  bool loadedSystemPlayer = false;
  bool startOnLoad = true;
};

class RewardedVideoViewTest : public NativeAdTest {
 protected:
  RewardedVideoViewTest() {
    platform::Application::shared()->reset();
    window_->setRootViewController(root_);
    window_->makeKeyAndVisible();
    serve("clip.mp4", fileBytes(testMediaPath("baseline_aac_moov_first.mp4")));
    serve("twelve.mp4", fileBytes(testMediaPath("twelve_seconds.mp4")));
    serve("icon.png", pngBody(64, 64));
  }
  ~RewardedVideoViewTest() override {
    // Layers end on the rendering thread: wait for their teardown.
    auto drained = std::make_shared<std::atomic<bool>>(false);
    QNVRenderingThread::renderingThreadAllowingAppInactivePlayback(false)->performBlock([drained] { *drained = true; });
    platform::MainLoop::instance().runUntil([&] { return drained->load(); }, 10.0);
    configure({});
    platform::Application::shared()->reset();
  }

  static void configure(platform::Dictionary configuration) {
    OVAdConfigManager::sharedManager()->loadConfigurationFromDictionary(platform::Value(std::move(configuration)));
  }

  // The model of the data (JSON text) whose "{{BASE_URL}}" stands for the
  // loopback server.
  std::shared_ptr<OVRewardedVideoAdDataModel> model(std::string json) const {
    const std::string placeholder = "{{BASE_URL}}";
    for (auto at = json.find(placeholder); at != std::string::npos; at = json.find(placeholder)) {
      json.replace(at, placeholder.size(), world_.server().baseURL());
    }
    const auto data = OVAdUtility::getObjectFromJSONString(json);
    EXPECT_TRUE(data.has_value()) << json;
    return OVRewardedVideoAdDataModel::initWithMetadata(data.value_or(platform::Value()));
  }

  std::shared_ptr<OVRewardedVideoAdEngineView> viewFor(const std::string& json) {
    auto view = OVRewardedVideoAdEngineView::initWithPlacementID(
        "rewarded", model(json), 50, OVAdViewControllerProxy::proxyWithViewController(root_));
    view->setDelegate(delegate_);
    root_->view()->addSubview(view);
    return view;
  }

  // Runs the main loop (the download and the decoder run on real threads)
  // and moves the clock on in small steps until `done`.
  bool runClockUntil(const std::function<bool()>& done, double step = 0.05) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      world_.clock().advance(step);
      QNVMediaStateQueue()->sync([] {});
      platform::MainLoop::instance().runUntil(done, 0.02);
    }
    return true;
  }
  void advance(double seconds) {
    world_.clock().advance(seconds);
    DisplayAdTestWorld::settle();
  }

  std::shared_ptr<platform::Window> window_ = std::make_shared<platform::Window>();
  std::shared_ptr<platform::ViewController> root_ = std::make_shared<platform::ViewController>();
  std::shared_ptr<RecordingDelegate> delegate_ = std::make_shared<RecordingDelegate>();
};

constexpr const char* kClipData = R"({"ct":"ct-rv","video_url":"{{BASE_URL}}media/clip.mp4"})";

TEST_F(RewardedVideoViewTest, AClipIsCachedLoadedPlayedWithProgressAndEndsOnceWithItsDuration) {
  const auto view = viewFor(kClipData);
  EXPECT_TRUE(view->isAdValid());
  EXPECT_EQ(view->frame(), OVAdScreen::boundsInOrientation());
  ASSERT_TRUE(runClockUntil([&] { return delegate_->count("cached") > 0; }, 0.5));
  EXPECT_EQ(delegate_->messages, std::vector<std::string>{"cached"});
  EXPECT_FALSE(view->player()) << "no player before playVideo";

  view->playVideo();
  ASSERT_TRUE(runClockUntil([&] { return delegate_->count("load") > 0; }, 0.5));
  ASSERT_TRUE(view->player());
  EXPECT_TRUE(std::dynamic_pointer_cast<QNVPlayer>(view->player())) << "the engine plays by default";
  ASSERT_TRUE(runClockUntil([&] { return !view->player()->isMuted(); })) << "the video plays with sound";
  EXPECT_GT(view->duration().seconds(), 0.5);
  EXPECT_EQ(view->progressBar()->duration(), view->duration());
  EXPECT_EQ(view->videoView()->frame(), view->bounds()) << "laid out once loaded";

  ASSERT_TRUE(runClockUntil([&] { return delegate_->progress >= 5; }));
  EXPECT_GT(view->progressBar()->progressRatio(), 0.0);
  EXPECT_EQ(view->progressBar()->currentTime(), view->currentTime());

  ASSERT_TRUE(runClockUntil([&] { return delegate_->count("ended yes") > 0; }));
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"cached", "load", "ended yes"}));
  EXPECT_DOUBLE_EQ(delegate_->endTime, view->duration().seconds());
  EXPECT_FALSE(view->videoView()) << "the end takes the video down";
  EXPECT_FALSE(view->progressBar());
  EXPECT_FALSE(view->player());
  EXPECT_TRUE(view->subviews().empty()) << "no details block without the metadata switch";
}

// Where the engine is not chosen (the application allows background
// playback) the system's player plays the same clip through the same steps.
TEST_F(RewardedVideoViewTest, TheSystemPlayerPlaysTheClipWhereTheEngineIsNotChosen) {
  const auto previousKit = platform::SystemPlayerKit::installed();
  platform::SystemPlayerKit::install(std::make_shared<platform::GStreamerPlayerKit>());
  OVAdSettings::setBackgroundVideoPlaybackAllowed(true);
  const auto view = viewFor(kClipData);
  view->playVideo();
  const bool ended = runClockUntil([&] { return delegate_->count("ended yes") + delegate_->count("fail") > 0; });
  OVAdSettings::setBackgroundVideoPlaybackAllowed(false);
  platform::SystemPlayerKit::install(previousKit);
  ASSERT_TRUE(ended);
  EXPECT_TRUE(delegate_->loadedSystemPlayer);
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"cached", "load", "ended yes"}));
  EXPECT_GT(delegate_->progress, 5) << "the periodic observer reported on the system's player too";
  EXPECT_NEAR(delegate_->endTime, 1.0, 0.1);
}

// The view drawn by the engine: the clip's picture, the accent-coloured
// played part of the progress bar along the bottom and the white disc of
// the skip ring at the top right.
TEST_F(RewardedVideoViewTest, ThePictureProgressBarAndSkipRingAreDrawn) {
  const auto view = viewFor(R"({"ct":"ct-rv","video_url":"{{BASE_URL}}media/twelve.mp4","skippable_seconds":10})");
  view->setFrame({0, 0, 320, 180});
  view->playVideo();
  ASSERT_TRUE(runClockUntil([&] { return view->currentTime().seconds() >= 6.0; }));
  view->player()->pause();
  DisplayAdTestWorld::settle();
  // The test pattern fills the middle of the picture with colour once the
  // rendering thread has drawn the paused frame (a busy machine draws late).
  const auto colouredAcrossTheMiddle = [](const platform::Image& image) {
    int coloured = 0;
    for (std::uint32_t x = 80; x < 240; x += 20) {
      const auto pixel = image.pixel(x, 90);
      if (pixel.red + pixel.green + pixel.blue > 150) ++coloured;
    }
    return coloured;
  };
  std::shared_ptr<platform::Image> picture;
  runClockUntil([&] {
    picture = platform::renderView(*view, view->bounds(), 1.0, platform::Color::black());
    return picture && colouredAcrossTheMiddle(*picture) >= 4;
  });
  ASSERT_TRUE(picture);
  const double played = view->progressBar()->progressRatio();
  ASSERT_GT(played, 0.4);
  ASSERT_LT(played, 0.8);
  // Played part of the bar: RGB 0.31, 0.51, 0.97.
  const auto bar = picture->pixel(10, 178);
  EXPECT_NEAR(bar.red, 79, 3);
  EXPECT_NEAR(bar.green, 130, 3);
  EXPECT_NEAR(bar.blue, 247, 3);
  const auto rest = picture->pixel(310, 178);
  EXPECT_LT(rest.red + rest.green + rest.blue, 30) << "the bar's black background beyond the played part";
  // The ring's disc (radius about 13.5 around (298.5, 21.5)), its left half
  // still white at 60 % of the countdown.
  const auto disc = picture->pixel(290, 21);
  EXPECT_GT(disc.red, 200);
  EXPECT_GT(disc.green, 200);
  EXPECT_GE(colouredAcrossTheMiddle(*picture), 4) << "the clip's frame is shown";
}

TEST_F(RewardedVideoViewTest, ACacheThatDeliversNothingIsAFailureNeverCachedAndAnUnreadableFileCannotPlay) {
  struct Case {
    const char* name;
    int status;
    std::string body;
    bool cached;
    std::int64_t playCode;
  };
  const Case cases[] = {
      {"missing", 404, "no such video", false, kOVMediaViewErrorInvalidResponse},
      {"unreadable", 200, std::string(4096, 'x'), true, kOVMediaViewErrorUnsupportedAsset},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    delegate_->messages.clear();
    delegate_->errors.clear();
    const std::string name = std::string(c.name) + ".mp4";
    serve(name, c.body, c.status);
    const auto view = viewFor(R"({"ct":"ct-rv","video_url":"{{BASE_URL}}media/)" + name + R"("})");
    ASSERT_TRUE(runClockUntil([&] { return !delegate_->messages.empty(); }, 0.5));
    if (c.cached) {
      EXPECT_EQ(delegate_->messages, std::vector<std::string>{"cached"});
    } else {
      ASSERT_EQ(delegate_->messages, std::vector<std::string>{"fail"});
      EXPECT_EQ(delegate_->errors[0].domain(), OVPlexoraMediaViewErrorDomain);
      EXPECT_EQ(delegate_->errors[0].code(), kOVMediaViewErrorInvalidResponse);
      EXPECT_EQ(delegate_->errors[0].localizedDescription(), "Asset returning invalid response");
    }
    delegate_->messages.clear();
    delegate_->errors.clear();
    view->playVideo();
    ASSERT_TRUE(runClockUntil([&] { return !delegate_->messages.empty(); }, 0.5));
    ASSERT_EQ(delegate_->messages, std::vector<std::string>{"fail"});
    EXPECT_EQ(delegate_->errors[0].code(), c.playCode);
    EXPECT_FALSE(view->player());
    EXPECT_TRUE(view->progressBar()) << "a video that never played leaves the overlay as it is";
  }
}

// Several failure reports queued together (a stall, then the item's
// failure) end the ad once: one error (the player has none of its own),
// one end without success carrying the whole duration.
TEST_F(RewardedVideoViewTest, AStallFailsTheAdAndQueuedFailuresReportOnce) {
  const auto view = viewFor(R"({"ct":"ct-rv","video_url":"{{BASE_URL}}media/twelve.mp4"})");
  view->playVideo();
  ASSERT_TRUE(runClockUntil([&] { return delegate_->progress >= 3; }));
  const auto player = std::dynamic_pointer_cast<QNVPlayer>(view->player());
  ASSERT_TRUE(player);
  const auto item = player->currentItem();
  ASSERT_TRUE(item);
  const void* sender = dynamic_cast<const void*>(item.get());
  // Posted where the engine posts them, so all three wait on the main
  // queue together.
  QNVMediaStateQueue()->sync([sender] {
    auto& center = platform::NotificationCenter::defaultCenter();
    center.post(platform::kAVPlayerItemPlaybackStalledNotification, sender);
    center.post(platform::kAVPlayerItemFailedToPlayToEndTimeNotification, sender);
    center.post(kOVAVPlayerItemNewErrorLogEntryNotification, sender);
  });
  DisplayAdTestWorld::settle();

  EXPECT_EQ(delegate_->count("fail"), 1u);
  EXPECT_EQ(delegate_->count("ended no"), 1u);
  EXPECT_EQ(delegate_->count("ended yes"), 0u);
  ASSERT_EQ(delegate_->errors.size(), 1u);
  EXPECT_EQ(delegate_->errors[0].domain(), OVPlexoraMediaViewErrorDomain);
  EXPECT_EQ(delegate_->errors[0].code(), kOVMediaViewErrorPlaybackFailed);
  EXPECT_NEAR(delegate_->endTime, 12.0, 0.1) << "the whole duration, though it failed early";
  EXPECT_FALSE(view->videoView());
  EXPECT_FALSE(view->player());

  // Nothing more arrives from the player that was taken down.
  const int progress = delegate_->progress;
  advance(1.0);
  EXPECT_EQ(delegate_->progress, progress);
}

TEST_F(RewardedVideoViewTest, TheSkipRingCountsDownAndSkipsOnlyOnceAllowed) {
  const auto view = viewFor(
      R"({"ct":"ct-rv","video_url":"{{BASE_URL}}media/twelve.mp4","skippable_seconds":2.5,"end_card_markup":"<p>"})");
  ASSERT_TRUE(view->skipButtonView());
  EXPECT_EQ(view->skipButtonView()->iconType(), OVAdVideoSkipButton::kIconSkip) << "an end card follows";
  view->playVideo();
  ASSERT_TRUE(runClockUntil([&] { return view->currentTime().seconds() >= 1.0; }));
  EXPECT_GT(view->skipButtonView()->completeRatio(), 0.3);
  EXPECT_GT(view->skipRemainingTime(), MediaTime::zero());
  // Taps on the ring itself, through the window.
  const platform::Point ring{view->bounds().size.width - 21.5, 21.5};
  ASSERT_TRUE(platform::Application::shared()->sendTap(ring));
  DisplayAdTestWorld::settle();
  EXPECT_EQ(delegate_->count("skip"), 0u) << "too early";
  EXPECT_TRUE(view->skipButtonView());

  ASSERT_TRUE(runClockUntil([&] { return view->currentTime().seconds() >= 2.5; }));
  EXPECT_EQ(view->skipRemainingTime(), MediaTime::zero());
  EXPECT_DOUBLE_EQ(view->skipButtonView()->completeRatio(), 1.0);
  ASSERT_TRUE(platform::Application::shared()->sendTap(ring));
  DisplayAdTestWorld::settle();
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"cached", "load", "skip"}));
  EXPECT_FALSE(view->skipButtonView());
  EXPECT_FALSE(view->videoView());

  // The end the skip cut short is never reported.
  int steps = 0;
  runClockUntil([&] { return ++steps > 30; }, 0.5);
  EXPECT_EQ(delegate_->count("ended yes") + delegate_->count("ended no"), 0u);
}

TEST_F(RewardedVideoViewTest, SkippableSecondsBecomeAThousandthsTimeAndTheRingIconFollowsTheEndCard) {
  struct Case {
    const char* name;
    const char* extra;
    bool skippable;
    std::int64_t value;
    std::int64_t icon;
  };
  const Case cases[] = {
      {"absent", "", false, 0, 0},
      {"5 s, no end card", R"(,"skippable_seconds":5)", true, 5000, OVAdVideoSkipButton::kIconCross},
      {"2.5 s, empty end card", R"(,"skippable_seconds":2.5,"end_card_markup":"")", true, 2500,
       OVAdVideoSkipButton::kIconCross},
      {"2.0005 s truncated, with end card", R"(,"skippable_seconds":2.0005,"end_card_markup":"<b>")", true, 2000,
       OVAdVideoSkipButton::kIconSkip},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto view = viewFor(std::string(R"({"ct":"ct-rv")") + c.extra + "}");
    view->updateView(true);
    EXPECT_EQ(view->skippable(), c.skippable);
    if (!c.skippable) {
      EXPECT_FALSE(view->skippableTime().isValid());
      EXPECT_FALSE(view->skipRemainingTime().isValid());
      EXPECT_FALSE(view->skipButtonView());
      continue;
    }
    EXPECT_EQ(view->skippableTime().value, c.value);
    EXPECT_EQ(view->skippableTime().timescale, 1000);
    ASSERT_TRUE(view->skipButtonView());
    EXPECT_EQ(view->skipButtonView()->duration(), view->skippableTime());
    EXPECT_EQ(view->skipButtonView()->iconType(), c.icon);
    EXPECT_EQ(view->skipButtonView()->frame(), Rect(view->bounds().size.width - 43, 0, 43, 43));
  }
}

TEST_F(RewardedVideoViewTest, AViewWithoutARootViewControllerIsRefused) {
  try {
    OVRewardedVideoAdEngineView::initWithPlacementID("rewarded", model(kClipData), 0, nullptr);
    FAIL() << "no exception";
  } catch (const platform::Exception& exception) {
    EXPECT_EQ(exception.name(), platform::kInvalidArgumentException);
    EXPECT_EQ(exception.reason(), "rootViewController cannot be nil");
  }
}

class RewardedVideoOverlayTest : public RewardedVideoViewTest {
 protected:
  RewardedVideoOverlayTest() {
    configure({{"show_metadata_rewarded_video", true}, {"show_play_pause_rewarded_video", true}});
  }
  static constexpr const char* kData =
      R"({"ct":"ct-rv","video_url":"{{BASE_URL}}media/twelve.mp4","title":"Spring sale",)"
      R"("subtitle":"Everything must go, today and tomorrow only","icon":{"url":"{{BASE_URL}}media/icon.png"}})";

  // A loaded view in a 320 by 568 frame, its player not started.
  std::shared_ptr<OVRewardedVideoAdEngineView> loadedView() {
    delegate_->startOnLoad = false;
    auto view = viewFor(kData);
    view->setFrame({0, 0, 320, 568});
    EXPECT_TRUE(runClockUntil([&] { return view->iconView() != nullptr; }, 0.5));
    view->playVideo();
    EXPECT_TRUE(runClockUntil([&] { return delegate_->count("load") > 0; }, 0.5));
    return view;
  }
  static std::vector<double> alphas(const OVRewardedVideoAdEngineView& view) {
    return {view.playPauseButton()->alpha(), view.adDetailsView()->alpha(), view.gradientView()->alpha()};
  }
};

TEST_F(RewardedVideoOverlayTest, TheOverlayFadesInOnATapStaysTwoSecondsAndIgnoresTapsWhileFading) {
  const auto view = loadedView();
  const std::vector<double> hidden{0.0, 0.0, 0.0};
  const std::vector<double> shown{1.0, 1.0, 1.0};
  EXPECT_EQ(alphas(*view), hidden) << "the overlay starts hidden";

  view->backgroundTapped();
  EXPECT_EQ(alphas(*view), shown);
  EXPECT_TRUE(view->isAnimating());
  view->backgroundTapped();
  EXPECT_EQ(alphas(*view), shown) << "a tap during the fade is ignored";
  advance(0.5);
  EXPECT_FALSE(view->isAnimating());
  advance(1.9);
  EXPECT_EQ(alphas(*view), shown);
  advance(0.2);
  EXPECT_EQ(alphas(*view), hidden) << "hidden 2 s after the fade-in";
  advance(0.5);

  // Shown again, a tap hides it at once.
  view->backgroundTapped();
  advance(0.5);
  view->backgroundTapped();
  EXPECT_EQ(alphas(*view), hidden);
}

TEST_F(RewardedVideoOverlayTest, ThePlayPauseButtonAndTheApplicationsActivityPauseAndResume) {
  const auto view = loadedView();
  const auto player = view->player();
  player->play();
  ASSERT_TRUE(runClockUntil([&] { return player->rate() > 0.0F; }));

  view->playPauseButton()->sendTap();
  DisplayAdTestWorld::settle();
  EXPECT_TRUE(view->isPaused());
  EXPECT_TRUE(view->playPauseButton()->isHighlighted());
  ASSERT_TRUE(runClockUntil([&] { return player->rate() == 0.0F; }));
  view->backgroundTapped();
  EXPECT_EQ(view->adDetailsView()->alpha(), 0.0) << "taps do nothing while paused";

  view->playPauseButton()->sendTap();
  DisplayAdTestWorld::settle();
  EXPECT_FALSE(view->isPaused());
  EXPECT_FALSE(view->playPauseButton()->isHighlighted());
  EXPECT_EQ(view->adDetailsView()->alpha(), 1.0) << "resuming shows the overlay";
  ASSERT_TRUE(runClockUntil([&] { return player->rate() > 0.0F; }));

  platform::Application::shared()->transitionTo(platform::ApplicationState::Inactive);
  DisplayAdTestWorld::settle();
  EXPECT_TRUE(view->isPaused());
  EXPECT_TRUE(view->playPauseButton()->isHighlighted());
  platform::Application::shared()->transitionTo(platform::ApplicationState::Active);
  DisplayAdTestWorld::settle();
  EXPECT_FALSE(view->isPaused());
  EXPECT_FALSE(view->playPauseButton()->isHighlighted());
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"cached", "load", "pause", "resume", "pause", "switch"}));
}

TEST_F(RewardedVideoViewTest, WithoutAPlayPauseButtonLeavingPausesButReturningOnlySwitchesContext) {
  const auto view = viewFor(R"({"ct":"ct-rv","video_url":"{{BASE_URL}}media/twelve.mp4"})");
  EXPECT_FALSE(view->playPauseButton());
  EXPECT_FALSE(view->adDetailsView());
  EXPECT_FALSE(view->gradientView());
  view->playVideo();
  ASSERT_TRUE(runClockUntil([&] { return delegate_->progress > 0; }));
  platform::Application::shared()->transitionTo(platform::ApplicationState::Inactive);
  DisplayAdTestWorld::settle();
  EXPECT_FALSE(view->isPaused());
  ASSERT_TRUE(runClockUntil([&] { return view->player()->rate() == 0.0F; }));
  platform::Application::shared()->transitionTo(platform::ApplicationState::Active);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"cached", "load", "pause", "switch"}));
  EXPECT_EQ(view->player()->rate(), 0.0F) << "the delegate decides whether to play again";
}

TEST_F(RewardedVideoOverlayTest, TheDetailsBlockSitsAboveTheProgressBarWithTextBesideTheIcon) {
  const auto view = loadedView();
  ASSERT_TRUE(view->iconView());
  ASSERT_TRUE(view->titleView());
  ASSERT_TRUE(view->subtitleView());
  EXPECT_EQ(view->titleText(), "Spring sale");
  view->updateView(true);

  // Width 320: 296 for the block, 220 for the text beside the icon.
  const Rect details = view->adDetailsView()->frame();
  const Rect title = view->titleView()->frame();
  const Rect subtitle = view->subtitleView()->frame();
  const double height = std::max(title.size.height + subtitle.size.height, 64.0);
  EXPECT_EQ(details, Rect(12, 568 - 5 - height - 12, 296, height));
  EXPECT_EQ(view->iconView()->frame(), Rect(0, (height - 64) * 0.5, 64, 64));
  EXPECT_EQ(title.origin.x, 76);
  EXPECT_EQ(subtitle.origin.x, 76);
  EXPECT_LE(title.size.width, 220);
  EXPECT_LE(subtitle.size.width, 220);
  EXPECT_GT(subtitle.size.height, title.size.height * 0.5) << "the subtitle wraps within 220 points";
  EXPECT_DOUBLE_EQ(title.origin.y, height - subtitle.origin.y - subtitle.size.height) << "centred in the block";
  EXPECT_EQ(view->gradientView()->frame(), Rect(0, 568 - (height + 17), 320, height + 17));
  EXPECT_EQ(view->progressBar()->frame(), Rect(0, 563, 320, 5));
  EXPECT_EQ(view->playPauseButton()->frame(), Rect(125, 249, 70, 70));
  EXPECT_EQ(view->titleView()->font(), platform::Font::boldSystemFont(18));
  EXPECT_EQ(view->titleView()->numberOfLines(), 2);
  EXPECT_EQ(view->subtitleView()->numberOfLines(), 3);
}

}  // namespace
}  // namespace plexora::testing
