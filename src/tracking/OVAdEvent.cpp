#include "tracking/OVAdEvent.h"

#include <cctype>
#include <charconv>
#include <utility>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/UUID.h"
#include "tracking/OVAdEventToken.h"
#include "util/OVAdUtility.h"
#include "util/database/OVAdDatabaseColumns.h"

namespace plexora {
namespace {

constexpr const char* kPayloadIdKey = "id";
constexpr const char* kPayloadTokenIdKey = "token_id";
constexpr const char* kPayloadTypeKey = "type";
constexpr const char* kPayloadTimeKey = "time";
constexpr const char* kPayloadSessionIdKey = "session_id";
constexpr const char* kPayloadSessionTimeKey = "session_time";
constexpr const char* kPayloadDataKey = "data";
constexpr const char* kUntypedEventName = "Event";

enum Column { kEventId, kTokenId, kPriority, kType, kTime, kSessionId, kSessionStartTime, kData };

std::string uuidOrNew(const std::string& text) {
  std::optional<std::string> canonical = OVAdCanonicalUUIDString(text);
  return canonical ? std::move(*canonical) : platform::makeUUIDString();
}

// The plain decimal text of a time with the fraction digits it needs and no
// exponent ("1700000000", "1700000000.25"), the form the server reads.
std::string decimalText(double seconds) {
  char text[400];  // the longest fixed-notation double fits
  const std::to_chars_result result = std::to_chars(text, text + sizeof text, seconds, std::chars_format::fixed);
  return std::string(text, result.ptr);
}

// Each word (a run between white space) starts upper-case, the rest lower.
std::string capitalized(const std::string& text) {
  std::string result = text;
  bool wordStart = true;
  for (char& c : result) {
    const unsigned char u = static_cast<unsigned char>(c);
    c = static_cast<char>(wordStart ? std::toupper(u) : std::tolower(u));
    wordStart = std::isspace(u) != 0;
  }
  return result;
}

std::optional<platform::Dictionary> extraDataFromJSON(const std::optional<std::string>& json) {
  if (!json) {
    return std::nullopt;
  }
  std::optional<platform::Value> parsed = OVAdUtility::getObjectFromJSONString(*json);
  if (!parsed || !parsed->isDictionary()) {
    return std::nullopt;
  }
  return parsed->asDictionary();
}

}  // namespace

OVAdEvent::OVAdEvent(std::string type, std::uint64_t priority, std::string tokenId, std::string sessionId,
                     double sessionStartTime, std::optional<platform::Dictionary> extraData)
    : eventId_(platform::makeUUIDString()),
      type_(std::move(type)),
      time_(platform::Clock::current()->wallTime()),
      priority_(priority),
      extraData_(std::move(extraData)),
      tokenId_(std::move(tokenId)),
      sessionId_(std::move(sessionId)),
      sessionStartTime_(sessionStartTime) {}

std::optional<OVAdEvent> OVAdEvent::deserializeFromSqlite(sqlite3_stmt* statement) {
  std::optional<std::string> eventId = OVAdColumnText(statement, kEventId);
  std::optional<std::string> tokenId = OVAdColumnText(statement, kTokenId);
  std::optional<std::string> type = OVAdColumnText(statement, kType);
  std::optional<std::string> sessionId = OVAdColumnText(statement, kSessionId);
  if (!eventId || !tokenId || !type || !sessionId) {
    return std::nullopt;
  }
  std::optional<std::string> canonicalEventId = OVAdCanonicalUUIDString(*eventId);
  OVAdEvent event(std::move(*type), static_cast<std::uint64_t>(OVAdColumnInt64(statement, kPriority)),
                  uuidOrNew(*tokenId), uuidOrNew(*sessionId), OVAdColumnDouble(statement, kSessionStartTime),
                  extraDataFromJSON(OVAdColumnText(statement, kData)));
  if (canonicalEventId) {
    event.eventId_ = std::move(*canonicalEventId);
  }
  if (event.eventId_ != *eventId) {
    event.storedEventId_ = std::move(*eventId);
  }
  event.time_ = OVAdColumnDouble(statement, kTime);
  return event;
}

OVAdSQLStatement OVAdEvent::insertStatement() const {
  std::optional<std::string> data = jsonExtraData();
  return OVAdSQLStatement(kInsertStatement, {eventId_, tokenId_, static_cast<std::int64_t>(priority_), type_, time_,
                                             sessionId_, sessionStartTime_,
                                             data ? OVAdSQLValue(std::move(*data)) : OVAdSQLValue()});
}

platform::Dictionary OVAdEvent::payloadDictionary() const {
  platform::Dictionary payload;
  payload.set(kPayloadIdKey, eventId_);
  payload.set(kPayloadTokenIdKey, tokenId_);
  payload.set(kPayloadTypeKey, type_);
  payload.set(kPayloadTimeKey, decimalText(time_));
  payload.set(kPayloadSessionIdKey, sessionId_);
  payload.set(kPayloadSessionTimeKey, decimalText(sessionStartTime_));
  payload.set(kPayloadDataKey, extraData_ ? *extraData_ : platform::Dictionary());
  return payload;
}

std::optional<std::string> OVAdEvent::jsonExtraData() const {
  if (!extraData_) {
    return std::nullopt;
  }
  return OVAdUtility::getJSONStringFromObject(platform::Value(*extraData_));
}

void OVAdEvent::logStatusMessage() const {
  const std::string name = type_.empty() ? kUntypedEventName : capitalized(type_);
  OVAdUtility::displayDebugMessage("%s is logged", name.c_str());
}

}  // namespace plexora
