// The process-wide list of client events waiting for the next ad request,
// and the factories that make them.
//
// Thread safety: every member may be called from any thread. Taking the
// events out for a dump and emptying the list is one step: an event added
// meanwhile lands either in this dump or in the next one.
// Ownership: the list lives for the process and owns the events added to it
// until a dump takes them. The factories do not add what they make; callers
// pass the event to addClientEvent.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/value/Value.h"
#include "tracking/OVAdClientEvent.h"
#include "util/OVAdConcurrentArray.h"

namespace plexora::platform {
class Exception;
}

namespace plexora {

class OVAdClientEventManager final {
 public:
  using EventList = OVAdConcurrentArray<std::shared_ptr<const OVAdClientEvent>>;

  OVAdClientEventManager() = delete;

  // The list, made on first use.
  static EventList& clientEvents();
  // Appends the event; null is ignored.
  static void addClientEvent(std::shared_ptr<const OVAdClientEvent> event);
  // Takes every event out of the list and answers the JSON text of the array
  // of their dictionary forms, in list order; "" when there is none. An
  // event whose data cannot be written as JSON is left out (and logged), so
  // it cannot spoil the others.
  static std::string dumpClientEventsToJson();

  // A new event stamped with the current whole seconds since 1970; null
  // unless `name` is given and `data` is a dictionary.
  static std::shared_ptr<const OVAdClientEvent> createEventName(std::optional<std::string> name,
                                                                platform::Value data,
                                                                std::optional<std::string> requestId);
  static std::shared_ptr<const OVAdClientEvent> createEventName(std::optional<std::string> name,
                                                                platform::Value data);
  // An "error" event with the data {"error_msg": message}.
  static std::shared_ptr<const OVAdClientEvent> createErrorEventWithMessage(const std::string& message);
  // The same with the message formatted printf-style.
  static std::shared_ptr<const OVAdClientEvent> createErrorEventWithFormat(const char* format, ...)
      __attribute__((format(printf, 1, 2)));
  // An "error" event with the data {"ex": the exception's name ("" for none),
  // "ex_msg": its reason and the JSON text of its user info, joined by one
  // blank}.
  static std::shared_ptr<const OVAdClientEvent> createErrorEventWithException(const platform::Exception* exception);
};

}  // namespace plexora
