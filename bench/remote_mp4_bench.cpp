// What playing a remote MP4 file costs against the tools that read one, on
// the same 720p file from the loopback test server, in wall time:
//   BM_RemoteFirstFrame   a new remote MP4 asset, player and layer: from the
//                         asset's creation to the first picture drawn
//   BM_FfmpegFirstFrame   `ffmpeg -i URL -frames:v 1 -f null -` on the URL
//   BM_LoaderDownload     the MP4 data loader fetching the whole file through
//                         the library's resource loader
//   BM_BareCurlDownload   libcurl alone downloading the same file to memory
//   BM_LoopingHour        an hour of playback time of a 2-second clip from
//                         the same server through the looping asset (a new
//                         remote asset each loop), the player with its audio
//                         and the layer, on the manual clock; counters: this
//                         process's heap in use and resident memory after
//                         the first minute, the half hour and the hour (MB),
//                         and each one's growth over the second half, as MB
//                         per hour of looping (the allocator settles in the
//                         first half; the second shows whether anything
//                         keeps growing), and the loops played (run it
//                         alone: --benchmark_filter=Hour)
// The loopback server runs in a child process, started before this process
// has any thread: its handler threads, their allocator arenas and its record
// of requests stay out of the player's figures.
// After the table: the first-frame time as a multiple of ffmpeg's (goal at
// most 1.0x), the loader's throughput as a share of libcurl's (goal at
// least 0.9x), from the medians when repeated, and the looping hour's heap
// and resident growth (goal under 1 MB per hour each).
//
// The clip is the video engine benchmark's (bench/CMakeLists.txt): ten
// seconds of 1280x720, High profile, about 2.5 Mbit/s, header first.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "BenchMedians.h"
#include "BenchMemory.h"
#include "BenchServerProcess.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "server/OVAdURLSession.h"
#include "testserver/RangeFile.h"
#include "testserver/TestServer.h"
#include "util/OVAdResourceLoader.h"
#include "util/qnv/asset/QNVAssetResourceLoader.h"
#include "util/qnv/audio/QNVAudioQueue.h"
#include "util/qnv/asset/QNVLoopingAsset.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/asset/QNVMp4Asset.h"
#include "util/qnv/asset/QNVMp4DataLoader.h"
#include "util/qnv/player/QNVPlayer.h"
#include "util/qnv/render/QNVPlayerLayer.h"

namespace {

using namespace plexora;

constexpr const char* kClipPath = PLEXORA_BENCH_CLIP;
constexpr const char* kClipName = "clip.mp4";
constexpr const char* kLoopClipPath = PLEXORA_LOOP_CLIP;
constexpr const char* kLoopClipName = "loop.mp4";
constexpr double kLoopWidth = 320;
constexpr double kLoopHeight = 180;
constexpr double kHourSeconds = 3600;
constexpr double kFirstMinuteSeconds = 60;
constexpr double kHalfHourSeconds = 1800;
constexpr double kWidth = 1280;
constexpr double kHeight = 720;
constexpr double kTick = 1.0 / 60.0;
constexpr auto kGiveUp = std::chrono::seconds(60);
constexpr double kGrowthGoalMegabytes = 1.0;

void settle() {
  QNVMediaStateQueue()->sync([] {});
  platform::DispatchQueue::settle();
}

std::shared_ptr<const std::string> fileBytes(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::make_shared<const std::string>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The clips' server: runs in the child process until this one ends.
template <typename Report>
void serveClips(Report report) {
  testserver::TestServer server;
  server.start();
  server.on(std::string("/") + kClipName, testserver::serveRangeFile(fileBytes(kClipPath)));
  server.on(std::string("/") + kLoopClipName, testserver::serveRangeFile(fileBytes(kLoopClipPath)));
  report(server.baseURL());
}

// The clock and the fetcher, shared by every benchmark, and the clips'
// addresses on the server's process.
struct Host {
  Host() {
    url = bench::serverProcess().baseURL + kClipName;
    loopUrl = bench::serverProcess().baseURL + kLoopClipName;
    session = OVAdURLSession::create([](auto answer) { answer(std::string("remote-mp4-bench")); });
    clock->advance(OVAdURLSession::kUserAgentPollInterval);
    fetcher = OVAdResourceLoader::create(session, {std::size_t{256} * 1024 * 1024, 60.0});
    const auto deadline = std::chrono::steady_clock::now() + kGiveUp;
    while (!session->valid() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  void install(QNVAssetResourceLoader& loader) const {
    loader.setDelegate(fetcher, platform::DispatchQueue::global(), std::nullopt, std::nullopt, std::nullopt);
  }

  // The clip the server serves, for its size.
  std::shared_ptr<const std::string> file = fileBytes(kClipPath);
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock{clock};
  std::string url;
  std::string loopUrl;
  std::shared_ptr<OVAdURLSession> session;
  std::shared_ptr<OVAdResourceLoader> fetcher;
};

Host& host() {
  static Host shared;
  return shared;
}

// Loads the asset's duration, waiting until `deadline` at the most.
template <class Asset>
void loadDuration(Asset& asset, std::chrono::steady_clock::time_point deadline) {
  std::atomic<bool> loaded{false};
  asset.loadValuesAsynchronouslyForKeys({"duration"}, [&loaded] { loaded = true; });
  while (!loaded.load() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

// Stops the player and lets it go, then takes the layer's rendering down.
void takeDown(std::shared_ptr<QNVPlayer>& player, const std::shared_ptr<QNVPlayerLayer>& layer) {
  player->pause();
  settle();
  player.reset();
  settle();
  layer->invalidate();
  layer->dispatchSyncOnRenderingThread([] {});
}

void BM_RemoteFirstFrame(benchmark::State& state) {
  Host& remote = host();
  for (auto _ : state) {
    state.PauseTiming();
    QNVPlayerLayerConfigs configs;
    configs.offMainThreadRendering = true;
    configs.allowPlayWhenInactive = true;
    auto layer = QNVPlayerLayer::initWithConfigs(configs);
    layer->setBounds(platform::Rect({0, 0}, {kWidth, kHeight}));
    layer->dispatchSyncOnRenderingThread([] {});
    auto player = QNVPlayer::initWithDisplayEngine(layer);
    state.ResumeTiming();

    auto asset = QNVMp4Asset::initWithURL(*platform::URL::parse(remote.url), 0, 0);
    remote.install(*asset->resourceLoader());
    const auto deadline = std::chrono::steady_clock::now() + kGiveUp;
    loadDuration(*asset, deadline);
    player->replaceCurrentItemWithPlayerItem(asset);
    player->play();
    settle();
    // The first display tick draws the first picture once it is decoded.
    while (layer->presentedImage() == nullptr && std::chrono::steady_clock::now() < deadline) {
      remote.clock->advance(layer->framesDecompressed() > 0 ? kTick : 0.0);
      layer->dispatchSyncOnRenderingThread([] {});
    }
    if (layer->presentedImage() == nullptr) {
      state.SkipWithError("no picture was drawn");
      break;
    }

    state.PauseTiming();
    takeDown(player, layer);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_RemoteFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_FfmpegFirstFrame(benchmark::State& state) {
  const std::string command =
      "ffmpeg -nostdin -hide_banner -loglevel error -i '" + host().url + "' -frames:v 1 -f null - >/dev/null 2>&1";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("ffmpeg failed");
      break;
    }
  }
}
BENCHMARK(BM_FfmpegFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// Counts the loader's answers until its request completes.
class Completion final : public QNVDataLoaderDelegate {
 public:
  void loadingDidFailWithError(const platform::Error&) override { failed = true; }
  void dataWasReceivedForTrack(QNVTrackIndex, bool isComplete) override {
    if (isComplete) complete = true;
  }
  void reportWarning(const platform::Error&) override {}
  std::atomic<bool> complete{false};
  std::atomic<bool> failed{false};
};

void BM_LoaderDownload(benchmark::State& state) {
  Host& remote = host();
  for (auto _ : state) {
    auto distributor = std::make_shared<QNVDataBlockDistributor>();
    auto loader = QNVMp4DataLoader::initWithUrl(*platform::URL::parse(remote.url), 0, distributor,
                                                QNVMediaStateQueue(), true);
    remote.install(*loader->resourceLoader());
    auto completion = std::make_shared<Completion>();
    loader->setDelegate(completion);
    QNVMediaStateQueue()->sync([&] { loader->fetchToOffset(remote.file->size(), kQNVVideoTrack); });
    const auto deadline = std::chrono::steady_clock::now() + kGiveUp;
    while (!completion->complete.load() && !completion->failed.load() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    if (!completion->complete.load()) {
      state.SkipWithError("the download did not complete");
      break;
    }
    QNVMediaStateQueue()->sync([] {});
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(remote.file->size()));
}
BENCHMARK(BM_LoaderDownload)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

size_t collect(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

void BM_BareCurlDownload(benchmark::State& state) {
  Host& remote = host();
  for (auto _ : state) {
    std::string body;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, remote.url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    const CURLcode result = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    if (result != CURLE_OK || body.size() != remote.file->size()) {
      state.SkipWithError("the download failed");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(remote.file->size()));
}
BENCHMARK(BM_BareCurlDownload)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void BM_LoopingHour(benchmark::State& state) {
  Host& remote = host();
  for (auto _ : state) {
    QNVPlayerLayerConfigs configs;
    configs.offMainThreadRendering = true;
    configs.allowPlayWhenInactive = true;
    auto layer = QNVPlayerLayer::initWithConfigs(configs);
    layer->setBounds(platform::Rect({0, 0}, {kLoopWidth, kLoopHeight}));
    auto player = QNVPlayer::initWithDisplayEngine(layer);
    auto looping = QNVLoopingAsset::initWithAssetBlock([&remote] {
      auto asset = QNVMp4Asset::initWithURL(*platform::URL::parse(remote.loopUrl), 0, 0);
      remote.install(*asset->resourceLoader());
      return asset;
    });
    loadDuration(*looping, std::chrono::steady_clock::now() + kGiveUp);
    player->replaceCurrentItemWithPlayerItem(looping);
    auto audio = QNVAudioQueue::create();
    player->setAudioEngine(audio);
    player->setMuted(false);
    player->play();
    settle();

    std::optional<bench::MemoryReading> afterFirstMinute;
    std::optional<bench::MemoryReading> afterHalfHour;
    double played = 0;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(30);
    while (played < kHourSeconds && std::chrono::steady_clock::now() < giveUp) {
      // A stalled download holds the player still: the clock goes on, the
      // playback time waits for the bytes.
      remote.clock->advance(kTick);
      layer->dispatchSyncOnRenderingThread([] {});
      played = player->currentTime().seconds();
      if (!afterFirstMinute && played >= kFirstMinuteSeconds) afterFirstMinute = bench::MemoryReading::now();
      if (!afterHalfHour && played >= kHalfHourSeconds) afterHalfHour = bench::MemoryReading::now();
    }
    const bench::MemoryReading afterHour = bench::MemoryReading::now();
    if (played < kHourSeconds || !afterFirstMinute || !afterHalfHour) {
      state.SkipWithError("the hour was not played within 30 minutes");
      break;
    }
    // The second half's growth, twice over: per hour of looping.
    const double halvesPerHour = kHourSeconds / (kHourSeconds - kHalfHourSeconds);
    state.counters["heap_1min_mb"] = afterFirstMinute->heap;
    state.counters["heap_30min_mb"] = afterHalfHour->heap;
    state.counters["heap_1h_mb"] = afterHour.heap;
    state.counters["rss_1min_mb"] = afterFirstMinute->resident;
    state.counters["rss_30min_mb"] = afterHalfHour->resident;
    state.counters["rss_1h_mb"] = afterHour.resident;
    state.counters["heap_growth_per_hour_mb"] = (afterHour.heap - afterHalfHour->heap) * halvesPerHour;
    state.counters["rss_growth_per_hour_mb"] = (afterHour.resident - afterHalfHour->resident) * halvesPerHour;
    state.counters["loops"] = static_cast<double>(looping->currentLoopCount());
    state.counters["frames"] = static_cast<double>(layer->framesDecompressed());

    takeDown(player, layer);
  }
}
BENCHMARK(BM_LoopingHour)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

class RatioReporter final : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      figures_.record(run, run.run_name.function_name, run.GetAdjustedRealTime());
      for (const auto& [counter, value] : run.counters) {
        if (!counter.ends_with("_per_hour_mb")) continue;
        figures_.record(run, counter, value.value);
        growths_.insert(counter);
      }
    }
  }
  void printRatios() {
    const double engine = figures_.median("BM_RemoteFirstFrame");
    const double ffmpeg = figures_.median("BM_FfmpegFirstFrame");
    const double loader = figures_.median("BM_LoaderDownload");
    const double curl = figures_.median("BM_BareCurlDownload");
    if (engine > 0 && ffmpeg > 0) {
      std::printf("%-58s %5.2fx  (%.1f ms / %.1f ms, goal at most 1.0x: %s)\n",
                  "first drawn frame, remote asset / ffmpeg", engine / ffmpeg, engine, ffmpeg,
                  engine <= ffmpeg ? "met" : "missed");
    }
    if (loader > 0 && curl > 0) {
      // Throughput is the inverse of the time for the same bytes.
      std::printf("%-58s %5.2fx  (%.1f ms / %.1f ms, goal at least 0.9x: %s)\n",
                  "download throughput, data loader / bare libcurl", curl / loader, loader, curl,
                  curl / loader >= 0.9 ? "met" : "missed");
    }
    printGrowth("looping hour, player heap in use growth", "heap_growth_per_hour_mb");
    printGrowth("looping hour, player resident memory growth", "rss_growth_per_hour_mb");
  }

 private:
  void printGrowth(const char* name, const char* counter) {
    if (!growths_.contains(counter)) return;
    const double growth = figures_.median(counter);
    std::printf("%-58s %+5.2f MB per hour  (goal under %.1f: %s)\n", name, growth, kGrowthGoalMegabytes,
                growth < kGrowthGoalMegabytes ? "met" : "missed");
  }

  bench::BenchMedians figures_;
  std::set<std::string> growths_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // Before any thread of this process: the child is a copy of it.
  if (!bench::startServerProcess([](auto report) { serveClips(report); })) {
    std::fprintf(stderr, "remote_mp4_bench: the loopback server did not start\n");
    bench::stopServerProcess();
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  reporter.printRatios();
  benchmark::Shutdown();
  bench::stopServerProcess();
  return 0;
}
