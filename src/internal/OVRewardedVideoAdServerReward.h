// The server-side reward of a rewarded video ad: a form-encoded POST to the
// network's web host that names the rewarded user, the reward, a fresh
// transaction identifier and the application (the placement's first part),
// so the publisher's server can credit the user. It is sent at most once per
// ad and never retried.
//
// The web host is the one the event logs go to: the network's own while
// the host talks to the network's ad server, else the configured ad server
// itself (development servers and tests); a URL prefix goes in after the
// host's first label.
//
// Thread safety: every member may be called from any thread; the outcome is
// told on the main queue.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/value/Value.h"

namespace plexora {

class OVAdURLSession;
class OVRewardedVideoRewardData;

inline constexpr const char* kOVServerSideRewardPath = "plexora/server_side_reward";
inline constexpr const char* kOVServerSideRewardUserKey = "puid";
inline constexpr const char* kOVServerSideRewardCurrencyKey = "pc";
inline constexpr const char* kOVServerSideRewardTransactionKey = "ptid";
inline constexpr const char* kOVServerSideRewardApplicationKey = "appid";

class OVRewardedVideoAdServerReward final {
 public:
  // True: the server answered 200.
  using Completion = std::function<void(bool succeeded)>;

  OVRewardedVideoAdServerReward() = delete;

  // The currency followed by the amount, or the currency alone for an
  // amount of 0; no currency counts as the empty text.
  static std::string rewardText(const std::optional<std::string>& currency, std::int64_t amount);
  // The placement identifier up to its first "_"; the whole of it without
  // one.
  static std::string applicationID(const std::string& placementID);
  // The form of the request; none without a user identifier.
  static std::optional<platform::Dictionary> parameters(const OVRewardedVideoRewardData& rewardData,
                                                         const std::string& placementID);
  // The address the reward goes to.
  static std::string rewardURL();

  // Sends the reward through `session` (the shared one when none) and tells
  // the completion on the main queue. Answers false, sending nothing and
  // calling nothing, without reward data or a user identifier.
  static bool send(const std::shared_ptr<OVRewardedVideoRewardData>& rewardData, const std::string& placementID,
                   Completion completion, std::shared_ptr<OVAdURLSession> session = nullptr);
};

}  // namespace plexora
