#include "DemoInterstitial.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "DemoScreen.h"
#include "DemoStep.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "plexora/OVInterstitialAd.h"
#include "testserver/RangeFile.h"

namespace plexora::demo {

namespace {

constexpr const char* kHTMLPNGName = "interstitial-html.png";
constexpr const char* kVideoPNGName = "interstitial-video.png";
constexpr const char* kVideoPath = "/media/interstitial-video.mp4";
// The fixture page's close link sits 8 points from the top-right corner.
constexpr double kCloseLinkInsetX = 24;
constexpr double kCloseLinkInsetY = 16;
// The video interstitial's close button: 43 points in the top-right corner.
constexpr double kCloseButtonCentre = 21.5;
// How long a picture stays the same before it counts as drawn.
constexpr double kStillSeconds = 1.0;
constexpr double kTeardownSeconds = 3.0;

using Clock = std::chrono::steady_clock;

class HostDelegate final : public OVInterstitialAdDelegate {
 public:
  void interstitialAdDidLoad(const std::shared_ptr<OVInterstitialAd>&) override { ++loads; }
  void interstitialAd(const std::shared_ptr<OVInterstitialAd>&, const platform::Error& error) override {
    errors.push_back(error.localizedDescription());
  }
  void interstitialAdWillLogImpression(const std::shared_ptr<OVInterstitialAd>&) override { ++impressions; }
  void interstitialAdWillClose(const std::shared_ptr<OVInterstitialAd>&) override { ++willCloses; }
  void interstitialAdDidClose(const std::shared_ptr<OVInterstitialAd>&) override { ++didCloses; }

  void reset() { *this = HostDelegate(); }

  int loads = 0;
  int impressions = 0;
  int willCloses = 0;
  int didCloses = 0;
  std::vector<std::string> errors;
};

std::string fileBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace

struct DemoInterstitial::State {
  Clock::time_point start = Clock::now();
  std::shared_ptr<platform::Window> window = std::make_shared<platform::Window>();
  std::shared_ptr<platform::ViewController> root = std::make_shared<platform::ViewController>();
  std::shared_ptr<HostDelegate> host = std::make_shared<HostDelegate>();
  DemoScreen screen{window};
  std::shared_ptr<OVInterstitialAd> ad;
};

DemoInterstitial::DemoInterstitial(testserver::AdServer* bundledServer, std::filesystem::path clipPath)
    : bundledServer_(bundledServer), clipPath_(std::move(clipPath)), state_(std::make_unique<State>()) {}

DemoInterstitial::~DemoInterstitial() = default;

bool DemoInterstitial::step(const std::string& name, const std::function<bool()>& done, const std::string& detail) {
  return runDemoStep(state_->start, state_->host->errors, name, done, detail);
}

bool DemoInterstitial::run(const std::filesystem::path& outputDirectory) {
  state_->start = Clock::now();
  state_->window->setRootViewController(state_->root);
  state_->window->makeKeyAndVisible();
  if (!runHTML(outputDirectory)) return false;
  std::error_code missing;
  if (clipPath_.empty() || !std::filesystem::exists(clipPath_, missing)) {
    std::printf("%8s    %-22s skipped: no clip to play\n", "", "video interstitial");
    return true;
  }
  return runVideo(outputDirectory);
}

bool DemoInterstitial::runHTML(const std::filesystem::path& outputDirectory) {
  State& state = *state_;
  state.ad = OVInterstitialAd::initWithPlacementID(kInterstitialPlacement);
  state.ad->setDelegate(state.host);
  state.ad->loadAd();
  if (!step(
          "interstitial load", [&] { return state.host->loads > 0; }, "the ad server answered an HTML ad")) {
    return false;
  }
  if (!state.ad->showAdFromRootViewController(state.root)) {
    std::printf("           %-22s FAILED: the ad was not shown\n", "interstitial show");
    return false;
  }
  const platform::Rect screenRect = state.window->bounds();
  if (!step(
          "interstitial shown", [&] { return state.screen.drawn(screenRect); },
          "full screen, page rendered by the web engine")) {
    return false;
  }
  if (!step(
          "impression", [&] { return state.host->impressions > 0; }, "viewable, impression logged"))
    return false;
  if (!step(
          "interstitial drawn", [&] { return state.screen.still(kStillSeconds); }, "its image is in"))
    return false;
  if (!state.screen.write(screenRect, outputDirectory / kHTMLPNGName, "picture")) return false;
  // The page's own close link, tapped through the host's pointer.
  if (!state.screen.tap({screenRect.width() - kCloseLinkInsetX, kCloseLinkInsetY})) {
    std::printf("           %-22s FAILED: the tap reached no view\n", "interstitial close");
    return false;
  }
  return step(
      "interstitial closed", [&] { return state.host->didCloses > 0; },
      "the close link ran; the host's controller is back");
}

bool DemoInterstitial::runVideo(const std::filesystem::path& outputDirectory) {
  State& state = *state_;
  if (bundledServer_ != nullptr) {
    bundledServer_->server().on(kVideoPath,
                                testserver::serveRangeFile(std::make_shared<const std::string>(fileBytes(clipPath_))));
  }
  state.host->reset();
  state.ad = OVInterstitialAd::initWithPlacementID(kVideoInterstitialPlacement);
  state.ad->setDelegate(state.host);
  state.ad->loadAd();
  if (!step(
          "video load", [&] { return state.host->loads > 0; }, "the video and its images are in"))
    return false;
  if (!state.ad->showAdFromRootViewController(state.root)) {
    std::printf("           %-22s FAILED: the ad was not shown\n", "video show");
    return false;
  }
  // A display of its own, which draws the window afresh on its first look.
  DemoScreen screen(state.window);
  const platform::Rect screenRect = state.window->bounds();
  if (!step(
          "video shown", [&] { return state.host->impressions > 0; }, "full screen, playing, impression logged")) {
    return false;
  }
  // The engine draws its first frame only once its GL state is set up,
  // which a software renderer on a loaded machine takes about a second for:
  // the picture waits for the clip's own pixels in the middle of the screen.
  const platform::Rect middle{screenRect.width() / 3, screenRect.height() / 3, screenRect.width() / 3,
                              screenRect.height() / 3};
  if (!step(
          "video drawn", [&] { return screen.drawn(middle); }, "the clip's frames under its details")) {
    return false;
  }
  if (!screen.write(screenRect, outputDirectory / kVideoPNGName, "picture")) return false;
  // The cross closes the ad once the video has ended (or may be skipped).
  const platform::Point closeButton{screenRect.width() - kCloseButtonCentre, kCloseButtonCentre};
  if (!step(
          "video closed",
          [&] {
            if (state.host->willCloses == 0) screen.tap(closeButton);
            return state.host->didCloses > 0;
          },
          "skipped or played to its end, closed with the cross")) {
    return false;
  }
  // The player goes down on queues of its own: let it finish before the
  // process ends.
  state.ad.reset();
  platform::MainLoop::instance().runUntil([] { return false; }, kTeardownSeconds);
  if (bundledServer_ == nullptr) return true;
  const auto acknowledged = [&](const char* type) {
    for (const auto& event : bundledServer_->logging().events()) {
      if (event.type == type && event.code) return true;
    }
    return false;
  };
  return step(
      "events acknowledged", [&] { return acknowledged("impression"); }, "impression");
}

}  // namespace plexora::demo
