#include "DemoNativeVideo.h"

#include <chrono>
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
#include "plexora/OVMediaView.h"
#include "plexora/OVNativeAd.h"

namespace plexora::demo {

namespace {

// The native fixture's answer under a placement of its own: the native
// part of the demo has just loaded "native", too recently to load it again.
constexpr const char* kFixture = "native";
constexpr const char* kPlacement = "native-video";
constexpr const char* kVideoPath = "/media/native-video.mp4";
constexpr const char* kAdsKey = "\"ads\": [";
constexpr const char* kAdapterKey = "\"adapter\"";
constexpr const char* kVideoEventType = "video";
constexpr const char* kInlinePicture = "native-video-inline.png";
constexpr const char* kFullscreenPicture = "native-video-fullscreen.png";
// Where the media view sits in the window, in points: 16:9 across it.
constexpr double kMediaTop = 100;
constexpr double kMediaWidth = 375;
constexpr double kMediaHeight = 211;
// Playback before the inline picture, so the remaining time has moved.
constexpr double kInlinePlaySeconds = 1.0;
// The presentation's animation, and then some.
constexpr double kFullscreenSettleSeconds = 1.0;
// Enough playback for the first progress reports.
constexpr double kPlaybackSeconds = 3.0;

using Clock = std::chrono::steady_clock;

class HostDelegate final : public OVNativeAdDelegate, public OVMediaViewDelegate {
 public:
  void nativeAdDidLoad(const std::shared_ptr<OVNativeAd>&) override { ++loads; }
  void nativeAd(const std::shared_ptr<OVNativeAd>&, const platform::Error& error) override {
    errors.push_back(error.localizedDescription());
  }
  void mediaViewDidLoad(const std::shared_ptr<OVMediaView>&) override { ++mediaLoads; }
  void mediaViewWillEnterFullscreen(const std::shared_ptr<OVMediaView>&) override { ++fullscreens; }
  void mediaViewVideoDidPlay(const std::shared_ptr<OVMediaView>&) override {
    ++plays;
    if (!firstPlay) firstPlay = Clock::now();
  }

  int loads = 0;
  int mediaLoads = 0;
  int fullscreens = 0;
  int plays = 0;
  std::optional<Clock::time_point> firstPlay;
  std::vector<std::string> errors;
};

bool playedFor(const HostDelegate& host, double seconds) {
  return host.firstPlay && std::chrono::duration<double>(Clock::now() - *host.firstPlay).count() >= seconds;
}

}  // namespace

struct DemoNativeVideo::State {
  Clock::time_point start = Clock::now();
  std::shared_ptr<platform::Window> window = std::make_shared<platform::Window>();
  std::shared_ptr<platform::ViewController> root = std::make_shared<platform::ViewController>();
  std::shared_ptr<HostDelegate> host = std::make_shared<HostDelegate>();
  DemoScreen screen{window};
  std::shared_ptr<OVNativeAd> ad;
  std::shared_ptr<OVMediaView> mediaView;
};

DemoNativeVideo::DemoNativeVideo(testserver::AdServer* bundledServer, std::filesystem::path clipPath)
    : bundledServer_(bundledServer), clipPath_(std::move(clipPath)), state_(std::make_unique<State>()) {}

DemoNativeVideo::~DemoNativeVideo() = default;

bool DemoNativeVideo::step(const std::string& name, const std::function<bool()>& done, const std::string& detail) {
  return runDemoStep(state_->start, state_->host->errors, name, done, detail);
}

// The fixture's native answer with its video ad alone, and the clip as that
// ad's video.
bool DemoNativeVideo::serveVideoAd() {
  std::ifstream file(clipPath_, std::ios::binary);
  const std::string clip{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  std::optional<std::string> answer = bundledServer_->fixtures().read(kFixture);
  const std::size_t ads = answer ? answer->find(kAdsKey) : std::string::npos;
  const std::size_t first = ads == std::string::npos ? ads : answer->find(kAdapterKey, ads);
  const std::size_t second = first == std::string::npos ? first : answer->find(kAdapterKey, first + 1);
  if (clip.empty() || second == std::string::npos) {
    std::printf("           %-22s FAILED: no clip at %s or no video ad in the fixture\n", "native video",
                clipPath_.c_str());
    return false;
  }
  // From the first ad's opening brace to the second's.
  const std::size_t from = answer->rfind('{', first);
  const std::size_t to = answer->rfind('{', second);
  answer->erase(from, to - from);
  bundledServer_->setAnswer(kPlacement, testserver::AdAnswer::document(*answer));
  testserver::Response video = testserver::Response::text(200, clip);
  video.headers = {{"Content-Type", "video/mp4"}};
  bundledServer_->server().on(kVideoPath, video);
  return true;
}

bool DemoNativeVideo::run(const std::filesystem::path& outputDirectory) {
  State& state = *state_;
  state.start = Clock::now();
  if (bundledServer_ == nullptr) {
    std::printf("%8.3f s  %-22s %s\n", 0.0, "native video", "skipped: the video is served by the bundled server");
    return true;
  }
  if (!serveVideoAd()) return false;
  state.window->setRootViewController(state.root);
  state.window->makeKeyAndVisible();

  state.ad = OVNativeAd::initWithPlacementID(kPlacement);
  state.ad->setDelegate(state.host);
  state.ad->loadAd();
  if (!step("video ad load", [&] { return state.host->loads > 0; }, "a native ad with a video")) return false;
  state.mediaView = OVMediaView::initWithNativeAd(state.ad);
  state.mediaView->setDelegate(state.host);
  state.mediaView->setFrame({0, kMediaTop, kMediaWidth, kMediaHeight});
  state.window->addSubview(state.mediaView);
  if (!step("video loaded", [&] { return state.host->mediaLoads > 0; }, "fetched through the resource cache")) {
    return false;
  }
  if (!step("inline autoplay", [&] { return state.host->plays > 0; }, "viewable: playing muted with its controls")) {
    return false;
  }
  const platform::Rect media = state.mediaView->frame();
  // The middle of the picture, clear of the controls: drawn once the
  // engine's frames show.
  const platform::Rect middle{media.midX() - media.size.width / 4, media.midY() - media.size.height / 4,
                              media.size.width / 2, media.size.height / 2};
  if (!step("inline picture", [&] {
        state.screen.refresh();
        return playedFor(*state.host, kInlinePlaySeconds) && state.screen.drawn(middle);
      }, "the engine's frame under the controls")) {
    return false;
  }
  if (!state.screen.write(media, outputDirectory / kInlinePicture, "picture")) return false;

  if (!state.screen.tap(centreInWindow(*state.mediaView))) {
    std::printf("           %-22s FAILED: the tap reached no view\n", "full screen");
    return false;
  }
  const auto shownAt = std::make_shared<std::optional<Clock::time_point>>();
  // A display of its own from here: the presentation is drawn afresh rather
  // than waiting for the inline display to hear of the change.
  DemoScreen fullscreen(state.window);
  const platform::Rect window = state.window->bounds();
  const platform::Rect windowMiddle{window.midX() - window.size.width / 4, window.midY() - window.size.height / 4,
                                    window.size.width / 2, window.size.height / 2};
  if (!step("full screen", [&] {
        // The controller's view holds the renderer and its two buttons.
        const auto presented = state.root->presentedViewController();
        if (!presented || !presented->view()->window() || presented->view()->subviews().size() < 3) return false;
        if (!*shownAt) *shownAt = Clock::now();
        // Past the presentation, with the video drawn across the window.
        return std::chrono::duration<double>(Clock::now() - **shownAt).count() >= kFullscreenSettleSeconds &&
               fullscreen.drawn(windowMiddle);
      }, "the same video with sound, large controls and the scrubber")) {
    return false;
  }
  if (!fullscreen.write(state.window->bounds(), outputDirectory / kFullscreenPicture, "picture")) return false;

  const auto acknowledged = [&] {
    std::size_t count = 0;
    for (const auto& event : bundledServer_->logging().events()) {
      if (event.type == kVideoEventType && event.code) ++count;
    }
    return count;
  };
  return step("video events", [&] { return playedFor(*state.host, kPlaybackSeconds) && acknowledged() > 0; },
              "the server acknowledged the video's playback events");
}

}  // namespace plexora::demo
