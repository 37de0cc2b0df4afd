#include "util/qnv/support/QNVClipPlayback.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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
  const std::string command = "ffmpeg -nostdin -v error " + std::string(kExactCropDecoding) + " -i '" + path +
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

namespace {

struct Oracle {
  std::vector<double> times;
  std::vector<std::vector<uint8_t>> frames;
};

Oracle oracleOf(const std::string& path, int width, int height, const std::string& scaleFlags,
                double oracleTimeOffset) {
  Oracle oracle{ffprobeVideoFrameTimes(path), oracleFrames(path, width, height, scaleFlags)};
  for (double& time : oracle.times) time -= oracleTimeOffset;
  return oracle;
}

QNVPlayedClip play(const QNVItemPlayback& playback, const std::vector<Oracle>& oracles, int width, int height,
                   QNVDrawingChoice drawing) {
  QNVPlayedClip played;
  if (oracles.empty()) return played;
  const Oracle& oracle = oracles.front();
  for (const Oracle& other : oracles) {
    if (other.times.empty() || other.times.size() != oracle.times.size() || other.frames.size() != other.times.size()) {
      return played;
    }
  }
  Posted failures(kAVPlayerItemFailedToPlayToEndTimeNotification, playback.sender);
  Posted ends(kAVPlayerItemDidPlayToEndTimeNotification, playback.sender);
  played.sampleRate = playback.item->asbd().sampleRate;
  played.framesPerPacket = playback.item->asbd().framesPerPacket;

  QNVPlayerLayerConfigs configs;
  configs.offMainThreadRendering = true;
  configs.allowPlayWhenInactive = true;
  configs.drawing = drawing;
  auto layer = QNVPlayerLayer::initWithConfigs(configs);
  layer->setBounds(platform::Rect({0, 0}, {static_cast<double>(width), static_cast<double>(height)}));
  auto player = QNVPlayer::initWithDisplayEngine(layer);
  auto audio = QNVAudioQueue::create();
  player->setAudioEngine(audio);
  player->replaceCurrentItemWithPlayerItem(playback.item);
  player->setMuted(false);
  player->play();
  settle();

  const auto advance = [&](double seconds) {
    playback.clock->advance(seconds);
    settle();
    layer->dispatchSyncOnRenderingThread([] {});
  };
  // Up to the target in steps no longer than a display refresh, waiting in
  // real time while the player stands still for want of data.
  const auto deadline = std::chrono::steady_clock::now() + playback.realTimeLimit;
  const auto advanceTo = [&](double target) {
    if (playback.realTimeLimit.count() == 0) {
      const double now = player->currentTime().seconds();
      if (target > now) advance(target - now);
      return;
    }
    for (double now = player->currentTime().seconds(); now < target;) {
      advance(std::min(kTick, target - now));
      const double moved = player->currentTime().seconds();
      if (moved <= now) {
        if (std::chrono::steady_clock::now() > deadline) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      now = moved;
    }
  };
  for (size_t frame = 0; frame < oracle.times.size(); ++frame) {
    if (playback.beforeFrame) playback.beforeFrame(oracle.times[frame]);
    waitForDecoderIdle(*layer);
    advanceTo(oracle.times[frame] + kTick + 1e-4);
    if (playback.realTimeLimit.count() != 0) waitForDecoderIdle(*layer);
    const auto image = layer->presentedImage();
    std::vector<double> qualities(oracles.size(), 0.0);
    if (image != nullptr && image->pixelWidth() == static_cast<size_t>(width) &&
        image->pixelHeight() == static_cast<size_t>(height)) {
      const std::vector<uint8_t> drawn = rgbOf(*image);
      for (size_t index = 0; index < oracles.size(); ++index) {
        qualities[index] = psnr(drawn.data(), oracles[index].frames[frame].data(), drawn.size());
      }
    }
    played.framePsnr.push_back(*std::max_element(qualities.begin(), qualities.end()));
    played.framePsnrPerOracle.push_back(std::move(qualities));
    played.frameRepresentations.push_back(playback.item->representationId().value_or(""));
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

}  // namespace

QNVPlayedClip playClip(const std::string& path, int width, int height, const std::string& scaleFlags,
                       QNVDrawingChoice drawing, double oracleTimeOffset) {
  const Oracle oracle = oracleOf(path, width, height, scaleFlags, oracleTimeOffset);
  if (oracle.times.empty() || oracle.times.size() != oracle.frames.size()) return {};
  auto manualClock = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock(manualClock);
  auto asset = QNVLocalMp4Asset::initWithLocalURL(*platform::URL::fromFilePath(path), false, false, {});
  asset->loadValuesAsynchronouslyForKeys({"duration"}, [] {});
  // Everything is at hand: one step of the clock per frame.
  return play({asset, asset.get(), manualClock.get(), std::chrono::milliseconds(0)}, {oracle}, width, height, drawing);
}

// From the packet still playing at 0 (the packets before it, outside the
// edits, need not be fed), every packet ffprobe lists, with its size, in
// order, each buffer at its first packet's time.
void expectAudioLikeFfprobe(const std::string& path, const QNVPlayedClip& played, double oracleTimeOffset) {
  auto probed = ffprobeAudioPackets(path);
  for (auto& packet : probed) packet.seconds -= oracleTimeOffset;
  if (probed.empty()) {
    EXPECT_TRUE(played.audio.empty());
    return;
  }
  ASSERT_GT(played.sampleRate, 0.0);
  const double rate = played.sampleRate;
  const double packetSeconds = played.framesPerPacket / rate;
  size_t next = 0;
  while (next + 1 < probed.size() && probed[next].seconds + packetSeconds < -1e-6) ++next;
  for (const auto& buffer : played.audio) {
    ASSERT_LT(next, probed.size());
    EXPECT_LE(std::abs(buffer.startSampleTime - probed[next].seconds * rate), played.framesPerPacket)
        << "packet " << next;
    for (const auto& packet : buffer.packets) {
      ASSERT_LT(next, probed.size());
      EXPECT_EQ(packet.size(), probed[next].size) << "packet " << next;
      ++next;
    }
  }
  EXPECT_EQ(next, probed.size()) << "every packet played";
}

QNVPlayedClip playItem(const QNVItemPlayback& playback, const std::string& oraclePath, int width, int height,
                       QNVDrawingChoice drawing) {
  return play(playback, {oracleOf(oraclePath, width, height, "", 0)}, width, height, drawing);
}

QNVPlayedClip playItemAgainst(const QNVItemPlayback& playback, const std::vector<std::string>& oraclePaths, int width,
                              int height) {
  std::vector<Oracle> oracles;
  for (const std::string& path : oraclePaths) oracles.push_back(oracleOf(path, width, height, "", 0));
  return play(playback, oracles, width, height, QNVDrawingChoice::kAutomatic);
}

}  // namespace plexora::testing
