// Coordinates one rewarded video ad: the video phase, the end card that
// follows it when the ad has one and the network is reachable, the close
// (one dismissal of everything the ad presented), and the server-side
// reward once the ad closed after the video was watched.
//
// Order of what the delegate hears: did-load when the video is cached;
// will-log-impression once the video is shown; complete when the video was
// watched (to its end or skipped); will-close, then did-close once the
// dismissal has completed; then, for a watched video of a rewarded user,
// the reward's outcome. A video that fails after it was shown reports the
// failure first and closes the ad without a reward request. A close before
// the video was watched sends no request and reports no reward outcome.
//
// Thread safety: main thread only.
// Ownership: the adapter owns the internal; the internal owns its video and
// end-card controllers and is held weakly as their delegate; it holds its
// own delegate weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "internal/OVRewardedVideoAdEndCardInternal.h"
#include "internal/OVRewardedVideoAdVideoInternal.h"
#include "platform/foundation/Error.h"

namespace plexora {

class OVAdEventManager;
class OVAdURLSession;
class OVAdViewControllerProxy;
class OVRewardedVideoAdDataModel;
class OVRewardedVideoAdInternal;
class OVRewardedVideoRewardData;

// Every message is optional and passes the internal.
class OVRewardedVideoAdInternalDelegate {
 public:
  virtual ~OVRewardedVideoAdInternalDelegate() = default;

  virtual void rewardedVideoAdDidClick(const std::shared_ptr<OVRewardedVideoAdInternal>& /*ad*/) {}
  virtual void rewardedVideoAdDidLoad(const std::shared_ptr<OVRewardedVideoAdInternal>& /*ad*/) {}
  virtual void rewardedVideoAdDidClose(const std::shared_ptr<OVRewardedVideoAdInternal>& /*ad*/) {}
  virtual void rewardedVideoAdWillClose(const std::shared_ptr<OVRewardedVideoAdInternal>& /*ad*/) {}
  virtual void rewardedVideoAd(const std::shared_ptr<OVRewardedVideoAdInternal>& /*ad*/,
                               const platform::Error& /*didFailWithError*/) {}
  virtual void rewardedVideoAdComplete(const std::shared_ptr<OVRewardedVideoAdInternal>& /*ad*/) {}
  virtual void rewardedVideoAdWillLogImpression(const std::shared_ptr<OVRewardedVideoAdInternal>& /*ad*/) {}
  virtual void rewardedVideoAdServerSuccess(const std::shared_ptr<OVRewardedVideoAdInternal>& /*ad*/) {}
  virtual void rewardedVideoAdServerFailed(const std::shared_ptr<OVRewardedVideoAdInternal>& /*ad*/) {}
};

class OVRewardedVideoAdInternal final : public OVRewardedVideoAdVideoInternalDelegate,
                                        public OVRewardedVideoAdEndCardInternalDelegate,
                                        public std::enable_shared_from_this<OVRewardedVideoAdInternal> {
 public:
  // Makes the video controller, which starts caching the video.
  static std::shared_ptr<OVRewardedVideoAdInternal> initWithPlacementID(
      const std::string& placementID, const std::shared_ptr<OVRewardedVideoAdDataModel>& adData,
      std::int64_t minViewability, const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
      const std::shared_ptr<OVRewardedVideoRewardData>& rewardData);
  ~OVRewardedVideoAdInternal() override;
  OVRewardedVideoAdInternal(const OVRewardedVideoAdInternal&) = delete;
  OVRewardedVideoAdInternal& operator=(const OVRewardedVideoAdInternal&) = delete;

  std::shared_ptr<OVRewardedVideoAdInternalDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<OVRewardedVideoAdInternalDelegate> delegate) { delegate_ = std::move(delegate); }
  // Where the impression is logged and the reward sent; the process's own
  // unless set.
  void setEventManager(std::shared_ptr<OVAdEventManager> eventManager);
  void setURLSession(std::shared_ptr<OVAdURLSession> session) { urlSession_ = std::move(session); }

  bool isAdValid() const;
  bool startAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController);
  bool startAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
                                     bool animated);
  // Sends the reward for a rewarded user; the outcome reaches the delegate.
  void checkServerSideReward();

  const std::shared_ptr<OVRewardedVideoAdVideoInternal>& videoController() const { return videoController_; }
  // None for an ad without an end card, and before the video loaded.
  const std::shared_ptr<OVRewardedVideoAdEndCardInternal>& endCardController() const { return endCardController_; }

  // ---- OVRewardedVideoAdVideoInternalDelegate ----
  void rewardedVideoAdVideoDidLoad(const std::shared_ptr<OVRewardedVideoAdVideoInternal>& controller) override;
  void rewardedVideoAdVideo(const std::shared_ptr<OVRewardedVideoAdVideoInternal>& controller,
                            const platform::Error& didFailWithError) override;
  void rewardedVideoAdVideoComplete(const std::shared_ptr<OVRewardedVideoAdVideoInternal>& controller) override;
  void rewardedVideoAdVideoWillLogImpression(const std::shared_ptr<OVRewardedVideoAdVideoInternal>& controller) override;
  void rewardedVideoAdVideoWillClose(const std::shared_ptr<OVRewardedVideoAdVideoInternal>& controller) override;

  // ---- OVRewardedVideoAdEndCardInternalDelegate ----
  void rewardedVideoAdEndCardDidClick(const std::shared_ptr<OVRewardedVideoAdEndCardInternal>& controller) override;
  void rewardedVideoAdEndCardWillClose(const std::shared_ptr<OVRewardedVideoAdEndCardInternal>& controller) override;

 private:
  OVRewardedVideoAdInternal() = default;

  bool hasEndCardMarkup() const;
  void makeEndCardController();
  // Dismisses everything the ad presented, then tells did-close and, for a
  // watched video, sends the reward. Once per ad.
  void close();

  std::string placementID_;
  std::shared_ptr<OVRewardedVideoAdDataModel> rewardedVideoDataModel_;
  std::shared_ptr<OVRewardedVideoRewardData> rewardData_;
  std::weak_ptr<OVRewardedVideoAdInternalDelegate> delegate_;
  std::shared_ptr<OVRewardedVideoAdVideoInternal> videoController_;
  std::shared_ptr<OVRewardedVideoAdEndCardInternal> endCardController_;
  std::shared_ptr<OVAdURLSession> urlSession_;
  std::int64_t minViewabilityPercentage_ = 0;
  bool shown_ = false;
  bool completed_ = false;
  bool closing_ = false;
};

}  // namespace plexora
