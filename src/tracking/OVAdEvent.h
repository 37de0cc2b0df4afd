// The event record: one thing that happened to an ad (an impression, a
// click, a video report...), kept in the table "events" until the logging
// server has acknowledged it, and sent in the logging payload.
//
// Identifiers (event, token, session) are upper-case UUID texts; times are
// seconds since 1970.
//
// Thread safety: a plain value; copies may be used on any thread. The
// SQLite members run on the database queue.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/value/Value.h"
#include "util/database/OVAdSQLStatement.h"

struct sqlite3_stmt;

namespace plexora {

class OVAdEvent {
 public:
  // The statements of the table "events"; the event manager issues them
  // after those of "tokens", which the events refer to.
  static constexpr const char* kCreateTableStatement =
      "CREATE TABLE events("
      "eventId TEXT PRIMARY KEY NOT NULL, "
      "tokenId TEXT REFERENCES tokens ON UPDATE CASCADE ON DELETE RESTRICT, "
      "priority BIGINT, "
      "type TEXT, "
      "time DOUBLE, "
      "sessionId TEXT, "
      "sessionStartTime DOUBLE, "
      "data TEXT"
      ");";
  static constexpr const char* kInsertStatement =
      "INSERT INTO events (eventId, tokenId, priority, type, time, sessionId, sessionStartTime, data) "
      "VALUES (?, ?, ?, ?, ?, ?, ?, ?);";

  // A new event under a new random identifier, timed now (the current
  // clock's wall time). Priority 0 asks to be sent soon, any other value
  // with the next batch. An empty type counts as none.
  OVAdEvent(std::string type, std::uint64_t priority, std::string tokenId, std::string sessionId,
            double sessionStartTime, std::optional<platform::Dictionary> extraData);

  // The row that the statement is positioned on, read in the table's column
  // order. None when the event identifier, token identifier, type or session
  // identifier is NULL. An event identifier that is a UUID in lower case is
  // read in upper case, one that is no UUID as a new random one; either way
  // storedEventId() keeps the row's text. A token or session identifier
  // that is no UUID is replaced by a new random one; "data" that is no JSON
  // object gives no extra data.
  static std::optional<OVAdEvent> deserializeFromSqlite(sqlite3_stmt* statement);

  // The identifier the event's row holds when it differs from eventId():
  // the row must be given eventId() before the event is sent, or the
  // server's answer could never be matched to it.
  const std::optional<std::string>& storedEventId() const { return storedEventId_; }

  // kInsertStatement with this record's values; "data" is NULL when there is
  // no extra data or it cannot be written as JSON.
  OVAdSQLStatement insertStatement() const;

  // The event's object in the payload's "events" array: "id", "token_id",
  // "type", "time" and "session_time" (as decimal texts), "session_id" and
  // "data" (the extra data, or an empty object).
  platform::Dictionary payloadDictionary() const;

  // The JSON text of the extra data; none without extra data or when it
  // cannot be written as JSON.
  std::optional<std::string> jsonExtraData() const;

  // On a test device, tells the developer "<Type> is logged".
  void logStatusMessage() const;

  const std::string& eventId() const { return eventId_; }
  const std::string& type() const { return type_; }
  double time() const { return time_; }
  std::uint64_t priority() const { return priority_; }
  const std::optional<platform::Dictionary>& extraData() const { return extraData_; }
  const std::string& tokenId() const { return tokenId_; }
  const std::string& sessionId() const { return sessionId_; }
  double sessionStartTime() const { return sessionStartTime_; }

 private:
  std::string eventId_;
  std::string type_;
  double time_;
  std::uint64_t priority_;
  std::optional<platform::Dictionary> extraData_;
  std::string tokenId_;
  std::string sessionId_;
  double sessionStartTime_;
  std::optional<std::string> storedEventId_;
};

}  // namespace plexora
