// plexora-demo: the library's main job in one run, as a host does it with
// the installed headers alone. It starts the bundled loopback ad server (or
// uses --server), places a banner in a headless window shown through the
// host display, loads it, renders its HTML in the web engine, waits for the
// impression, taps the ad, opens its link in the in-app browser and closes
// it with a tap, and waits for the server to acknowledge the events,
// printing each step with its time. The banner as the display draws it is
// written as banner.png into the output folder, the browser as browser.png.
// Then the native ad: loaded, shown in a template, seen and tapped, its four
// templates written as native-template-<height>.png. Then the native
// video: played inline and full screen in a media view, written as
// native-video-inline.png and native-video-fullscreen.png, its playback
// events acknowledged. Then the rewarded video: loaded, shown full screen
// (pictured as rewarded.png), played to its end, its end card pictured as
// rewarded-end-card.png and closed with the card's link, its reward
// confirmed to the server. Then the in-stream ad: loaded, started, seen,
// written as instream.png, clicked and skipped. Then the interstitial, as
// HTML and as video: interstitial-html.png and interstitial-video.png.
// Last, a DASH clip from the bundled server's media, played by the engine
// through a DASH asset the demo creates itself: dash.png. Exit status 0
// only when every step was reached.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "DemoBanner.h"
#include "DemoDash.h"
#include "DemoInstream.h"
#include "DemoInterstitial.h"
#include "DemoNative.h"
#include "DemoNativeVideo.h"
#include "DemoOptions.h"
#include "DemoRewarded.h"
#include "plexora/OVAdSettings.h"
#include "testserver/adserver/AdServer.h"

namespace {

constexpr const char* kPNGName = "banner.png";
constexpr const char* kCachesName = "caches";

int runDemo(const plexora::demo::DemoOptions& options) {
  namespace fs = std::filesystem;
  const fs::path output = fs::absolute(options.outputDirectory);
  std::error_code failure;
  // A fresh cache each run: events of an earlier run would go out with this
  // one's.
  fs::remove_all(output / kCachesName, failure);
  fs::create_directories(output / kCachesName, failure);
  if (failure) {
    std::fprintf(stderr, "plexora-demo: cannot make %s: %s\n", output.c_str(), failure.message().c_str());
    return 1;
  }
  // The library keeps its caches under the XDG cache directory.
  setenv("XDG_CACHE_HOME", (output / kCachesName).c_str(), 1);

  std::unique_ptr<plexora::testserver::AdServer> bundled;
  std::string serverURL = options.serverURL;
  if (serverURL.empty()) {
    bundled = std::make_unique<plexora::testserver::AdServer>();
    bundled->start();
    serverURL = bundled->baseURL();
  }
  if (!plexora::OVAdSettings::setAdServerBaseURL(serverURL)) {
    std::fprintf(stderr, "plexora-demo: %s is no http or https URL\n", serverURL.c_str());
    return 2;
  }
  std::printf("ad server  %s%s\noutput     %s\n", serverURL.c_str(), bundled ? " (bundled)" : "", output.c_str());

  bool succeeded = false;
  {
    plexora::demo::DemoBanner banner(options.placement, bundled.get());
    succeeded = banner.run(output / kPNGName);
  }
  {
    plexora::demo::DemoNative native(bundled.get());
    succeeded = native.run(output) && succeeded;
  }
  {
    plexora::demo::DemoNativeVideo video(bundled.get(), PLEXORA_DEMO_VIDEO_CLIP);
    succeeded = video.run(output) && succeeded;
  }
  {
    plexora::demo::DemoRewarded rewarded(bundled.get(), PLEXORA_DEMO_MEDIA_DIR);
    succeeded = rewarded.run(output) && succeeded;
  }
  {
    plexora::demo::DemoInstream instream(bundled.get(), PLEXORA_DEMO_MEDIA_DIR);
    succeeded = instream.run(output) && succeeded;
  }
  {
    plexora::demo::DemoInterstitial interstitial(bundled.get(), PLEXORA_DEMO_VIDEO_CLIP);
    succeeded = interstitial.run(output) && succeeded;
  }
  {
    plexora::demo::DemoDash dash(bundled.get(), PLEXORA_DEMO_AD_SERVER_MEDIA_DIR);
    succeeded = dash.run(output) && succeeded;
  }
  std::printf(succeeded ? "demo finished\n" : "demo failed\n");
  std::fflush(stdout);
  return succeeded ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  std::string error;
  const auto options = plexora::demo::parseDemoOptions(arguments, error);
  if (!options) {
    std::fprintf(stderr, "plexora-demo: %s\n%s", error.c_str(), plexora::demo::kDemoUsage);
    return 2;
  }
  if (options->help) {
    std::printf("%s", plexora::demo::kDemoUsage);
    return 0;
  }
  try {
    return runDemo(*options);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "plexora-demo: %s\n", failure.what());
    return 1;
  }
}
