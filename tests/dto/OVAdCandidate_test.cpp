// An ad candidate's tracker URLs: how the server's list is read, and that
// each type is fired once per candidate (and once more per copy) against a
// loopback server.
#include "dto/OVAdCandidate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch/MainLoop.h"
#include "platform/value/Value.h"
#include "plexora/OVAdSettings.h"
#include "testserver/TestServer.h"
#include "util/SettingsTestEnvironment.h"
#include "support/TrackersByType.h"

namespace plexora {
namespace {

using namespace std::chrono_literals;
using platform::Array;
using platform::Dictionary;
using platform::Value;

Value tracker(Value type, Value url) { return Value(Dictionary{{"type", std::move(type)}, {"url", std::move(url)}}); }

class OVAdCandidateTest : public ::testing::Test {
 protected:
  OVAdCandidateTest() { OVAdSettings::setLogLevel(6); }

  testing::SettingsTestEnvironment environment_;
};

TEST_F(OVAdCandidateTest, TrackersAreGroupedByTypeInServerOrder) {
  const OVAdCandidate candidate("PX", Dictionary{{"ct", "token"}},
                                Value(Array{
                                    tracker("impression", "https://t.example/i1"),
                                    tracker("request", "https://t.example/r"),
                                    tracker("impression", "https://t.example/i2"),
                                    tracker("click", "https://t.example/c"),
                                }));
  EXPECT_EQ(candidate.adapterID(), "PX");
  EXPECT_EQ(candidate.data(), (Dictionary{{"ct", "token"}}));
  EXPECT_EQ(testing::trackersByType(candidate),
            (testing::TrackersByType{
                {OVAdTrackerType::Request, {"https://t.example/r"}},
                {OVAdTrackerType::Impression, {"https://t.example/i1", "https://t.example/i2"}},
                {OVAdTrackerType::Click, {"https://t.example/c"}},
            }));
}

TEST_F(OVAdCandidateTest, EntriesOfUnknownTypeAreDroppedAndLogged) {
  const OVAdCandidate candidate("PX", {},
                                Value(Array{
                                    tracker("view", "https://t.example/view"),
                                    tracker(Dictionary{}, "https://t.example/typeless"),
                                    Value(Dictionary{{"type", "view"}}),
                                    tracker("click", "https://t.example/good"),
                                }));
  EXPECT_EQ(testing::trackersByType(candidate),
            (testing::TrackersByType{{OVAdTrackerType::Click, {"https://t.example/good"}}}));
  EXPECT_TRUE(candidate.trackerURLs(OVAdTrackerType::Unknown).empty());
  EXPECT_EQ(environment_.count("<warn>] Unexpected tracker type: view"), 2U);
  EXPECT_EQ(environment_.count("<warn>] Unexpected tracker type: "), 3U) << "the typeless entry too";
}

TEST_F(OVAdCandidateTest, AnEntryThatIsNoObjectOrHasNoURLTextFailsTheCandidate) {
  const struct {
    const char* name;
    Value entry;
  } cases[] = {
      {"a string", Value("https://t.example/not-an-object")},
      {"null", Value()},
      {"an array", Value(Array{tracker("click", "https://t.example/c")})},
      {"no url", Value(Dictionary{{"type", "click"}})},
      {"a null url", tracker("impression", Value())},
      {"a number url", tracker("request", 7)},
      {"an array url", tracker("click", Array{"https://t.example/c"})},
  };
  for (const auto& c : cases) {
    const Value trackers(Array{tracker("click", "https://t.example/good"), c.entry});
    EXPECT_THROW(OVAdCandidate("PX", {}, trackers), std::invalid_argument) << c.name;
  }
}

TEST_F(OVAdCandidateTest, TrackersThatAreNoArrayGiveNone) {
  for (const Value& trackers : {Value(), Value("x"), Value(Dictionary{{"type", "click"}, {"url", "https://t/c"}})}) {
    EXPECT_TRUE(testing::trackersByType(OVAdCandidate("PX", {}, trackers)).empty());
  }
}

TEST_F(OVAdCandidateTest, TrackerTypeTexts) {
  EXPECT_EQ(OVAdCandidate::trackerTypeFromString("request"), OVAdTrackerType::Request);
  EXPECT_EQ(OVAdCandidate::trackerTypeFromString("impression"), OVAdTrackerType::Impression);
  EXPECT_EQ(OVAdCandidate::trackerTypeFromString("click"), OVAdTrackerType::Click);
  EXPECT_EQ(OVAdCandidate::trackerTypeFromString("Click"), OVAdTrackerType::Unknown);
  EXPECT_EQ(OVAdCandidate::trackerTypeFromString(""), OVAdTrackerType::Unknown);
}

// Firing against a loopback server. The main loop runs while waiting: the
// shared URL session fetches its user agent there before it sends anything.
class OVAdCandidateFiringTest : public OVAdCandidateTest {
 protected:
  OVAdCandidateFiringTest() {
    server_.start();
    // The shared session outlives the server: no connection is kept open
    // for the server to wait out when it stops.
    testserver::Response noContent = testserver::Response::text(204, "");
    noContent.headers.emplace_back("Connection", "close");
    server_.on("/", noContent, testserver::Match::Prefix);
  }

  std::shared_ptr<OVAdCandidate> candidateWithTrackers() {
    return std::make_shared<OVAdCandidate>(
        "PX", Dictionary{},
        Value(Array{
            tracker("request", server_.url("request/1")),
            tracker("impression", server_.url("impression/1")),
            tracker("request", "not a url"),
            tracker("impression", server_.url("impression/2")),
        }));
  }

  // Waits until `count` tracker requests completed, then a little longer
  // so that any extra request would have arrived too.
  void waitForCompletedRequests(std::size_t count) {
    ASSERT_TRUE(platform::MainLoop::instance().runUntil(
        [&] { return environment_.count("<verbose>] Internal request: ") >= count; }, 10.0));
    platform::MainLoop::instance().runUntil([] { return false; }, 0.2);
  }

  std::vector<std::string> requestedPaths() const {
    std::vector<std::string> paths;
    for (const testserver::RecordedRequest& request : server_.requests()) {
      paths.push_back(request.path + (request.query.empty() ? "" : "?" + request.query));
    }
    std::sort(paths.begin(), paths.end());
    return paths;
  }

  testserver::TestServer server_;
};

TEST_F(OVAdCandidateFiringTest, EachTypeFiresOnceWithTheExtraData) {
  const auto candidate = candidateWithTrackers();
  candidate->fireTrackers(OVAdTrackerType::Impression, Value());
  candidate->fireTrackers(OVAdTrackerType::Request, Value(Dictionary{{"delay", 120}}));
  candidate->fireTrackers(OVAdTrackerType::Impression, Value());
  candidate->fireTrackers(OVAdTrackerType::Request, Value(Dictionary{{"delay", 999}}));
  waitForCompletedRequests(3);

  EXPECT_EQ(requestedPaths(),
            (std::vector<std::string>{"/impression/1", "/impression/2", "/request/1?delay=120"}));
  EXPECT_TRUE(candidate->hasFiredTrackers(OVAdTrackerType::Request));
  EXPECT_TRUE(candidate->hasFiredTrackers(OVAdTrackerType::Impression));
  EXPECT_FALSE(candidate->hasFiredTrackers(OVAdTrackerType::Click));
}

TEST_F(OVAdCandidateFiringTest, ATypeWithoutURLsCountsAsFired) {
  const auto candidate = candidateWithTrackers();
  candidate->fireTrackers(OVAdTrackerType::Click, Value());
  EXPECT_TRUE(candidate->hasFiredTrackers(OVAdTrackerType::Click));
  EXPECT_TRUE(server_.requests().empty());
}

TEST_F(OVAdCandidateFiringTest, RacingThreadsFireEachTypeOnce) {
  const auto candidate = candidateWithTrackers();
  std::vector<std::thread> threads;
  for (int index = 0; index < 8; ++index) {
    threads.emplace_back([&candidate] {
      candidate->fireTrackers(OVAdTrackerType::Request, Value());
      candidate->fireTrackers(OVAdTrackerType::Impression, Value());
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  waitForCompletedRequests(3);
  EXPECT_EQ(requestedPaths(), (std::vector<std::string>{"/impression/1", "/impression/2", "/request/1"}));
}

TEST_F(OVAdCandidateFiringTest, ACopyFiresAgainAndLeavesTheOriginalAsItWas) {
  const auto original = candidateWithTrackers();
  original->fireTrackers(OVAdTrackerType::Request, Value());
  waitForCompletedRequests(1);

  const auto copy = original->copy();
  EXPECT_EQ(copy->adapterID(), original->adapterID());
  EXPECT_EQ(testing::trackersByType(*copy), testing::trackersByType(*original));
  EXPECT_FALSE(copy->hasFiredTrackers(OVAdTrackerType::Request));
  copy->fireTrackers(OVAdTrackerType::Request, Value());
  waitForCompletedRequests(2);

  EXPECT_EQ(requestedPaths(), (std::vector<std::string>{"/request/1", "/request/1"}));
  EXPECT_FALSE(original->hasFiredTrackers(OVAdTrackerType::Impression));
  EXPECT_TRUE(copy->hasFiredTrackers(OVAdTrackerType::Request));
}

}  // namespace
}  // namespace plexora
