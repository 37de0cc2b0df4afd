#include "plexora/OVNativeAdTableViewCell.h"

#include <utility>

namespace plexora {

platform::TableViewCellClass OVNativeAdTableViewCell::specializeCellForType(
    OVNativeAdViewTemplateType type, const std::shared_ptr<OVNativeAdViewAttributes>& attributes) {
  return [type, attributes](const std::string& reuseIdentifier) -> std::shared_ptr<platform::TableViewCell> {
    std::shared_ptr<OVNativeAdTableViewCell> cell(new OVNativeAdTableViewCell(reuseIdentifier, type, attributes));
    cell->initWithStyle();
    return cell;
  };
}

OVNativeAdTableViewCell::OVNativeAdTableViewCell(std::string reuseIdentifier, OVNativeAdViewTemplateType type,
                                                 std::shared_ptr<OVNativeAdViewAttributes> attributes)
    : platform::TableViewCell(std::move(reuseIdentifier)), type_(type), attributes_(std::move(attributes)) {}

void OVNativeAdTableViewCell::initWithStyle() {
  const auto view = OVNativeAdView::nativeAdViewWithType(type_, attributes_);
  if (!view) return;
  view->setFrame(bounds());
  contentView()->addSubview(view);
  nativeAdView_ = view;
}

void OVNativeAdTableViewCell::populate(const std::shared_ptr<OVNativeAd>& nativeAd) {
  const auto view = nativeAdView();
  if (!view || !nativeAd) return;
  view->populate(nativeAd);
  nativeAd->registerViewForInteraction(view, nullptr);
}

void OVNativeAdTableViewCell::setFrame(platform::Rect frame) {
  platform::TableViewCell::setFrame(frame);
  if (const auto view = nativeAdView()) view->setFrame(bounds());
}

void OVNativeAdTableViewCell::setBounds(platform::Rect bounds) {
  platform::TableViewCell::setBounds(bounds);
  if (const auto view = nativeAdView()) view->setBounds(bounds);
}

}  // namespace plexora
