#include "server/OVAdEnvironmentData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "dto/OVAdBidPayload.h"
#include "platform/value/Value.h"
#include "plexora/OVAdSettings.h"
#include "server/OVAdEnvironmentDataTestEnvironment.h"
#include "support/doubles/FakeDisplayAdAdapter.h"
#include "tracking/OVAdClientEventManager.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

using platform::Dictionary;
using platform::Value;

class OVAdEnvironmentDataTest : public ::testing::Test {
 protected:
  static OVAdEnvironmentData banner(std::optional<std::string> placementID = "123_456") {
    return OVAdEnvironmentData(std::move(placementID), kOVAdPlacementTypeBanner, 5, kOVAdSizeHeight50Banner);
  }

  static std::string text(const Dictionary& parameters, const char* key) {
    const Value* value = parameters.find(key);
    return value != nullptr ? value->text().value_or("<no text>") : "<absent>";
  }

  testing::EnvironmentDataTestEnvironment environment_;
};

TEST_F(OVAdEnvironmentDataTest, InitialisersFillTheFieldsAndReadTheStatusBarOrientation) {
  platform::Application::shared()->setStatusBarOrientation(platform::InterfaceOrientation::LandscapeLeft);
  const OVAdEnvironmentData one("p", kOVAdPlacementTypeInterstitial, 102, kOVAdSizeInterstitial);
  EXPECT_EQ(one.placementID(), "p");
  EXPECT_EQ(one.placementType(), kOVAdPlacementTypeInterstitial);
  EXPECT_EQ(one.templateId(), 102);
  EXPECT_EQ(one.adSize(), kOVAdSizeInterstitial);
  EXPECT_EQ(one.numAdsRequested(), 1u);
  EXPECT_EQ(one.podPosition(), 1u);
  EXPECT_FALSE(one.retryForPodPosition());
  EXPECT_EQ(one.bidPayload(), nullptr);
  EXPECT_EQ(one.placementDefinition(), nullptr);
  EXPECT_EQ(one.initOrientation(), static_cast<std::int64_t>(platform::InterfaceOrientation::LandscapeLeft));

  const OVAdEnvironmentData several("p", kOVAdPlacementTypeNative, 200, kOVAdSizeNative, 5);
  EXPECT_EQ(several.numAdsRequested(), 5u);
  platform::Application::shared()->setStatusBarOrientation(platform::InterfaceOrientation::Portrait);
}

TEST_F(OVAdEnvironmentDataTest, ValidityFollowsSizeTypeAndPlacementIdentifier) {
  const struct {
    const char* name;
    std::optional<std::string> placementID;
    OVAdPlacementType type;
    OVAdSize size;
    bool valid;
  } cases[] = {
      {"flexible-by-50 banner", "p", kOVAdPlacementTypeBanner, kOVAdSizeHeight50Banner, true},
      {"interstitial 0 by 0", "p", kOVAdPlacementTypeInterstitial, kOVAdSizeInterstitial, true},
      {"native flexible both ways", "p", kOVAdPlacementTypeNative, kOVAdSizeNative, true},
      {"banner flexible both ways", "p", kOVAdPlacementTypeBanner, kOVAdSizeNative, false},
      {"rewarded flexible both ways", "p", kOVAdPlacementTypeRewardedVideo, kOVAdSizeNative, false},
      {"no placement identifier", std::nullopt, kOVAdPlacementTypeBanner, kOVAdSize320x50, false},
      {"native without placement identifier", std::nullopt, kOVAdPlacementTypeNative, kOVAdSizeNative, false},
  };
  for (const auto& c : cases) {
    const OVAdEnvironmentData environment(c.placementID, c.type, 4, c.size);
    EXPECT_EQ(environment.hasValidDefinition(), c.valid) << c.name;
    EXPECT_EQ(environment.adRequestParameters().empty(), !c.valid) << c.name;
  }
  // An invalid definition does not even sample the motion sensors.
  EXPECT_EQ(environment_.motionRequests(), 2 * 3);
}

TEST_F(OVAdEnvironmentDataTest, EveryKeyInOrderWithTheValuesAndFormsOfTheDeviceFacts) {
  OVAdSettings::addTestDevice(testing::kTestDeviceHashOfIdentifier);
  OVAdSettings::setTestAdType(6);
  OVAdSettings::setIsChildDirected(true);
  OVAdSettings::setMediationService("AcmeMediation");

  const Dictionary parameters = banner().adRequestParameters();

  const std::vector<std::pair<std::string, Value>> expected = {
      {"SCREEN_HEIGHT", 667.0},
      {"SCREEN_WIDTH", 375.0},
      {"DENSITY", "2"},
      {"SDK_VERSION", kOVAdLibraryVersion},
      {"SDK_CAPABILITY", "[3,4,5,7,9,10,12,16,17]"},
      {"SECURITY_DISABLED", "0"},
      {"OS", "iOS"},
      {"SDK", "ios"},
      {"MAKE", "Apple"},
      {"MODEL", "x86_64"},
      {"OSVERS", "10.3"},
      {"BUNDLE", "com.example.game"},
      {"APPVERS", "2.1"},
      {"APPBUILD", "210"},
      {"LOCALE", "de_CH"},
      {"MEDIATION_SERVICE", "AcmeMediation"},
      {"NETWORK_TYPE", 1},
      {"SESSION_ID", testing::kTestSessionId},
      {"SESSION_TIME", "12.5"},
      {"UNITY", 0},
      {"PLACEMENT_ID", "123_456"},
      {"TEST_MODE", 1},
      {"DEMO_AD_ID", "VID_HD_16_9_15S_LINK"},
      {"IDFA", testing::kTestAdvertisingIdentifier},
      {"IDFA_FLAG", "1"},
      {"COPPA", 1},
      {"WIDTH", -1.0},
      {"HEIGHT", 50.0},
      {"TEMPLATE_ID", "5"},
      {"NUM_ADS_REQUESTED", 1},
      {"CLIENT_EVENTS", ""},
      {"VOLUME", 0.25},
      {"REQUEST_TIME", "1700000000.25"},
      {"ADAPTERS", "PX,ADMOB"},
      {"ORIENTATION", 1},
      {"COCOS2D", 0},
  };
  ASSERT_EQ(parameters.size(), expected.size());
  auto actual = parameters.begin();
  for (const auto& [key, value] : expected) {
    EXPECT_EQ(actual->first, key);
    EXPECT_EQ(actual->second, value) << key;
    ++actual;
  }
  EXPECT_EQ(environment_.motionRequests(), 2);
}

TEST_F(OVAdEnvironmentDataTest, TheFormBodyWritesNumbersAsPlainDecimalText) {
  const std::string body = OVAdUtility::createQueryStringFromParameters(Value(banner().adRequestParameters()));
  EXPECT_EQ(body.rfind("SCREEN_HEIGHT=667&SCREEN_WIDTH=375&DENSITY=2&SDK_VERSION=", 0), 0u) << body;
  EXPECT_NE(body.find("&SESSION_TIME=12.5&UNITY=0&PLACEMENT_ID=123_456&"), std::string::npos) << body;
  EXPECT_NE(body.find("&WIDTH=-1&HEIGHT=50&TEMPLATE_ID=5&NUM_ADS_REQUESTED=1&CLIENT_EVENTS=&VOLUME=0.25&"),
            std::string::npos)
      << body;
  EXPECT_NE(body.find("&SDK_CAPABILITY=%5B3%2C4%2C5%2C7%2C9%2C10%2C12%2C16%2C17%5D&"), std::string::npos) << body;
}

TEST_F(OVAdEnvironmentDataTest, TestModeAndDemoAdFollowTheTestDeviceAndTestAdType) {
  const struct {
    bool testDevice;
    std::int64_t testAdType;
    const char* testMode;
    const char* demoAd;
  } cases[] = {
      {false, 1, "<absent>", "<absent>"},
      {true, 0, "1", "<absent>"},
      {true, 1, "1", "IMG_16_9_APP_INSTALL"},
      {true, 10, "1", "CAROUSEL_IMG_SQUARE_LINK"},
      {true, 11, "1", "<absent>"},
      {true, -1, "1", "<absent>"},
  };
  for (const auto& c : cases) {
    if (c.testDevice) {
      OVAdSettings::addTestDevice(testing::kTestDeviceHashOfIdentifier);
    } else {
      OVAdSettings::clearTestDevices();
    }
    OVAdSettings::setTestAdType(c.testAdType);
    const Dictionary parameters = banner().adRequestParameters();
    EXPECT_EQ(text(parameters, "TEST_MODE"), c.testMode) << c.testDevice << " " << c.testAdType;
    EXPECT_EQ(text(parameters, "DEMO_AD_ID"), c.demoAd) << c.testDevice << " " << c.testAdType;
  }
}

TEST_F(OVAdEnvironmentDataTest, FactsTheDeviceOrApplicationLacksLeaveTheirKeysOut) {
  platform::setMainBundleInfo({"com.example.game", std::nullopt, std::nullopt});
  environment_.updateProfile([](platform::DeviceProfile& profile) {
    profile.machine = std::nullopt;
    profile.advertisingIdentifier = std::nullopt;
    profile.advertisingTrackingEnabled = false;
  });
  OVAdSettings::setMediationService("");

  const Dictionary parameters = banner().adRequestParameters();
  for (const char* key : {"MODEL", "APPVERS", "APPBUILD", "MEDIATION_SERVICE", "IDFA", "BID_ID"}) {
    EXPECT_FALSE(parameters.contains(key)) << key;
  }
  EXPECT_EQ(text(parameters, "BUNDLE"), "com.example.game");
  EXPECT_EQ(text(parameters, "IDFA_FLAG"), "0");
  EXPECT_EQ(text(parameters, "COPPA"), "0");
}

TEST_F(OVAdEnvironmentDataTest, BidIdentifierOfThePayloadIsSentAsDecimalText) {
  for (const char* bidID : {"123", "-9223372036854775808"}) {
    std::optional<platform::Error> error;
    const auto payload = OVAdBidPayload::initWithJsonData(std::string(R"({"bid_id":")") + bidID + R"("})",
                                                          "123_456", 5, &error);
    ASSERT_NE(payload, nullptr) << (error ? error->localizedDescription() : "");
    const OVAdEnvironmentData environment("123_456", kOVAdPlacementTypeBanner, 5, kOVAdSizeHeight50Banner, payload);
    EXPECT_EQ(text(environment.adRequestParameters(), "BID_ID"), bidID);
  }
}

TEST_F(OVAdEnvironmentDataTest, OrientationReportsTheOrientationsTheApplicationSupports) {
  const struct {
    platform::InterfaceOrientationMask mask;
    std::int64_t orientation;
  } cases[] = {
      {platform::kInterfaceOrientationMaskPortrait, 1},
      {platform::kInterfaceOrientationMaskPortrait | platform::kInterfaceOrientationMaskPortraitUpsideDown, 1},
      {platform::kInterfaceOrientationMaskLandscapeLeft | platform::kInterfaceOrientationMaskLandscapeRight, 2},
      {platform::kInterfaceOrientationMaskPortrait | platform::kInterfaceOrientationMaskLandscapeLeft, 0},
  };
  for (const auto& c : cases) {
    platform::Application::shared()->setSupportedInterfaceOrientations(c.mask);
    EXPECT_EQ(*banner().adRequestParameters().find("ORIENTATION"), Value(c.orientation)) << c.mask;
  }
}

TEST_F(OVAdEnvironmentDataTest, AdaptersAreThoseAvailableForNativeWhateverTheLoad) {
  const OVAdEnvironmentData interstitial("p", kOVAdPlacementTypeInterstitial, 102, kOVAdSizeInterstitial);
  EXPECT_EQ(text(interstitial.adRequestParameters(), "ADAPTERS"), "PX,ADMOB");
  EXPECT_EQ(environment_.adapterTypesAsked(), std::vector<OVAdPlacementType>{kOVAdPlacementTypeNative});

  environment_.setAdapters({});
  EXPECT_EQ(text(interstitial.adRequestParameters(), "ADAPTERS"), "");
}

// Without a source of its own the request asks the adapter registry: an
// outside network counts only with a native adapter linked.
TEST_F(OVAdEnvironmentDataTest, WithoutAnInstalledSourceTheAdapterRegistryAnswers) {
  const auto installed = OVAdEnvironmentData::installAdapterSource(nullptr);
  const auto made = std::make_shared<testing::FakeDisplayAdAdapter::Made>();
  {
    const auto ownNative = testing::FakeDisplayAdAdapter::install("OVPXNativeAdAdapter", made);
    const auto outsideNative = testing::FakeDisplayAdAdapter::install("OVINMOBINativeAdAdapter", made);
    const auto outsideBannerOnly = testing::FakeDisplayAdAdapter::install("OVADMOBBannerAdAdapter", made);
    EXPECT_EQ(text(banner().adRequestParameters(), "ADAPTERS"), "PX,INMOBI");
  }
  OVAdEnvironmentData::installAdapterSource(installed);
}

TEST_F(OVAdEnvironmentDataTest, EachCallComputesAnewWithTheCurrentTime) {
  const OVAdEnvironmentData environment = banner();
  EXPECT_EQ(text(environment.adRequestParameters(), "REQUEST_TIME"), "1700000000.25");
  environment_.clock().advance(1.5);
  EXPECT_EQ(text(environment.adRequestParameters(), "REQUEST_TIME"), "1700000001.75");
  EXPECT_EQ(environment_.motionRequests(), 4);
}

// The client events travel with exactly one request: the one built after
// they were added.
TEST_F(OVAdEnvironmentDataTest, ClientEventsTravelWithTheNextRequestOnly) {
  const OVAdEnvironmentData environment = banner();
  OVAdClientEventManager::addClientEvent(OVAdClientEventManager::createErrorEventWithMessage("first"));
  const std::string first = text(environment.adRequestParameters(), "CLIENT_EVENTS");
  const std::optional<Value> events = platform::parseJSON(first);
  ASSERT_TRUE(events.has_value()) << first;
  ASSERT_EQ(events->size(), 1u);
  EXPECT_NE(first.find("first"), std::string::npos);

  EXPECT_EQ(text(environment.adRequestParameters(), "CLIENT_EVENTS"), "");

  OVAdClientEventManager::addClientEvent(OVAdClientEventManager::createErrorEventWithMessage("second"));
  const std::string third = text(environment.adRequestParameters(), "CLIENT_EVENTS");
  EXPECT_NE(third.find("second"), std::string::npos);
  EXPECT_EQ(third.find("first"), std::string::npos);
}

TEST_F(OVAdEnvironmentDataTest, ClientEventsAddedWhileRequestsAreBuiltAreEachSentOnce) {
  constexpr int kWriters = 4;
  constexpr int kEventsPerWriter = 200;
  std::atomic<int> writersDone{0};
  std::vector<std::thread> writers;
  for (int writer = 0; writer < kWriters; ++writer) {
    writers.emplace_back([writer, &writersDone] {
      for (int index = 0; index < kEventsPerWriter; ++index) {
        OVAdClientEventManager::addClientEvent(OVAdClientEventManager::createErrorEventWithMessage(
            std::to_string(writer) + ":" + std::to_string(index)));
      }
      ++writersDone;
    });
  }

  const OVAdEnvironmentData environment = banner();
  std::multiset<std::string> sent;
  auto collect = [&] {
    const std::string json = text(environment.adRequestParameters(), "CLIENT_EVENTS");
    if (json.empty()) return;
    const std::optional<Value> events = platform::parseJSON(json);
    ASSERT_TRUE(events.has_value() && events->isArray()) << json;
    for (const Value& event : events->asArray()) {
      sent.insert(platform::toJSON(event).value_or(""));
    }
  };
  while (writersDone.load() < kWriters) {
    collect();
  }
  for (std::thread& writer : writers) writer.join();
  collect();

  ASSERT_EQ(sent.size(), static_cast<std::size_t>(kWriters * kEventsPerWriter));
  for (int writer = 0; writer < kWriters; ++writer) {
    for (int index = 0; index < kEventsPerWriter; ++index) {
      const std::string message = "\"" + std::to_string(writer) + ":" + std::to_string(index) + "\"";
      const auto count = std::count_if(sent.begin(), sent.end(), [&](const std::string& event) {
        return event.find(message) != std::string::npos;
      });
      EXPECT_EQ(count, 1) << message;
    }
  }
}

}  // namespace
}  // namespace plexora
