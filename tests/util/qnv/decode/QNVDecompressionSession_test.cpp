// The H.264 decompression session against ffmpeg's decode of the same
// generated clips, its frame numbers across B-frame reordering, and its
// answers to bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>
#include <span>

#include "util/qnv/decode/QNVDecompressionSessionWithVideoToolbox.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/support/QNVTestClip.h"

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
  bool waitForAnswersFor(size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return yielded_.size() + errors_.size() >= count; });
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
    const std::vector<uint8_t> decoded = testing::packedNV12(*yielded[i].image);
    ASSERT_EQ(decoded.size(), frameBytes);
    EXPECT_GT(testing::psnr(decoded.data(), oracle[i].data(), frameBytes), 35.0) << "frame " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(GeneratedClips, QNVDecompressionSessionClipTest,
                         ::testing::Values("baseline_aac_moov_first.mp4", "main_bframes.mp4", "crop_left_top.mp4",
                                           "crop_right_bottom.mp4"),
                         [](const auto& info) { return std::string(info.param).substr(0, std::string(info.param).find('.')); });

// Keeps what each picture showed and lets go of the picture at once,
// leaving a mark of its own on it.
class ReleasingDelegate final : public QNVDecompressionSessionDelegate {
 public:
  static constexpr const char* kMarkKey = "test.released";

  struct Seen {
    platform::MediaTime presentationTime;
    std::vector<uint8_t> bytes;
    const void* storage;
    bool carriedMark;
  };

  void yieldDecompressedBuffer(std::shared_ptr<platform::PixelBuffer> buffer, platform::MediaTime presentationTimeStamp,
                               platform::MediaTime, uint64_t) override {
    Seen seen{presentationTimeStamp, {}, nullptr, false};
    if (buffer) {
      seen.bytes = testing::packedNV12(*buffer);
      buffer->lockBaseAddress(platform::PixelBuffer::LockFlags::kReadOnly);
      seen.storage = std::as_const(*buffer).baseAddressOfPlane(0);
      buffer->unlockBaseAddress(platform::PixelBuffer::LockFlags::kReadOnly);
      seen.carriedMark = buffer->attachments().contains(kMarkKey);
      buffer->setAttachment(kMarkKey, platform::Value(true));
      buffer.reset();
    }
    std::lock_guard lock(mutex_);
    seen_.push_back(std::move(seen));
    changed_.notify_all();
  }
  void handleDecompressionSessionError(const platform::Error&) override {}
  void handleDecompressionSessionError(const platform::Error&, uint64_t) override {}

  bool waitFor(size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return seen_.size() >= count; });
  }
  std::vector<Seen> seen() {
    std::lock_guard lock(mutex_);
    return seen_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Seen> seen_;
};

// Pictures are written into the buffers of pictures their holders let go
// of: each must then show its own frame and none of what the last holder
// attached, also where the stream's crop moved the last picture's start.
class QNVDecompressionSessionRefillTest : public ::testing::TestWithParam<const char*> {};

TEST_P(QNVDecompressionSessionRefillTest, BuffersLetGoOfAreRefilledWithTheNextPictureAlone) {
  const std::string path = testing::testMediaPath(GetParam());
  const QNVTestVideoTrack track = testing::loadVideoTrack(path);
  ASSERT_TRUE(track.format.has_value());
  auto delegate = std::make_shared<ReleasingDelegate>();
  auto session = QNVDecompressionSessionWithVideoToolbox::initWithDelegate(delegate, *track.format, {}, true, nullptr);
  ASSERT_NE(session, nullptr);
  // One sample at a time: a baseline stream has no reordering, so each
  // picture is out, and let go of, before the next is decoded.
  for (size_t i = 0; i < track.samples.size(); ++i) {
    session->enqueueSampleBuffer(track.samples[i], i);
    ASSERT_TRUE(delegate->waitFor(i + 1));
  }
  session->closeSession();

  const auto seen = delegate->seen();
  const platform::VideoDimensions size = track.format->dimensions();
  const size_t frameBytes = static_cast<size_t>(size.width * size.height) * 3 / 2;
  const auto oracle = testing::ffmpegFrames(path, "nv12", frameBytes);
  ASSERT_EQ(seen.size(), oracle.size());
  std::set<const void*> storages;
  for (size_t i = 0; i < seen.size(); ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    EXPECT_EQ(seen[i].presentationTime, track.samples[i].presentationTimeStamp());
    ASSERT_EQ(seen[i].bytes.size(), frameBytes);
    EXPECT_GT(testing::psnr(seen[i].bytes.data(), oracle[i].data(), frameBytes), 35.0);
    EXPECT_FALSE(seen[i].carriedMark);
    storages.insert(seen[i].storage);
  }
  EXPECT_LT(storages.size(), seen.size() / 2) << "pictures were not written into buffers let go of";
}

INSTANTIATE_TEST_SUITE_P(GeneratedClips, QNVDecompressionSessionRefillTest,
                         ::testing::Values("baseline_aac_moov_first.mp4", "crop_left_top.mp4"),
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

// Bit-level rewrite of a parameter set: the RBSP bits with `insert` put in
// at `bitOffset` (after the NAL header byte), re-terminated and padded.
std::vector<uint8_t> insertBits(const std::vector<uint8_t>& unit, size_t bitOffset, const std::string& insert) {
  std::string bits;
  for (size_t i = 1; i < unit.size(); ++i) {
    for (int bit = 7; bit >= 0; --bit) bits += ((unit[i] >> bit) & 1) != 0 ? '1' : '0';
  }
  bits.insert(bitOffset, insert);
  bits.erase(bits.find_last_of('1') + 1);  // keep the stop bit
  while (bits.size() % 8 != 0) bits += '0';
  std::vector<uint8_t> out{unit[0]};
  for (size_t i = 0; i < bits.size(); i += 8) out.push_back(static_cast<uint8_t>(std::stoi(bits.substr(i, 8), nullptr, 2)));
  return out;
}

std::vector<uint8_t> lengthPrefixed(const std::vector<uint8_t>& unit) {
  std::vector<uint8_t> bytes{static_cast<uint8_t>(unit.size() >> 24), static_cast<uint8_t>(unit.size() >> 16),
                             static_cast<uint8_t>(unit.size() >> 8), static_cast<uint8_t>(unit.size())};
  bytes.insert(bytes.end(), unit.begin(), unit.end());
  return bytes;
}

struct BadInput {
  const char* name;
  const char* source;  // the step every reported error names
  std::optional<platform::VideoFormatDescription> format;
  std::vector<platform::SampleBuffer> samples;
};

// Each case starts from the baseline clip's first frames.
std::vector<BadInput> badInputs() {
  const QNVTestVideoTrack clip = testing::loadVideoTrack(testing::testMediaPath("video_only.mp4"));
  const platform::VideoFormatDescription& format = *clip.format;
  auto sample = [&](std::vector<uint8_t> bytes, size_t like) {
    const platform::SampleBuffer& model = clip.samples[like];
    return testing::makeVideoSample(format, std::move(bytes), model.decodeTimeStamp(), model.presentationTimeStamp(),
                                    model.duration());
  };
  std::vector<BadInput> cases;

  // Every sample's NAL unit claims far more bytes than the sample holds:
  // damage that lasts is a broken stream, not one bad sample.
  std::vector<platform::SampleBuffer> overlong;
  for (size_t i = 0; i < clip.samples.size(); ++i) {
    std::vector<uint8_t> bytes = clip.sampleBytes[i];
    bytes[0] = 0x7f;
    overlong.push_back(sample(bytes, i));
  }
  cases.push_back({"every_nal_unit_overlong", kQNVDecompressionSourceDecodeFrame, format, overlong});

  // The picture parameter set names a sequence parameter set (id 2) the
  // stream never carries.
  const auto& sets = format.parameterSets();
  const std::vector<uint8_t> orphanPps = insertBits(sets[1], 1, "01");  // sps id ue(v) "011" instead of "1"
  const std::vector<std::span<const uint8_t>> orphanSets{sets[0], orphanPps};
  std::optional<platform::VideoFormatDescription> orphanFormat;
  platform::VideoFormatDescription::createFromH264ParameterSets(orphanSets, 4, orphanFormat);
  cases.push_back({"pps_without_its_sps", kQNVDecompressionSourceDecodeFrame, orphanFormat, clip.samples});

  // A key frame of a 96x64 stream, its parameter sets in band, in the middle
  // of the 160x90 clip.
  const std::string smaller = ::testing::TempDir() + "/qnv_smaller.mp4";
  testing::commandOutput("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=96x64:rate=30:duration=0.1 "
                         "-c:v libx264 -profile:v baseline -pix_fmt yuv420p '" + smaller + "'");
  const QNVTestVideoTrack other = testing::loadVideoTrack(smaller);
  if (other.format) {
    std::vector<uint8_t> switched = lengthPrefixed(other.format->parameterSets()[0]);
    const auto pps = lengthPrefixed(other.format->parameterSets()[1]);
    switched.insert(switched.end(), pps.begin(), pps.end());
    switched.insert(switched.end(), other.sampleBytes[0].begin(), other.sampleBytes[0].end());
    cases.push_back({"resolution_change", kQNVDecompressionSourceDataCallback, format, {clip.samples[0], sample(switched, 1)}});
  }
  return cases;
}

TEST(QNVDecompressionSessionTest, BadInputIsReportedAsAnErrorAndNeverHangs) {
  const auto cases = badInputs();
  ASSERT_EQ(cases.size(), 3U);
  for (const BadInput& input : cases) {
    SCOPED_TRACE(input.name);
    ASSERT_TRUE(input.format.has_value());
    auto delegate = std::make_shared<RecordingDelegate>();
    auto session = makeSession(delegate, *input.format);
    if (session) {
      for (size_t i = 0; i < input.samples.size(); ++i) session->enqueueSampleBuffer(input.samples[i], i);
      session->closeSession();
      ASSERT_TRUE(delegate->waitForAnswers(input.samples.size()));
    }
    const auto errors = delegate->errors();
    ASSERT_FALSE(errors.empty());
    for (const Reported& reported : errors) {
      EXPECT_EQ(reported.error.domain(), kQNVGLDecompressionErrorDomain);
      EXPECT_NE(reported.error.code(), 0);
      const platform::Value* source = reported.error.userInfo().find(kQNVDecompressionErrorSourceKey);
      ASSERT_NE(source, nullptr);
      EXPECT_EQ(source->asString(), input.source);
      EXPECT_EQ(reported.frameNumber.has_value(), std::string(input.source) == kQNVDecompressionSourceDataCallback);
    }
    for (const Yielded& frame : delegate->yielded()) {
      if (frame.image) {
        EXPECT_EQ(frame.image->width(), 160U);
        EXPECT_EQ(frame.image->height(), 90U);
      }
    }
  }
}

// One damaged sample in a P-frame: the decoder leaves its picture out and
// goes on, as ffmpeg does with the same file, and every number still gets
// an answer.
TEST(QNVDecompressionSessionTest, ADamagedSampleIsSkippedAndTheOthersDecodeAsFfmpegDoes) {
  const std::string source = testing::testMediaPath("video_only.mp4");
  const QNVTestVideoTrack clip = testing::loadVideoTrack(source);
  ASSERT_TRUE(clip.format.has_value());
  constexpr size_t kDamaged = 5;
  struct Damage {
    const char* name;
    void (*apply)(std::vector<uint8_t>& sample);
  };
  const Damage damages[] = {
      {"zero-length NAL unit", [](std::vector<uint8_t>& bytes) { std::fill(bytes.begin(), bytes.begin() + 4, 0); }},
      {"overlong NAL unit", [](std::vector<uint8_t>& bytes) { bytes[0] = 0x7f; }},
  };
  std::vector<uint8_t> file;
  {
    std::ifstream in(source, std::ios::binary);
    file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const std::vector<uint8_t>& original = clip.sampleBytes.at(kDamaged);
  const auto at = std::search(file.begin(), file.end(), original.begin(), original.end());
  ASSERT_NE(at, file.end());
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.name);
    std::vector<uint8_t> damaged = file;
    std::vector<uint8_t> bytes = original;
    damage.apply(bytes);
    std::copy(bytes.begin(), bytes.end(), damaged.begin() + (at - file.begin()));
    const std::string path = ::testing::TempDir() + "/qnv_damaged_sample.mp4";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(damaged.data()), static_cast<std::streamsize>(damaged.size()));
    const QNVTestVideoTrack track = testing::loadVideoTrack(path);
    ASSERT_TRUE(track.format.has_value());

    auto delegate = std::make_shared<RecordingDelegate>();
    auto session = makeSession(delegate, *track.format);
    ASSERT_NE(session, nullptr);
    for (size_t i = 0; i < track.samples.size(); ++i) session->enqueueSampleBuffer(track.samples[i], i);
    session->closeSession();
    ASSERT_TRUE(delegate->waitForAnswers(track.samples.size()));
    EXPECT_TRUE(delegate->errors().empty());
    std::vector<Yielded> pictures;
    for (const Yielded& frame : delegate->yielded()) {
      if (frame.image) {
        pictures.push_back(frame);
      } else {
        EXPECT_EQ(frame.frameNumber, kDamaged);
      }
    }
    std::stable_sort(pictures.begin(), pictures.end(),
                     [](const Yielded& a, const Yielded& b) { return a.presentationTime < b.presentationTime; });
    const size_t frameBytes = size_t{160} * 90 * 3 / 2;
    const auto oracle = testing::ffmpegFrames(path, "nv12", frameBytes);
    ASSERT_EQ(pictures.size(), track.samples.size() - 1);
    ASSERT_EQ(oracle.size(), pictures.size());
    for (size_t i = 0; i < pictures.size(); ++i) {
      const std::vector<uint8_t> decoded = testing::packedNV12(*pictures[i].image);
      EXPECT_GT(testing::psnr(decoded.data(), oracle[i].data(), frameBytes), 40.0) << "picture " << i;
    }
  }
}

}  // namespace
}  // namespace plexora

namespace plexora {
namespace {

TEST(QNVDecompressionSessionTest, RefusesSamplesAfterCloseAndAnswersEverySampleBefore) {
  const QNVTestVideoTrack track = testing::loadVideoTrack(testing::testMediaPath("video_only.mp4"));
  ASSERT_TRUE(track.format.has_value());
  auto delegate = std::make_shared<RecordingDelegate>();
  auto session = makeSession(delegate, *track.format);
  ASSERT_NE(session, nullptr);
  EXPECT_TRUE(session->canAcceptFormatDescription(*track.format));
  EXPECT_EQ(session->inputSize(), (platform::Size{160, 90}));
  session->enqueueSampleBuffer(track.samples[0], 0);
  session->enqueueSampleBuffer(track.samples[1], 1);
  session->closeSession();
  session->enqueueSampleBuffer(track.samples[2], 2);
  session->closeSession();
  EXPECT_FALSE(session->canAcceptFormatDescription(*track.format));
  ASSERT_TRUE(delegate->waitForAnswers(2));
  // The close drains on the session's own queue; a sync turn on a fresh
  // queue cannot tell when it is done, so wait for any stray third answer.
  EXPECT_FALSE(delegate->waitForAnswersFor(3, std::chrono::milliseconds(200)));
  EXPECT_TRUE(delegate->errors().empty());
}

}  // namespace
}  // namespace plexora
