// The choice between the engine and the system's player, and the factories
// that build one ad's objects of the chosen kind: the engine's classes, or
// the system's, here a double installed through the platform.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/Paths.h"
#include "platform/media/SystemPlayerKit.h"
#include "plexora/OVAdSettings.h"
#include "util/OVAdConfigManager.h"
#include "util/RuntimeTestSupport.h"
#include "util/compatibility/OVAdQNVCompatibility.h"
#include "util/OVAdResourceLoader.h"
#include "util/qnv/asset/QNVAssetResourceLoader.h"
#include "util/qnv/asset/QNVLocalMp4Asset.h"
#include "util/qnv/asset/QNVMp4Asset.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/player/QNVPlayer.h"
#include "util/qnv/render/QNVPlayerLayer.h"

namespace plexora {
namespace {

using platform::MediaTime;

// The system's objects as the platform would make them; the player
// remembers the thread it was destroyed on.
struct SystemAsset final : platform::PlayerAsset {
  void loadValuesAsynchronouslyForKeys(const std::vector<std::string>&, std::function<void()> handler) override {
    handler();
  }
  MediaTime duration() const override { return MediaTime::zero(); }
  void cancelLoading() override {}
};

struct SystemItem final : platform::PlayerItem {
  explicit SystemItem(std::shared_ptr<platform::PlayerAsset> asset) : asset(std::move(asset)) {}
  MediaTime currentTime() const override { return MediaTime::zero(); }
  bool isPlaybackLikelyToKeepUp() const override { return true; }
  bool isPlaybackBufferFull() const override { return false; }
  std::shared_ptr<platform::PlayerAsset> asset;
};

struct SystemPlayer final : platform::Player {
  SystemPlayer(std::shared_ptr<platform::PlayerItem> item, std::atomic<std::thread::id>* destroyedOn)
      : item(std::move(item)), destroyedOn(destroyedOn) {}
  ~SystemPlayer() override { destroyedOn->store(std::this_thread::get_id()); }
  void play() override {}
  void pause() override {}
  void setMuted(bool) override {}
  bool isMuted() const override { return false; }
  float rate() const override { return 0; }
  MediaTime currentTime() const override { return MediaTime::zero(); }
  void seekToTime(const MediaTime&) override {}
  std::shared_ptr<platform::PlayerItem> item;
  std::atomic<std::thread::id>* destroyedOn;
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
  std::shared_ptr<platform::PlayerAsset> makeURLAsset(const platform::URL&) override {
    return std::make_shared<SystemAsset>();
  }
  std::shared_ptr<platform::PlayerItem> makePlayerItem(std::shared_ptr<platform::PlayerAsset> asset) override {
    return std::make_shared<SystemItem>(std::move(asset));
  }
  std::shared_ptr<platform::Player> makePlayer(std::shared_ptr<platform::PlayerItem> item) override {
    return std::make_shared<SystemPlayer>(std::move(item), &playerDestroyedOn);
  }
  std::shared_ptr<platform::SystemPlayerLayer> makePlayerLayer() override { return std::make_shared<SystemLayer>(); }
  std::atomic<std::thread::id> playerDestroyedOn;
};

class OVAdQNVCompatibilityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setCachesDirectory(caches_.path().string());
    platform::SystemPlayerKit::install(kit_);
    // The first answer is logged once per process; each test here is a
    // first answer.
    OVAdResetVideoLibraryLogForTesting();
  }
  void TearDown() override {
    platform::SystemPlayerKit::install(nullptr);
    configure({});
    platform::DispatchQueue::settle();
    platform::setCachesDirectory("");
  }

  static void configure(platform::Dictionary configuration) {
    OVAdConfigManager::sharedManager()->loadConfigurationFromDictionary(platform::Value(std::move(configuration)));
  }
  static platform::URL fileURL() { return *platform::URL::fromFilePath("/videos/ad.mp4"); }

  // The engine's layer lets go of its rendering thread's GL context before
  // the test ends.
  static void release(std::shared_ptr<platform::PlayerLayer>& layer) {
    if (auto engineLayer = std::dynamic_pointer_cast<QNVPlayerLayer>(layer)) {
      engineLayer->invalidate();
      ASSERT_TRUE(engineLayer->dispatchSyncOnRenderingThread([] {}));
    }
    layer.reset();
  }

  testing::RuntimeLogCapture log_;  // also puts the settings back
  testing::TempDir caches_;
  std::shared_ptr<platform::ManualClock> manualClock_ = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock_{manualClock_};
  std::shared_ptr<SystemKit> kit_ = std::make_shared<SystemKit>();
};

TEST_F(OVAdQNVCompatibilityTest, TheFirstAnswerIsLoggedOnceAndLaterAnswersFollowTheConfiguration) {
  EXPECT_TRUE(OVAdShouldUseQNVPlayer()) << "no configuration key: the engine";
  configure({{"ios_qnv_enabled", false}});
  EXPECT_FALSE(OVAdShouldUseQNVPlayer());
  EXPECT_EQ(log_.count("Using Video Library: "), 1U);
  EXPECT_TRUE(log_.contains("Using Video Library: QNVPlayer"));
}

TEST_F(OVAdQNVCompatibilityTest, BackgroundPlaybackTakesTheSystemPlayerWhateverTheConfiguration) {
  configure({{"ios_qnv_enabled", true}});
  OVAdSettings::setBackgroundVideoPlaybackAllowed(true);
  const OVAdVideoLibrary library = OVAdChooseVideoLibrary();
  EXPECT_EQ(library, OVAdVideoLibrary::kAVPlayer);
  EXPECT_TRUE(log_.contains("Using Video Library: AVPlayer"));

  auto asset = OVAdCreateVideoAsset(library, fileURL(), true);
  EXPECT_NE(std::dynamic_pointer_cast<SystemAsset>(asset), nullptr);
  auto item = OVAdCreateVideoPlayerItem(library, asset, fileURL());
  auto systemItem = std::dynamic_pointer_cast<SystemItem>(item);
  ASSERT_NE(systemItem, nullptr);
  EXPECT_EQ(systemItem->asset, asset);
  auto layer = OVAdCreateVideoPlayerLayer(library);
  EXPECT_NE(std::dynamic_pointer_cast<SystemLayer>(layer), nullptr);
  auto player = OVAdCreateVideoPlayer(library, item, layer);
  auto systemPlayer = std::dynamic_pointer_cast<SystemPlayer>(player);
  ASSERT_NE(systemPlayer, nullptr);
  EXPECT_EQ(systemPlayer->item, item);

  systemPlayer.reset();
  player.reset();
  platform::DispatchQueue::settle();
  EXPECT_NE(kit_->playerDestroyedOn.load(), std::thread::id());
  EXPECT_NE(kit_->playerDestroyedOn.load(), std::this_thread::get_id()) << "torn down on the background queue";
}

TEST_F(OVAdQNVCompatibilityTest, TheEngineBuildsItsOwnKindsAndFallsBackOnMismatches) {
  const OVAdVideoLibrary library = OVAdChooseVideoLibrary();
  ASSERT_EQ(library, OVAdVideoLibrary::kQNVPlayer);

  auto asset = OVAdCreateVideoAsset(library, fileURL(), true);
  ASSERT_NE(std::dynamic_pointer_cast<QNVLocalMp4Asset>(asset), nullptr);
  auto remote = std::dynamic_pointer_cast<QNVMp4Asset>(
      OVAdCreateVideoAsset(library, *platform::URL::parse("https://cdn.example/ad.mp4"), false));
  ASSERT_NE(remote, nullptr) << "a remote URL gives the remote MP4 asset";
  EXPECT_EQ(remote->resourceLoader()->delegate(), OVAdResourceLoader::sharedResourceLoader())
      << "fetching through the shared resource loader";
  EXPECT_NE(remote->resourceLoader()->delegateQueue(), nullptr);
  EXPECT_EQ(OVAdCreateVideoPlayerItem(library, asset, fileURL()),
            std::dynamic_pointer_cast<platform::PlayerItem>(asset))
      << "an engine asset is its own item";
  auto fromSystemAsset = OVAdCreateVideoPlayerItem(library, std::make_shared<SystemAsset>(), fileURL());
  EXPECT_NE(std::dynamic_pointer_cast<QNVLocalMp4Asset>(fromSystemAsset), nullptr)
      << "a system asset is replaced by an engine asset for the URL";

  auto layer = OVAdCreateVideoPlayerLayer(library);
  ASSERT_NE(std::dynamic_pointer_cast<QNVPlayerLayer>(layer), nullptr);
  auto player = OVAdCreateVideoPlayer(library, OVAdCreateVideoPlayerItem(library, asset, fileURL()), layer);
  auto enginePlayer = std::dynamic_pointer_cast<QNVPlayer>(player);
  ASSERT_NE(enginePlayer, nullptr);
  QNVMediaStateQueue()->sync([] {});
  EXPECT_EQ(std::dynamic_pointer_cast<platform::PlayerAsset>(enginePlayer->currentItem()), asset);
  EXPECT_EQ(enginePlayer->layer(), std::dynamic_pointer_cast<QNVPlayerDisplayEngine>(layer));

  auto systemItem = std::make_shared<SystemItem>(nullptr);
  EXPECT_NE(std::dynamic_pointer_cast<SystemPlayer>(OVAdCreateVideoPlayer(library, systemItem, layer)), nullptr)
      << "a system item gets the system's player";

  enginePlayer.reset();
  player.reset();
  QNVMediaStateQueue()->sync([] {});
  platform::DispatchQueue::settle();
  release(layer);
}

// The choice is taken once for an ad: a configuration that turns the engine
// off between two factory calls of that ad changes nothing for it.
TEST_F(OVAdQNVCompatibilityTest, OneAdsObjectsAllComeFromTheChoiceItTook) {
  struct Case {
    bool enabledWhenChosen;
    bool enabledLater;
  };
  for (const Case& c : {Case{true, false}, Case{false, true}}) {
    configure({{"ios_qnv_enabled", c.enabledWhenChosen}});
    const OVAdVideoLibrary library = OVAdChooseVideoLibrary();
    configure({{"ios_qnv_enabled", c.enabledLater}});
    auto asset = OVAdCreateVideoAsset(library, fileURL(), true);
    auto item = OVAdCreateVideoPlayerItem(library, asset, fileURL());
    auto layer = OVAdCreateVideoPlayerLayer(library);
    auto player = OVAdCreateVideoPlayer(library, item, layer);
    const bool engine = c.enabledWhenChosen;
    EXPECT_EQ(std::dynamic_pointer_cast<QNVLocalMp4Asset>(asset) != nullptr, engine);
    EXPECT_EQ(std::dynamic_pointer_cast<QNVLocalMp4Asset>(item) != nullptr, engine);
    EXPECT_EQ(std::dynamic_pointer_cast<QNVPlayerLayer>(layer) != nullptr, engine);
    EXPECT_EQ(std::dynamic_pointer_cast<QNVPlayer>(player) != nullptr, engine);
    EXPECT_EQ(std::dynamic_pointer_cast<SystemPlayer>(player) != nullptr, !engine);
    player.reset();
    QNVMediaStateQueue()->sync([] {});
    platform::DispatchQueue::settle();
    release(layer);
  }
}

TEST_F(OVAdQNVCompatibilityTest, WithoutASystemPlayerTheSystemChoiceBuildsNothing) {
  platform::SystemPlayerKit::install(nullptr);
  const OVAdVideoLibrary library = OVAdVideoLibrary::kAVPlayer;
  EXPECT_EQ(OVAdCreateVideoAsset(library, fileURL(), true), nullptr);
  EXPECT_EQ(OVAdCreateVideoPlayerItem(library, std::make_shared<SystemAsset>(), fileURL()), nullptr);
  EXPECT_EQ(OVAdCreateVideoPlayerLayer(library), nullptr);
  EXPECT_EQ(OVAdCreateVideoPlayer(library, std::make_shared<SystemItem>(nullptr), nullptr), nullptr);
}

}  // namespace
}  // namespace plexora
