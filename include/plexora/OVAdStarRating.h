// A native ad's rating as the server states it: a value on a scale (4.5 of
// 5). Nothing checks the value against the scale; views that draw stars
// bound it themselves.
//
// Thread safety: a plain value.
#pragma once

#include <cstdint>

#include "platform/Export.h"

namespace plexora {

struct PLEXORA_EXPORT OVAdStarRating {
  double value = 0.0;
  std::int64_t scale = 0;

  bool operator==(const OVAdStarRating&) const = default;
};

}  // namespace plexora
