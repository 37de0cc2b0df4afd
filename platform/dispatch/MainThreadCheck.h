// The main-thread rule of the library's public calls: in every build,
// release included, a public call from any other thread ends the process
// at once with a message naming the call, rather than racing the main
// loop's state and failing somewhere far away later.
//
// Thread safety: callable from any thread (that is its point).
#pragma once

#include "platform/Export.h"

namespace plexora::platform {

// `call` names the public call, as "OVAdView::loadAd".
PLEXORA_EXPORT void requireMainThread(const char* call);

}  // namespace plexora::platform
