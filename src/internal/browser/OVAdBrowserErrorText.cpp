#include "internal/browser/OVAdBrowserErrorText.h"

namespace plexora {

std::string OVAdBrowserErrorText(const platform::Error& error) {
  return error.domain() + " " + std::to_string(error.code()) + " " + error.localizedDescription();
}

}  // namespace plexora
