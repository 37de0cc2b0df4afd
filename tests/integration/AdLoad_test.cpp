// One load of a placement from end to end: the provider posts the
// environment's form with the library's user agent to the loopback ad
// server, and the server's answer arrives on the main queue as a parsed
// placement with its definition and candidates.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/dispatch/MainLoop.h"
#include "plexora/OVAdSettings.h"
#include "server/OVAdEnvironmentData.h"
#include "server/OVAdEnvironmentDataTestEnvironment.h"
#include "server/OVAdLoadThrottle.h"
#include "server/OVAdProvider.h"
#include "server/OVAdProviderTestSupport.h"
#include "server/OVAdURLSession.h"
#include "testserver/adserver/AdServer.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

using namespace std::chrono_literals;

constexpr const char* kRawUserAgent = "Mozilla/5.0 (X11; Linux x86_64) TestWebView/1.0";

class AdLoadTest : public ::testing::Test {
 protected:
  AdLoadTest() {
    server_.start();
    OVAdSettings::setAdServerBaseURL(server_.baseURL());
    OVAdConnectionUtility::resetForTesting();
    session_ = OVAdURLSession::create(
        [](auto answer) { answer(OVAdUtility::generateUserAgentStringFromRawString(std::string(kRawUserAgent))); });
    // Past the first user-agent poll, to a wall time the form writes exactly.
    environment_.clock().advance(0.25);
  }
  ~AdLoadTest() override {
    OVAdConnectionUtility::resetForTesting();
    session_.reset();
    platform::DispatchQueue::settle();
  }

  testing::EnvironmentDataTestEnvironment environment_;
  testserver::AdServer server_;
  std::shared_ptr<OVAdURLSession> session_;
  std::shared_ptr<testing::RecordingProviderDelegate> delegate_ = std::make_shared<testing::RecordingProviderDelegate>();
};

TEST_F(AdLoadTest, ABannerLoadPostsTheExactFormAndUserAgentAndDeliversTheParsedPlacement) {
  const auto provider = OVAdProvider::initWithDelegate(delegate_, session_);
  provider->loadAdWithEnvironmentData(
      std::make_shared<OVAdEnvironmentData>("banner", kOVAdPlacementTypeBanner, 4, kOVAdSize320x50));
  ASSERT_TRUE(platform::MainLoop::instance().runUntil([&] { return delegate_->calls() > 0; }, 10.0));

  // The request, field by field.
  const auto requests = server_.adRequests();
  ASSERT_EQ(requests.size(), 1u);
  const testserver::RecordedRequest& request = requests[0];
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.path, "/network_ads_common/");
  EXPECT_EQ(request.header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(request.header("User-Agent"),
            std::string(kRawUserAgent) +
                " [OVPX/PlexoraForiOS;OVDV/x86_64;OVMD/TestModel;OVSN/Linux;OVSV/10.3;OVLC/de_CH;OVVS/0.1.0;"
                "OVAB/com.example.game;OVAV/2.1;OVBV/210]");
  const testserver::Fields expected = {
      {"SCREEN_HEIGHT", "667"},
      {"SCREEN_WIDTH", "375"},
      {"DENSITY", "2"},
      {"SDK_VERSION", "0.1.0"},
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
      {"NETWORK_TYPE", "1"},
      {"SESSION_ID", testing::kTestSessionId},
      {"SESSION_TIME", "12.5"},
      {"UNITY", "0"},
      {"PLACEMENT_ID", "banner"},
      {"IDFA", testing::kTestAdvertisingIdentifier},
      {"IDFA_FLAG", "1"},
      {"COPPA", "0"},
      {"WIDTH", "320"},
      {"HEIGHT", "50"},
      {"TEMPLATE_ID", "4"},
      {"NUM_ADS_REQUESTED", "1"},
      {"CLIENT_EVENTS", ""},
      {"VOLUME", "0.25"},
      {"REQUEST_TIME", "1700000000.5"},
      {"ADAPTERS", "PX,ADMOB"},
      {"ORIENTATION", "1"},
      {"COCOS2D", "0"},
  };
  EXPECT_EQ(request.formFields(), expected);

  // The answer, parsed.
  ASSERT_EQ(delegate_->errors.size(), 0u);
  ASSERT_EQ(delegate_->successes.size(), 1u);
  EXPECT_FALSE(delegate_->calledOffMainThread());
  const auto& placement = delegate_->successes[0]->adPlacement();
  EXPECT_EQ(placement->code(), 0);
  const auto& definition = placement->definition();
  ASSERT_TRUE(definition);
  EXPECT_EQ(definition->minViewabilityPercentage(), 50);
  EXPECT_EQ(definition->refreshInterval(), 30);
  EXPECT_EQ(definition->refreshThreshold(), 20);
  EXPECT_EQ(definition->requestTimeout(), 5000);
  EXPECT_EQ(definition->clientMaxRetryCount(), 2);
  EXPECT_FALSE(definition->cacheable());
  EXPECT_EQ(definition->placementSize(), (OVAdSize{320.0, 50.0}));
  ASSERT_EQ(definition->cookieData().size(), 1u);
  EXPECT_EQ(definition->cookieData()[0]->key(), "plx_conv");

  const auto& candidates = placement->adCandidates();
  ASSERT_EQ(candidates.size(), 3u);
  const std::vector<std::string> adapters = {candidates[0]->adapterID(), candidates[1]->adapterID(),
                                             candidates[2]->adapterID()};
  EXPECT_EQ(adapters, (std::vector<std::string>{"PX", "PX", "ADMOB"}));
  EXPECT_EQ(candidates[0]->data().find("ct")->text(), "ct-banner-1");
  const auto& impressions = candidates[0]->trackerURLs(OVAdTrackerType::Impression);
  EXPECT_EQ(impressions, (std::vector<std::string>{server_.trackerURL("banner-1-impression"),
                                                     server_.trackerURL("banner-1-impression-partner")}));
  EXPECT_TRUE(candidates[2]->trackerURLs(OVAdTrackerType::Click).empty());

  // The answer started the banner's throttle window.
  EXPECT_TRUE(OVAdConnectionUtility::shouldThrottleFrequentLoadForEnvironmentData(
      std::make_shared<OVAdEnvironmentData>("banner", kOVAdPlacementTypeBanner, 4, kOVAdSize320x50).get()));
  testing::ProviderTestWorld::runBriefly();
}

}  // namespace
}  // namespace plexora
