// What a container sends with its impression: the last touch as the
// twelve-number touch record, and the viewability figures of the owner's
// validator.
//
// Thread safety: main thread only (reads the container and the validator).
#pragma once

#include <optional>

#include "adapters/views/contentcontainer/OVAdContentContainer.h"
#include "platform/value/Value.h"

namespace plexora {

// None until the container saw both a start and a current touch position.
std::optional<platform::Dictionary> OVAdContentContainerTouchRecord(const OVAdContentContainer& container);

// "vrc", "vp", "vh", "touch" and "analog", every value a string.
platform::Dictionary OVAdContentContainerImpressionExtraData(const OVAdContentContainer& container,
                                                            const OVAdViewabilityValidator& validator);

}  // namespace plexora
