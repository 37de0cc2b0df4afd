// What a rewarded video ad costs beside the bare players it is built on, each
// pair measured in turns on the real clock (medians of the turns):
//   BM_FirstFrameInTurns      an ad loaded from the loopback ad server with
//                             its clip cached: showAdFromRootViewController
//                             to the first frame the engine's layer drew;
//                             in turn a bare engine player and layer on the
//                             cache's file of the same clip, from making the
//                             asset and player and playing to the first frame
//                             (the bare layer's GL set up beforehand, as the
//                             ad's is while it loads); "ad_own_ms" is the
//                             ad's part alone: show to its player playing
//   BM_PlaybackCpuInTurns     process CPU time over a fixed span of real time
//                             on the main loop once the first frame is up:
//                             the ad with all its controls (progress bar,
//                             skip ring, play/pause button, details block
//                             with icon, title and subtitle), in turn the
//                             bare engine playing the same file
//   BM_SystemPlayerCpuInTurns the system player (GStreamer) playing the clip
//                             for a fixed span, in turn gst-launch-1.0
//                             decoding the same file to clocked fake sinks
//                             for the same span, as a child whose CPU comes
//                             from wait4's resource usage
//   BM_MemoryOver20Ads        20 ads one after another, each loaded, shown,
//                             played a little, skipped and closed: resident
//                             memory (VmRSS) and the heap in use (mallinfo2)
//                             after each, and how many of each ad's objects
//                             outlive it
// After the table come the goals' ratios and the memory figures. The ad
// server runs in a child process, so its threads stay out of the figures.
//
// The clip is made at build time (bench/CMakeLists.txt): 1280x720 at 30
// frames a second with AAC sound, ten seconds.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "BenchMedians.h"
#include "BenchProcess.h"
#include "BenchServerProcess.h"
#include "adapters/OVPXRewardedVideoAdAdapter.h"
#include "adapters/views/nativead/video/OVAdVideoPlayerView.h"
#include "adapters/views/video/OVRewardedVideoAdEngineView.h"
#include "controllers/OVDisplayAdController.h"
#include "dto/OVAdPlacementDefinition.h"
#include "internal/OVRewardedVideoAdInternal.h"
#include "internal/OVRewardedVideoAdVideoInternal.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/media/GStreamerPipeline.h"
#include "platform/media/GStreamerPlayerKit.h"
#include "platform/ui/Image.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "plexora/OVAdSettings.h"
#include "plexora/OVRewardedVideoAd.h"
#include "server/OVAdEnvironmentData.h"
#include "server/OVAdLoadThrottle.h"
#include "server/OVAdURLSession.h"
#include "testserver/adserver/AdServer.h"
#include "util/cache/OVAdCache.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdUtility.h"
#include "util/compatibility/OVAdFileVideoAsset.h"
#include "util/qnv/asset/QNVLocalMp4Asset.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/player/QNVPlayer.h"
#include "util/qnv/render/QNVPlayerLayer.h"
#include "util/qnv/render/QNVRenderingThread.h"

namespace {

using namespace plexora;
using SteadyClock = std::chrono::steady_clock;

constexpr const char* kClipPath = PLEXORA_REWARDED_CLIP;
constexpr const char* kClipRoute = "/media/rewarded-720p.mp4";
constexpr const char* kIconRoute = "/media/rewarded-icon.png";
constexpr const char* kPlacement = "rewarded_1";
constexpr const char* kUserID = "user-1";
constexpr const char* kCurrency = "coins";
constexpr std::int64_t kAmount = 10;
constexpr const char* kGstLaunch = "gst-launch-1.0";

constexpr double kWaitSeconds = 30.0;
// Polling step while waiting for a first frame: the figure's resolution.
constexpr double kPollSeconds = 0.001;
constexpr double kPlaybackSpanSeconds = 4.0;
constexpr double kSystemPlayerSpanSeconds = 5.0;
constexpr int kMemoryAds = 20;
constexpr int kTurns = 5;
// First frames vary most with the machine's load: more turns.
constexpr int kFirstFrameTurns = 9;

// A rewarded candidate with every control the view can show: the metadata
// and play/pause switches on, a skip ring (skipping allowed from 0.5 s), an
// icon, a title and a subtitle. The feature configuration rides with the
// placement, as the ad server sends it.
constexpr const char* kAnswer =
    R"({"type":"ads","code":0,"message":"","placements":[{"definition":{"type":"rewarded"},)"
    R"("feature_config":{"ios_qnv_enabled":true,"show_play_pause_rewarded_video":true,)"
    R"("show_metadata_rewarded_video":true},"ads":[{"adapter":"PX","data":{"ct":"ct-rewarded-bench",)"
    R"("video_url":"{{BASE_URL}}media/rewarded-720p.mp4","title":"Rewarded ad of the benchmark",)"
    R"("subtitle":"Watch the video to the end or skip it to earn ten coins",)"
    R"("icon":{"url":"{{BASE_URL}}media/rewarded-icon.png","width":128,"height":128},)"
    R"("skippable_seconds":0.5},"trackers":[]}]}]})";

double processCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double secondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void settle() {
  QNVMediaStateQueue()->sync([] {});
  platform::DispatchQueue::settle();
}

bool waitFor(const std::function<bool()>& done, double seconds = kWaitSeconds) {
  return platform::MainLoop::instance().runUntil(done, seconds);
}

// Runs the main loop in small steps until `done`, so the moment it turns
// true is known to within a step even when nothing is queued.
bool pollFor(const std::function<bool()>& done, double seconds = kWaitSeconds) {
  const auto start = SteadyClock::now();
  while (!done()) {
    if (secondsSince(start) > seconds) return false;
    platform::MainLoop::instance().runOnce(kPollSeconds);
  }
  return true;
}

// The main loop for `seconds` of real time, serving what arrives.
void runFor(double seconds) {
  platform::MainLoop::instance().runUntil([] { return false; }, seconds);
}

// Engine layers end on their rendering thread: waits for what it was asked
// to do so far.
void drainRenderingThread() {
  auto drained = std::make_shared<std::atomic<bool>>(false);
  QNVRenderingThread::renderingThreadAllowingAppInactivePlayback(false)->performBlock([drained] { *drained = true; });
  waitFor([&] { return drained->load(); });
  settle();
}

std::string fileBytes(const char* path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The loopback ad server runs in a child process of its own, started
// before this process has any thread: its request threads (96 of them) and
// what they allocate would otherwise count in the memory figures, which are
// the host's and the library's alone.
template <typename Report>
void serveAds(Report report) {
  testserver::AdServer server;
  server.start();
  testserver::Response clip = testserver::Response::text(200, fileBytes(kClipPath));
  clip.headers = {{"Content-Type", "video/mp4"}};
  server.server().on(kClipRoute, std::move(clip));
  const platform::Bytes png = platform::Image::create(128, 128, 1.0, {0.2, 0.5, 0.9, 1.0})->encodePNG();
  testserver::Response icon = testserver::Response::text(200, std::string(png.begin(), png.end()));
  icon.headers = {{"Content-Type", "image/png"}};
  server.server().on(kIconRoute, std::move(icon));
  server.setAnswer(kPlacement, testserver::AdAnswer::document(kAnswer));
  report(server.baseURL());
}

const std::string& serverBaseURL() { return bench::serverProcess().baseURL; }

// Settings, caches and user defaults in a directory of their own, the
// shared URL session working, loads never throttled, and a key window whose
// root controller the ads are shown from.
std::shared_ptr<platform::ViewController> rootViewController() {
  static const auto root = [] {
    bench::useScratchDirectory("rewarded-bench");
    OVAdEnvironmentData::installSessionSource(
        [] { return OVAdSessionFacts{"6F9619FF-8B86-D011-B42D-00C04FC964FF", 12.5}; });
    OVAdPlacementDefinition::setLocalCookieInstaller([](const OVAdHTTPCookie&) {});
    OVAdConnectionUtility::setForceThrottle(false);
    OVAdSettings::setAdServerBaseURL(serverBaseURL());
    bool answered = false;
    OVAdUtility::currentUserAgentWithBlock([&](const std::optional<std::string>&) { answered = true; });
    waitFor([&] { return answered; });
    const auto session = OVAdURLSession::sharedSession();
    waitFor([&] { return session->valid(); });
    static const auto window = std::make_shared<platform::Window>();
    auto controller = std::make_shared<platform::ViewController>();
    window->setRootViewController(controller);
    window->makeKeyAndVisible();
    return controller;
  }();
  return root;
}

class RecordingDelegate final : public OVRewardedVideoAdDelegate {
 public:
  void rewardedVideoAdDidLoad(const std::shared_ptr<OVRewardedVideoAd>&) override { messages.push_back("loaded"); }
  void rewardedVideoAd(const std::shared_ptr<OVRewardedVideoAd>&, const platform::Error&) override {
    messages.push_back("error");
  }
  void rewardedVideoAdDidClose(const std::shared_ptr<OVRewardedVideoAd>&) override { messages.push_back("did-close"); }

  bool heard(const std::string& message) const {
    return std::find(messages.begin(), messages.end(), message) != messages.end();
  }

  std::vector<std::string> messages;
};

// The objects one ad made, held weakly: each should be gone once the host
// has let go of the closed ad.
struct AdObjects {
  std::weak_ptr<OVRewardedVideoAd> ad;
  std::weak_ptr<OVDisplayAdAdapter> adapter;
  std::weak_ptr<OVRewardedVideoAdInternal> internal;
  std::weak_ptr<OVRewardedVideoAdVideoInternal> videoController;
  std::weak_ptr<OVRewardedVideoAdEngineView> view;
  std::weak_ptr<OVAdVideoPlayerView> videoView;
  std::weak_ptr<QNVPlayerLayer> layer;
  std::weak_ptr<QNVAVPlayer> player;

  int alive() const {
    return static_cast<int>(!ad.expired()) + !adapter.expired() + !internal.expired() + !videoController.expired() +
           !view.expired() + !videoView.expired() + !layer.expired() + !player.expired();
  }
};

// One rewarded ad from load to close, shown from the key window's root.
class RewardedAdRun {
 public:
  // Loads the ad until its clip is cached; answers whether it loaded with
  // the engine's view and layer.
  bool load() {
    ad_ = OVRewardedVideoAd::initWithPlacementID(kPlacement, kUserID, kCurrency, kAmount);
    ad_->setDelegate(delegate_);
    ad_->loadAd();
    if (!waitFor([&] { return delegate_->heard("loaded") || delegate_->heard("error"); })) return false;
    settle();
    if (!delegate_->heard("loaded")) return false;
    objects_.ad = ad_;
    const auto adapter = std::dynamic_pointer_cast<OVPXRewardedVideoAdAdapter>(ad_->adController()->currentAdapter());
    if (!adapter) return false;
    objects_.adapter = adapter;
    const auto internal = adapter->rewardedVideoAd();
    objects_.internal = internal;
    objects_.videoController = internal->videoController();
    view_ = std::dynamic_pointer_cast<OVRewardedVideoAdEngineView>(internal->videoController()->videoView());
    if (!view_) return false;
    objects_.view = view_;
    const auto videoView = view_->videoView();
    objects_.videoView = videoView;
    layer_ = videoView ? std::dynamic_pointer_cast<QNVPlayerLayer>(videoView->playerLayer()) : nullptr;
    objects_.layer = layer_;
    return layer_ != nullptr;
  }

  bool show() { return ad_->showAdFromRootViewController(rootViewController(), false); }
  bool waitForFirstFrame() { return pollFor([&] { return layer_->isReadyForDisplay(); }); }
  // The view has built its player and started it: the engine's part begins.
  bool hasPlayer() const { return view_->player() != nullptr; }

  // Plays on until skipping is allowed, skips, and waits until the host
  // heard the close.
  bool skipAndClose() {
    objects_.player = view_->player();
    if (!waitFor([&] { return view_->skipRemainingTime() <= platform::MediaTime::zero(); })) return false;
    view_->skipButtonViewTapped();
    return waitFor([&] { return delegate_->heard("did-close") || delegate_->heard("error"); }) &&
           delegate_->heard("did-close");
  }

  // Lets go of the ad and waits for the teardown its layer queued; answers
  // the objects it made, weakly.
  AdObjects release() {
    view_.reset();
    layer_.reset();
    ad_.reset();
    settle();
    drainRenderingThread();
    return objects_;
  }

 private:
  std::shared_ptr<RecordingDelegate> delegate_ = std::make_shared<RecordingDelegate>();
  std::shared_ptr<OVRewardedVideoAd> ad_;
  std::shared_ptr<OVRewardedVideoAdEngineView> view_;
  std::shared_ptr<QNVPlayerLayer> layer_;
  AdObjects objects_;
};

// The file the ad cache keeps for the clip: the file the ads play.
std::optional<platform::URL> cachedClip() {
  static const std::optional<platform::URL> url = [] {
    std::optional<platform::URL> found;
    bool answered = false;
    OVAdCache::sharedCache()->AVAssetForURL(platform::URL::parse(serverBaseURL() + "media/rewarded-720p.mp4"),
                                            [&](const std::shared_ptr<QNVAssetForCache>& asset) {
                                              if (const auto file = std::dynamic_pointer_cast<OVAdFileVideoAsset>(asset)) {
                                                if (file->isFile()) found = file->url();
                                              }
                                              answered = true;
                                            });
    waitFor([&] { return answered; });
    return found;
  }();
  return url;
}

// A bare engine player and layer on the cached clip: the layer made as the
// ad's video view makes it and laid out at the screen's size beforehand.
class BarePlayback {
 public:
  BarePlayback() {
    QNVPlayerLayerConfigs configs;
    configs.offMainThreadRendering = OVAdConfigManager::sharedManager()->isQNVOffThreadRenderingEnabled();
    configs.optimizeMemory = true;
    layer_ = QNVPlayerLayer::initWithConfigs(configs);
    layer_->setBounds(platform::Screen::main()->bounds());
    settle();
    // The ad's layer sets up GL while the ad loads, long before the show:
    // this one has its GL context too before the clock starts.
    layer_->dispatchSyncOnRenderingThread([] {});
  }
  ~BarePlayback() {
    if (player_) player_->pause();
    settle();
    player_.reset();
    asset_.reset();
    settle();
    layer_->invalidate();
    layer_.reset();
    drainRenderingThread();
  }
  BarePlayback(const BarePlayback&) = delete;
  BarePlayback& operator=(const BarePlayback&) = delete;

  // Opens the file, loads its keys, builds the player and plays.
  bool play(const platform::URL& file) {
    asset_ = QNVLocalMp4Asset::initWithLocalURL(file, false, platform::Size{});
    bool loaded = false;
    asset_->loadValuesAsynchronouslyForKeys({"tracks", "duration", "playable"},
                                            [&loaded] { platform::DispatchQueue::main()->async([&loaded] { loaded = true; }); });
    if (!waitFor([&] { return loaded; })) return false;
    player_ = QNVPlayer::initWithDisplayEngine(layer_);
    player_->replaceCurrentItemWithPlayerItem(asset_);
    player_->setMuted(false);
    player_->play();
    return true;
  }
  bool waitForFirstFrame() { return pollFor([&] { return layer_->isReadyForDisplay(); }); }

 private:
  std::shared_ptr<QNVPlayerLayer> layer_;
  std::shared_ptr<QNVPlayer> player_;
  std::shared_ptr<QNVLocalMp4Asset> asset_;
};

void BM_FirstFrameInTurns(benchmark::State& state) {
  rootViewController();
  const auto file = cachedClip();
  if (!file) {
    state.SkipWithError("the clip was not cached as a file");
    return;
  }
  std::vector<double> ads;
  std::vector<double> ownParts;
  std::vector<double> bares;
  for (auto _ : state) {
    RewardedAdRun ad;
    if (!ad.load()) {
      state.SkipWithError("the ad did not load with the engine's view");
      break;
    }
    const auto shown = SteadyClock::now();
    if (!ad.show() || !pollFor([&] { return ad.hasPlayer(); })) {
      state.SkipWithError("the ad built no player");
      break;
    }
    ownParts.push_back(secondsSince(shown));
    if (!ad.waitForFirstFrame()) {
      state.SkipWithError("the ad showed no frame");
      break;
    }
    ads.push_back(secondsSince(shown));
    if (!ad.skipAndClose()) {
      state.SkipWithError("the ad did not close");
      break;
    }
    ad.release();

    BarePlayback bare;
    const auto played = SteadyClock::now();
    if (!bare.play(*file) || !bare.waitForFirstFrame()) {
      state.SkipWithError("the bare engine showed no frame");
      break;
    }
    bares.push_back(secondsSince(played));
    state.SetIterationTime(ads.back());
  }
  if (!ads.empty() && !bares.empty()) {
    state.counters["ad_ms"] = median(ads) * 1e3;
    state.counters["ad_own_ms"] = median(ownParts) * 1e3;
    state.counters["bare_ms"] = median(bares) * 1e3;
    state.counters["ratio"] = median(ads) / median(bares);
  }
}
BENCHMARK(BM_FirstFrameInTurns)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(kFirstFrameTurns);

void BM_PlaybackCpuInTurns(benchmark::State& state) {
  rootViewController();
  const auto file = cachedClip();
  if (!file) {
    state.SkipWithError("the clip was not cached as a file");
    return;
  }
  std::vector<double> ads;
  std::vector<double> bares;
  for (auto _ : state) {
    RewardedAdRun ad;
    if (!ad.load() || !ad.show() || !ad.waitForFirstFrame()) {
      state.SkipWithError("the ad showed no frame");
      break;
    }
    double start = processCpuSeconds();
    runFor(kPlaybackSpanSeconds);
    ads.push_back(processCpuSeconds() - start);
    if (!ad.skipAndClose()) {
      state.SkipWithError("the ad did not close");
      break;
    }
    ad.release();

    BarePlayback bare;
    if (!bare.play(*file) || !bare.waitForFirstFrame()) {
      state.SkipWithError("the bare engine showed no frame");
      break;
    }
    start = processCpuSeconds();
    runFor(kPlaybackSpanSeconds);
    bares.push_back(processCpuSeconds() - start);
    state.SetIterationTime(ads.back());
  }
  if (!ads.empty() && !bares.empty()) {
    state.counters["ad_cpu_ms"] = median(ads) * 1e3;
    state.counters["bare_cpu_ms"] = median(bares) * 1e3;
    state.counters["ratio"] = median(ads) / median(bares);
  }
}
BENCHMARK(BM_PlaybackCpuInTurns)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(kTurns);

// Process CPU seconds of the system player playing the clip for the span,
// from making its asset.
std::optional<double> systemPlayerCpu() {
  platform::GStreamerPlayerKit kit;
  const double start = processCpuSeconds();
  auto asset = kit.makeURLAsset(*platform::URL::fromFilePath(kClipPath));
  auto item = asset ? kit.makePlayerItem(asset) : nullptr;
  auto player = item ? kit.makePlayer(item) : nullptr;
  if (!player) return std::nullopt;
  auto layer = kit.makePlayerLayer();
  layer->setBounds(platform::Screen::main()->bounds());
  layer->setPlayer(player);
  player->play();
  runFor(kSystemPlayerSpanSeconds);
  const double used = processCpuSeconds() - start;
  const bool played = layer->presentedImage() != nullptr;
  player->pause();
  layer->setPlayer(nullptr);
  layer.reset();
  player.reset();
  item.reset();
  asset.reset();
  settle();
  if (!played) return std::nullopt;
  return used;
}

// CPU seconds of gst-launch-1.0 decoding the clip's sound and pictures to
// clocked fake sinks for the span; none when it cannot be run.
std::optional<double> gstLaunchCpu() {
  const std::string location = std::string("location=") + kClipPath;
  const pid_t child = ::fork();
  if (child < 0) return std::nullopt;
  if (child == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) {
      ::dup2(null, STDOUT_FILENO);
      ::dup2(null, STDERR_FILENO);
    }
    ::execlp(kGstLaunch, kGstLaunch, "-q", "filesrc", location.c_str(), "!", "decodebin", "name=d", "d.", "!", "queue",
             "!", "fakesink", "sync=true", "d.", "!", "queue", "!", "fakesink", "sync=true", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const auto start = SteadyClock::now();
  int status = 0;
  rusage usage{};
  // A child that ends early (an error, a missing program) ends the wait.
  while (secondsSince(start) < kSystemPlayerSpanSeconds) {
    if (::wait4(child, &status, WNOHANG, &usage) == child) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(child, SIGKILL);
  if (::wait4(child, &status, 0, &usage) != child) return std::nullopt;
  const auto seconds = [](const timeval& value) {
    return static_cast<double>(value.tv_sec) + static_cast<double>(value.tv_usec) * 1e-6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void BM_SystemPlayerCpuInTurns(benchmark::State& state) {
  rootViewController();
  if (!platform::ensureGStreamer()) {
    state.SkipWithError("GStreamer is not available");
    return;
  }
  std::vector<double> players;
  std::vector<double> launches;
  for (auto _ : state) {
    const auto player = systemPlayerCpu();
    if (!player) {
      state.SkipWithError("the system player showed no frame");
      break;
    }
    const auto launch = gstLaunchCpu();
    if (!launch) {
      state.SkipWithError("gst-launch-1.0 did not play the clip (is it installed?)");
      break;
    }
    players.push_back(*player);
    launches.push_back(*launch);
    state.SetIterationTime(*player);
  }
  if (!players.empty() && !launches.empty()) {
    state.counters["player_cpu_ms"] = median(players) * 1e3;
    state.counters["launch_cpu_ms"] = median(launches) * 1e3;
    state.counters["ratio"] = median(players) / median(launches);
  }
}
BENCHMARK(BM_SystemPlayerCpuInTurns)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(kTurns);

struct MemoryFigure {
  double residentMiB = 0;
  double heapMiB = 0;
};

MemoryFigure memoryNow() {
  MemoryFigure figure;
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with("VmRSS:")) figure.residentMiB = std::strtod(line.c_str() + 6, nullptr) / 1024.0;
  }
  const struct mallinfo2 heap = ::mallinfo2();
  figure.heapMiB = static_cast<double>(heap.uordblks + heap.hblkhd) / (1024.0 * 1024.0);
  return figure;
}

// The figures after ads 1, 10 and 20, and the objects outliving their ad.
struct MemoryRun {
  std::vector<MemoryFigure> afterAd;
  int objectsAlive = 0;
};

MemoryRun& memoryRun() {
  static MemoryRun run;
  return run;
}

void BM_MemoryOver20Ads(benchmark::State& state) {
  rootViewController();
  MemoryRun& run = memoryRun();
  for (auto _ : state) {
    run = {};
    std::vector<AdObjects> objects;
    for (int i = 0; i < kMemoryAds; ++i) {
      RewardedAdRun ad;
      if (!ad.load() || !ad.show() || !ad.waitForFirstFrame() || !ad.skipAndClose()) {
        state.SkipWithError("an ad did not load, play or close");
        return;
      }
      objects.push_back(ad.release());
      // Late work of the closed ad (its reward, its logged events).
      runFor(0.2);
      ::malloc_trim(0);
      run.afterAd.push_back(memoryNow());
    }
    for (const AdObjects& made : objects) run.objectsAlive += made.alive();
  }
  const MemoryFigure& first = run.afterAd.front();
  const MemoryFigure& last = run.afterAd.back();
  state.counters["rss_ad1_mib"] = first.residentMiB;
  state.counters["rss_ad20_mib"] = last.residentMiB;
  state.counters["heap_ad1_mib"] = first.heapMiB;
  state.counters["heap_ad20_mib"] = last.heapMiB;
  state.counters["objects_alive"] = run.objectsAlive;
}
BENCHMARK(BM_MemoryOver20Ads)->Unit(benchmark::kMillisecond)->Iterations(1);

// The console table, and each in-turns benchmark's ratio kept for the
// closing lines.
class RatioReporter final : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) != 0 ? OO_Defaults : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      for (const auto& [name, counter] : run.counters) {
        figures_.record(run, run.run_name.function_name + "/" + name, counter.value);
      }
    }
  }

  void printRatio(const char* name, const std::string& benchmark, const char* measured, const char* reference,
                  const char* unit, double goal) {
    const double ratio = figures_.median(benchmark + "/ratio");
    if (ratio <= 0) return;
    std::printf("%-58s %6.2fx  (%.1f %s / %.1f %s, goal at most %.2fx: %s)\n", name, ratio,
                figures_.median(benchmark + "/" + measured), unit, figures_.median(benchmark + "/" + reference), unit,
                goal, ratio <= goal ? "met" : "missed");
  }

 private:
  bench::BenchMedians figures_;
};

// Growth is counted from the figure after the first ad, which holds what
// the first show builds once for the process (GL context, caches, the
// rendering thread).
constexpr double kHeapGrowthToleranceMiB = 1.0;
constexpr double kResidentGrowthToleranceMiB = 4.0;

void printMemory() {
  const MemoryRun& run = memoryRun();
  if (run.afterAd.size() != static_cast<std::size_t>(kMemoryAds)) return;
  for (const std::size_t ad : {std::size_t{1}, std::size_t{10}, std::size_t{20}}) {
    const MemoryFigure& figure = run.afterAd[ad - 1];
    std::printf("memory after ad %2zu: resident %7.1f MiB, heap in use %7.1f MiB\n", ad, figure.residentMiB,
                figure.heapMiB);
  }
  const double residentGrowth = run.afterAd.back().residentMiB - run.afterAd.front().residentMiB;
  const double heapGrowth = run.afterAd.back().heapMiB - run.afterAd.front().heapMiB;
  std::printf("growth from ad 1 to ad 20: resident %+.1f MiB, heap in use %+.2f MiB "
              "(goal: heap within %.1f MiB, resident within %.1f MiB: %s)\n",
              residentGrowth, heapGrowth, kHeapGrowthToleranceMiB, kResidentGrowthToleranceMiB,
              heapGrowth <= kHeapGrowthToleranceMiB && residentGrowth <= kResidentGrowthToleranceMiB ? "met"
                                                                                                     : "missed");
  std::printf("objects of the closed ads still alive (ad, adapter, controllers, views, layer, player): %d\n",
              run.objectsAlive);
}

}  // namespace

int main(int argc, char** argv) {
  if (!bench::startServerProcess([](auto report) { serveAds(report); })) {
    std::fprintf(stderr, "the ad server did not start\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    bench::stopServerProcess();
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  reporter.printRatio("show to first frame: rewarded ad / bare engine", "BM_FirstFrameInTurns", "ad_ms", "bare_ms",
                      "ms", 1.2);
  reporter.printRatio("playback CPU: rewarded ad with all controls / bare engine", "BM_PlaybackCpuInTurns",
                      "ad_cpu_ms", "bare_cpu_ms", "ms", 1.10);
  reporter.printRatio("playback CPU: system player / gst-launch-1.0", "BM_SystemPlayerCpuInTurns", "player_cpu_ms",
                      "launch_cpu_ms", "ms", 1.2);
  printMemory();
  benchmark::Shutdown();
  bench::stopServerProcess();
  return 0;
}
