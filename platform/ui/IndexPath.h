// A position in a table or collection view: a section, and a row within it
// (an item, in a collection view). Ordered by section, then row.
//
// Thread safety: a plain value type.
#pragma once

#include <compare>
#include <cstddef>
#include <ostream>

#include "platform/Export.h"

namespace plexora::platform {

struct PLEXORA_EXPORT IndexPath {
  std::size_t section = 0;
  std::size_t row = 0;

  static IndexPath forRow(std::size_t row, std::size_t section) { return IndexPath{section, row}; }
  static IndexPath forItem(std::size_t item, std::size_t section) { return IndexPath{section, item}; }
  std::size_t item() const { return row; }

  auto operator<=>(const IndexPath&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const IndexPath& path) {
  return out << "[" << path.section << ", " << path.row << "]";
}

}  // namespace plexora::platform
