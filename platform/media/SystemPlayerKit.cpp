#include "platform/media/SystemPlayerKit.h"

#include <mutex>
#include <utility>

#include "platform/media/GStreamerPlayerKit.h"

namespace plexora::platform {

namespace {

std::mutex gKitMutex;
// GStreamer's kit until something else (or nothing) is installed.
std::shared_ptr<SystemPlayerKit> gKit = std::make_shared<GStreamerPlayerKit>();

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
