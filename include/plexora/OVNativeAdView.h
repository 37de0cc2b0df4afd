// The base of the library's ready-made native ad templates. Given a native
// ad, a template type and style attributes, a template builds a container
// with a call-to-action button, an icon, a cover, an ad-choices badge and a
// body with title, social context and description, fills them from the ad,
// applies the style, registers itself with the ad for impressions and clicks
// and keeps the container laid out in its bounds: a column at most 360
// points wide, centred.
//
// The concrete templates (types 1 to 4, fixed heights 100, 120, 300 and 400)
// come from the factories; the base class cannot be made by itself.
//
// A template made with an ad becomes that ad's delegate, in place of the
// host's: from then on the host's delegate hears nothing of the ad (no
// nativeAdWillLogImpression, no nativeAdDidClick), without a word. A host
// that wants those sets its delegate on the ad again once the template is
// made; the template has filled itself from the loaded ad by then, and
// needs the ad's messages only for a later load of the same ad, which the
// host then passes on (template->nativeAdDidLoad(ad)) or shows in a new
// template:
//
//   auto view = OVNativeAdView::nativeAdViewWithNativeAd(ad, kOVNativeAdViewTypeGenericHeight300);
//   ad->setDelegate(myDelegate);  // impressions and clicks reach the host again
//
// Thread safety: main thread only.
// Ownership: the template holds its ad strongly and its attributes by
// reference (changes to the record show at the next layout); its content
// views belong to its view tree; the view controller is held weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/Export.h"
#include "platform/ui/Button.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/View.h"
#include "plexora/OVAdChoicesView.h"
#include "plexora/OVMediaView.h"
#include "plexora/OVNativeAd.h"
#include "plexora/OVNativeAdViewAttributes.h"

namespace plexora {

class OVAdBodyView;

using OVNativeAdViewTemplateType = std::int64_t;
inline constexpr OVNativeAdViewTemplateType kOVNativeAdViewTypeGenericHeight100 = 1;
inline constexpr OVNativeAdViewTemplateType kOVNativeAdViewTypeGenericHeight120 = 2;
inline constexpr OVNativeAdViewTemplateType kOVNativeAdViewTypeGenericHeight300 = 3;
inline constexpr OVNativeAdViewTemplateType kOVNativeAdViewTypeGenericHeight400 = 4;
// The type of a view made without one.
inline constexpr OVNativeAdViewTemplateType kOVNativeAdViewTypeNone = 2147483647;

inline constexpr const char* kOVNativeAdViewInvalidAdReason = "Native ad %s passed to %s, but the native ad is not valid.";
inline constexpr const char* kOVNativeAdViewLoadingTitle = "Loading...";
// The widest the content column gets.
inline constexpr double kOVNativeAdViewMaxContentWidth = 360.0;

class PLEXORA_EXPORT OVNativeAdView : public platform::View, public OVNativeAdDelegate {
 public:
  // A template of the type showing the placeholder ad (always valid).
  static std::shared_ptr<OVNativeAdView> nativeAdViewWithType(
      OVNativeAdViewTemplateType type, const std::shared_ptr<OVNativeAdViewAttributes>& attributes);
  // With the type's default attributes.
  static std::shared_ptr<OVNativeAdView> nativeAdViewWithNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd,
                                                                  OVNativeAdViewTemplateType type);
  // None for a type without a template. The ad's own attributes (from the
  // server) win over the ones given. An ad that is not valid throws an
  // internal-inconsistency exception unless the attributes bypass the load.
  static std::shared_ptr<OVNativeAdView> nativeAdViewWithNativeAd(
      const std::shared_ptr<OVNativeAd>& nativeAd, OVNativeAdViewTemplateType type,
      const std::shared_ptr<OVNativeAdViewAttributes>& attributes);
  static bool hasClassForType(OVNativeAdViewTemplateType type);

  // Fills the views from the ad (building them first) and fades them in.
  void populate(const std::shared_ptr<OVNativeAd>& nativeAd);
  void setAttributes(const std::shared_ptr<OVNativeAdViewAttributes>& attributes);
  // Applies the style; none means the type's defaults. Unset fields leave
  // what they style unchanged, except the corner radii, which go to 0.
  void updateAttributes(std::shared_ptr<OVNativeAdViewAttributes> attributes);
  virtual void updateView(bool changed);
  void setFrame(platform::Rect frame) override;
  void setBounds(platform::Rect bounds) override;
  // Takes the views out of the container and forgets them.
  void reset();
  // Takes the container out and forgets it.
  void resetViews();

  // The views whose touches count as clicks: the interactable views of the
  // clickable views (of the whole view when there are none), the ad-choices
  // badge excluded.
  std::vector<std::shared_ptr<platform::View>> allInteractableTargets();
  // The container's place: the bounds, at most 360 wide and centred, and at
  // least the template's fixed height when the attributes clip.
  platform::Rect containerFrame() const;

  void nativeAdDidLoad(const std::shared_ptr<OVNativeAd>& nativeAd) override;
  // The delegate's failure callback stays callable beside the accessor of
  // the same name below.
  using OVNativeAdDelegate::nativeAd;

  // The heights the template fixes; 0 for none.
  virtual double fixedHeight() const { return 0.0; }
  virtual bool usesMediaView() const { return true; }

  const std::shared_ptr<OVNativeAd>& nativeAd() const { return nativeAd_; }
  OVNativeAdViewTemplateType type() const { return type_; }
  const std::shared_ptr<OVNativeAdViewAttributes>& attributes() const { return attributes_; }
  std::shared_ptr<platform::ViewController> viewController() const { return viewController_.lock(); }
  void setViewController(const std::shared_ptr<platform::ViewController>& viewController) {
    viewController_ = viewController;
  }
  bool isLoaded() const { return loaded_; }
  std::shared_ptr<platform::View> containerView() const { return containerView_.lock(); }
  std::shared_ptr<platform::Button> callToActionButton() const { return callToActionButton_.lock(); }
  std::shared_ptr<platform::Label> titleLabel() const { return titleLabel_.lock(); }
  std::shared_ptr<platform::Label> descriptionLabel() const { return descriptionLabel_.lock(); }
  std::shared_ptr<platform::Label> socialContextLabel() const { return socialContextLabel_.lock(); }
  std::shared_ptr<platform::ImageView> iconImageView() const { return iconImageView_.lock(); }
  // The cover: the ad's video, carousel or cover image.
  std::shared_ptr<OVMediaView> coverImageView() const { return coverImageView_.lock(); }
  std::shared_ptr<OVAdChoicesView> sponsoredView() const { return sponsoredView_.lock(); }
  std::shared_ptr<OVAdBodyView> bodyView() const { return bodyView_.lock(); }

 protected:
  OVNativeAdView();
  explicit OVNativeAdView(platform::Rect frame);
  // The second step of making a template, once it is shared.
  void initWithNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd, OVNativeAdViewTemplateType type,
                        const std::shared_ptr<OVNativeAdViewAttributes>& attributes);

  void initializeView();
  void constructView();
  // Each step adds its view to the container; a template replaces the steps
  // it builds otherwise.
  virtual void constructCallToActionButton();
  virtual void constructIconImageView();
  virtual void constructCoverImageView();
  virtual void constructSponsoredView();
  virtual void constructBodyView();
  void updateClickableViews();
  void registerView();

  void setCallToActionButton(const std::shared_ptr<platform::Button>& button) { callToActionButton_ = button; }
  void setTitleLabel(const std::shared_ptr<platform::Label>& label) { titleLabel_ = label; }
  void setDescriptionLabel(const std::shared_ptr<platform::Label>& label) { descriptionLabel_ = label; }
  void setSocialContextLabel(const std::shared_ptr<platform::Label>& label) { socialContextLabel_ = label; }
  void setIconImageView(const std::shared_ptr<platform::ImageView>& view) { iconImageView_ = view; }
  void setBodyView(const std::shared_ptr<OVAdBodyView>& view);

 private:
  void loadImages();

  std::shared_ptr<OVNativeAd> nativeAd_;
  OVNativeAdViewTemplateType type_ = kOVNativeAdViewTypeNone;
  std::shared_ptr<OVNativeAdViewAttributes> attributes_;
  std::weak_ptr<platform::ViewController> viewController_;
  std::weak_ptr<platform::View> containerView_;
  std::weak_ptr<platform::Button> callToActionButton_;
  std::weak_ptr<platform::Label> titleLabel_;
  std::weak_ptr<platform::Label> descriptionLabel_;
  std::weak_ptr<platform::Label> socialContextLabel_;
  std::weak_ptr<platform::ImageView> iconImageView_;
  std::weak_ptr<OVMediaView> coverImageView_;
  std::weak_ptr<OVAdChoicesView> sponsoredView_;
  std::weak_ptr<OVAdBodyView> bodyView_;
  bool loaded_ = false;
  std::vector<std::weak_ptr<platform::View>> clickableViews_;
  std::vector<std::weak_ptr<platform::View>> excludedClickableViews_;
};

}  // namespace plexora
