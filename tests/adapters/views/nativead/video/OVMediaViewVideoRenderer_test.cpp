// The media-view video renderer on its own, with the system's player (a
// double the test drives) and with the library's engine playing a generated
// clip: playback operations act on the renderer's own record of what it
// asked, seeks come in three steps, the end rewinds, time observers move to
// each new player, and every failure of a load runs its failure block once
// while reports about an earlier load's item are dropped.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "VideoRendererTestSupport.h"
#include "plexora/OVAdErrorDomain.h"
#include "util/qnv/player/QNVPlayer.h"

namespace plexora::testing {
namespace {

using platform::MediaTime;

platform::Error decoderError(std::int64_t code, const std::string& text) {
  return platform::Error("decoder", code, platform::Dictionary{{platform::kLocalizedDescriptionKey, platform::Value(text)}});
}

class MediaViewVideoRendererTest : public VideoRendererTest {
 protected:
  // Loads `name` and waits for the load's outcome.
  bool load(RecordingRenderer& renderer, const std::string& name = "clip.mp4") {
    renderer.hooks.clear();
    renderer.loadVideoURL(
        urlOf(name), "ct-renderer", false, [this] { ++loaded_; }, [this] { ++failed_; });
    return runClockUntil([&] { return renderer.count("load") + renderer.count("fail") > 0; }, 0.5);
  }

  int loaded_ = 0;
  int failed_ = 0;
};

TEST_F(MediaViewVideoRendererTest, PlaybackOperationsActOnWhatTheRendererAskedOfItsPlayer) {
  useSystemPlayer();
  const auto renderer = makeRenderer<RecordingRenderer>();
  // Nothing to play yet.
  renderer->playVideo();
  renderer->engageVideoSeek();
  EXPECT_TRUE(renderer->hooks.empty());
  EXPECT_EQ(renderer->currentTime(), MediaTime::zero());
  EXPECT_TRUE(renderer->duration().isIndefinite());
  EXPECT_EQ(renderer->aspectRatio(), 0.0);

  ASSERT_TRUE(load(*renderer));
  EXPECT_EQ(renderer->hooks, std::vector<std::string>{"load"});
  EXPECT_EQ(loaded_, 1);
  const auto player = kit_->player;
  ASSERT_TRUE(player);
  EXPECT_FALSE(player->isMuted());
  EXPECT_EQ(player->volume(), 1.0F);
  EXPECT_EQ(kit_->layer->player(), player) << "the system's layer shows the player";
  EXPECT_DOUBLE_EQ(renderer->aspectRatio(), 640.0 / 360.0);
  EXPECT_EQ(renderer->duration(), MediaTime::make(30, 1));

  renderer->playVideo();
  renderer->playVideo();
  EXPECT_EQ(player->plays, 1) << "a second play while playing does nothing";
  EXPECT_TRUE(renderer->isPlaying());
  renderer->pauseVideo();
  renderer->pauseVideo();
  EXPECT_EQ(renderer->hooks, (std::vector<std::string>{"load", "play", "pause"}));
  renderer->playVideo();
  renderer->hooks.clear();

  // A seek: without engaging nothing happens; engaged, the system's player
  // is held still and an unusable time seeks nowhere but is still told.
  renderer->seekVideoToTime(MediaTime::make(5, 1));
  renderer->disengageVideoSeek();
  EXPECT_TRUE(renderer->hooks.empty());
  EXPECT_TRUE(player->seeks.empty());
  renderer->engageVideoSeek();
  renderer->engageVideoSeek();
  EXPECT_EQ(player->rate(), 0.0F) << "held still under the finger";
  renderer->seekVideoToTime(MediaTime::indefinite());
  renderer->seekVideoToTime(MediaTime::invalid());
  renderer->seekVideoToTime(MediaTime::make(5, 1));
  renderer->disengageVideoSeek();
  renderer->disengageVideoSeek();
  EXPECT_EQ(renderer->hooks, (std::vector<std::string>{"engage", "seek", "seek", "seek", "disengage"}));
  EXPECT_EQ(player->seeks, std::vector<MediaTime>{MediaTime::make(5, 1)});
  EXPECT_EQ(player->rate(), 1.0F) << "playing again, as before the seek";
  EXPECT_TRUE(renderer->isPlaying());

  // The position never lies beyond the duration.
  player->position = MediaTime::make(40, 1);
  EXPECT_EQ(renderer->currentTime(), MediaTime::make(30, 1));

  renderer->hooks.clear();
  renderer->setVolume(1.0F);
  EXPECT_TRUE(renderer->hooks.empty()) << "the volume it has already";
  renderer->setVolume(0.5F);
  EXPECT_EQ(renderer->hooks, std::vector<std::string>{"volume"});
  EXPECT_EQ(player->volume(), 0.5F);
}

TEST_F(MediaViewVideoRendererTest, TimeObserversMoveToEveryNewPlayer) {
  useSystemPlayer();
  const auto renderer = makeRenderer<RecordingRenderer>();
  std::vector<MediaTime> heard;
  EXPECT_FALSE(renderer->addPeriodicTimeObserverForInterval(MediaTime::zero(), platform::DispatchQueue::main(),
                                                            [](const MediaTime&) {}));
  const auto observer = renderer->addPeriodicTimeObserverForInterval(
      MediaTime::make(1, 1), platform::DispatchQueue::main(), [&](const MediaTime& time) { heard.push_back(time); });
  ASSERT_TRUE(observer);

  ASSERT_TRUE(load(*renderer));
  const auto first = kit_->player;
  // The renderer's own progress reporter, and this one.
  EXPECT_EQ(first->timeObservers.size(), 2u);
  first->tick(MediaTime::make(1, 1));
  EXPECT_EQ(heard, std::vector<MediaTime>{MediaTime::make(1, 1)});

  ASSERT_TRUE(load(*renderer));
  const auto second = kit_->player;
  ASSERT_NE(first, second);
  EXPECT_TRUE(first->timeObservers.empty()) << "the old player lets go of them";
  EXPECT_EQ(second->timeObservers.size(), 2u);
  second->tick(MediaTime::make(2, 1));
  EXPECT_EQ(heard.back(), MediaTime::make(2, 1));

  renderer->removeTimeObserver(observer);
  EXPECT_EQ(second->timeObservers.size(), 1u);
  renderer->removeTimeObserver(observer);
  EXPECT_EQ(second->timeObservers.size(), 1u);
}

TEST_F(MediaViewVideoRendererTest, TheEndRewindsAndPausesAndTheNextPlayResumes) {
  useSystemPlayer();
  const auto renderer = makeRenderer<RecordingRenderer>();
  ASSERT_TRUE(load(*renderer));
  const auto player = kit_->player;
  renderer->playVideo();
  player->position = MediaTime::make(30, 1);
  kit_->item->reachEnd();
  ASSERT_TRUE(runClockUntil([&] { return renderer->count("end") > 0; }));
  EXPECT_EQ(player->seeks.back(), MediaTime::zero());
  EXPECT_EQ(renderer->currentTime(), MediaTime::zero());
  EXPECT_EQ(player->rate(), 0.0F);
  EXPECT_FALSE(renderer->isPlaying());
  renderer->playVideo();
  EXPECT_EQ(renderer->hooks.back(), "play");
  EXPECT_EQ(player->plays, 2);
}

TEST_F(MediaViewVideoRendererTest, AFailedItemRunsTheFailureBlockOnceWithItsError) {
  struct Case {
    const char* name;
    std::optional<platform::Error> error;
    const char* description;
  };
  const Case cases[] = {
      {"with an error", decoderError(7, "broken"), "Video playback failed with error code 7 (broken)"},
      {"without one", std::nullopt, "Video playback failed with unknown error"},
  };
  useSystemPlayer();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    failed_ = 0;
    const auto renderer = makeRenderer<RecordingRenderer>();
    ASSERT_TRUE(load(*renderer));
    renderer->playVideo();
    kit_->item->fail(c.error);
    kit_->item->fail(c.error);
    ASSERT_TRUE(runClockUntil([&] { return renderer->count("fail") > 0; }));
    DisplayAdTestWorld::settle();
    EXPECT_EQ(failed_, 1);
    ASSERT_EQ(renderer->errors.size(), 1u);
    EXPECT_EQ(renderer->errors[0].domain(), OVPlexoraMediaViewErrorDomain);
    EXPECT_EQ(renderer->errors[0].code(), kOVMediaViewErrorPlaybackFailed);
    EXPECT_EQ(renderer->errors[0].localizedDescription(), c.description);
    // Nothing plays any more.
    const int plays = kit_->player->plays;
    renderer->pauseVideo();
    renderer->playVideo();
    EXPECT_EQ(kit_->player->plays, plays);
    EXPECT_FALSE(renderer->isPlaying());
  }
}

TEST_F(MediaViewVideoRendererTest, ReportsAboutAnEarlierItemNeverReachTheCurrentVideo) {
  useSystemPlayer();
  const auto renderer = makeRenderer<RecordingRenderer>();
  ASSERT_TRUE(load(*renderer));
  const auto earlier = kit_->item;
  ASSERT_TRUE(load(*renderer));
  renderer->hooks.clear();
  earlier->fail(decoderError(7, "broken"));
  earlier->reachEnd();
  DisplayAdTestWorld::settle();
  DisplayAdTestWorld::runBriefly();
  EXPECT_TRUE(renderer->hooks.empty());
  EXPECT_EQ(failed_, 0);
  EXPECT_TRUE(earlier->observers.empty()) << "the earlier item is no longer observed";
}

TEST_F(MediaViewVideoRendererTest, EveryFailedLoadRunsItsFailureBlock) {
  serve("missing.mp4", "no such video", 404);
  struct Case {
    const char* name;
    const char* file;
    bool systemChosenWithoutOne;
    std::int64_t code;
    const char* description;
  };
  const Case cases[] = {
      {"the cache has no video", "missing.mp4", false, 2, "Asset returning invalid response"},
      {"no system player to play it", "clip.mp4", true, 1, "Asset is an unsupported type"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    failed_ = 0;
    OVAdSettings::setBackgroundVideoPlaybackAllowed(c.systemChosenWithoutOne);
    if (c.systemChosenWithoutOne) platform::SystemPlayerKit::install(nullptr);
    const auto renderer = makeRenderer<RecordingRenderer>();
    ASSERT_TRUE(load(*renderer, c.file));
    EXPECT_EQ(failed_, 1) << "the media view falls back to its cover";
    ASSERT_EQ(renderer->errors.size(), 1u);
    EXPECT_EQ(renderer->errors[0].code(), c.code);
    EXPECT_EQ(renderer->errors[0].localizedDescription(), c.description);
    EXPECT_FALSE(renderer->rendererState()->player);
  }
}

// The engine takes a play or pause on its own queue: its rate answers the
// old value for a while, which must not swallow the next command.
TEST_F(MediaViewVideoRendererTest, WithTheEngineCommandsFollowTheRenderersIntentAndTimeObserversFire) {
  const auto renderer = makeRenderer<RecordingRenderer>();
  int ticks = 0;
  renderer->addPeriodicTimeObserverForInterval(MediaTime::make(1, 4), platform::DispatchQueue::main(),
                                               [&](const MediaTime&) { ++ticks; });
  ASSERT_TRUE(load(*renderer));
  ASSERT_EQ(renderer->hooks, std::vector<std::string>{"load"});
  ASSERT_TRUE(std::dynamic_pointer_cast<QNVPlayer>(renderer->rendererState()->player));

  renderer->playVideo();
  renderer->playVideo();
  renderer->pauseVideo();
  renderer->playVideo();
  EXPECT_EQ(renderer->hooks, (std::vector<std::string>{"load", "play", "pause", "play"}));
  ASSERT_TRUE(runClockUntil([&] { return ticks >= 2; }));
  ASSERT_TRUE(runClockUntil([&] { return renderer->count("end") > 0; }));
  EXPECT_FALSE(renderer->isPlaying());
  EXPECT_TRUE(renderer->errors.empty());
}

// The system's own player, GStreamer, plays the downloaded clip through the
// same path: its picture's size, its length, and the end.
TEST_F(MediaViewVideoRendererTest, TheSystemsOwnPlayerPlaysTheClipToItsEnd) {
  OVAdSettings::setBackgroundVideoPlaybackAllowed(true);
  const auto renderer = makeRenderer<RecordingRenderer>();
  ASSERT_TRUE(load(*renderer));
  ASSERT_EQ(renderer->hooks, std::vector<std::string>{"load"}) << renderer->errors.front().localizedDescription();
  EXPECT_FALSE(std::dynamic_pointer_cast<QNVPlayer>(renderer->rendererState()->player));
  EXPECT_DOUBLE_EQ(renderer->aspectRatio(), 160.0 / 90.0);
  renderer->playVideo();
  // The item learns its length from its pipeline.
  ASSERT_TRUE(runClockUntil([&] { return !renderer->duration().isIndefinite() || renderer->count("end") > 0; }));
  EXPECT_NEAR(renderer->duration().seconds(), 1.0, 0.1);
  ASSERT_TRUE(runClockUntil([&] { return renderer->count("end") > 0; }));
  EXPECT_FALSE(renderer->isPlaying());
  EXPECT_TRUE(renderer->errors.empty());
}

}  // namespace
}  // namespace plexora::testing
