// A rewarded video ad with the library's own video view from end to end on
// the manual clock: a clip from the loopback server is cached, the ad shown
// over the host's root controller plays it through the video engine to its
// end, the ad closes and the server records the reward.
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
#include "RewardedVideoAdTestSupport.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "plexora/OVRewardedVideoAd.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/render/QNVRenderingThread.h"
#include "util/qnv/support/QNVTestClip.h"

namespace plexora::testing {
namespace {

using Messages = std::vector<std::string>;

class RewardedRealViewEndToEndTest : public NativeAdTest {
 protected:
  RewardedRealViewEndToEndTest() {
    platform::Application::shared()->reset();
    window_->setRootViewController(root_);
    window_->makeKeyAndVisible();
    std::ifstream clip(testMediaPath("baseline_aac_moov_first.mp4"), std::ios::binary);
    serve("clip.mp4", {std::istreambuf_iterator<char>(clip), std::istreambuf_iterator<char>()});
  }
  ~RewardedRealViewEndToEndTest() override {
    // Layers end on the rendering thread: wait for their teardown.
    auto drained = std::make_shared<std::atomic<bool>>(false);
    QNVRenderingThread::renderingThreadAllowingAppInactivePlayback(false)->performBlock([drained] { *drained = true; });
    platform::MainLoop::instance().runUntil([&] { return drained->load(); }, 10.0);
    platform::Application::shared()->reset();
  }

  bool heard(const std::string& message) const {
    const auto& messages = delegate_->messages;
    return std::find(messages.begin(), messages.end(), message) != messages.end();
  }
  // Runs the main loop (downloads and decoding run on real threads) and
  // moves the clock on in small steps until the host heard `message`.
  bool runClockUntilHeard(const std::string& message) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!heard(message)) {
      if (std::chrono::steady_clock::now() > deadline || heard("error")) return false;
      world_.clock().advance(0.05);
      QNVMediaStateQueue()->sync([] {});
      platform::MainLoop::instance().runUntil([&] { return heard(message); }, 0.02);
    }
    return true;
  }

  std::shared_ptr<platform::Window> window_ = std::make_shared<platform::Window>();
  std::shared_ptr<platform::ViewController> root_ = std::make_shared<platform::ViewController>();
  std::shared_ptr<RecordingRewardedVideoAdDelegate> delegate_ = std::make_shared<RecordingRewardedVideoAdDelegate>();
};

TEST_F(RewardedRealViewEndToEndTest, AClipIsCachedPlayedToItsEndInTheEngineAndTheRewardIsRecorded) {
  const CandidateSpec candidate("PX", R"({"ct":"ct-real","video_url":"{{BASE_URL}}media/clip.mp4"})");
  world_.server().setAnswer("real_1", DisplayAdTestWorld::answer({candidate}, R"("type":"rewarded")"));
  const auto ad = OVRewardedVideoAd::initWithPlacementID("real_1", "user-3", "stars", 4);
  ad->setDelegate(delegate_);
  ad->loadAd();
  ASSERT_TRUE(runClockUntilHeard("loaded"));
  ASSERT_TRUE(ad->showAdFromRootViewController(root_, false));
  ASSERT_TRUE(runClockUntilHeard("impression"));
  EXPECT_TRUE(platform::Application::shared()->isStatusBarHidden());
  ASSERT_TRUE(runClockUntilHeard("did-close"));
  ASSERT_TRUE(runClockUntilHeard("reward-ok"));
  EXPECT_EQ(delegate_->messages,
            (Messages{"loaded", "impression", "complete", "will-close", "did-close", "reward-ok"}));
  EXPECT_EQ(root_->presentedViewController(), nullptr);
  EXPECT_FALSE(platform::Application::shared()->isStatusBarHidden());
  const auto rewards = world_.server().rewardRequests();
  ASSERT_EQ(rewards.size(), 1u);
  const auto field = [&](const std::string& key) {
    const auto found = std::find_if(rewards[0].begin(), rewards[0].end(), [&](const auto& item) { return item.first == key; });
    return found != rewards[0].end() ? found->second : std::string();
  };
  EXPECT_EQ(field("puid"), "user-3");
  EXPECT_EQ(field("pc"), "stars4");
  EXPECT_EQ(field("appid"), "real");
}

}  // namespace
}  // namespace plexora::testing
