// Reading a command link ("ovad://command?key=value&...") and the event it
// logs, apart from running it, so that every link an ad can send is checked
// in one place.
//
// Thread safety: pure functions over the caller's values; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/URL.h"
#include "platform/value/Value.h"

namespace plexora {

inline constexpr const char* kOVAdCommandArgumentData = "data";
inline constexpr const char* kOVAdCommandArgumentType = "type";
inline constexpr const char* kOVAdCommandArgumentPriority = "priority";
inline constexpr const char* kOVAdCommandEventAnalogKey = "analog";
inline constexpr const char* kOVAdCommandEventTouchKey = "touch";
// A page's "data" argument longer than this is refused: an event carries
// the ad's own small facts, never bulk content.
inline constexpr std::size_t kOVAdCommandMaximumDataLength = 32 * 1024;

struct OVAdCommandLink {
  // The URL's host, as written.
  std::string command;
  // The query's "key=value" pairs with values decoded (a dictionary); pairs
  // that are malformed or do not decode are left out.
  platform::Value arguments;

  // None (logged) unless the URL's scheme is "ovad", in any case, and it
  // names a command.
  static std::optional<OVAdCommandLink> parse(const platform::URL& url);
};

struct OVAdCommandEvent {
  std::string type;
  std::uint64_t priority = 0;
  platform::Dictionary data;
};

// The event a link logs, on top of `eventData` (the caller's extra data
// with "analog" and "touch" already in place): "passthrough" logs the type
// and priority its arguments name and merges its "data" object; any other
// command logs its own name, priority 1 for "close" and "off_target_click"
// and 0 otherwise, and merges a "data" dictionary. The page's "data" never
// replaces "analog" or "touch"; a "data" that is too long, not JSON or not
// an object is logged and left out. None (logged) for a passthrough
// without a type.
std::optional<OVAdCommandEvent> OVAdCommandEventForLink(const OVAdCommandLink& link, platform::Dictionary eventData);

}  // namespace plexora
