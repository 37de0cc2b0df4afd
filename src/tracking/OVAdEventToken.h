// The event token record: an ad's client token under a local identifier,
// so that the long token is stored and sent once for all events of the ad.
// Its row lives in the table "tokens"; in the logging payload the tokens
// travel as one object from identifier to client token.
//
// Thread safety: a plain value; copies may be used on any thread. The
// SQLite members run on the database queue.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/value/Value.h"
#include "util/database/OVAdSQLStatement.h"

struct sqlite3_stmt;

namespace plexora {

// The upper-case form of a UUID text written in either case
// ("8-4-4-4-12" hexadecimal digits), or none when the text is no UUID.
std::optional<std::string> OVAdCanonicalUUIDString(std::string_view text);

class OVAdEventToken final {
 public:
  // The statements of the table "tokens"; the event manager issues them.
  static constexpr const char* kCreateTableStatement =
      "CREATE TABLE tokens("
      "tokenId TEXT PRIMARY KEY NOT NULL, "
      "token TEXT"
      ");";
  static constexpr const char* kInsertStatement = "INSERT INTO tokens (tokenId, token) VALUES (?, ?);";

  // A new record for the client token, under a new random identifier.
  explicit OVAdEventToken(std::string token);

  // The row that the statement is positioned on, read in the table's column
  // order; none when either column is NULL. An identifier that is no UUID is
  // replaced by a new random one.
  static std::optional<OVAdEventToken> deserializeFromSqlite(sqlite3_stmt* statement);

  // The "tokens" object of the payload: identifier -> client token.
  static platform::Dictionary payloadDictionary(const std::vector<OVAdEventToken>& tokens);

  // kInsertStatement with this record's values.
  OVAdSQLStatement insertStatement() const;

  // Upper-case UUID text.
  const std::string& tokenId() const { return tokenId_; }
  const std::string& token() const { return token_; }

 private:
  OVAdEventToken(std::string tokenId, std::string token);

  std::string tokenId_;
  std::string token_;
};

}  // namespace plexora
