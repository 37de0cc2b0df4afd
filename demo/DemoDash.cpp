#include "DemoDash.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <system_error>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "DemoScreen.h"
#include "DemoStep.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/URL.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "testserver/RangeFile.h"
#include "util/OVAdResourceLoader.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/dash/QNVDashAsset.h"
#include "util/qnv/player/QNVPlayer.h"
#include "util/qnv/render/QNVPlayerLayer.h"

namespace plexora::demo {

namespace {

constexpr const char* kMediaPath = "/media/";
constexpr const char* kFilePrefix = "dash-";
constexpr const char* kManifestName = "dash-manifest.mpd";
// The kind of video the resource loader fetches for the asset.
constexpr const char* kResourceType = "dash-video";
constexpr const char* kPicture = "dash.png";
constexpr const char* kFailedMessage = "the presentation failed to play";
// Where the picture sits in the window, in points: 16:9 across it.
constexpr double kViewTop = 100;
constexpr double kViewWidth = 375;
constexpr double kViewHeight = 211;
// Playback before the picture: past the first segment.
constexpr double kPlaySeconds = 2.0;

using Clock = std::chrono::steady_clock;

// The player layer's latest frame, fit in the view as a host draws it.
class PictureView final : public platform::View {
 public:
  PictureView(platform::Rect frame, std::shared_ptr<QNVPlayerLayer> layer)
      : platform::View(frame), layer_(std::move(layer)) {}

  void draw(platform::GraphicsContext& context, platform::Rect rect) const override {
    std::shared_ptr<platform::Image> frame = layer_->presentedImage();
    if (!frame) return;
    platform::ImageView picture(bounds());
    picture.setContentMode(platform::ContentMode::ScaleAspectFit);
    picture.setImage(std::move(frame));
    picture.draw(context, rect);
  }

 private:
  std::shared_ptr<QNVPlayerLayer> layer_;
};

// A host's settings for a short on-demand clip: a few seconds fetched
// ahead, playback from half a second buffered, the highest quality.
QNVDashAssetConfig assetConfig() {
  QNVDashAssetConfig config;
  config.fetchBufferSizeInSeconds = 5.0;
  config.unstallBufferSizeInSeconds = 0.5;
  config.firstUnstallBufferSizeInSeconds = 0.5;
  config.stallBufferSizeInSeconds = 0.1;
  config.firstFetchSizeInSeconds = 1.0;
  config.abrSelectorType = kQNVAbrSelectorTypeHighest;
  return config;
}

}  // namespace

struct DemoDash::State {
  Clock::time_point start = Clock::now();
  std::shared_ptr<platform::Window> window = std::make_shared<platform::Window>();
  std::shared_ptr<platform::ViewController> root = std::make_shared<platform::ViewController>();
  DemoScreen screen{window};
  std::vector<std::string> errors;
  std::shared_ptr<QNVPlayerLayer> layer;
  std::shared_ptr<PictureView> view;
  std::shared_ptr<QNVPlayer> player;
  std::shared_ptr<QNVDashAsset> asset;
  std::shared_ptr<std::atomic<bool>> loaded = std::make_shared<std::atomic<bool>>(false);
  std::shared_ptr<std::atomic<bool>> failed = std::make_shared<std::atomic<bool>>(false);
  platform::NotificationCenter::ObserverToken failureToken = 0;
  std::optional<Clock::time_point> playing;

  ~State() {
    platform::NotificationCenter::defaultCenter().removeObserver(failureToken);
    if (player) {
      player->pause();
      player.reset();
    }
    if (layer) layer->invalidate();
    // The asset's own work runs on the engine's queue; it ends there.
    QNVMediaStateQueue()->sync([this] { asset.reset(); });
  }
};

DemoDash::DemoDash(testserver::AdServer* bundledServer, std::filesystem::path mediaDirectory)
    : bundledServer_(bundledServer), mediaDirectory_(std::move(mediaDirectory)), state_(std::make_unique<State>()) {}

DemoDash::~DemoDash() = default;

bool DemoDash::step(const std::string& name, const std::function<bool()>& done, const std::string& detail) {
  return runDemoStep(state_->start, state_->errors, name, [&] {
    if (state_->failed->load() && state_->errors.empty()) state_->errors.push_back(kFailedMessage);
    return done();
  }, detail);
}

// Each file of the presentation at its own path: the native part answers
// every other name under "/media/" with a picture. False when there is no
// manifest to serve.
bool DemoDash::servePresentation() {
  std::error_code failure;
  if (!std::filesystem::exists(mediaDirectory_ / kManifestName, failure)) {
    std::printf("           %-22s FAILED: no %s in %s\n", "dash", kManifestName, mediaDirectory_.c_str());
    return false;
  }
  for (const auto& entry : std::filesystem::directory_iterator(mediaDirectory_, failure)) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with(kFilePrefix)) continue;
    std::ifstream file(entry.path(), std::ios::binary);
    auto bytes = std::make_shared<const std::string>(std::istreambuf_iterator<char>(file),
                                                     std::istreambuf_iterator<char>());
    bundledServer_->server().on(kMediaPath + name, testserver::serveRangeFile(std::move(bytes)));
  }
  return true;
}

bool DemoDash::run(const std::filesystem::path& outputDirectory) {
  State& state = *state_;
  state.start = Clock::now();
  if (bundledServer_ == nullptr) {
    std::printf("%8.3f s  %-22s %s\n", 0.0, "dash", "skipped: the presentation is served by the bundled server");
    return true;
  }
  if (!servePresentation()) return false;
  state.window->setRootViewController(state.root);
  state.window->makeKeyAndVisible();

  QNVPlayerLayerConfigs configs;
  configs.offMainThreadRendering = true;
  state.layer = QNVPlayerLayer::initWithConfigs(configs);
  state.view = std::make_shared<PictureView>(platform::Rect{0, kViewTop, kViewWidth, kViewHeight}, state.layer);
  state.layer->setBounds(state.view->bounds());
  state.window->addSubview(state.view);

  const auto manifest = platform::URL::parse(bundledServer_->server().url(std::string(kMediaPath) + kManifestName));
  state.asset = QNVDashAsset::initWithConfig(assetConfig(), "", manifest, nullptr);
  state.asset->resourceLoader()->setDelegate(OVAdResourceLoader::sharedResourceLoader(),
                                             platform::DispatchQueue::global(), std::string(kResourceType),
                                             std::nullopt, std::nullopt);
  state.failureToken = platform::NotificationCenter::defaultCenter().addObserver(
      kAVPlayerItemFailedToPlayToEndTimeNotification, state.asset.get(), nullptr,
      [failed = state.failed](const platform::Notification&) { failed->store(true); });
  state.asset->loadValuesAsynchronouslyForKeys({"duration"}, [loaded = state.loaded] { loaded->store(true); });
  if (!step("dash manifest", [&] { return state.loaded->load(); }, "the manifest and the first segments loaded")) {
    return false;
  }

  state.player = QNVPlayer::initWithDisplayEngine(state.layer);
  state.player->replaceCurrentItemWithPlayerItem(state.asset);
  state.player->play();
  const platform::Rect frame = state.view->frame();
  const platform::Rect middle{frame.midX() - frame.size.width / 4, frame.midY() - frame.size.height / 4,
                              frame.size.width / 2, frame.size.height / 2};
  if (!step("dash playback", [&] {
        if (!state.playing && state.player->currentTime().seconds() > 0) state.playing = Clock::now();
        state.screen.refresh();
        return state.playing &&
               std::chrono::duration<double>(Clock::now() - *state.playing).count() >= kPlaySeconds &&
               state.screen.drawn(middle);
      }, "the engine's frames of the DASH segments in the view")) {
    return false;
  }
  return state.screen.write(frame, outputDirectory / kPicture, "picture");
}

}  // namespace plexora::demo
