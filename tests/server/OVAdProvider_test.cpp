// The ad provider against a loopback ad server: what a load posts, what the
// delegate hears for each kind of answer and failure, the throttle and the
// cached answer, bid payloads, cancellation and release.
#include "server/OVAdProvider.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <string>
#include <vector>

#include "dto/OVAdBidPayload.h"
#include "dto/OVAdPlacementDefinition.h"
#include "platform/net/URLError.h"
#include "server/OVAdProviderTestSupport.h"
#include "plexora/OVAdErrorDomain.h"
#include "util/OVAdError.h"

namespace plexora {
namespace {

using namespace std::chrono_literals;
using platform::Dictionary;
using platform::Value;
using testserver::Response;

constexpr const char* kCacheableAnswer =
    R"({"type":"ads","code":0,"message":"","placements":[{"definition":{"refresh_threshold":60,"cacheable":true},)"
    R"("ads":[{"adapter":"PX","data":{"ct":"ct-0"},"trackers":[{"type":"impression","url":"https://t.example/i"}]},)"
    R"({"adapter":"ADMOB","data":{"unit_id":"u1"}}]}]})";

std::string detailText(const platform::Error& error, const char* key) {
  const Value* detail = error.userInfo().find(kOVAdErrorDetailKey);
  if (detail == nullptr || detail->find(key) == nullptr) {
    return "<absent>";
  }
  return detail->find(key)->text().value_or("<not text>");
}

class OVAdProviderTest : public ::testing::Test {
 protected:
  void answerWith(int status, std::string body) {
    world_.server().on(testing::kDeliveryPath, Response::text(status, std::move(body)));
  }

  testing::ProviderTestWorld world_;
};

TEST_F(OVAdProviderTest, ALoadPostsTheParametersAndDeliversTheParsedAnswerOnTheMainQueue) {
  answerWith(200, kCacheableAnswer);
  const auto provider = world_.provider();
  const auto data = testing::ProviderTestWorld::interstitial();
  provider->loadAdWithEnvironmentData(data);
  EXPECT_EQ(world_.delegate().calls(), 0u);
  ASSERT_TRUE(world_.waitForCalls(1));

  ASSERT_EQ(world_.delegate().successes.size(), 1u);
  EXPECT_FALSE(world_.delegate().calledOffMainThread());
  const auto& placement = world_.delegate().successes[0]->adPlacement();
  ASSERT_EQ(placement->adCandidates().size(), 2u);
  EXPECT_EQ(placement->adCandidates()[1]->adapterID(), "ADMOB");
  EXPECT_EQ(placement->definition()->refreshThreshold(), 60);
  EXPECT_EQ(provider->environmentData(), nullptr);

  const auto requests = world_.server().requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].path, testing::kDeliveryPath);
  const auto fields = requests[0].formFields();
  EXPECT_NE(std::find(fields.begin(), fields.end(), std::pair<std::string, std::string>("PLACEMENT_ID", "123_456")),
            fields.end());
  EXPECT_EQ(OVAdConnectionUtility::getLastLoadTimeForEnvironmentData(data.get()),
            world_.environment().clock().wallTime());
  EXPECT_EQ(OVAdConnectionUtility::getLastRefreshThresholdForEnvironmentData(data.get()), 60);
}

TEST_F(OVAdProviderTest, TheAnswerIsParsedBeforeItsOneTaskReachesTheMainQueue) {
  answerWith(200, kCacheableAnswer);
  const auto provider = world_.provider();
  provider->loadAdWithEnvironmentData(testing::ProviderTestWorld::interstitial());
  // The main loop stays idle while the answer travels: whatever it queues
  // first must already be the parsed answer.
  pollfd waiting{platform::MainLoop::instance().wakeupFd(), POLLIN, 0};
  ASSERT_EQ(::poll(&waiting, 1, static_cast<int>(testing::kNetworkWaitSeconds * 1000)), 1);
  // One turn handles the parsed answer, the next calls the delegate.
  platform::MainLoop::instance().runOnce();
  EXPECT_EQ(world_.delegate().calls(), 0u);
  platform::MainLoop::instance().runOnce();
  ASSERT_EQ(world_.delegate().successes.size(), 1u);
  EXPECT_EQ(world_.delegate().successes[0]->adPlacement()->adCandidates().size(), 2u);
}

TEST_F(OVAdProviderTest, TheConversionCookiesReachTheMainQueueWithTheParsedAnswer) {
  answerWith(200,
             R"({"type":"ads","code":0,"message":"","placements":[{"definition":{"conv_tracking_data":)"
             R"([{"url":"https://conv.example/b","key":"plx_conv","value":"b1"}]},"ads":[{"adapter":"PX"}]}]})");
  std::vector<std::string> installed;
  OVAdPlacementDefinition::setLocalCookieInstaller(
      [&](const OVAdHTTPCookie& cookie) { installed.push_back(cookie.name); });
  const auto provider = world_.provider();
  provider->loadAdWithEnvironmentData(testing::ProviderTestWorld::interstitial());
  pollfd waiting{platform::MainLoop::instance().wakeupFd(), POLLIN, 0};
  const bool woken = ::poll(&waiting, 1, static_cast<int>(testing::kNetworkWaitSeconds * 1000)) == 1;
  // The turn that wakes the main loop installs the cookie and handles the
  // answer: the main thread is not woken once for each.
  platform::MainLoop::instance().runOnce();
  const std::vector<std::string> installedInFirstTurn = installed;
  platform::MainLoop::instance().runOnce();
  OVAdPlacementDefinition::setLocalCookieInstaller(nullptr);

  ASSERT_TRUE(woken);
  EXPECT_EQ(installedInFirstTurn, std::vector<std::string>{"plx_conv"});
  EXPECT_EQ(world_.delegate().successes.size(), 1u);
}

TEST_F(OVAdProviderTest, AnAnswerParsedForALoadThatWasReplacedMeanwhileIsDropped) {
  constexpr const char* kOneCandidate =
      R"({"type":"ads","code":0,"placements":[{"definition":{},"ads":[{"adapter":"LATER"}]}]})";
  world_.server().on(testing::kDeliveryPath, [](const testserver::RecordedRequest& request) {
    const auto fields = request.formFields();
    const bool first =
        std::find(fields.begin(), fields.end(), std::pair<std::string, std::string>("PLACEMENT_ID", "1_1")) !=
        fields.end();
    return Response::text(200, first ? kCacheableAnswer : kOneCandidate);
  });
  const auto provider = world_.provider();
  provider->loadAdWithEnvironmentData(testing::ProviderTestWorld::interstitial("1_1"));
  // The first answer waits, parsed, on the main queue when the next load
  // begins.
  pollfd waiting{platform::MainLoop::instance().wakeupFd(), POLLIN, 0};
  ASSERT_EQ(::poll(&waiting, 1, static_cast<int>(testing::kNetworkWaitSeconds * 1000)), 1);
  provider->loadAdWithEnvironmentData(testing::ProviderTestWorld::interstitial("2_2"));

  ASSERT_TRUE(world_.waitForCalls(1));
  testing::ProviderTestWorld::runBriefly();
  ASSERT_EQ(world_.delegate().successes.size(), 1u);
  EXPECT_TRUE(world_.delegate().errors.empty());
  const auto& candidates = world_.delegate().successes[0]->adPlacement()->adCandidates();
  ASSERT_EQ(candidates.size(), 1u);
  EXPECT_EQ(candidates[0]->adapterID(), "LATER");
  EXPECT_EQ(world_.server().requests().size(), 2u);
}

TEST_F(OVAdProviderTest, AThrottledLoadServesAFreshCopyOfTheCachedAnswerWithoutARequest) {
  answerWith(200, kCacheableAnswer);
  const auto provider = world_.provider();
  provider->loadAdWithEnvironmentData(testing::ProviderTestWorld::interstitial());
  ASSERT_TRUE(world_.waitForCalls(1));
  world_.environment().clock().advance(59.0);

  provider->loadAdWithEnvironmentData(testing::ProviderTestWorld::interstitial());
  EXPECT_EQ(world_.delegate().calls(), 1u) << "the cached answer comes one main-queue turn later";
  ASSERT_TRUE(world_.waitForCalls(2));
  ASSERT_EQ(world_.delegate().successes.size(), 2u);
  const auto& first = world_.delegate().successes[0]->adPlacement()->adCandidates();
  const auto& second = world_.delegate().successes[1]->adPlacement()->adCandidates();
  ASSERT_EQ(second.size(), 2u);
  EXPECT_NE(first[0], second[0]);
  EXPECT_EQ(world_.server().requests().size(), 1u);

  // Once the threshold has passed the server is asked again.
  world_.environment().clock().advance(1.0);
  provider->loadAdWithEnvironmentData(testing::ProviderTestWorld::interstitial());
  ASSERT_TRUE(world_.waitForCalls(3));
  EXPECT_EQ(world_.server().requests().size(), 2u);
}

TEST_F(OVAdProviderTest, AThrottledLoadWithNothingCachedFailsWithTooFrequent) {
  // The server's error names a threshold: the placement may not ask again
  // for 60 s.
  answerWith(200, R"({"type":"error","code":1001,"message":"No fill","placements":[{"definition":{"refresh_threshold":60}}]})");
  const auto provider = world_.provider();
  provider->loadAdWithEnvironmentData(testing::ProviderTestWorld::interstitial());
  ASSERT_TRUE(world_.waitForCalls(1));
  ASSERT_EQ(world_.delegate().errors.size(), 1u);
  EXPECT_EQ(world_.delegate().errors[0].code(), kOVAdErrorCodeNoFill);

  provider->loadAdWithEnvironmentData(testing::ProviderTestWorld::interstitial());
  ASSERT_TRUE(world_.waitForCalls(2));
  ASSERT_EQ(world_.delegate().errors.size(), 2u);
  EXPECT_EQ(world_.delegate().errors[1].code(), kOVAdErrorCodeLoadTooFrequently);
  EXPECT_EQ(world_.delegate().errors[1].localizedDescription(), "Ad was re-loaded too frequently");
  EXPECT_EQ(world_.server().requests().size(), 1u);
}

TEST_F(OVAdProviderTest, EveryBadAnswerEndsInItsErrorOnTheMainQueue) {
  const std::string deep = "{\"type\":\"ads\",\"placements\":[" + std::string(1 << 20, '[');
  // A proxy's or a broken server's page: only its start reaches the error.
  const std::string largeText = "<html>" + std::string(3 << 20, 'x');
  const std::string largeJSON = R"({"type":"ads","code":0,"pad":")" + std::string(4 << 20, 'a') + R"("})";
  const struct {
    const char* name;
    int status;
    std::string body;
    std::int64_t code;
    const char* detailKey;
    std::string detailValue;
  } cases[] = {
      {"HTTP 500", 500, "", kOVAdErrorCodeServerError, "url", ""},
      {"HTTP 404 with the server's error document", 404, R"({"error":{"message":"gone","code":7}})",
       kOVAdErrorCodeServerError, "message", "gone"},
      {"not JSON", 200, "<html>busy</html>", kOVAdErrorCodeInternalError, "response", "<html>busy</html>"},
      {"not UTF-8", 200, "{\"type\":\"ads\xff\xfe\"}", kOVAdErrorCodeInternalError, "response", ""},
      {"truncated", 200, R"({"type":"ads","code":0,"placements":[{"ads":[)", kOVAdErrorCodeInternalError, "response",
       R"({"type":"ads","code":0,"placements":[{"ads":[)"},
      {"an array at the top", 200, "[1,2]", kOVAdErrorCodeInternalError, "response", "[1,2]"},
      {"an ad that is no object", 200, R"({"type":"ads","code":0,"placements":[{"ads":[5]}]})",
       kOVAdErrorCodeInternalError, "response", R"({"type":"ads","code":0,"placements":[{"ads":[5]}]})"},
      {"unknown type", 200, R"({"type":"video"})", kOVAdErrorCodeInternalError, "response", R"({"type":"video"})"},
      {"ads without placements", 200, R"({"type":"ads","code":0})", kOVAdErrorCodeInternalError, "response",
       R"({"type":"ads","code":0})"},
      {"server error with a code", 200, R"({"type":"error","code":1001,"message":"No fill"})", kOVAdErrorCodeNoFill,
       "msg", "No fill"},
      {"server error without a code", 200, R"({"type":"error","message":"Server busy"})",
       kOVAdErrorCodeServerError, "msg", "Server busy"},
      {"server error whose code is text", 200, R"({"type":"error","code":"x","message":"m"})",
       kOVAdErrorCodeServerError, "msg", "m"},
      {"nesting deeper than any reader allows", 200, deep, kOVAdErrorCodeInternalError, "error", "<any>"},
      {"large and not JSON", 200, largeText, kOVAdErrorCodeInternalError, "response", largeText.substr(0, 4096)},
      {"not UTF-8 beyond the part shown", 200, std::string(8192, 'x') + "\xff", kOVAdErrorCodeInternalError,
       "response", ""},
      {"larger than any real answer", 200, largeJSON, kOVAdErrorCodeServerError, "url", ""},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    OVAdConnectionUtility::resetForTesting();
    world_.delegate().errors.clear();
    world_.delegate().successes.clear();
    answerWith(test.status, test.body);
    const auto provider = world_.provider();
    provider->loadAdWithEnvironmentData(testing::ProviderTestWorld::interstitial());
    ASSERT_TRUE(world_.waitForCalls(1));
    EXPECT_FALSE(world_.delegate().calledOffMainThread());
    ASSERT_EQ(world_.delegate().errors.size(), 1u);
    const platform::Error& error = world_.delegate().errors[0];
    EXPECT_EQ(error.domain(), OVPlexoraErrorDomain);
    EXPECT_EQ(error.code(), test.code);
    if (std::string(test.detailKey) == "url") {
      EXPECT_EQ(detailText(error, "url"), world_.deliveryEndpoint());
    } else if (test.detailValue == "<any>") {
      EXPECT_NE(detailText(error, test.detailKey), "<absent>");
    } else {
      EXPECT_EQ(detailText(error, test.detailKey), test.detailValue);
    }
    EXPECT_EQ(provider->environmentData(), nullptr);
  }
}

// Transport failures the loopback server cannot stage quickly (a time-out
// takes the session's full 10 s), judged as the session would hand them over.
class TransportOutcomeProbe final : public OVAdProvider {
 public:
  explicit TransportOutcomeProbe(std::weak_ptr<OVAdProviderDelegate> delegate)
      : OVAdProvider(std::move(delegate), nullptr) {}
  using OVAdProvider::handleAdResponse;
};

TEST_F(OVAdProviderTest, ATimedOutRequestIsANetworkErrorAndAnyOtherTransportErrorAServerError) {
  const struct {
    const char* name;
    platform::Error transportError;
    std::int64_t code;
  } cases[] = {
      {"timed out", platform::Error(platform::kURLErrorDomain, platform::kURLErrorTimedOut), kOVAdErrorCodeNetworkError},
      {"cannot connect", platform::Error(platform::kURLErrorDomain, platform::kURLErrorCannotConnectToHost),
       kOVAdErrorCodeServerError},
      {"-1001 of another domain", platform::Error("OtherDomain", -1001), kOVAdErrorCodeServerError},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    world_.delegate().errors.clear();
    const auto probe = std::make_shared<TransportOutcomeProbe>(world_.sharedDelegate());
    probe->handleAdResponse(std::nullopt, {}, test.transportError, "https://ads.example/network_ads_common/");
    EXPECT_EQ(world_.delegate().calls(), 0u) << "reported one main-queue turn later";
    ASSERT_TRUE(world_.waitForCalls(1));
    ASSERT_EQ(world_.delegate().errors.size(), 1u);
    EXPECT_EQ(world_.delegate().errors[0].code(), test.code);
    EXPECT_EQ(detailText(world_.delegate().errors[0], "url"), "https://ads.example/network_ads_common/");
  }
}

TEST_F(OVAdProviderTest, ABidPayloadCreativeIsAnsweredWithoutARequest) {
  const struct {
    const char* name;
    std::string creative;
    bool succeeds;
  } cases[] = {
      {"ads", R"({\"type\":\"ads\",\"code\":0,\"placements\":[{\"ads\":[{\"adapter\":\"PX\"}]}]})", true},
      {"not JSON", "no json", false},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    world_.delegate().successes.clear();
    world_.delegate().errors.clear();
    const std::string payloadJson =
        R"({"bid_id":"42","type":"creative","payload":")" + test.creative + R"("})";
    std::optional<platform::Error> payloadError;
    const auto payload = OVAdBidPayload::initWithJsonData(payloadJson, "123_456", 102, &payloadError);
    ASSERT_TRUE(payload) << payloadError->localizedDescription();
    auto data = std::make_shared<OVAdEnvironmentData>("123_456", kOVAdPlacementTypeInterstitial, 102,
                                                      kOVAdSizeInterstitial, payload);
    const auto provider = world_.provider();
    provider->loadAdWithEnvironmentData(data);
    ASSERT_TRUE(world_.waitForCalls(1));
    EXPECT_EQ(world_.delegate().successes.size(), test.succeeds ? 1u : 0u);
    EXPECT_FALSE(OVAdConnectionUtility::getLastLoadTimeForEnvironmentData(data.get()));
  }
  testing::ProviderTestWorld::runBriefly();
  EXPECT_TRUE(world_.server().requests().empty());
}

TEST_F(OVAdProviderTest, CancelDuringARequestLogsItAndNothingReachesTheDelegate) {
  OVAdSettings::setLogLevel(5);
  world_.server().on(testing::kDeliveryPath, Response::text(200, kCacheableAnswer, 300ms));
  auto provider = world_.provider();
  provider->loadAdWithEnvironmentData(testing::ProviderTestWorld::interstitial());
  ASSERT_TRUE(world_.server().waitForRequests(1, 5s));
  provider->cancel();
  EXPECT_EQ(world_.environment().settings().count("Cancelled 1 active network requests"), 1u);
  testing::ProviderTestWorld::runBriefly();
  platform::MainLoop::instance().runUntil([] { return false; }, 0.3);
  EXPECT_EQ(world_.delegate().calls(), 0u);
}

TEST_F(OVAdProviderTest, CancelDropsAThrottledAnswerNotYetDelivered) {
  OVAdConnectionUtility::setForceThrottle(true);
  const auto provider = world_.provider();
  provider->loadAdWithEnvironmentData(testing::ProviderTestWorld::interstitial());
  provider->cancel();
  testing::ProviderTestWorld::runBriefly();
  EXPECT_EQ(world_.delegate().calls(), 0u);
}

TEST_F(OVAdProviderTest, AReleasedProviderReportsNothing) {
  answerWith(200, kCacheableAnswer);
  auto provider = world_.provider();
  provider->loadAdWithEnvironmentData(testing::ProviderTestWorld::interstitial());
  provider.reset();
  ASSERT_TRUE(world_.server().waitForRequests(1, 5s));
  testing::ProviderTestWorld::runBriefly();
  EXPECT_EQ(world_.delegate().calls(), 0u);
}

TEST_F(OVAdProviderTest, AnInvalidEnvironmentIsPostedWithNoFields) {
  answerWith(200, kCacheableAnswer);
  const auto provider = world_.provider();
  provider->loadAdWithEnvironmentData(std::make_shared<OVAdEnvironmentData>(
      "123_456", kOVAdPlacementTypeBanner, 5, OVAdSize{kOVAdSizeFlexible, kOVAdSizeFlexible}));
  ASSERT_TRUE(world_.waitForCalls(1));
  const auto requests = world_.server().requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_TRUE(requests[0].body.empty());
  EXPECT_EQ(requests[0].header("Content-Type"), "application/x-www-form-urlencoded");
  provider->loadAdWithEnvironmentData(nullptr);
  testing::ProviderTestWorld::runBriefly();
  EXPECT_EQ(world_.server().requests().size(), 1u);
}

TEST_F(OVAdProviderTest, TheParametersAreLoggedInKeyOrderWhenLoggingIsOn) {
  OVAdSettings::setLogLevel(4);
  answerWith(200, kCacheableAnswer);
  const auto provider = world_.provider();
  provider->loadAdWithEnvironmentData(testing::ProviderTestWorld::interstitial());
  ASSERT_TRUE(world_.waitForCalls(1));
  const auto lines = world_.environment().settings().lines();
  std::vector<std::string> keys;
  bool header = false;
  for (const std::string& line : lines) {
    header = header || line.find("] Ad request parameters:") != std::string::npos;
    const auto at = line.find("]     ");
    if (at != std::string::npos) {
      keys.push_back(line.substr(at + 6, line.find(" = ", at) - at - 6));
    }
  }
  EXPECT_TRUE(header);
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
  EXPECT_NE(std::find(keys.begin(), keys.end(), "PLACEMENT_ID"), keys.end());
  EXPECT_EQ(world_.environment().settings().count("    PLACEMENT_ID = 123_456"), 1u);
  EXPECT_EQ(world_.environment().settings().count("Ad received successfully"), 1u);
}

TEST(OVAdProviderWithResponseTest, AnswersTheNarrowedResponseAtOnceOnTheCallersThread) {
  const auto candidate = [](const char* adapter) {
    return std::make_shared<OVAdCandidate>(adapter, Dictionary{}, Value(platform::Array{}));
  };
  const OVAdProviderResponseAds response(std::make_shared<OVAdPlacement>(
      0, "", std::make_shared<OVAdPlacementDefinition>(),
      std::vector<std::shared_ptr<OVAdCandidate>>{candidate("PX"), candidate("ADMOB")}));
  EXPECT_EQ(OVAdProviderWithResponse::initWithResponse(response, 2), nullptr);
  EXPECT_EQ(OVAdProviderWithResponse::initWithResponse(response, -1), nullptr);

  const auto provider = OVAdProviderWithResponse::initWithResponse(response, 1);
  ASSERT_TRUE(provider);
  EXPECT_EQ(provider->delegate(), nullptr);
  const auto delegate = std::make_shared<testing::RecordingProviderDelegate>();
  provider->setDelegate(delegate);
  provider->loadAdWithEnvironmentData(nullptr);
  ASSERT_EQ(delegate->successes.size(), 1u);
  const auto& candidates = delegate->successes[0]->adPlacement()->adCandidates();
  ASSERT_EQ(candidates.size(), 1u);
  EXPECT_EQ(candidates[0], response.adPlacement()->adCandidates()[1]);
}

}  // namespace
}  // namespace plexora
