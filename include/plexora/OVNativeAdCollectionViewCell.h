// A collection view cell that shows a native ad in one of the library's
// templates. Its template type and style belong to its cell class, made by
// specializeCellForType: every cell of that class carries a template of
// that type in that style, made at the cell's creation and kept in its
// content view, sized to the cell.
//
// Thread safety: main thread only.
// Ownership: the content view owns the template; the cell holds it
// weakly. The cell class holds the attributes.
#pragma once

#include <memory>
#include <string>

#include "platform/Export.h"
#include "platform/ui/CollectionView.h"
#include "plexora/OVNativeAd.h"
#include "plexora/OVNativeAdView.h"
#include "plexora/OVNativeAdViewAttributes.h"

namespace plexora {

class PLEXORA_EXPORT OVNativeAdCollectionViewCell final : public platform::CollectionViewCell {
 public:
  // The class of cells with templates of the type in the style; register
  // it with a collection view for a reuse identifier.
  static platform::CollectionViewCellClass specializeCellForType(
      OVNativeAdViewTemplateType type, const std::shared_ptr<OVNativeAdViewAttributes>& attributes);

  // Fills the template from the ad and registers the template with the ad
  // for impressions and clicks, which takes it from the ad it showed
  // before. A cell whose type has no template shows nothing and registers
  // nothing.
  void populate(const std::shared_ptr<OVNativeAd>& nativeAd);

  std::shared_ptr<OVNativeAdView> nativeAdView() const { return nativeAdView_.lock(); }
  OVNativeAdViewTemplateType type() const { return type_; }
  const std::shared_ptr<OVNativeAdViewAttributes>& attributes() const { return attributes_; }

 private:
  OVNativeAdCollectionViewCell(std::string reuseIdentifier, OVNativeAdViewTemplateType type,
                               std::shared_ptr<OVNativeAdViewAttributes> attributes);
  // The second step of making a cell, once it is shared.
  void initWithFrame();

  OVNativeAdViewTemplateType type_;
  std::shared_ptr<OVNativeAdViewAttributes> attributes_;
  std::weak_ptr<OVNativeAdView> nativeAdView_;
};

}  // namespace plexora
