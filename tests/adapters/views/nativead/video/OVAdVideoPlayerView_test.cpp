// The video player view: the layer it hosts follows its bounds (not its
// frame), only real size changes move it, the player reaches the system's
// layer but never the engine's, and the engine's layer is taken down on the
// main thread even when the view goes on another.
#include "adapters/views/nativead/video/OVAdVideoPlayerView.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "platform/dispatch/MainLoop.h"
#include "platform/media/SystemPlayerKit.h"
#include "platform/ui/UITest.h"
#include "plexora/OVAdSettings.h"
#include "util/RuntimeTestSupport.h"
#include "util/qnv/render/QNVPlayerLayer.h"
#include "util/qnv/render/QNVRenderingThread.h"

namespace plexora {
namespace {

using platform::Rect;

struct SystemLayer final : platform::SystemPlayerLayer {
  void setBounds(Rect bounds) override { bounds_ = bounds; }
  Rect bounds() const override { return bounds_; }
  void setPlayer(std::shared_ptr<platform::Player> player) override {
    player_ = std::move(player);
    ++playerSets;
  }
  std::shared_ptr<platform::Player> player() const override { return player_; }
  Rect bounds_;
  std::shared_ptr<platform::Player> player_;
  int playerSets = 0;
};

struct SystemKit final : platform::SystemPlayerKit {
  std::shared_ptr<platform::PlayerAsset> makeURLAsset(const platform::URL&) override { return nullptr; }
  std::shared_ptr<platform::PlayerItem> makePlayerItem(std::shared_ptr<platform::PlayerAsset>) override {
    return nullptr;
  }
  std::shared_ptr<platform::Player> makePlayer(std::shared_ptr<platform::PlayerItem>) override { return nullptr; }
  std::shared_ptr<platform::SystemPlayerLayer> makePlayerLayer() override {
    layer = std::make_shared<SystemLayer>();
    return layer;
  }
  std::shared_ptr<SystemLayer> layer;
};

struct NullPlayer final : platform::Player {
  void play() override {}
  void pause() override {}
  void setMuted(bool) override {}
  bool isMuted() const override { return false; }
  float rate() const override { return 0.0F; }
  platform::MediaTime currentTime() const override { return platform::MediaTime::zero(); }
  void seekToTime(const platform::MediaTime&) override {}
};

class OVAdVideoPlayerViewTest : public platform::testing::UITest {
 protected:
  void TearDown() override {
    // An engine layer ends on the rendering thread: let it finish first.
    auto drained = std::make_shared<std::atomic<bool>>(false);
    QNVRenderingThread::renderingThreadAllowingAppInactivePlayback(false)->performBlock([drained] { *drained = true; });
    platform::MainLoop::instance().runUntil([&] { return drained->load(); }, 10.0);
    runMainQueue();
    platform::SystemPlayerKit::install(nullptr);
    OVAdSettings::setBackgroundVideoPlaybackAllowed(false);
    UITest::TearDown();
  }

  // Background playback hands videos to the system's player.
  std::shared_ptr<SystemKit> useSystemPlayer() {
    auto kit = std::make_shared<SystemKit>();
    platform::SystemPlayerKit::install(kit);
    OVAdSettings::setBackgroundVideoPlaybackAllowed(true);
    return kit;
  }

  testing::RuntimeLogCapture log_;
};

TEST_F(OVAdVideoPlayerViewTest, TheEngineLayerIsMadeOnceAndTakesTheBoundsNotTheFrame) {
  const auto view = OVAdVideoPlayerView::initWithFrame(Rect(30, 40, 160, 90));
  EXPECT_EQ(view->videoLibrary(), OVAdVideoLibrary::kQNVPlayer);
  const auto layer = std::dynamic_pointer_cast<QNVPlayerLayer>(view->playerLayer());
  ASSERT_TRUE(layer);
  EXPECT_TRUE(view->initialized());
  EXPECT_EQ(layer->bounds(), Rect(0, 0, 160, 90));

  view->initVideoLayer();
  EXPECT_EQ(view->playerLayer(), layer) << "a second call keeps the first layer";
}

TEST_F(OVAdVideoPlayerViewTest, OnlyARealSizeChangeMovesTheLayer) {
  const auto kit = useSystemPlayer();
  const auto view = OVAdVideoPlayerView::initWithFrame(Rect(10, 10, 100, 50));
  ASSERT_EQ(view->playerLayer(), kit->layer);
  const Rect marker(1, 2, 3, 4);
  struct Case {
    const char* name;
    bool viaBounds;
    Rect rect;
    Rect expected;  // the marker when the layer must be left alone
  };
  const Case cases[] = {
      {"the same frame", false, Rect(10, 10, 100, 50), marker},
      {"an empty frame", false, Rect(10, 10, 0, 50), marker},
      {"a new frame", false, Rect(0, 5, 200, 80), Rect(0, 0, 200, 80)},
      {"the same bounds", true, Rect(0, 0, 200, 80), marker},
      {"empty bounds", true, Rect(0, 0, 200, 0), marker},
      {"scrolled bounds", true, Rect(20, 0, 200, 80), Rect(20, 0, 200, 80)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    kit->layer->setBounds(marker);
    if (c.viaBounds) {
      view->setBounds(c.rect);
    } else {
      view->setFrame(c.rect);
    }
    EXPECT_EQ(kit->layer->bounds(), c.expected);
  }
}

TEST_F(OVAdVideoPlayerViewTest, ThePlayerReachesOnlyTheSystemLayer) {
  {
    const auto view = OVAdVideoPlayerView::initWithFrame(Rect(0, 0, 100, 50));
    const auto player = std::make_shared<NullPlayer>();
    view->setPlayer(player);
    EXPECT_EQ(view->player(), player);
    EXPECT_TRUE(std::dynamic_pointer_cast<QNVPlayerLayer>(view->playerLayer()));
  }

  const auto kit = useSystemPlayer();
  const auto view = OVAdVideoPlayerView::initWithFrame(Rect(0, 0, 100, 50));
  EXPECT_EQ(view->videoLibrary(), OVAdVideoLibrary::kAVPlayer);
  const auto player = std::make_shared<NullPlayer>();
  view->setPlayer(player);
  EXPECT_EQ(view->player(), player);
  EXPECT_EQ(kit->layer->player(), player);
  EXPECT_EQ(kit->layer->playerSets, 1);
}

TEST_F(OVAdVideoPlayerViewTest, ALostLayerIsMadeAgainForThePlayer) {
  const auto kit = useSystemPlayer();
  const auto view = OVAdVideoPlayerView::initWithFrame(Rect(0, 0, 100, 50));
  view->setPlayerLayer(nullptr);
  const auto player = std::make_shared<NullPlayer>();
  view->setPlayer(player);
  ASSERT_TRUE(view->playerLayer());
  EXPECT_EQ(view->playerLayer(), kit->layer);
  EXPECT_EQ(kit->layer->player(), player);
}

TEST_F(OVAdVideoPlayerViewTest, AViewReleasedOffTheMainThreadTakesItsEngineLayerDownOnTheMainQueue) {
  auto view = OVAdVideoPlayerView::initWithFrame(Rect(0, 0, 100, 50));
  const std::weak_ptr<platform::PlayerLayer> layer = view->playerLayer();
  std::thread([released = std::move(view)]() mutable { released.reset(); }).join();

  EXPECT_FALSE(layer.expired()) << "kept for the main queue";
  EXPECT_FALSE(log_.contains(kOVAdVideoPlayerViewInvalidatingRenderer));
  runMainQueue();
  EXPECT_EQ(log_.count(kOVAdVideoPlayerViewInvalidatingRenderer), 1U);
  EXPECT_TRUE(log_.contains("OVAdVideoPlayerView:"));
}

TEST_F(OVAdVideoPlayerViewTest, TheTeardownLogsOnlyForTheEngineLayer) {
  { const auto view = OVAdVideoPlayerView::initWithFrame(Rect(0, 0, 100, 50)); }
  EXPECT_EQ(log_.count(kOVAdVideoPlayerViewInvalidatingRenderer), 1U) << "at once on the main thread";

  const auto kit = useSystemPlayer();
  {
    const auto view = OVAdVideoPlayerView::initWithFrame(Rect(0, 0, 100, 50));
    ASSERT_EQ(view->playerLayer(), kit->layer);
  }
  const std::weak_ptr<SystemLayer> systemLayer = kit->layer;
  kit->layer.reset();
  EXPECT_TRUE(systemLayer.expired()) << "released with the view";
  EXPECT_EQ(log_.count(kOVAdVideoPlayerViewInvalidatingRenderer), 1U);
}

}  // namespace
}  // namespace plexora
