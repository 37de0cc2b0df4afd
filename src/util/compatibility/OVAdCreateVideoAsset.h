// The asset factory of the engine compatibility layer: the one place where a
// video URL becomes an asset object. The video engine installs its own
// factory (local-file and remote MP4 assets); until one is installed, or when
// the installed one answers nothing, a file-backed asset stands in
// (OVAdFileVideoAsset: it tells whether the file exists and its size, and
// exposes no tracks).
//
// Thread safety: every function may be called from any thread; a factory
// installed while another thread creates an asset takes effect for the next
// call.
// Ownership: the caller owns the asset it receives.
#pragma once

#include <functional>
#include <memory>

#include "platform/foundation/URL.h"
#include "util/qnv/asset/QNVAssetForCache.h"

namespace plexora {

// `isFile` tells a downloaded local file from a remote address.
using OVAdVideoAssetFactory = std::function<std::shared_ptr<QNVAssetForCache>(const platform::URL& url, bool isFile)>;

// Never null.
std::shared_ptr<QNVAssetForCache> OVAdCreateVideoAsset(const platform::URL& url, bool isFile);

// A null factory restores the file-backed default.
void OVAdSetVideoAssetFactory(OVAdVideoAssetFactory factory);

}  // namespace plexora
