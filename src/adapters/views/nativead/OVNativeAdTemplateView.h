// The base of the library's native ad templates: a native ad view stacked
// top to bottom as a header strip (the ad's subtitle and body), the cover
// and a details strip (icon, title with social context, call to action and
// optionally the body text). Heights not set are computed from the bounds at
// each layout; a registered template names its type in the ad's logging
// data.
//
// Thread safety: main thread only.
// Ownership: the host owns its template views; the strips belong to the
// template's view tree and are held weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/ui/Geometry.h"
#include "plexora/OVNativeAdView.h"

namespace plexora {

class OVNativeAdHeaderView;
class OVNativeAdDetailsView;

class OVNativeAdTemplateView : public OVNativeAdView {
 public:
  // The template's type: 1 to 4 for the fixed heights 100, 120, 300 and 400.
  virtual std::int64_t templateType() const { return type(); }

  void updateView(bool changed) override;

  // A set height, else one computed from the bounds: the header a third (a
  // fifth in landscape) of the height within 50 (25) and 100, the details a
  // third (a fifth) of the rest within 50 (25) and 150, the cover the rest.
  double headerSize() const;
  double coverImageSize() const;
  double detailsSize() const;
  void setHeaderSize(std::optional<double> size) { headerSize_ = size; }
  void setCoverImageSize(std::optional<double> size) { coverImageSize_ = size; }
  void setDetailsSize(std::optional<double> size) { detailsSize_ = size; }
  bool isBodyTextEnabled() const;
  void setBodyTextEnabled(bool enabled);

  std::shared_ptr<OVNativeAdHeaderView> headerView() const { return headerView_.lock(); }
  std::shared_ptr<OVNativeAdDetailsView> detailsView() const { return detailsView_.lock(); }

  static std::shared_ptr<OVNativeAdViewAttributes> defaultAttributes(std::int64_t type);

 protected:
  OVNativeAdTemplateView() = default;
  explicit OVNativeAdTemplateView(platform::Rect frame) : OVNativeAdView(frame) {}

  // The details strip brings its own icon and button.
  void constructIconImageView() override {}
  void constructCallToActionButton() override {}
  void constructBodyView() override;

 private:
  std::optional<double> headerSize_;
  std::optional<double> coverImageSize_;
  std::optional<double> detailsSize_;
  std::weak_ptr<OVNativeAdHeaderView> headerView_;
  std::weak_ptr<OVNativeAdDetailsView> detailsView_;
};

}  // namespace plexora
