// The engine's own makers, the defaults of makeWebView() and makeSyncWebView().
//
// Thread safety: main thread only.
#pragma once

#include <memory>

#include "platform/web/SyncWebView.h"
#include "platform/web/WebView.h"

namespace plexora::platform::detail {

std::shared_ptr<WebView> makeEngineWebView(WebProcessSharing sharing);
std::shared_ptr<SyncWebView> makeEngineSyncWebView(WebProcessSharing sharing);

}  // namespace plexora::platform::detail
