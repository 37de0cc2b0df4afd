// The body of a native ad template: a panel that shows the ad's title with
// its social context on one page and its body text on the other, and may
// rotate between them.
//
// The view installs how it is made (maker()); until then create() answers
// null.
//
// Thread safety: main thread only.
// Ownership: the template view owns the body view; the body view holds the
// native ad and the attributes weakly, and its labels belong to its view
// tree.
#pragma once

#include <memory>

#include "platform/ui/Geometry.h"
#include "platform/ui/Label.h"
#include "platform/ui/View.h"
#include "util/OVAdInstalledFunction.h"

namespace plexora {

class OVNativeAd;
class OVNativeAdViewAttributes;

class OVAdBodyView : public platform::View {
 public:
  using Maker = OVAdInstalledFunction<std::shared_ptr<OVAdBodyView>(
      platform::Rect frame, const std::shared_ptr<OVNativeAd>& nativeAd,
      const std::shared_ptr<OVNativeAdViewAttributes>& attributes)>;

  // A body view for the ad, reading the attributes' rating switch for its
  // star rating.
  static std::shared_ptr<OVAdBodyView> initWithFrame(platform::Rect frame, const std::shared_ptr<OVNativeAd>& nativeAd,
                                                     const std::shared_ptr<OVNativeAdViewAttributes>& attributes) {
    return maker()(frame, nativeAd, attributes);
  }

  // Whether the two pages take turns.
  virtual void setAnimationEnabled(bool enabled) = 0;
  // The labels the template view fills and styles.
  virtual std::shared_ptr<platform::Label> titleLabel() const = 0;
  virtual std::shared_ptr<platform::Label> descriptionLabel() const = 0;
  virtual std::shared_ptr<platform::Label> socialContextLabel() const = 0;

  static Maker& maker() {
    static Maker instance;
    return instance;
  }

 protected:
  OVAdBodyView() = default;
};

}  // namespace plexora
