#include "plexora/OVNativeAdListAdProvider.h"

#include <limits>

#include "platform/foundation/Exception.h"
#include "util/OVAdUtility.h"

namespace plexora {

OVNativeAdListAdProvider::OVNativeAdListAdProvider(std::shared_ptr<OVNativeAdsManager> manager,
                                                   const char* adjustReason)
    : manager_(std::move(manager)), adjustReason_(adjustReason) {}

OVNativeAdListAdProvider::~OVNativeAdListAdProvider() = default;

void OVNativeAdListAdProvider::checkManager(const std::shared_ptr<OVNativeAdsManager>& manager) {
  if (!manager || !manager->isValid()) {
    OVAdUtility::throwExceptionWithName(platform::kInvalidArgumentException, kOVNativeAdProviderInvalidManagerReason);
  }
}

void OVNativeAdListAdProvider::becomeManagerDelegate() { manager_->setDelegate(weak_from_this()); }

// ---- Index arithmetic ----

bool OVNativeAdListAdProvider::isAdCellAtIndexPath(const platform::IndexPath& indexPath, std::uint64_t stride) {
  // Comparing the remainder with stride - 1 rather than testing row + 1
  // keeps the last representable row from wrapping to 0.
  return stride != 0 && indexPath.row % stride == stride - 1;
}

platform::IndexPath OVNativeAdListAdProvider::adjustNonAdCellIndexPath(const platform::IndexPath& indexPath,
                                                                       std::uint64_t stride) const {
  if (isAdCellAtIndexPath(indexPath, stride)) {
    OVAdUtility::throwExceptionWithName(platform::kInvalidArgumentException, adjustReason_);
  }
  if (stride == 0) return indexPath;
  return platform::IndexPath::forRow(indexPath.row - indexPath.row / stride, indexPath.section);
}

std::uint64_t OVNativeAdListAdProvider::adjustCount(std::uint64_t count, std::uint64_t stride) {
  if (count == 0 || stride < 2) return count;
  const std::uint64_t ads = (count - 1) / (stride - 1);
  const std::uint64_t largest = std::numeric_limits<std::uint64_t>::max();
  return ads > largest - count ? largest : count + ads;
}

// ---- Placing ----

std::shared_ptr<OVNativeAd> OVNativeAdListAdProvider::nativeAdForIndexPath(const platform::IndexPath& indexPath) {
  auto& placed = currentIndexPathToAdMap_[indexPath];
  if (!placed) placed = manager_->nextNativeAd();
  if (!placed) {
    currentIndexPathToAdMap_.erase(indexPath);
    return nullptr;
  }
  placed->setDelegate(weak_from_this());
  return placed;
}

void OVNativeAdListAdProvider::nativeAdsLoaded() { currentIndexPathToAdMap_.clear(); }

// ---- Passing on ----

void OVNativeAdListAdProvider::nativeAdDidClick(const std::shared_ptr<OVNativeAd>& nativeAd) {
  if (const auto target = delegate()) target->nativeAdDidClick(nativeAd);
}

void OVNativeAdListAdProvider::nativeAdDidFinishHandlingClick(const std::shared_ptr<OVNativeAd>& nativeAd) {
  if (const auto target = delegate()) target->nativeAdDidFinishHandlingClick(nativeAd);
}

void OVNativeAdListAdProvider::nativeAdWillLogImpression(const std::shared_ptr<OVNativeAd>& nativeAd) {
  if (const auto target = delegate()) target->nativeAdWillLogImpression(nativeAd);
}

}  // namespace plexora
