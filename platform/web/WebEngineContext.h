// The engine's shared web context, for the pages made on it.
//
// Thread safety: main thread only.
// Ownership: the engine keeps the context; callers do not release it.
#pragma once

typedef struct _WebKitWebContext WebKitWebContext;

namespace plexora::platform::detail {

// Starts the engine if it has not started yet.
WebKitWebContext* webEngineContext();

}  // namespace plexora::platform::detail
