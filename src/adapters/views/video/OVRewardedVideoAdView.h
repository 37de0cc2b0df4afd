// The full-screen video surface of a rewarded video ad: it caches the video
// when made, builds its player when asked to play, shows the progress bar,
// skip ring and details over the video, and reports every step to its
// delegate. It never starts playback itself: the delegate starts the player
// when it hears that the view loaded.
//
// Thread safety: main thread only.
// Ownership: the rewarded video's controller owns the view; the view holds
// its delegate and the root view controller's proxy weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/media/Player.h"
#include "platform/ui/View.h"
#include "util/OVAdInstalledFunction.h"

namespace plexora {

class OVAdViewControllerProxy;
class OVRewardedVideoAdDataModel;
class OVRewardedVideoAdView;
using QNVAVPlayer = platform::Player;

// Each operation gets the view that reports.
class OVRewardedVideoAdViewDelegate {
 public:
  virtual ~OVRewardedVideoAdViewDelegate() = default;

  // The preload of the video through the cache has returned.
  virtual void rewardedVideoViewCached(const std::shared_ptr<OVRewardedVideoAdView>& view) = 0;
  // The player may start.
  virtual void rewardedVideoViewDidLoad(const std::shared_ptr<OVRewardedVideoAdView>& view) = 0;
  virtual void rewardedVideoViewProgress(const std::shared_ptr<OVRewardedVideoAdView>& view) = 0;
  virtual void rewardedVideoViewDidPause(const std::shared_ptr<OVRewardedVideoAdView>& view) = 0;
  virtual void rewardedVideoViewDidResume(const std::shared_ptr<OVRewardedVideoAdView>& view) = 0;
  virtual void rewardedVideoViewDidSkip(const std::shared_ptr<OVRewardedVideoAdView>& view) = 0;
  virtual void rewardedVideoView(const std::shared_ptr<OVRewardedVideoAdView>& view,
                                 const platform::Error& didFailWithError) = 0;
  // Playback ended: played to its end (`withSuccess`) or failed; `withTime`
  // is the video's length in seconds.
  virtual void rewardedVideoViewEnded(const std::shared_ptr<OVRewardedVideoAdView>& view, bool withSuccess,
                                      double withTime) = 0;
  // The application came back while the video played.
  virtual void rewardedVideoViewContextSwitch(const std::shared_ptr<OVRewardedVideoAdView>& view) = 0;
};

class OVRewardedVideoAdView : public platform::View {
 public:
  using Maker = OVAdInstalledFunction<std::shared_ptr<OVRewardedVideoAdView>(
      const std::string& placementID, const std::shared_ptr<OVRewardedVideoAdDataModel>& adData,
      std::int32_t minViewability, const std::shared_ptr<OVAdViewControllerProxy>& rootViewController)>;

  static std::shared_ptr<OVRewardedVideoAdView> initWithPlacementID(
      const std::string& placementID, const std::shared_ptr<OVRewardedVideoAdDataModel>& adData,
      std::int32_t minViewability, const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) {
    return maker()(placementID, adData, minViewability, rootViewController);
  }

  virtual void setDelegate(std::weak_ptr<OVRewardedVideoAdViewDelegate> delegate) = 0;
  // The view's own valid flag is set and its data model is valid.
  virtual bool isAdValid() const = 0;
  // Builds the player and wires the overlay; the delegate then hears
  // rewardedVideoViewDidLoad.
  virtual void playVideo() = 0;
  // The player the video plays in, once playVideo has built it.
  virtual std::shared_ptr<QNVAVPlayer> player() const = 0;

  // Makes each view: an OVRewardedVideoAdEngineView unless another maker is
  // installed (tests install doubles).
  static Maker& maker();

 protected:
  OVRewardedVideoAdView() = default;
};

}  // namespace plexora
