// The header strip of a template: the ad's subtitle over its body text. It
// builds its labels again for every new ad and every changed frame.
//
// Thread safety: main thread only.
// Ownership: the template's view tree owns the strip; the strip holds the
// ad and the attributes weakly, its labels through its view tree.
#pragma once

#include <memory>

#include "platform/ui/Geometry.h"
#include "platform/ui/Label.h"
#include "platform/ui/View.h"

namespace plexora {

class OVNativeAd;
class OVNativeAdViewAttributes;

class OVNativeAdHeaderView final : public platform::View {
 public:
  OVNativeAdHeaderView(platform::Rect frame, const std::shared_ptr<OVNativeAd>& nativeAd,
                       const std::shared_ptr<OVNativeAdViewAttributes>& attributes);

  void reinitializeView();
  void updateView(bool changed);
  void setNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd);
  void setAttributes(const std::shared_ptr<OVNativeAdViewAttributes>& attributes);
  void setFrame(platform::Rect frame) override;
  void setBounds(platform::Rect bounds) override;
  bool pointInside(platform::Point point, const platform::Event* event) const override;

  std::shared_ptr<platform::Label> headerTitleLabel() const { return headerTitleLabel_.lock(); }
  std::shared_ptr<platform::Label> headerBodyLabel() const { return headerBodyLabel_.lock(); }
  bool isLoaded() const { return loaded_; }

 private:
  void createView();
  void resetView();

  std::weak_ptr<OVNativeAd> nativeAd_;
  std::weak_ptr<OVNativeAdViewAttributes> attributes_;
  std::weak_ptr<platform::Label> headerTitleLabel_;
  std::weak_ptr<platform::Label> headerBodyLabel_;
  bool loaded_ = false;
};

}  // namespace plexora
