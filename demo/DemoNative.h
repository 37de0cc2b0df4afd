// The native ad's part of the demo: the fixture's native placement loaded
// with OVNativeAd, the library's 300 template placed in a headless window
// shown through the host display, registered, seen, its call to action
// tapped and the in-app browser closed again; then the four templates
// filled from the ad and written as pictures through the host display;
// every step printed with the seconds since this part began.
//
// Thread safety: main thread only; it runs the main loop while it waits.
// Ownership: owns the window, the ad, its template and the host delegate.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "testserver/adserver/AdServer.h"

namespace plexora::demo {

inline constexpr const char* kNativePlacement = "native";

class DemoNative final {
 public:
  // A bundled server is made to serve the images the fixture names; a
  // server elsewhere has to serve them itself.
  explicit DemoNative(testserver::AdServer* bundledServer);
  ~DemoNative();
  DemoNative(const DemoNative&) = delete;
  DemoNative& operator=(const DemoNative&) = delete;

  // Every step in order, the pictures written into `outputDirectory`;
  // false after printing the step that failed.
  bool run(const std::filesystem::path& outputDirectory);

 private:
  struct State;

  bool step(const std::string& name, const std::function<bool()>& done, const std::string& detail = {});
  bool writePictures(const std::filesystem::path& outputDirectory);
  bool tapCallToAction();
  // Taps the Done button of the in-app browser the click opened.
  bool closeBrowser();

  testserver::AdServer* bundledServer_;
  std::unique_ptr<State> state_;
};

}  // namespace plexora::demo
