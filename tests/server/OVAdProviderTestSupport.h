// A provider's world for tests: the environment's known facts, a loopback
// ad server under the settings' base URL, a URL session of its own with a
// known user agent, a fresh load throttle, and a delegate that records what
// reaches it and on which thread.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainLoop.h"
#include "plexora/OVAdSettings.h"
#include "server/OVAdEnvironmentData.h"
#include "server/OVAdEnvironmentDataTestEnvironment.h"
#include "server/OVAdLoadThrottle.h"
#include "server/OVAdProvider.h"
#include "server/OVAdURLSession.h"
#include "testserver/TestServer.h"

namespace plexora::testing {

inline constexpr const char* kProviderTestUserAgent = "Mozilla/5.0 (ProviderTest)";
inline constexpr const char* kDeliveryPath = "/network_ads_common/";
inline constexpr double kNetworkWaitSeconds = 10.0;

class RecordingProviderDelegate final : public OVAdProviderDelegate {
 public:
  void onAdRequestSuccess(const std::shared_ptr<OVAdProviderResponseAds>& response) override {
    offMainThread_ = offMainThread_ || !platform::DispatchQueue::isMainThread();
    successes.push_back(response);
  }
  void onAdRequestError(const platform::Error& error) override {
    offMainThread_ = offMainThread_ || !platform::DispatchQueue::isMainThread();
    errors.push_back(error);
  }
  std::size_t calls() const { return successes.size() + errors.size(); }
  bool calledOffMainThread() const { return offMainThread_; }

  std::vector<std::shared_ptr<OVAdProviderResponseAds>> successes;
  std::vector<platform::Error> errors;

 private:
  bool offMainThread_ = false;
};

class ProviderTestWorld {
 public:
  ProviderTestWorld() {
    server_.start();
    OVAdSettings::setAdServerBaseURL(server_.baseURL());
    OVAdConnectionUtility::resetForTesting();
    session_ = OVAdURLSession::create([](auto answer) { answer(std::string(kProviderTestUserAgent)); });
    environment_.clock().advance(OVAdURLSession::kUserAgentPollInterval);
  }
  ~ProviderTestWorld() {
    OVAdConnectionUtility::resetForTesting();
    session_.reset();
    platform::DispatchQueue::settle();
  }
  ProviderTestWorld(const ProviderTestWorld&) = delete;
  ProviderTestWorld& operator=(const ProviderTestWorld&) = delete;

  std::shared_ptr<OVAdProvider> provider() { return OVAdProvider::initWithDelegate(delegate_, session_); }
  static std::shared_ptr<OVAdEnvironmentData> interstitial(std::string placementID = "123_456") {
    return std::make_shared<OVAdEnvironmentData>(std::move(placementID), kOVAdPlacementTypeInterstitial, 102,
                                                 kOVAdSizeInterstitial);
  }
  // Runs the main loop until the delegate has heard `calls` results.
  bool waitForCalls(std::size_t calls) {
    return platform::MainLoop::instance().runUntil([&] { return delegate_->calls() >= calls; },
                                                   kNetworkWaitSeconds);
  }
  // Runs the main loop a little longer, for anything that should not come.
  static void runBriefly() { platform::MainLoop::instance().runUntil([] { return false; }, 0.2); }
  std::string deliveryEndpoint() const { return server_.url(kDeliveryPath); }

  EnvironmentDataTestEnvironment& environment() { return environment_; }
  testserver::TestServer& server() { return server_; }
  RecordingProviderDelegate& delegate() { return *delegate_; }
  std::shared_ptr<RecordingProviderDelegate> sharedDelegate() const { return delegate_; }
  const std::shared_ptr<OVAdURLSession>& session() const { return session_; }

 private:
  EnvironmentDataTestEnvironment environment_;
  testserver::TestServer server_;
  std::shared_ptr<OVAdURLSession> session_;
  std::shared_ptr<RecordingProviderDelegate> delegate_ = std::make_shared<RecordingProviderDelegate>();
};

}  // namespace plexora::testing
