#include "util/database/OVAdPreparedStatement.h"

#include <sqlite3.h>

#include <limits>
#include <type_traits>
#include <variant>

#include "util/OVAdDynamicFrameworkLoader.h"

namespace plexora {
namespace {

constexpr const char* kNoConnectionMessage = "no database connection";
constexpr const char* kNoStatementMessage = "the text holds no statement";
constexpr const char* kParameterCountMessage = "the number of values differs from the statement's parameters";
constexpr const char* kValueTooLongMessage = "a value is too long to bind";

// Answers an SQLite result code. A NULL value is left unbound: a freshly
// prepared statement reads an unbound parameter as NULL.
int bindValue(sqlite3_stmt* statement, int index, const OVAdSQLValue& value) {
  return std::visit(
      [&](const auto& v) -> int {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::int64_t>) {
          return ovadsdk_dfl_sqlite3_bind_int64(statement, index, v);
        } else if constexpr (std::is_same_v<T, double>) {
          return ovadsdk_dfl_sqlite3_bind_double(statement, index, v);
        } else if constexpr (std::is_same_v<T, std::string>) {
          if (v.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
            return SQLITE_TOOBIG;
          }
          return ovadsdk_dfl_sqlite3_bind_text(statement, index, v.data(), static_cast<int>(v.size()),
                                               SQLITE_TRANSIENT);
        } else {
          return SQLITE_OK;
        }
      },
      value);
}

}  // namespace

std::string OVAdDatabaseErrorMessage(const OVAdDatabaseHandle& database) {
  if (!database) {
    return kNoConnectionMessage;
  }
  const char* message = ovadsdk_dfl_sqlite3_errmsg(database.get());
  return message != nullptr ? message : "";
}

OVAdPreparedStatement OVAdPrepareStatement(const OVAdDatabaseHandle& database, const OVAdSQLStatement& statement,
                                           std::string* error) {
  if (!database) {
    *error = kNoConnectionMessage;
    return nullptr;
  }
  sqlite3_stmt* raw = nullptr;
  if (ovadsdk_dfl_sqlite3_prepare_v2(database.get(), statement.sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
    *error = OVAdDatabaseErrorMessage(database);
    ovadsdk_dfl_sqlite3_finalize(raw);
    return nullptr;
  }
  if (raw == nullptr) {
    *error = kNoStatementMessage;
    return nullptr;
  }
  // The deleter's copy of the handle keeps the connection open until the
  // statement is finalized.
  OVAdPreparedStatement prepared(raw, [database](sqlite3_stmt* s) { ovadsdk_dfl_sqlite3_finalize(s); });

  if (static_cast<std::size_t>(sqlite3_bind_parameter_count(raw)) != statement.parameters.size()) {
    *error = kParameterCountMessage;
    return nullptr;
  }
  for (std::size_t i = 0; i < statement.parameters.size(); ++i) {
    const int result = bindValue(raw, static_cast<int>(i + 1), statement.parameters[i]);
    if (result != SQLITE_OK) {
      *error = result == SQLITE_TOOBIG ? kValueTooLongMessage : OVAdDatabaseErrorMessage(database);
      return nullptr;
    }
  }
  return prepared;
}

}  // namespace plexora
