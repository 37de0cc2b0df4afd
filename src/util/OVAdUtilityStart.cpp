// The library's start: the process-wide managers come into being in a fixed
// order the first time an ad object is made.
#include <mutex>

#include "util/OVAdConfigManager.h"
#include "util/OVAdUtility.h"

namespace plexora {

void OVAdUtility::initializePlexora() {
  static std::once_flag started;
  std::call_once(started, [] {
    // The persisted configuration is loaded before anything reads it.
    OVAdConfigManager::sharedManager();
    // The event manager (its database and dispatch timer) starts next, once
    // it exists.
  });
}

}  // namespace plexora
