#include "util/compatibility/OVAdCreateVideoAsset.h"

#include <mutex>
#include <utility>

#include "util/compatibility/OVAdFileVideoAsset.h"

namespace plexora {

namespace {

std::mutex& factoryMutex() {
  static std::mutex mutex;
  return mutex;
}

OVAdVideoAssetFactory& installedFactory() {
  static OVAdVideoAssetFactory factory;
  return factory;
}

}  // namespace

std::shared_ptr<QNVAssetForCache> OVAdCreateVideoAsset(const platform::URL& url, bool isFile) {
  OVAdVideoAssetFactory factory;
  {
    std::lock_guard lock(factoryMutex());
    factory = installedFactory();
  }
  if (factory) {
    if (auto asset = factory(url, isFile)) {
      return asset;
    }
  }
  return OVAdFileVideoAsset::create(url, isFile);
}

void OVAdSetVideoAssetFactory(OVAdVideoAssetFactory factory) {
  std::lock_guard lock(factoryMutex());
  installedFactory() = std::move(factory);
}

}  // namespace plexora
