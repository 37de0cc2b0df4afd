// The in-stream video view: a clip from the loopback server through the
// system player (GStreamer) on the manual clock, loaded, played with its
// progress reports, stopped, ended and played again; what cannot play
// fails. Stalls and their recovery come from a scripted system player,
// since a real one only stalls when the network falters.
#include "adapters/views/video/OVInstreamAdVideoView.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adapters/views/video/ScriptedSystemPlayer.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/media/GStreamerPlayerKit.h"
#include "platform/media/SystemPlayerKit.h"
#include "platform/ui/Image.h"
#include "platform/ui/UITest.h"
#include "platform/ui/ViewRendering.h"
#include "testserver/RangeFile.h"
#include "testserver/TestServer.h"

namespace plexora {
namespace {

using platform::MediaTime;
using testing::ScriptedSystemPlayerKit;

// GStreamer and the loopback server work on their own threads: a loaded
// machine may take long, the clock never waits for them.
constexpr double kWaitSeconds = 60.0;
const std::string kClip = "baseline_aac_moov_first.mp4";

bool waitFor(const std::function<bool()>& done) { return platform::MainLoop::instance().runUntil(done, kWaitSeconds); }

class RecordingDelegate final : public OVInstreamAdVideoViewDelegate {
 public:
  void videoViewDidLoad(const std::shared_ptr<OVInstreamAdVideoView>&) override { ++loads; }
  void videoViewTapped(const std::shared_ptr<OVInstreamAdVideoView>&) override { ++taps; }
  void videoViewDidProgress(const std::shared_ptr<OVInstreamAdVideoView>& view) override {
    progress.push_back(view->currentTime().seconds());
  }
  void videoViewDidEnd(const std::shared_ptr<OVInstreamAdVideoView>&) override { ++ends; }
  void videoView(const std::shared_ptr<OVInstreamAdVideoView>&, const std::optional<platform::Error>& error) override {
    failures.push_back(error);
  }

  int loads = 0;
  int taps = 0;
  int ends = 0;
  std::vector<double> progress;
  std::vector<std::optional<platform::Error>> failures;
};

class OVInstreamAdVideoViewTest : public platform::testing::UITest {
 protected:
  void TearDown() override {
    view_.reset();
    UITest::TearDown();
  }

  // Moves the clock on in small steps until `done`: GStreamer's time
  // follows the clock only once its pipeline plays and as far as its sinks
  // have been fed, so a single jump of the clock may leave it behind.
  bool advanceUntil(const std::function<bool()>& done) {
    for (int step = 0; step < 2000 && !done(); ++step) {
      clock_->advance(0.01);
      platform::MainLoop::instance().runUntil(done, 0.02);
    }
    return done();
  }

  void makeView() {
    view_ = OVInstreamAdVideoView::init();
    view_->setFrame({0, 0, 160, 90});
    view_->setDelegate(delegate_);
  }

  // The system's own player, whatever an earlier test left installed.
  testing::ScopedSystemPlayerKit systemPlayer_{std::make_shared<platform::GStreamerPlayerKit>()};
  std::shared_ptr<RecordingDelegate> delegate_ = std::make_shared<RecordingDelegate>();
  std::shared_ptr<OVInstreamAdVideoView> view_;
};

TEST_F(OVInstreamAdVideoViewTest, AClipFromTheServerLoadsOncePlaysWithProgressEndsAndPlaysAgain) {
  testserver::TestServer server;
  server.start();
  std::ifstream file(std::string(PLEXORA_TEST_MEDIA_DIR) + "/" + kClip, std::ios::binary);
  const auto clip =
      std::make_shared<const std::string>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  ASSERT_FALSE(clip->empty());
  // In ranges, as a media host serves it: playing again seeks back.
  server.on("/ad.mp4", testserver::serveRangeFile(clip));

  makeView();
  view_->loadMovieWithURL(*platform::URL::parse(server.url("ad.mp4")));
  ASSERT_TRUE(waitFor([&] { return delegate_->loads > 0 && view_->duration() > MediaTime::zero(); }));
  EXPECT_NEAR(view_->duration().seconds(), 1.0, 0.05);
  EXPECT_FALSE(view_->isPlaying()) << "loaded, held until started";
  EXPECT_TRUE(view_->isPaused());
  EXPECT_EQ(view_->player(), nullptr) << "not shown before the start";

  view_->start();
  EXPECT_TRUE(view_->isPlaying());
  EXPECT_NE(view_->player(), nullptr);
  // Reported at 0.25 s and 0.5 s.
  ASSERT_TRUE(advanceUntil([&] { return delegate_->progress.size() >= 2; }));
  EXPECT_NEAR(view_->currentTime().seconds(), 0.5, 0.1);
  const auto picture = platform::renderView(*view_, view_->bounds(), 1.0);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->pixel(80, 45).alpha, 255) << "the video's picture is drawn";

  view_->stop();
  EXPECT_FALSE(view_->isPlaying());
  runMainQueue();
  const std::size_t reported = delegate_->progress.size();
  const double stoppedAt = view_->currentTime().seconds();
  clock_->advance(0.5);
  runMainQueue();
  EXPECT_EQ(delegate_->progress.size(), reported) << "no progress while stopped";
  EXPECT_NEAR(view_->currentTime().seconds(), stoppedAt, 0.02);

  view_->start();
  ASSERT_TRUE(advanceUntil([&] { return delegate_->ends > 0; }));
  EXPECT_EQ(delegate_->ends, 1);
  EXPECT_TRUE(view_->isPaused());
  EXPECT_FALSE(view_->isPlaying());

  // Again, from the beginning.
  view_->start();
  ASSERT_TRUE(waitFor([&] { return view_->isPlaying() && view_->currentTime().seconds() < 0.1; }));
  const std::size_t beforeReplay = delegate_->progress.size();
  ASSERT_TRUE(advanceUntil([&] { return delegate_->progress.size() > beforeReplay; }));
  EXPECT_LT(view_->currentTime().seconds(), 0.5);
  EXPECT_EQ(delegate_->loads, 1) << "the load is reported once";
  for (const auto& failure : delegate_->failures) {
    ADD_FAILURE() << "failed: " << (failure ? failure->localizedDescription() : "without an error");
  }
}

TEST_F(OVInstreamAdVideoViewTest, WhatCannotBePlayedFails) {
  testserver::TestServer server;
  server.start();
  server.on("/text", testserver::Response::text(200, "no video here"));
  for (const std::string& url : {server.url("missing.mp4"), server.url("text")}) {
    SCOPED_TRACE(url);
    delegate_->failures.clear();
    makeView();
    view_->loadMovieWithURL(*platform::URL::parse(url));
    ASSERT_TRUE(waitFor([&] { return !delegate_->failures.empty(); }));
    ASSERT_TRUE(delegate_->failures.front().has_value()) << "the item's error";
    EXPECT_FALSE(view_->isPlaying());
    EXPECT_EQ(delegate_->loads, 0);
  }
}

TEST_F(OVInstreamAdVideoViewTest, WithoutASystemPlayerTheLoadFails) {
  const auto kit = platform::SystemPlayerKit::installed();
  platform::SystemPlayerKit::install(nullptr);
  makeView();
  view_->loadMovieWithURL(*platform::URL::parse("http://127.0.0.1:9/ad.mp4"));
  view_->start();
  runMainQueue();
  platform::SystemPlayerKit::install(kit);
  ASSERT_EQ(delegate_->failures.size(), 1u);
  EXPECT_FALSE(delegate_->failures.front().has_value());
  EXPECT_EQ(view_->volume(), 1.0F);
  EXPECT_EQ(view_->currentTime(), MediaTime::zero());
}

class OVInstreamAdVideoViewStallTest : public OVInstreamAdVideoViewTest {
 protected:
  void SetUp() override {
    OVInstreamAdVideoViewTest::SetUp();
    system_ = platform::SystemPlayerKit::installed();
    platform::SystemPlayerKit::install(kit_);
    makeView();
    view_->loadMovieWithURL(*platform::URL::parse("http://127.0.0.1/ad.mp4"));
    kit_->item->keepsUp(true);
    ASSERT_EQ(delegate_->loads, 1);
    view_->start();
  }
  void TearDown() override {
    OVInstreamAdVideoViewTest::TearDown();
    platform::SystemPlayerKit::install(system_);
  }

  // A stall: playback halts and the system says so.
  void stall() {
    kit_->player->playRate = 0.0F;
    kit_->item->likelyToKeepUp = false;
    kit_->item->stalls();
    runMainQueue();
  }

  std::shared_ptr<platform::SystemPlayerKit> system_;
  std::shared_ptr<ScriptedSystemPlayerKit> kit_ = std::make_shared<ScriptedSystemPlayerKit>();
};

TEST_F(OVInstreamAdVideoViewStallTest, AStallNotRecoveredWithinTenSecondsFails) {
  stall();
  EXPECT_TRUE(view_->hasStallTimer());
  clock_->advance(9.9);
  runMainQueue();
  EXPECT_TRUE(delegate_->failures.empty());
  clock_->advance(0.2);
  runMainQueue();
  ASSERT_EQ(delegate_->failures.size(), 1u);
  EXPECT_FALSE(delegate_->failures.front().has_value()) << "the item had no error to give";
}

TEST_F(OVInstreamAdVideoViewStallTest, EveryStallGetsItsOwnTimeoutAfterARecovery) {
  stall();
  clock_->advance(5.0);
  kit_->item->keepsUp(true);
  EXPECT_TRUE(view_->isPlaying()) << "recovered, it plays on";
  EXPECT_FALSE(view_->hasStallTimer());
  clock_->advance(20.0);
  runMainQueue();
  EXPECT_TRUE(delegate_->failures.empty());

  stall();
  clock_->advance(10.1);
  runMainQueue();
  EXPECT_EQ(delegate_->failures.size(), 1u) << "the second stall timed out too";
  EXPECT_EQ(delegate_->loads, 1) << "a recovery is no new load";

  // And after a timeout, the next stall still has one.
  stall();
  clock_->advance(10.1);
  runMainQueue();
  EXPECT_EQ(delegate_->failures.size(), 2u);
}

TEST_F(OVInstreamAdVideoViewStallTest, StoppingDuringAStallIsNoFailureAndAFullBufferDoesNotPlayAStoppedVideo) {
  stall();
  view_->stop();
  EXPECT_FALSE(view_->hasStallTimer());
  kit_->item->fills(true);
  EXPECT_FALSE(view_->isPlaying()) << "the user's pause holds";
  kit_->item->stalls();
  runMainQueue();
  EXPECT_FALSE(view_->hasStallTimer()) << "a stopped video waits for nothing";
  clock_->advance(30.0);
  runMainQueue();
  EXPECT_TRUE(delegate_->failures.empty());

  // A full buffer does resume a video meant to play.
  view_->start();
  kit_->item->bufferFull = false;
  stall();
  kit_->item->fills(true);
  EXPECT_TRUE(view_->isPlaying());
  EXPECT_FALSE(view_->hasStallTimer());
  clock_->advance(30.0);
  runMainQueue();
  EXPECT_TRUE(delegate_->failures.empty());
}

TEST_F(OVInstreamAdVideoViewStallTest, AFullBufferWithoutAStallChangesNothing) {
  view_->stop();
  const int plays = kit_->player->plays;
  kit_->item->fills(true);
  kit_->item->keepsUp(true);
  EXPECT_EQ(kit_->player->plays, plays);
  EXPECT_FALSE(view_->isPlaying());
}

TEST_F(OVInstreamAdVideoViewStallTest, TheStateTheViewReports) {
  EXPECT_EQ(view_->player(), kit_->player) << "shown once started";
  EXPECT_EQ(view_->volume(), 0.75F);
  kit_->item->time = MediaTime::make(-1, 1);
  EXPECT_EQ(view_->currentTime(), MediaTime::zero()) << "never before zero";
  kit_->item->time = MediaTime::make(5, 1);
  EXPECT_EQ(view_->currentTime(), MediaTime::make(5, 1));

  kit_->player->playerError = platform::Error("test", 1);
  EXPECT_FALSE(view_->isPlaying()) << "an error stops it, whatever the rate";
  kit_->player->playerError.reset();
  EXPECT_TRUE(view_->isPlaying());

  kit_->item->itemDuration = MediaTime::make(31, 1);
  kit_->item->tell(platform::kSystemPlayerItemDurationKey);
  EXPECT_EQ(view_->duration(), MediaTime::make(31, 1));

  // Started at the end, it plays from the beginning.
  view_->stop();
  kit_->item->time = MediaTime::make(31, 1);
  view_->start();
  EXPECT_EQ(view_->currentTime(), MediaTime::zero());

  kit_->item->itemStatus = platform::SystemPlayerItemStatus::kFailed;
  kit_->item->itemError = platform::Error("test", 7);
  kit_->item->tell(platform::kSystemPlayerItemStatusKey);
  ASSERT_EQ(delegate_->failures.size(), 1u);
  EXPECT_EQ(delegate_->failures.front(), platform::Error("test", 7));
}

TEST_F(OVInstreamAdVideoViewStallTest, TheEndIsReportedAndATapToo) {
  platform::NotificationCenter::defaultCenter().post(platform::kAVPlayerItemDidPlayToEndTimeNotification,
                                                     kit_->item.get());
  runMainQueue();
  EXPECT_EQ(delegate_->ends, 1);
  EXPECT_TRUE(view_->isPaused());
  const auto window = makeKeyWindow();
  window->addSubview(view_);
  EXPECT_TRUE(platform::Application::shared()->sendTap({80, 45}));
  EXPECT_EQ(delegate_->taps, 1);
}

}  // namespace
}  // namespace plexora
