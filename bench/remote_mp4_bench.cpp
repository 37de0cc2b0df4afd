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
//                         and the layer, on the manual clock; counters: the
//                         resident memory after the first minute, the half
//                         hour and the hour (MB), the growth in each half
//                         (the allocator's arenas settle in the first; the
//                         second shows whether anything keeps growing) and
//                         the loops played (run it alone:
//                         --benchmark_filter=Hour); the harness's own
//                         memory is kept out of it: the test server's
//                         handler threads take their allocator arenas
//                         before the first reading, and its record of
//                         requests is emptied every minute of playback
// After the table: the first-frame time as a multiple of ffmpeg's (goal at
// most 1.0x) and the loader's throughput as a share of libcurl's (goal at
// least 0.9x), from the medians when repeated.
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
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "BenchMedians.h"
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
constexpr const char* kWarmPath = "warm";
// More than the test server has handler threads, each held long enough
// that every thread serves one.
constexpr int kWarmRequests = 128;
constexpr auto kWarmDelay = std::chrono::milliseconds(300);
constexpr int kTicksPerMinute = 3600;

void settle() {
  QNVMediaStateQueue()->sync([] {});
  platform::DispatchQueue::settle();
}

// The server, the clock and the fetcher, shared by every benchmark.
struct Host {
  Host() {
    std::ifstream in(kClipPath, std::ios::binary);
    file = std::make_shared<const std::string>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    server.start();
    server.on(std::string("/") + kClipName, testserver::serveRangeFile(file));
    url = server.url(kClipName);
    std::ifstream loopIn(kLoopClipPath, std::ios::binary);
    server.on(std::string("/") + kLoopClipName,
              testserver::serveRangeFile(std::make_shared<const std::string>(
                  std::istreambuf_iterator<char>(loopIn), std::istreambuf_iterator<char>())));
    loopUrl = server.url(kLoopClipName);
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

  std::shared_ptr<const std::string> file;
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock{clock};
  testserver::TestServer server;
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

// This process's resident memory in megabytes.
double residentMegabytes() {
  std::ifstream statm("/proc/self/statm");
  uint64_t pages = 0;
  uint64_t resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

size_t discard(char*, size_t size, size_t count, void*) { return size * count; }

// Each handler thread of the test server takes an allocator arena of its own
// on the first request it serves, and the server closes a connection every
// few requests, so new threads keep coming in: left alone, the harness's
// arenas would count as the player's growth. All of them serve one slow
// request at once here, before any reading.
void warmServerThreads(Host& remote) {
  remote.server.on(kWarmPath, testserver::Response::text(200, "ok", kWarmDelay));
  const std::string url = remote.server.url(kWarmPath);
  CURLM* multi = curl_multi_init();
  std::vector<CURL*> requests;
  for (int i = 0; i < kWarmRequests; ++i) {
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard);
    curl_multi_add_handle(multi, curl);
    requests.push_back(curl);
  }
  int running = 0;
  do {
    curl_multi_perform(multi, &running);
    if (running > 0) curl_multi_poll(multi, nullptr, 0, 100, nullptr);
  } while (running > 0);
  for (CURL* curl : requests) {
    curl_multi_remove_handle(multi, curl);
    curl_easy_cleanup(curl);
  }
  curl_multi_cleanup(multi);
  remote.server.clearRequests();
}

void BM_LoopingHour(benchmark::State& state) {
  Host& remote = host();
  warmServerThreads(remote);
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

    double afterFirstMinute = 0;
    double afterHalfHour = 0;
    double played = 0;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(30);
    int ticks = 0;
    while (played < kHourSeconds && std::chrono::steady_clock::now() < giveUp) {
      // The server records every request it answers: the harness's memory.
      if (++ticks % kTicksPerMinute == 0) remote.server.clearRequests();
      // A stalled download holds the player still: the clock goes on, the
      // playback time waits for the bytes.
      remote.clock->advance(kTick);
      layer->dispatchSyncOnRenderingThread([] {});
      played = player->currentTime().seconds();
      if (afterFirstMinute == 0 && played >= kFirstMinuteSeconds) afterFirstMinute = residentMegabytes();
      if (afterHalfHour == 0 && played >= kHalfHourSeconds) afterHalfHour = residentMegabytes();
    }
    const double afterHour = residentMegabytes();
    if (played < kHourSeconds) state.SkipWithError("the hour was not played within 30 minutes");
    state.counters["rss_1min_mb"] = afterFirstMinute;
    state.counters["rss_30min_mb"] = afterHalfHour;
    state.counters["rss_1h_mb"] = afterHour;
    state.counters["growth_first_half_mb"] = afterHalfHour - afterFirstMinute;
    state.counters["growth_second_half_mb"] = afterHour - afterHalfHour;
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
      if (!run.error_occurred) figures_.record(run, run.run_name.function_name, run.GetAdjustedRealTime());
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
  }

 private:
  bench::BenchMedians figures_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  reporter.printRatios();
  benchmark::Shutdown();
  return 0;
}
