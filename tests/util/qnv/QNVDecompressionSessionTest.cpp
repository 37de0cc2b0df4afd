// The H.264 decompression session against ffmpeg's decode of the same
// generated clips, its frame numbers across B-frame reordering, and its
// answers to bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "util/qnv/QNVDecompressionSessionWithVideoToolbox.h"
#include "util/qnv/QNVMediaStateQueue.h"
#include "util/qnv/QNVTestClip.h"

namespace plexora {
namespace {

using testing::QNVTestVideoTrack;

struct Yielded {
  uint64_t frameNumber;
  platform::MediaTime presentationTime;
  std::shared_ptr<platform::PixelBuffer> image;
};

struct Reported {
  platform::Error error;
  std::optional<uint64_t> frameNumber;
};

class RecordingDelegate final : public QNVDecompressionSessionDelegate {
 public:
  void yieldDecompressedBuffer(std::shared_ptr<platform::PixelBuffer> buffer, platform::MediaTime presentationTimeStamp,
                               platform::MediaTime, uint64_t iFrame) override {
    std::lock_guard lock(mutex_);
    yielded_.push_back({iFrame, presentationTimeStamp, std::move(buffer)});
    changed_.notify_all();
  }
  void handleDecompressionSessionError(const platform::Error& error) override {
    std::lock_guard lock(mutex_);
    errors_.push_back({error, std::nullopt});
    changed_.notify_all();
  }
  void handleDecompressionSessionError(const platform::Error& error, uint64_t ifIFrameStillValid) override {
    std::lock_guard lock(mutex_);
    errors_.push_back({error, ifIFrameStillValid});
    changed_.notify_all();
  }

  // Waits (on real decoder threads, not timers) until `count` answers,
  // pictures and frame errors together, have arrived.
  bool waitForAnswers(size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return yielded_.size() + errors_.size() >= count; });
  }
  std::vector<Yielded> yielded() {
    std::lock_guard lock(mutex_);
    return yielded_;
  }
  std::vector<Reported> errors() {
    std::lock_guard lock(mutex_);
    return errors_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Yielded> yielded_;
  std::vector<Reported> errors_;
};

std::shared_ptr<QNVDecompressionSessionWithVideoToolbox> makeSession(const std::shared_ptr<RecordingDelegate>& delegate,
                                                                     const platform::VideoFormatDescription& format) {
  return QNVDecompressionSessionWithVideoToolbox::initWithDelegate(delegate, format, {}, true, nullptr);
}

// The NV12 bytes of a picture without row padding.
std::vector<uint8_t> packedNV12(platform::PixelBuffer& image) {
  std::vector<uint8_t> bytes;
  image.lockBaseAddress(platform::PixelBuffer::LockFlags::kReadOnly);
  for (size_t plane = 0; plane < 2; ++plane) {
    const uint8_t* base = std::as_const(image).baseAddressOfPlane(plane);
    const size_t rowBytes = plane == 0 ? image.width() : image.widthOfPlane(1) * 2;
    for (size_t row = 0; row < image.heightOfPlane(plane); ++row) {
      const uint8_t* start = base + row * image.bytesPerRowOfPlane(plane);
      bytes.insert(bytes.end(), start, start + rowBytes);
    }
  }
  image.unlockBaseAddress(platform::PixelBuffer::LockFlags::kReadOnly);
  return bytes;
}

class QNVDecompressionSessionClipTest : public ::testing::TestWithParam<const char*> {};

TEST_P(QNVDecompressionSessionClipTest, DecodesEveryFrameAsFfmpegDoesWithItsNumber) {
  const std::string path = testing::testMediaPath(GetParam());
  const QNVTestVideoTrack track = testing::loadVideoTrack(path);
  ASSERT_TRUE(track.format.has_value());
  auto delegate = std::make_shared<RecordingDelegate>();
  auto session = makeSession(delegate, *track.format);
  ASSERT_NE(session, nullptr);
  // Numbers far from the sample indexes, so a mix-up cannot pass by chance.
  constexpr uint64_t kFirstNumber = 1000;
  for (size_t i = 0; i < track.samples.size(); ++i) session->enqueueSampleBuffer(track.samples[i], kFirstNumber + i);
  session->closeSession();
  ASSERT_TRUE(delegate->waitForAnswers(track.samples.size()));
  EXPECT_TRUE(delegate->errors().empty());

  std::vector<Yielded> yielded = delegate->yielded();
  ASSERT_EQ(yielded.size(), track.samples.size());
  for (const Yielded& frame : yielded) {
    ASSERT_GE(frame.frameNumber, kFirstNumber);
    ASSERT_LT(frame.frameNumber - kFirstNumber, track.samples.size());
    EXPECT_EQ(frame.presentationTime, track.samples[frame.frameNumber - kFirstNumber].presentationTimeStamp())
        << "frame " << frame.frameNumber << " came back with another sample's time";
  }
  std::stable_sort(yielded.begin(), yielded.end(),
                   [](const Yielded& a, const Yielded& b) { return a.presentationTime < b.presentationTime; });

  const platform::VideoDimensions size = track.format->dimensions();
  const size_t frameBytes = static_cast<size_t>(size.width * size.height) * 3 / 2;
  const auto oracle = testing::ffmpegFrames(path, "nv12", frameBytes);
  ASSERT_EQ(oracle.size(), yielded.size());
  for (size_t i = 0; i < yielded.size(); ++i) {
    ASSERT_NE(yielded[i].image, nullptr);
    EXPECT_EQ(yielded[i].image->width(), static_cast<size_t>(size.width));
    EXPECT_EQ(yielded[i].image->height(), static_cast<size_t>(size.height));
    const std::vector<uint8_t> decoded = packedNV12(*yielded[i].image);
    ASSERT_EQ(decoded.size(), frameBytes);
    EXPECT_GT(testing::psnr(decoded.data(), oracle[i].data(), frameBytes), 35.0) << "frame " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(GeneratedClips, QNVDecompressionSessionClipTest,
                         ::testing::Values("baseline_aac_moov_first.mp4", "main_bframes.mp4"),
                         [](const auto& info) { return std::string(info.param).substr(0, std::string(info.param).find('.')); });

TEST(QNVDecompressionSessionTest, BFramesComeOutOfDecodeOrder) {
  const QNVTestVideoTrack track = testing::loadVideoTrack(testing::testMediaPath("main_bframes.mp4"));
  ASSERT_TRUE(track.format.has_value());
  auto delegate = std::make_shared<RecordingDelegate>();
  auto session = makeSession(delegate, *track.format);
  ASSERT_NE(session, nullptr);
  for (size_t i = 0; i < track.samples.size(); ++i) session->enqueueSampleBuffer(track.samples[i], i);
  session->closeSession();
  ASSERT_TRUE(delegate->waitForAnswers(track.samples.size()));
  std::vector<uint64_t> order;
  for (const Yielded& frame : delegate->yielded()) order.push_back(frame.frameNumber);
  EXPECT_FALSE(std::is_sorted(order.begin(), order.end())) << "the clip must reorder for this test to mean anything";
}

}  // namespace
}  // namespace plexora
