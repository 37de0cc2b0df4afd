// The response parser: a realistic answer read field by field, every kind of
// answer the server sends, and every malformed answer ending in a result or an error
// message, never a crash.
#include "server/OVAdProviderResponseParser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Bytes.h"
#include "platform/value/Value.h"
#include "plexora/OVAdSettings.h"
#include "util/SettingsTestEnvironment.h"
#include "support/TrackersByType.h"

namespace plexora {
namespace {

using platform::Dictionary;
using platform::Value;

// Ten candidates of every kind of adapter, with trackers, a feature
// configuration and a definition that sets every key; a second placement
// that must be ignored.
constexpr std::string_view kTenCandidates = R"json(
{
  "type": "ads",
  "code": 0,
  "message": "",
  "placements": [
    {
      "definition": {
        "type": "banner",
        "min_viewability_percentage": 50,
        "refresh": 30,
        "refresh_threshold": 25,
        "request_timeout": 4000,
        "client_max_retry_count": 2,
        "cacheable": true,
        "viewability_check_ticker": 2,
        "viewability_check_initial_delay": 250,
        "viewability_check_interval": 1000,
        "placement_width": -1,
        "placement_height": 50,
        "conv_tracking_data": [
          {"url": "https://conv.example.net/t", "key": "cv", "value": "a1b2", "expiration": 1800000000},
          {"url": "https://conv.example.net/"}
        ]
      },
      "feature_config": {"ios_qnv_enabled": true, "unified_logging_event_limit": 50},
      "ads": [
        {
          "adapter": "PX",
          "data": {"markup": "<div id=\"ad\">\u00e9t\u00e9</div>", "ct": "ct-0", "request_id": "req-1"},
          "trackers": [
            {"type": "request", "url": "https://t.example.net/r?c=0"},
            {"type": "impression", "url": "https://t.example.net/i?c=0"},
            {"type": "click", "url": "https://t.example.net/c?c=0"}
          ]
        },
        {
          "adapter": "ADMOB",
          "data": {"unit_id": "admob-unit-1"},
          "trackers": [
            {"type": "request", "url": "https://t.example.net/r?c=1"},
            {"type": "request", "url": "https://t2.example.net/r?c=1"}
          ]
        },
        {"adapter": "INMOBI", "data": {"placement": 1447912324502}, "trackers": []},
        {
          "adapter": "PX",
          "data": {"title": "Native title", "body": "Body", "rating": {"value": 4.5, "scale": 5}, "ct": "ct-3"},
          "trackers": [
            {"type": "impression", "url": "https://t.example.net/i?c=3"},
            {"type": "view", "url": "https://t.example.net/v?c=3"}
          ]
        },
        {"adapter": "YAHOO", "data": {"ad_unit": "y-1"}},
        {
          "adapter": "PX",
          "data": {"video_url": "https://cdn.example.net/v.mpd", "ct": "ct-5"},
          "trackers": [{"type": "click", "url": "https://t.example.net/c?c=5"}]
        },
        {"data": {"note": "no adapter"}},
        {"adapter": "PX", "trackers": [{"type": "request", "url": "https://t.example.net/r?c=7"}]},
        {"adapter": "PX", "data": {"feature_config": {"stale": 1}, "ct": "ct-8"}},
        {
          "adapter": "ADMOB",
          "data": {"unit_id": "admob-unit-2"},
          "trackers": [{"type": "pixel"}, {"type": "click", "url": "https://t.example.net/c?c=9"}]
        }
      ]
    },
    {"definition": {"refresh": 99}, "ads": [{"adapter": "ignored"}]}
  ]
}
)json";

// What one parse produced: exactly one of the two.
struct Outcome {
  std::shared_ptr<OVAdProviderResponse> response;
  std::optional<std::string> error;
};

Outcome parse(std::string_view text) {
  Outcome outcome;
  int calls = 0;
  OVAdProviderResponseParser().parseResponseFromData(
      platform::asBytes(text),
      [&](std::shared_ptr<OVAdProviderResponse> response) {
        ++calls;
        outcome.response = std::move(response);
      },
      [&](const std::string& message) {
        ++calls;
        outcome.error = message;
      });
  EXPECT_EQ(calls, 1) << "exactly one handler runs";
  return outcome;
}

std::shared_ptr<OVAdProviderResponseAds> parseAds(std::string_view text) {
  const Outcome outcome = parse(text);
  EXPECT_FALSE(outcome.error) << *outcome.error;
  return std::dynamic_pointer_cast<OVAdProviderResponseAds>(outcome.response);
}

std::vector<std::string> urls(const OVAdCandidate& candidate, OVAdTrackerType type) {
  return candidate.trackerURLs(type);
}

class OVAdProviderResponseParserTest : public ::testing::Test {
 protected:
  OVAdProviderResponseParserTest() { OVAdSettings::setLogLevel(6); }
  // Definitions with local cookies leave their installation on the main
  // queue: it runs here, not in a later test.
  ~OVAdProviderResponseParserTest() override { platform::DispatchQueue::settle(); }

  testing::SettingsTestEnvironment environment_;
};

TEST_F(OVAdProviderResponseParserTest, ARealisticAnswerIsReadFieldByField) {
  const auto response = parseAds(kTenCandidates);
  ASSERT_TRUE(response);
  EXPECT_EQ(response->type(), OVAdProviderResponseType::Ads);
  EXPECT_EQ(environment_.count("<debug>] Parsing JSON data (" + std::to_string(kTenCandidates.size()) + " bytes)"), 1U);

  const OVAdPlacement& placement = *response->adPlacement();
  EXPECT_EQ(placement.code(), 0);
  EXPECT_EQ(placement.message(), "");

  ASSERT_TRUE(placement.definition());
  const OVAdPlacementDefinition& definition = *placement.definition();
  EXPECT_EQ(definition.type(), 1);
  EXPECT_EQ(definition.minViewabilityPercentage(), 50);
  EXPECT_EQ(definition.refreshInterval(), 30) << "the second placement is ignored";
  EXPECT_EQ(definition.refreshThreshold(), 25);
  EXPECT_EQ(definition.requestTimeout(), 4000);
  EXPECT_EQ(definition.clientMaxRetryCount(), 2);
  EXPECT_TRUE(definition.cacheable());
  EXPECT_EQ(definition.minViewabilityTicks(), 2);
  EXPECT_EQ(definition.viewabilityCheckInitialDelay(), 0.25);
  EXPECT_EQ(definition.viewabilityCheckInterval(), 1.0);
  EXPECT_EQ(definition.placementSize(), (OVAdSize{-1.0, 50.0}));
  ASSERT_EQ(definition.cookieData().size(), 2U);
  EXPECT_TRUE(definition.cookieData()[0]->isLocalOnly());
  EXPECT_EQ(definition.cookieData()[0]->cookie()->path, "/t");
  EXPECT_FALSE(definition.cookieData()[1]->isLocalOnly());

  const Value featureConfig(Dictionary{{"ios_qnv_enabled", true}, {"unified_logging_event_limit", 50}});
  const auto& candidates = placement.adCandidates();
  ASSERT_EQ(candidates.size(), 10U);
  const char* const adapters[] = {"PX", "ADMOB", "INMOBI", "PX", "YAHOO", "PX", "", "PX", "PX", "ADMOB"};
  for (std::size_t index = 0; index < candidates.size(); ++index) {
    EXPECT_EQ(candidates[index]->adapterID(), adapters[index]) << index;
    ASSERT_TRUE(candidates[index]->data().find("feature_config")) << index;
    EXPECT_EQ(*candidates[index]->data().find("feature_config"), featureConfig) << index;
    for (const auto type : {OVAdTrackerType::Request, OVAdTrackerType::Impression, OVAdTrackerType::Click}) {
      EXPECT_FALSE(candidates[index]->hasFiredTrackers(type));
    }
  }

  const OVAdCandidate& html = *candidates[0];
  EXPECT_EQ(html.data().find("markup")->asString(), "<div id=\"ad\">\xC3\xA9t\xC3\xA9</div>");
  EXPECT_EQ(html.data().find("ct")->asString(), "ct-0");
  EXPECT_EQ(html.data().find("request_id")->asString(), "req-1");
  EXPECT_EQ(html.data().size(), 4U);
  EXPECT_EQ(urls(html, OVAdTrackerType::Request), (std::vector<std::string>{"https://t.example.net/r?c=0"}));
  EXPECT_EQ(urls(html, OVAdTrackerType::Impression), (std::vector<std::string>{"https://t.example.net/i?c=0"}));
  EXPECT_EQ(urls(html, OVAdTrackerType::Click), (std::vector<std::string>{"https://t.example.net/c?c=0"}));

  EXPECT_EQ(urls(*candidates[1], OVAdTrackerType::Request),
            (std::vector<std::string>{"https://t.example.net/r?c=1", "https://t2.example.net/r?c=1"}));
  EXPECT_EQ(candidates[1]->data().find("unit_id")->asString(), "admob-unit-1");

  EXPECT_EQ(candidates[2]->data().find("placement")->asInteger(), 1447912324502);
  EXPECT_TRUE(testing::trackersByType(*candidates[2]).empty());

  const OVAdCandidate& native = *candidates[3];
  EXPECT_EQ(*native.data().find("rating"), Value(Dictionary{{"value", 4.5}, {"scale", 5}}));
  EXPECT_EQ(testing::trackersByType(native).size(), 1U) << "the \"view\" tracker is dropped";
  EXPECT_EQ(urls(native, OVAdTrackerType::Impression), (std::vector<std::string>{"https://t.example.net/i?c=3"}));
  EXPECT_EQ(environment_.count("<warn>] Unexpected tracker type: view"), 1U);

  EXPECT_EQ(candidates[4]->data().size(), 2U);
  EXPECT_TRUE(testing::trackersByType(*candidates[4]).empty()) << "no \"trackers\" key";

  EXPECT_EQ(urls(*candidates[5], OVAdTrackerType::Click), (std::vector<std::string>{"https://t.example.net/c?c=5"}));
  EXPECT_EQ(candidates[6]->data().find("note")->asString(), "no adapter");
  EXPECT_EQ(candidates[7]->data(), (Dictionary{{"feature_config", featureConfig}})) << "no \"data\" key";
  EXPECT_EQ(urls(*candidates[7], OVAdTrackerType::Request), (std::vector<std::string>{"https://t.example.net/r?c=7"}));
  EXPECT_EQ(candidates[8]->data().find("ct")->asString(), "ct-8");
  EXPECT_EQ(testing::trackersByType(*candidates[9]).size(), 1U) << "an entry of unknown type needs no URL";
  EXPECT_EQ(urls(*candidates[9], OVAdTrackerType::Click), (std::vector<std::string>{"https://t.example.net/c?c=9"}));
  EXPECT_EQ(environment_.count("<warn>] Unexpected tracker type: "), 2U);
}

TEST_F(OVAdProviderResponseParserTest, AnswersWithoutCandidates) {
  const auto empty = parseAds(R"({"type":"ads","code":0,"placements":[{"definition":{},"ads":[]}]})");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->adPlacement()->code(), 0);
  EXPECT_TRUE(empty->adPlacement()->adCandidates().empty());
  ASSERT_TRUE(empty->adPlacement()->definition());
  EXPECT_EQ(empty->adPlacement()->definition()->refreshThreshold(), 20);

  const auto noFill = parseAds(R"({"type":"ads","code":1001,"message":"x","placements":[{"ads":[{"adapter":"PX"}]}]})");
  ASSERT_TRUE(noFill);
  EXPECT_EQ(noFill->adPlacement()->code(), 1001);
  EXPECT_EQ(noFill->adPlacement()->message(), "x");
  EXPECT_TRUE(noFill->adPlacement()->adCandidates().empty()) << "a code other than 0 serves no ads";
  ASSERT_TRUE(noFill->adPlacement()->definition()) << "a placement without definition gives the defaults";
  EXPECT_EQ(noFill->adPlacement()->definition()->requestTimeout(), 10000);
}

TEST_F(OVAdProviderResponseParserTest, WithoutFeatureConfigurationTheDataCarriesNone) {
  const auto response = parseAds(
      R"({"type":"ads","code":0,"placements":[{"feature_config":"on","ads":[{"adapter":"PX","data":{"feature_config":{"own":1}}},{}]}]})");
  ASSERT_TRUE(response);
  const auto& candidates = response->adPlacement()->adCandidates();
  ASSERT_EQ(candidates.size(), 2U);
  EXPECT_EQ(candidates[0]->data(), (Dictionary{{"feature_config", Dictionary{{"own", 1}}}}))
      << "a feature configuration that is no object sets nothing";
  EXPECT_EQ(candidates[1]->adapterID(), "");
  EXPECT_TRUE(candidates[1]->data().empty());
}

TEST_F(OVAdProviderResponseParserTest, ErrorAnswers) {
  const struct {
    const char* name;
    std::string_view json;
    std::int64_t code;
    std::string message;
    bool hasDefinition;
  } cases[] = {
      {"no code", R"({"type":"error","message":"m"})", 2000, "m", false},
      {"no message", R"({"type":"error","code":1002})", 1002, "", false},
      {"code as text", R"({"type":"error","code":"1001","message":"m"})", 1001, "m", false},
      {"code no number", R"({"type":"error","code":"soon","message":7})", 2000, "7", false},
      {"code an object", R"({"type":"error","code":{},"message":["m"]})", 2000, "", false},
      {"with definition", R"({"type":"error","code":1002,"placements":[{"definition":{"refresh_threshold":90}}]})",
       1002, "", true},
      {"placements without code", R"({"type":"error","placements":[{"definition":{"refresh_threshold":90}}]})", 2000,
       "", false},
  };
  for (const auto& testCase : cases) {
    const Outcome outcome = parse(testCase.json);
    const auto error = std::dynamic_pointer_cast<OVAdProviderResponseError>(outcome.response);
    ASSERT_TRUE(error) << testCase.name;
    EXPECT_EQ(error->type(), OVAdProviderResponseType::Error) << testCase.name;
    EXPECT_EQ(error->errorCode(), testCase.code) << testCase.name;
    EXPECT_EQ(error->errorMessage(), testCase.message) << testCase.name;
    EXPECT_EQ(error->adPlacementDefinition() != nullptr, testCase.hasDefinition) << testCase.name;
    if (testCase.hasDefinition) {
      EXPECT_EQ(error->adPlacementDefinition()->refreshThreshold(), 90) << testCase.name;
    }
  }
}

std::string nested(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

std::string manyAds(std::size_t count) {
  std::string ads;
  for (std::size_t index = 0; index < count; ++index) {
    ads += std::string(index == 0 ? "" : ",") + R"({"adapter":"PX","trackers":[{"type":"click","url":"https://t/c"}]})";
  }
  return R"({"type":"ads","code":0,"placements":[{"ads":[)" + ads + "]}]}";
}

TEST_F(OVAdProviderResponseParserTest, MalformedAnswersEndInAResultOrAnErrorMessage) {
  enum class Expect { NotJSON, WrongShape, Unknown, Ads };
  const std::string jsonFailure = "Failed to parse JSON string, code=1 description=";
  const std::string shapeFailure = "Unknown error while parsing ad responses: ";
  const std::string truncated(kTenCandidates.substr(0, kTenCandidates.size() / 2));
  const struct {
    const char* name;
    std::string text;
    Expect expect;
    std::size_t candidates = 0;
  } cases[] = {
      {"empty", "", Expect::NotJSON},
      {"not JSON", "<html>502 Bad Gateway</html>", Expect::NotJSON},
      {"truncated", truncated, Expect::NotJSON},
      {"not UTF-8", "{\"type\":\"ads\xff\",\"code\":0}", Expect::NotJSON},
      {"a NUL inside", std::string("{\"type\":\"ads\"}\0{}", 17), Expect::NotJSON},
      {"nested too deep", R"({"type":"ads","code":0,"placements":[{"ads":[{"data":)" + nested(600) + "}]}]}",
       Expect::NotJSON},
      {"an array", R"([{"type":"ads"}])", Expect::WrongShape},
      {"a string", R"("ads")", Expect::WrongShape},
      {"null", "null", Expect::WrongShape},
      {"a placement no object", R"({"type":"ads","code":0,"placements":["p"]})", Expect::WrongShape},
      {"an ad no object", R"({"type":"ads","code":0,"placements":[{"ads":[{"adapter":"PX"},"PX"]}]})",
       Expect::WrongShape},
      {"an error with a placement no object", R"({"type":"error","code":5,"placements":[7]})", Expect::WrongShape},
      {"a tracker no object",
       R"({"type":"ads","code":0,"placements":[{"ads":[{"adapter":"PX"},{"adapter":"PX","trackers":["https://t/c"]}]}]})",
       Expect::WrongShape},
      {"a tracker without url",
       R"({"type":"ads","code":0,"placements":[{"ads":[{"adapter":"PX","trackers":[{"type":"click"}]}]}]})",
       Expect::WrongShape},
      {"a tracker with a number for url",
       R"({"type":"ads","code":0,"placements":[{"ads":[{"adapter":"PX","trackers":[{"type":"request","url":1}]}]}]})",
       Expect::WrongShape},
      {"no type", R"({"code":0,"placements":[{"ads":[]}]})", Expect::Unknown},
      {"type a number", R"({"type":2,"code":0,"placements":[{"ads":[]}]})", Expect::Unknown},
      {"type in capitals", R"({"type":"ADS","code":0,"placements":[{"ads":[]}]})", Expect::Unknown},
      {"type unknown", R"({"type":"redirect"})", Expect::Unknown},
      {"ads without code", R"({"type":"ads","placements":[{"ads":[{}]}]})", Expect::Unknown},
      {"ads with a code no number", R"({"type":"ads","code":"none","placements":[{"ads":[{}]}]})", Expect::Unknown},
      {"ads without placements", R"({"type":"ads","code":0})", Expect::Unknown},
      {"ads with empty placements", R"({"type":"ads","code":0,"placements":[]})", Expect::Unknown},
      {"placements an object", R"({"type":"ads","code":0,"placements":{"ads":[{}]}})", Expect::Unknown},
      {"ads a code as text", R"({"type":"ads","code":"0","placements":[{"ads":[{}]}]})", Expect::Ads, 1},
      {"ads no array", R"({"type":"ads","code":0,"placements":[{"ads":{"adapter":"PX"}}]})", Expect::Ads, 0},
      {"wrong types inside an ad",
       R"({"type":"ads","code":0,"placements":[{"definition":[],"ads":[{"adapter":[],"data":"d","trackers":{}}]}]})",
       Expect::Ads, 1},
      {"a huge code", R"({"type":"ads","code":1e300,"placements":[{"ads":[{}]}]})", Expect::Ads, 0},
      {"many ads", manyAds(5000), Expect::Ads, 5000},
  };
  for (const auto& testCase : cases) {
    const Outcome outcome = parse(testCase.text);
    switch (testCase.expect) {
      case Expect::NotJSON:
        ASSERT_TRUE(outcome.error) << testCase.name;
        EXPECT_EQ(outcome.error->rfind(jsonFailure, 0), 0U) << testCase.name << ": " << *outcome.error;
        break;
      case Expect::WrongShape:
        ASSERT_TRUE(outcome.error) << testCase.name;
        EXPECT_EQ(outcome.error->rfind(shapeFailure, 0), 0U) << testCase.name << ": " << *outcome.error;
        EXPECT_GT(outcome.error->size(), shapeFailure.size()) << testCase.name << ": says what was wrong";
        break;
      case Expect::Unknown:
        ASSERT_TRUE(outcome.response) << testCase.name;
        EXPECT_EQ(outcome.response->type(), OVAdProviderResponseType::Unknown) << testCase.name;
        EXPECT_FALSE(std::dynamic_pointer_cast<OVAdProviderResponseAds>(outcome.response)) << testCase.name;
        break;
      case Expect::Ads: {
        const auto ads = std::dynamic_pointer_cast<OVAdProviderResponseAds>(outcome.response);
        ASSERT_TRUE(ads) << testCase.name;
        EXPECT_EQ(ads->adPlacement()->adCandidates().size(), testCase.candidates) << testCase.name;
        break;
      }
    }
  }
}

TEST_F(OVAdProviderResponseParserTest, AHugeCodeSaturates) {
  const auto response = parseAds(R"({"type":"ads","code":1e300,"placements":[{"ads":[{}]}]})");
  ASSERT_TRUE(response);
  EXPECT_EQ(response->adPlacement()->code(), std::numeric_limits<std::int64_t>::max());
}

TEST_F(OVAdProviderResponseParserTest, ThePlacementDefinitionNeedsPlacementsAndANumericCode) {
  const auto definitionOf = [](std::string_view json) {
    return OVAdProviderResponseParser::parsePlacementDefinitionFromData(*platform::parseJSON(json));
  };
  EXPECT_TRUE(definitionOf(R"({"code":0,"placements":[{"definition":{"refresh":5}}]})"));
  EXPECT_EQ(definitionOf(R"({"code":0,"placements":[{"definition":{"refresh":5}}]})")->refreshInterval(), 5);
  EXPECT_FALSE(definitionOf(R"({"placements":[{"definition":{"refresh":5}}]})"));
  EXPECT_FALSE(definitionOf(R"({"code":0,"placements":[]})"));
  EXPECT_FALSE(definitionOf(R"({"code":0})"));
  EXPECT_FALSE(definitionOf(R"([1])"));
}

TEST_F(OVAdProviderResponseParserTest, ACannedResponseNarrowsToOneCandidate) {
  const auto response = parseAds(kTenCandidates);
  ASSERT_TRUE(response);
  const auto canned = OVAdProviderCannedResponse::initWithResponse(*response, 3);
  ASSERT_TRUE(canned);
  EXPECT_EQ(canned->type(), OVAdProviderResponseType::Ads);
  EXPECT_EQ(canned->adPlacement(), canned->cannedPlacement());
  EXPECT_EQ(canned->cannedPlacement()->code(), 0);
  EXPECT_EQ(canned->cannedPlacement()->definition(), response->adPlacement()->definition());
  ASSERT_EQ(canned->cannedPlacement()->adCandidates().size(), 1U);
  EXPECT_EQ(canned->cannedPlacement()->adCandidates()[0], response->adPlacement()->adCandidates()[3]);

  for (const std::int64_t outside : {std::int64_t{-1}, std::int64_t{10}, std::numeric_limits<std::int64_t>::min()}) {
    EXPECT_FALSE(OVAdProviderCannedResponse::initWithResponse(*response, outside)) << outside;
  }
}

TEST_F(OVAdProviderResponseParserTest, ACopyOfAnAnswerHasFreshCandidatesAndTheSameContent) {
  const auto response = parseAds(kTenCandidates);
  ASSERT_TRUE(response);
  const auto& original = response->adPlacement()->adCandidates();
  original[2]->fireTrackers(OVAdTrackerType::Click, Value());  // no click URLs: sends nothing

  const auto copy = response->copy();
  EXPECT_EQ(copy->type(), OVAdProviderResponseType::Ads);
  EXPECT_EQ(copy->adPlacement()->code(), 0);
  EXPECT_EQ(copy->adPlacement()->definition(), response->adPlacement()->definition());
  const auto& copied = copy->adPlacement()->adCandidates();
  ASSERT_EQ(copied.size(), original.size());
  for (std::size_t index = 0; index < copied.size(); ++index) {
    EXPECT_NE(copied[index], original[index]) << index;
    EXPECT_EQ(copied[index]->adapterID(), original[index]->adapterID()) << index;
    EXPECT_EQ(copied[index]->data(), original[index]->data()) << index;
    EXPECT_EQ(testing::trackersByType(*copied[index]), testing::trackersByType(*original[index])) << index;
  }
  EXPECT_TRUE(original[2]->hasFiredTrackers(OVAdTrackerType::Click));
  EXPECT_FALSE(copied[2]->hasFiredTrackers(OVAdTrackerType::Click));
}

}  // namespace
}  // namespace plexora
