// The player layer end to end on the rendering thread: compressed samples
// in, decoded frames drawn at their time on the control timebase through the
// default renderer into the offscreen framebuffer, read back and compared
// with ffmpeg's RGB decode of the same clip scaled to the layer.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <tuple>

#include "platform/dispatch/Clock.h"
#include "platform/media/Timebase.h"
#include "util/qnv/render/QNVDefaultRenderer.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/render/QNVPlayerLayer.h"
#include "util/qnv/support/QNVTestClip.h"

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

std::string drawingName(QNVDrawingChoice drawing) { return drawing == QNVDrawingChoice::kCPU ? "CPU" : "GL"; }

// Every test runs on both ways of drawing: GL, and the CPU path taken where
// GL is a software rasteriser.
class QNVPlayerLayerFixture : public ::testing::Test {
 protected:
  std::shared_ptr<platform::ManualClock> manualClock_ = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock_{manualClock_};

  static std::shared_ptr<QNVPlayerLayer> makeLayer(platform::Size size, QNVDrawingChoice drawing) {
    QNVPlayerLayerConfigs configs;
    configs.offMainThreadRendering = true;
    configs.allowPlayWhenInactive = true;
    configs.drawing = drawing;
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

class QNVPlayerLayerTest : public QNVPlayerLayerFixture,
                           public ::testing::WithParamInterface<std::tuple<platform::Size, QNVDrawingChoice>> {};

TEST_P(QNVPlayerLayerTest, DrawsEachFrameAtItsTimeLikeFfmpegScaledToTheLayer) {
  const platform::Size size = std::get<0>(GetParam());
  const std::string path = testing::testMediaPath("video_only.mp4");
  const testing::QNVTestVideoTrack track = testing::loadVideoTrack(path);
  ASSERT_TRUE(track.format.has_value());
  auto layer = makeLayer(size, std::get<1>(GetParam()));
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
                         ::testing::Combine(::testing::Values(platform::Size{160, 90}, platform::Size{320, 180}),
                                            ::testing::Values(QNVDrawingChoice::kGL, QNVDrawingChoice::kCPU)),
                         [](const auto& info) {
                           const platform::Size size = std::get<0>(info.param);
                           return std::to_string(static_cast<int>(size.width)) + "x" +
                                  std::to_string(static_cast<int>(size.height)) + "_" +
                                  drawingName(std::get<1>(info.param));
                         });

// A grey picture whose luma encodes `level`, so the presented pixel tells
// which frame was drawn.
std::shared_ptr<platform::PixelBuffer> greyFrame(uint8_t luma) {
  auto image = platform::PixelBuffer::createNV12(16, 16);
  image->lockBaseAddress(platform::PixelBuffer::LockFlags::kReadWrite);
  for (size_t plane = 0; plane < 2; ++plane) {
    std::fill_n(image->baseAddressOfPlane(plane), image->bytesPerRowOfPlane(plane) * image->heightOfPlane(plane),
                plane == 0 ? luma : 128);
  }
  image->unlockBaseAddress(platform::PixelBuffer::LockFlags::kReadWrite);
  return image;
}

// The luma of the grey frame a presented image shows (inverting the video
// range expansion), within a step or two of rounding.
int presentedLumaAt(const platform::Image& image, uint32_t x, uint32_t y) {
  return static_cast<int>(std::lround(image.pixel(x, y).red / 1.164 + 16));
}

int presentedLuma(const platform::Image& image) { return presentedLumaAt(image, 0, 0); }

class QNVPlayerLayerRingTest : public QNVPlayerLayerFixture,
                               public ::testing::WithParamInterface<QNVDrawingChoice> {
 protected:
  void SetUp() override {
    layer_ = makeLayer({16, 16}, GetParam());
    layer_->setControlTimebase(timebase_);
    QNVMediaStateQueue()->sync([&] { layer_->resume(); });
  }
  void TearDown() override {
    layer_->invalidate();
    syncRenderSide(*layer_);
  }
  // Decoded frame `index` arrives showing `luma` at `seconds`.
  void arrive(uint64_t index, uint8_t luma, double seconds) {
    layer_->yieldDecompressedBuffer(greyFrame(luma), MediaTime::make(static_cast<int64_t>(seconds * 600), 600),
                                    MediaTime::make(20, 600), index);
    syncRenderSide(*layer_);
  }
  // One display tick at timebase time `seconds`, the picture left unread.
  void tickUnreadAt(double seconds) {
    timebase_->setTime(MediaTime::make(static_cast<int64_t>(seconds * 600), 600));
    manualClock_->advance(1.0 / 60.0 + 1e-6);
    syncRenderSide(*layer_);
  }
  // One display tick at timebase time `seconds`; answers the luma shown.
  int tickAt(double seconds) {
    tickUnreadAt(seconds);
    auto image = layer_->presentedImage();
    return image ? presentedLuma(*image) : -1;
  }

  std::shared_ptr<platform::Timebase> timebase_ = platform::Timebase::create();
  std::shared_ptr<QNVPlayerLayer> layer_;
};

TEST_P(QNVPlayerLayerRingTest, ShowsTheLatestFrameDueAndDropsWhatItPassed) {
  // Decode order with reordering: 0 at 0 s, 1 at 0.3 s, 2 at 0.1 s, 3 at 0.2 s.
  arrive(0, 40, 0.0);
  arrive(1, 100, 0.3);
  arrive(2, 60, 0.1);
  arrive(3, 80, 0.2);
  EXPECT_NEAR(tickAt(0.0), 40, 2);
  EXPECT_NEAR(tickAt(0.15), 60, 2);
  EXPECT_NEAR(tickAt(0.2), 80, 2);
  EXPECT_NEAR(tickAt(0.35), 100, 2);
}

TEST_P(QNVPlayerLayerRingTest, FramesOfTheSameTimeShowTheLowerIndex) {
  arrive(0, 40, 0.0);
  arrive(1, 120, 0.1);
  arrive(2, 160, 0.1);
  EXPECT_NEAR(tickAt(0.1), 120, 2);
}

TEST_P(QNVPlayerLayerRingTest, NothingDueDrawsNothingNew) {
  arrive(0, 40, 0.5);
  EXPECT_EQ(tickAt(0.1), -1);
  EXPECT_NEAR(tickAt(0.5), 40, 2);
  EXPECT_NEAR(tickAt(0.6), 40, 2);
}

// Frames are read back only when asked for: what is asked is still the
// frame presented last, also once the framebuffer that held it is gone.
TEST_P(QNVPlayerLayerRingTest, TheLastPresentedFrameIsReadBackWhenAskedForEvenAfterTeardown) {
  arrive(0, 40, 0.0);
  arrive(1, 120, 0.1);
  arrive(2, 200, 0.2);
  tickUnreadAt(0.0);
  tickUnreadAt(0.1);
  auto image = layer_->presentedImage();
  ASSERT_NE(image, nullptr);
  EXPECT_NEAR(presentedLuma(*image), 120, 2);

  tickUnreadAt(0.2);
  layer_->invalidate();
  syncRenderSide(*layer_);
  image = layer_->presentedImage();
  ASSERT_NE(image, nullptr);
  EXPECT_NEAR(presentedLuma(*image), 200, 2);
}

TEST_P(QNVPlayerLayerRingTest, RemovingTheImageClearsItAndLaterFramesDrawAgain) {
  arrive(0, 200, 0.0);
  EXPECT_NEAR(tickAt(0.0), 200, 2);
  for (int reset = 0; reset < 3; ++reset) {
    QNVMediaStateQueue()->sync([&] { layer_->flushAndRemoveImage(); });
    syncRenderSide(*layer_);
    const auto cleared = layer_->presentedImage();
    ASSERT_NE(cleared, nullptr);
    EXPECT_EQ(cleared->pixel(8, 8).alpha, 0) << "reset " << reset;
  }
  arrive(1, 90, 0.5);
  EXPECT_NEAR(tickAt(0.5), 90, 2);
}

TEST_P(QNVPlayerLayerRingTest, OddWidthPicturesKeepTheirLastChromaColumn) {
  // 15 pixels wide: 8 chroma columns, the last covering pixel 14 alone.
  layer_->setBounds(platform::Rect({0, 0}, {15, 16}));
  auto image = platform::PixelBuffer::createNV12(15, 16);
  ASSERT_EQ(image->widthOfPlane(1), 8U);
  image->lockBaseAddress(platform::PixelBuffer::LockFlags::kReadWrite);
  std::fill_n(image->baseAddressOfPlane(0), image->bytesPerRowOfPlane(0) * 16, 126);
  for (size_t row = 0; row < image->heightOfPlane(1); ++row) {
    uint8_t* chroma = image->baseAddressOfPlane(1) + row * image->bytesPerRowOfPlane(1);
    std::fill_n(chroma, 16, 128);
    chroma[2 * 7 + 1] = 240;  // Cr of the last column: red
  }
  image->unlockBaseAddress(platform::PixelBuffer::LockFlags::kReadWrite);
  layer_->yieldDecompressedBuffer(image, MediaTime::zero(), MediaTime::make(20, 600), 0);
  syncRenderSide(*layer_);
  tickAt(0.0);
  const auto presented = layer_->presentedImage();
  ASSERT_NE(presented, nullptr);
  ASSERT_EQ(presented->pixelWidth(), 15U);
  const platform::Pixel last = presented->pixel(14, 8);
  const platform::Pixel first = presented->pixel(0, 8);
  EXPECT_GT(last.red, last.green + 100) << "the last chroma column was not drawn";
  EXPECT_NEAR(first.red, first.green, 3);
}

// A square frame in a layer twice as wide, aspect kept: drawn at its own
// size in the middle, black bars either side.
TEST_P(QNVPlayerLayerRingTest, AFrameOfAnotherAspectIsCentredBetweenBlackBars) {
  layer_->setBounds(platform::Rect({0, 0}, {32, 16}));
  arrive(0, 200, 0.0);
  tickUnreadAt(0.0);
  const auto presented = layer_->presentedImage();
  ASSERT_NE(presented, nullptr);
  ASSERT_EQ(presented->pixelWidth(), 32U);
  for (uint32_t x : {0U, 7U, 24U, 31U}) {
    EXPECT_EQ(presented->pixel(x, 8), (platform::Pixel{0, 0, 0, 255})) << "x " << x;
  }
  for (uint32_t x : {8U, 16U, 23U}) {
    EXPECT_NEAR(presentedLumaAt(*presented, x, 8), 200, 2) << "x " << x;
  }
}

class RecordingLayerDelegate final : public QNVPlayerDisplayEngineDelegate {
 public:
  platform::DispatchQueuePtr queueForLayerUpdates() override { return QNVMediaStateQueue(); }
  void layerUpdatedWithError(const platform::Error& error) override { errors.push_back(error); }
  std::vector<platform::Error> errors;  // media-state queue
};

TEST_P(QNVPlayerLayerRingTest, DecoderErrorFailsTheLayerUntilFlushed) {
  auto delegate = std::make_shared<RecordingLayerDelegate>();
  layer_->setPlayerLayerDelegate(delegate);
  const platform::Error error(kQNVGLDecompressionErrorDomain, -12911, {});
  layer_->handleDecompressionSessionError(error, 0);
  platform::DispatchQueue::settle();
  QNVMediaStateQueue()->sync([&] {
    ASSERT_EQ(delegate->errors.size(), 1U);
    EXPECT_EQ(delegate->errors[0], error);
    EXPECT_EQ(layer_->status(), kQNVPlayerLayerStatusFailed);
    EXPECT_FALSE(layer_->isReadyForMoreMediaData());
    EXPECT_TRUE(layer_->flushIfError());
    EXPECT_EQ(layer_->status(), kQNVPlayerLayerStatusRendering);
    EXPECT_TRUE(layer_->isReadyForMoreMediaData());
    EXPECT_FALSE(layer_->flushIfError());
  });
}

INSTANTIATE_TEST_SUITE_P(Drawings, QNVPlayerLayerRingTest,
                         ::testing::Values(QNVDrawingChoice::kGL, QNVDrawingChoice::kCPU),
                         [](const auto& info) { return drawingName(info.param); });

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
