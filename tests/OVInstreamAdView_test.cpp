// The in-stream ad against the loopback ad server with the own adapter, the
// library's video ad controller and a content view double: one load, one
// start after the load, the ad's view in the in-stream view while it plays,
// and the end, a skip, a click and failures as the host hears them.
#include "plexora/OVInstreamAdView.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "InstreamTestSupport.h"
#include "controllers/OVDisplayAdController.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/device/NetworkReachability.h"
#include "platform/foundation/Exception.h"
#include "plexora/OVAdErrorDomain.h"
#include "util/OVAdError.h"

namespace plexora::testing {
namespace {

using OVInstreamAdViewTest = InstreamTest;

TEST_F(OVInstreamAdViewTest, ANilPlacementRaisesAndAnyOtherGivesAnEmptyClippingView) {
  try {
    OVInstreamAdView::initWithPlacementID(std::nullopt);
    ADD_FAILURE() << "no exception";
  } catch (const platform::Exception& exception) {
    EXPECT_EQ(exception.name(), platform::kInvalidArgumentException);
    EXPECT_EQ(exception.reason(), "placementID cannot be nil");
  }
  const auto ad = OVInstreamAdView::initWithFrame(platform::Rect(5, 5, 100, 100));
  EXPECT_EQ(ad->placementID(), "");
  EXPECT_EQ(ad->frame(), platform::Rect());
  EXPECT_TRUE(ad->clipsToBounds());
  EXPECT_FALSE(ad->isAdValid());
  EXPECT_FALSE(ad->showAdFromRootViewController(root_)) << "nothing loaded";
}

TEST_F(OVInstreamAdViewTest, AViewLoadsOnceAsAnInstreamPlacementWithoutRefresh) {
  answer({{"PX", instreamAdData("ct-a")}}, R"("refresh": 30)");
  const auto ad = placeAd();
  const auto contentView = loadAd(ad);
  ASSERT_TRUE(contentView);
  EXPECT_EQ(delegate_->messages, std::vector<std::string>{"loaded"});
  EXPECT_TRUE(ad->isAdValid());
  EXPECT_TRUE(ad->isLoaded());
  EXPECT_FALSE(ad->isStarted());
  EXPECT_TRUE(ad->subviews().empty()) << "nothing is shown before the start";

  ad->loadAd();
  world_.clock().advance(30);
  DisplayAdTestWorld::runBriefly();
  const auto requests = world_.server().adRequests();
  ASSERT_EQ(requests.size(), 1u) << "a second load and the server's refresh request nothing";
  const auto field = [&](const std::string& name) {
    for (const auto& [key, value] : requests[0].formFields()) {
      if (key == name) return value;
    }
    return std::string();
  };
  EXPECT_EQ(field("PLACEMENT_ID"), kPlacement);
  EXPECT_EQ(field("TEMPLATE_ID"), "300");
}

TEST_F(OVInstreamAdViewTest, TheLoadedAdStartsOnceAndItsViewFillsTheInstreamView) {
  answer({{"PX", instreamAdData("ct-a")}});
  const auto ad = placeAd();
  const auto contentView = loadAd(ad);
  ASSERT_TRUE(contentView);

  EXPECT_TRUE(ad->showAdFromRootViewController(root_));
  DisplayAdTestWorld::settle();
  ASSERT_EQ(contentView->startedFrom.size(), 1u);
  EXPECT_EQ(contentView->startedFrom[0]->currentViewController(), root_);
  EXPECT_EQ(contentView->superview(), ad);
  EXPECT_EQ(ad->instreamVideoAdView(), contentView);
  EXPECT_EQ(contentView->frame(), platform::Rect(0, 0, 320, 180));
  EXPECT_TRUE(ad->isStarted());

  EXPECT_FALSE(ad->showAdFromRootViewController(root_)) << "started before";
  ad->setFrame(platform::Rect(0, 100, 640, 360));
  EXPECT_EQ(contentView->frame(), platform::Rect(0, 0, 640, 360)) << "the ad's view follows the in-stream view";
  EXPECT_EQ(contentView->startedFrom.size(), 1u);
}

TEST_F(OVInstreamAdViewTest, TheEndAndASkipTakeTheAdAwayAndEndIt) {
  for (const bool skip : {false, true}) {
    SCOPED_TRACE(skip ? "skip" : "end");
    contentViews_->clear();
    delegate_->messages.clear();
    // A placement each, out of the reach of the other's load throttle.
    const std::string placement = skip ? "instream-skip" : "instream-end";
    world_.server().setAnswer(placement, DisplayAdTestWorld::answer({{"PX", instreamAdData("ct-a")}}, ""));
    const auto ad = placeAd(placement);
    const auto contentView = loadAd(ad);
    ASSERT_TRUE(contentView);
    ASSERT_TRUE(ad->showAdFromRootViewController(root_));
    DisplayAdTestWorld::settle();
    playTo(contentView, 1.0);
    if (skip) {
      contentView->delegate()->contentViewDidSkip(contentView->self());
    } else {
      contentView->delegate()->contentViewDidEnd(contentView->self());
      contentView->delegate()->contentViewDidUnload(contentView->self());
    }
    DisplayAdTestWorld::settle();
    EXPECT_EQ(delegate_->messages.back(), "ended");
    EXPECT_EQ(delegate_->count("ended"), 1u);
    EXPECT_TRUE(ad->subviews().empty());
    EXPECT_EQ(ad->instreamVideoAdView(), nullptr);
    EXPECT_FALSE(ad->isAdValid());
    EXPECT_FALSE(ad->showAdFromRootViewController(root_));
  }
}

TEST_F(OVInstreamAdViewTest, AVideoFailureWhileTheAdPlaysReachesTheHostAndTakesTheAdAway) {
  answer({{"PX", instreamAdData("ct-a")}});
  const auto ad = placeAd();
  const auto contentView = loadAd(ad);
  ASSERT_TRUE(contentView);
  ASSERT_TRUE(ad->showAdFromRootViewController(root_));
  DisplayAdTestWorld::settle();
  playTo(contentView, 2.0);

  contentView->delegate()->contentView(contentView->self(), OVAdError::getNSError(kOVAdErrorCodeNetworkError));
  DisplayAdTestWorld::settle();
  EXPECT_EQ(delegate_->messages.back(), "error 1000");
  EXPECT_TRUE(ad->subviews().empty());
  EXPECT_FALSE(ad->isAdValid());
}

// After its end or its failure an ad is done: whatever the content view
// reports late (a failure, another end, an unload) stays from the host.
TEST_F(OVInstreamAdViewTest, AnAdEndsOrFailsOnceWhateverComesLate) {
  enum class Report { kEnd, kFailure, kSkip };
  struct Case {
    const char* name;
    std::vector<Report> reports;
    std::string outcome;
  };
  const std::vector<Case> cases = {
      {"end, then a failure and another end", {Report::kEnd, Report::kFailure, Report::kEnd}, "ended"},
      {"failure, then an end", {Report::kFailure, Report::kEnd}, "error 1000"},
      {"failure, then a second failure and a skip", {Report::kFailure, Report::kFailure, Report::kSkip}, "error 1000"},
      {"skip, then a failure", {Report::kSkip, Report::kFailure}, "ended"},
  };
  int index = 0;
  for (const auto& [name, reports, outcome] : cases) {
    SCOPED_TRACE(name);
    contentViews_->clear();
    delegate_->messages.clear();
    // A placement each, out of the reach of the others' load throttle.
    const std::string placement = "instream-once-" + std::to_string(index++);
    world_.server().setAnswer(placement, DisplayAdTestWorld::answer({{"PX", instreamAdData("ct-a")}}, ""));
    const auto ad = placeAd(placement);
    const auto contentView = loadAd(ad);
    ASSERT_TRUE(contentView);
    ASSERT_TRUE(ad->showAdFromRootViewController(root_));
    DisplayAdTestWorld::settle();
    playTo(contentView, 1.0);
    const std::size_t before = delegate_->messages.size();
    for (const Report report : reports) {
      const auto delegate = contentView->delegate();
      ASSERT_TRUE(delegate);
      switch (report) {
        case Report::kEnd:
          delegate->contentViewDidEnd(contentView->self());
          delegate->contentViewDidUnload(contentView->self());
          break;
        case Report::kFailure:
          delegate->contentView(contentView->self(), OVAdError::getNSError(kOVAdErrorCodeNetworkError));
          break;
        case Report::kSkip:
          delegate->contentViewDidSkip(contentView->self());
          break;
      }
      DisplayAdTestWorld::settle();
    }
    const std::vector<std::string> after(delegate_->messages.begin() + static_cast<std::ptrdiff_t>(before),
                                         delegate_->messages.end());
    EXPECT_EQ(after, std::vector<std::string>{outcome});
    EXPECT_TRUE(ad->subviews().empty());
    EXPECT_FALSE(ad->isAdValid());
  }
}

TEST_F(OVInstreamAdViewTest, AClickThroughReachesTheHost) {
  answer({{"PX", instreamAdData("ct-a")}});
  const auto ad = placeAd();
  const auto contentView = loadAd(ad);
  ASSERT_TRUE(contentView);
  ASSERT_TRUE(ad->showAdFromRootViewController(root_));
  DisplayAdTestWorld::settle();
  contentView->delegate()->contentViewDidClickthrough(contentView->self());
  DisplayAdTestWorld::settle();
  EXPECT_EQ(delegate_->count("click"), 1u);
  ASSERT_EQ(platform::Application::shared()->openedURLs().size(), 1u);
  EXPECT_EQ(platform::Application::shared()->openedURLs()[0].absoluteString(), "https://shop.plexora.test/spring");
}

TEST_F(OVInstreamAdViewTest, AShowWhileOfflineFailsAndLeavesNoAdToStart) {
  answer({{"PX", instreamAdData("ct-a")}});
  const auto ad = placeAd();
  const auto contentView = loadAd(ad);
  ASSERT_TRUE(contentView);
  world_.environment().updateProfile([](platform::DeviceProfile& profile) { profile.reachabilityFlags = 0; });
  EXPECT_FALSE(ad->showAdFromRootViewController(root_));
  DisplayAdTestWorld::settle();
  EXPECT_TRUE(contentView->startedFrom.empty());
  EXPECT_EQ(delegate_->messages.at(1), "error 1000");
  EXPECT_FALSE(ad->isAdValid());
  EXPECT_TRUE(ad->subviews().empty());
}

TEST_F(OVInstreamAdViewTest, InvalidAdDataAndAnEmptyAnswerFailTheLoad) {
  answer({{"PX", R"({"ct":"ct-a","video":{"videoURL":"https://cdn.plexora.test/ad.mp4"}})"}},
         R"("client_max_retry_count": 0)");
  const auto invalid = placeAd();
  invalid->loadAd();
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return !delegate_->messages.empty(); }));
  EXPECT_EQ(delegate_->messages, std::vector<std::string>{"error 1001"});
  EXPECT_FALSE(invalid->isAdValid());
  EXPECT_FALSE(invalid->showAdFromRootViewController(root_));

  delegate_->messages.clear();
  const auto empty = placeAd("no_fill");
  empty->loadAd();
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return !delegate_->messages.empty(); }));
  EXPECT_EQ(delegate_->messages, std::vector<std::string>{"error 1001"});
}

}  // namespace
}  // namespace plexora::testing
