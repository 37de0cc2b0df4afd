// The library's own requests against the ad server: a candidate's trackers
// land among the server's tracker hits, and the event manager's batches are
// acknowledged (and retried) by the server's logging endpoint.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "AdServerTestSupport.h"
#include "dto/OVAdCandidate.h"
#include "dto/OVAdPlacement.h"
#include "platform/dispatch/MainLoop.h"
#include "tracking/OVAdEventManagerTestSupport.h"

namespace plexora::testing {
namespace {

using platform::Dictionary;
using platform::Value;

class AdServerTrackerTest : public AdServerTest {
 protected:
  AdServerTrackerTest() { OVAdSettings::setLogLevel(6); }

  // The main loop runs meanwhile: the shared session's user agent is
  // fetched there.
  bool waitForTrackerAnswers(std::size_t count) {
    return platform::MainLoop::instance().runUntil(
        [&] { return environment_.count("<verbose>] Internal request: ") >= count; }, kNetworkWaitSeconds);
  }
};

TEST_F(AdServerTrackerTest, ACandidatesTrackersReachTheServerOncePerType) {
  const auto response = std::dynamic_pointer_cast<OVAdProviderResponseAds>(parse(load("banner").body).response);
  ASSERT_TRUE(response);
  OVAdCandidate& candidate = *response->adPlacement()->adCandidates().at(0);

  candidate.fireTrackers(OVAdTrackerType::Request, Value(Dictionary{{"delay", 120}}));
  candidate.fireTrackers(OVAdTrackerType::Impression, Value());
  candidate.fireTrackers(OVAdTrackerType::Request, Value(Dictionary{{"delay", 240}}));
  ASSERT_TRUE(waitForTrackerAnswers(3));

  std::vector<std::string> names;
  for (const testserver::TrackerHit& hit : server_.trackerHits()) {
    names.push_back(hit.name);
    if (hit.name == "banner-1-request") {
      EXPECT_EQ(hit.query, (testserver::Fields{{"delay", "120"}}));
    }
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names,
            (std::vector<std::string>{"banner-1-impression", "banner-1-impression-partner", "banner-1-request"}));
}

class AdServerEventLoggingTest : public EventManagerTest {
 protected:
  void SetUp() override {
    EventManagerTest::SetUp();
    adServer_.start();
    manager_.reset();
    loggingBaseURL_ = adServer_.baseURL();
    manager_ = makeManager();
  }

  void awaitBatches(std::size_t count) {
    ASSERT_TRUE(adServer_.waitForRequests(count, std::chrono::seconds(10)));
    ASSERT_TRUE(platform::MainLoop::instance().runUntil([&] { return manager_->eventsInTransit().empty(); },
                                                        kNetworkWaitSeconds));
    ASSERT_TRUE(platform::DispatchQueue::settle(kNetworkWaitSeconds));
  }

  testserver::AdServer adServer_;
};

TEST_F(AdServerEventLoggingTest, AnEventIsKeptOnARetryCodeAndDeletedOnceAccepted) {
  log("ct-banner-1");
  const std::vector<std::string> ids = storedIds();
  ASSERT_EQ(ids.size(), 1u);
  adServer_.logging().scriptCodes(ids[0], {"0"});

  advance(0.5);
  awaitBatches(1);
  EXPECT_EQ(storedIds(), ids) << "a retry code keeps the event";

  // The retry: 5 s, then the immediate delay.
  advance(5.0);
  advance(0.5);
  awaitBatches(2);
  EXPECT_TRUE(stored().empty());
  EXPECT_TRUE(readStoredTokens(databasePath()).empty());

  const std::vector<testserver::AcknowledgedEvent> events = adServer_.logging().events();
  ASSERT_EQ(events.size(), 2u);
  for (const auto& event : events) {
    EXPECT_EQ(event.eventId, ids[0]);
    EXPECT_EQ(event.token, "ct-banner-1");
    EXPECT_EQ(event.type, "impression");
  }
  EXPECT_EQ(events[0].code, "0");
  EXPECT_EQ(events[1].code, "1");
  EXPECT_TRUE(server_.requests().empty()) << "nothing went to the fixture's own server";
}

}  // namespace
}  // namespace plexora::testing
