// The process's web engine: WPE WebKit, headless through the fdo backend's
// shared-memory export (no display server), running its pages in WebKit's own
// helper processes.
//
// start() loads the backend, makes the one web context every page shares
// (ephemeral: cookies, caches and storage stay in memory, so processes never
// contend for files on disk) and asks MainLoop to host the GLib main context,
// so every page callback arrives on the main thread. Views start the engine
// when the first one is made; a host that wants the ad request's user agent
// to come from the engine starts it at launch. warmUp() also starts the web
// process the shared pages run in, ahead of the first page: launching it is
// most of a first page's wait.
//
// Thread safety: main thread only (isStarted() and userAgent() from any
// thread).
// Ownership: the engine lives for the process once started.
#pragma once

#include <optional>
#include <string>

namespace plexora::platform {

class WebEngine final {
 public:
  WebEngine() = delete;

  // Idempotent. Throws std::runtime_error when the backend cannot be loaded.
  static void start();
  static bool isStarted();
  // start(), then the shared web process (SharedWebProcess) is launched if
  // none runs. Idempotent; the process is the one the shared pages use.
  static void warmUp();
  // The user agent the engine's pages report (navigator.userAgent) unless
  // they are given one of their own; none before start().
  static std::optional<std::string> userAgent();
};

}  // namespace plexora::platform
