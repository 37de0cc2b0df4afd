// The media view's own renderer over the video engine, fed by the loopback
// server through the resource cache: a video that cannot be fetched or read
// fails with its error in the media-view domain and the view falls back to
// the cover image; a generated clip loads, plays on the manual clock and
// completes, each step reaching the media view's delegate. Each load plays
// through the player it chose: the engine's, or the system's (a double
// installed through the platform), and without a system player the load
// falls back to the cover image. Full screen the renderer plays with sound
// and ignores taps on the video; back inline it is muted.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "MediaViewTestSupport.h"
#include "adapters/views/nativead/image/OVAdDefaultBlurredImageView.h"
#include "adapters/views/nativead/video/OVAdDefaultFullscreenVideoController.h"
#include "adapters/views/nativead/video/OVMediaViewEngineVideoRenderer.h"
#include "platform/media/SystemPlayerKit.h"
#include "plexora/OVAdErrorDomain.h"
#include "plexora/OVAdSettings.h"
#include "tracking/OVAdVideoLogger.h"
#include "util/qnv/QNVMediaStateQueue.h"
#include "util/qnv/QNVPlayer.h"
#include "util/qnv/QNVPlayerLayer.h"
#include "util/qnv/QNVRenderingThread.h"
#include "util/qnv/QNVTestClip.h"

namespace plexora::testing {
namespace {

using platform::Rect;

std::string fileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The system's player as the platform would make it, recording what it is
// asked.
struct SystemAsset final : platform::PlayerAsset {
  explicit SystemAsset(platform::URL url) : url(std::move(url)) {}
  void loadValuesAsynchronouslyForKeys(const std::vector<std::string>&, std::function<void()> handler) override {
    handler();
  }
  platform::MediaTime duration() const override { return platform::MediaTime::make(1, 1); }
  void cancelLoading() override {}
  platform::URL url;
};

struct SystemItem final : platform::PlayerItem {
  explicit SystemItem(std::shared_ptr<platform::PlayerAsset> asset) : asset(std::move(asset)) {}
  platform::MediaTime currentTime() const override { return platform::MediaTime::zero(); }
  bool isPlaybackLikelyToKeepUp() const override { return true; }
  bool isPlaybackBufferFull() const override { return false; }
  std::shared_ptr<platform::PlayerAsset> asset;
};

struct SystemPlayer final : platform::Player {
  explicit SystemPlayer(std::shared_ptr<platform::PlayerItem> item) : item(std::move(item)) {}
  void play() override { ++plays; }
  void pause() override {}
  void setMuted(bool value) override { muted = value; }
  bool isMuted() const override { return muted; }
  float rate() const override { return plays > 0 ? 1.0F : 0.0F; }
  platform::MediaTime currentTime() const override { return platform::MediaTime::zero(); }
  void seekToTime(const platform::MediaTime&) override {}
  std::shared_ptr<platform::PlayerItem> item;
  int plays = 0;
  bool muted = false;
};

struct SystemLayer final : platform::SystemPlayerLayer {
  void setBounds(platform::Rect bounds) override { bounds_ = bounds; }
  platform::Rect bounds() const override { return bounds_; }
  void setPlayer(std::shared_ptr<platform::Player> player) override { player_ = std::move(player); }
  std::shared_ptr<platform::Player> player() const override { return player_; }
  platform::Rect bounds_;
  std::shared_ptr<platform::Player> player_;
};

struct SystemKit final : platform::SystemPlayerKit {
  std::shared_ptr<platform::PlayerAsset> makeURLAsset(const platform::URL& url) override {
    return std::make_shared<SystemAsset>(url);
  }
  std::shared_ptr<platform::PlayerItem> makePlayerItem(std::shared_ptr<platform::PlayerAsset> asset) override {
    return std::make_shared<SystemItem>(std::move(asset));
  }
  std::shared_ptr<platform::Player> makePlayer(std::shared_ptr<platform::PlayerItem> item) override {
    return std::make_shared<SystemPlayer>(std::move(item));
  }
  std::shared_ptr<platform::SystemPlayerLayer> makePlayerLayer() override {
    layer = std::make_shared<SystemLayer>();
    return layer;
  }
  std::shared_ptr<SystemLayer> layer;
};

class EngineVideoRendererTest : public MediaViewTest {
 protected:
  EngineVideoRendererTest() {
    serve("media-cover.png", pngBody(12, 6));
    serve("media-icon.png", pngBody(4, 4));
  }

  static std::shared_ptr<OVMediaViewEngineVideoRenderer> rendererOf(const OVMediaView& view) {
    for (const auto& subview : view.subviews()) {
      if (auto renderer = std::dynamic_pointer_cast<OVMediaViewEngineVideoRenderer>(subview)) return renderer;
    }
    return nullptr;
  }

  ~EngineVideoRendererTest() override {
    // Layers end on the rendering thread: wait for their teardown, so no
    // layer is still drawing when the process exits.
    auto drained = std::make_shared<std::atomic<bool>>(false);
    QNVRenderingThread::renderingThreadAllowingAppInactivePlayback(false)->performBlock([drained] { *drained = true; });
    platform::MainLoop::instance().runUntil([&] { return drained->load(); }, 10.0);
    platform::SystemPlayerKit::install(nullptr);
    OVAdSettings::setBackgroundVideoPlaybackAllowed(false);
  }

  // Runs the main loop (real time: the download and the decoder run on
  // real threads) and moves the clock on in small steps until `done`.
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
};

TEST_F(EngineVideoRendererTest, AVideoThatCannotBeFetchedOrReadFallsBackToTheCoverImage) {
  struct Case {
    const char* name;
    int status;
    std::string body;
    std::int64_t code;
    const char* description;
  };
  const Case cases[] = {
      {"missing", 404, "no such video", 2, "Asset returning invalid response"},
      {"corrupt", 200, std::string(4096, 'x'), 1, "Asset is an unsupported type"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MediaViewLogLines log;
    mediaDelegate_->messages.clear();
    const std::string name = std::string(c.name) + ".mp4";
    serve(name, c.body, c.status);
    const auto view = mediaViewFor(adFrom(mediaAdData(true, false, name)), Rect(0, 0, 320, 180));
    const auto renderer = rendererOf(*view);
    ASSERT_TRUE(renderer);
    ASSERT_TRUE(runClockUntil([&] { return mediaDelegate_->count("loaded") > 0; }, 0.5));
    ASSERT_TRUE(renderer->lastError());
    EXPECT_EQ(renderer->lastError()->domain(), OVPlexoraMediaViewErrorDomain);
    EXPECT_EQ(renderer->lastError()->code(), c.code);
    EXPECT_EQ(renderer->lastError()->localizedDescription(), c.description);
    EXPECT_FALSE(renderer->player()) << "nothing is left to play";
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

TEST_F(EngineVideoRendererTest, AGeneratedClipLoadsPlaysAndCompletes) {
  serve("clip.mp4", fileBytes(testMediaPath("baseline_aac_moov_first.mp4")));
  const auto view = mediaViewFor(adFrom(mediaAdData(true, false)), Rect(0, 0, 320, 180));
  const auto renderer = rendererOf(*view);
  ASSERT_TRUE(renderer);
  ASSERT_TRUE(runClockUntil([&] { return mediaDelegate_->count("loaded") > 0; }, 0.5));
  EXPECT_FALSE(renderer->lastError()) << renderer->lastError()->localizedDescription();
  EXPECT_DOUBLE_EQ(view->aspectRatio(), 160.0 / 90.0);
  EXPECT_EQ(view->volume(), 0.0F) << "the video starts muted";

  // Autoplay: the renderer is in a window.
  ASSERT_TRUE(runClockUntil([&] { return mediaDelegate_->count("play") > 0; }));
  EXPECT_TRUE(renderer->posterView()->isHidden());
  ASSERT_TRUE(runClockUntil([&] { return mediaDelegate_->count("complete") > 0; }));
  EXPECT_EQ(mediaDelegate_->messages, (std::vector<std::string>{"loaded", "play", "complete"}));
  EXPECT_TRUE(renderer->playerLayer()->presentedImage()) << "frames were drawn";

  // The mute button turns the sound on, and the delegate hears of it.
  renderer->muteButton()->sendTap();
  EXPECT_EQ(mediaDelegate_->messages.back(), "volume 1.000000");
}

TEST_F(EngineVideoRendererTest, WithoutAutoplayTheVideoWaitsForATapWhichPlaysItFullScreen) {
  serve("clip.mp4", fileBytes(testMediaPath("baseline_aac_moov_first.mp4")));
  std::string data = mediaAdData(true, false);
  data.insert(data.size() - 1, R"(,"video_autoplay_enabled":false)");
  const auto view = mediaViewFor(adFrom(data), Rect(0, 100, 320, 180));
  const auto renderer = rendererOf(*view);
  ASSERT_TRUE(renderer);
  ASSERT_TRUE(runClockUntil([&] { return mediaDelegate_->count("loaded") > 0; }, 0.5));
  world_.clock().advance(2.0);
  DisplayAdTestWorld::settle();
  EXPECT_FALSE(renderer->isPlaying());
  EXPECT_FALSE(renderer->posterView()->isHidden()) << "the poster shows while the video does not play";

  ASSERT_TRUE(platform::Application::shared()->sendTap(platform::Point{100, 150}));
  ASSERT_TRUE(runClockUntil([&] { return mediaDelegate_->count("play") > 0; }));
  EXPECT_EQ(mediaDelegate_->messages, (std::vector<std::string>{"loaded", "enter", "play"}));
  EXPECT_TRUE(root_->presentedViewController());
  EXPECT_NE(renderer->superview(), view) << "shown full screen";
  EXPECT_FALSE(renderer->isInlineMode());

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
  EXPECT_TRUE(renderer->isInlineMode());
  EXPECT_EQ(renderer->volume(), 0.0F) << "muted inline again";
  EXPECT_EQ(mediaDelegate_->count("volume 0.000000"), 1U);
  EXPECT_EQ(mediaDelegate_->count("exit"), 1U);
}

TEST_F(EngineVideoRendererTest, EachLoadPlaysThroughThePlayerItChose) {
  serve("clip.mp4", fileBytes(testMediaPath("baseline_aac_moov_first.mp4")));
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
    const auto kit = c.systemInstalled ? std::make_shared<SystemKit>() : nullptr;
    platform::SystemPlayerKit::install(kit);
    // Background playback takes the system's player whatever the
    // configuration says.
    OVAdSettings::setBackgroundVideoPlaybackAllowed(c.systemChosen);
    const auto view = mediaViewFor(adFrom(mediaAdData(true, false)), Rect(0, 0, 320, 180));
    const auto renderer = rendererOf(*view);
    ASSERT_TRUE(renderer);
    ASSERT_TRUE(runClockUntil([&] { return mediaDelegate_->count("loaded") > 0; }, 0.5));

    if (c.systemChosen && !c.systemInstalled) {
      ASSERT_TRUE(renderer->lastError());
      EXPECT_EQ(renderer->lastError()->code(), kOVMediaViewErrorUnsupportedAsset);
      EXPECT_FALSE(renderer->player());
      EXPECT_EQ(log.count("Video failed to load or was interrupted, falling back to image."), 1u);
      EXPECT_TRUE(renderer->isHidden()) << "the cover image shows instead";
      continue;
    }
    EXPECT_FALSE(renderer->lastError()) << renderer->lastError()->localizedDescription();
    ASSERT_TRUE(runClockUntil([&] { return mediaDelegate_->count("play") > 0 || renderer->player()->rate() > 0; }));
    if (!c.systemChosen) {
      EXPECT_TRUE(std::dynamic_pointer_cast<QNVPlayer>(renderer->player()));
      EXPECT_TRUE(renderer->playerLayer());
      EXPECT_FALSE(kit->layer) << "no system object is made for the engine";
      continue;
    }
    // The downloaded file became the system's asset, its item and player,
    // and the system's layer was told the player; autoplay played it.
    const auto player = std::dynamic_pointer_cast<SystemPlayer>(renderer->player());
    ASSERT_TRUE(player);
    EXPECT_FALSE(renderer->playerLayer());
    ASSERT_TRUE(kit->layer);
    EXPECT_EQ(kit->layer->player(), renderer->player());
    const auto item = std::dynamic_pointer_cast<SystemItem>(player->item);
    ASSERT_TRUE(item);
    const auto asset = std::dynamic_pointer_cast<SystemAsset>(item->asset);
    ASSERT_TRUE(asset);
    EXPECT_TRUE(asset->url.isFileURL());
    EXPECT_EQ(player->plays, 1);
    EXPECT_TRUE(player->isMuted()) << "the video starts muted";
    EXPECT_FALSE(renderer->isHidden());
  }
}

// The video's playback reaches the logging endpoint as "video" events
// against the ad's client token: the first progress, the viewable
// impression and MRC rules, a time report every 5 s of playback, and a
// pause and resume with the statistics of their stretch; taken out of its
// window, the view reports no window size.
TEST_F(EngineVideoRendererTest, PlaybackIsLoggedAsVideoEvents) {
  serve("twelve_seconds.mp4", fileBytes(testMediaPath("twelve_seconds.mp4")));
  // A token of its own, apart from what earlier videos in this process
  // logged.
  const std::string token = "ct-video-events";
  std::string data = mediaAdData(true, false, "twelve_seconds.mp4");
  data.replace(data.find("ct-media"), 8, token);
  const auto view = mediaViewFor(adFrom(data), Rect(0, 0, 320, 180));
  const auto renderer = rendererOf(*view);
  ASSERT_TRUE(renderer);
  ASSERT_TRUE(runClockUntil([&] { return mediaDelegate_->count("loaded") > 0; }, 0.5));
  ASSERT_TRUE(renderer->videoLogger());
  ASSERT_TRUE(runClockUntil([&] { return mediaDelegate_->count("play") > 0; }));
  ASSERT_TRUE(runClockUntil([&] { return renderer->videoLogger()->lastProgressCurrentTime() >= 10.5; }));
  renderer->pauseVideo();
  const double pausedAt = renderer->videoLogger()->lastProgressCurrentTime();
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

}  // namespace
}  // namespace plexora::testing
