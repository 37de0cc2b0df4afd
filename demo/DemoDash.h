// The DASH part of the demo: a short on-demand DASH presentation from the
// bundled server's media ("media/dash-manifest.mpd") played by the engine
// itself, as a host that creates the DASH asset plays it: the asset made
// with a filled configuration and fetching through the library's resource
// loader, the engine's player and layer, the picture drawn in a view of a
// headless window shown through the host display. After a few seconds of
// playback the view is written as dash.png. Every step is printed with the
// seconds since this part began.
//
// The presentation is made when the server is built
// (scripts/make-adserver-media.sh) and served by the bundled server; with
// a server elsewhere this part is skipped.
//
// Thread safety: main thread only; it runs the main loop while it waits.
// Ownership: owns the window, the view, the layer, the player and the
// asset; the asset is let go on the engine's queue.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "testserver/adserver/AdServer.h"

namespace plexora::demo {

class DemoDash final {
 public:
  // `mediaDirectory` holds the presentation's files ("dash-*"), which the
  // bundled server serves under "/media/".
  DemoDash(testserver::AdServer* bundledServer, std::filesystem::path mediaDirectory);
  ~DemoDash();
  DemoDash(const DemoDash&) = delete;
  DemoDash& operator=(const DemoDash&) = delete;

  // Every step in order, the picture written into `outputDirectory`; false
  // after printing the step that failed.
  bool run(const std::filesystem::path& outputDirectory);

 private:
  struct State;

  bool step(const std::string& name, const std::function<bool()>& done, const std::string& detail = {});

  bool servePresentation();

  testserver::AdServer* bundledServer_;
  std::filesystem::path mediaDirectory_;
  std::unique_ptr<State> state_;
};

}  // namespace plexora::demo
