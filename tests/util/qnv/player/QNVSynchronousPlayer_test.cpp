// The synchronous player over scripted collaborators on the real clock and
// the manual platform clock: play and pause, pumping bounds, the end of the
// item, stalls, seeks, mute, audio packing and the application's state.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/NotificationCenter.h"
#include "support/qnv/QNVExpectedSoftAssertions.h"
#include "util/qnv/core/QNVFrameFlags.h"
#include "util/qnv/player/QNVSynchronousPlayer.h"
#include "util/qnv/player/QNVSynchronousPlayerDoubles.h"

namespace plexora {
namespace {

using platform::MediaTime;
using testing::RecordingAudioEngine;
using testing::RecordingDisplayEngine;
using testing::ScriptedItem;

class RecordingDelegate final : public QNVSynchronousPlayerDelegate {
 public:
  std::vector<int64_t> statuses;
  std::vector<float> rates;
  std::vector<std::shared_ptr<QNVAssetForPlayer>> items;
  void statusUpdated(int64_t status) override { statuses.push_back(status); }
  void currentItemUpdated(const std::shared_ptr<QNVAssetForPlayer>& item) override { items.push_back(item); }
  void rateUpdated(float rate) override { rates.push_back(rate); }
};

// Counts a notification posted for one object.
class PostedCount {
 public:
  PostedCount(const char* name, const void* object) {
    token_ = platform::NotificationCenter::defaultCenter().addObserver(
        name, object, nullptr, [this](const platform::Notification&) { ++count; });
  }
  ~PostedCount() { platform::NotificationCenter::defaultCenter().removeObserver(token_); }
  PostedCount(const PostedCount&) = delete;
  PostedCount& operator=(const PostedCount&) = delete;
  int count = 0;

 private:
  platform::NotificationCenter::ObserverToken token_ = 0;
};

MediaTime seconds(double value) { return MediaTime::make(static_cast<int64_t>(value * 1000), 1000); }

class QNVSynchronousPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    item_->tracks[kQNVVideoTrack] = testing::framesEvery(1.0 / 30, 4);
    item_->tracks[kQNVAudioTrack] = testing::framesEvery(1024.0 / 44100, 4, 300);
    onQueue([&] {
      player_ = QNVSynchronousPlayer::initWithDisplayEngine(layer_, audio_, clock_, QNVMediaStateQueue(), false);
      player_->setDelegate(delegate_);
    });
  }
  void TearDown() override {
    onQueue([&] { player_.reset(); });
  }

  static void onQueue(const std::function<void()>& work) {
    QNVMediaStateQueue()->sync(work);
    platform::DispatchQueue::settle();
  }
  void advance(double value) {
    manualClock_->advance(value);
    platform::DispatchQueue::settle();
  }
  void startPlaying() {
    onQueue([&] {
      player_->replaceCurrentItemWithPlayerItem(item_);
      player_->play();
    });
  }
  double clockSeconds() const { return clock_->currentTime().seconds(); }
  bool clockHolds(const std::shared_ptr<QNVPlayerTimeObserver>& observer) const {
    std::vector<std::shared_ptr<QNVPlayerTimeObserver>> observers;
    onQueue([&] { observers = clock_->observers(); });
    return std::find(observers.begin(), observers.end(), observer) != observers.end();
  }

  std::shared_ptr<platform::ManualClock> manualClock_ = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock_{manualClock_};
  std::shared_ptr<RecordingDisplayEngine> layer_ = std::make_shared<RecordingDisplayEngine>();
  std::shared_ptr<RecordingAudioEngine> audio_ = std::make_shared<RecordingAudioEngine>();
  std::shared_ptr<QNVRealClock> clock_ = QNVRealClock::create();
  std::shared_ptr<ScriptedItem> item_ = std::make_shared<ScriptedItem>();
  std::shared_ptr<RecordingDelegate> delegate_ = std::make_shared<RecordingDelegate>();
  std::shared_ptr<QNVSynchronousPlayer> player_;
};

TEST_F(QNVSynchronousPlayerTest, PlayBeforeAnItemStartsWhenTheItemArrivesAndFillsTheBufferOnce) {
  onQueue([&] { player_->play(); });
  EXPECT_TRUE(player_->playerState().playingRequested);
  EXPECT_TRUE(delegate_->rates.empty());
  onQueue([&] { player_->replaceCurrentItemWithPlayerItem(item_); });

  EXPECT_EQ(delegate_->items, std::vector<std::shared_ptr<QNVAssetForPlayer>>{item_});
  EXPECT_EQ(delegate_->statuses.back(), kQNVPlayerStatusReadyToPlay);
  EXPECT_EQ(delegate_->rates, std::vector<float>{1.0f});
  EXPECT_TRUE(layer_->resumed);
  // Frames go in up to the first one beyond 2.5 s ahead of the clock.
  ASSERT_FALSE(layer_->enqueued.empty());
  EXPECT_GT(layer_->enqueued.back().presentationTime.seconds(), 2.5);
  EXPECT_LT(layer_->enqueued.back().presentationTime.seconds(), 2.6);
  EXPECT_TRUE(player_->playerState().stoppedEnqueuingVideo);
  EXPECT_TRUE(layer_->enqueued.front().displayImmediately);
  EXPECT_TRUE(std::none_of(layer_->enqueued.begin() + 1, layer_->enqueued.end(),
                           [](const auto& frame) { return frame.displayImmediately; }));

  // The tick at 1.2 s finds less than the 1.5 s minimum ahead and pumps
  // again, up to 2.5 s beyond that tick; the tick before found enough.
  advance(1.1);
  const size_t before = layer_->enqueued.size();
  advance(0.15);
  EXPECT_GT(layer_->enqueued.size(), before);
  EXPECT_GT(layer_->enqueued.back().presentationTime.seconds(), 1.2 + 2.5);
}

TEST_F(QNVSynchronousPlayerTest, TheEndPausesOnceAndBlocksPlayUntilASeek) {
  item_->itemDuration = seconds(1);
  PostedCount ended(kAVPlayerItemDidPlayToEndTimeNotification, item_.get());
  startPlaying();
  onQueue([&] { player_->play(); });
  EXPECT_EQ(delegate_->rates, std::vector<float>{1.0f}) << "a second play changes nothing";

  advance(1.1);
  EXPECT_EQ(ended.count, 1);
  EXPECT_TRUE(player_->playerState().endTimeReached);
  EXPECT_EQ(player_->rate(), 0.0f);
  onQueue([&] { player_->play(); });
  EXPECT_EQ(player_->rate(), 0.0f);

  bool answered = false;
  onQueue([&] { player_->seekToTime(seconds(0.5), [&](bool finished) { answered = finished; }); });
  EXPECT_TRUE(answered);
  EXPECT_FALSE(player_->playerState().endTimeReached);
  onQueue([&] { player_->play(); });
  EXPECT_EQ(player_->rate(), 1.0f);
}

TEST_F(QNVSynchronousPlayerTest, OnlyRatesZeroAndOneDoAnything) {
  startPlaying();
  const struct {
    float rate;
    float expected;
  } cases[] = {{0.5f, 1.0f}, {0.0f, 0.0f}, {2.0f, 0.0f}, {1.0f, 1.0f}, {-1.0f, 1.0f}};
  for (const auto& entry : cases) {
    testing::QNVExpectedSoftAssertions expected;
    onQueue([&] { player_->setRate(entry.rate); });
    EXPECT_EQ(player_->rate(), entry.expected) << "after setRate " << entry.rate;
    EXPECT_EQ(expected.sawReason("Only valid rates with the QNVPlayer are 0.0 or 1.0."),
              entry.rate != 0.0f && entry.rate != 1.0f)
        << entry.rate;
  }
}

TEST_F(QNVSynchronousPlayerTest, StallsBeforeAndAfterTheStartAndResumesWhenTheItemSaysSo) {
  item_->stallNow = true;
  PostedCount stalled(kAVPlayerItemPlaybackStalledNotification, item_.get());
  startPlaying();
  ASSERT_FALSE(item_->stallReasons.empty());
  EXPECT_EQ(item_->stallReasons.front(), kQNVPauseReasonStallBeforeStart);
  EXPECT_TRUE(player_->playerState().isStalled);
  EXPECT_TRUE(player_->playerState().playingRequested);
  EXPECT_EQ(player_->rate(), 0.0f);
  EXPECT_EQ(stalled.count, 1);

  item_->stallNow = false;
  item_->restartNow = true;
  advance(0.2);
  EXPECT_FALSE(player_->playerState().isStalled);
  EXPECT_EQ(player_->rate(), 1.0f);
  EXPECT_EQ(player_->status(), kQNVPlayerStatusReadyToPlay);

  // Later stalls come from the running stall observer: reason 3, and the
  // time play was asked at stays.
  advance(0.9);
  const MediaTime requested = player_->lastRequestedStartTime();
  item_->stallNow = true;
  item_->stallReasons.clear();
  advance(0.2);
  ASSERT_FALSE(item_->stallReasons.empty());
  EXPECT_EQ(item_->stallReasons.back(), kQNVPauseReasonStallAfterStart);
  EXPECT_EQ(layer_->pauses.back(), kQNVPauseReasonStallAfterStart);
  EXPECT_EQ(player_->lastRequestedStartTime(), requested);
  EXPECT_GT(player_->lastStartingTime(), requested);
}

TEST_F(QNVSynchronousPlayerTest, ARefusedSeekAnswersFalseLeavesTheClockAndAnswersAPendingFrameSeek) {
  onQueue([&] { player_->replaceCurrentItemWithPlayerItem(item_); });
  layer_->capacity = 0;  // the layer never catches up
  std::vector<bool> frameSeek;
  onQueue([&] {
    player_->seekToTime(seconds(2), MediaTime::zero(), MediaTime::zero(),
                        [&](bool finished) { frameSeek.push_back(finished); });
  });
  advance(0.2);
  EXPECT_TRUE(frameSeek.empty()) << "still waiting for frames up to the target";
  EXPECT_DOUBLE_EQ(clockSeconds(), 2.0);

  item_->seekSucceeds = false;
  std::vector<bool> refused;
  onQueue([&] { player_->seekToTime(seconds(3), [&](bool finished) { refused.push_back(finished); }); });
  EXPECT_EQ(refused, std::vector<bool>{false});
  EXPECT_EQ(frameSeek, std::vector<bool>{false});
  EXPECT_DOUBLE_EQ(clockSeconds(), 2.0);
}

TEST_F(QNVSynchronousPlayerTest, AFrameSeekEndsWhenTheLayerHasTheTargetAndStaysSuspendedThroughOrdinarySeeks) {
  onQueue([&] { player_->replaceCurrentItemWithPlayerItem(item_); });
  std::vector<bool> answers;
  onQueue([&] {
    player_->seekToTime(seconds(2), seconds(1), MediaTime::positiveInfinity(),
                        [&](bool finished) { answers.push_back(finished); });
  });
  advance(0.2);
  EXPECT_EQ(answers, std::vector<bool>{true});
  EXPECT_GE(player_->playerState().latestEnqueuedVideoPts.seconds(), 2.0);
  const auto flushObserver = player_->playerState().sampleBufferFlushTimerObserver;
  ASSERT_NE(flushObserver, nullptr);
  EXPECT_TRUE(flushObserver->suspended);

  onQueue([&] { player_->seekToTime(seconds(1), nullptr); });
  EXPECT_TRUE(clockHolds(flushObserver));
  EXPECT_TRUE(flushObserver->suspended) << "an ordinary seek does not restart the frame-seek flush";

  // Playing, or an infinite tolerance before, seeks ordinarily: answered at once.
  answers.clear();
  onQueue([&] {
    player_->seekToTime(seconds(1), MediaTime::positiveInfinity(), MediaTime::zero(),
                        [&](bool finished) { answers.push_back(finished); });
    player_->play();
    player_->seekToTime(seconds(2), MediaTime::zero(), MediaTime::zero(),
                        [&](bool finished) { answers.push_back(finished); });
  });
  EXPECT_EQ(answers, (std::vector<bool>{true, true}));
  EXPECT_TRUE(flushObserver->suspended);
}

TEST_F(QNVSynchronousPlayerTest, MutingTwiceOrWithoutAudioTouchesNoAudioEngine) {
  startPlaying();
  onQueue([&] { player_->setMuted(true); });
  EXPECT_EQ(audio_->invalidations, 2) << "once by the replace, once by the mute";
  EXPECT_FALSE(player_->playerState().audioEngineInitialized);
  EXPECT_EQ(audio_->volumes.back(), std::make_pair(0.0f, 0.0f));
  onQueue([&] { player_->setMuted(true); });
  EXPECT_EQ(audio_->invalidations, 2);

  // Unmuting while playing starts the audio at the clock, skipping what has
  // finished playing before it (the packet still playing is kept).
  advance(1.0);
  onQueue([&] { player_->setMuted(false); });
  EXPECT_TRUE(player_->playerState().audioEngineInitialized);
  ASSERT_FALSE(audio_->playStarts.empty());
  EXPECT_NEAR(audio_->playStarts.back().seconds(), clockSeconds(), 1e-6);
  // The scripted item gives every frame 1/30 s.
  const double kept = item_->tracks[kQNVAudioTrack][item_->position[kQNVAudioTrack]].time.seconds();
  EXPECT_GE(kept + 1.0 / 30.0, 1.0);
  EXPECT_LE(kept, 1.0);

  item_->hasAudio = false;
  const int invalidations = audio_->invalidations;
  onQueue([&] { player_->setMuted(true); });
  EXPECT_TRUE(player_->isMuted());
  EXPECT_EQ(audio_->invalidations, invalidations);
}

TEST_F(QNVSynchronousPlayerTest, AudioBuffersTakeWholePacketsUpToTheirLimits) {
  auto& audio = item_->tracks[kQNVAudioTrack];
  audio[0].flags = kQNVFrameFlagFirstAudioPacketOfRun;
  audio[2].flags = kQNVFrameFlagLastAudioPacketOfRun;
  startPlaying();
  ASSERT_TRUE(audio_->putData);

  struct Case {
    const char* name;
    uint32_t bytes;
    uint32_t packets;
    uint32_t expectedPackets;
    bool expectedFirst;
  };
  // Positions 0, 1, 2 (run ends), then 3..: the byte limit, then the
  // description limit.
  const Case cases[] = {{"run end closes the buffer", 10000, 10, 3, true},
                        {"byte capacity", 700, 10, 2, false},
                        {"description capacity", 10000, 1, 1, false}};
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.name);
    auto buffer = testing::audioBuffer(entry.bytes, entry.packets);
    QNVAudioTimeStamp start;
    bool first = false;
    bool more = false;
    onQueue([&] { more = audio_->putData(buffer, &start, nullptr, &first); });
    EXPECT_TRUE(more);
    EXPECT_EQ(buffer.packetDescriptionCount, entry.expectedPackets);
    EXPECT_EQ(buffer.audioDataByteSize, entry.expectedPackets * 300);
    EXPECT_EQ(buffer.packetDescriptions[0].dataByteSize, 300U);
    EXPECT_EQ(first, entry.expectedFirst);
    EXPECT_EQ(start.flags, QNVAudioTimeStamp::kSampleTimeValid);
  }

  // A packet larger than an empty buffer is an audio error: the player mutes.
  auto tiny = testing::audioBuffer(100, 4);
  bool more = true;
  onQueue([&] { more = audio_->putData(tiny, nullptr, nullptr, nullptr); });
  EXPECT_FALSE(more);
  ASSERT_EQ(item_->loggedErrors.size(), 1U);
  EXPECT_EQ(item_->loggedErrors[0].domain(), kQNVAudioQueueErrorDomain);
  EXPECT_EQ(item_->loggedErrors[0].code(), kQNVAudioQueueErrorPacketTooLarge);
  EXPECT_TRUE(player_->isMuted());
}

TEST_F(QNVSynchronousPlayerTest, InactiveAndActiveAgainEndsPausedWhereItStopped) {
  startPlaying();
  advance(1.5);
  const double stoppedAt = clockSeconds();
  onQueue([&] { player_->applicationWillResignActive(); });
  EXPECT_EQ(player_->rate(), 0.0f);
  EXPECT_EQ(player_->status(), kQNVPlayerStatusUnknown);
  EXPECT_EQ(item_->pauseReasons.back(), kQNVPauseReasonApplicationInactive);
  advance(5);
  onQueue([&] { player_->applicationDidBecomeActive(); });
  EXPECT_EQ(player_->rate(), 0.0f);
  EXPECT_NEAR(clockSeconds(), stoppedAt, 1.0 / 30) << "back at the frame it stopped on";
  EXPECT_FALSE(player_->playerState().backgroundPauseTime.isValid());
  onQueue([&] { player_->play(); });
  EXPECT_EQ(player_->rate(), 1.0f);
}

TEST_F(QNVSynchronousPlayerTest, ALayerErrorFailsOnceAndAFailedLayerIsRebuiltWhenPlayResumes) {
  startPlaying();
  const platform::Error error("QNVPlayerLayer", 7);
  onQueue([&] {
    player_->layerUpdatedWithError(error);
    player_->layerUpdatedWithError(platform::Error("QNVPlayerLayer", 8));
  });
  EXPECT_EQ(std::count(delegate_->statuses.begin(), delegate_->statuses.end(), kQNVPlayerStatusFailed), 1);
  ASSERT_TRUE(player_->error().has_value());
  EXPECT_EQ(player_->error()->code(), 7) << "the second error is only logged";
  EXPECT_EQ(player_->rate(), 0.0f);

  layer_->layerStatus = kQNVPlayerLayerStatusFailed;
  layer_->flushClearsError = true;
  onQueue([&] { player_->play(); });
  EXPECT_EQ(layer_->errorFlushes, 1);
  EXPECT_EQ(player_->rate(), 1.0f);
  EXPECT_EQ(player_->status(), kQNVPlayerStatusReadyToPlay);
  EXPECT_FALSE(player_->error().has_value());
  EXPECT_TRUE(player_->playerState().isFirstVideoFrame) << "the rebuilt layer's first frame shows at once";
}

TEST_F(QNVSynchronousPlayerTest, ReplacingWithNoneClearsEverythingTheOldItemSetUp) {
  startPlaying();
  std::shared_ptr<QNVPlayerTimeObserver> levelObserver;
  onQueue([&] {
    player_->addLevelMeterCallback([](double) {}, seconds(0.1));
    levelObserver = player_->playerState().levelMeterTimerObserver;
  });
  ASSERT_NE(levelObserver, nullptr);
  advance(1);
  onQueue([&] { player_->replaceCurrentItemWithPlayerItem(nullptr); });
  EXPECT_EQ(delegate_->items.back(), nullptr);
  EXPECT_EQ(clock_->currentTime(), MediaTime::zero());
  EXPECT_TRUE(layer_->enqueued.empty());
  EXPECT_EQ(player_->rate(), 0.0f);
  EXPECT_FALSE(clockHolds(levelObserver)) << "the old item's level meter stops firing";
  onQueue([&] { EXPECT_TRUE(clock_->observers().empty()); });
}

}  // namespace
}  // namespace plexora
