// A rewarded video ad from end to end on the manual clock: it loads from the
// loopback ad server, is shown over the host's root controller, its video
// plays (through the view double) to the end, is skipped, fails or stops
// early, the ad closes, and a watched video of a rewarded user is confirmed
// to the server, which records the reward.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "RewardedVideoAdTestSupport.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Exception.h"
#include "platform/media/Player.h"
#include "platform/ui/Application.h"

namespace plexora::testing {
namespace {

using Messages = std::vector<std::string>;

class RewardedEndToEndTest : public RewardedVideoAdTest {
 protected:
  // Waits for the reward's outcome to reach the host.
  bool waitForRewardOutcome() {
    return DisplayAdTestWorld::waitFor([&] {
      DisplayAdTestWorld::settle();
      const auto& messages = delegate_->messages;
      return std::find(messages.begin(), messages.end(), "reward-ok") != messages.end() ||
             std::find(messages.begin(), messages.end(), "reward-failed") != messages.end();
    });
  }
};

TEST_F(RewardedEndToEndTest, TheFixtureAdPlaysToItsEndShowsItsEndCardAndConfirmsTheRewardOnClose) {
  platform::Application::shared()->setStatusBarHidden(false);
  const auto ad = loadedAd(kRewardedFixturePlacement, "user-42", "coins", 10);
  ASSERT_EQ(delegate_->messages, Messages{"loaded"});
  EXPECT_TRUE(ad->isAdValid());
  ASSERT_EQ(videoViews_->size(), 1u);
  EXPECT_EQ(videoView()->arguments.placementID, kRewardedFixturePlacement);
  // The fixture has end-card markup: the card is made while the video waits.
  ASSERT_TRUE(endView());

  ASSERT_TRUE(show(ad));
  EXPECT_TRUE(platform::Application::shared()->isStatusBarHidden());
  EXPECT_EQ(videoView()->playCalls, 1);
  ASSERT_EQ(delegate_->messages, (Messages{"loaded", "impression"}));
  const auto videoController = currentAdapter(ad)->rewardedVideoAd()->videoController();
  EXPECT_EQ(videoController->presentingViewController(), root_);
  world_.clock().advance(0.5);
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return !world_.loggedEvents("impression", "ct-rewarded-1").empty(); }));

  videoDelegate()->rewardedVideoViewDidLoad(videoView()->self());
  videoDelegate()->rewardedVideoViewEnded(videoView()->self(), true, 15.0);
  DisplayAdTestWorld::settle();
  finishTransitions();
  EXPECT_EQ(delegate_->messages, (Messages{"loaded", "impression", "complete"}));
  EXPECT_EQ(videoController->presentedViewController(), currentAdapter(ad)->rewardedVideoAd()->endCardController());
  EXPECT_EQ(endView()->framesOnShow, 1);
  EXPECT_TRUE(rewardRequests().empty());

  endView()->delegate()->rewardedVideoAdEndViewClicked(endView()->self());
  endView()->delegate()->rewardedVideoAdEndViewWillClose(endView()->self());
  DisplayAdTestWorld::settle();
  finishTransitions();
  ASSERT_TRUE(waitForRewardOutcome());
  EXPECT_EQ(delegate_->messages,
            (Messages{"loaded", "impression", "complete", "click", "will-close", "did-close", "reward-ok"}));
  // The ad and its card are gone, and the host's status bar is back.
  EXPECT_EQ(root_->presentedViewController(), nullptr);
  EXPECT_FALSE(delegate_->statusBarHiddenAtDidClose);
  EXPECT_FALSE(platform::Application::shared()->isStatusBarHidden());

  const auto rewards = rewardRequests();
  ASSERT_EQ(rewards.size(), 1u);
  EXPECT_EQ(field(rewards[0], "puid"), "user-42");
  EXPECT_EQ(field(rewards[0], "pc"), "coins10");
  EXPECT_EQ(field(rewards[0], "appid"), kRewardedFixturePlacement);
  EXPECT_EQ(field(rewards[0], "ptid").size(), 36u);
}

TEST_F(RewardedEndToEndTest, ASkipCountsAsCompletionAndTheAdClosesWithTheReward) {
  answer("123_456", rewardedData());
  platform::Application::shared()->setStatusBarHidden(true);
  const auto ad = loadedAd("123_456", "user-7", "coins", 0);
  ASSERT_EQ(delegate_->messages, Messages{"loaded"});
  EXPECT_FALSE(endView());
  ASSERT_TRUE(show(ad));

  videoDelegate()->rewardedVideoViewDidSkip(videoView()->self());
  DisplayAdTestWorld::settle();
  finishTransitions();
  ASSERT_TRUE(waitForRewardOutcome());
  EXPECT_EQ(delegate_->messages,
            (Messages{"loaded", "impression", "complete", "will-close", "did-close", "reward-ok"}));
  // A host whose status bar was hidden keeps it hidden.
  EXPECT_TRUE(platform::Application::shared()->isStatusBarHidden());
  const auto rewards = rewardRequests();
  ASSERT_EQ(rewards.size(), 1u);
  EXPECT_EQ(field(rewards[0], "pc"), "coins");
  EXPECT_EQ(field(rewards[0], "appid"), "123");
}

TEST_F(RewardedEndToEndTest, AVideoFailureMidPlayReachesTheHostAndClosesTheAdWithoutAReward) {
  answer("failing", rewardedData());
  const auto ad = loadedAd("failing", "user-1", "gems", 5);
  ASSERT_TRUE(show(ad));
  videoDelegate()->rewardedVideoViewDidLoad(videoView()->self());
  videoDelegate()->rewardedVideoView(videoView()->self(), platform::Error("QNVPlayer", 12));
  DisplayAdTestWorld::settle();
  finishTransitions();
  DisplayAdTestWorld::runBriefly();
  DisplayAdTestWorld::settle();

  EXPECT_EQ(delegate_->messages, (Messages{"loaded", "impression", "error", "will-close", "did-close"}));
  ASSERT_EQ(delegate_->errors.size(), 1u);
  EXPECT_EQ(delegate_->errors[0].code(), 12);
  EXPECT_FALSE(ad->isAdValid());
  EXPECT_EQ(root_->presentedViewController(), nullptr);
  EXPECT_FALSE(platform::Application::shared()->isStatusBarHidden());
  EXPECT_TRUE(rewardRequests().empty());
}

TEST_F(RewardedEndToEndTest, AVideoThatStopsEarlyClosesWithoutARewardRequestOrARewardFailure) {
  answer("early", rewardedData());
  const auto ad = loadedAd("early", "user-1", "gems", 5);
  ASSERT_TRUE(show(ad));
  videoDelegate()->rewardedVideoViewEnded(videoView()->self(), false, 3.0);
  DisplayAdTestWorld::settle();
  finishTransitions();
  DisplayAdTestWorld::runBriefly();
  DisplayAdTestWorld::settle();

  EXPECT_EQ(delegate_->messages, (Messages{"loaded", "impression", "will-close", "did-close"}));
  EXPECT_TRUE(rewardRequests().empty());
}

TEST_F(RewardedEndToEndTest, AWatchedVideoWithoutAUserIdentifierSendsNoReward) {
  answer("anonymous", rewardedData());
  const auto ad = loadedAd("anonymous", std::nullopt, "coins", 3);
  ASSERT_TRUE(show(ad));
  videoDelegate()->rewardedVideoViewEnded(videoView()->self(), true, 15.0);
  DisplayAdTestWorld::settle();
  finishTransitions();
  DisplayAdTestWorld::runBriefly();
  DisplayAdTestWorld::settle();

  EXPECT_EQ(delegate_->messages, (Messages{"loaded", "impression", "complete", "will-close", "did-close"}));
  EXPECT_TRUE(rewardRequests().empty());
}

TEST_F(RewardedEndToEndTest, ARefusedOrUnansweredRewardReachesTheHostAsARewardFailure) {
  struct Case {
    const char* name;
    testserver::Response response;
  };
  const std::vector<Case> cases = {
      {"refused", testserver::Response::text(500, "")},
      {"dropped", testserver::Response::dropped()},
  };
  for (const Case& fault : cases) {
    SCOPED_TRACE(fault.name);
    delegate_->messages.clear();
    answer(fault.name, rewardedData());
    world_.server().server().enqueue(testserver::kAdServerRewardPath, fault.response);
    const auto ad = loadedAd(fault.name, "user-9", std::nullopt, 0);
    ASSERT_TRUE(show(ad));
    videoDelegate()->rewardedVideoViewEnded(videoView()->self(), true, 15.0);
    DisplayAdTestWorld::settle();
    finishTransitions();
    ASSERT_TRUE(waitForRewardOutcome());
    EXPECT_EQ(delegate_->messages,
              (Messages{"loaded", "impression", "complete", "will-close", "did-close", "reward-failed"}));
  }
  // A user without currency or amount is rewarded with the empty text.
  const auto rewards = rewardRequests();
  ASSERT_FALSE(rewards.empty());
  EXPECT_EQ(field(rewards[0], "pc"), "");
}

// A player that records what it is told.
class RecordingPlayer final : public platform::Player {
 public:
  void play() override { calls.push_back("play"); }
  void pause() override { calls.push_back("pause"); }
  void setMuted(bool) override {}
  bool isMuted() const override { return false; }
  float rate() const override { return 1.0F; }
  platform::MediaTime currentTime() const override { return time; }
  void seekToTime(const platform::MediaTime& to) override {
    calls.push_back("seek " + std::to_string(to.seconds()));
    time = to;
  }

  std::vector<std::string> calls;
  platform::MediaTime time = platform::MediaTime::make(4, 1);
};

TEST_F(RewardedEndToEndTest, ReturningToTheApplicationMidPlayResumesRestartsSkipsOrClosesAsTheAdSays) {
  struct Case {
    const char* contextSwitch;
    std::vector<std::string> playerCalls;
    Messages messages;
    std::size_t rewards;
    std::size_t closeEvents;
  };
  const std::vector<Case> cases = {
      {"resume", {"play"}, {"loaded", "impression"}, 0, 0},
      {"restart", {"seek 0.000000", "play"}, {"loaded", "impression"}, 0, 0},
      {"skip", {}, {"loaded", "impression", "complete", "will-close", "did-close", "reward-ok"}, 1, 0},
      {"later", {}, {"loaded", "impression", "will-close", "did-close"}, 0, 1},
  };
  std::size_t rewardsBefore = 0;
  for (const Case& behaviour : cases) {
    SCOPED_TRACE(behaviour.contextSwitch);
    delegate_->messages.clear();
    const std::string placement = std::string("switch-") + behaviour.contextSwitch;
    const std::string token = "ct-" + placement;
    answer(placement, R"({"ct":")" + token + R"(","video_url":"{{BASE_URL}}media/rewarded.mp4","context_switch":")" +
                          behaviour.contextSwitch + R"("})");
    const auto ad = loadedAd(placement, "user", "coins", 1);
    ASSERT_TRUE(show(ad));
    const auto player = std::make_shared<RecordingPlayer>();
    videoView()->playerValue = player;
    videoDelegate()->rewardedVideoViewContextSwitch(videoView()->self());
    DisplayAdTestWorld::settle();
    finishTransitions();
    if (behaviour.rewards > 0) {
      ASSERT_TRUE(waitForRewardOutcome());
    }
    EXPECT_EQ(player->calls, behaviour.playerCalls);
    EXPECT_EQ(delegate_->messages, behaviour.messages);
    EXPECT_EQ(rewardRequests().size() - rewardsBefore, behaviour.rewards);
    rewardsBefore = rewardRequests().size();
    world_.clock().advance(0.5);
    if (behaviour.closeEvents > 0) {
      EXPECT_TRUE(DisplayAdTestWorld::waitFor([&] { return !world_.loggedEvents("close", token).empty(); }));
    } else {
      DisplayAdTestWorld::runBriefly();
      EXPECT_TRUE(world_.loggedEvents("close", token).empty());
    }
  }
}

TEST_F(RewardedEndToEndTest, AnEndCardThatCannotBeMadeLeavesTheVideoToCloseTheAdOnItsOwn) {
  OVRewardedVideoAdEndView::Maker::Scope refusingEndViews(
      OVRewardedVideoAdEndView::maker(),
      [](const std::string&, const std::shared_ptr<OVRewardedVideoAdDataModel>&, std::int64_t,
         const std::shared_ptr<OVAdViewControllerProxy>&,
         platform::InterfaceOrientation) -> std::shared_ptr<OVRewardedVideoAdEndView> {
        throw platform::Exception("NSInvalidArgumentException", "placementID cannot be nil");
      });
  answer("carded", rewardedData(R"(,"end_card_markup":"<p>Install</p>")"));
  const auto ad = loadedAd("carded", "user", "coins", 2);
  ASSERT_EQ(delegate_->messages, Messages{"loaded"});
  ASSERT_TRUE(show(ad));
  videoDelegate()->rewardedVideoViewEnded(videoView()->self(), true, 15.0);
  DisplayAdTestWorld::settle();
  finishTransitions();
  ASSERT_TRUE(waitForRewardOutcome());
  EXPECT_EQ(delegate_->messages,
            (Messages{"loaded", "impression", "complete", "will-close", "did-close", "reward-ok"}));
}

TEST_F(RewardedEndToEndTest, ACandidateWhoseVideoCannotPlayFailsTheLoadWithNoFill) {
  answer("invalid", rewardedData());
  auto ad = OVRewardedVideoAd::initWithPlacementID("invalid");
  ad->setDelegate(delegate_);
  // Every video view made for it is invalid from the start.
  OVRewardedVideoAdView::Maker::Scope invalidViews(
      OVRewardedVideoAdView::maker(),
      [made = videoViews_](const std::string&, const std::shared_ptr<OVRewardedVideoAdDataModel>&, std::int32_t,
                           const std::shared_ptr<OVAdViewControllerProxy>&) {
        auto view = std::make_shared<FakeRewardedVideoAdView>();
        view->adValid = false;
        made->push_back(view);
        return view;
      });
  ad->loadAd();
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] {
    DisplayAdTestWorld::settle();
    return !delegate_->messages.empty();
  }));
  EXPECT_EQ(delegate_->messages, Messages{"error"});
  EXPECT_FALSE(ad->isAdValid());
}

}  // namespace
}  // namespace plexora::testing
