// The native video's part of the demo: the fixture's native ad with a
// video, shown in a media view in a headless window through the host
// display. The video autoplays inline, muted, with its controls; a tap on
// it plays it full screen with the scrubber. Each stage is written as a
// picture (native-video-inline.png, native-video-fullscreen.png), and the
// part ends once the ad server has acknowledged the video's playback
// events. Every step is printed with the seconds since this part began.
//
// The video is a generated clip the bundled server serves; with a server
// elsewhere this part is skipped.
//
// Thread safety: main thread only; it runs the main loop while it waits.
// Ownership: owns the window, the ad, the media view and its delegates.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "testserver/adserver/AdServer.h"

namespace plexora::demo {

class DemoNativeVideo final {
 public:
  // `clipPath` is the MP4 file the bundled server serves as the ad's video.
  DemoNativeVideo(testserver::AdServer* bundledServer, std::filesystem::path clipPath);
  ~DemoNativeVideo();
  DemoNativeVideo(const DemoNativeVideo&) = delete;
  DemoNativeVideo& operator=(const DemoNativeVideo&) = delete;

  // Every step in order, the pictures written into `outputDirectory`;
  // false after printing the step that failed.
  bool run(const std::filesystem::path& outputDirectory);

 private:
  struct State;

  bool step(const std::string& name, const std::function<bool()>& done, const std::string& detail = {});
  bool serveVideoAd();

  testserver::AdServer* bundledServer_;
  std::filesystem::path clipPath_;
  std::unique_ptr<State> state_;
};

}  // namespace plexora::demo
