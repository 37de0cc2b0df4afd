#include "util/database/OVAdDatabaseColumns.h"

#include <sqlite3.h>

#include "util/OVAdDynamicFrameworkLoader.h"

namespace plexora {

std::optional<std::string> OVAdColumnText(sqlite3_stmt* statement, int column) {
  const unsigned char* text = ovadsdk_dfl_sqlite3_column_text(statement, column);
  if (text == nullptr) {
    return std::nullopt;
  }
  // The length is asked after the text, as SQLite requires, so a value that
  // holds a zero byte is read whole.
  const int length = sqlite3_column_bytes(statement, column);
  return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length > 0 ? length : 0));
}

std::int64_t OVAdColumnInt64(sqlite3_stmt* statement, int column) {
  return ovadsdk_dfl_sqlite3_column_int64(statement, column);
}

double OVAdColumnDouble(sqlite3_stmt* statement, int column) {
  return ovadsdk_dfl_sqlite3_column_double(statement, column);
}

}  // namespace plexora
