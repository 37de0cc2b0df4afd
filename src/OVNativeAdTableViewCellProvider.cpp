#include "plexora/OVNativeAdTableViewCellProvider.h"

#include <utility>

#include "OVNativeAdCellProviderHeight.h"
#include "platform/foundation/UUID.h"
#include "plexora/OVNativeAdTableViewCell.h"

namespace plexora {

namespace {

constexpr const char* kClassName = "OVNativeAdTableViewCellProvider";

}  // namespace

std::shared_ptr<OVNativeAdTableViewCellProvider> OVNativeAdTableViewCellProvider::initWithManager(
    const std::shared_ptr<OVNativeAdsManager>& manager) {
  return initWithManager(manager, kOVNativeAdViewTypeGenericHeight300);
}

std::shared_ptr<OVNativeAdTableViewCellProvider> OVNativeAdTableViewCellProvider::initWithManager(
    const std::shared_ptr<OVNativeAdsManager>& manager, OVNativeAdViewTemplateType type) {
  return initWithManager(manager, type, OVNativeAdViewAttributes::defaultAttributesForType(type));
}

std::shared_ptr<OVNativeAdTableViewCellProvider> OVNativeAdTableViewCellProvider::initWithManager(
    const std::shared_ptr<OVNativeAdsManager>& manager, OVNativeAdViewTemplateType type,
    const std::shared_ptr<OVNativeAdViewAttributes>& attributes) {
  checkManager(manager);
  std::shared_ptr<OVNativeAdTableViewCellProvider> provider(
      new OVNativeAdTableViewCellProvider(manager, type, attributes));
  provider->becomeManagerDelegate();
  return provider;
}

OVNativeAdTableViewCellProvider::OVNativeAdTableViewCellProvider(std::shared_ptr<OVNativeAdsManager> manager,
                                                                 OVNativeAdViewTemplateType type,
                                                                 std::shared_ptr<OVNativeAdViewAttributes> attributes)
    : OVNativeAdTableViewAdProvider(std::move(manager)), type_(type), attributes_(std::move(attributes)) {}

std::size_t OVNativeAdTableViewCellProvider::numberOfRowsInSection(platform::TableView& /*tableView*/,
                                                                   std::size_t /*section*/) {
  return manager()->uniqueNativeAdCount();
}

std::shared_ptr<platform::TableViewCell> OVNativeAdTableViewCellProvider::cellForRowAtIndexPath(
    platform::TableView& tableView, const platform::IndexPath& indexPath) {
  if (!uniqueTableCellIdentifier_) {
    uniqueTableCellIdentifier_ = platform::makeUUIDString();
    tableView.registerClass(OVNativeAdTableViewCell::specializeCellForType(type_, attributes_),
                            *uniqueTableCellIdentifier_);
  }
  auto cell = tableView.dequeueReusableCellWithIdentifier(*uniqueTableCellIdentifier_, indexPath);
  if (const auto adCell = std::dynamic_pointer_cast<OVNativeAdTableViewCell>(cell)) {
    adCell->populate(nativeAdForRowAtIndexPath(tableView, indexPath));
  }
  return cell;
}

double OVNativeAdTableViewCellProvider::heightForRowAtIndexPath(platform::TableView& /*tableView*/,
                                                                const platform::IndexPath& /*indexPath*/) const {
  return OVNativeAdCellProviderHeight(type_, kClassName);
}

double OVNativeAdTableViewCellProvider::estimatedHeightForRowAtIndexPath(platform::TableView& tableView,
                                                                         const platform::IndexPath& indexPath) const {
  return heightForRowAtIndexPath(tableView, indexPath);
}

}  // namespace plexora
