// The network's own rewarded video adapter: it turns a candidate's data into
// a rewarded video data model and the internal that plays it, and passes the
// internal's reports on to the display-ad controller. The registry answers
// it for "PX" rewarded video candidates.
//
// Thread safety: main thread only.
// Ownership: the controller owns the adapter; the adapter owns the data
// model and the internal and is held weakly as the internal's delegate.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "adapters/OVDisplayAdAdapter.h"
#include "internal/OVRewardedVideoAdInternal.h"

namespace plexora {

class OVAdEventManager;
class OVAdURLSession;
class OVRewardedVideoAdDataModel;

// The name the adapter registers under. Defined beside the adapter, so a
// program that looks the own classes up by this name links the adapter and
// its registration.
extern const char* const kOVPXRewardedVideoAdAdapterClassName;

class OVPXRewardedVideoAdAdapter final : public OVDisplayAdAdapter, public OVRewardedVideoAdInternalDelegate {
 public:
  explicit OVPXRewardedVideoAdAdapter(std::weak_ptr<OVDisplayAdAdapterDelegate> delegate = {});

  std::optional<std::string> getAdNetwork() override;
  // Makes the model and the internal, which starts caching the video; a
  // video that cannot be valid fails the load with "No fill" (1001) at once.
  void loadAdData(const platform::Dictionary& adData, OVAdSize size, std::int64_t orientation,
                  const std::string& placement, const std::shared_ptr<OVAdPlacementDefinition>& placementDefinition,
                  const std::shared_ptr<OVRewardedVideoRewardData>& rewardData) override;
  bool startAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) override;
  bool startAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
                                     bool animated) override;

  // Where the impression is logged and the reward sent; the process's own
  // unless set. Set before loadAdData.
  void setEventManager(std::shared_ptr<OVAdEventManager> eventManager) { eventManager_ = std::move(eventManager); }
  void setURLSession(std::shared_ptr<OVAdURLSession> session) { urlSession_ = std::move(session); }

  const std::shared_ptr<OVRewardedVideoAdDataModel>& dataModel() const { return dataModel_; }
  const std::shared_ptr<OVRewardedVideoAdInternal>& rewardedVideoAd() const { return rewardedVideoAd_; }

  // ---- OVRewardedVideoAdInternalDelegate ----
  void rewardedVideoAdDidClick(const std::shared_ptr<OVRewardedVideoAdInternal>& ad) override;
  void rewardedVideoAdDidLoad(const std::shared_ptr<OVRewardedVideoAdInternal>& ad) override;
  void rewardedVideoAdDidClose(const std::shared_ptr<OVRewardedVideoAdInternal>& ad) override;
  void rewardedVideoAdWillClose(const std::shared_ptr<OVRewardedVideoAdInternal>& ad) override;
  void rewardedVideoAd(const std::shared_ptr<OVRewardedVideoAdInternal>& ad,
                       const platform::Error& didFailWithError) override;
  void rewardedVideoAdComplete(const std::shared_ptr<OVRewardedVideoAdInternal>& ad) override;
  void rewardedVideoAdWillLogImpression(const std::shared_ptr<OVRewardedVideoAdInternal>& ad) override;
  void rewardedVideoAdServerSuccess(const std::shared_ptr<OVRewardedVideoAdInternal>& ad) override;
  void rewardedVideoAdServerFailed(const std::shared_ptr<OVRewardedVideoAdInternal>& ad) override;

 private:
  std::shared_ptr<OVPXRewardedVideoAdAdapter> sharedAdapter() {
    return std::static_pointer_cast<OVPXRewardedVideoAdAdapter>(shared_from_this());
  }

  std::shared_ptr<OVRewardedVideoAdDataModel> dataModel_;
  std::shared_ptr<OVRewardedVideoAdInternal> rewardedVideoAd_;
  std::shared_ptr<OVAdEventManager> eventManager_;
  std::shared_ptr<OVAdURLSession> urlSession_;
};

}  // namespace plexora
