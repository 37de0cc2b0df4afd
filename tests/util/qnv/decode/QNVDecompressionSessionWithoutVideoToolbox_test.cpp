// The decoder without the platform decoder against ffmpeg's decode of the
// generated clips: every frame once, in presentation order, with its time
// and number; runs cut at IDR pictures; its temporary files; and its
// failures. The poll timer runs on a manual clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <mutex>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/Paths.h"
#include "util/qnv/decode/QNVDecompressionSessionWithoutVideoToolbox.h"
#include "platform/media/DecompressionSession.h"
#include "platform/media/Timebase.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/render/QNVPlayerLayer.h"
#include "util/qnv/core/QNVRealTimer.h"
#include "util/qnv/support/QNVTestClip.h"

namespace plexora {
namespace {

using platform::MediaTime;

struct Yielded {
  uint64_t frameNumber;
  MediaTime presentationTime;
  MediaTime duration;
  std::shared_ptr<platform::PixelBuffer> image;
};

class RecordingDelegate final : public QNVDecompressionSessionDelegate {
 public:
  void yieldDecompressedBuffer(std::shared_ptr<platform::PixelBuffer> buffer, MediaTime presentationTimeStamp,
                               MediaTime presentationDuration, uint64_t iFrame) override {
    std::lock_guard lock(mutex_);
    yielded_.push_back({iFrame, presentationTimeStamp, presentationDuration, std::move(buffer)});
  }
  void handleDecompressionSessionError(const platform::Error& error) override {
    std::lock_guard lock(mutex_);
    errors_.push_back(error);
  }
  void handleDecompressionSessionError(const platform::Error& error, uint64_t) override {
    std::lock_guard lock(mutex_);
    errors_.push_back(error);
  }
  std::vector<Yielded> yielded() {
    std::lock_guard lock(mutex_);
    return yielded_;
  }
  std::vector<platform::Error> errors() {
    std::lock_guard lock(mutex_);
    return errors_;
  }

 private:
  std::mutex mutex_;
  std::vector<Yielded> yielded_;
  std::vector<platform::Error> errors_;
};

std::string sourceOf(const platform::Error& error) {
  const platform::Value* source = error.userInfo().find(kQNVDecompressionErrorSourceKey);
  return source != nullptr ? source->text().value_or("") : "";
}

class QNVDecompressionSessionWithoutVideoToolboxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    temporaryDirectory_ = std::filesystem::temp_directory_path() /
                          (std::string("qnv-no-decoder-") + info->name() + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(temporaryDirectory_);
    std::filesystem::create_directories(temporaryDirectory_);
    platform::setTemporaryDirectory(temporaryDirectory_.string());
  }
  void TearDown() override {
    platform::setTemporaryDirectory("");
    std::filesystem::remove_all(temporaryDirectory_);
  }

  // One poll interval at a time, so each poll sees what the one before left.
  void poll(int times = 1) {
    for (int i = 0; i < times; ++i) {
      manualClock_->advance(0.2);
      platform::DispatchQueue::settle();
    }
  }

  std::shared_ptr<QNVDecompressionSessionWithoutVideoToolbox> makeSession(
      const platform::VideoFormatDescription& format) {
    return QNVDecompressionSessionWithoutVideoToolbox::initWithDelegate(delegate_, format, {}, true,
                                                                        std::make_shared<QNVRealTimerManager>());
  }

  void enqueueAll(QNVDecompressionSession& session, const std::vector<platform::SampleBuffer>& samples,
                  uint64_t firstNumber) {
    for (size_t i = 0; i < samples.size(); ++i) session.enqueueSampleBuffer(samples[i], firstNumber + i);
    platform::DispatchQueue::settle();
  }

  size_t filesInTemporaryDirectory() const {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(temporaryDirectory_),
                                             std::filesystem::directory_iterator()));
  }

  std::shared_ptr<platform::ManualClock> manualClock_ = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock_{manualClock_};
  std::shared_ptr<RecordingDelegate> delegate_ = std::make_shared<RecordingDelegate>();
  std::filesystem::path temporaryDirectory_;
};

class QNVDecompressionSessionWithoutVideoToolboxClipTest
    : public QNVDecompressionSessionWithoutVideoToolboxTest,
      public ::testing::WithParamInterface<const char*> {};

TEST_P(QNVDecompressionSessionWithoutVideoToolboxClipTest, YieldsEveryFrameAsFfmpegDecodesItInPresentationOrder) {
  const std::string path = testing::testMediaPath(GetParam());
  const testing::QNVTestVideoTrack track = testing::loadVideoTrack(path);
  ASSERT_TRUE(track.format.has_value());
  auto session = makeSession(*track.format);
  constexpr uint64_t kFirstNumber = 1000;
  enqueueAll(*session, track.samples, kFirstNumber);
  poll(5);
  session->closeSession();
  for (const auto& error : delegate_->errors()) ADD_FAILURE() << error.localizedDescription();

  std::vector<MediaTime> presentationTimes;
  for (const auto& sample : track.samples) presentationTimes.push_back(sample.presentationTimeStamp());
  std::sort(presentationTimes.begin(), presentationTimes.end());
  const std::vector<Yielded> yielded = delegate_->yielded();
  ASSERT_EQ(yielded.size(), track.samples.size());

  const platform::VideoDimensions size = track.format->dimensions();
  const size_t frameBytes = static_cast<size_t>(size.width * size.height) * 3 / 2;
  const auto oracle = testing::ffmpegFrames(path, "nv12", frameBytes);
  ASSERT_EQ(oracle.size(), yielded.size());
  for (size_t i = 0; i < yielded.size(); ++i) {
    EXPECT_EQ(yielded[i].frameNumber, kFirstNumber + i);
    EXPECT_EQ(yielded[i].presentationTime, presentationTimes[i]) << "frame " << i;
    EXPECT_EQ(yielded[i].duration, MediaTime::zero());
    ASSERT_NE(yielded[i].image, nullptr);
    const std::vector<uint8_t> decoded = testing::packedNV12(*yielded[i].image);
    ASSERT_EQ(decoded.size(), frameBytes);
    EXPECT_GT(testing::psnr(decoded.data(), oracle[i].data(), frameBytes), 35.0) << "frame " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(GeneratedClips, QNVDecompressionSessionWithoutVideoToolboxClipTest,
                         ::testing::Values("video_only.mp4", "main_bframes.mp4", "crop_left_top.mp4"));

// 30 frames with IDR pictures at 0 and 15: the first run ends at the second
// IDR and yields its 16 frames; the rest (an open run) waits for the next
// poll. Nothing runs before the first poll, and no file outlives its run.
TEST_F(QNVDecompressionSessionWithoutVideoToolboxTest, RunsEndAtIdrPicturesOnePollApart) {
  const testing::QNVTestVideoTrack track = testing::loadVideoTrack(testing::testMediaPath("video_only.mp4"));
  ASSERT_TRUE(track.format.has_value());
  ASSERT_EQ(track.samples.size(), 30U);
  auto session = makeSession(*track.format);
  enqueueAll(*session, track.samples, 0);
  manualClock_->advance(0.19);
  platform::DispatchQueue::settle();
  EXPECT_TRUE(delegate_->yielded().empty());

  poll();
  EXPECT_EQ(delegate_->yielded().size(), 16U);
  EXPECT_EQ(delegate_->yielded().back().presentationTime, track.samples[15].presentationTimeStamp());
  EXPECT_EQ(filesInTemporaryDirectory(), 0U);

  poll();
  EXPECT_EQ(delegate_->yielded().size(), 30U);
  poll(3);
  EXPECT_EQ(delegate_->yielded().size(), 30U) << "no frame is yielded twice";
  EXPECT_EQ(filesInTemporaryDirectory(), 0U);
}

// Fewer than 10 new samples: the first poll waits, the next one decodes
// them. Samples without a duration still each give one frame.
TEST_F(QNVDecompressionSessionWithoutVideoToolboxTest, AFewSamplesWaitOnePollAndZeroDurationsAreMended) {
  const testing::QNVTestVideoTrack track = testing::loadVideoTrack(testing::testMediaPath("video_only.mp4"));
  ASSERT_TRUE(track.format.has_value());
  std::vector<platform::SampleBuffer> samples;
  for (size_t i = 0; i < 5; ++i) {
    platform::SampleTimingInfo timing = track.samples[i].timingInfo(0);
    timing.duration = MediaTime::zero();
    samples.push_back(*track.samples[i].copyWithNewTiming({timing}));
  }
  auto session = makeSession(*track.format);
  enqueueAll(*session, samples, 7);
  poll();
  EXPECT_TRUE(delegate_->yielded().empty());
  poll();
  const std::vector<Yielded> yielded = delegate_->yielded();
  ASSERT_EQ(yielded.size(), 5U);
  for (size_t i = 0; i < yielded.size(); ++i) {
    EXPECT_EQ(yielded[i].frameNumber, 7 + i);
    EXPECT_EQ(yielded[i].presentationTime, samples[i].presentationTimeStamp());
  }
  EXPECT_FALSE(session->canAcceptFormatDescription(*track.format));
}

TEST_F(QNVDecompressionSessionWithoutVideoToolboxTest, AnUnwritableTemporaryDirectoryIsReported) {
  const testing::QNVTestVideoTrack track = testing::loadVideoTrack(testing::testMediaPath("video_only.mp4"));
  ASSERT_TRUE(track.format.has_value());
  platform::setTemporaryDirectory((temporaryDirectory_ / "missing" / "deeper").string());
  auto session = makeSession(*track.format);
  enqueueAll(*session, track.samples, 0);
  poll();
  const std::vector<platform::Error> errors = delegate_->errors();
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.front().domain(), kQNVGLDecompressionErrorDomain);
  EXPECT_EQ(sourceOf(errors.front()),
            kQNVDecompressionSourceWriteFile);
  EXPECT_TRUE(delegate_->yielded().empty()) << "no picture was ever decoded to stand in";
  poll();
  EXPECT_GT(delegate_->errors().size(), errors.size()) << "the next run is tried, not stuck behind the first";
}

TEST_F(QNVDecompressionSessionWithoutVideoToolboxTest, CorruptSamplesAreReported) {
  const testing::QNVTestVideoTrack track = testing::loadVideoTrack(testing::testMediaPath("video_only.mp4"));
  ASSERT_TRUE(track.format.has_value());
  std::vector<platform::SampleBuffer> samples;
  for (size_t i = 0; i < 12; ++i) {
    // A length prefix that runs past the sample's end.
    samples.push_back(testing::makeVideoSample(*track.format, {0, 0, 0x40, 0, 0x65, 0x88, 0x84, 0},
                                               track.samples[i].decodeTimeStamp(),
                                               track.samples[i].presentationTimeStamp(), track.samples[i].duration()));
  }
  auto session = makeSession(*track.format);
  enqueueAll(*session, samples, 0);
  poll(2);
  const std::vector<platform::Error> errors = delegate_->errors();
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(sourceOf(errors.front()),
            kQNVDecompressionSourceReadFile);
  session->closeSession();
  EXPECT_EQ(filesInTemporaryDirectory(), 0U);
}

TEST_F(QNVDecompressionSessionWithoutVideoToolboxTest, CloseRemovesTheSessionsFilesOnly) {
  const testing::QNVTestVideoTrack track = testing::loadVideoTrack(testing::testMediaPath("video_only.mp4"));
  ASSERT_TRUE(track.format.has_value());
  auto session = makeSession(*track.format);
  const std::filesystem::path own = temporaryDirectory_ / (session->decompressionSessionUUID() + "-left.mp4");
  const std::filesystem::path other = temporaryDirectory_ / "QNVDecompressionSession-other.mp4";
  for (const auto& file : {own, other}) std::ofstream(file) << "x";
  session->closeSession();
  EXPECT_FALSE(std::filesystem::exists(own));
  EXPECT_TRUE(std::filesystem::exists(other));
  enqueueAll(*session, track.samples, 0);
  poll(3);
  EXPECT_TRUE(delegate_->yielded().empty()) << "a closed session no longer polls";
}

// The player layer with the platform decoder switched off: it decodes
// through this session and draws the clip, its very first frame included.
TEST_F(QNVDecompressionSessionWithoutVideoToolboxTest, ThePlayerLayerDrawsThroughItWithoutThePlatformDecoder) {
  const std::string path = testing::testMediaPath("video_only.mp4");
  const testing::QNVTestVideoTrack track = testing::loadVideoTrack(path);
  ASSERT_TRUE(track.format.has_value());
  platform::DecompressionSession::setAvailable(false);
  QNVPlayerLayerConfigs configs;
  configs.offMainThreadRendering = true;
  configs.allowPlayWhenInactive = true;
  auto layer = QNVPlayerLayer::initWithConfigs(configs);
  layer->setBounds(platform::Rect({0, 0}, {160, 90}));
  auto timebase = platform::Timebase::create();
  layer->setControlTimebase(timebase);
  const auto syncRenderSide = [&] { ASSERT_TRUE(layer->dispatchSyncOnRenderingThread([] {})); };

  QNVMediaStateQueue()->sync([&] {
    for (const auto& sample : track.samples) layer->enqueueSampleBuffer(sample, 0);
  });
  platform::DispatchQueue::settle();
  poll(3);
  syncRenderSide();
  platform::DecompressionSession::setAvailable(true);
  EXPECT_EQ(layer->framesDecompressed(), track.samples.size());

  const auto oracle = testing::ffmpegFrames(path, "rgb24", 160 * 90 * 3, "160:90");
  QNVMediaStateQueue()->sync([&] { layer->resume(); });
  for (size_t frame : {size_t{0}, size_t{16}, track.samples.size() - 1}) {
    SCOPED_TRACE("frame " + std::to_string(frame));
    timebase->setTime(track.samples[frame].presentationTimeStamp());
    manualClock_->advance(1.0 / 60.0);
    syncRenderSide();
    const auto image = layer->presentedImage();
    ASSERT_NE(image, nullptr);
    std::vector<uint8_t> rgb;
    const auto rgba = image->rgba();
    for (size_t i = 0; i < rgba.size(); i += 4) rgb.insert(rgb.end(), &rgba[i], &rgba[i] + 3);
    ASSERT_EQ(rgb.size(), oracle[frame].size());
    EXPECT_GE(testing::psnr(rgb.data(), oracle[frame].data(), rgb.size()), 35.0);
  }
  QNVMediaStateQueue()->sync([&] { layer->pause(kQNVPauseReasonRequested); });
  layer->invalidate();
  syncRenderSide();
}

}  // namespace
}  // namespace plexora
