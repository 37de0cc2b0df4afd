#include "platform/foundation/MainBundle.h"

#include <mutex>
#include <utility>

namespace plexora::platform {
namespace {

std::mutex& bundleMutex() {
  static std::mutex mutex;
  return mutex;
}

MainBundleInfo& bundleInfo() {
  static MainBundleInfo info;
  return info;
}

}  // namespace

MainBundleInfo mainBundleInfo() {
  std::lock_guard lock(bundleMutex());
  return bundleInfo();
}

void setMainBundleInfo(MainBundleInfo info) {
  std::lock_guard lock(bundleMutex());
  bundleInfo() = std::move(info);
}

}  // namespace plexora::platform
