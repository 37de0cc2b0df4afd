// The media view's own renderer, fed by the loopback server through the
// resource cache: a video that cannot be fetched or read fails with its
// error in the media-view domain and the view falls back to the cover
// image; a generated clip loads, autoplays once viewable, plays on the
// manual clock and completes, each step reaching the media view's delegate.
// Each load plays through the player it chose: the engine's, or the
// system's (a double installed through the platform), and without a system
// player the load falls back to the cover image. Full screen the renderer
// plays with sound and ignores taps on the video; back inline it is muted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "VideoRendererTestSupport.h"
#include "adapters/views/nativead/image/OVAdDefaultBlurredImageView.h"
#include "adapters/views/nativead/video/OVAdDefaultFullscreenVideoController.h"
#include "adapters/views/nativead/video/OVMediaViewDefaultVideoRenderer.h"
#include "adapters/views/nativead/video/OVMediaViewVideoRendererState.h"
#include "adapters/views/video/OVAdVideoPlayButton.h"
#include "adapters/views/video/OVAdVideoScrubber.h"
#include "plexora/OVAdImage.h"
#include "platform/media/SystemPlayerKit.h"
#include "plexora/OVAdErrorDomain.h"
#include "plexora/OVAdSettings.h"
#include "tracking/OVAdVideoLogger.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/player/QNVPlayer.h"
#include "util/qnv/render/QNVPlayerLayer.h"
#include "util/qnv/render/QNVRenderingThread.h"
#include "util/qnv/support/QNVTestClip.h"
#include "support/doubles/SystemPlayerDoubles.h"

namespace plexora::testing {
namespace {

using platform::Rect;

class DefaultVideoRendererTest : public VideoRendererTest {
 protected:
  static std::shared_ptr<OVMediaViewDefaultVideoRenderer> rendererOf(const OVMediaView& view) {
    for (const auto& subview : view.subviews()) {
      if (auto renderer = std::dynamic_pointer_cast<OVMediaViewDefaultVideoRenderer>(subview)) return renderer;
    }
    return nullptr;
  }
  static std::shared_ptr<QNVPlayerLayer> engineLayerOf(const OVMediaViewVideoRenderer& renderer) {
    const auto& videoView = renderer.rendererState()->videoView;
    return videoView ? std::dynamic_pointer_cast<QNVPlayerLayer>(videoView->playerLayer()) : nullptr;
  }
};

TEST_F(DefaultVideoRendererTest, AVideoThatCannotBeFetchedOrReadFallsBackToTheCoverImage) {
  struct Case {
    const char* name;
    int status;
    std::string body;
    std::int64_t code;
    const char* description;
    // The server cuts the connection: after this many body bytes, or
    // (0) before any answer.
    std::optional<std::size_t> cutAfter = std::nullopt;
  };
  const std::string clip = videoFileBytes(testMediaPath("baseline_aac_moov_first.mp4"));
  const Case cases[] = {
      {"missing", 404, "no such video", 2, "Asset returning invalid response"},
      {"corrupt", 200, std::string(4096, 'x'), 1, "Asset is an unsupported type"},
      {"cut", 200, clip, 2, "Asset returning invalid response", clip.size() / 2},
      {"unanswered", 200, clip, 2, "Asset returning invalid response", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MediaViewLogLines log;
    mediaDelegate_->messages.clear();
    const std::string name = std::string(c.name) + ".mp4";
    if (!c.cutAfter) {
      serve(name, c.body, c.status);
    } else if (*c.cutAfter == 0) {
      world_.server().server().on("/media/" + name, testserver::Response::dropped());
    } else {
      testserver::Response response = testserver::Response::text(c.status, c.body);
      response.dropAfterBytes = c.cutAfter;
      world_.server().server().on("/media/" + name, std::move(response));
    }
    const auto view = mediaViewFor(adFrom(mediaAdData(true, false, name)), Rect(0, 0, 320, 180));
    const auto renderer = rendererOf(*view);
    ASSERT_TRUE(renderer);
    ASSERT_TRUE(runClockUntil([&] { return mediaDelegate_->count("loaded") > 0; }, 0.5));
    ASSERT_TRUE(renderer->rendererState()->lastError);
    EXPECT_EQ(renderer->rendererState()->lastError->domain(), OVPlexoraMediaViewErrorDomain);
    EXPECT_EQ(renderer->rendererState()->lastError->code(), c.code);
    EXPECT_EQ(renderer->rendererState()->lastError->localizedDescription(), c.description);
    EXPECT_FALSE(renderer->rendererState()->player) << "nothing is left to play";
    EXPECT_EQ(log.count("Video failed to load or was interrupted, falling back to image."), 1u);

    std::shared_ptr<OVAdDefaultBlurredImageView> image;
    for (const auto& subview : view->subviews()) {
      if (!subview->isHidden()) image = std::dynamic_pointer_cast<OVAdDefaultBlurredImageView>(subview);
    }
    ASSERT_TRUE(image) << "the cover image shows instead";
    EXPECT_TRUE(image->image());
    EXPECT_TRUE(renderer->isHidden());
    EXPECT_EQ(mediaDelegate_->messages, std::vector<std::string>{"loaded"});
  }
}

TEST_F(DefaultVideoRendererTest, AGeneratedClipLoadsPlaysAndCompletes) {
  serve("clip.mp4", videoFileBytes(testMediaPath("baseline_aac_moov_first.mp4")));
  const auto view = mediaViewFor(adFrom(mediaAdData(true, false)), Rect(0, 0, 320, 180));
  const auto renderer = rendererOf(*view);
  ASSERT_TRUE(renderer);
  ASSERT_TRUE(runClockUntil([&] { return mediaDelegate_->count("loaded") > 0; }, 0.5));
  EXPECT_FALSE(renderer->rendererState()->lastError) << renderer->rendererState()->lastError->localizedDescription();
  EXPECT_DOUBLE_EQ(view->aspectRatio(), 160.0 / 90.0);
  EXPECT_EQ(view->volume(), 0.0F) << "the video starts muted";

  // Autoplay: the renderer is in a window.
  ASSERT_TRUE(runClockUntil([&] { return mediaDelegate_->count("play") > 0; }));
  EXPECT_FALSE(renderer->posterImageView()) << "no poster while autoplay is on";
  // The engine's position reaches the remaining-time label as it plays.
  ASSERT_TRUE(runClockUntil([&] { return !renderer->timeRemainingLabel()->text().empty(); }));
  const auto label = renderer->timeRemainingLabel();
  EXPECT_LE(label->sizeThatFits({1000, label->bounds().size.height}).width, label->bounds().size.width)
      << "the font shrinks until the text fits";
  ASSERT_TRUE(runClockUntil([&] { return mediaDelegate_->count("complete") > 0; }));
  EXPECT_EQ(mediaDelegate_->messages, (std::vector<std::string>{"loaded", "play", "complete"}));
  EXPECT_TRUE(engineLayerOf(*renderer)->presentedImage()) << "frames were drawn";

  // After the muting of inline mode, a change of volume reaches the
  // delegate.
  renderer->setVolume(1.0F);
  EXPECT_EQ(mediaDelegate_->messages.back(), "volume 1.000000");
}

TEST_F(DefaultVideoRendererTest, WithoutAutoplayTheVideoWaitsForATapWhichPlaysItFullScreen) {
  serve("clip.mp4", videoFileBytes(testMediaPath("baseline_aac_moov_first.mp4")));
  std::string data = mediaAdData(true, false);
  data.insert(data.size() - 1, R"(,"video_autoplay_enabled":false)");
  const auto view = mediaViewFor(adFrom(data), Rect(0, 100, 320, 180));
  const auto renderer = rendererOf(*view);
  ASSERT_TRUE(renderer);
  ASSERT_TRUE(runClockUntil([&] { return mediaDelegate_->count("loaded") > 0; }, 0.5));
  world_.clock().advance(2.0);
  DisplayAdTestWorld::settle();
  EXPECT_FALSE(renderer->isPlaying());
  ASSERT_TRUE(renderer->posterImageView());
  EXPECT_FALSE(renderer->posterImageView()->isHidden()) << "the poster shows while the video does not play";

  ASSERT_TRUE(platform::Application::shared()->sendTap(platform::Point{100, 150}));
  ASSERT_TRUE(runClockUntil([&] { return mediaDelegate_->count("play") > 0; }));
  EXPECT_EQ(mediaDelegate_->messages, (std::vector<std::string>{"loaded", "enter", "play"}));
  EXPECT_TRUE(root_->presentedViewController());
  EXPECT_NE(renderer->superview(), view) << "shown full screen";
  EXPECT_FALSE(renderer->inlineMode());

  // Shown, it plays with sound; a tap on it does not open it again.
  world_.clock().advance(platform::ViewController::kTransitionSeconds);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(renderer->volume(), 1.0F);
  mediaDelegate_->messages.clear();
  ASSERT_TRUE(platform::Application::shared()->sendTap(platform::Point{150, 300}));
  DisplayAdTestWorld::settle();
  EXPECT_EQ(mediaDelegate_->count("enter"), 0U);

  const auto controller = std::dynamic_pointer_cast<OVAdDefaultFullscreenVideoController>(
      root_->presentedViewController());
  ASSERT_TRUE(controller);
  controller->dismissButton()->sendTap();
  DisplayAdTestWorld::settle();
  world_.clock().advance(platform::ViewController::kTransitionSeconds);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(renderer->superview(), view);
  EXPECT_TRUE(renderer->inlineMode());
  EXPECT_EQ(renderer->volume(), 0.0F) << "muted inline again";
  EXPECT_EQ(mediaDelegate_->count("volume 0.000000"), 1U);
  EXPECT_EQ(mediaDelegate_->count("exit"), 1U);
}

TEST_F(DefaultVideoRendererTest, EachLoadPlaysThroughThePlayerItChose) {
  serve("clip.mp4", videoFileBytes(testMediaPath("baseline_aac_moov_first.mp4")));
  struct Case {
    const char* name;
    bool systemChosen;
    bool systemInstalled;
  };
  const Case cases[] = {
      {"engine, though a system player exists", false, true},
      {"system player", true, true},
      {"system player chosen, none on the platform", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MediaViewLogLines log;
    mediaDelegate_->messages.clear();
    const auto kit = c.systemInstalled ? std::make_shared<SystemKitDouble>() : nullptr;
    platform::SystemPlayerKit::install(c.systemInstalled ? kit : nullptr);
    // Background playback takes the system's player whatever the
    // configuration says.
    OVAdSettings::setBackgroundVideoPlaybackAllowed(c.systemChosen);
    const auto view = mediaViewFor(adFrom(mediaAdData(true, false)), Rect(0, 0, 320, 180));
    const auto renderer = rendererOf(*view);
    ASSERT_TRUE(renderer);
    ASSERT_TRUE(runClockUntil([&] { return mediaDelegate_->count("loaded") > 0; }, 0.5));

    if (c.systemChosen && !c.systemInstalled) {
      ASSERT_TRUE(renderer->rendererState()->lastError);
      EXPECT_EQ(renderer->rendererState()->lastError->code(), kOVMediaViewErrorUnsupportedAsset);
      EXPECT_FALSE(renderer->rendererState()->player);
      EXPECT_EQ(log.count("Video failed to load or was interrupted, falling back to image."), 1u);
      EXPECT_TRUE(renderer->isHidden()) << "the cover image shows instead";
      continue;
    }
    EXPECT_FALSE(renderer->rendererState()->lastError) << renderer->rendererState()->lastError->localizedDescription();
    ASSERT_TRUE(runClockUntil([&] { return mediaDelegate_->count("play") > 0 || renderer->rendererState()->player->rate() > 0; }));
    if (!c.systemChosen) {
      EXPECT_TRUE(std::dynamic_pointer_cast<QNVPlayer>(renderer->rendererState()->player));
      EXPECT_TRUE(engineLayerOf(*renderer));
      EXPECT_FALSE(kit->layer) << "no system object is made for the engine";
      continue;
    }
    // The downloaded file became the system's asset, its item and player,
    // and the system's layer was told the player; autoplay played it.
    const auto player = std::dynamic_pointer_cast<SystemPlayerDouble>(renderer->rendererState()->player);
    ASSERT_TRUE(player);
    EXPECT_FALSE(engineLayerOf(*renderer));
    ASSERT_TRUE(kit->layer);
    EXPECT_EQ(kit->layer->player(), renderer->rendererState()->player);
    const auto item = player->item;
    ASSERT_TRUE(item);
    const auto asset = std::dynamic_pointer_cast<SystemAssetDouble>(item->asset());
    ASSERT_TRUE(asset);
    EXPECT_TRUE(asset->url.isFileURL());
    EXPECT_EQ(player->plays, 1);
    EXPECT_EQ(player->volume(), 0.0F) << "the video plays muted inline";
    EXPECT_FALSE(renderer->isHidden());
  }
}

// The video's playback reaches the logging endpoint as "video" events
// against the ad's client token: the first progress, the viewable
// impression and MRC rules, a time report every 5 s of playback, and a
// pause and resume with the statistics of their stretch; taken out of its
// window, the view reports no window size.
TEST_F(DefaultVideoRendererTest, PlaybackIsLoggedAsVideoEvents) {
  serve("twelve_seconds.mp4", videoFileBytes(testMediaPath("twelve_seconds.mp4")));
  // A token of its own, apart from what earlier videos in this process
  // logged.
  const std::string token = "ct-video-events";
  std::string data = mediaAdData(true, false, "twelve_seconds.mp4");
  data.replace(data.find("ct-media"), 8, token);
  const auto view = mediaViewFor(adFrom(data), Rect(0, 0, 320, 180));
  const auto renderer = rendererOf(*view);
  ASSERT_TRUE(renderer);
  ASSERT_TRUE(runClockUntil([&] { return mediaDelegate_->count("loaded") > 0; }, 0.5));
  ASSERT_TRUE(renderer->rendererState()->videoLogger);
  ASSERT_TRUE(runClockUntil([&] { return mediaDelegate_->count("play") > 0; }));
  ASSERT_TRUE(runClockUntil([&] { return renderer->rendererState()->videoLogger->lastProgressCurrentTime() >= 10.5; }));
  renderer->pauseVideo();
  const double pausedAt = renderer->rendererState()->videoLogger->lastProgressCurrentTime();
  renderer->playVideo();
  view->removeFromSuperview();
  renderer->pauseVideo();

  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] {
    world_.clock().advance(0.1);
    return world_.loggedEvents("video", token).size() >= 9;
  }));
  DisplayAdTestWorld::runBriefly();
  struct Event {
    std::string action;
    double time;
    std::optional<double> ptime;
    platform::Dictionary data;
  };
  std::vector<Event> events;
  for (const auto& logged : world_.loggedEvents("video", token)) {
    const platform::Value* data = logged.find("data");
    ASSERT_TRUE(data && data->isDictionary());
    const platform::Dictionary& params = data->asDictionary();
    const auto text = [&](const char* key) { return params.find(key)->text().value_or(""); };
    Event event{text("action"), std::stod(text("time")), std::nullopt, params};
    if (params.contains("ptime")) event.ptime = std::stod(text("ptime"));
    events.push_back(std::move(event));
  }
  const auto count = [&](const std::string& action) {
    return std::count_if(events.begin(), events.end(), [&](const Event& e) { return e.action == action; });
  };
  EXPECT_EQ(count("16"), 1) << "the first progress, once";
  EXPECT_EQ(count("10"), 1) << "the viewable impression, once";
  EXPECT_EQ(count("3"), 1) << "the MRC rule, once";
  EXPECT_EQ(count("5"), 1);
  EXPECT_EQ(count("4"), 2);
  EXPECT_EQ(count("1"), 0);

  std::vector<Event> reports;
  for (const Event& e : events) {
    if (e.action == "2") reports.push_back(e);
  }
  std::string all;
  for (const Event& e : events) all += e.action + "@" + std::to_string(e.time) + " ";
  ASSERT_EQ(reports.size(), 3u) << "at 5 s, at 10 s and at the pause: " << all;
  EXPECT_GE(reports[0].time, 5.0);
  EXPECT_LT(reports[0].time, 5.5) << "reported at the first tick past 5 s";
  EXPECT_EQ(reports[0].ptime, 0.0);
  EXPECT_GE(reports[1].time - reports[0].time, 5.0);
  EXPECT_LT(reports[1].time - reports[0].time, 5.5);
  EXPECT_EQ(reports[1].ptime, reports[0].time);
  EXPECT_DOUBLE_EQ(reports[2].time, pausedAt) << "the pause closes its stretch";
  EXPECT_EQ(reports[2].ptime, reports[1].time);
  for (const Event& e : events) {
    EXPECT_EQ(e.data.find("autoplay")->text(), "1");
    EXPECT_EQ(e.data.find("pw")->text(), "320.000000") << "the video view fills the renderer";
  }
  // Seen whole and muted all along.
  EXPECT_EQ(reports[0].data.find("vwa")->text(), "1.000000");
  EXPECT_EQ(reports[0].data.find("vlmax")->text(), "0.000000");
  EXPECT_GE(std::stoul(reports[0].data.find("vtime_ms")->text().value_or("")), 5000u);

  // In the window the window's size is reported; out of it, none.
  EXPECT_EQ(events.front().data.find("vpw")->text(), "375.000000");
  const Event& last = events.back();
  EXPECT_EQ(last.action, "4");
  EXPECT_EQ(last.data.find("vph")->text(), "0.000000");
  EXPECT_EQ(last.data.find("vpw")->text(), "0.000000");
}

TEST(DefaultVideoRendererTimeTest, TheRemainingTimeIsLaidOutByTheWholeVideosLength) {
  struct Case {
    double duration;
    double current;
    const char* text;
  };
  const Case cases[] = {
      {30, 0.2, "0:30"},       {900, 295, "10:05"}, {4000, 300, "1:01:40"},
      {120, 55, "1:05"},       {700, 635, "01:05"}, {90000, 3595, "0:00:05"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(OVMediaViewDefaultVideoRenderer::remainingTimeLabel(std::ceil(c.duration - c.current), c.duration),
              c.text);
  }
  // A remaining time that is no number of seconds shows none left, laid out
  // by the length all the same.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const Case unknown[] = {
      {30, nan, "0:00"}, {900, inf, "00:00"}, {4000, -inf, "0:00:00"}, {nan, nan, "0:00"}, {inf, -5, "0:00:00"},
  };
  for (const Case& c : unknown) {
    SCOPED_TRACE(c.current);
    EXPECT_EQ(OVMediaViewDefaultVideoRenderer::remainingTimeLabel(c.current, c.duration), c.text);
  }
}

// A renderer of its own over the system's player double, its viewability
// checks stopped so the test hands it each status.
class DefaultRendererControlsTest : public DefaultVideoRendererTest {
 protected:
  struct Delegate final : OVMediaViewDefaultVideoRendererDelegate {
    void defaultVideoRendererWasTapped(const std::shared_ptr<OVMediaViewDefaultVideoRenderer>&) override {
      messages.push_back("tap");
    }
    void defaultVideoRenderer(const std::shared_ptr<OVMediaViewDefaultVideoRenderer>&, float volume) override {
      messages.push_back("volume " + std::to_string(volume));
    }
    void defaultVideoRendererDidPause(const std::shared_ptr<OVMediaViewDefaultVideoRenderer>&) override {
      messages.push_back("pause");
    }
    void defaultVideoRendererDidPlay(const std::shared_ptr<OVMediaViewDefaultVideoRenderer>&) override {
      messages.push_back("play");
    }
    void defaultVideoRendererVideoDidComplete(const std::shared_ptr<OVMediaViewDefaultVideoRenderer>&) override {
      messages.push_back("complete");
    }
    std::vector<std::string> messages;
  };

  std::shared_ptr<OVMediaViewDefaultVideoRenderer> loadedRenderer(bool autoplay) {
    useSystemPlayer();
    auto renderer = makeRenderer<OVMediaViewDefaultVideoRenderer>();
    renderer->setDelegate(delegate_);
    bool loaded = false;
    renderer->loadVideoURL(urlOf("clip.mp4"), "ct-controls", autoplay, [&] { loaded = true; }, nullptr);
    EXPECT_TRUE(runClockUntil([&] { return loaded && renderer->viewabilityValidator(); }, 0.5));
    if (renderer->viewabilityValidator()) renderer->viewabilityValidator()->stopViewabilityCheck();
    DisplayAdTestWorld::settle();
    delegate_->messages.clear();
    return renderer;
  }

  std::shared_ptr<Delegate> delegate_ = std::make_shared<Delegate>();
};

TEST_F(DefaultRendererControlsTest, ViewabilityStartsAndStopsAutoplayOncePerViewablePeriod) {
  const auto viewable = OVAdViewabilityStatus::Viewable;
  const auto hidden = OVAdViewabilityStatus::NoWindow;
  const auto renderer = loadedRenderer(true);
  EXPECT_FALSE(renderer->viewabilityValidator(nullptr, viewable)) << "the validator keeps checking";
  EXPECT_TRUE(renderer->playerIsPlaying());
  renderer->viewabilityValidator(nullptr, hidden);
  EXPECT_FALSE(renderer->playerIsPlaying());
  renderer->viewabilityValidator(nullptr, viewable);
  EXPECT_TRUE(renderer->playerIsPlaying()) << "back on screen it plays again";
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"play", "pause", "play"}));

  // Paused by the viewer, it stays paused through leaving and coming back.
  renderer->startStopAction();
  renderer->viewabilityValidator(nullptr, hidden);
  renderer->viewabilityValidator(nullptr, viewable);
  EXPECT_FALSE(renderer->playerIsPlaying());
  EXPECT_EQ(delegate_->messages.back(), "pause");

  // Resigning active while paused suspends nothing.
  platform::NotificationCenter::defaultCenter().post(platform::kApplicationWillResignActiveNotification);
  DisplayAdTestWorld::settle();
  EXPECT_FALSE(renderer->playbackSuspended());
  platform::NotificationCenter::defaultCenter().post(platform::kApplicationDidBecomeActiveNotification);
  DisplayAdTestWorld::settle();
  EXPECT_FALSE(renderer->playerIsPlaying());

  // Resigning while playing pauses until the application is active again.
  renderer->startStopAction();
  platform::NotificationCenter::defaultCenter().post(platform::kApplicationWillResignActiveNotification);
  DisplayAdTestWorld::settle();
  EXPECT_TRUE(renderer->playbackSuspended());
  EXPECT_FALSE(renderer->playerIsPlaying());
  platform::NotificationCenter::defaultCenter().post(platform::kApplicationDidBecomeActiveNotification);
  DisplayAdTestWorld::settle();
  EXPECT_FALSE(renderer->playbackSuspended());
  EXPECT_TRUE(renderer->playerIsPlaying());
}

TEST_F(DefaultRendererControlsTest, WithoutAutoplayTheCoverShowsAndViewabilityStartsNothing) {
  const auto renderer = loadedRenderer(false);
  renderer->setPosterImage(std::make_shared<OVAdImage>(urlOf("media-cover.png"), 12, 6));
  ASSERT_TRUE(renderer->posterImageView());
  EXPECT_FALSE(renderer->posterImageView()->isHidden());
  renderer->viewabilityValidator(nullptr, OVAdViewabilityStatus::Viewable);
  EXPECT_FALSE(renderer->playerIsPlaying());
  EXPECT_TRUE(renderer->playPauseButton()->isHighlighted()) << "the button shows the play symbol";

  renderer->startStopAction();
  DisplayAdTestWorld::settle();
  EXPECT_TRUE(renderer->posterImageView()->isHidden());
  EXPECT_FALSE(renderer->playPauseButton()->isHighlighted());
}

TEST_F(DefaultRendererControlsTest, InlineModeMutesAndOnlyLaterVolumeChangesAreReported) {
  const auto renderer = loadedRenderer(true);
  EXPECT_TRUE(renderer->inlineMode());
  EXPECT_EQ(renderer->volume(), 0.0F);
  EXPECT_EQ(kit_->player->volume(), 0.0F);
  EXPECT_TRUE(delegate_->messages.empty()) << "the muting of inline mode is not the viewer's";
  EXPECT_TRUE(renderer->isTapEnabled());
  EXPECT_TRUE(renderer->tapGestureRecognizer());

  renderer->setInlineMode(false);
  renderer->setVolume(1.0F);
  renderer->layoutSubviews();
  EXPECT_EQ(renderer->controlSizeMultiplier(), 2.0);
  EXPECT_FALSE(renderer->tapGestureRecognizer());
  EXPECT_EQ(renderer->playPauseButton()->frame(), platform::Rect(0, 180 - 60, 60, 60));
  renderer->setInlineMode(true);
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"volume 1.000000", "volume 0.000000"}));
}

TEST_F(DefaultRendererControlsTest, TheScrubberShowsFullScreenOnlyAndRestsAtTheStartAfterTheEnd) {
  const auto renderer = loadedRenderer(true);
  const auto scrubber = renderer->videoScrubber();
  ASSERT_TRUE(scrubber);
  renderer->layoutSubviews();
  EXPECT_TRUE(scrubber->frame().isEmpty()) << "no scrubber inline";
  // Translucent, it would still be drawn through a picture as large as the
  // window at every frame.
  EXPECT_TRUE(scrubber->isHidden());
  renderer->setInlineMode(false);
  renderer->layoutSubviews();
  EXPECT_TRUE(scrubber->frame().isEmpty()) << "nothing to scrub through before the first progress";
  EXPECT_TRUE(scrubber->isHidden());

  renderer->viewabilityValidator(nullptr, OVAdViewabilityStatus::Viewable);
  kit_->player->tick(platform::MediaTime::make(20, 1));
  EXPECT_FLOAT_EQ(scrubber->value(), 20.0F);
  EXPECT_EQ(renderer->timeRemainingLabel()->text(), "0:10");
  renderer->layoutSubviews();
  EXPECT_EQ(scrubber->frame(), platform::Rect(64, 180 - 72, 320 - 144, 48));
  EXPECT_FALSE(scrubber->isHidden());

  // Dragged to 12.5 s: one seek, engaged once and ended at touch-up.
  scrubber->setValue(12.5F);
  renderer->videoScrubberTouchDown();
  renderer->videoScrubberChanged();
  renderer->videoScrubberTouchComplete();
  EXPECT_EQ(kit_->player->seeks.back(), platform::MediaTime::make(12500, 1000));

  kit_->item->reachEnd();
  ASSERT_TRUE(runClockUntil([&] { return delegate_->messages.size() > 0 && delegate_->messages.back() == "complete"; }));
  DisplayAdTestWorld::settle();
  EXPECT_EQ(scrubber->value(), 0.0F) << "at the start, where the video rests";
  EXPECT_EQ(renderer->timeRemainingLabel()->text(), "0:30");
  EXPECT_FALSE(renderer->playerIsPlaying());
}

TEST_F(DefaultRendererControlsTest, AVideoOfNoKnownLengthPlaysToItsEndWithoutACountdown) {
  struct Case {
    const char* name;
    platform::MediaTime duration;
  };
  const Case cases[] = {
      {"zero", platform::MediaTime::zero()},
      {"not a number", platform::MediaTime::invalid()},
      {"indefinite", platform::MediaTime::indefinite()},
      {"infinite", platform::MediaTime::positiveInfinity()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto renderer = loadedRenderer(true);
    kit_->item->itemDuration = c.duration;
    renderer->setInlineMode(false);
    renderer->viewabilityValidator(nullptr, OVAdViewabilityStatus::Viewable);
    kit_->player->tick(platform::MediaTime::make(3, 1));
    kit_->player->tick(platform::MediaTime::make(7, 1));
    renderer->layoutSubviews();
    EXPECT_TRUE(renderer->playerIsPlaying());
    EXPECT_EQ(renderer->timeRemainingLabel()->text(), "") << "nothing to count down from";
    EXPECT_TRUE(std::isfinite(renderer->videoScrubber()->maximumValue()));
    EXPECT_TRUE(renderer->videoScrubber()->isHidden()) << "nothing to scrub through";

    kit_->item->reachEnd();
    // (Autoplay may have started it while it loaded, before the messages
    // were cleared.)
    ASSERT_TRUE(runClockUntil([&] { return !delegate_->messages.empty() && delegate_->messages.back() == "complete"; }));
    EXPECT_EQ(std::count(delegate_->messages.begin(), delegate_->messages.end(), "complete"), 1);
    EXPECT_FALSE(renderer->playerIsPlaying());
    EXPECT_EQ(renderer->timeRemainingLabel()->text(), "");
    renderer->removeFromSuperview();
  }
}

TEST_F(DefaultRendererControlsTest, ASecondLoadReplacesTheValidatorButBuildsTheControlsOnce) {
  const auto renderer = loadedRenderer(true);
  const auto firstValidator = renderer->viewabilityValidator();
  const auto firstButton = renderer->playPauseButton();
  bool loaded = false;
  renderer->loadVideoURL(urlOf("clip.mp4"), "ct-controls", true, [&] { loaded = true; }, nullptr);
  ASSERT_TRUE(runClockUntil([&] { return loaded; }, 0.5));
  DisplayAdTestWorld::settle();
  EXPECT_NE(renderer->viewabilityValidator(), firstValidator);
  EXPECT_EQ(renderer->playPauseButton(), firstButton);
  std::size_t buttons = 0;
  for (const auto& subview : renderer->subviews()) {
    if (std::dynamic_pointer_cast<OVAdVideoPlayButton>(subview)) ++buttons;
  }
  EXPECT_EQ(buttons, 1u);
  EXPECT_EQ(kit_->player->timeObservers.size(), 2u) << "the reporter and one progress observer";
}

}  // namespace
}  // namespace plexora::testing
