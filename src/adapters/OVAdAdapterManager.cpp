#include "adapters/OVAdAdapterManager.h"

#include <array>

#include "adapters/OVPXBannerAdAdapter.h"
#include "adapters/OVPXInstreamAdAdapter.h"
#include "adapters/OVPXInterstitialAdAdapter.h"
#include "adapters/OVPXNativeAdAdapter.h"
#include "adapters/OVPXRewardedVideoAdAdapter.h"

namespace plexora {

namespace {

constexpr std::array<const char*, 4> kRegisteredAdapters = {kOVAdAdapterIdPX, "ADMOB", "INMOBI", "YAHOO"};

constexpr std::int64_t kFirstPlacementType = 1;

// Indexed by placement type minus one.
constexpr std::array<const char*, 5> kClassNamePatterns = {
    "OV%@BannerAdAdapter", "OV%@InterstitialAdAdapter", "OV%@NativeAdAdapter", "OV%@RewardedVideoAdAdapter",
    "OV%@InstreamAdAdapter",
};
// The names of the own adapters come from the adapters themselves, which
// links them in.
const std::array<const char*, 5> kBuiltInClassNames = {
    kOVPXBannerAdAdapterClassName, kOVPXInterstitialAdAdapterClassName, kOVPXNativeAdAdapterClassName,
    kOVPXRewardedVideoAdAdapterClassName, kOVPXInstreamAdAdapterClassName,
};

bool isKnownPlacementType(std::int64_t placementType) {
  return placementType >= kFirstPlacementType &&
         placementType < kFirstPlacementType + static_cast<std::int64_t>(kClassNamePatterns.size());
}

std::size_t indexOf(std::int64_t placementType) { return static_cast<std::size_t>(placementType - kFirstPlacementType); }

std::shared_ptr<const OVAdAdapterClass> adapterClassNamed(const std::string& name) {
  auto adapterClass = OVAdAdapterClassTable::classNamed(name);
  if (adapterClass == nullptr || !adapterClass->isSubclassOfDisplayAdAdapter()) {
    return nullptr;
  }
  return adapterClass;
}

}  // namespace

std::vector<std::string> OVAdAdapterManager::registeredAdapters() {
  return {kRegisteredAdapters.begin(), kRegisteredAdapters.end()};
}

std::optional<std::string> OVAdAdapterManager::classNameForId(const std::string& adapterId,
                                                               std::int64_t placementType) {
  if (!isKnownPlacementType(placementType)) {
    return std::nullopt;
  }
  std::string name(kClassNamePatterns[indexOf(placementType)]);
  name.replace(name.find("%@"), 2, adapterId);
  return name;
}

std::map<std::string, std::string> OVAdAdapterManager::builtInClassesForPlacementType(std::int64_t placementType) {
  if (!isKnownPlacementType(placementType)) {
    return {};
  }
  return {{kOVAdAdapterIdPX, kBuiltInClassNames[indexOf(placementType)]}};
}

std::shared_ptr<const OVAdAdapterClass> OVAdAdapterManager::classForId(const std::string& adapterId,
                                                                        std::int64_t placementType) {
  const auto builtIn = builtInClassesForPlacementType(placementType);
  if (const auto found = builtIn.find(adapterId); found != builtIn.end()) {
    if (auto adapterClass = adapterClassNamed(found->second)) {
      return adapterClass;
    }
  }
  const auto className = classNameForId(adapterId, placementType);
  return className ? adapterClassNamed(*className) : nullptr;
}

std::vector<std::string> OVAdAdapterManager::availableAdaptersForPlacementType(std::int64_t placementType) {
  std::vector<std::string> available;
  for (const char* adapterId : kRegisteredAdapters) {
    if (classForId(adapterId, placementType) != nullptr) {
      available.emplace_back(adapterId);
    }
  }
  return available;
}

std::shared_ptr<OVDisplayAdAdapter> OVAdAdapterManager::adapterInstanceForId(const std::string& adapterId,
                                                                             std::int64_t placementType) {
  const auto adapterClass = classForId(adapterId, placementType);
  return adapterClass ? adapterClass->newInstance() : nullptr;
}

}  // namespace plexora
