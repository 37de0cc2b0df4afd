// Where the resource cache keeps its files: the caches directory, then
// "plexora/cache", then a folder per kind ("data", "image", "video"), and a
// file named by the SHA-1 digest of the remote URL's text with the kind's
// extension ("data", "jpg", "mp4"). The digest is the same in every run, so
// the files are found again after a restart, and different URLs never share
// a file.
//
// Thread safety: pure functions of their arguments and the platform's caches
// directory, callable from any thread.
#pragma once

#include <optional>
#include <string>

#include "platform/foundation/URL.h"
#include "util/cache/OVAdCacheFetchType.h"

namespace plexora {

// The cache root: caches directory / "plexora/cache".
std::string OVAdCacheRootPath();

// The file for the remote URL's resource of that kind; the cache root for
// OVAdCacheFetchType::None. None when the caches directory is not an
// absolute path.
std::optional<platform::URL> OVAdCacheFileURL(OVAdCacheFetchType fetchType, const platform::URL& url);

}  // namespace plexora
