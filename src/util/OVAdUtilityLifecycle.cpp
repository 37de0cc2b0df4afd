// The library's ties to the host application: its life-cycle notifications,
// usage exceptions and messages for developers on test devices.
#include "util/OVAdUtility.h"

#include <cstdarg>
#include <utility>

#include "platform/foundation/Exception.h"
#include "platform/foundation/NotificationCenter.h"
#include "plexora/OVAdSettings.h"
#include "tracking/OVAdClientEventManager.h"
#include "util/OVAdLogger.h"
#include "util/OVAdNotificationCenter.h"

namespace plexora {

namespace {

constexpr const char* kDebugMessageFormat = "%s (displayed for test ads only)";

}  // namespace

void OVAdUtility::startObservingBackgroundNotifications(const std::shared_ptr<const void>& observer,
                                                        std::function<void()> backgroundBlock,
                                                        std::function<void()> foregroundBlock) {
  const auto centre = OVAdNotificationCenter::notificationCenterForObject(observer);
  if (!centre) {
    return;
  }
  centre->addNotificationWithName(platform::kApplicationDidEnterBackgroundNotification,
                                  [block = std::move(backgroundBlock)](const platform::Notification&) {
                                    if (block) {
                                      block();
                                    }
                                  });
  centre->addNotificationWithName(platform::kApplicationDidBecomeActiveNotification,
                                  [block = std::move(foregroundBlock)](const platform::Notification&) {
                                    if (block) {
                                      block();
                                    }
                                  });
}

void OVAdUtility::stopObservingBackgroundNotifications(const void* observer) {
  OVAdNotificationCenter::removeAllObserversForObject(observer);
}

void OVAdUtility::throwExceptionWithName(const std::string& name, const std::string& reason,
                                         platform::Value userInfo) {
  const platform::Exception exception(name, reason, std::move(userInfo));
  OVAdClientEventManager::addClientEvent(OVAdClientEventManager::createErrorEventWithException(&exception));
  throw exception;
}

void OVAdUtility::displayDebugMessage(const char* format, ...) {
  if (!OVAdSettings::isTestMode()) {
    return;
  }
  std::va_list arguments;
  va_start(arguments, format);
  const std::string message = OVAdFormatV(format, arguments);
  va_end(arguments);
  OV_LOG(kOVAdLogLevelPlain, kDebugMessageFormat, message.c_str());
}

void OVAdUtility::displayVerboseDebugMessage(const char* format, ...) {
  if (!OVAdSettings::isTestMode()) {
    return;
  }
  std::va_list arguments;
  va_start(arguments, format);
  const std::string message = OVAdFormatV(format, arguments);
  va_end(arguments);
  OV_LOG(kOVAdLogLevelVerbose, kDebugMessageFormat, message.c_str());
}

}  // namespace plexora
