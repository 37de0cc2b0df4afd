#include "internal/OVRewardedVideoAdServerReward.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/UUID.h"
#include "plexora/OVAdSettings.h"
#include "plexora/OVRewardedVideoAd.h"
#include "server/OVAdURLSession.h"
#include "tracking/OVAdEventManager.h"
#include "util/OVAdLogger.h"
#include "util/OVAdSettingsInternal.h"

namespace plexora {

namespace {

constexpr const char* kPost = "POST";
constexpr long kStatusOK = 200;
constexpr char kApplicationSeparator = '_';
constexpr const char* kRewardFailedMessage = "Server-side reward failed, status %ld";

// The network's web host while the ad server is the network's own (a host
// under the web host's domain), else the configured ad server.
std::string webHostBaseURL() {
  const std::string adServer = OVAdSettings::adServerBaseURL();
  const auto adServerURL = platform::URL::parse(adServer);
  const auto webURL = platform::URL::parse(kOVAdLoggingBaseURL);
  if (!adServerURL || !webURL) {
    return kOVAdLoggingBaseURL;
  }
  const std::string& webHost = webURL->host();
  const auto firstDot = webHost.find('.');
  const std::string domain = firstDot == std::string::npos ? webHost : webHost.substr(firstDot + 1);
  const std::string& host = adServerURL->host();
  const bool ownServer = host == domain || (host.size() > domain.size() && host.ends_with(domain) &&
                                            host[host.size() - domain.size() - 1] == '.');
  return ownServer ? std::string(kOVAdLoggingBaseURL) : adServer;
}

}  // namespace

std::string OVRewardedVideoAdServerReward::rewardText(const std::optional<std::string>& currency,
                                                      std::int64_t amount) {
  std::string text = currency.value_or("");
  if (amount != 0) {
    text += std::to_string(amount);
  }
  return text;
}

std::string OVRewardedVideoAdServerReward::applicationID(const std::string& placementID) {
  return placementID.substr(0, placementID.find(kApplicationSeparator));
}

std::optional<platform::Dictionary> OVRewardedVideoAdServerReward::parameters(
    const OVRewardedVideoRewardData& rewardData, const std::string& placementID) {
  if (!rewardData.userID()) {
    return std::nullopt;
  }
  return platform::Dictionary{
      {kOVServerSideRewardUserKey, *rewardData.userID()},
      {kOVServerSideRewardCurrencyKey, rewardText(rewardData.currency(), rewardData.amount())},
      {kOVServerSideRewardTransactionKey, platform::makeUUIDString()},
      {kOVServerSideRewardApplicationKey, applicationID(placementID)},
  };
}

std::string OVRewardedVideoAdServerReward::rewardURL() {
  const std::string defaultURL = webHostBaseURL();
  const std::string base =
      OVAdSettings::getBaseURLWithDefault(defaultURL, OVAdSettingsInternal::prefixedHostFormat(defaultURL));
  const auto baseURL = platform::URL::parse(base);
  const auto endpoint = baseURL ? platform::URL::resolve(kOVServerSideRewardPath, *baseURL) : std::nullopt;
  return endpoint ? endpoint->absoluteString() : std::string();
}

bool OVRewardedVideoAdServerReward::send(const std::shared_ptr<OVRewardedVideoRewardData>& rewardData,
                                         const std::string& placementID, Completion completion,
                                         std::shared_ptr<OVAdURLSession> session) {
  std::optional<platform::Dictionary> form = rewardData ? parameters(*rewardData, placementID) : std::nullopt;
  if (!form) {
    return false;
  }
  if (!session) {
    session = OVAdURLSession::sharedSession();
  }
  session->requestWithURL(
      rewardURL(), std::string(kPost), platform::Value(std::move(*form)),
      [completion = std::move(completion)](const std::shared_ptr<OVAdURLSessionTaskContainer>& /*container*/,
                                           const std::optional<platform::HTTPURLResponse>& response,
                                           const platform::Bytes& /*data*/, const std::optional<platform::Error>& error,
                                           double /*duration*/) {
        const bool succeeded = !error && response && response->statusCode == kStatusOK;
        if (!succeeded) {
          OV_LOG(kOVAdLogLevelError, kRewardFailedMessage, response ? response->statusCode : 0L);
        }
        platform::DispatchQueue::main()->async([completion, succeeded] {
          if (completion) completion(succeeded);
        });
      });
  return true;
}

}  // namespace plexora
