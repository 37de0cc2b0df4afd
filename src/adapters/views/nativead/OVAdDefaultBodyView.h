// The library's body view for its templates: two pages, the title with its
// social context (an OVCombinedSecondaryView) and the ad's body text, that
// swap every 5 seconds with a half-second slide while rotation is on and the
// view is in a window.
//
// Thread safety: main thread only; the rotation timer fires on the main
// queue and holds the view weakly.
// Ownership: the template's view tree owns the body view; it holds the ad
// and the attributes weakly, its pages through its view tree, and its
// rotation timer.
#pragma once

#include <memory>

#include "adapters/views/nativead/OVAdBodyView.h"
#include "adapters/views/nativead/OVCombinedSecondaryView.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Label.h"

namespace plexora {

class OVAdTimer;

class OVAdDefaultBodyView final : public OVAdBodyView {
 public:
  static std::shared_ptr<OVAdDefaultBodyView> initWithFrame(platform::Rect frame,
                                                            const std::shared_ptr<OVNativeAd>& nativeAd,
                                                            const std::shared_ptr<OVNativeAdViewAttributes>& attributes);
  ~OVAdDefaultBodyView() override;

  void setAnimationEnabled(bool enabled) override { animationEnabled_ = enabled; }
  bool animationEnabled() const { return animationEnabled_; }
  std::shared_ptr<platform::Label> titleLabel() const override;
  std::shared_ptr<platform::Label> descriptionLabel() const override { return descriptionLabel_.lock(); }
  std::shared_ptr<platform::Label> socialContextLabel() const override;

  void updateView(bool changed);
  void setFrame(platform::Rect frame) override;
  void setBounds(platform::Rect bounds) override;
  void setNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd);
  void setAdditionalYSpacing(double spacing);
  double additionalYSpacing() const { return additionalYSpacing_; }
  void setFullRatingView(bool full);
  bool isRatingEnabled() const;
  void setRatingEnabled(bool enabled);
  bool socialContextEnabled() const;
  void setSocialContextEnabled(bool enabled);

  // The title's and the social context's heights: sizeToFit makes the view
  // exactly as tall as the first page's text.
  platform::Size sizeThatFits(platform::Size size) const override;
  // The combined view's spare space, in its coordinates; zero without it.
  platform::Rect spareSpace() const;
  std::shared_ptr<OVCombinedSecondaryView> secondaryCombinedView() const { return combined_.lock(); }
  std::shared_ptr<platform::View> firstContainerView() const { return firstPage_.lock(); }
  std::shared_ptr<platform::View> secondContainerView() const { return secondPage_.lock(); }
  bool isRotated() const { return rotated_; }

  // Swaps the pages; a panel showing its second page always swaps back,
  // even with rotation off.
  void rotate();
  void willMoveToWindow(const std::shared_ptr<platform::Window>& newWindow) override;

  platform::Rect normalFrame() const;
  platform::Rect animationFrame() const;
  platform::Rect offscreenFrame() const;

  OVAdDefaultBodyView(platform::Rect frame, const std::shared_ptr<OVNativeAd>& nativeAd,
                      const std::shared_ptr<OVNativeAdViewAttributes>& attributes);

 private:
  void build();
  void calculateValues();
  void animateRotation(const std::shared_ptr<platform::View>& current, const std::shared_ptr<platform::View>& other);

  std::weak_ptr<OVNativeAd> nativeAd_;
  std::weak_ptr<OVNativeAdViewAttributes> attributes_;
  std::weak_ptr<platform::View> firstPage_;
  std::weak_ptr<platform::View> secondPage_;
  std::weak_ptr<platform::Label> descriptionLabel_;
  std::weak_ptr<OVCombinedSecondaryView> combined_;
  bool animationEnabled_ = false;
  bool rotated_ = false;
  std::shared_ptr<OVAdTimer> rotationTimer_;
  double additionalYSpacing_ = 0.0;
  bool fullRatingView_ = false;
  double miscMargin_ = 0.0;
  double titleHeight_ = 0.0;
};

}  // namespace plexora
