// A table view data source of ready native ad cells: one row per ad of the
// manager's set, each showing its ad in a library template of the
// provider's type and style and registered with the ad for impressions and
// clicks. Rows keep their ads as OVNativeAdTableViewAdProvider places them.
//
//   auto provider = OVNativeAdTableViewCellProvider::initWithManager(manager, kOVNativeAdViewTypeGenericHeight120);
//   table->setDataSource(provider);
//   // the table's delegate answers rows' heights with provider->heightForRowAtIndexPath(...)
//
// Thread safety: main thread only.
// Ownership: as OVNativeAdTableViewAdProvider; the provider also holds its
// attributes. The table views it serves own the cells.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/Export.h"
#include "platform/ui/TableView.h"
#include "plexora/OVNativeAdTableViewAdProvider.h"
#include "plexora/OVNativeAdView.h"
#include "plexora/OVNativeAdViewAttributes.h"

namespace plexora {

class PLEXORA_EXPORT OVNativeAdTableViewCellProvider final : public OVNativeAdTableViewAdProvider,
                                                             public platform::TableViewDataSource {
 public:
  // Type 3 (kOVNativeAdViewTypeGenericHeight300) in its default style.
  static std::shared_ptr<OVNativeAdTableViewCellProvider> initWithManager(
      const std::shared_ptr<OVNativeAdsManager>& manager);
  // In the type's default style.
  static std::shared_ptr<OVNativeAdTableViewCellProvider> initWithManager(
      const std::shared_ptr<OVNativeAdsManager>& manager, OVNativeAdViewTemplateType type);
  // Each throws platform::Exception (kInvalidArgumentException,
  // kOVNativeAdProviderInvalidManagerReason) unless the manager has
  // delivered a set.
  static std::shared_ptr<OVNativeAdTableViewCellProvider> initWithManager(
      const std::shared_ptr<OVNativeAdsManager>& manager, OVNativeAdViewTemplateType type,
      const std::shared_ptr<OVNativeAdViewAttributes>& attributes);

  // ---- platform::TableViewDataSource ----

  // The number of ads in the manager's set, whatever the section.
  std::size_t numberOfRowsInSection(platform::TableView& tableView, std::size_t section) override;
  // At the first call registers the cell class of the provider's type and
  // style with the table view under a new reuse identifier; then dequeues a
  // cell and populates it with the position's ad.
  std::shared_ptr<platform::TableViewCell> cellForRowAtIndexPath(platform::TableView& tableView,
                                                                 const platform::IndexPath& indexPath) override;

  // The template's height: type 1 100, 2 120, 3 300, 4 400, and 250 for
  // kOVNativeAdViewTypeNone. Any other type throws platform::Exception
  // (kInternalInconsistencyException, kOVNativeAdCellProviderNotImplementedReason).
  double heightForRowAtIndexPath(platform::TableView& tableView, const platform::IndexPath& indexPath) const;
  // The same height.
  double estimatedHeightForRowAtIndexPath(platform::TableView& tableView, const platform::IndexPath& indexPath) const;

  // The reuse identifier of the cells; none before the first cell.
  const std::optional<std::string>& tableCellIdentifier() const { return uniqueTableCellIdentifier_; }
  OVNativeAdViewTemplateType type() const { return type_; }
  const std::shared_ptr<OVNativeAdViewAttributes>& attributes() const { return attributes_; }

 private:
  OVNativeAdTableViewCellProvider(std::shared_ptr<OVNativeAdsManager> manager, OVNativeAdViewTemplateType type,
                                  std::shared_ptr<OVNativeAdViewAttributes> attributes);

  OVNativeAdViewTemplateType type_;
  std::shared_ptr<OVNativeAdViewAttributes> attributes_;
  std::optional<std::string> uniqueTableCellIdentifier_;
};

}  // namespace plexora
