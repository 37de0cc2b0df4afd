// How the browsers write a page's error into their log lines: domain, code
// and the engine's description.
//
// Thread safety: any thread.
#pragma once

#include <string>

#include "platform/foundation/Error.h"

namespace plexora {

std::string OVAdBrowserErrorText(const platform::Error& error);

}  // namespace plexora
