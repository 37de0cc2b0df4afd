// The fixture answers as the server sends them: every file is JSON, points
// its URLs back at the server, and reads through the library's parser into
// the candidates, definitions and errors it is meant to show.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "AdServerTestSupport.h"
#include "adapters/OVAdCommandLink.h"
#include "dto/OVAdCandidate.h"
#include "dto/OVAdPlacement.h"
#include "support/TrackersByType.h"

namespace plexora::testing {
namespace {

using testserver::AdAnswer;

struct Expected {
  OVAdProviderResponseType type;
  std::int64_t code = 0;
  std::vector<std::string> adapters;  // for an ads answer
  std::string message;                // error message, or the start of the parser's error text
};

const std::map<std::string, Expected>& expectations() {
  static const std::map<std::string, Expected> table = {
      {"banner", {OVAdProviderResponseType::Ads, 0, {"PX", "PX", "ADMOB"}, ""}},
      {"interstitial", {OVAdProviderResponseType::Ads, 0, {"PX"}, ""}},
      {"interstitial_video", {OVAdProviderResponseType::Ads, 0, {"PX"}, ""}},
      {"native", {OVAdProviderResponseType::Ads, 0, {"PX", "PX"}, ""}},
      {"rewarded", {OVAdProviderResponseType::Ads, 0, {"PX"}, ""}},
      {"instream", {OVAdProviderResponseType::Ads, 0, {"PX"}, ""}},
      {"no_fill", {OVAdProviderResponseType::Ads, 0, {}, ""}},
      {"no_fill_code", {OVAdProviderResponseType::Ads, 1001, {}, "No fill"}},
      {"error_with_code", {OVAdProviderResponseType::Error, 1001, {}, "No ads available for this placement"}},
      {"error_without_code", {OVAdProviderResponseType::Error, 2000, {}, "Invalid placement"}},
      {"wrong_types", {OVAdProviderResponseType::Unknown, 0, {}, ""}},
      // No response: the parser's error handler gets a message.
      {"ad_not_object", {OVAdProviderResponseType::Unknown, 0, {}, "Unknown error while parsing ad responses: "}},
  };
  return table;
}

std::string servedFixture(const testserver::AdServer& server, const std::string& name) {
  return server.bodyOf(AdAnswer::fixture(name)).value_or("");
}

std::vector<std::string> urls(const OVAdCandidate& candidate, OVAdTrackerType type) {
  return candidate.trackerURLs(type);
}

// The value at a path of keys in a candidate's data; null when absent.
using KeyPath = std::vector<std::string>;

const platform::Value* at(const platform::Dictionary& data, const KeyPath& path) {
  const platform::Dictionary* level = &data;
  const platform::Value* found = nullptr;
  for (const std::string& key : path) {
    if (level == nullptr) return nullptr;
    found = level->find(key);
    if (found == nullptr) return nullptr;
    level = found->isDictionary() ? &found->asDictionary() : nullptr;
  }
  return found;
}

std::shared_ptr<OVAdPlacement> placementOf(std::string_view body) {
  const ParseOutcome outcome = parse(body);
  const auto ads = std::dynamic_pointer_cast<OVAdProviderResponseAds>(outcome.response);
  return ads ? ads->adPlacement() : nullptr;
}

class AdServerFixturesTest : public AdServerTest {};

TEST_F(AdServerFixturesTest, EveryFixtureIsJSONWhoseURLsPointAtTheServer) {
  const std::vector<std::string> names = server_.fixtures().names();
  ASSERT_FALSE(names.empty()) << server_.fixtures().directory();
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(expectations().contains(name)) << "a fixture without an expected outcome";
    const std::string body = servedFixture(server_, name);
    EXPECT_TRUE(nlohmann::json::accept(body));
    // The server fills in its own address; the countdown's placeholder is the
    // library's to fill.
    EXPECT_EQ(body.find("{{BASE_URL}}"), std::string::npos);
    for (const char* scheme : {"\"http://", "\"https://"}) {
      for (auto at = body.find(scheme); at != std::string::npos; at = body.find(scheme, at + 1)) {
        const std::string url = body.substr(at + 1, body.find('"', at + 1) - at - 1);
        const bool ownServer = url.starts_with(server_.baseURL());
        const bool landingPage = url.find(".plexora.test/") != std::string::npos;
        EXPECT_TRUE(ownServer || landingPage) << url;
      }
    }
  }
}

TEST_F(AdServerFixturesTest, EveryFixtureParsesIntoItsExpectedOutcome) {
  for (const auto& [name, expected] : expectations()) {
    SCOPED_TRACE(name);
    const ParseOutcome outcome = parse(servedFixture(server_, name));
    if (!outcome.response) {
      ASSERT_TRUE(outcome.error);
      EXPECT_TRUE(outcome.error->starts_with(expected.message)) << *outcome.error;
      EXPECT_FALSE(expected.message.empty()) << "unexpected parse error: " << *outcome.error;
      continue;
    }
    ASSERT_EQ(outcome.response->type(), expected.type);
    if (expected.type == OVAdProviderResponseType::Error) {
      const auto& error = static_cast<const OVAdProviderResponseError&>(*outcome.response);
      EXPECT_EQ(error.errorCode(), expected.code);
      EXPECT_EQ(error.errorMessage(), expected.message);
    } else if (expected.type == OVAdProviderResponseType::Ads) {
      const auto& placement = *static_cast<const OVAdProviderResponseAds&>(*outcome.response).adPlacement();
      EXPECT_EQ(placement.code(), expected.code);
      EXPECT_EQ(placement.message(), expected.message);
      const nlohmann::json ads = nlohmann::json::parse(servedFixture(server_, name))["placements"][0]["ads"];
      std::vector<std::string> adapters;
      for (std::size_t i = 0; i < placement.adCandidates().size(); ++i) {
        const OVAdCandidate& candidate = *placement.adCandidates()[i];
        adapters.push_back(candidate.adapterID());
        // No tracker of a fixture is dropped for an unknown type or a bad entry.
        std::size_t trackers = 0;
        for (const auto& [type, list] : trackersByType(candidate)) trackers += list.size();
        EXPECT_EQ(trackers, ads[i]["trackers"].size()) << "candidate " << i;
      }
      EXPECT_EQ(adapters, expected.adapters);
    }
  }
}

TEST_F(AdServerFixturesTest, TheBannerCarriesItsDefinitionTrackersAndFeatureConfiguration) {
  const auto placement = placementOf(servedFixture(server_, "banner"));
  ASSERT_TRUE(placement);
  const OVAdPlacementDefinition& definition = *placement->definition();
  EXPECT_EQ(definition.type(), 1);
  EXPECT_EQ(definition.refreshInterval(), 30);
  EXPECT_EQ(definition.requestTimeout(), 5000);
  EXPECT_EQ(definition.clientMaxRetryCount(), 2);
  EXPECT_DOUBLE_EQ(definition.viewabilityCheckInterval(), 0.25);
  EXPECT_EQ(definition.placementSize(), (OVAdSize{320, 50}));
  ASSERT_EQ(definition.cookieData().size(), 1u);
  EXPECT_TRUE(definition.cookieData()[0]->isLocalOnly());

  const OVAdCandidate& first = *placement->adCandidates()[0];
  EXPECT_EQ(urls(first, OVAdTrackerType::Request), std::vector<std::string>{server_.trackerURL("banner-1-request")});
  EXPECT_EQ(urls(first, OVAdTrackerType::Impression),
            (std::vector<std::string>{server_.trackerURL("banner-1-impression"),
                                      server_.trackerURL("banner-1-impression-partner")}));
  EXPECT_EQ(urls(first, OVAdTrackerType::Click), std::vector<std::string>{server_.trackerURL("banner-1-click")});
  for (const auto& candidate : placement->adCandidates()) {
    const platform::Value* limit = at(candidate->data(), {"feature_config", "unified_logging_event_limit"});
    ASSERT_NE(limit, nullptr);
    EXPECT_EQ(limit->asInteger(), 50);
  }
}

// What each kind of ad needs to be valid for its data model, checked on the
// first candidate of each fixture: a client token and the kind's own keys.
TEST_F(AdServerFixturesTest, EachKindOfAdHoldsWhatItsDataModelNeeds) {
  struct Case {
    const char* fixture;
    std::vector<KeyPath> paths;
  };
  const std::vector<Case> cases = {
      {"banner", {{"ct"}, {"markup"}}},
      {"interstitial", {{"ct"}, {"markup"}, {"metadata", "orientation"}}},
      {"native", {{"ct"}, {"title"}, {"call_to_action"}, {"image", "url"}}},
      {"rewarded", {{"ct"}, {"video_url"}, {"end_card_markup"}}},
      {"instream",
       {{"ct"},
        {"video", "videoURL"},
        {"trackers", "impression"},
        {"trackers", "nativeImpression"},
        {"trackers", "video"}}},
  };
  for (const Case& item : cases) {
    SCOPED_TRACE(item.fixture);
    const auto placement = placementOf(servedFixture(server_, item.fixture));
    ASSERT_TRUE(placement);
    ASSERT_FALSE(placement->adCandidates().empty());
    const platform::Dictionary& data = placement->adCandidates()[0]->data();
    for (const KeyPath& path : item.paths) {
      const platform::Value* value = at(data, path);
      ASSERT_NE(value, nullptr) << path.back();
      EXPECT_TRUE(value->isString() || value->isInteger()) << path.back();
      if (value->isString()) {
        EXPECT_FALSE(value->asString().empty()) << path.back();
      }
    }
  }
  const auto native = placementOf(servedFixture(server_, "native"));
  ASSERT_TRUE(native);
  const platform::Value* carousel = native->adCandidates()[0]->data().find("carousel");
  ASSERT_NE(carousel, nullptr);
  EXPECT_EQ(carousel->size(), 2u);
}

// The command of an ad's link, its store link checked on the way: a store
// link must name a product and a web page to fall back on, or a host would
// never see the store.
std::string commandOfLink(std::string address) {
  for (std::size_t amp; (amp = address.find("&amp;")) != std::string::npos;) address.replace(amp, 5, "&");
  const auto url = platform::URL::parse(address);
  EXPECT_TRUE(url) << address;
  if (!url) return {};
  const auto command = OVAdCommandLink::parse(*url);
  EXPECT_TRUE(command) << address;
  if (!command) return {};
  if (command->command == "store") {
    const platform::Value* product = command->arguments.find("store_id");
    const platform::Value* fallback = command->arguments.find("store_url_web_fallback");
    EXPECT_TRUE(product && !product->asString().empty()) << address;
    EXPECT_TRUE(fallback && fallback->asString().starts_with("https://")) << address;
  }
  return command->command;
}

// A full-screen page gives the user a way out, and its store link names a
// product and a web page: with no close a host would never see the close
// and the reward.
TEST_F(AdServerFixturesTest, FullScreenPagesCloseThemselvesAndTheirStoreLinksNameAProductAndAWebPage) {
  struct Case {
    const char* fixture;
    const char* markupKey;
  };
  const Case cases[] = {{"interstitial", "markup"}, {"rewarded", "end_card_markup"}};
  const std::regex link(R"re(href="(ovad://[^"]*)")re");
  for (const auto& [fixture, markupKey] : cases) {
    SCOPED_TRACE(fixture);
    const auto placement = placementOf(servedFixture(server_, fixture));
    ASSERT_TRUE(placement);
    const platform::Value* markup = at(placement->adCandidates()[0]->data(), {markupKey});
    ASSERT_NE(markup, nullptr);
    const std::string text = markup->asString();
    std::vector<std::string> commands;
    for (auto found = std::sregex_iterator(text.begin(), text.end(), link); found != std::sregex_iterator(); ++found) {
      commands.push_back(commandOfLink((*found)[1]));
    }
    EXPECT_EQ(commands, (std::vector<std::string>{"close", "store"}));
  }
}

// Native ads carry their link as a command of their own, and the demo's
// rewarded end card is written into its source: their store links follow
// the same form.
TEST_F(AdServerFixturesTest, NativeAndDemoStoreLinksNameAProductAndAWebPage) {
  const auto native = placementOf(servedFixture(server_, "native"));
  ASSERT_TRUE(native);
  std::vector<std::string> commands;
  for (const auto& candidate : native->adCandidates()) {
    const platform::Value* command = at(candidate->data(), {"ovad_command"});
    ASSERT_NE(command, nullptr);
    commands.push_back(commandOfLink(command->asString()));
  }
  EXPECT_EQ(commands, (std::vector<std::string>{"open_link", "store"}));

  std::ifstream demoFile(std::string(PLEXORA_TEST_SOURCE_DIR) + "/../demo/DemoRewarded.cpp");
  ASSERT_TRUE(demoFile);
  const std::string demo((std::istreambuf_iterator<char>(demoFile)), std::istreambuf_iterator<char>());
  const std::regex storeLink(R"re(ovad://store[^"\\]*)re");
  std::size_t storeLinks = 0;
  for (auto found = std::sregex_iterator(demo.begin(), demo.end(), storeLink); found != std::sregex_iterator();
       ++found, ++storeLinks) {
    EXPECT_EQ(commandOfLink(found->str()), "store");
  }
  EXPECT_EQ(storeLinks, 1u);
}

TEST_F(AdServerFixturesTest, AnErrorFixtureKeepsItsDefinition) {
  const auto response = parse(servedFixture(server_, "error_with_code")).response;
  const auto error = std::dynamic_pointer_cast<OVAdProviderResponseError>(response);
  ASSERT_TRUE(error);
  ASSERT_TRUE(error->adPlacementDefinition());
  EXPECT_EQ(error->adPlacementDefinition()->refreshThreshold(), 60);

  const auto withoutCode = std::dynamic_pointer_cast<OVAdProviderResponseError>(
      parse(servedFixture(server_, "error_without_code")).response);
  ASSERT_TRUE(withoutCode);
  EXPECT_FALSE(withoutCode->adPlacementDefinition());
}

}  // namespace
}  // namespace plexora::testing
