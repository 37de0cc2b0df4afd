// The text of one SQL statement together with the values of its "?"
// parameters. Values always travel as bound parameters, never inside the
// SQL text, so a client token or an identifier holding quotes or SQL
// metacharacters is stored and matched exactly as it is.
//
// Thread safety: a plain value; no shared state.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace plexora {

// One parameter value: NULL, a 64-bit integer, a double or UTF-8 text.
using OVAdSQLValue = std::variant<std::monostate, std::int64_t, double, std::string>;

struct OVAdSQLStatement {
  // A statement without parameters.
  OVAdSQLStatement(const char* text) : sql(text) {}
  OVAdSQLStatement(std::string text) : sql(std::move(text)) {}
  // Parameter 1 takes parameters[0], parameter 2 parameters[1], and so on;
  // the count must match the statement's parameters.
  OVAdSQLStatement(std::string text, std::vector<OVAdSQLValue> values)
      : sql(std::move(text)), parameters(std::move(values)) {}

  std::string sql;
  std::vector<OVAdSQLValue> parameters;
};

}  // namespace plexora
