#include "DemoInstream.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "DemoScreen.h"
#include "DemoStep.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "plexora/OVInstreamAdView.h"
#include "testserver/RangeFile.h"

namespace plexora::demo {

namespace {

// The fixture's videos, both served as one short clip the build makes.
constexpr const char* kVideoPaths[] = {"/media/instream-30s.mp4", "/media/instream-30s-hd.mp4"};
constexpr const char* kClipName = "twelve_seconds.mp4";
constexpr const char* kPictureName = "instream.png";
constexpr const char* kFixtureToken = "ct-instream-1";
constexpr const char* kAcceptedCode = "1";
// Where the ad sits in the window, in points: 16:9 across the width.
const platform::Rect kAdFrame{0, 100, 375, 211};
// Seconds of playback before the picture, so the countdowns have started.
constexpr double kPictureAfterSeconds = 2.0;
// The fixture lets the ad be skipped after 5 seconds.
constexpr double kSkippableAfterSeconds = 5.0;
constexpr auto kSkipTapInterval = std::chrono::milliseconds(500);
// The clip lasts 12 seconds: an end after that long was no skip.
constexpr double kClipSeconds = 12.0;

using Clock = std::chrono::steady_clock;

// What the host hears.
class HostDelegate final : public OVInstreamAdViewDelegate {
 public:
  void adViewDidLoad(const std::shared_ptr<OVInstreamAdView>&) override { ++loads; }
  void adViewDidEnd(const std::shared_ptr<OVInstreamAdView>&) override { ++ends; }
  void adView(const std::shared_ptr<OVInstreamAdView>&, const platform::Error& error) override {
    errors.push_back(error.localizedDescription());
  }
  void adViewWillLogImpression(const std::shared_ptr<OVInstreamAdView>&) override { ++impressions; }
  void adViewDidClick(const std::shared_ptr<OVInstreamAdView>&) override { ++clicks; }

  int loads = 0;
  int ends = 0;
  int impressions = 0;
  int clicks = 0;
  std::vector<std::string> errors;
};

// Whether the server acknowledged an event of `type` for the fixture's ad.
bool acknowledged(testserver::AdServer& server, const std::string& type) {
  for (const auto& event : server.logging().events()) {
    if (event.type == type && event.token == kFixtureToken && event.code == kAcceptedCode) return true;
  }
  return false;
}

}  // namespace

struct DemoInstream::State {
  Clock::time_point start = Clock::now();
  std::shared_ptr<platform::Window> window = std::make_shared<platform::Window>();
  std::shared_ptr<platform::ViewController> root = std::make_shared<platform::ViewController>();
  std::shared_ptr<HostDelegate> host = std::make_shared<HostDelegate>();
  DemoScreen screen{window};
  std::shared_ptr<OVInstreamAdView> ad;
};

DemoInstream::DemoInstream(testserver::AdServer* bundledServer, std::filesystem::path mediaDirectory)
    : bundledServer_(bundledServer), mediaDirectory_(std::move(mediaDirectory)), state_(std::make_unique<State>()) {}

DemoInstream::~DemoInstream() = default;

bool DemoInstream::step(const std::string& name, const std::function<bool()>& done, const std::string& detail) {
  return runDemoStep(state_->start, state_->host->errors, name, done, detail);
}

bool DemoInstream::serveVideo() {
  if (bundledServer_ == nullptr) return true;
  std::ifstream file(mediaDirectory_ / kClipName, std::ios::binary);
  auto bytes = std::make_shared<const std::string>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  if (bytes->empty()) {
    std::printf("           %-22s FAILED: no clip at %s\n", "instream video", (mediaDirectory_ / kClipName).c_str());
    return false;
  }
  for (const char* path : kVideoPaths) bundledServer_->server().on(path, testserver::serveRangeFile(bytes));
  return true;
}

bool DemoInstream::run(const std::filesystem::path& outputDirectory) {
  State& state = *state_;
  if (!serveVideo()) return false;
  state.start = Clock::now();
  state.window->setRootViewController(state.root);
  state.window->makeKeyAndVisible();

  state.ad = OVInstreamAdView::initWithPlacementID(kInstreamPlacement);
  state.ad->setDelegate(state.host);
  state.ad->setFrame(kAdFrame);
  state.window->addSubview(state.ad);
  state.ad->loadAd();
  if (!step("instream request", [] { return true; }, std::string("placement ") + kInstreamPlacement)) return false;
  if (!step("instream load", [&] { return state.host->loads > 0; }, "the ad's video is ready to play")) return false;

  if (!state.ad->showAdFromRootViewController(state.root)) {
    std::printf("           %-22s FAILED: the loaded ad did not start\n", "instream start");
    return false;
  }
  const Clock::time_point shown = Clock::now();
  const auto playedFor = [shown](double seconds) {
    return std::chrono::duration<double>(Clock::now() - shown).count() >= seconds;
  };
  if (!step("instream start", [&] { return state.ad->instreamVideoAdView() != nullptr; },
            "the video plays over the ad's view")) {
    return false;
  }
  if (!step("impression", [&] { return state.host->impressions > 0; }, "viewable, impression logged")) return false;
  if (!step("playing", [&] {
        state.screen.refresh();
        return playedFor(kPictureAfterSeconds) && state.screen.drawn(kAdFrame);
      }, "two seconds in, the countdowns running")) {
    return false;
  }
  if (!state.screen.write(kAdFrame, outputDirectory / kPictureName, "picture")) return false;

  if (!tapRightEdgeWidget(true, "Learn More")) return false;
  if (!step("click", [&] { return state.host->clicks > 0; }, "Learn More opened the ad's destination")) return false;
  // The video starts a little after the show, so the skip button counts
  // down a little longer than the fixture's seconds: tapped each half
  // second until the skip takes, as a user would.
  if (!step("skippable", [&] { return playedFor(kSkippableAfterSeconds); }, "the skip time has passed")) return false;
  Clock::time_point lastTap = Clock::now() - std::chrono::seconds(1);
  int taps = 0;
  if (!step("skipped",
            [&] {
              if (state.host->ends > 0) return state.ad->subviews().empty();
              if (Clock::now() - lastTap >= kSkipTapInterval) {
                lastTap = Clock::now();
                ++taps;
                if (!tapRightEdgeWidget(false, "Skip Ad")) state.host->errors.emplace_back("no skip button to tap");
              }
              return false;
            },
            "the ad ended and left the view")) {
    return false;
  }
  if (playedFor(kClipSeconds)) {
    std::printf("           %-22s FAILED: the ad played to its end after %d taps\n", "skipped", taps);
    return false;
  }
  if (bundledServer_ == nullptr) return true;
  return step("events acknowledged",
              [&] { return acknowledged(*bundledServer_, "impression") && acknowledged(*bundledServer_, "video"); },
              "the server took the impression and the video events");
}

bool DemoInstream::tapRightEdgeWidget(bool top, const char* label) {
  const std::shared_ptr<platform::View> content = state_->ad->instreamVideoAdView();
  if (!content) {
    std::printf("           %-22s FAILED: the ad is no longer shown\n", label);
    return false;
  }
  const platform::Rect bounds = content->bounds();
  for (const auto& widget : content->subviews()) {
    const platform::Rect frame = widget->frame();
    const bool againstRightEdge = std::abs(frame.maxX() - bounds.maxX()) < 1.0 && frame != bounds;
    const bool atTop = frame.minY() < 1.0;
    if (!againstRightEdge || atTop != top) continue;
    const platform::Point tap = centreInWindow(*widget);
    std::printf("           %-22s \"%s\" at (%.0f, %.0f)\n", "tap", label, tap.x, tap.y);
    if (state_->screen.tap(tap)) return true;
    std::printf("           %-22s FAILED: the tap reached no view\n", label);
    return false;
  }
  std::printf("           %-22s FAILED: the ad shows no such button\n", label);
  return false;
}

}  // namespace plexora::demo
