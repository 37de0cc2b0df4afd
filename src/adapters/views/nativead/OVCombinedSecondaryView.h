// The first page of a template's body: the ad's title with its social
// context underneath, laid out in the space given, and the space left under
// them (spareSpace) where a template may put the ad's body text.
//
// Thread safety: main thread only.
// Ownership: the body view owns it through its view tree; it holds the ad
// and the attributes weakly, its labels through its view tree.
#pragma once

#include <memory>
#include <optional>

#include "platform/ui/Geometry.h"
#include "platform/ui/Label.h"
#include "platform/ui/View.h"

namespace plexora {

class OVNativeAd;
class OVNativeAdViewAttributes;

class OVCombinedSecondaryView final : public platform::View {
 public:
  // A view with its labels built.
  static std::shared_ptr<OVCombinedSecondaryView> initWithFrame(
      platform::Rect frame, const std::shared_ptr<OVNativeAd>& nativeAd,
      const std::shared_ptr<OVNativeAdViewAttributes>& attributes);
  OVCombinedSecondaryView(platform::Rect frame, const std::shared_ptr<OVNativeAd>& nativeAd,
                          const std::shared_ptr<OVNativeAdViewAttributes>& attributes);

  // Set explicitly, or from the attributes' switch; off when neither says.
  bool isRatingEnabled() const;
  void setRatingEnabled(bool enabled);
  // Set explicitly to on, or on exactly when the ad has social context.
  bool isSocialContextEnabled() const;
  void setSocialContextEnabled(bool enabled);
  // Store a switch without laying out (the body view's setters).
  void setRatingEnabledInternal(bool enabled) { ratingEnabledInternal_ = enabled; }
  void setSocialContextEnabledInternal(bool enabled) { socialContextEnabledInternal_ = enabled; }

  void setNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd);
  void updateView(bool changed);
  void setFrame(platform::Rect frame) override;
  void setBounds(platform::Rect bounds) override;

  // The part of the view under the title and the social context.
  platform::Rect spareSpace() const;

  std::shared_ptr<platform::Label> titleLabel() const { return titleLabel_.lock(); }
  std::shared_ptr<platform::Label> socialContextLabel() const { return socialContextLabel_.lock(); }
  double additionalYSpacing() const { return additionalYSpacing_; }
  void setAdditionalYSpacing(double spacing) { additionalYSpacing_ = spacing; }
  bool fullRatingView() const { return fullRatingView_; }
  void setFullRatingView(bool full) { fullRatingView_ = full; }

 private:
  void createView();
  void resetView();

  std::weak_ptr<OVNativeAd> nativeAd_;
  std::weak_ptr<OVNativeAdViewAttributes> attributes_;
  std::weak_ptr<platform::Label> titleLabel_;
  std::weak_ptr<platform::Label> socialContextLabel_;
  std::optional<bool> ratingEnabledInternal_;
  std::optional<bool> socialContextEnabledInternal_;
  bool ratingEnabledLast_ = false;
  bool socialContextEnabledLast_ = false;
  double additionalYSpacing_ = 0.0;
  bool fullRatingView_ = false;
};

}  // namespace plexora
