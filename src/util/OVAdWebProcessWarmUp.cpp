#include "util/OVAdWebProcessWarmUp.h"

#include <exception>
#include <mutex>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/web/WebEngine.h"
#include "util/OVAdLogger.h"

namespace plexora {

namespace {

constexpr const char* kWarmUpFailedFormat = "The web engine could not be started ahead of the first page: %s";

}  // namespace

OVAdInstalledFunction<void()>& OVAdWebProcessWarmer() {
  static OVAdInstalledFunction<void()> instance;
  static std::once_flag installed;
  std::call_once(installed, [] { instance.install([] { platform::WebEngine::warmUp(); }); });
  return instance;
}

void OVAdWarmUpWebProcess() {
  if (!platform::DispatchQueue::isMainThread()) {
    return;
  }
  // Only a head start: an engine that cannot start fails the first page,
  // which tells its delegate, not the making of the ad.
  try {
    OVAdWebProcessWarmer()();
  } catch (const std::exception& failure) {
    OV_LOG(kOVAdLogLevelError, kWarmUpFailedFormat, failure.what());
  }
}

}  // namespace plexora
