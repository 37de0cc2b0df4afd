#include "plexora/OVAdSettings.h"
#include "server/OVAdEnvironmentData.h"

namespace plexora {

std::string OVAdSettings::bidderToken() {
  // None of the token's values depends on a placement.
  return OVAdEnvironmentData().bidderToken();
}

}  // namespace plexora
