// The details strip of a template: the icon, the body view (title and social
// context), the call-to-action button and, when switched on, the ad's body
// text in the space the body view leaves. Wider strips on recent devices
// show the icon; narrow ones put the button at the right edge.
//
// Thread safety: main thread only.
// Ownership: the template's view tree owns the strip; the strip holds the
// ad and the attributes weakly, its subviews through its view tree.
#pragma once

#include <memory>

#include "platform/ui/Button.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/View.h"

namespace plexora {

class OVAdDefaultBodyView;
class OVNativeAd;
class OVNativeAdViewAttributes;

class OVNativeAdDetailsView final : public platform::View {
 public:
  // A strip with its subviews built and laid out.
  static std::shared_ptr<OVNativeAdDetailsView> initWithFrame(
      platform::Rect frame, const std::shared_ptr<OVNativeAd>& nativeAd,
      const std::shared_ptr<OVNativeAdViewAttributes>& attributes);

  void reinitializeView();
  void updateView(bool changed);
  void setNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd);
  void setAttributes(const std::shared_ptr<OVNativeAdViewAttributes>& attributes);
  void setFrame(platform::Rect frame) override;
  void setBounds(platform::Rect bounds) override;
  bool pointInside(platform::Point point, const platform::Event* event) const override;
  bool isBodyTextEnabled() const { return bodyTextEnabled_; }
  void setBodyTextEnabled(bool enabled);

  std::shared_ptr<OVAdDefaultBodyView> bodyView() const { return bodyView_.lock(); }
  std::shared_ptr<platform::ImageView> iconImageView() const { return iconImageView_.lock(); }
  std::shared_ptr<platform::Button> callToActionButton() const { return callToActionButton_.lock(); }
  std::shared_ptr<platform::Label> bodyLabel() const { return bodyLabel_.lock(); }
  bool isLoaded() const { return loaded_; }

  OVNativeAdDetailsView(platform::Rect frame, const std::shared_ptr<OVNativeAd>& nativeAd,
                        const std::shared_ptr<OVNativeAdViewAttributes>& attributes);

 private:
  void createView();
  void resetView();

  std::weak_ptr<OVNativeAd> nativeAd_;
  std::weak_ptr<OVNativeAdViewAttributes> attributes_;
  std::weak_ptr<OVAdDefaultBodyView> bodyView_;
  std::weak_ptr<platform::ImageView> iconImageView_;
  std::weak_ptr<platform::Button> callToActionButton_;
  std::weak_ptr<platform::Label> bodyLabel_;
  bool loaded_ = false;
  bool bodyTextEnabled_ = false;
};

}  // namespace plexora
