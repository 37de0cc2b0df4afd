// The icon record of the ad-choices badge on the video ads: the ad-choices
// mark, a 24 by 24 pixel PNG carried inline as a data URL, shown at 16 by
// 16 points. The image record type is closed to subclasses, so this is the
// maker of such records rather than a kind of its own.
//
// Thread safety: the record never changes once made; any thread.
// Ownership: each call makes a new record, owned by the caller.
#pragma once

#include <cstdint>
#include <memory>

#include "plexora/OVAdImage.h"

namespace plexora {

class OVInstreamAdChoicesIcon final {
 public:
  static constexpr std::int64_t kSize = 16;

  OVInstreamAdChoicesIcon() = delete;

  static std::shared_ptr<OVAdImage> init();
};

}  // namespace plexora
