// The ad server over HTTP: loads answered by placement (fixtures, answers
// set by the test, the built-in faults), tracker hits recorded, and event
// batches acknowledged by identifier.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AdServerTestSupport.h"
#include "dto/OVAdBidPayload.h"
#include "dto/OVAdCandidate.h"
#include "dto/OVAdPlacement.h"
#include "support/TrackersByType.h"

namespace plexora::testing {
namespace {

using namespace std::chrono_literals;
using platform::Dictionary;
using platform::Value;
using testserver::AcknowledgedEvent;
using testserver::AdAnswer;

// What the parser makes of a body, in a line a table can name.
std::string outcomeOf(const std::string& body) {
  const ParseOutcome outcome = parse(body);
  if (!outcome.response) return "parse error: " + outcome.error.value_or("");
  if (const auto error = std::dynamic_pointer_cast<OVAdProviderResponseError>(outcome.response)) {
    return "error " + std::to_string(error->errorCode()) + " " + error->errorMessage();
  }
  if (const auto ads = std::dynamic_pointer_cast<OVAdProviderResponseAds>(outcome.response)) {
    return "ads " + std::to_string(ads->adPlacement()->code()) + " with " +
           std::to_string(ads->adPlacement()->adCandidates().size()) + " candidates";
  }
  return "unknown";
}

std::shared_ptr<OVAdPlacement> placementOf(const std::string& body) {
  const auto ads = std::dynamic_pointer_cast<OVAdProviderResponseAds>(parse(body).response);
  return ads ? ads->adPlacement() : nullptr;
}

std::string field(const testserver::Fields& fields, const std::string& name) {
  for (const auto& [key, value] : fields) {
    if (key == name) return value;
  }
  return "(absent)";
}

TEST_F(AdServerTest, ALoadGetsTheFixtureOfItsPlacementWithTrackersAtTheServer) {
  const Reply reply = load("banner");
  ASSERT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body, server_.bodyOf(AdAnswer::fixture("banner")));

  const auto placement = placementOf(reply.body);
  ASSERT_TRUE(placement);
  ASSERT_EQ(placement->adCandidates().size(), 3u);
  for (const auto& candidate : placement->adCandidates()) {
    for (const auto& [type, urls] : trackersByType(*candidate)) {
      for (const std::string& url : urls) EXPECT_TRUE(url.starts_with(server_.baseURL() + "trackers/")) << url;
    }
  }

  const std::vector<testserver::RecordedRequest> loads = server_.adRequests();
  ASSERT_EQ(loads.size(), 1u);
  EXPECT_EQ(field(loads[0].formFields(), "PLACEMENT_ID"), "banner");
  EXPECT_EQ(field(loads[0].formFields(), "TEMPLATE_ID"), "4");
}

TEST_F(AdServerTest, SpecialPlacementsAnswerWithErrorsNoFillAndBrokenBodies) {
  struct Case {
    std::optional<std::string> placement;  // none: a load without the field
    std::optional<long> status;            // none: no HTTP answer
    std::string outcome;                   // what the parser makes of the body
  };
  const std::vector<Case> cases = {
      {"error_with_code", 200, "error 1001 No ads available for this placement"},
      {"error_without_code", 200, "error 2000 Invalid placement"},
      {"no_fill", 200, "ads 0 with 0 candidates"},
      {"no_fill_code", 200, "ads 1001 with 0 candidates"},
      {"wrong_types", 200, "unknown"},
      {"ad_not_object", 200, "parse error: Unknown error while parsing ad responses: "},
      {testserver::kNotJSONPlacement, 200, "parse error: Failed to parse JSON string, code="},
      {testserver::kTruncatedPlacement, 200, "parse error: Failed to parse JSON string, code="},
      {testserver::kServerFailurePlacement, 500, "error 2000 Internal server error"},
      {testserver::kDroppedPlacement, std::nullopt, ""},
      {"no_such_placement", 200, "error 2000 Unknown placement"},
      // A placement identifier never reaches outside the fixture directory.
      {"../fixtures/banner", 200, "error 2000 Unknown placement"},
      {std::nullopt, 200, "error 2000 Unknown placement"},
  };
  for (const Case& item : cases) {
    SCOPED_TRACE(item.placement.value_or("(no placement)"));
    const Reply reply =
        item.placement ? load(*item.placement) : post(server_.adURL(), Dictionary{{"TEMPLATE_ID", "4"}});
    EXPECT_EQ(reply.status, item.status);
    if (item.status) {
      EXPECT_TRUE(outcomeOf(reply.body).starts_with(item.outcome)) << outcomeOf(reply.body);
    }
  }
}

TEST_F(AdServerTest, OneShotAnswersComeFirstThenSetAnswersThenFixtures) {
  server_.setAnswer("native", AdAnswer::noFill());
  server_.enqueueAnswer("native", AdAnswer::error(1002, "Too frequent"));
  server_.enqueueAnswer("native", AdAnswer::error(std::nullopt, "Try later"));

  EXPECT_EQ(outcomeOf(load("native").body), "error 1002 Too frequent");
  EXPECT_EQ(outcomeOf(load("native").body), "error 2000 Try later");
  EXPECT_EQ(outcomeOf(load("native").body), "ads 0 with 0 candidates");
  EXPECT_EQ(outcomeOf(load("native").body), "ads 0 with 0 candidates");
  // Another placement is not affected.
  EXPECT_EQ(outcomeOf(load("banner").body), "ads 0 with 3 candidates");

  server_.resetAnswers();
  EXPECT_EQ(outcomeOf(load("native").body), "ads 0 with 2 candidates");
}

TEST_F(AdServerTest, AnAnswerCanBeDelayedAndSentWithAnotherStatus) {
  server_.setAnswer("interstitial", AdAnswer::fixture("interstitial").delayed(300ms));
  const Reply slow = load("interstitial");
  EXPECT_EQ(slow.status, 200);
  EXPECT_GE(slow.elapsed, 300ms);
  EXPECT_EQ(outcomeOf(slow.body), "ads 0 with 1 candidates");

  server_.setAnswer("interstitial", AdAnswer::error(2000, "Maintenance").withStatus(503));
  const Reply unavailable = load("interstitial");
  EXPECT_EQ(unavailable.status, 503);
  EXPECT_EQ(outcomeOf(unavailable.body), "error 2000 Maintenance");
}

TEST_F(AdServerTest, TheEndpointsTakeOnlyPosts) {
  EXPECT_EQ(get(server_.adURL()).status, 405);
  EXPECT_EQ(get(server_.loggingURL()).status, 405);
  EXPECT_TRUE(server_.logging().events().empty());
}

TEST_F(AdServerTest, TrackerHitsAreRecordedByNameWithTheirExtraData) {
  const auto placement = placementOf(load("banner").body);
  ASSERT_TRUE(placement);
  const auto& urls = placement->adCandidates()[0]->trackerURLs(OVAdTrackerType::Request);
  ASSERT_EQ(urls.size(), 1u);

  EXPECT_EQ(get(urls[0] + "?delay=120&error=1000&msg=Network%20Error").status, 200);
  EXPECT_EQ(get(server_.trackerURL("banner-1-impression")).status, 200);

  const std::vector<testserver::TrackerHit> hits = server_.trackerHits();
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].method, "GET");
  EXPECT_EQ(hits[0].name, "banner-1-request");
  EXPECT_EQ(hits[0].query, (testserver::Fields{{"delay", "120"}, {"error", "1000"}, {"msg", "Network Error"}}));
  EXPECT_EQ(hits[1].name, "banner-1-impression");
  EXPECT_TRUE(hits[1].query.empty());
}

// A batch as the event manager sends it.
Dictionary batch(const std::vector<std::string>& eventIds) {
  platform::Array events;
  for (const std::string& eventId : eventIds) {
    events.emplace_back(Dictionary{{"id", eventId}, {"token_id", "tok-1"}, {"type", "impression"}, {"time", 1.5}});
  }
  return Dictionary{
      {"payload", Dictionary{{"events", Value(std::move(events))}, {"tokens", Dictionary{{"tok-1", "ct-banner-1"}}}}}};
}

TEST_F(AdServerTest, EveryLoggedEventIsAcceptedUnlessItsCodesAreScripted) {
  server_.logging().scriptCodes("e2", {"0", "2001"});
  server_.logging().scriptCodes("e3", {std::nullopt});

  const Reply first = post(server_.loggingURL(), batch({"e1", "e2", "e3"}));
  ASSERT_EQ(first.status, 200);
  EXPECT_EQ(OVAdUtility::getObjectFromJSONString(first.body),
            OVAdUtility::getObjectFromJSONString(R"([{"id":"e1","code":"1"},{"id":"e2","code":"0"}])"));

  const Reply second = post(server_.loggingURL(), batch({"e2", "e3"}));
  EXPECT_EQ(OVAdUtility::getObjectFromJSONString(second.body),
            OVAdUtility::getObjectFromJSONString(R"([{"id":"e2","code":"2001"},{"id":"e3","code":"1"}])"));

  const std::vector<AcknowledgedEvent> events = server_.logging().events();
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[0].tokenId, "tok-1");
  EXPECT_EQ(events[0].token, "ct-banner-1");
  EXPECT_EQ(events[0].type, "impression");
  std::vector<std::optional<std::string>> codes;
  for (const AcknowledgedEvent& event : events) codes.push_back(event.code);
  EXPECT_EQ(codes, (std::vector<std::optional<std::string>>{"1", "0", std::nullopt, "2001", "1"}));
  EXPECT_EQ(server_.logging().batchCount(), 2u);
}

TEST_F(AdServerTest, TheDefaultCodeCanBeChangedAndUnreadableBatchesAreRefused) {
  server_.logging().setDefaultCode("500");
  EXPECT_EQ(OVAdUtility::getObjectFromJSONString(post(server_.loggingURL(), batch({"e1"})).body),
            OVAdUtility::getObjectFromJSONString(R"([{"id":"e1","code":"500"}])"));

  for (const Dictionary& unreadable :
       {Dictionary{{"payload", "not json"}}, Dictionary{{"payload", "[1]"}},
        Dictionary{{"payload", Dictionary{{"events", "x"}, {"tokens", Dictionary{}}}}}, Dictionary{{"other", "x"}}}) {
    const Reply reply = post(server_.loggingURL(), unreadable);
    EXPECT_EQ(reply.status, 400);
    EXPECT_EQ(reply.body, "");
  }
  EXPECT_EQ(server_.logging().events().size(), 1u);
  EXPECT_EQ(server_.logging().batchCount(), 1u);
}

TEST_F(AdServerTest, ACreativeBidPayloadCarriesThePlacementsAnswer) {
  const std::optional<std::string> text = server_.creativeBidPayload("banner", 123, 4);
  ASSERT_TRUE(text);
  std::optional<platform::Error> error;
  const auto payload = OVAdBidPayload::initWithJsonData(*text, "banner", 4, &error);
  ASSERT_TRUE(payload) << (error ? error->localizedDescription() : "");
  EXPECT_EQ(payload->payloadType(), kOVAdBidPayloadTypeCreative);
  EXPECT_EQ(payload->bidID(), 123);
  ASSERT_TRUE(payload->serverResponse());
  const std::string creative(payload->serverResponse()->begin(), payload->serverResponse()->end());
  EXPECT_EQ(outcomeOf(creative), "ads 0 with 3 candidates");

  // Made for another placement: the library refuses it.
  EXPECT_FALSE(OVAdBidPayload::initWithJsonData(*text, "native", 4, &error));
  EXPECT_FALSE(server_.creativeBidPayload("no_such_placement", 1, 4));
}

}  // namespace
}  // namespace plexora::testing
