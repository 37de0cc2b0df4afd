// The end card of a rewarded video ad in a web content container: the
// ad's end-card markup loads into the container as soon as the card is
// made, and the card is shown full screen after the video.
//
// Links the markup activates: an "ovad" command link runs through the
// card's command processor; a close command removes the container and tells
// the delegate the card will close, any other command counts as a click;
// an ordinary link counts as a click and opens outside the application.
// While auto-rotation is configured on ("autorotate_enabled"), the card
// follows the screen's bounds as the device turns.
//
// Thread safety: main thread only; the orientation observer and the
// command completions run on the main queue.
// Ownership: the end card's controller owns the card; the card owns its
// container and command processor, and holds its delegate and root view
// controller weakly. Every block holds the card weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "adapters/OVAdCommandProcessor.h"
#include "adapters/views/contentcontainer/OVAdContentContainer.h"
#include "adapters/views/video/OVRewardedVideoAdEndView.h"

namespace plexora {

inline constexpr const char* kOVDeviceOrientationDidChangeNotification = "DeviceOrientationDidChangeNotification";
inline constexpr const char* kOVRewardedVideoAdAutoRotateEnabled = "autorotate_enabled";
inline constexpr const char* kOVRewardedVideoAdEndViewRootViewControllerNilReason = "rootViewController cannot be nil";
// Logged for a command value the card does not know.
inline constexpr const char* kOVRewardedVideoAdEndViewUnknownCommandFormat = "Unknown OVAdCommand: %lld";

class OVRewardedVideoAdWebEndView final : public OVRewardedVideoAdEndView,
                                          public OVAdCommandProcessorDelegate,
                                          public OVAdViewNavigationPolicy,
                                          public OVAdContentContainerDelegate {
 public:
  // The minimum viewable percentage the container is given.
  static constexpr std::int64_t kContainerMinViewability = 100;

  // Throws platform::Exception named "NSInvalidArgumentException" without a
  // root view controller. The orientation is not used.
  static std::shared_ptr<OVRewardedVideoAdWebEndView> initWithPlacementID(
      const std::string& placementID, const std::shared_ptr<OVRewardedVideoAdDataModel>& adData,
      std::int64_t minViewability, const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
      platform::InterfaceOrientation orientation);
  // An empty placement and data model, no minimum viewability and the
  // application's top view controller; the frame is not used.
  static std::shared_ptr<OVRewardedVideoAdWebEndView> initWithFrame(platform::Rect frame);

  ~OVRewardedVideoAdWebEndView() override;

  // ---- OVRewardedVideoAdEndView ----
  void setDelegate(std::weak_ptr<OVRewardedVideoAdEndViewDelegate> delegate) override {
    delegate_ = std::move(delegate);
  }
  void setFrameOnShow(platform::Rect frame) override;
  void setupNotification() override;

  // ---- OVAdCommandProcessorDelegate ----
  // The container's last touch as the twelve-number touch record; none
  // until a whole touch was seen.
  std::optional<platform::Value> commandProcessorTouchInformation(OVAdCommandProcessor& processor) override;
  // The root view controller, or the application's top one once it is
  // gone.
  std::shared_ptr<OVAdViewControllerProxy> viewControllerForPresentingModalView() override;

  // ---- OVAdViewNavigationPolicy ----
  bool processRequestURL(const platform::URL& url, const std::shared_ptr<OVAdDataModel>& adDataModel,
                         const platform::Value& extraData) override;
  bool isModalViewPresenting() const override { return modalViewPresenting_; }
  void setModalViewPresenting(bool presenting) override { modalViewPresenting_ = presenting; }

  // ---- OVAdContentContainerDelegate ----
  // Sets up the page's bridge and runs the activation command.
  void adDidLoad() override;
  void adWillLogImpression() override {}
  void adDidFailToLoadWithError(const platform::Error& error) override;
  void adDidLogClick() override;

  // ---- Links ----
  static bool isOVAdScheme(const platform::URL& url);
  bool processOVAdSchemeLink(const platform::URL& url, const std::shared_ptr<OVAdDataModel>& adDataModel,
                             const platform::Value& extraData);
  void handleClickWithExtraData(const platform::Value& extraData);
  // What a command link's completion does with the command value: a close
  // closes the card, a click is logged; any other value is logged and
  // changes nothing.
  void commandCompleted(OVAdCommand command, const platform::Value& extraData);

  // ---- State ----
  const std::string& placementID() const { return placementID_; }
  const std::shared_ptr<OVRewardedVideoAdDataModel>& rewardedVideoDataModel() const { return rewardedVideoDataModel_; }
  // Null once the markup closed the card.
  const std::shared_ptr<OVAdContentContainer>& contentContainer() const { return contentContainer_; }
  const std::shared_ptr<OVAdCommandProcessor>& commandHandler() const { return commandHandler_; }
  std::int64_t minViewabilityPercentage() const { return minViewabilityPercentage_; }
  bool forceUIWebView() const { return forceUIWebView_; }
  bool isAutoRotateEnabled() const { return autoRotateEnabled_; }

  // Only for make_shared: use initWithPlacementID.
  OVRewardedVideoAdWebEndView(const std::string& placementID, std::shared_ptr<OVRewardedVideoAdDataModel> adData,
                              std::int64_t minViewability,
                              const std::shared_ptr<OVAdViewControllerProxy>& rootViewController);

 private:
  std::shared_ptr<OVRewardedVideoAdWebEndView> self();
  std::shared_ptr<OVRewardedVideoAdEndViewDelegate> delegate() const { return delegate_.lock(); }
  void build();
  void close();

  const std::string placementID_;
  const std::shared_ptr<OVRewardedVideoAdDataModel> rewardedVideoDataModel_;
  const std::int64_t minViewabilityPercentage_;
  const std::weak_ptr<OVAdViewControllerProxy> rootViewController_;
  const bool forceUIWebView_ = false;
  const bool autoRotateEnabled_;
  std::weak_ptr<OVRewardedVideoAdEndViewDelegate> delegate_;
  bool modalViewPresenting_ = false;
  std::shared_ptr<OVAdCommandProcessor> commandHandler_;
  std::shared_ptr<OVAdContentContainer> contentContainer_;
};

}  // namespace plexora
