// What a native video ad's media view costs beyond the engine playing the
// same clip, in CPU time of the whole process (every thread: decoder,
// media-state queue, rendering thread, the GL driver's and the main
// thread), over the same span of real-time playback on the main loop:
//   BM_BareEngine  the 720p clip played by the engine's player into its
//                  layer, in a 1280 x 720 window a host display renders
//                  once a frame of the clip
//   BM_MediaView   the same clip as a native ad's video in a media view
//                  filling the same window: the library's renderer with its
//                  controls (play/pause button, remaining time, audio
//                  meters, shade), its viewability checks, its video logger
//                  and the ad's own time observers, shown through the same
//                  host display
// Each repetition is one turn: a new window, player or media view, a short
// warm-up once the video plays, then the measured span. The turns of both
// benchmarks are interleaved (unless the command line says otherwise), so
// a machine whose load drifts weighs on both alike. After the table: the
// media view's CPU over the bare engine's, from the medians, against the
// goal of at most 1.10, with and without the GL rasterizer's threads (Mesa's
// software rasterizer without a GPU, "llvmpipe-N"), and what the media
// view adds on the main thread: the threads that wait on others (decoder,
// rasterizer) spend more when the machine is busy, the main thread's work
// much less so.
//
// The media view fetches its video from the loopback test server through
// the resource cache before its turn is measured; it then plays the cached
// file, as the bare engine plays the clip's file.
#include <benchmark/benchmark.h>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BenchMedians.h"
#include "BenchProcess.h"
#include "adapters/OVNativeAdDataModel.h"
#include "adapters/views/nativead/video/OVAdVideoPlayerView.h"
#include "dto/OVAdPlacementDefinition.h"
#include "platform/device/DeviceProvider.h"
#include "platform/device/LinuxDeviceProvider.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Application.h"
#include "platform/ui/Image.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "plexora/OVAdSettings.h"
#include "plexora/OVHostDisplay.h"
#include "plexora/OVMediaView.h"
#include "plexora/OVNativeAd.h"
#include "server/OVAdEnvironmentData.h"
#include "server/OVAdLoadThrottle.h"
#include "server/OVAdURLSession.h"
#include "testserver/RangeFile.h"
#include "testserver/TestServer.h"
#include "util/OVAdUtility.h"
#include "util/qnv/asset/QNVLocalMp4Asset.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/player/QNVPlayer.h"
#include "util/qnv/render/QNVPlayerLayer.h"
#include "util/qnv/render/QNVRenderingThread.h"

namespace {

using namespace plexora;

constexpr const char* kClipPath = PLEXORA_BENCH_CLIP;
constexpr double kWidth = 1280;
constexpr double kHeight = 720;
// Real seconds of playback before the span (the decoder's start, the first
// frames, the controls' first layout) and of the span itself.
constexpr double kWarmUpSeconds = 0.5;
constexpr double kSpanSeconds = 5.0;
// The clip's frame rate.
constexpr double kFrameSeconds = 1.0 / 30.0;
constexpr double kWaitSeconds = 30.0;
constexpr int kTurns = 5;
constexpr double kGoal = 1.10;

constexpr const char* kClipRoute = "/media/clip";
constexpr const char* kCoverRoute = "/media/cover.png";
constexpr const char* kInterleaveFlag = "--benchmark_enable_random_interleaving=true";

double cpuSeconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}
double processSeconds() { return cpuSeconds(CLOCK_PROCESS_CPUTIME_ID); }
// The main thread's, where the views (the controls among them) are laid out
// and drawn.
double mainThreadSeconds() { return cpuSeconds(CLOCK_THREAD_CPUTIME_ID); }

void settle() {
  QNVMediaStateQueue()->sync([] {});
  platform::DispatchQueue::settle();
}

// The layers end on the rendering thread: waits for their teardown, so the
// next turn starts with nothing else drawing.
void drainRenderingThread() {
  auto drained = std::make_shared<std::atomic<bool>>(false);
  QNVRenderingThread::renderingThreadAllowingAppInactivePlayback(false)->performBlock([drained] { *drained = true; });
  platform::MainLoop::instance().runUntil([&] { return drained->load(); }, kWaitSeconds);
  settle();
}

// The clip, served from the loopback server under any name starting with
// kClipRoute (each media-view turn asks for a new one, so the cache fetches
// it again rather than handing over the previous turn's asset), and the
// ad's cover.
testserver::TestServer& server() {
  static testserver::TestServer* shared = [] {
    std::ifstream in(kClipPath, std::ios::binary);
    const auto clip =
        std::make_shared<const std::string>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    auto* started = new testserver::TestServer();
    started->start();
    started->on(kClipRoute, testserver::serveRangeFile(clip), testserver::Match::Prefix);
    const platform::Bytes cover = platform::Image::create(128, 72, 1.0, {0.2, 0.5, 0.9, 1.0})->encodePNG();
    started->on(kCoverRoute, testserver::serveRangeFile(std::make_shared<const std::string>(cover.begin(), cover.end())));
    return started;
  }();
  return *shared;
}

// Settings, caches and user defaults in a directory of their own, a screen
// as large as the window, the shared URL session working.
void prepareProcess() {
  static const bool prepared = [] {
    bench::useScratchDirectory("native-video-bench");
    platform::DeviceProfile profile;
    profile.screen.bounds = platform::ScreenSize{kWidth, kHeight};
    profile.screen.scale = 1.0;
    static platform::ScopedDeviceProvider device(std::make_shared<platform::LinuxDeviceProvider>(profile));
    OVAdEnvironmentData::installSessionSource(
        [] { return OVAdSessionFacts{"6F9619FF-8B86-D011-B42D-00C04FC964FF", 12.5}; });
    OVAdPlacementDefinition::setLocalCookieInstaller([](const OVAdHTTPCookie&) {});
    OVAdConnectionUtility::setForceThrottle(false);
    OVAdSettings::setAdServerBaseURL(server().baseURL());
    OVAdSettings::setBackgroundVideoPlaybackAllowed(false);
    bool answered = false;
    OVAdUtility::currentUserAgentWithBlock([&](const std::optional<std::string>&) { answered = true; });
    platform::MainLoop::instance().runUntil([&] { return answered; }, kWaitSeconds);
    const auto session = OVAdURLSession::sharedSession();
    platform::MainLoop::instance().runUntil([&] { return session->valid(); }, kWaitSeconds);
    return true;
  }();
  (void)prepared;
}

// A key window of the clip's size, shown through a host display that a
// host's frame loop renders at the clip's frame rate. The display's own
// change detection is left off: it spaces its looks by how long a look
// takes, so a window that is slower to draw would be drawn less often and
// seem cheaper.
class Screen {
 public:
  Screen() {
    platform::Application::shared()->reset();
    window_->setRootViewController(root_);
    window_->makeKeyAndVisible();
    display_ = OVHostDisplay::displayWithWindow(window_);
  }
  ~Screen() {
    for (const auto& view : window_->subviews()) view->removeFromSuperview();
    settle();
    platform::Application::shared()->reset();
  }
  Screen(const Screen&) = delete;
  Screen& operator=(const Screen&) = delete;

  const std::shared_ptr<platform::Window>& window() const { return window_; }

  // Runs the main loop in real time for `seconds`, rendering the window
  // once a frame.
  void run(double seconds) {
    const auto now = [] { return platform::Clock::current()->monotonicTime(); };
    const double end = now() + seconds;
    for (double frame = now(); frame < end; frame += kFrameSeconds) {
      const double next = std::min(frame + kFrameSeconds, end);
      platform::MainLoop::instance().runUntil([&] { return now() >= next; }, std::max(next - now(), 0.0));
      const double before = mainThreadSeconds();
      display_->render(pixels_.data(), kPixelsWide, kPixelsHigh, std::size_t{kPixelsWide} * 4);
      renderSeconds_ += mainThreadSeconds() - before;
      ++renders_;
    }
  }

  std::uint64_t renders() const { return renders_; }
  double renderSeconds() const { return renderSeconds_; }

 private:
  static constexpr std::uint32_t kPixelsWide = static_cast<std::uint32_t>(kWidth);
  static constexpr std::uint32_t kPixelsHigh = static_cast<std::uint32_t>(kHeight);

  std::shared_ptr<platform::Window> window_ = std::make_shared<platform::Window>(platform::Rect(0, 0, kWidth, kHeight));
  std::shared_ptr<platform::ViewController> root_ = std::make_shared<platform::ViewController>();
  std::shared_ptr<OVHostDisplay> display_;
  std::vector<std::uint8_t> pixels_ = std::vector<std::uint8_t>(std::size_t{kPixelsWide} * kPixelsHigh * 4);
  std::uint64_t renders_ = 0;
  double renderSeconds_ = 0;
};

// What a turn measured over the span: the CPU of the process, of its
// rasterizer threads, of the main thread and of the main thread's renders
// of the window, and how many renders there were.
struct Span {
  double cpuSeconds = 0;
  double rasterizerSeconds = 0;
  double mainThreadSeconds = 0;
  double renderSeconds = 0;
  std::uint64_t renders = 0;
};

Span measure(Screen& screen) {
  screen.run(kWarmUpSeconds);
  const std::uint64_t rendersBefore = screen.renders();
  const double renderBefore = screen.renderSeconds();
  const double rasterizerBefore = bench::rasterizerSeconds();
  const double mainBefore = mainThreadSeconds();
  const double before = processSeconds();
  screen.run(kSpanSeconds);
  Span span;
  span.cpuSeconds = processSeconds() - before;
  span.mainThreadSeconds = mainThreadSeconds() - mainBefore;
  span.rasterizerSeconds = bench::rasterizerSeconds() - rasterizerBefore;
  span.renderSeconds = screen.renderSeconds() - renderBefore;
  span.renders = screen.renders() - rendersBefore;
  return span;
}

// One turn of the engine alone: its player and layer, the layer's view
// filling the window.
std::optional<Span> bareEngineTurn() {
  Screen screen;
  std::optional<Span> span;
  {
    auto view = OVAdVideoPlayerView::initWithFrame(platform::Rect(0, 0, kWidth, kHeight));
    const auto layer = std::dynamic_pointer_cast<QNVPlayerLayer>(view->playerLayer());
    if (!layer) return std::nullopt;
    screen.window()->addSubview(view);
    auto player = QNVPlayer::initWithDisplayEngine(layer);
    auto asset = QNVLocalMp4Asset::initWithLocalURL(*platform::URL::fromFilePath(kClipPath), false, false, {});
    const auto loaded = std::make_shared<std::atomic<bool>>(false);
    asset->loadValuesAsynchronouslyForKeys({"duration"}, [loaded] { *loaded = true; });
    if (!platform::MainLoop::instance().runUntil([&] { return loaded->load(); }, kWaitSeconds)) return std::nullopt;
    player->replaceCurrentItemWithPlayerItem(asset);
    view->setPlayer(player);
    settle();
    player->play();
    settle();
    span = measure(screen);
    player->pause();
    settle();
    view->removeFromSuperview();
  }
  drainRenderingThread();
  return span;
}

class PlayDelegate final : public OVMediaViewDelegate {
 public:
  void mediaViewVideoDidPlay(const std::shared_ptr<OVMediaView>&) override { playing = true; }
  void mediaViewVideoDidComplete(const std::shared_ptr<OVMediaView>&) override { completed = true; }
  bool playing = false;
  bool completed = false;
};

// A native ad whose video is the clip under a new name, with autoplay.
std::shared_ptr<OVNativeAd> videoAd(int turn) {
  const std::string json = R"({"ct":"ct-native-video","title":"Native video","call_to_action":"Install",)"
                           R"("image":{"url":")" + server().url(std::string(kCoverRoute).substr(1)) +
                           R"(","width":128,"height":72},)"
                           R"("video_url":")" + server().url("media/clip-" + std::to_string(turn) + ".mp4") +
                           R"(","video_autoplay_enabled":true,"ovad_command":"ovad://close"})";
  const auto data = OVAdUtility::getObjectFromJSONString(json);
  if (!data) return nullptr;
  auto ad = OVNativeAd::init();
  ad->populateFromDataModel(OVNativeAdDataModel::initWithMetadata(*data), nullptr, {}, {}, {});
  return ad;
}

// One turn of the media view: the ad's video fetched and playing on its
// own (autoplay once viewable) before the span.
std::optional<Span> mediaViewTurn() {
  static int turn = 0;
  Screen screen;
  std::optional<Span> span;
  {
    const auto ad = videoAd(++turn);
    if (!ad) return std::nullopt;
    const auto delegate = std::make_shared<PlayDelegate>();
    auto view = OVMediaView::init();
    view->setDelegate(delegate);
    screen.window()->addSubview(view);
    view->setFrame(platform::Rect(0, 0, kWidth, kHeight));
    view->setNativeAd(ad);
    if (!platform::MainLoop::instance().runUntil([&] { return delegate->playing; }, kWaitSeconds)) {
      return std::nullopt;
    }
    span = measure(screen);
    if (delegate->completed) span.reset();
    view->removeFromSuperview();
  }
  settle();
  drainRenderingThread();
  return span;
}

void report(benchmark::State& state, const std::vector<Span>& spans) {
  const auto turns = static_cast<double>(std::max<std::size_t>(spans.size(), 1));
  double cpu = 0;
  double rasterizer = 0;
  double main = 0;
  double render = 0;
  double renders = 0;
  for (const Span& span : spans) {
    cpu += span.cpuSeconds;
    rasterizer += span.rasterizerSeconds;
    main += span.mainThreadSeconds;
    render += span.renderSeconds;
    renders += static_cast<double>(span.renders);
  }
  state.counters["cpu_ms"] = benchmark::Counter(cpu * 1e3 / turns);
  state.counters["raster_ms"] = benchmark::Counter(rasterizer * 1e3 / turns);
  state.counters["main_ms"] = benchmark::Counter(main * 1e3 / turns);
  state.counters["render_ms"] = benchmark::Counter(render * 1e3 / turns);
  state.counters["renders"] = benchmark::Counter(renders / turns);
}

template <typename Turn>
void runTurns(benchmark::State& state, Turn turn) {
  prepareProcess();
  std::vector<Span> spans;
  for (auto _ : state) {
    const std::optional<Span> span = turn();
    if (!span) {
      state.SkipWithError("the video did not play through the span");
      break;
    }
    spans.push_back(*span);
    state.SetIterationTime(span->cpuSeconds);
  }
  report(state, spans);
}

void BM_BareEngine(benchmark::State& state) { runTurns(state, bareEngineTurn); }
BENCHMARK(BM_BareEngine)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(kTurns);

void BM_MediaView(benchmark::State& state) { runTurns(state, mediaViewTurn); }
BENCHMARK(BM_MediaView)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(kTurns);

// The console table, and each benchmark's span CPU kept for the ratio: the
// median of its turns.
class RatioReporter final : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const auto cpu = run.counters.find("cpu_ms");
      const auto raster = run.counters.find("raster_ms");
      const auto main = run.counters.find("main_ms");
      if (cpu == run.counters.end() || raster == run.counters.end() || main == run.counters.end()) continue;
      figures_.record(run, run.run_name.function_name, cpu->second.value);
      figures_.record(run, run.run_name.function_name + kWithoutRasterizer, cpu->second.value - raster->second.value);
      figures_.record(run, run.run_name.function_name + kMainThread, main->second.value);
    }
  }

  void printRatios() {
    const double bare = figures_.median("BM_BareEngine");
    const double media = figures_.median("BM_MediaView");
    const double bareAlone = figures_.median(std::string("BM_BareEngine") + kWithoutRasterizer);
    const double mediaAlone = figures_.median(std::string("BM_MediaView") + kWithoutRasterizer);
    if (bare <= 0 || media <= 0) return;
    std::printf("%-58s %5.3f  (%.0f ms / %.0f ms CPU in %.0f s, goal at most %.2f: %s)\n",
                "media view with controls / bare engine", media / bare, media, bare, kSpanSeconds, kGoal,
                media / bare <= kGoal ? "met" : "missed");
    if (bareAlone > 0 && mediaAlone > 0) {
      std::printf("%-58s %5.3f  (%.0f ms / %.0f ms CPU)\n", "the same, rasterizer apart", mediaAlone / bareAlone,
                  mediaAlone, bareAlone);
    }
    const double bareMain = figures_.median(std::string("BM_BareEngine") + kMainThread);
    const double mediaMain = figures_.median(std::string("BM_MediaView") + kMainThread);
    if (bareMain > 0 && mediaMain > 0) {
      std::printf("%-58s %+5.0f ms  (%.0f ms / %.0f ms CPU, %.1f%% of the bare engine's process)\n",
                  "the media view's main thread beyond the bare engine's", mediaMain - bareMain, mediaMain, bareMain,
                  (mediaMain - bareMain) / bare * 100);
    }
  }

 private:
  static constexpr const char* kWithoutRasterizer = "/without rasterizer";
  static constexpr const char* kMainThread = "/main thread";

  bench::BenchMedians figures_;
};

}  // namespace

int main(int argc, char** argv) {
  // The turns of both benchmarks interleave unless the command line chose.
  std::vector<char*> arguments(argv, argv + argc);
  const bool chosen = std::any_of(arguments.begin(), arguments.end(), [](const char* argument) {
    return std::strstr(argument, "random_interleaving") != nullptr;
  });
  std::string interleave = kInterleaveFlag;
  if (!chosen) arguments.push_back(interleave.data());
  int count = static_cast<int>(arguments.size());
  benchmark::Initialize(&count, arguments.data());
  if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  reporter.printRatios();
  benchmark::Shutdown();
  return 0;
}
