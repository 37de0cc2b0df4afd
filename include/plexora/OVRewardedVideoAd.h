// A rewarded video ad: a full-screen video the user watches in exchange for
// a reward, optionally followed by an HTML end card. The host creates it for
// a placement, optionally with the rewarded user's identifier, a currency
// and an amount, loads it once and shows it once. When the ad closes after
// the video was watched (to its end or skipped), a reward for a known user
// is confirmed to the network's server, and the host hears whether that
// succeeded.
//
//   auto ad = OVRewardedVideoAd::initWithPlacementID("123_456", "user-42", "coins", 10);
//   ad->setDelegate(myDelegate);
//   ad->loadAd();
//   // in rewardedVideoAdDidLoad:
//   ad->showAdFromRootViewController(rootViewController);
//
// Thread safety: main thread only; every delegate message arrives there.
// Ownership: the host owns the ad; the ad owns its controller and reward
// data and holds its delegate weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/Export.h"
#include "platform/foundation/Error.h"

namespace plexora::platform {
class ViewController;
}  // namespace plexora::platform

namespace plexora {

class OVDisplayAdController;
class OVRewardedVideoAd;
class OVRewardedVideoAdEvents;

inline constexpr const char* kOVRewardedVideoAdInvalidOperationException = "InvalidOperationException";
inline constexpr const char* kOVRewardedVideoAdInvalidArgumentException = "NSInvalidArgumentException";
inline constexpr const char* kOVRewardedVideoAdLoadOnceReason = "OVRewardedVideoAd loadAd can only be called once";
inline constexpr const char* kOVRewardedVideoAdNoRootReason = "rootViewController cannot be nil";
inline constexpr const char* kOVRewardedVideoAdNotLoadedReason = "Ad not Loaded";
inline constexpr const char* kOVRewardedVideoAdShowOnceReason = "showAdFromRootViewController may only be called once";

// Who is rewarded and with what. Immutable.
class PLEXORA_EXPORT OVRewardedVideoRewardData {
 public:
  OVRewardedVideoRewardData() = default;
  OVRewardedVideoRewardData(std::optional<std::string> userID, std::optional<std::string> currency,
                            std::int64_t amount)
      : userID_(std::move(userID)), currency_(std::move(currency)), amount_(amount) {}

  const std::optional<std::string>& userID() const { return userID_; }
  const std::optional<std::string>& currency() const { return currency_; }
  std::int64_t amount() const { return amount_; }

 private:
  std::optional<std::string> userID_;
  std::optional<std::string> currency_;
  std::int64_t amount_ = 0;
};

// Every message is optional.
class PLEXORA_EXPORT OVRewardedVideoAdDelegate {
 public:
  virtual ~OVRewardedVideoAdDelegate() = default;

  virtual void rewardedVideoAdDidLoad(const std::shared_ptr<OVRewardedVideoAd>& /*ad*/) {}
  // didFailWithError: the ad could not be loaded, or its video failed.
  virtual void rewardedVideoAd(const std::shared_ptr<OVRewardedVideoAd>& /*ad*/, const platform::Error& /*error*/) {}
  virtual void rewardedVideoAdWillLogImpression(const std::shared_ptr<OVRewardedVideoAd>& /*ad*/) {}
  virtual void rewardedVideoAdDidClick(const std::shared_ptr<OVRewardedVideoAd>& /*ad*/) {}
  virtual void rewardedVideoAdWillClose(const std::shared_ptr<OVRewardedVideoAd>& /*ad*/) {}
  virtual void rewardedVideoAdDidClose(const std::shared_ptr<OVRewardedVideoAd>& /*ad*/) {}
  // The video was watched to its end or skipped: the reward is earned.
  virtual void rewardedVideoAdComplete(const std::shared_ptr<OVRewardedVideoAd>& /*ad*/) {}
  // The network's server confirmed the reward, or did not.
  virtual void rewardedVideoAdServerRewardDidSucceed(const std::shared_ptr<OVRewardedVideoAd>& /*ad*/) {}
  virtual void rewardedVideoAdServerRewardDidFail(const std::shared_ptr<OVRewardedVideoAd>& /*ad*/) {}
};

class PLEXORA_EXPORT OVRewardedVideoAd final : public std::enable_shared_from_this<OVRewardedVideoAd> {
 public:
  // An ad for the empty placement.
  static std::shared_ptr<OVRewardedVideoAd> init();
  static std::shared_ptr<OVRewardedVideoAd> initWithPlacementID(const std::string& placementID);
  static std::shared_ptr<OVRewardedVideoAd> initWithPlacementID(const std::string& placementID,
                                                                const std::optional<std::string>& userID,
                                                                const std::optional<std::string>& currency);
  static std::shared_ptr<OVRewardedVideoAd> initWithPlacementID(const std::string& placementID,
                                                                const std::optional<std::string>& userID,
                                                                const std::optional<std::string>& currency,
                                                                std::int64_t amount);

  ~OVRewardedVideoAd();
  OVRewardedVideoAd(const OVRewardedVideoAd&) = delete;
  OVRewardedVideoAd& operator=(const OVRewardedVideoAd&) = delete;

  // Throws platform::Exception (kOVRewardedVideoAdInvalidOperationException,
  // kOVRewardedVideoAdLoadOnceReason) from the second call on.
  void loadAd();
  void doLoadAd(const std::optional<std::string>& bidPayload);

  // Presents the ad; answers whether it was. Throws platform::Exception
  // without a root view controller (kOVRewardedVideoAdInvalidArgumentException),
  // before the ad loaded and from the second show on
  // (kOVRewardedVideoAdInvalidOperationException), even when the first
  // presented nothing.
  bool showAdFromRootViewController(const std::shared_ptr<platform::ViewController>& rootViewController);
  bool showAdFromRootViewController(const std::shared_ptr<platform::ViewController>& rootViewController,
                                    bool animated);

  // Loaded and not failed since.
  bool isAdValid() const { return initialized_ && ready_; }
  bool isInitialized() const { return initialized_; }
  bool isReady() const { return ready_; }
  // The show attempts that got past the checks.
  std::uint64_t showCount() const { return showCount_; }

  const std::string& placementID() const { return placementID_; }
  const std::shared_ptr<OVRewardedVideoRewardData>& rewardData() const { return rewardData_; }
  std::shared_ptr<OVRewardedVideoAdDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<OVRewardedVideoAdDelegate> delegate) { delegate_ = std::move(delegate); }
  const std::shared_ptr<OVDisplayAdController>& adController() const { return adController_; }

 private:
  friend class OVRewardedVideoAdEvents;

  OVRewardedVideoAd() = default;

  std::string placementID_;
  std::weak_ptr<OVRewardedVideoAdDelegate> delegate_;
  std::shared_ptr<OVDisplayAdController> adController_;
  std::shared_ptr<OVRewardedVideoAdEvents> events_;
  std::shared_ptr<OVRewardedVideoRewardData> rewardData_;
  bool initialized_ = false;
  bool ready_ = false;
  std::uint64_t showCount_ = 0;
};

}  // namespace plexora
