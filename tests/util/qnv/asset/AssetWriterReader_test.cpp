// The platform asset writer and reader on a generated clip's samples (read
// with the MP4 parser, hence among the library's tests): what a written
// file reads back as, the reader's time range, and both sides' refusals.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/media/AssetReader.h"
#include "platform/media/AssetWriter.h"
#include "support/TempDir.h"
#include "util/qnv/support/QNVTestClip.h"

namespace plexora {
namespace {

using platform::AssetWriterStatus;
using platform::MediaTime;

class AssetWriterReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    track_ = testing::loadVideoTrack(testing::testMediaPath("video_only.mp4"));
    ASSERT_TRUE(track_.format.has_value());
  }

  std::shared_ptr<platform::AssetWriter> startedWriter(const std::string& path) {
    auto writer = platform::AssetWriter::create(path);
    input_ = platform::AssetWriterInput::create(*track_.format);
    writer->addInput(input_);
    writer->startWriting();
    return writer;
  }

  // The clip written whole; its path.
  std::string writtenClip() {
    const std::string path = (directory_ / "clip.mp4").string();
    auto writer = startedWriter(path);
    for (const auto& sample : track_.samples) EXPECT_TRUE(input_->appendSampleBuffer(sample));
    input_->markAsFinished();
    bool handled = false;
    writer->finishWriting([&handled] { handled = true; });
    EXPECT_TRUE(handled);
    EXPECT_EQ(writer->status(), AssetWriterStatus::kCompleted);
    return path;
  }

  testing::QNVTestVideoTrack track_;
  testing::TempDir directory_;
  std::shared_ptr<platform::AssetWriterInput> input_;
};

TEST_F(AssetWriterReaderTest, ReadsBackThePicturesPresentedInItsTimeRange) {
  const std::string path = writtenClip();
  struct Case {
    std::optional<platform::MediaTimeRange> range;
    size_t first;
    size_t count;
  };
  const MediaTime halfSecond = MediaTime::make(1, 2);
  const std::vector<Case> cases = {
      {std::nullopt, 0, 30},
      {platform::MediaTimeRange::make(halfSecond, MediaTime::make(1, 5)), 15, 6},  // 0.5 s up to 0.7 s
      {platform::MediaTimeRange::make(MediaTime::make(2, 1), MediaTime::make(1, 1)), 0, 0},  // after the clip
  };
  for (const Case& c : cases) {
    std::optional<platform::Error> error;
    auto reader = platform::AssetReader::create(path, &error);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->videoTrackCount(), 1U);
    if (c.range) reader->setTimeRange(*c.range);
    ASSERT_TRUE(reader->startReading());
    std::vector<MediaTime> times;
    while (auto sample = reader->copyNextSampleBuffer()) {
      ASSERT_NE(sample->imageBuffer, nullptr);
      times.push_back(sample->presentationTimeStamp);
    }
    EXPECT_EQ(reader->status(), platform::AssetReaderStatus::kCompleted);
    ASSERT_EQ(times.size(), c.count);
    for (size_t i = 0; i < times.size(); ++i) {
      EXPECT_EQ(times[i], track_.samples[c.first + i].presentationTimeStamp()) << "picture " << i;
    }
  }
}

TEST_F(AssetWriterReaderTest, WriterRefusalsFailItWithAReason) {
  struct Case {
    const char* name;
    std::function<bool()> attempt;
  };
  const std::vector<Case> cases = {
      {"file in a missing folder",
       [this] {
         auto writer = startedWriter((directory_ / "missing" / "clip.mp4").string());
         return writer->status() == AssetWriterStatus::kFailed && writer->error()->code() < 0;
       }},
      {"sample before the session's start",
       [this] {
         auto writer = startedWriter((directory_ / "a.mp4").string());
         writer->startSessionAtSourceTime(MediaTime::make(1, 1));
         return !input_->appendSampleBuffer(track_.samples[0]) &&
                writer->error()->code() == platform::kAssetWriterErrorInvalidSample;
       }},
      {"decode times going back",
       [this] {
         auto writer = startedWriter((directory_ / "b.mp4").string());
         return input_->appendSampleBuffer(track_.samples[1]) &&
                !input_->appendSampleBuffer(track_.samples[0]) &&
                writer->error()->code() == platform::kAssetWriterErrorInvalidSample;
       }},
      {"append before startWriting",
       [this] {
         auto writer = platform::AssetWriter::create((directory_ / "c.mp4").string());
         auto input = platform::AssetWriterInput::create(*track_.format);
         writer->addInput(input);
         return !input->appendSampleBuffer(track_.samples[0]) &&
                writer->error()->code() == platform::kAssetWriterErrorInvalidState;
       }},
  };
  for (const Case& c : cases) EXPECT_TRUE(c.attempt()) << c.name;
}

TEST_F(AssetWriterReaderTest, FilesThatAreNoMoviesGiveNoReader) {
  const std::string garbage = (directory_ / "garbage.mp4").string();
  std::ofstream(garbage) << "not a movie at all";
  for (const std::string& path : {garbage, (directory_ / "absent.mp4").string()}) {
    std::optional<platform::Error> error;
    EXPECT_EQ(platform::AssetReader::create(path, &error), nullptr) << path;
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->domain(), platform::kAssetReaderErrorDomain);
  }
}

}  // namespace
}  // namespace plexora
