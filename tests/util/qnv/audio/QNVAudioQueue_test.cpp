// The audio queue against the clocked platform sink: buffer sizing, a whole
// clip's packets played at their time on the manual clock, failure and
// teardown.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/dispatch/Clock.h"
#include "util/qnv/audio/QNVAudioQueue.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/support/QNVTestClip.h"

namespace plexora {
namespace {

using testing::QNVTestAudioTrack;

void onStateQueue(const std::function<void()>& work) { QNVMediaStateQueue()->sync(work); }

TEST(QNVAudioQueueSizingTest, BuffersHoldAboutThreeTenthsOfASecond) {
  struct Case {
    const char* name;
    double sampleRate;
    uint32_t framesPerPacket;
    uint32_t frameSize;
    uint32_t bufferSize;
    uint32_t packetCount;
  };
  const Case cases[] = {
      {"aac_44100", 44100, 1024, 768, 9216, 18},
      // Half-second packets count as 0.3 s: one packet, doubled, then raised
      // to the minimum size.
      {"long_packets", 2048, 1024, 100, 1024, 2},
      {"tiny_packets_raised", 44100, 1024, 10, 1024, 18},
      {"huge_packets_capped", 44100, 1024, 60000, 262144, 18},
      {"no_frames_per_packet", 44100, 0, 700, 1400, 2},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    platform::AudioStreamBasicDescription description;
    description.sampleRate = test.sampleRate;
    description.framesPerPacket = test.framesPerPacket;
    const AQBufferParameters parameters =
        QNVAudioQueue::_calculateBufferSizeAndPacketCountWithAsbd(description, test.frameSize);
    EXPECT_EQ(parameters.bufferSize, test.bufferSize);
    EXPECT_EQ(parameters.packetCount, test.packetCount);
  }
}

// Feeds a clip's packets in order, as the synchronous player would.
class PacketFeeder {
 public:
  explicit PacketFeeder(const QNVTestAudioTrack& track) : track_(track) {}

  QNVPlayerAudioEngine::PutDataCallback callback() {
    return [this](platform::AudioQueueBuffer& buffer, QNVAudioTimeStamp* startTime, const platform::MediaTime*,
                  bool* firstPacket) {
      ++calls;
      startTime->sampleTime = static_cast<double>(next_) * track_.description->framesPerPacket;
      startTime->flags = QNVAudioTimeStamp::kSampleTimeValid;
      *firstPacket = next_ == 0;
      uint32_t offset = 0;
      while (next_ < track_.packets.size() && buffer.packetDescriptionCount < buffer.packetDescriptionCapacity &&
             offset + track_.packets[next_].size() <= buffer.audioDataBytesCapacity) {
        const auto& packet = track_.packets[next_++];
        std::copy(packet.begin(), packet.end(), buffer.audioData.begin() + offset);
        buffer.packetDescriptions[buffer.packetDescriptionCount++] = {offset, 0, static_cast<uint32_t>(packet.size())};
        offset += static_cast<uint32_t>(packet.size());
      }
      buffer.audioDataByteSize = offset;
      return next_ < track_.packets.size();
    };
  }
  std::atomic<int> calls{0};

 private:
  const QNVTestAudioTrack& track_;
  size_t next_ = 0;
};

class QNVAudioQueueTest : public ::testing::TestWithParam<const char*> {
 protected:
  std::shared_ptr<platform::ManualClock> manualClock_ = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock_{manualClock_};
  std::shared_ptr<QNVAudioQueue> queue_ = QNVAudioQueue::create();
  std::vector<platform::Error> errors_;

  QNVPlayerAudioEngine::ErrorCallback errorCallback() {
    return [this](const platform::Error& error) { errors_.push_back(error); };
  }

  // The player's playback timer asks for more data as the clock moves.
  void play(double seconds, double step = 0.05) {
    for (double elapsed = 0; elapsed < seconds; elapsed += step) {
      manualClock_->advance(step);
      onStateQueue([&] { queue_->resumeEnqueuingData(); });
      // The sink's notifications hop through its own queue to the state
      // queue even when no clock wakeup settled them.
      platform::DispatchQueue::settle();
    }
  }
};

TEST_P(QNVAudioQueueTest, PlaysExactlyTheClipsPacketsAtTheirTime) {
  const QNVTestAudioTrack track = testing::loadAudioTrack(testing::testMediaPath(GetParam()));
  ASSERT_TRUE(track.description.has_value());
  PacketFeeder feeder(track);
  onStateQueue([&] {
    queue_->setAudioStreamBasicDescription(*track.description, {}, feeder.callback(), errorCallback(),
                                           track.largestPacket);
    queue_->playWithStartTime(platform::MediaTime::zero());
    EXPECT_EQ(queue_->_queueState(), QNVAudioQueue::kRunning);
  });
  const double rate = track.description->sampleRate;
  const double frames = static_cast<double>(track.packets.size()) * track.description->framesPerPacket -
                        QNVAudioQueue::kFirstPacketTrimFrames;
  // Three buffers are enqueued at once; only the first has begun to play.
  play(0.1);
  auto output = queue_->outputQueue();
  ASSERT_NE(output, nullptr);
  EXPECT_EQ(output->playedBuffers().size(), 1U) << "nothing plays before its time";
  play(frames / rate + 0.4);

  std::vector<std::vector<uint8_t>> played;
  uint64_t playedFrames = 0;
  double expectedStart = 0;
  for (const auto& buffer : output->playedBuffers()) {
    EXPECT_DOUBLE_EQ(buffer.startSampleTime, expectedStart);
    expectedStart += static_cast<double>(buffer.packetCount) * track.description->framesPerPacket;
    played.insert(played.end(), buffer.packets.begin(), buffer.packets.end());
    playedFrames += buffer.frames;
  }
  EXPECT_EQ(played, track.packets);
  EXPECT_EQ(static_cast<double>(playedFrames), frames);
  EXPECT_TRUE(errors_.empty());
  onStateQueue([&] {
    queue_->stop();
    queue_->invalidate();
  });
}

INSTANTIATE_TEST_SUITE_P(GeneratedClips, QNVAudioQueueTest,
                         ::testing::Values("baseline_aac_moov_first.mp4", "opus.mp4"), [](const auto& info) {
                           return std::string(info.param).substr(0, std::string(info.param).find('.'));
                         });

class QNVAudioQueueFailureTest : public QNVAudioQueueTest {};

TEST_F(QNVAudioQueueFailureTest, PacketOutsideItsBufferFailsTheQueueForGoodThroughPause) {
  const QNVTestAudioTrack track = testing::loadAudioTrack(testing::testMediaPath("baseline_aac_moov_first.mp4"));
  ASSERT_TRUE(track.description.has_value());
  std::atomic<int> calls{0};
  auto overrunning = [&](platform::AudioQueueBuffer& buffer, QNVAudioTimeStamp*, const platform::MediaTime*, bool*) {
    ++calls;
    buffer.audioDataByteSize = 16;
    buffer.packetDescriptions[0] = {8, 0, 64};  // ends past the 16 bytes the buffer holds
    buffer.packetDescriptionCount = 1;
    return true;
  };
  onStateQueue([&] {
    queue_->setAudioStreamBasicDescription(*track.description, {}, overrunning, errorCallback(), 768);
    queue_->playWithStartTime(platform::MediaTime::zero());
  });
  play(0.1);
  onStateQueue([&] {
    EXPECT_EQ(queue_->_queueState(), QNVAudioQueue::kFailed);
    queue_->pause();
    EXPECT_EQ(queue_->_queueState(), QNVAudioQueue::kFailed);
    queue_->playWithStartTime(platform::MediaTime::zero());
  });
  const int callsAfterFailure = calls;
  play(0.5);
  EXPECT_EQ(calls, callsAfterFailure);
  ASSERT_EQ(errors_.size(), 1U);
  EXPECT_EQ(errors_[0].domain(), kQNVAudioQueueErrorDomain);
  EXPECT_EQ(errors_[0].code(), kQNVAudioQueueErrorEnqueue);
  onStateQueue([&] { queue_->invalidate(); });
}

TEST_F(QNVAudioQueueFailureTest, NothingReachesTheOwnerAfterInvalidate) {
  const QNVTestAudioTrack track = testing::loadAudioTrack(testing::testMediaPath("baseline_aac_moov_first.mp4"));
  ASSERT_TRUE(track.description.has_value());
  PacketFeeder feeder(track);
  onStateQueue([&] {
    queue_->setAudioStreamBasicDescription(*track.description, {}, feeder.callback(), errorCallback(),
                                           track.largestPacket);
    queue_->playWithStartTime(platform::MediaTime::zero());
  });
  play(0.2);
  ASSERT_GT(feeder.calls, 0);
  onStateQueue([&] { queue_->invalidate(); });
  const int callsBefore = feeder.calls;
  manualClock_->advance(2);
  platform::DispatchQueue::settle();
  EXPECT_EQ(feeder.calls, callsBefore);
  EXPECT_EQ(queue_->outputQueue(), nullptr);
  EXPECT_TRUE(errors_.empty());
}

TEST_F(QNVAudioQueueFailureTest, CallbackThatNeverGivesPacketsCannotSpinTheFillLoop) {
  const QNVTestAudioTrack track = testing::loadAudioTrack(testing::testMediaPath("baseline_aac_moov_first.mp4"));
  ASSERT_TRUE(track.description.has_value());
  std::atomic<int> calls{0};
  auto empty = [&](platform::AudioQueueBuffer&, QNVAudioTimeStamp*, const platform::MediaTime*, bool*) {
    ++calls;
    return true;
  };
  onStateQueue([&] {
    queue_->setAudioStreamBasicDescription(*track.description, {}, empty, errorCallback(), 768);
    queue_->playWithStartTime(platform::MediaTime::zero());
  });
  // The fill tried again once the queue's clock has moved, and the one the
  // owner asks for later, each give up after a bounded number of answers.
  manualClock_->advance(0.1);
  platform::DispatchQueue::settle();
  onStateQueue([] {});
  EXPECT_EQ(calls, 64);
  onStateQueue([&] { queue_->resumeEnqueuingData(); });
  EXPECT_EQ(calls, 128);
  onStateQueue([&] { queue_->invalidate(); });
}

TEST_F(QNVAudioQueueFailureTest, VolumeSetBeforeTheStreamRampsInFromSilence) {
  const QNVTestAudioTrack track = testing::loadAudioTrack(testing::testMediaPath("baseline_aac_moov_first.mp4"));
  ASSERT_TRUE(track.description.has_value());
  PacketFeeder feeder(track);
  onStateQueue([&] {
    queue_->setVolume(0.8f, 1.0f);
    queue_->setAudioStreamBasicDescription(*track.description, {}, feeder.callback(), errorCallback(),
                                           track.largestPacket);
    queue_->playWithStartTime(platform::MediaTime::zero());
  });
  play(0.1);
  const auto changes = queue_->outputQueue()->volumeChanges();
  ASSERT_EQ(changes.size(), 3U);
  EXPECT_EQ(changes[0].volume, 0.0f);     // silent at the start
  EXPECT_EQ(changes[1].rampTime, 1.0f);   // then the ramp time
  EXPECT_EQ(changes[2].volume, 0.8f);     // and the volume it ramps to
  onStateQueue([&] { queue_->invalidate(); });
}

}  // namespace
}  // namespace plexora
