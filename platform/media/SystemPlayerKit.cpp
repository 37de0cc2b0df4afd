#include "platform/media/SystemPlayerKit.h"

#include <mutex>
#include <utility>

namespace plexora::platform {

namespace {

std::mutex gKitMutex;
std::shared_ptr<SystemPlayerKit> gKit;

}  // namespace

std::shared_ptr<SystemPlayerKit> SystemPlayerKit::installed() {
  std::lock_guard lock(gKitMutex);
  return gKit;
}

void SystemPlayerKit::install(std::shared_ptr<SystemPlayerKit> kit) {
  std::lock_guard lock(gKitMutex);
  gKit = std::move(kit);
}

}  // namespace plexora::platform
