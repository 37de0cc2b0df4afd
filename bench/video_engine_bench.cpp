// What the video engine costs against decoding alone, in CPU time of the
// whole process (every thread: decoder, media-state queue, rendering thread
// and the GL driver's own):
//   BM_EnginePlayback  a 10-second 720p H.264 clip played through the player
//                      facade, the player layer on its rendering thread and
//                      the local MP4 asset, the manual clock moved one
//                      display tick at a time as fast as the engine keeps
//                      up: read, decode, draw and present every frame.
//                      Played at the clip's own size and in a 320x180 ad
//                      slot, each as the layer chooses to draw (on the CPU
//                      where GL is a software rasteriser) and with GL forced
//   BM_BareDecode      libavcodec alone decoding the same stream's packets,
//                      already in memory, with the engine decoder's settings
// After the table: each playback's whole-process CPU as a multiple of the
// bare decode's, from the medians when repeated. Without a GPU, the GL
// driver is Mesa's software rasteriser, whose threads ("llvmpipe-N") do
// what a GPU would: shading every pixel of every frame. Their share is
// counted in the multiple and also shown apart ("raster_ms").
//
// The clip is made at build time (bench/CMakeLists.txt): 1280x720 at 30
// frames a second, High profile with B-frames, about 2.5 Mbit/s.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "BenchMedians.h"
#include "BenchProcess.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/URL.h"
#include "util/qnv/asset/QNVLocalMp4Asset.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/player/QNVPlayer.h"
#include "util/qnv/player/QNVSynchronousPlayer.h"
#include "util/qnv/render/QNVPlayerLayerPolicies.h"

namespace {

using namespace plexora;

constexpr const char* kClipPath = PLEXORA_BENCH_CLIP;
constexpr double kTick = 1.0 / 60.0;

void settle() {
  QNVMediaStateQueue()->sync([] {});
  platform::DispatchQueue::settle();
}

// The clip's video packets as the file holds them, and the decoder's
// configuration, read once with libavformat.
struct Stream {
  AVCodecParameters* parameters = nullptr;
  std::vector<AVPacket*> packets;

  Stream() {
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, kClipPath, nullptr, nullptr) < 0) return;
    if (avformat_find_stream_info(format, nullptr) >= 0) {
      const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
      if (index >= 0) {
        parameters = avcodec_parameters_alloc();
        avcodec_parameters_copy(parameters, format->streams[index]->codecpar);
        AVPacket* packet = av_packet_alloc();
        while (av_read_frame(format, packet) >= 0) {
          if (packet->stream_index == index) {
            packets.push_back(av_packet_clone(packet));
          }
          av_packet_unref(packet);
        }
        av_packet_free(&packet);
      }
    }
    avformat_close_input(&format);
  }
  ~Stream() {
    for (AVPacket*& packet : packets) av_packet_free(&packet);
    avcodec_parameters_free(&parameters);
  }
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
};

const Stream& stream() {
  static const Stream shared;
  return shared;
}

void BM_BareDecode(benchmark::State& state) {
  const Stream& clip = stream();
  if (clip.parameters == nullptr || clip.packets.empty()) {
    state.SkipWithError("the clip could not be read");
    return;
  }
  av_log_set_level(AV_LOG_QUIET);
  const AVCodec* decoder = avcodec_find_decoder(AV_CODEC_ID_H264);
  AVFrame* frame = av_frame_alloc();
  int64_t pictures = 0;
  for (auto _ : state) {
    AVCodecContext* codec = avcodec_alloc_context3(decoder);
    avcodec_parameters_to_context(codec, clip.parameters);
    // One thread, as the engine's decoder runs.
    codec->thread_count = 1;
    if (avcodec_open2(codec, decoder, nullptr) < 0) {
      state.SkipWithError("the decoder did not open");
      avcodec_free_context(&codec);
      break;
    }
    auto drain = [&] {
      while (avcodec_receive_frame(codec, frame) == 0) {
        ++pictures;
        av_frame_unref(frame);
      }
    };
    for (const AVPacket* packet : clip.packets) {
      avcodec_send_packet(codec, packet);
      drain();
    }
    avcodec_send_packet(codec, nullptr);
    drain();
    avcodec_free_context(&codec);
  }
  av_frame_free(&frame);
  state.counters["frames"] =
      benchmark::Counter(static_cast<double>(pictures) / static_cast<double>(std::max<int64_t>(state.iterations(), 1)));
}
BENCHMARK(BM_BareDecode)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->Iterations(3);

// One playback of the clip from a new layer, player and asset.
class Playback {
 public:
  Playback(platform::Size size, QNVDrawingChoice drawing) {
    QNVPlayerLayerConfigs configs;
    configs.offMainThreadRendering = true;
    configs.allowPlayWhenInactive = true;
    configs.drawing = drawing;
    layer_ = QNVPlayerLayer::initWithConfigs(configs);
    layer_->setBounds(platform::Rect({0, 0}, size));
    player_ = QNVPlayer::initWithDisplayEngine(layer_);
    asset_ = QNVLocalMp4Asset::initWithLocalURL(*platform::URL::fromFilePath(kClipPath), false, false, {});
    asset_->loadValuesAsynchronouslyForKeys({"duration"}, [] {});
    endToken_ = platform::NotificationCenter::defaultCenter().addObserver(
        kAVPlayerItemDidPlayToEndTimeNotification, asset_.get(), nullptr,
        [this](const platform::Notification&) { ended_ = true; });
    player_->replaceCurrentItemWithPlayerItem(asset_);
    settle();
    // The GL context (and the rasterizer's threads) exist before playing.
    layer_->dispatchSyncOnRenderingThread([] {});
  }

  ~Playback() {
    platform::NotificationCenter::defaultCenter().removeObserver(endToken_);
    player_->pause();
    settle();
    player_.reset();
    settle();
    layer_->invalidate();
    layer_->dispatchSyncOnRenderingThread([] {});
    settle();
  }
  Playback(const Playback&) = delete;
  Playback& operator=(const Playback&) = delete;

  // Plays to the end, one display tick at a time; answers whether it got
  // there.
  bool play() {
    const double rasterizerBefore = bench::rasterizerSeconds();
    const bool ended = playToTheEnd();
    rasterizerSeconds_ = bench::rasterizerSeconds() - rasterizerBefore;
    return ended;
  }

  uint64_t framesDecompressed() const { return layer_->framesDecompressed(); }
  uint64_t staleFrames() const { return layer_->staleFrameCount(); }
  double rasterizerSecondsOfPlay() const { return rasterizerSeconds_; }

 private:
  bool playToTheEnd() {
    player_->play();
    settle();
    const double duration = asset_->duration().seconds();
    for (int tick = 0; !ended_.load(); ++tick) {
      if (tick * kTick > duration + 1.0) return false;
      // The clock settles the queues itself; the display tick it handed the
      // rendering thread is waited for here.
      clock_->advance(kTick);
      if (!layer_->dispatchSyncOnRenderingThread([] {})) return false;
    }
    return true;
  }

  std::shared_ptr<platform::ManualClock> clock_ = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock_{clock_};
  std::shared_ptr<QNVPlayerLayer> layer_;
  std::shared_ptr<QNVPlayer> player_;
  std::shared_ptr<QNVLocalMp4Asset> asset_;
  platform::NotificationCenter::ObserverToken endToken_ = 0;
  std::atomic<bool> ended_{false};
  double rasterizerSeconds_ = 0;
};

void BM_EnginePlayback(benchmark::State& state, platform::Size size, QNVDrawingChoice drawing) {
  uint64_t frames = 0;
  uint64_t stale = 0;
  double rasterizer = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto playback = std::make_unique<Playback>(size, drawing);
    state.ResumeTiming();
    if (!playback->play()) {
      state.SkipWithError("the clip did not play to its end");
      break;
    }
    state.PauseTiming();
    frames += playback->framesDecompressed();
    stale += playback->staleFrames();
    rasterizer += playback->rasterizerSecondsOfPlay();
    playback.reset();
    state.ResumeTiming();
  }
  const auto iterations = static_cast<double>(std::max<int64_t>(state.iterations(), 1));
  state.counters["frames"] = benchmark::Counter(static_cast<double>(frames) / iterations);
  state.counters["stale"] = benchmark::Counter(static_cast<double>(stale) / iterations);
  state.counters["raster_ms"] = benchmark::Counter(rasterizer * 1e3 / iterations);
}
constexpr platform::Size kOwnSize{1280, 720};
constexpr platform::Size kAdSlot{320, 180};
BENCHMARK_CAPTURE(BM_EnginePlayback, own_size, kOwnSize, QNVDrawingChoice::kAutomatic)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_EnginePlayback, ad_slot, kAdSlot, QNVDrawingChoice::kAutomatic)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_EnginePlayback, own_size_gl, kOwnSize, QNVDrawingChoice::kGL)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_EnginePlayback, ad_slot_gl, kAdSlot, QNVDrawingChoice::kGL)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Iterations(3);

// The console table, and each benchmark's CPU time kept for the multiples:
// the median of its repetitions.
class ShareReporter final : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      figures_.record(run, run.run_name.function_name, run.GetAdjustedCPUTime());
    }
  }

  void printShares() {
    const double decode = figures_.median("BM_BareDecode");
    if (decode <= 0) return;
    struct Playback {
      const char* name;
      const char* label;
      bool hasGoal;
    };
    const Playback playbacks[] = {
        {"BM_EnginePlayback/own_size", "1280x720, drawn as the layer chooses", true},
        {"BM_EnginePlayback/ad_slot", "320x180 ad slot, drawn as the layer chooses", true},
        {"BM_EnginePlayback/own_size_gl", "1280x720, GL forced", false},
        {"BM_EnginePlayback/ad_slot_gl", "320x180 ad slot, GL forced", false},
    };
    for (const Playback& playback : playbacks) {
      const double engine = figures_.median(playback.name);
      if (engine <= 0) continue;
      const double multiple = engine / decode;
      std::printf("whole-process CPU / bare decode, %-44s %5.2fx  (%.0f ms / %.0f ms)", playback.label, multiple,
                  engine, decode);
      if (playback.hasGoal) std::printf("  goal at most %.1fx: %s", kGoal, multiple <= kGoal ? "met" : "missed");
      std::printf("\n");
    }
  }

 private:
  static constexpr double kGoal = 1.3;

  bench::BenchMedians figures_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  ShareReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  reporter.printShares();
  benchmark::Shutdown();
  return 0;
}
