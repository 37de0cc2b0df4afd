// The interstitial's part of the demo: the fixture's HTML interstitial
// loaded, shown full screen over the host's controller in a headless window
// shown through the host display, rendered by the web engine, seen,
// pictured as interstitial-html.png and closed with its own close link;
// then, when a clip to play is at hand, the video interstitial loaded,
// shown, pictured as interstitial-video.png once the clip's frames show,
// and closed with the cross as soon as it may be skipped (or has ended).
// Every step printed with the seconds since this part began.
//
// Thread safety: main thread only; it runs the main loop while it waits.
// Ownership: owns the window, the ads and the host delegate.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "testserver/adserver/AdServer.h"

namespace plexora::demo {

inline constexpr const char* kInterstitialPlacement = "interstitial";
inline constexpr const char* kVideoInterstitialPlacement = "interstitial_video";

class DemoInterstitial final {
 public:
  // `bundledServer` is null for a server elsewhere; the video part then
  // needs that server to serve the fixture's clip. `clipPath` is the MP4 a
  // bundled server serves as the video (long enough to be pictured while it
  // plays); none skips the video part.
  DemoInterstitial(testserver::AdServer* bundledServer, std::filesystem::path clipPath);
  ~DemoInterstitial();
  DemoInterstitial(const DemoInterstitial&) = delete;
  DemoInterstitial& operator=(const DemoInterstitial&) = delete;

  // Every step in order, the pictures written into `outputDirectory`;
  // false after printing the step that failed.
  bool run(const std::filesystem::path& outputDirectory);

 private:
  struct State;

  bool step(const std::string& name, const std::function<bool()>& done, const std::string& detail = {});
  bool runHTML(const std::filesystem::path& outputDirectory);
  bool runVideo(const std::filesystem::path& outputDirectory);

  testserver::AdServer* bundledServer_;
  std::filesystem::path clipPath_;
  std::unique_ptr<State> state_;
};

}  // namespace plexora::demo
