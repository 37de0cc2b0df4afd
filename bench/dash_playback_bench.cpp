// What DASH playback costs, on the manual clock, with the presentations
// served by the loopback test server in a child process of its own (its
// threads' processor time and memory never count as this process's):
//   BM_DashAgainstLocalMp4  a 60-second 720p on-demand presentation played
//                           through the DASH asset, the player and the layer
//                           on its rendering thread, the clock moved one
//                           display tick at a time as fast as the engine
//                           keeps up, and the same frames as one MP4 file
//                           through the local asset, each played to its end
//                           in turn; counters: each one's whole-process
//                           processor time (user and system of every
//                           thread) from the asset's creation to the end,
//                           and their ratio (dash_over_mp4)
//   BM_LiveTenMinutes       ten minutes of a live presentation (one-second
//                           segments, a ten-second window, 320x180) on the
//                           manual clock, as fast as the downloads allow;
//                           counters: this process's heap in use and
//                           resident memory after 1, 5 and 10 minutes (MB),
//                           the growth from 5 to 10 minutes as MB per hour,
//                           and the seconds played (run it alone:
//                           --benchmark_filter=Live)
// After the table: the DASH playback's processor time as a multiple of the
// local file's (goal at most 1.1x) and the live playback's growth (goal
// flat: under 1 MB per hour each), from the medians when repeated.
//
// The media are made at build time (scripts/make-bench-dash-media.sh): the
// presentation is the MP4 file's stream copied into two-second segments.
#include <benchmark/benchmark.h>

#include <sys/mman.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "BenchMedians.h"
#include "BenchMemory.h"
#include "BenchProcess.h"
#include "BenchServerProcess.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/URL.h"
#include "server/OVAdURLSession.h"
#include "testserver/DashLiveManifest.h"
#include "testserver/DashLiveSegments.h"
#include "testserver/RangeFile.h"
#include "testserver/TestServer.h"
#include "util/OVAdResourceLoader.h"
#include "util/qnv/asset/QNVLocalMp4Asset.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/dash/QNVDashAsset.h"
#include "util/qnv/player/QNVPlayer.h"
#include "util/qnv/player/QNVSynchronousPlayer.h"
#include "util/qnv/render/QNVPlayerLayer.h"

namespace {

using namespace plexora;
namespace fs = std::filesystem;

constexpr const char* kMediaDirectory = PLEXORA_DASH_BENCH_MEDIA;
constexpr const char* kClipName = "clip_720p_60s.mp4";
constexpr const char* kVodFolder = "vod";
constexpr const char* kLiveFolder = "live";
constexpr const char* kManifestName = "manifest.mpd";
constexpr const char* kInitName = "init-0.m4s";
// Paths on the server, after its base URL (which ends in "/").
constexpr const char* kVodPath = "vod/";
constexpr const char* kLiveManifestPath = "live/manifest.mpd";
constexpr const char* kLiveSegmentsPath = "live/v1/";
constexpr const char* kLiveRepresentation = "v1";
constexpr uint32_t kLiveBandwidth = 400'000;
constexpr const char* kResourceType = "dash-video";
constexpr double kWidth = 1280;
constexpr double kHeight = 720;
constexpr double kLiveWidth = 320;
constexpr double kLiveHeight = 180;
constexpr double kTick = 1.0 / 60.0;
constexpr double kLiveTick = 1.0 / 30.0;
// Where the manual clock starts, seconds since 1970; the live presentation
// began a little before.
constexpr double kClockStart = 1.7e9;
constexpr double kLiveStartedBefore = 20;
constexpr double kFirstMinuteSeconds = 60;
constexpr double kFiveMinutesSeconds = 300;
constexpr double kTenMinutesSeconds = 600;
constexpr double kSecondsPerHour = 3600;
constexpr auto kGiveUp = std::chrono::seconds(60);
constexpr auto kPlaybackGiveUp = std::chrono::minutes(10);
// Real time left to the downloads when a tick did not move the player on.
constexpr auto kStallWait = std::chrono::microseconds(500);
constexpr double kCpuGoal = 1.1;
constexpr double kGrowthGoalMegabytes = 1.0;

void settle() {
  QNVMediaStateQueue()->sync([] {});
  platform::DispatchQueue::settle();
}

std::string fileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::shared_ptr<const std::string> fileBytes(const fs::path& path) {
  return std::make_shared<const std::string>(fileText(path));
}

fs::path mediaPath(const char* name) { return fs::path(kMediaDirectory) / name; }

// Processor time of every thread of this process so far, in seconds.
double processSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& time) { return static_cast<double>(time.tv_sec) + time.tv_usec * 1e-6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The manual clock's wall time as the live server reads it: a page shared
// with the server's process, mapped before the fork, written here after
// every step of the clock.
std::atomic<double>& sharedWallTime() {
  static std::atomic<double>* shared = [] {
    void* page = ::mmap(nullptr, sizeof(std::atomic<double>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS,
                        -1, 0);
    if (page == MAP_FAILED) std::abort();
    return new (page) std::atomic<double>(kClockStart);
  }();
  return *shared;
}

testserver::DashLiveManifestOptions liveOptions() {
  testserver::DashLiveManifestOptions options;
  options.availabilityStartTime = kClockStart - kLiveStartedBefore;
  options.segmentSeconds = 1;
  options.timeShiftBufferSeconds = 10;
  options.minimumUpdatePeriodSeconds = 1;
  options.videoRepresentations = {{kLiveRepresentation, kLiveBandwidth}};
  options.withAudio = false;
  return options;
}

// The live source's segments in timeline order, and its track's timescale
// as its manifest gives it.
testserver::DashLiveSource liveSource() {
  const fs::path folder = mediaPath(kLiveFolder);
  testserver::DashLiveSource source;
  source.init = fileBytes(folder / kInitName);
  std::vector<std::pair<uint64_t, fs::path>> segments;
  const std::string prefix = "seg-0-";
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(prefix)) segments.emplace_back(std::stoull(name.substr(prefix.size())), entry.path());
  }
  std::sort(segments.begin(), segments.end());
  for (const auto& [time, path] : segments) source.segments.push_back(fileBytes(path));
  std::smatch timescale;
  const std::string manifest = fileText(folder / kManifestName);
  if (std::regex_search(manifest, timescale, std::regex("timescale=\"([0-9]+)\""))) {
    source.mediaTimescale = static_cast<uint32_t>(std::stoul(timescale[1]));
  }
  return source;
}

// The presentations' server: runs in the child process until this one ends.
template <typename Report>
void servePresentations(Report report) {
  testserver::TestServer server;
  server.start();
  for (const auto& entry : fs::directory_iterator(mediaPath(kVodFolder))) {
    server.on("/" + (kVodPath + entry.path().filename().string()), testserver::serveRangeFile(fileBytes(entry.path())));
  }
  const testserver::DashLiveManifestOptions options = liveOptions();
  server.on(std::string("/") + kLiveManifestPath, testserver::serveDashLiveManifest(options, [] { return sharedWallTime().load(); }));
  server.on(std::string("/") + kLiveSegmentsPath, testserver::serveDashLiveSegments(liveSource(), options), testserver::Match::Prefix);
  report(server.baseURL());
}

// The clock and the fetcher, shared by every benchmark.
struct Host {
  Host() {
    session = OVAdURLSession::create([](auto answer) { answer(std::string("dash-playback-bench")); });
    advance(OVAdURLSession::kUserAgentPollInterval);
    fetcher = OVAdResourceLoader::create(session);
    const auto deadline = std::chrono::steady_clock::now() + kGiveUp;
    while (!session->valid() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  void advance(double seconds) {
    clock->advance(seconds);
    sharedWallTime().store(clock->wallTime());
  }

  std::shared_ptr<QNVDashAsset> dashAsset(const std::string& path, const QNVDashAssetConfig& config) const {
    auto asset = QNVDashAsset::initWithConfig(config, "", platform::URL::parse(bench::serverProcess().baseURL + path),
                                              nullptr);
    asset->resourceLoader()->setDelegate(fetcher, platform::DispatchQueue::global(), std::string(kResourceType),
                                         std::nullopt, std::nullopt);
    return asset;
  }

  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>(kClockStart);
  platform::ScopedClock scopedClock{clock};
  std::shared_ptr<OVAdURLSession> session;
  std::shared_ptr<OVAdResourceLoader> fetcher;
};

Host& host() {
  static Host shared;
  return shared;
}

// A host's settings for on-demand playback: ten seconds fetched ahead, the
// highest representation.
QNVDashAssetConfig vodConfig() {
  QNVDashAssetConfig config;
  config.fetchBufferSizeInSeconds = 10.0;
  config.unstallBufferSizeInSeconds = 0.5;
  config.firstUnstallBufferSizeInSeconds = 0.5;
  config.stallBufferSizeInSeconds = 0.1;
  config.firstFetchSizeInSeconds = 1.0;
  config.abrSelectorType = kQNVAbrSelectorTypeHighest;
  return config;
}

// Live: three segments behind the edge.
QNVDashAssetConfig liveConfig() {
  QNVDashAssetConfig config = vodConfig();
  config.segmentsFromEndToStartPrefetch = 3;
  config.segmentsFromEndToStartUpdate = 3;
  return config;
}

// Loads the asset's duration, waiting until `deadline` at the most; answers
// whether it loaded.
template <class Asset>
bool loadDuration(Asset& asset, std::chrono::steady_clock::time_point deadline) {
  auto loaded = std::make_shared<std::atomic<bool>>(false);
  asset.loadValuesAsynchronouslyForKeys({"duration"}, [loaded] { loaded->store(true); });
  while (!loaded->load() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return loaded->load();
}

// A layer on its rendering thread and a player bound to it; taken down when
// it goes.
class Stage {
 public:
  explicit Stage(platform::Size size) {
    QNVPlayerLayerConfigs configs;
    configs.offMainThreadRendering = true;
    configs.allowPlayWhenInactive = true;
    layer_ = QNVPlayerLayer::initWithConfigs(configs);
    layer_->setBounds(platform::Rect({0, 0}, size));
    player_ = QNVPlayer::initWithDisplayEngine(layer_);
    // The GL context (and the rasterizer's threads) exist before playing.
    layer_->dispatchSyncOnRenderingThread([] {});
  }
  ~Stage() {
    platform::NotificationCenter::defaultCenter().removeObserver(endToken_);
    player_->pause();
    settle();
    player_.reset();
    settle();
    layer_->invalidate();
    layer_->dispatchSyncOnRenderingThread([] {});
    settle();
  }
  Stage(const Stage&) = delete;
  Stage& operator=(const Stage&) = delete;

  // Plays `item`, which posts its notifications as `sender`.
  void play(std::shared_ptr<QNVAssetForPlayer> item, const void* sender) {
    endToken_ = platform::NotificationCenter::defaultCenter().addObserver(
        kAVPlayerItemDidPlayToEndTimeNotification, sender, nullptr,
        [ended = ended_](const platform::Notification&) { ended->store(true); });
    player_->replaceCurrentItemWithPlayerItem(std::move(item));
    player_->play();
    settle();
  }

  // One step of the clock and the display tick it gave the rendering thread;
  // when the player's time stood still (its bytes still on their way), a
  // little real time for the downloads. False when the layer is gone.
  bool step(double tick) {
    const double before = player_->currentTime().seconds();
    host().advance(tick);
    if (!layer_->dispatchSyncOnRenderingThread([] {})) return false;
    if (player_->currentTime().seconds() == before) std::this_thread::sleep_for(kStallWait);
    return true;
  }

  // Plays on to the end, within `giveUp` of real time.
  bool playToTheEnd(std::chrono::steady_clock::time_point giveUp) {
    while (!ended_->load()) {
      if (std::chrono::steady_clock::now() > giveUp || !step(kTick)) return false;
    }
    return true;
  }

  QNVPlayer& player() { return *player_; }
  QNVPlayerLayer& layer() { return *layer_; }

 private:
  std::shared_ptr<QNVPlayerLayer> layer_;
  std::shared_ptr<QNVPlayer> player_;
  std::shared_ptr<std::atomic<bool>> ended_ = std::make_shared<std::atomic<bool>>(false);
  platform::NotificationCenter::ObserverToken endToken_ = 0;
};

struct PlayedLeg {
  bool ended = false;
  double cpuSeconds = 0;
  uint64_t frames = 0;
};

// One asset from its creation to its end on a new stage, the process's
// processor time counted over that span.
template <typename MakeAsset>
PlayedLeg playLeg(MakeAsset makeAsset) {
  Stage stage({kWidth, kHeight});
  const auto giveUp = std::chrono::steady_clock::now() + kPlaybackGiveUp;
  const double before = processSeconds();
  auto asset = makeAsset();
  PlayedLeg leg;
  if (!loadDuration(*asset, giveUp)) return leg;
  stage.play(asset, asset.get());
  leg.ended = stage.playToTheEnd(giveUp);
  leg.cpuSeconds = processSeconds() - before;
  leg.frames = stage.layer().framesDecompressed();
  QNVMediaStateQueue()->sync([&asset] { asset.reset(); });
  return leg;
}

void BM_DashAgainstLocalMp4(benchmark::State& state) {
  host();
  double dashSeconds = 0;
  double mp4Seconds = 0;
  uint64_t dashFrames = 0;
  uint64_t mp4Frames = 0;
  for (auto _ : state) {
    const PlayedLeg mp4 = playLeg([] {
      return QNVLocalMp4Asset::initWithLocalURL(*platform::URL::fromFilePath(mediaPath(kClipName).string()), false,
                                                false, {});
    });
    const PlayedLeg dash = playLeg([] { return host().dashAsset(std::string(kVodPath) + kManifestName, vodConfig()); });
    if (!mp4.ended || !dash.ended) {
      state.SkipWithError(mp4.ended ? "the DASH presentation did not play to its end"
                                    : "the MP4 file did not play to its end");
      break;
    }
    // The same frames, or the figures compare different work.
    if (dash.frames != mp4.frames) {
      state.SkipWithError("the DASH presentation and the MP4 file decoded different numbers of frames");
      break;
    }
    dashSeconds += dash.cpuSeconds;
    mp4Seconds += mp4.cpuSeconds;
    dashFrames += dash.frames;
    mp4Frames += mp4.frames;
  }
  const auto iterations = static_cast<double>(std::max<int64_t>(state.iterations(), 1));
  state.counters["dash_cpu_ms"] = dashSeconds * 1e3 / iterations;
  state.counters["mp4_cpu_ms"] = mp4Seconds * 1e3 / iterations;
  state.counters["dash_over_mp4"] = mp4Seconds > 0 ? dashSeconds / mp4Seconds : 0;
  state.counters["dash_frames"] = static_cast<double>(dashFrames) / iterations;
  state.counters["mp4_frames"] = static_cast<double>(mp4Frames) / iterations;
}
BENCHMARK(BM_DashAgainstLocalMp4)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->Iterations(3);

void BM_LiveTenMinutes(benchmark::State& state) {
  host();
  for (auto _ : state) {
    Stage stage({kLiveWidth, kLiveHeight});
    auto asset = host().dashAsset(kLiveManifestPath, liveConfig());
    const auto giveUp = std::chrono::steady_clock::now() + kPlaybackGiveUp;
    if (!loadDuration(*asset, giveUp)) {
      state.SkipWithError("the live manifest did not load");
      break;
    }
    stage.play(asset, asset.get());
    const double started = host().clock->monotonicTime();
    const double firstPlayed = stage.player().currentTime().seconds();
    std::optional<bench::MemoryReading> afterFirstMinute;
    std::optional<bench::MemoryReading> afterFiveMinutes;
    double elapsed = 0;
    while (elapsed < kTenMinutesSeconds && std::chrono::steady_clock::now() < giveUp) {
      if (!stage.step(kLiveTick)) break;
      elapsed = host().clock->monotonicTime() - started;
      if (!afterFirstMinute && elapsed >= kFirstMinuteSeconds) afterFirstMinute = bench::MemoryReading::now();
      if (!afterFiveMinutes && elapsed >= kFiveMinutesSeconds) afterFiveMinutes = bench::MemoryReading::now();
    }
    const bench::MemoryReading afterTenMinutes = bench::MemoryReading::now();
    const double played = stage.player().currentTime().seconds() - firstPlayed;
    const uint64_t frames = stage.layer().framesDecompressed();
    QNVMediaStateQueue()->sync([&asset] { asset.reset(); });
    if (elapsed < kTenMinutesSeconds || !afterFirstMinute || !afterFiveMinutes) {
      state.SkipWithError("ten minutes were not played in time");
      break;
    }
    const double perHour = kSecondsPerHour / (kTenMinutesSeconds - kFiveMinutesSeconds);
    state.counters["heap_1min_mb"] = afterFirstMinute->heap;
    state.counters["heap_5min_mb"] = afterFiveMinutes->heap;
    state.counters["heap_10min_mb"] = afterTenMinutes.heap;
    state.counters["rss_1min_mb"] = afterFirstMinute->resident;
    state.counters["rss_5min_mb"] = afterFiveMinutes->resident;
    state.counters["rss_10min_mb"] = afterTenMinutes.resident;
    state.counters["heap_growth_per_hour_mb"] = (afterTenMinutes.heap - afterFiveMinutes->heap) * perHour;
    state.counters["rss_growth_per_hour_mb"] = (afterTenMinutes.resident - afterFiveMinutes->resident) * perHour;
    state.counters["played_s"] = played;
    state.counters["frames"] = static_cast<double>(frames);
  }
}
BENCHMARK(BM_LiveTenMinutes)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

class GoalReporter final : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      for (const auto& [counter, value] : run.counters) {
        figures_.record(run, counter, value.value);
        seen_.insert(counter);
      }
    }
  }

  void printGoals() {
    if (seen_.contains("dash_over_mp4")) {
      const double ratio = figures_.median("dash_over_mp4");
      std::printf("%-52s %5.2fx  (%.0f ms / %.0f ms, goal at most %.1fx: %s)\n",
                  "whole-process CPU, DASH / local MP4 (720p, 60 s)", ratio, figures_.median("dash_cpu_ms"),
                  figures_.median("mp4_cpu_ms"), kCpuGoal, ratio <= kCpuGoal ? "met" : "missed");
    }
    printGrowth("live 10 minutes, heap in use growth", "heap_growth_per_hour_mb");
    printGrowth("live 10 minutes, resident memory growth", "rss_growth_per_hour_mb");
  }

 private:
  void printGrowth(const char* name, const char* counter) {
    if (!seen_.contains(counter)) return;
    const double growth = figures_.median(counter);
    std::printf("%-52s %+6.2f MB per hour  (goal under %.1f: %s)\n", name, growth, kGrowthGoalMegabytes,
                growth < kGrowthGoalMegabytes ? "met" : "missed");
  }

  bench::BenchMedians figures_;
  std::set<std::string> seen_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bench::useScratchDirectory("dash-playback-bench");
  // Before any thread of this process: the child is a copy of it, and the
  // wall-time page is shared with it.
  sharedWallTime();
  if (!bench::startServerProcess([](auto report) { servePresentations(report); })) {
    std::fprintf(stderr, "dash_playback_bench: the loopback server did not start\n");
    bench::stopServerProcess();
    return 1;
  }
  GoalReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  reporter.printGoals();
  benchmark::Shutdown();
  bench::stopServerProcess();
  return 0;
}
