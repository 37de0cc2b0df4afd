// The in-stream ad's part of the demo: the fixture's in-stream placement
// loaded with OVInstreamAdView in a headless window shown through the host
// display, started, its video playing until the impression, written as a
// picture (the video with the skip countdown and "Learn More") through the
// host display, "Learn More" tapped, the ad skipped once it may be, and the
// impression and video events acknowledged by the server; every step
// printed with the seconds since this part began.
//
// Thread safety: main thread only; it runs the main loop while it waits.
// Ownership: owns the window, the ad and the host delegate.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "testserver/adserver/AdServer.h"

namespace plexora::demo {

inline constexpr const char* kInstreamPlacement = "instream";

class DemoInstream final {
 public:
  // A bundled server is made to serve the fixture's video from
  // `mediaDirectory`; a server elsewhere has to serve it itself, and the
  // acknowledged events are checked only with the bundled one.
  DemoInstream(testserver::AdServer* bundledServer, std::filesystem::path mediaDirectory);
  ~DemoInstream();
  DemoInstream(const DemoInstream&) = delete;
  DemoInstream& operator=(const DemoInstream&) = delete;

  // Every step in order, the picture written into `outputDirectory`; false
  // after printing the step that failed.
  bool run(const std::filesystem::path& outputDirectory);

 private:
  struct State;

  bool step(const std::string& name, const std::function<bool()>& done, const std::string& detail = {});
  bool serveVideo();
  // Taps the ad's widget that sits against its right edge at the top (the
  // "Learn More" button) or lower down (the skip button).
  bool tapRightEdgeWidget(bool top, const char* label);

  testserver::AdServer* bundledServer_;
  std::filesystem::path mediaDirectory_;
  std::unique_ptr<State> state_;
};

}  // namespace plexora::demo
