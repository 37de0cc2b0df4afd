// The badge that marks a native ad: a small view in one corner of its
// superview with the ad-choices icon and a short text, or the word
// "Sponsored" for an ad without an icon. A tap opens the ad's ad-choices link
// in the in-app browser; an expandable badge first shows only the icon and,
// on the first tap, widens by 60 points to show its text for 2 seconds.
//
// Thread safety: main thread only. The icon arrives through the image loader
// on the main queue and the collapse runs on the main queue; the blocks keep
// the badge alive until they run.
// Ownership: the superview owns the badge; the badge holds its ad and its
// attributes weakly, and the ad's icon record, link and text by value.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/Export.h"
#include "platform/dispatch/MainThreadCheck.h"
#include "platform/foundation/URL.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Label.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/LayerStyle.h"
#include "platform/ui/View.h"
#include "plexora/OVNativeAdViewImmutable.h"

namespace plexora::platform {
class ViewController;
}  // namespace plexora::platform

namespace plexora {

class OVAdImage;
class OVAdViewControllerProxy;
class OVNativeAd;
class OVNativeAdViewAttributes;

inline constexpr const char* kOVAdChoicesDefaultText = "AdChoices";
inline constexpr const char* kOVAdChoicesSponsoredText = "Sponsored";
inline constexpr const char* kOVAdChoicesAllCornersReason = "%s corner must not be UIRectCornerAllCorners.";

class OVAdChoicesView;

// All optional; each receives the badge and the browser's view controller.
class PLEXORA_EXPORT OVAdChoicesViewDelegate {
 public:
  virtual ~OVAdChoicesViewDelegate() = default;
  virtual void adChoicesViewWillPresentViewController(
      const std::shared_ptr<OVAdChoicesView>& /*view*/,
      const std::shared_ptr<platform::ViewController>& /*viewController*/) {}
  virtual void adChoicesViewViewControllerCompleted(
      const std::shared_ptr<OVAdChoicesView>& /*view*/,
      const std::shared_ptr<platform::ViewController>& /*viewController*/) {}
  virtual void adChoicesViewViewControllerDismissed(
      const std::shared_ptr<OVAdChoicesView>& /*view*/,
      const std::shared_ptr<platform::ViewController>& /*viewController*/) {}
};

class PLEXORA_EXPORT OVAdChoicesView final : public platform::View, public OVNativeAdViewImmutable {
 public:
  // The placeholder ad's badge.
  static std::shared_ptr<OVAdChoicesView> init();
  static std::shared_ptr<OVAdChoicesView> initWithNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd);
  static std::shared_ptr<OVAdChoicesView> initWithNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd,
                                                           bool expandable);
  static std::shared_ptr<OVAdChoicesView> initWithNativeAd(
      const std::shared_ptr<OVNativeAd>& nativeAd, bool expandable,
      const std::shared_ptr<OVNativeAdViewAttributes>& attributes);
  static std::shared_ptr<OVAdChoicesView> initWithViewController(
      const std::shared_ptr<platform::ViewController>& viewController, const std::string& inlineClientToken,
      std::shared_ptr<OVAdImage> adChoicesIcon, std::optional<platform::URL> adChoicesLinkURL,
      std::optional<std::string> adChoicesText, const std::shared_ptr<OVNativeAdViewAttributes>& attributes,
      bool expandable);

  ~OVAdChoicesView() override;

  void setNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd);
  std::shared_ptr<OVNativeAd> nativeAd() const { return nativeAd_.lock(); }
  // One of the four single corners; all corners throws an invalid-argument
  // exception.
  void setCorner(platform::RectCorner corner);
  platform::RectCorner corner() const { return corner_; }
  void setViewController(const std::shared_ptr<platform::ViewController>& viewController);
  const std::shared_ptr<OVAdViewControllerProxy>& viewController() const { return viewController_; }
  void setBackgroundShown(bool shown);
  bool isBackgroundShown() const { return backgroundShown_; }
  // Held weakly: the host keeps its delegate alive. One handed over as a
  // temporary (setDelegate(std::make_shared<...>())) is gone at once, and
  // every message meant for it is dropped without a word.
  void setDelegate(std::weak_ptr<OVAdChoicesViewDelegate> delegate) {
    platform::requireMainThread("OVAdChoicesView::setDelegate");
    delegate_ = std::move(delegate);
  }

  // Places the badge in the top-right corner (or the corner given) of its
  // superview and brings it to the front.
  void updateFrameFromSuperview();
  void updateFrameFromSuperview(platform::RectCorner corner);
  void updateView(bool changed);
  void updateMask();
  // Shows (or hides) the text; persist false collapses again after 2 s.
  void extend(bool extend, bool animate, bool persistChanges);
  void sponsoredImageTapped();

  void setFrame(platform::Rect frame) override;
  void setBounds(platform::Rect bounds) override;

  bool isAdChoicesIconAvailable() const;
  double extensionAmount() const;
  platform::Rect labelFrame() const;
  platform::RectCorner maskCornerForCurrentState() const;
  bool isExpandable() const { return expandable_; }
  bool isExtended() const { return extended_; }
  bool isAnimating() const { return animating_; }
  const std::string& inlineClientToken() const { return inlineClientToken_; }
  const std::shared_ptr<OVAdImage>& adChoicesIcon() const { return adChoicesIcon_; }
  const std::optional<platform::URL>& adChoicesLinkURL() const { return adChoicesLinkURL_; }
  const std::optional<std::string>& adChoicesText() const { return adChoicesText_; }
  std::shared_ptr<platform::Label> label() const { return label_.lock(); }
  std::shared_ptr<platform::ImageView> sponsoredImageView() const { return sponsoredImageView_.lock(); }

 private:
  struct Passkey {};
  class BrowserDelegate;

 public:
  explicit OVAdChoicesView(Passkey);

 private:

  void updateViews(const std::shared_ptr<OVAdViewControllerProxy>& viewController, const std::string& token,
                   std::shared_ptr<OVAdImage> icon, std::optional<platform::URL> link,
                   std::optional<std::string> text, const std::shared_ptr<OVNativeAdViewAttributes>& attributes,
                   bool expandable);
  std::shared_ptr<platform::Label> generateLabel() const;
  void loadIconImage();
  double relativeWidth(platform::Size size, platform::RectCorner corner) const;
  double relativeHeight(platform::Size size, platform::RectCorner corner) const;
  double badgeWidth() const;
  double badgeHeight() const;
  std::shared_ptr<OVAdChoicesView> sharedBadge();

  std::weak_ptr<OVNativeAd> nativeAd_;
  platform::RectCorner corner_ = platform::kRectCornerTopRight;
  std::shared_ptr<OVAdViewControllerProxy> viewController_;
  std::string inlineClientToken_;
  std::shared_ptr<OVAdImage> adChoicesIcon_;
  std::optional<platform::URL> adChoicesLinkURL_;
  std::optional<std::string> adChoicesText_;
  std::weak_ptr<OVNativeAdViewAttributes> attributes_;
  std::weak_ptr<platform::Label> label_;
  std::weak_ptr<platform::ImageView> sponsoredImageView_;
  bool expandable_ = true;
  bool extended_ = false;
  bool animating_ = false;
  bool backgroundShown_ = true;
  bool tapRecognizerAdded_ = false;
  std::weak_ptr<OVAdChoicesViewDelegate> delegate_;
  std::shared_ptr<BrowserDelegate> browserDelegate_;
};

}  // namespace plexora
