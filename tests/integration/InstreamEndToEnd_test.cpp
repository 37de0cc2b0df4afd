// An in-stream ad from end to end on the manual clock: the fixture
// placement loads from the loopback ad server through the own adapter and
// the library's video ad controller, the host starts it, the video plays
// (a content view double reports the playback the way the real view does),
// and the host hears load, impression, click and the end, a skip or a
// failure in order, while the impression and the video events reach the
// logging endpoint, which acknowledges them.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "InstreamTestSupport.h"
#include "adapters/OVInstreamAdDataModel.h"
#include "platform/ui/Application.h"
#include "plexora/OVAdErrorDomain.h"
#include "tracking/OVAdEventManagerTestSupport.h"
#include "util/OVAdError.h"

namespace plexora::testing {
namespace {

constexpr const char* kFixturePlacement = "instream";
constexpr const char* kFixtureToken = "ct-instream-1";
// The fixture's video lasts 30 seconds.
constexpr double kVideoSeconds = 30.0;
constexpr double kProgressInterval = 0.25;

class InstreamEndToEndTest : public InstreamTest {
 protected:
  // The fixture ad loaded and started in the window; the view playing it.
  std::pair<std::shared_ptr<OVInstreamAdView>, std::shared_ptr<FakeInstreamAdContentView>> startFixtureAd() {
    const auto ad = placeAd(kFixturePlacement);
    const auto contentView = loadAd(ad);
    if (!contentView) return {ad, nullptr};
    EXPECT_TRUE(ad->showAdFromRootViewController(root_));
    DisplayAdTestWorld::settle();
    return {ad, contentView};
  }
  // Plays from `from` to `to` seconds in steps of the view's progress
  // reports, the clock moving along.
  void play(const std::shared_ptr<FakeInstreamAdContentView>& contentView, double from, double to) {
    for (double time = from; time <= to + 1e-9; time += kProgressInterval) {
      world_.clock().advance(kProgressInterval);
      playTo(contentView, time);
    }
  }
  struct LoggedAction {
    double time;
    std::string action;
  };
  // The "time" and "action" of each video event the endpoint received for
  // the ad, in the order of their times. Batches travel side by side, so
  // the order in which they reach the endpoint is not the order of logging;
  // events of one moment are put in the order of their action codes.
  std::vector<LoggedAction> loggedVideoActionsInTime() const {
    std::vector<LoggedAction> actions;
    for (const auto& event : world_.loggedEvents("video", kFixtureToken)) {
      const platform::Value* time = event.find("time");
      const platform::Value* data = event.find("data");
      const platform::Value* action = data ? data->find("action") : nullptr;
      actions.push_back({std::stod(time ? time->text().value_or("0") : "0"), action ? action->text().value_or("") : ""});
    }
    std::sort(actions.begin(), actions.end(), [](const LoggedAction& a, const LoggedAction& b) {
      return a.time != b.time ? a.time < b.time : a.action < b.action;
    });
    return actions;
  }
  std::vector<std::string> loggedVideoActions() const {
    std::vector<std::string> actions;
    for (const auto& logged : loggedVideoActionsInTime()) actions.push_back(logged.action);
    return actions;
  }
  // Sends what is stored and waits until the endpoint acknowledged `type`
  // events for the ad and the store let go of every event.
  void expectAcknowledged(const std::vector<std::string>& types) {
    world_.clock().advance(0.5);
    for (const std::string& type : types) {
      EXPECT_TRUE(DisplayAdTestWorld::waitFor([&] {
        for (const auto& event : world_.server().logging().events()) {
          if (event.type == type && event.token == kFixtureToken && event.code == "1") return true;
        }
        return false;
      })) << type;
    }
    EXPECT_TRUE(DisplayAdTestWorld::waitFor([&] {
      DisplayAdTestWorld::settle();
      return readStoredEvents((caches_.path() / "events.sqlite").string()).empty();
    })) << "acknowledged events leave the store";
  }
};

TEST_F(InstreamEndToEndTest, TheFixtureAdPlaysToItsEndIsSeenOnceAndClicked) {
  const auto [ad, contentView] = startFixtureAd();
  ASSERT_TRUE(contentView);
  const auto& model = contentView->loadedDataModel;
  EXPECT_EQ(model->inlineClientToken(), kFixtureToken);
  EXPECT_EQ(model->videoURL()->absoluteString(), world_.server().baseURL() + "media/instream-30s.mp4");
  EXPECT_EQ(model->skippableSeconds(), 5.0);
  EXPECT_EQ(contentView->superview(), ad);
  ASSERT_TRUE(world_.waitForTrackerHits(1));
  EXPECT_TRUE(world_.trackerHit("instream-1-request").has_value());

  play(contentView, kProgressInterval, kVideoSeconds / 2);
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"loaded", "impression"}));

  // "Learn More": the call to action is a plain link, so the destination
  // opens.
  contentView->delegate()->contentViewDidClickthrough(contentView->self());
  DisplayAdTestWorld::settle();
  ASSERT_EQ(platform::Application::shared()->openedURLs().size(), 1u);
  EXPECT_EQ(platform::Application::shared()->openedURLs()[0].absoluteString(), "https://travel.plexora.test/islands");

  play(contentView, kVideoSeconds / 2 + kProgressInterval, kVideoSeconds);
  contentView->delegate()->contentViewDidEnd(contentView->self());
  contentView->delegate()->contentViewDidUnload(contentView->self());
  DisplayAdTestWorld::settle();
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"loaded", "impression", "click", "ended"}));
  EXPECT_TRUE(ad->subviews().empty());
  EXPECT_FALSE(ad->isAdValid());

  expectAcknowledged({"impression", "video"});
  EXPECT_EQ(world_.loggedEvents("impression", kFixtureToken).size(), 1u);
  // The viewable impression and the first progress, the MRC rule after two
  // seconds, then a report every five seconds, the last one at the end
  // (which leaves no stretch of its own to report).
  EXPECT_EQ(loggedVideoActions(), (std::vector<std::string>{"10", "16", "3", "2", "2", "2", "2", "2", "2"}));
}

TEST_F(InstreamEndToEndTest, ASkipEndsTheAdAndIsLoggedAsASkip) {
  const auto [ad, contentView] = startFixtureAd();
  ASSERT_TRUE(contentView);
  play(contentView, kProgressInterval, 6.0);
  contentView->delegate()->contentViewDidSkip(contentView->self());
  DisplayAdTestWorld::settle();
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"loaded", "impression", "ended"}));
  EXPECT_TRUE(ad->subviews().empty());

  expectAcknowledged({"impression", "video"});
  const auto actions = loggedVideoActionsInTime();
  const auto skips = std::count_if(actions.begin(), actions.end(), [](const auto& a) { return a.action == "1"; });
  ASSERT_EQ(skips, 1);
  const auto skip = std::find_if(actions.begin(), actions.end(), [](const auto& a) { return a.action == "1"; });
  // The skip's forced progress report is of the same moment.
  EXPECT_EQ(skip->time, actions.back().time) << "nothing of the ad is logged after its skip";
}

TEST_F(InstreamEndToEndTest, AFailureMidPlayReachesTheHostOnceAndTheEventsSoFarAreKept) {
  const auto [ad, contentView] = startFixtureAd();
  ASSERT_TRUE(contentView);
  play(contentView, kProgressInterval, 3.0);
  // The content view ends a video it cannot play with a network error.
  contentView->delegate()->contentView(contentView->self(), OVAdError::getNSError(kOVAdErrorCodeNetworkError));
  DisplayAdTestWorld::settle();
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"loaded", "impression", "error 1000"}));
  EXPECT_TRUE(ad->subviews().empty());
  EXPECT_FALSE(ad->isAdValid());
  EXPECT_FALSE(ad->showAdFromRootViewController(root_));

  expectAcknowledged({"impression", "video"});
  world_.clock().advance(60);
  DisplayAdTestWorld::runBriefly();
  EXPECT_EQ(delegate_->count("error 1000"), 1u);
  EXPECT_EQ(world_.server().adRequests().size(), 1u) << "a failed in-stream ad is not replaced";
}

}  // namespace
}  // namespace plexora::testing
