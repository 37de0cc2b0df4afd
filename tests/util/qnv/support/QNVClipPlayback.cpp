#include "util/qnv/support/QNVClipPlayback.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/URL.h"
#include "support/PostedCount.h"
#include "util/qnv/asset/QNVLocalMp4Asset.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/player/QNVPlayer.h"
#include "util/qnv/player/QNVSynchronousPlayer.h"
#include "util/qnv/support/QNVTestClip.h"

namespace plexora::testing {

namespace {

constexpr double kTick = 1.0 / 60.0;

std::vector<std::string> lines(const std::vector<uint8_t>& output) {
  std::vector<std::string> result;
  std::istringstream stream(std::string(output.begin(), output.end()));
  std::string line;
  while (std::getline(stream, line)) result.push_back(line);
  return result;
}

std::vector<uint8_t> rgbOf(const platform::Image& image) {
  std::vector<uint8_t> rgb;
  const auto rgba = image.rgba();
  rgb.reserve(rgba.size() / 4 * 3);
  for (size_t i = 0; i + 4 <= rgba.size(); i += 4) {
    rgb.insert(rgb.end(), rgba.begin() + static_cast<ptrdiff_t>(i), rgba.begin() + static_cast<ptrdiff_t>(i + 3));
  }
  return rgb;
}

// ffmpeg's frames scaled to the layer, in RGB, as the GPU would sample
// them (chroma sited at sample centres) or with the given swscale flags.
std::vector<std::vector<uint8_t>> oracleFrames(const std::string& path, int width, int height,
                                               const std::string& scaleFlags) {
  const std::string size = std::to_string(width) + ":" + std::to_string(height);
  if (scaleFlags.empty()) return ffmpegFrames(path, "rgb24", static_cast<size_t>(width * height * 3), size);
  // Scaled in YUV, then converted as the default oracle is: asked for RGB
  // straight from a scale, swscale leaves its chroma uninterpolated and
  // fringes saturated edges with colour no decoder or GPU draws.
  const std::string command = "ffmpeg -nostdin -v error -i '" + path +
                              "' -map 0:v:0 -fps_mode passthrough -vf scale=" + size + ":flags=" + scaleFlags +
                              ",format=yuv444p -f rawvideo -pix_fmt rgb24 -";
  const std::vector<uint8_t> all = commandOutput(command);
  const auto frameBytes = static_cast<size_t>(width * height * 3);
  std::vector<std::vector<uint8_t>> frames;
  for (size_t offset = 0; offset + frameBytes <= all.size(); offset += frameBytes) {
    frames.emplace_back(all.begin() + static_cast<ptrdiff_t>(offset),
                        all.begin() + static_cast<ptrdiff_t>(offset + frameBytes));
  }
  return frames;
}

void settle() {
  QNVMediaStateQueue()->sync([] {});
  platform::DispatchQueue::settle();
}

// Decoding runs on real threads: the clock moves on only once the decoder
// has fallen idle (nothing new decoded over several polls) or a generous
// deadline passed.
void waitForDecoderIdle(QNVPlayerLayer& layer) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  uint64_t decoded = layer.framesDecompressed();
  for (int idle = 0; idle < 8 && std::chrono::steady_clock::now() < deadline;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    settle();
    layer.dispatchSyncOnRenderingThread([] {});
    const uint64_t now = layer.framesDecompressed();
    idle = now == decoded ? idle + 1 : 0;
    decoded = now;
  }
}

}  // namespace

std::vector<QNVProbedPacket> ffprobeAudioPackets(const std::string& path) {
  std::vector<QNVProbedPacket> packets;
  for (const std::string& line : lines(commandOutput("ffprobe -v error -select_streams a:0 -show_entries "
                                                     "packet=pts_time,size -of csv=p=0 '" + path + "'"))) {
    QNVProbedPacket packet;
    if (std::sscanf(line.c_str(), "%lf,%zu", &packet.seconds, &packet.size) == 2) packets.push_back(packet);
  }
  return packets;
}

std::vector<double> ffprobeVideoFrameTimes(const std::string& path) {
  std::vector<double> times;
  for (const std::string& line : lines(commandOutput("ffprobe -v error -select_streams v:0 -show_entries "
                                                     "frame=best_effort_timestamp_time -of csv=p=0 '" + path + "'"))) {
    double seconds = 0;
    if (std::sscanf(line.c_str(), "%lf", &seconds) == 1) times.push_back(seconds);
  }
  return times;
}

QNVPlayedClip playClip(const std::string& path, int width, int height, const std::string& scaleFlags,
                       QNVDrawingChoice drawing, double oracleTimeOffset) {
  QNVPlayedClip played;
  std::vector<double> times = ffprobeVideoFrameTimes(path);
  for (double& time : times) time -= oracleTimeOffset;
  const auto oracle = oracleFrames(path, width, height, scaleFlags);
  if (times.empty() || times.size() != oracle.size()) return played;

  auto manualClock = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock(manualClock);
  auto asset = QNVLocalMp4Asset::initWithLocalURL(*platform::URL::fromFilePath(path), false, false, {});
  Posted failures(kAVPlayerItemFailedToPlayToEndTimeNotification, asset.get());
  Posted ends(kAVPlayerItemDidPlayToEndTimeNotification, asset.get());
  asset->loadValuesAsynchronouslyForKeys({"duration"}, [] {});
  played.sampleRate = asset->asbd().sampleRate;
  played.framesPerPacket = asset->asbd().framesPerPacket;

  QNVPlayerLayerConfigs configs;
  configs.offMainThreadRendering = true;
  configs.allowPlayWhenInactive = true;
  configs.drawing = drawing;
  auto layer = QNVPlayerLayer::initWithConfigs(configs);
  layer->setBounds(platform::Rect({0, 0}, {static_cast<double>(width), static_cast<double>(height)}));
  auto player = QNVPlayer::initWithDisplayEngine(layer);
  auto audio = QNVAudioQueue::create();
  player->setAudioEngine(audio);
  player->replaceCurrentItemWithPlayerItem(asset);
  player->setMuted(false);
  player->play();
  settle();

  const auto advance = [&](double seconds) {
    manualClock->advance(seconds);
    settle();
    layer->dispatchSyncOnRenderingThread([] {});
  };
  for (size_t frame = 0; frame < times.size(); ++frame) {
    waitForDecoderIdle(*layer);
    const double target = times[frame] + kTick + 1e-4;
    const double now = player->currentTime().seconds();
    if (target > now) advance(target - now);
    const auto image = layer->presentedImage();
    double quality = 0;
    if (image != nullptr && image->pixelWidth() == static_cast<size_t>(width) &&
        image->pixelHeight() == static_cast<size_t>(height)) {
      const std::vector<uint8_t> drawn = rgbOf(*image);
      quality = psnr(drawn.data(), oracle[frame].data(), drawn.size());
    }
    played.framePsnr.push_back(quality);
  }
  advance(1.0);

  played.failures = failures.count.load();
  played.ends = ends.count.load();
  played.playerStatus = player->status();
  QNVMediaStateQueue()->sync([&] {
    if (auto output = audio->outputQueue()) played.audio = output->playedBuffers();
  });
  player->pause();
  settle();
  player.reset();
  settle();
  layer->invalidate();
  layer->dispatchSyncOnRenderingThread([] {});
  return played;
}

}  // namespace plexora::testing
