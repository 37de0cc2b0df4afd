// The web engine and its shared web process started ahead of the first
// page. Launching that process is most of a first banner's wait; a banner or
// an interstitial starts it when it is made, so it comes up while the ad
// request is out instead of after the answer.
//
// Thread safety: OVAdWarmUpWebProcess is called on the main thread and does
// nothing on another; the warm-up function may be replaced from any thread.
// Ownership: nothing is made per call. The process is the engine's shared
// one, kept for the library's pages (SharedWebProcess); a process that
// never shows an ad keeps it idle until it exits.
#pragma once

#include "util/OVAdInstalledFunction.h"

namespace plexora {

// Runs the installed warm-up.
void OVAdWarmUpWebProcess();

// The warm-up: the web engine's (WebEngine::warmUp) unless replaced. A test
// program whose pages are all doubles installs an empty one, so that making
// an ad starts no engine.
OVAdInstalledFunction<void()>& OVAdWebProcessWarmer();

}  // namespace plexora
