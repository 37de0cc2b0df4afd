// The stored fields of a content container: its owner and parent, the two
// sizes and the size bounds, its data model, the last touch and the
// impression state, each with the accessor pair OVAdContentContainer asks
// for. A container derives from it and keeps only what it does.
//
// Thread safety: main thread only, like the container.
// Ownership: holds the delegate and the parent weakly and the data model
// strongly.
#pragma once

#include <memory>
#include <utility>

#include "adapters/views/contentcontainer/OVAdContentContainer.h"

namespace plexora {

class OVAdContentContainerFields : public OVAdContentContainer {
 public:
  std::shared_ptr<OVAdContentContainerDelegate> delegate() const override { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<OVAdContentContainerDelegate> delegate) override { delegate_ = std::move(delegate); }
  std::shared_ptr<OVAdViewNavigationPolicy> parent() const override { return parent_.lock(); }
  void setParent(std::weak_ptr<OVAdViewNavigationPolicy> parent) override { parent_ = std::move(parent); }
  platform::Size actualAdSize() const override { return actualAdSize_; }
  void setActualAdSize(platform::Size size) override { actualAdSize_ = size; }
  OVAdSize adSizeType() const override { return adSizeType_; }
  void setAdSizeType(OVAdSize adSizeType) override { adSizeType_ = adSizeType; }
  std::shared_ptr<OVAdDataModel> offsiteAd() const override { return offsiteAd_; }
  void setOffsiteAd(std::shared_ptr<OVAdDataModel> dataModel) override { offsiteAd_ = std::move(dataModel); }
  platform::Size minimumSize() const override { return minimumSize_; }
  void setMinimumSize(platform::Size size) override { minimumSize_ = size; }
  platform::Size maximumSize() const override { return maximumSize_; }
  void setMaximumSize(platform::Size size) override { maximumSize_ = size; }
  platform::Point lastTouchStartLocation() const override { return lastTouchStartLocation_; }
  void setLastTouchStartLocation(platform::Point location) override { lastTouchStartLocation_ = location; }
  platform::Point lastTouchCurrentLocation() const override { return lastTouchCurrentLocation_; }
  void setLastTouchCurrentLocation(platform::Point location) override { lastTouchCurrentLocation_ = location; }
  double lastTouchStartTimestamp() const override { return lastTouchStartTimestamp_; }
  void setLastTouchStartTimestamp(double timestamp) override { lastTouchStartTimestamp_ = timestamp; }
  double lastTouchCurrentTimestamp() const override { return lastTouchCurrentTimestamp_; }
  void setLastTouchCurrentTimestamp(double timestamp) override { lastTouchCurrentTimestamp_ = timestamp; }
  double lastTouchRadius() const override { return lastTouchRadius_; }
  void setLastTouchRadius(double radius) override { lastTouchRadius_ = radius; }
  double lastTouchPressure() const override { return lastTouchPressure_; }
  void setLastTouchPressure(double pressure) override { lastTouchPressure_ = pressure; }
  bool hasLoggedImpression() const override { return loggedImpression_; }
  void setLoggedImpression(bool logged) override { loggedImpression_ = logged; }
  double firstImpressionTime() const override { return firstImpressionTime_; }
  void setFirstImpressionTime(double time) override { firstImpressionTime_ = time; }

 protected:
  static constexpr double kNoFirstImpression = -1.0;

  OVAdContentContainerFields(const std::shared_ptr<OVAdViewNavigationPolicy>& adView, platform::Size actualAdSize,
                             OVAdSize adSizeType)
      : parent_(adView), actualAdSize_(actualAdSize), adSizeType_(adSizeType) {}

  std::shared_ptr<OVAdDataModel> offsiteAd_;
  bool loggedImpression_ = false;
  double firstImpressionTime_ = kNoFirstImpression;

 private:
  std::weak_ptr<OVAdContentContainerDelegate> delegate_;
  std::weak_ptr<OVAdViewNavigationPolicy> parent_;
  platform::Size actualAdSize_;
  OVAdSize adSizeType_;
  platform::Size minimumSize_;
  platform::Size maximumSize_;
  platform::Point lastTouchStartLocation_;
  platform::Point lastTouchCurrentLocation_;
  double lastTouchStartTimestamp_ = 0.0;
  double lastTouchCurrentTimestamp_ = 0.0;
  double lastTouchRadius_ = 0.0;
  double lastTouchPressure_ = 0.0;
};

}  // namespace plexora
