// The placement definition: its defaults, how the server's "definition"
// object overrides them, and the local cookies it installs on the main
// queue.
#include "dto/OVAdPlacementDefinition.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Exception.h"
#include "platform/value/Value.h"
#include "plexora/OVAdSettings.h"
#include "tracking/OVAdClientEventManager.h"
#include "util/SettingsTestEnvironment.h"

namespace plexora {
namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

void expectDefaults(const OVAdPlacementDefinition& definition) {
  EXPECT_EQ(definition.type(), 0);
  EXPECT_EQ(definition.minViewabilityPercentage(), 1);
  EXPECT_EQ(definition.minViewabilityTicks(), 0);
  EXPECT_EQ(definition.refreshInterval(), 0);
  EXPECT_EQ(definition.refreshThreshold(), 20);
  EXPECT_EQ(definition.requestTimeout(), 10000);
  EXPECT_EQ(definition.clientMaxRetryCount(), 3);
  EXPECT_EQ(definition.viewabilityCheckInitialDelay(), 0.5);
  EXPECT_EQ(definition.viewabilityCheckInterval(), 0.5);
  EXPECT_EQ(definition.placementSize(), (OVAdSize{-2.0, -2.0}));
  EXPECT_FALSE(definition.cacheable());
  EXPECT_TRUE(definition.cookieData().empty());
}

TEST(OVAdPlacementDefinitionTest, DefaultsHoldWithoutADefinitionAndForAnEmptyOne) {
  OVAdPlacementDefinition plain;
  expectDefaults(plain);
  for (const Value& data : {Value(Dictionary{}), Value(), Value(Array{1, 2}), Value("refresh=30")}) {
    expectDefaults(*OVAdPlacementDefinition::initWithPlacementData(data));
  }
}

TEST(OVAdPlacementDefinitionTest, EveryKeyOverridesItsField) {
  const auto definition = OVAdPlacementDefinition::initWithPlacementData(Value(Dictionary{
      {"type", "interstitial"},
      {"min_viewability_percentage", 50},
      {"refresh", 30},
      {"refresh_threshold", 60},
      {"request_timeout", 3000},
      {"client_max_retry_count", 1},
      {"cacheable", true},
      {"viewability_check_ticker", 4},
      {"viewability_check_initial_delay", 1200},
      {"viewability_check_interval", 250},
      {"placement_width", 320},
      {"placement_height", 50},
  }));
  EXPECT_EQ(definition->type(), 2);
  EXPECT_EQ(definition->minViewabilityPercentage(), 50);
  EXPECT_EQ(definition->refreshInterval(), 30);
  EXPECT_EQ(definition->refreshThreshold(), 60);
  EXPECT_EQ(definition->requestTimeout(), 3000);
  EXPECT_EQ(definition->clientMaxRetryCount(), 1);
  EXPECT_TRUE(definition->cacheable());
  EXPECT_EQ(definition->minViewabilityTicks(), 4);
  EXPECT_EQ(definition->viewabilityCheckInitialDelay(), 1.2);
  EXPECT_EQ(definition->viewabilityCheckInterval(), 0.25);
  EXPECT_EQ(definition->placementSize(), (OVAdSize{320.0, 50.0}));
}

TEST(OVAdPlacementDefinitionTest, TypeTexts) {
  const struct {
    Value type;
    std::int64_t expected;
  } cases[] = {{"banner", 1}, {"interstitial", 2}, {"native", 3}, {"rewarded", 0}, {"BANNER", 0}, {1, 0}};
  for (const auto& testCase : cases) {
    EXPECT_EQ(OVAdPlacementDefinition::initWithPlacementData(Value(Dictionary{{"type", testCase.type}}))->type(),
              testCase.expected);
  }
}

TEST(OVAdPlacementDefinitionTest, ThePlacementSizeChangesOnlyWhenBothDimensionsAreGiven) {
  const struct {
    const char* name;
    Dictionary data;
    OVAdSize expected;
  } cases[] = {
      {"flexible width", {{"placement_width", -1}, {"placement_height", 50}}, {-1.0, 50.0}},
      {"width alone", {{"placement_width", 320}}, {-2.0, -2.0}},
      {"height alone", {{"placement_height", 50}}, {-2.0, -2.0}},
      {"below flexible", {{"placement_width", -3}, {"placement_height", 50}}, {-2.0, -2.0}},
      {"numeric texts", {{"placement_width", "300.5"}, {"placement_height", "250"}}, {300.5, 250.0}},
      {"full screen", {{"placement_width", 0}, {"placement_height", 0}}, {0.0, 0.0}},
  };
  for (const auto& testCase : cases) {
    EXPECT_EQ(OVAdPlacementDefinition::initWithPlacementData(Value(testCase.data))->placementSize(), testCase.expected)
        << testCase.name;
  }
}

TEST(OVAdPlacementDefinitionTest, WrongTypesKeepTheCurrentValues) {
  auto definition = OVAdPlacementDefinition::initWithPlacementData(
      Value(Dictionary{{"refresh", 30}, {"request_timeout", 3000}, {"viewability_check_interval", 250}}));
  definition->ingestPlacementData(Value(Dictionary{
      {"refresh", Array{1}},
      {"request_timeout", "soon"},
      {"viewability_check_interval", Dictionary{}},
      {"refresh_threshold", "45"},
      {"client_max_retry_count", 2.9},
      {"conv_tracking_data", "not an array"},
  }));
  EXPECT_EQ(definition->refreshInterval(), 30);
  EXPECT_EQ(definition->requestTimeout(), 3000);
  EXPECT_EQ(definition->viewabilityCheckInterval(), 0.25);
  EXPECT_EQ(definition->refreshThreshold(), 45) << "a numeric text reads as its number";
  EXPECT_EQ(definition->clientMaxRetryCount(), 2) << "a fraction truncates";
  EXPECT_TRUE(definition->cookieData().empty());
}

TEST(OVAdPlacementDefinitionTest, AnOutOfRangeDelayDoesNotOverflowWhenReadAgain) {
  OVAdPlacementDefinition definition;
  definition.setViewabilityCheckInterval(1e300);
  definition.ingestPlacementData(Value(Dictionary{}));
  EXPECT_GT(definition.viewabilityCheckInterval(), 9e15);
}

// Local cookies go to the installer on the main queue, and a failing
// installer becomes a client error event instead of escaping.
class OVAdPlacementDefinitionCookiesTest : public ::testing::Test {
 protected:
  OVAdPlacementDefinitionCookiesTest() {
    OVAdSettings::setLogLevel(6);
    OVAdClientEventManager::clientEvents().removeAllObjects();
  }
  ~OVAdPlacementDefinitionCookiesTest() override {
    OVAdPlacementDefinition::setLocalCookieInstaller(nullptr);
    OVAdClientEventManager::clientEvents().removeAllObjects();
  }

  static Value cookieDefinition() {
    return Value(Dictionary{{"conv_tracking_data",
                             Array{Dictionary{{"url", "https://a.com/c"}, {"key", "a"}, {"value", "1"}},
                                   Dictionary{{"url", "https://b.com/"}},
                                   Dictionary{{"url", "https://c.com/"}, {"key", "c"}, {"value", "3"}}}}});
  }

  testing::SettingsTestEnvironment environment_;
};

TEST_F(OVAdPlacementDefinitionCookiesTest, LocalCookiesAreInstalledOnTheMainQueueLater) {
  std::vector<std::string> installed;
  OVAdPlacementDefinition::setLocalCookieInstaller([&](const OVAdHTTPCookie& cookie) {
    EXPECT_TRUE(platform::DispatchQueue::isMainThread());
    installed.push_back(cookie.name + "@" + cookie.domain + cookie.path);
  });
  const auto definition = OVAdPlacementDefinition::initWithPlacementData(cookieDefinition());
  ASSERT_EQ(definition->cookieData().size(), 3U);
  EXPECT_TRUE(installed.empty()) << "installation waits for the main queue";

  ASSERT_TRUE(platform::DispatchQueue::settle());
  EXPECT_EQ(installed, (std::vector<std::string>{"a@a.com/c", "c@c.com/"}));
  EXPECT_EQ(environment_.count("<verbose>] Local cookie updated: a=1; domain=a.com; path=/c"), 1U);
  EXPECT_EQ(environment_.count("Local cookie updated:"), 2U);
}

TEST_F(OVAdPlacementDefinitionCookiesTest, AFailingInstallerIsRecordedAsAClientErrorEvent) {
  OVAdPlacementDefinition::setLocalCookieInstaller(
      [](const OVAdHTTPCookie&) { throw platform::Exception("CookieStorageFull", "no room"); });
  OVAdPlacementDefinition::initWithPlacementData(cookieDefinition());
  ASSERT_TRUE(platform::DispatchQueue::settle());

  const auto events = OVAdClientEventManager::clientEvents().nonConcurrentCopy();
  ASSERT_EQ(events.size(), 1U) << "the first failure ends the installation";
  EXPECT_EQ(events[0]->name(), "error");
  EXPECT_EQ(events[0]->data().find("ex")->asString(), "CookieStorageFull");
}

}  // namespace
}  // namespace plexora
