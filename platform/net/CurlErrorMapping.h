// The URL error code for a libcurl result. Internal to platform/net.
//
// Thread safety: a pure function.
#pragma once

#include <curl/curl.h>

#include "platform/net/URLError.h"

namespace plexora::platform {

URLErrorCode urlErrorCodeForCurlCode(CURLcode code);

}  // namespace plexora::platform
