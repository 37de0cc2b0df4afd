// The player layer end to end on the rendering thread: compressed samples
// in, decoded frames drawn at their time on the control timebase through the
// default renderer into the offscreen framebuffer, read back and compared
// with ffmpeg's RGB decode of the same clip scaled to the layer.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/dispatch/Clock.h"
#include "platform/media/Timebase.h"
#include "util/qnv/QNVDefaultRenderer.h"
#include "util/qnv/QNVMediaStateQueue.h"
#include "util/qnv/QNVPlayerLayer.h"
#include "util/qnv/QNVTestClip.h"

namespace plexora {
namespace {

using platform::MediaTime;

// RGB of the read-back image (alpha dropped).
std::vector<uint8_t> rgbOf(const platform::Image& image) {
  std::vector<uint8_t> rgb;
  const auto rgba = image.rgba();
  rgb.reserve(rgba.size() / 4 * 3);
  for (size_t i = 0; i < rgba.size(); i += 4) rgb.insert(rgb.end(), rgba.begin() + static_cast<ptrdiff_t>(i),
                                                         rgba.begin() + static_cast<ptrdiff_t>(i + 3));
  return rgb;
}

class QNVPlayerLayerTest : public ::testing::TestWithParam<platform::Size> {
 protected:
  std::shared_ptr<platform::ManualClock> manualClock_ = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock_{manualClock_};

  static std::shared_ptr<QNVPlayerLayer> makeLayer(platform::Size size) {
    QNVPlayerLayerConfigs configs;
    configs.offMainThreadRendering = true;
    configs.allowPlayWhenInactive = true;
    auto layer = QNVPlayerLayer::initWithConfigs(configs);
    layer->setBounds(platform::Rect({0, 0}, size));
    return layer;
  }

  // Lets the rendering thread finish what the clock has handed it.
  static void syncRenderSide(QNVPlayerLayer& layer) { ASSERT_TRUE(layer.dispatchSyncOnRenderingThread([] {})); }

  static void waitForDecodedFrames(QNVPlayerLayer& layer, uint64_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (layer.framesDecompressed() < count && std::chrono::steady_clock::now() < deadline) {
      syncRenderSide(layer);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_GE(layer.framesDecompressed(), count);
  }
};

TEST_P(QNVPlayerLayerTest, DrawsEachFrameAtItsTimeLikeFfmpegScaledToTheLayer) {
  const platform::Size size = GetParam();
  const std::string path = testing::testMediaPath("video_only.mp4");
  const testing::QNVTestVideoTrack track = testing::loadVideoTrack(path);
  ASSERT_TRUE(track.format.has_value());
  auto layer = makeLayer(size);
  auto timebase = platform::Timebase::create();
  layer->setControlTimebase(timebase);

  QNVMediaStateQueue()->sync([&] {
    for (const auto& sample : track.samples) layer->enqueueSampleBuffer(sample, 0);
  });
  waitForDecodedFrames(*layer, track.samples.size());

  const auto width = static_cast<size_t>(size.width);
  const auto height = static_cast<size_t>(size.height);
  const auto oracle = testing::ffmpegFrames(path, "rgb24", width * height * 3,
                                            std::to_string(width) + ":" + std::to_string(height));
  ASSERT_EQ(oracle.size(), track.samples.size());
  std::vector<MediaTime> times;
  for (const auto& sample : track.samples) times.push_back(sample.presentationTimeStamp());
  std::sort(times.begin(), times.end());

  QNVMediaStateQueue()->sync([&] { layer->resume(); });
  for (size_t frame = 0; frame < times.size(); ++frame) {
    SCOPED_TRACE("frame " + std::to_string(frame));
    timebase->setTime(times[frame]);
    manualClock_->advance(1.0 / 60.0);
    syncRenderSide(*layer);
    const auto image = layer->presentedImage();
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->pixelWidth(), width);
    ASSERT_EQ(image->pixelHeight(), height);
    const std::vector<uint8_t> drawn = rgbOf(*image);
    // Above 30 dB by a margin: a wrong colour matrix or chroma plane lands
    // near 30.
    EXPECT_GE(testing::psnr(drawn.data(), oracle[frame].data(), drawn.size()), 35.0);
  }
  EXPECT_TRUE(layer->isReadyForDisplay());
  EXPECT_EQ(layer->staleFrameCount(), 0U);
  QNVMediaStateQueue()->sync([&] { layer->pause(kQNVPauseReasonRequested); });
  layer->invalidate();
  syncRenderSide(*layer);
}

INSTANTIATE_TEST_SUITE_P(LayerSizes, QNVPlayerLayerTest,
                         ::testing::Values(platform::Size{160, 90}, platform::Size{320, 180}),
                         [](const auto& info) {
                           return std::to_string(static_cast<int>(info.param.width)) + "x" +
                                  std::to_string(static_cast<int>(info.param.height));
                         });

TEST(QNVDefaultRendererTest, GravityScalesTheQuad) {
  struct Case {
    const char* gravity;
    platform::Size frame;
    platform::Rect bounds;
    bool drawn;
    float sx;
    float sy;
  };
  const Case cases[] = {
      {kQNVVideoGravityResize, {160, 90}, {0, 0, 100, 100}, true, 1.0f, 1.0f},
      {kQNVVideoGravityResizeAspect, {160, 90}, {0, 0, 100, 100}, true, 1.0f, 0.5625f},
      {kQNVVideoGravityResizeAspect, {90, 160}, {0, 0, 100, 100}, true, 0.5625f, 1.0f},
      {kQNVVideoGravityResizeAspectFill, {160, 90}, {0, 0, 100, 100}, true, 1.0f / 0.5625f, 1.0f},
      {kQNVVideoGravityResizeAspectFill, {90, 160}, {0, 0, 100, 100}, true, 1.0f, 1.0f / 0.5625f},
      // Empty bounds or an empty frame draw no quad rather than divide by zero.
      {kQNVVideoGravityResizeAspect, {160, 90}, {0, 0, 0, 100}, false, 0, 0},
      {kQNVVideoGravityResizeAspectFill, {0, 0}, {0, 0, 100, 100}, false, 0, 0},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(std::string(test.gravity) + " " + std::to_string(test.frame.width) + "x" +
                 std::to_string(test.frame.height));
    float sx = 0;
    float sy = 0;
    ASSERT_EQ(QNVDefaultRenderer::quadScale(test.frame, test.gravity, test.bounds,
                                            platform::AffineTransform::identity(), sx, sy),
              test.drawn);
    if (!test.drawn) continue;
    EXPECT_NEAR(sx, test.sx, 1e-5);
    EXPECT_NEAR(sy, test.sy, 1e-5);
  }
}

}  // namespace
}  // namespace plexora
