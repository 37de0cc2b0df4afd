#include "plexora/OVNativeAdCollectionViewCell.h"

#include <utility>

namespace plexora {

platform::CollectionViewCellClass OVNativeAdCollectionViewCell::specializeCellForType(
    OVNativeAdViewTemplateType type, const std::shared_ptr<OVNativeAdViewAttributes>& attributes) {
  return [type, attributes](const std::string& reuseIdentifier) -> std::shared_ptr<platform::CollectionViewCell> {
    std::shared_ptr<OVNativeAdCollectionViewCell> cell(
        new OVNativeAdCollectionViewCell(reuseIdentifier, type, attributes));
    cell->initWithFrame();
    return cell;
  };
}

OVNativeAdCollectionViewCell::OVNativeAdCollectionViewCell(std::string reuseIdentifier,
                                                           OVNativeAdViewTemplateType type,
                                                           std::shared_ptr<OVNativeAdViewAttributes> attributes)
    : platform::CollectionViewCell(std::move(reuseIdentifier)), type_(type), attributes_(std::move(attributes)) {}

void OVNativeAdCollectionViewCell::initWithFrame() {
  const auto view = OVNativeAdView::nativeAdViewWithType(type_, attributes_);
  if (!view) return;
  view->setFrame(bounds());
  // Cells are made before the collection view gives them their item's
  // size, and a reused cell may take an item of another size.
  view->setAutoresizingMask(platform::kAutoresizingFlexibleWidth | platform::kAutoresizingFlexibleHeight);
  contentView()->addSubview(view);
  nativeAdView_ = view;
}

void OVNativeAdCollectionViewCell::populate(const std::shared_ptr<OVNativeAd>& nativeAd) {
  const auto view = nativeAdView();
  if (!view || !nativeAd) return;
  view->populate(nativeAd);
  nativeAd->registerViewForInteraction(view, nullptr);
}

}  // namespace plexora
