#include "util/OVAdBackgroundDeallocatedClass.h"

#include "util/OVAdLogger.h"

namespace plexora {

namespace {
constexpr const char* kDeallocationQueueLabel = "com.plexora.ads.dealloc";
constexpr const char* kDeallocatingLog = "%p deallocing...";
}  // namespace

platform::DispatchQueuePtr OVAdBackgroundDeallocationQueue() {
  static const platform::DispatchQueuePtr queue = platform::DispatchQueue::createSerial(kDeallocationQueueLabel);
  return queue;
}

void OVAdDeallocateInBackground(const void* object, std::function<void()> destroy) {
  OVAdBackgroundDeallocationQueue()->async([object, destroy = std::move(destroy)] {
    OV_LOG(kOVAdLogLevelVerbose, kDeallocatingLog, object);
    destroy();
  });
}

}  // namespace plexora
