#include "tracking/OVAdClientEventManager.h"

#include <cmath>
#include <cstdarg>
#include <utility>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/Exception.h"
#include "util/OVAdLogger.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr const char* kErrorEventName = "error";
constexpr const char* kErrorMessageKey = "error_msg";
constexpr const char* kExceptionNameKey = "ex";
constexpr const char* kExceptionMessageKey = "ex_msg";
// How the platform prints a missing object.
constexpr const char* kMissingObjectText = "(null)";

}  // namespace

OVAdClientEventManager::EventList& OVAdClientEventManager::clientEvents() {
  static EventList* events = new EventList();  // lives for the process
  return *events;
}

void OVAdClientEventManager::addClientEvent(std::shared_ptr<const OVAdClientEvent> event) {
  if (event) {
    clientEvents().addObject(std::move(event));
  }
}

std::string OVAdClientEventManager::dumpClientEventsToJson() {
  const std::vector<std::shared_ptr<const OVAdClientEvent>> events = clientEvents().takeAll();
  if (events.empty()) {
    return "";
  }
  platform::Value dictionaries{platform::Array{}};
  for (const auto& event : events) {
    platform::Value dictionary = event->getClientEventDictionary();
    if (!OVAdUtility::getJSONStringFromObject(dictionary)) {
      OV_LOG(kOVAdLogLevelWarn, "Dropped client event %s: its data cannot be written as JSON", event->name().c_str());
      continue;
    }
    dictionaries.push_back(std::move(dictionary));
  }
  return OVAdUtility::getJSONStringFromObject(dictionaries).value_or("");
}

std::shared_ptr<const OVAdClientEvent> OVAdClientEventManager::createEventName(std::optional<std::string> name,
                                                                               platform::Value data,
                                                                               std::optional<std::string> requestId) {
  const double now = platform::Clock::current()->wallTime();
  return OVAdClientEvent::create(std::move(name), std::move(data), static_cast<std::int64_t>(std::trunc(now)),
                                 std::move(requestId));
}

std::shared_ptr<const OVAdClientEvent> OVAdClientEventManager::createEventName(std::optional<std::string> name,
                                                                               platform::Value data) {
  return createEventName(std::move(name), std::move(data), std::nullopt);
}

std::shared_ptr<const OVAdClientEvent> OVAdClientEventManager::createErrorEventWithMessage(const std::string& message) {
  return createEventName(kErrorEventName, platform::Dictionary{{kErrorMessageKey, message}});
}

std::shared_ptr<const OVAdClientEvent> OVAdClientEventManager::createErrorEventWithFormat(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::string message = OVAdFormatV(format, arguments);
  va_end(arguments);
  return createErrorEventWithMessage(message);
}

std::shared_ptr<const OVAdClientEvent> OVAdClientEventManager::createErrorEventWithException(
    const platform::Exception* exception) {
  std::string name;
  std::string reason = kMissingObjectText;
  std::string userInfo = kMissingObjectText;
  if (exception != nullptr) {
    name = exception->name();
    reason = exception->reason();
    if (!exception->userInfo().isNull()) {
      userInfo = OVAdUtility::getJSONStringFromObject(exception->userInfo()).value_or(kMissingObjectText);
    }
  }
  return createEventName(kErrorEventName, platform::Dictionary{
                                              {kExceptionNameKey, name},
                                              {kExceptionMessageKey, reason + " " + userInfo},
                                          });
}

}  // namespace plexora
