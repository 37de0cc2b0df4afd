// Typed reads of the current row of a stepped statement.
//
// Thread safety: on the database queue only, inside the callback that was
// handed the statement.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct sqlite3_stmt;

namespace plexora {

// The column's text, all of its bytes; none for NULL.
std::optional<std::string> OVAdColumnText(sqlite3_stmt* statement, int column);
// Numbers as SQLite converts them; 0 for NULL.
std::int64_t OVAdColumnInt64(sqlite3_stmt* statement, int column);
double OVAdColumnDouble(sqlite3_stmt* statement, int column);

}  // namespace plexora
