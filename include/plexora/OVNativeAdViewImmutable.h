// A mark for views inside a native ad template that keep their own look:
// the template's colours and fonts pass over them.
//
// Thread safety: a marker, no state.
#pragma once

#include "platform/Export.h"

namespace plexora {

class PLEXORA_EXPORT OVNativeAdViewImmutable {
 public:
  virtual ~OVNativeAdViewImmutable() = default;
};

}  // namespace plexora
