#include <gtest/gtest.h>
#include <zlib.h>

#include <optional>
#include <set>
#include <string>

#include "platform/foundation/Base64.h"
#include "platform/value/Value.h"
#include "plexora/OVAdSettings.h"
#include "server/OVAdEnvironmentData.h"
#include "server/OVAdEnvironmentDataTestEnvironment.h"
#include "tracking/OVAdClientEventManager.h"

namespace plexora {
namespace {

using platform::Value;

// The JSON object a token carries, read back the way the bidding server
// would; a null value when any step fails.
Value decodeToken(const std::string& token) {
  const std::optional<platform::Bytes> compressed = platform::base64Decode(token);
  if (!compressed.has_value()) {
    ADD_FAILURE() << "not base64: " << token;
    return {};
  }
  platform::Bytes inflated(64 * 1024);
  uLongf inflatedLength = inflated.size();
  if (uncompress(inflated.data(), &inflatedLength, compressed->data(), compressed->size()) != Z_OK) {
    ADD_FAILURE() << "not zlib data";
    return {};
  }
  const std::string json(inflated.begin(), inflated.begin() + static_cast<std::ptrdiff_t>(inflatedLength));
  return platform::parseJSON(json).value_or(Value());
}

std::set<std::string> keysOf(const Value& object) {
  std::set<std::string> keys;
  for (const auto& entry : object.asDictionary()) keys.insert(entry.first);
  return keys;
}

class OVAdBidderTokenTest : public ::testing::Test {
 protected:
  testing::EnvironmentDataTestEnvironment environment_;
};

TEST_F(OVAdBidderTokenTest, TokenCarriesTheDeviceAndApplicationKeysWithTheirValues) {
  OVAdSettings::setMediationService("AcmeMediation");
  const Value token = decodeToken(OVAdSettings::bidderToken());
  ASSERT_TRUE(token.isDictionary());

  EXPECT_EQ(keysOf(token), (std::set<std::string>{"SCREEN_HEIGHT", "SCREEN_WIDTH", "DENSITY", "SDK_VERSION",
                                                  "SDK_CAPABILITY", "SECURITY_DISABLED", "OS", "SDK", "MAKE",
                                                  "MODEL", "OSVERS", "BUNDLE", "APPVERS", "APPBUILD", "LOCALE",
                                                  "MEDIATION_SERVICE", "NETWORK_TYPE", "SESSION_ID",
                                                  "SESSION_TIME", "UNITY"}));
  EXPECT_DOUBLE_EQ(token.find("SCREEN_HEIGHT")->toDouble(), 667.0);
  EXPECT_DOUBLE_EQ(token.find("SCREEN_WIDTH")->toDouble(), 375.0);
  EXPECT_EQ(*token.find("DENSITY"), Value("2"));
  EXPECT_EQ(*token.find("SECURITY_DISABLED"), Value("0"));
  EXPECT_EQ(*token.find("UNITY"), Value(0));
  EXPECT_EQ(*token.find("NETWORK_TYPE"), Value(1));
  EXPECT_EQ(*token.find("MODEL"), Value("x86_64"));
  EXPECT_EQ(*token.find("BUNDLE"), Value("com.example.game"));
  EXPECT_EQ(*token.find("MEDIATION_SERVICE"), Value("AcmeMediation"));
  EXPECT_EQ(*token.find("SESSION_ID"), Value(testing::kTestSessionId));
  EXPECT_EQ(*token.find("SESSION_TIME"), Value("12.5"));
}

TEST_F(OVAdBidderTokenTest, MissingFactsAreLeftOutOfTheToken) {
  platform::setMainBundleInfo({std::nullopt, std::nullopt, "210"});
  const Value token = decodeToken(OVAdSettings::bidderToken());
  ASSERT_TRUE(token.isDictionary());
  for (const char* key : {"MEDIATION_SERVICE", "BUNDLE", "APPVERS"}) {
    EXPECT_FALSE(token.asDictionary().contains(key)) << key;
  }
  EXPECT_EQ(*token.find("APPBUILD"), Value("210"));
}

// The token is no request: it names no placement, carries no client events
// (they stay for the next request) and starts no motion sampling.
TEST_F(OVAdBidderTokenTest, TakingATokenLeavesRequestStateAlone) {
  OVAdClientEventManager::addClientEvent(OVAdClientEventManager::createErrorEventWithMessage("pending"));
  OVAdSettings::addTestDevice(testing::kTestDeviceHashOfIdentifier);
  const Value token = decodeToken(OVAdSettings::bidderToken());
  for (const char* key : {"PLACEMENT_ID", "CLIENT_EVENTS", "TEST_MODE", "IDFA", "REQUEST_TIME", "ADAPTERS"}) {
    EXPECT_FALSE(token.asDictionary().contains(key)) << key;
  }
  EXPECT_EQ(environment_.motionRequests(), 0);
  EXPECT_NE(OVAdClientEventManager::dumpClientEventsToJson().find("pending"), std::string::npos);
}

TEST_F(OVAdBidderTokenTest, TokensTakenASecondApartDifferInSessionTime) {
  double sessionTime = 3.0;
  const auto previous = OVAdEnvironmentData::installSessionSource([&sessionTime] {
    return OVAdSessionFacts{testing::kTestSessionId, sessionTime};
  });
  const std::string first = OVAdSettings::bidderToken();
  sessionTime += 1.0;
  const std::string second = OVAdSettings::bidderToken();
  OVAdEnvironmentData::installSessionSource(previous);

  EXPECT_NE(first, second);
  EXPECT_EQ(*decodeToken(first).find("SESSION_TIME"), Value("3"));
  EXPECT_EQ(*decodeToken(second).find("SESSION_TIME"), Value("4"));
}

}  // namespace
}  // namespace plexora
