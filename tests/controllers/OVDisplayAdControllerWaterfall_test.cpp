// The controller's waterfall against the loopback ad server on the manual
// clock: candidates in order, the whole-second adapter timeout, the
// request trackers of each started adapter, retries up to the client
// maximum, missing adapter classes, and reports of adapters that are no
// longer in play.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controllers/OVDisplayAdControllerTestSupport.h"
#include "util/OVAdError.h"

namespace plexora::testing {
namespace {

using platform::Dictionary;
using platform::Error;

Error partnerError() { return Error("com.partner", 7, Dictionary{{platform::kLocalizedDescriptionKey, "partner failed"}}); }

std::string candidateData(const std::string& token) { return R"({"ct":")" + token + R"("})"; }

TEST_F(DisplayAdControllerTest, CandidatesRunInOrderAndEachStartedAdapterFiresItsRequestTrackersOnce) {
  answer({{"PX", candidateData("ct-1"), "c1-request"},
          {"ADMOB", candidateData("ct-2"), "c2-request"},
          {"PX", candidateData("ct-3"), "c3-request"}},
         R"("request_timeout": 1999, "client_max_retry_count": 0, "refresh": 0)");
  loadBanner();

  const auto first = adapterAt(px_, 0);
  ASSERT_TRUE(first);
  ASSERT_EQ(first->loads.size(), 1u);
  EXPECT_EQ(first->loads[0].adData.find("ct")->text(), "ct-1");
  // No placement size in the answer: the unit's own size.
  EXPECT_EQ(first->loads[0].size, kOVAdSize320x50);
  EXPECT_EQ(first->loads[0].placement, kPlacement);
  world_.clock().advance(0.25);
  first->failLoad(partnerError());

  // The second candidate's adapter times out after 1999 ms truncated to one
  // whole second.
  ASSERT_EQ(admob_->adapters.size(), 1u);
  const auto second = admob_->adapters[0];
  EXPECT_EQ(second->loads.at(0).adData.find("ct")->text(), "ct-2");
  world_.clock().advance(0.999);
  EXPECT_EQ(px_->adapters.size(), 1u);
  world_.clock().advance(0.001);
  ASSERT_EQ(px_->adapters.size(), 2u);
  const auto third = px_->adapters[1];
  EXPECT_EQ(third->loads.at(0).adData.find("ct")->text(), "ct-3");
  finishWithView(*third);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(log_->messages, (std::vector<std::string>{"loaded", "presented"}));

  // Late reports of the failed and the timed-out adapter change nothing.
  second->finishLoad();
  first->failLoad(partnerError());
  third->finishLoad();
  DisplayAdTestWorld::settle();
  EXPECT_EQ(log_->messages, (std::vector<std::string>{"loaded", "presented"}));

  ASSERT_TRUE(world_.waitForTrackerHits(3));
  DisplayAdTestWorld::runBriefly();
  EXPECT_EQ(world_.server().trackerHits().size(), 3u);
  const auto failed = world_.trackerHit("c1-request");
  ASSERT_TRUE(failed);
  EXPECT_EQ(field(*failed, "delay"), "250");
  EXPECT_EQ(field(*failed, "error"), "7");
  EXPECT_NE(field(*failed, "msg").find("partner failed"), std::string::npos);
  EXPECT_NE(field(*failed, "msg").find("com.partner"), std::string::npos);
  const auto timedOut = world_.trackerHit("c2-request");
  ASSERT_TRUE(timedOut);
  EXPECT_EQ(field(*timedOut, "delay"), "1000");
  EXPECT_EQ(field(*timedOut, "error"), "2001");
  EXPECT_NE(field(*timedOut, "msg").find("Adapter timeout: FakeDisplayAdAdapter"), std::string::npos);
  const auto loaded = world_.trackerHit("c3-request");
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->query, (testserver::Fields{{"delay", "0"}}));
}

struct TimeoutCase {
  std::int64_t requestTimeoutMilliseconds;
  double firesAfterSeconds;
};

class DisplayAdControllerTimeoutTest : public DisplayAdControllerTest,
                                       public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(DisplayAdControllerTimeoutTest, TheAdapterTimesOutAfterTheTimeoutInTruncatedWholeSeconds) {
  answer({{"PX"}}, R"("client_max_retry_count": 0, "request_timeout": )" +
                       std::to_string(GetParam().requestTimeoutMilliseconds));
  loadBanner();
  ASSERT_TRUE(adapterAt(px_, 0));
  if (GetParam().firesAfterSeconds > 0) {
    world_.clock().advance(GetParam().firesAfterSeconds - 0.001);
    DisplayAdTestWorld::settle();
    EXPECT_TRUE(log_->errors.empty());
  }
  world_.clock().advance(0.001);
  DisplayAdTestWorld::settle();
  ASSERT_EQ(log_->errors.size(), 1u);
  EXPECT_EQ(log_->errors[0].code(), kOVAdErrorCodeInternalError);
  EXPECT_EQ(log_->errors[0].localizedDescription(), "Adapter timeout: FakeDisplayAdAdapter");
}

INSTANTIATE_TEST_SUITE_P(Timeouts, DisplayAdControllerTimeoutTest,
                         ::testing::Values(TimeoutCase{999, 0.0}, TimeoutCase{1999, 1.0}, TimeoutCase{10000, 10.0}));

class DisplayAdControllerRetryTest : public DisplayAdControllerTest,
                                     public ::testing::WithParamInterface<std::int64_t> {};

TEST_P(DisplayAdControllerRetryTest, AnExhaustedListIsRequestedAgainUpToTheClientMaximumThenTheLastErrorIsReported) {
  const std::int64_t maximum = GetParam();
  answer({{"PX"}}, R"("placement_width": -1, "placement_height": 50, "client_max_retry_count": )" +
                       std::to_string(maximum));
  loadBanner();
  for (std::int64_t pass = 0; pass <= maximum; ++pass) {
    const auto adapter = adapterAt(px_, static_cast<std::size_t>(pass));
    ASSERT_TRUE(adapter) << "pass " << pass;
    // A placement size the answer gives is passed on as it is.
    EXPECT_EQ(adapter->loads.at(0).size, kOVAdSizeHeight50Banner);
    adapter->failLoad(Error("com.partner", 100 + pass));
  }
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return !log_->errors.empty(); }));
  DisplayAdTestWorld::runBriefly();
  EXPECT_EQ(requests(), static_cast<std::size_t>(maximum + 1));
  EXPECT_EQ(px_->adapters.size(), static_cast<std::size_t>(maximum + 1));
  ASSERT_EQ(log_->errors.size(), 1u);
  EXPECT_EQ(log_->errors[0].code(), 100 + maximum);
}

INSTANTIATE_TEST_SUITE_P(MaximumRetries, DisplayAdControllerRetryTest, ::testing::Values(0, 2));

TEST_F(DisplayAdControllerTest, AMissingAdapterClassAtTheEndOfTheListEndsThePassOnceAndFiresNoTrackers) {
  answer({{"PX", candidateData("ct-1"), "c1-request"}, {"NOPE", candidateData("ct-2"), "missing-request"}},
         R"("client_max_retry_count": 1)");
  loadBanner();
  const auto first = adapterAt(px_, 0);
  ASSERT_TRUE(first);
  first->failLoad(partnerError());
  // One retry, not a retry and an error for the same exhausted list.
  const auto retried = adapterAt(px_, 1);
  ASSERT_TRUE(retried);
  DisplayAdTestWorld::settle();
  EXPECT_TRUE(log_->errors.empty());
  retried->failLoad(partnerError());
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return !log_->errors.empty(); }));
  DisplayAdTestWorld::runBriefly();

  EXPECT_EQ(requests(), 2u);
  ASSERT_EQ(log_->errors.size(), 1u);
  EXPECT_EQ(log_->errors[0].code(), kOVAdErrorCodeInternalError);
  EXPECT_EQ(log_->errors[0].localizedDescription(), "Failed to locate NOPE adapter");
  ASSERT_TRUE(world_.waitForTrackerHits(2));
  DisplayAdTestWorld::runBriefly();
  for (const auto& hit : world_.server().trackerHits()) {
    EXPECT_EQ(hit.name, "c1-request");
  }
}

TEST_F(DisplayAdControllerTest, AMissingAdapterClassInTheMiddleMovesOnToTheNextCandidate) {
  answer({{"NOPE", candidateData("ct-1"), "missing-request"}, {"PX", candidateData("ct-2"), "c2-request"}},
         R"("client_max_retry_count": 0)");
  loadBanner();
  const auto adapter = adapterAt(px_, 0);
  ASSERT_TRUE(adapter);
  EXPECT_EQ(adapter->loads.at(0).adData.find("ct")->text(), "ct-2");
  finishWithView(*adapter);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(log_->messages, (std::vector<std::string>{"loaded", "presented"}));
  ASSERT_TRUE(world_.waitForTrackerHits(1));
  DisplayAdTestWorld::runBriefly();
  ASSERT_EQ(world_.server().trackerHits().size(), 1u);
  EXPECT_EQ(world_.server().trackerHits()[0].name, "c2-request");
}

TEST_F(DisplayAdControllerTest, AMissingAdapterClassFiresNoTrackersEvenAfterAnAdapterWasDroppedInFlight) {
  answer({{"PX", candidateData("ct-1"), "c1-request"}}, R"("client_max_retry_count": 0, "request_timeout": 60000)");
  loadBanner();
  ASSERT_TRUE(adapterAt(px_, 0));
  // The adapter in flight is dropped by the refresh before it reported.
  world_.clock().advance(21.0);
  answer({{"NOPE", candidateData("ct-2"), "missing-request"}, {"PX", candidateData("ct-3"), "c3-request"}},
         R"("client_max_retry_count": 0)");
  controller_->refresh();
  const auto next = adapterAt(px_, 1);
  ASSERT_TRUE(next);
  finishWithView(*next);
  ASSERT_TRUE(world_.waitForTrackerHits(1));
  DisplayAdTestWorld::runBriefly();
  ASSERT_EQ(world_.server().trackerHits().size(), 1u);
  EXPECT_EQ(world_.server().trackerHits()[0].name, "c3-request");
}

TEST_F(DisplayAdControllerTest, ReportsOfAnAdapterNoLongerInPlayAreIgnoredAndNeverRaise) {
  answer({{"PX"}, {"PX"}}, R"("request_timeout": 1000, "client_max_retry_count": 0, "refresh": 0)");
  loadBanner();
  const auto timedOut = adapterAt(px_, 0);
  ASSERT_TRUE(timedOut);
  world_.clock().advance(1.0);
  ASSERT_EQ(px_->adapters.size(), 2u);

  // Nothing was delivered yet, so these would have met the not-loaded check.
  const std::vector<std::function<void(FakeDisplayAdAdapter&)>> reports = {
      [](FakeDisplayAdAdapter& a) { a.click(platform::URL::parse("https://shop.example/"), true); },
      [](FakeDisplayAdAdapter& a) { a.logImpression(); },
      [](FakeDisplayAdAdapter& a) { a.finishClick(); },
      [](FakeDisplayAdAdapter& a) { a.willUnload(); },
      [](FakeDisplayAdAdapter& a) { a.didUnload(); },
      [](FakeDisplayAdAdapter& a) { a.complete(); },
      [](FakeDisplayAdAdapter& a) { a.rewardSucceeded(); },
      [](FakeDisplayAdAdapter& a) { a.rewardFailed(); },
      [](FakeDisplayAdAdapter& a) { a.finishLoad(); },
      [](FakeDisplayAdAdapter& a) { a.failLoad(partnerError()); },
  };
  for (const auto& report : reports) {
    EXPECT_NO_THROW(report(*timedOut));
  }
  DisplayAdTestWorld::settle();
  EXPECT_TRUE(log_->messages.empty());

  // A replaced current adapter is ignored too.
  const auto shown = px_->adapters[1];
  finishWithView(*shown);
  DisplayAdTestWorld::settle();
  // Past the banner's load throttle.
  world_.clock().advance(21.0);
  controller_->refresh();
  const auto replacement = adapterAt(px_, 2);
  ASSERT_TRUE(replacement);
  finishWithView(*replacement);
  DisplayAdTestWorld::settle();
  log_->messages.clear();
  shown->setDelegate(controller_);
  for (const auto& report : reports) {
    EXPECT_NO_THROW(report(*shown));
  }
  DisplayAdTestWorld::settle();
  EXPECT_TRUE(log_->messages.empty());
}

}  // namespace
}  // namespace plexora::testing
