// The session and adapter facts the request parameters read, through the
// sources installed on OVAdEnvironmentData (the shared event manager and the
// adapter registry unless a test installed others).
//
// Thread safety: any thread; a call runs the source installed when it
// started, outside the lock.
#pragma once

#include <string>
#include <vector>

#include "server/OVAdEnvironmentData.h"

namespace plexora {

OVAdSessionFacts currentSessionFacts();
std::vector<std::string> currentAvailableAdapters(OVAdPlacementType placementType);

}  // namespace plexora
