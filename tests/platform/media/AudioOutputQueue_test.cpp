// The device stand-in's timeline on the manual clock: when buffers play,
// count as played and come back. The packets need not decode for that.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/media/AudioOutputQueue.h"

namespace plexora::platform {
namespace {

class AudioOutputQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AudioStreamBasicDescription description;
    description.sampleRate = 44100;
    description.formatID = kAudioFormatMPEG4AAC;
    description.framesPerPacket = 1024;
    description.channelsPerFrame = 2;
    AudioOutputQueue::Callbacks callbacks;
    callbacks.bufferReturned = [this](AudioOutputQueue&, const std::shared_ptr<AudioQueueBuffer>&) {
      returned_.fetch_add(1);
    };
    ASSERT_EQ(AudioOutputQueue::newOutput(description, std::move(callbacks), queue_), kAudioQueueOK);
  }
  void TearDown() override { queue_->dispose(); }

  // A buffer of two four-byte packets: 2048 frames.
  std::shared_ptr<AudioQueueBuffer> twoPackets() {
    std::shared_ptr<AudioQueueBuffer> buffer;
    EXPECT_EQ(queue_->allocateBufferWithPacketDescriptions(64, 4, buffer), kAudioQueueOK);
    buffer->packetDescriptions[0] = {0, 0, 4};
    buffer->packetDescriptions[1] = {4, 0, 4};
    buffer->packetDescriptionCount = 2;
    buffer->audioDataByteSize = 8;
    return buffer;
  }
  void advance(double seconds) {
    clock_->advance(seconds);
    DispatchQueue::settle();
  }

  std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>();
  ScopedClock scopedClock_{clock_};
  std::shared_ptr<AudioOutputQueue> queue_;
  std::atomic<int> returned_{0};
};

// A start time the queue has passed leaves the buffer at that time, late,
// and the buffer after it follows on from its end.
TEST_F(AudioOutputQueueTest, ALateBufferKeepsItsTime) {
  ASSERT_EQ(queue_->start(0.0), kAudioQueueOK);
  ASSERT_EQ(queue_->enqueueBufferWithParameters(twoPackets(), 0, -1024.0), kAudioQueueOK);
  ASSERT_EQ(queue_->enqueueBufferWithParameters(twoPackets(), 0, std::nullopt), kAudioQueueOK);
  advance(0.1);
  const auto played = queue_->playedBuffers();
  ASSERT_EQ(played.size(), 2U);
  EXPECT_EQ(played[0].startSampleTime, -1024.0);
  EXPECT_EQ(played[1].startSampleTime, 1024.0);
  EXPECT_EQ(returned_.load(), 2);
}

// A buffer counts as played from its start, so a pause inside it keeps it;
// it comes back only once its end has passed.
TEST_F(AudioOutputQueueTest, ABufferCountsAsPlayedOnceItBegins) {
  ASSERT_EQ(queue_->start(0.0), kAudioQueueOK);
  ASSERT_EQ(queue_->enqueueBufferWithParameters(twoPackets(), 0, 4410.0), kAudioQueueOK);
  advance(0.09);
  EXPECT_TRUE(queue_->playedBuffers().empty()) << "nothing plays before its time";
  advance(0.02);
  ASSERT_EQ(queue_->playedBuffers().size(), 1U);
  EXPECT_EQ(queue_->playedBuffers()[0].packets.size(), 2U);
  ASSERT_EQ(queue_->pause(), kAudioQueueOK);
  advance(1.0);
  EXPECT_EQ(queue_->playedBuffers().size(), 1U);
  EXPECT_EQ(returned_.load(), 0) << "the paused queue still holds the buffer";
  ASSERT_EQ(queue_->start(std::nullopt), kAudioQueueOK);
  advance(0.05);
  EXPECT_EQ(queue_->playedBuffers().size(), 1U) << "played once";
  EXPECT_EQ(returned_.load(), 1);
}

// An hour of looping playback must not keep every packet it played: the
// record holds the latest buffers only, in order, and the one just played is
// always in it.
TEST_F(AudioOutputQueueTest, TheRecordKeepsTheLatestBuffersOfALongPlayback) {
  constexpr int kBuffers = 10000;
  constexpr double kBufferSeconds = 2048.0 / 44100.0;
  ASSERT_EQ(queue_->start(0.0), kAudioQueueOK);
  for (int i = 0; i < kBuffers; ++i) {
    ASSERT_EQ(queue_->enqueueBufferWithParameters(twoPackets(), 0, std::nullopt), kAudioQueueOK);
    advance(kBufferSeconds);
  }
  const auto played = queue_->playedBuffers();
  ASSERT_FALSE(played.empty());
  EXPECT_LT(played.size(), static_cast<size_t>(kBuffers));
  EXPECT_GE(played.size(), 4096U) << "a whole ad's worth stays";
  EXPECT_EQ(played.back().startSampleTime, 2048.0 * (kBuffers - 1));
  for (size_t i = 1; i < played.size(); ++i) {
    ASSERT_EQ(played[i].startSampleTime, played[i - 1].startSampleTime + 2048.0) << i;
  }
}

// A host never listens to the record: with it off, buffers play and come
// back as before, and the queue keeps no copy of their packets.
TEST_F(AudioOutputQueueTest, WithoutRecordingBuffersPlayAndNothingIsKept) {
  struct RecordingOff {
    RecordingOff() { AudioOutputQueue::setRecordsPlayedBuffers(false); }
    ~RecordingOff() { AudioOutputQueue::setRecordsPlayedBuffers(true); }
  } off;
  ASSERT_EQ(queue_->start(0.0), kAudioQueueOK);
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(queue_->enqueueBufferWithParameters(twoPackets(), 0, std::nullopt), kAudioQueueOK);
  }
  advance(0.2);
  EXPECT_EQ(returned_.load(), 3);
  EXPECT_TRUE(queue_->playedBuffers().empty());
  double sampleTime = 0;
  bool discontinuity = false;
  ASSERT_EQ(queue_->getCurrentTime(sampleTime, discontinuity), kAudioQueueOK);
  EXPECT_NEAR(sampleTime, 0.2 * 44100, 1.0) << "the queue's time runs on";
}

}  // namespace
}  // namespace plexora::platform
