// Keeps a container's last-touch fields up to date from its touch
// recogniser's callbacks; the touch record is built from them.
//
// Thread safety: main thread only.
#pragma once

#include "adapters/views/contentcontainer/OVAdContentContainer.h"
#include "platform/ui/Touch.h"

namespace plexora {

// A new touch: it starts the record (where and when), then updates it.
void OVAdContentContainerTouchBegan(OVAdContentContainer& container, const platform::Touches& touches,
                                    const platform::Event& event);
// A touch that moved, ended or was cancelled: where it is now, when, and
// its radius and force.
void OVAdContentContainerTouchChanged(OVAdContentContainer& container, const platform::Touches& touches,
                                      const platform::Event& event);

}  // namespace plexora
