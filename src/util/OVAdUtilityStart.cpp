// The library's start: the process-wide managers come into being in a fixed
// order the first time an ad object is made.
#include <mutex>

#include "tracking/OVAdEventManager.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdUtility.h"

namespace plexora {

void OVAdUtility::initializePlexora() {
  static std::once_flag started;
  std::call_once(started, [] {
    // The persisted configuration is loaded before the event manager, which
    // reads it, opens the event database and starts its dispatch timer.
    OVAdConfigManager::sharedManager();
    OVAdEventManager::sharedManager();
  });
}

}  // namespace plexora
