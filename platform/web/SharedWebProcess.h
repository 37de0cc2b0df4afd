// The one web process the library's own pages share, as a phone's web views
// share their app's renderer: a banner beside the first costs its page alone,
// not a process and a second copy of the engine. One process for all of them,
// not one per few pages: a group would contain a crash to fewer ads, but cost
// each group a whole engine again, while the ads of a dead process recover
// with their next load anyway.
//
// The process is held by an anchor: a view that never loads, to which every
// shared page's view is related (WebKit's "related-view"). Relating each view
// to the one anchor, not to the page made before it, keeps the engine from
// chaining every page ever made to its predecessor.
//
// The anchor stays once made, like the engine's context: with it the process
// stays between one ad's page and the next, where the engine would otherwise
// keep the old process idle and start another for the next page.
//
// A view launches its process only when it first loads, so a new anchor
// loads a blank page at once: the process then starts as the anchor is made
// (WebEngine::warmUp makes it before the first ad's page), and the first
// page finds it running or on its way.
//
// Thread safety: main thread only.
// Ownership: the anchor lives for the process, but for one whose web process
// died, which the next join() replaces.
#pragma once

typedef struct _WebKitWebView WebKitWebView;

namespace plexora::platform::detail {

class SharedWebProcess final {
 public:
  SharedWebProcess() = delete;

  // The view a new shared page's view is to be related to. A new anchor, and
  // so a new process launched at once, when none runs (the first page or
  // the warm-up, or the process died).
  static WebKitWebView* join();
};

}  // namespace plexora::platform::detail
