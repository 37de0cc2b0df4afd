// Doubles for the synchronous player's collaborators: an item whose frames
// are scripted in memory, a display engine that records what it was handed,
// and an audio engine that records its calls and lets the test fill buffers
// through the player's data callback. The real clock runs underneath.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "util/qnv/audio/QNVAudioQueue.h"
#include "util/qnv/asset/QNVMediaAsset.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/render/QNVPlayerDisplayEngine.h"

namespace plexora::testing {

struct ScriptedFrame {
  platform::MediaTime time;  // presentation and decode time
  uint32_t size = 4;
  uint32_t flags = 0;
};

// Frames every `step` seconds up to `seconds`.
std::vector<ScriptedFrame> framesEvery(double step, double seconds, uint32_t size = 4);

class ScriptedItem final : public QNVAssetForPlayer {
 public:
  std::vector<ScriptedFrame> tracks[2];
  size_t position[2] = {0, 0};
  // Frames from this index on are "not ready yet".
  size_t readyLimit[2] = {SIZE_MAX, SIZE_MAX};
  bool hasAudio = true;
  bool seekSucceeds = true;
  bool bufferEarly = false;
  platform::MediaTime itemDuration = platform::MediaTime::make(10, 1);
  // What the stall checks answer, and what they were asked with.
  bool stallNow = false;
  bool restartNow = false;
  std::vector<int32_t> stallReasons;
  std::vector<int32_t> pauseReasons;
  std::vector<platform::Error> loggedErrors;
  std::optional<std::string> representation;

  std::shared_ptr<const platform::VideoFormatDescription> formatDesc() const override;
  platform::AudioStreamBasicDescription asbd() const override;
  platform::Dictionary audioStreamExtraParameters() const override { return {}; }
  platform::MediaTime duration() const override { return itemDuration; }
  bool containsTrack(QNVTrackIndex track) const override {
    return track == kQNVVideoTrack || (track == kQNVAudioTrack && hasAudio);
  }
  void addErrorToLog(const platform::Error& error, bool) override { loggedErrors.push_back(error); }
  std::optional<std::string> representationId() const override { return representation; }
  bool trackHasMoreFrames(QNVTrackIndex track) override;
  QNVFrameMetadata currentFrameMetadataForTrack(QNVTrackIndex track) override;
  const uint8_t* currentFrameDataForTrack(QNVTrackIndex track) override;
  void advanceFrameForTrack(QNVTrackIndex track) override;
  void updatePlaybackTime(const platform::MediaTime&) override {}
  bool shouldPauseForStallingWithNextCheckCallback(StallCheckCallback, int32_t stallReason) override {
    stallReasons.push_back(stallReason);
    return stallNow;
  }
  bool shouldRestartAfterStalling() override { return restartNow; }
  bool shouldBufferVideoAsSoonAsPossible() const override { return bufferEarly; }
  bool seekToPosition(const platform::MediaTime& time) override;
  bool resetAssetToBeginningIfNeeded() override { return false; }
  void playbackPauseRequested(int32_t reason) override { pauseReasons.push_back(reason); }
  void playbackStarted() override {}
  platform::MediaTime timeAfterSeek() const override { return landedAt; }
  QNVAffineTransform preferredTransform() const override { return {}; }
  std::string debugDetails() const override { return {}; }
  bool decompressedFramebuffer() const override { return false; }
  QNVAssetStatus status() const override { return kQNVAssetStatusReadyToPlay; }
  bool embedFrameInfo() const override { return false; }
  void setEmbedFrameInfo(bool) override {}
  platform::MediaTime maxBufferTime() const override { return QNVMaxBufferTime(); }
  platform::MediaTime minBufferTime() const override { return QNVMinBufferTime(); }
  int32_t pauseReason() const override { return 0; }

 private:
  platform::MediaTime landedAt = platform::MediaTime::zero();
  std::vector<uint8_t> bytes_ = std::vector<uint8_t>(4096, 0x11);
};

class RecordingDisplayEngine final : public QNVPlayerDisplayEngine {
 public:
  struct Enqueued {
    platform::MediaTime presentationTime;
    uint32_t attributes = 0;
    bool displayImmediately = false;
  };
  std::vector<Enqueued> enqueued;
  size_t capacity = 1000;
  bool requesting = false;
  bool resumed = false;
  int64_t layerStatus = 0;
  std::vector<int32_t> pauses;
  int flushes = 0;
  bool flushDisplayReadyAnswer = true;

  void setControlTimebase(std::shared_ptr<platform::Timebase>) override {}
  void setPlayerLayerDelegate(std::weak_ptr<QNVPlayerDisplayEngineDelegate>) override {}
  // A failed layer that is asked to flush its error recovers when this is set.
  bool flushClearsError = false;
  int errorFlushes = 0;
  bool flushIfError() override {
    if (layerStatus != kQNVPlayerLayerStatusFailed || !flushClearsError) return false;
    ++errorFlushes;
    layerStatus = 0;
    return true;
  }
  int64_t status() const override { return layerStatus; }
  std::optional<platform::Error> error() const override { return std::nullopt; }
  void setRenderer(std::shared_ptr<QNVPlayerRenderer>) override {}
  void setPreferredTransform(const platform::AffineTransform&) override {}
  void resume() override { resumed = true; }
  void pause(int32_t reason) override {
    resumed = false;
    pauses.push_back(reason);
  }
  void pauseDisplayLink() override {}
  void flush() override { ++flushes; }
  void flushAndRemoveImage() override { enqueued.clear(); }
  bool flushDisplayReadySampleBuffers() override { return flushDisplayReadyAnswer; }
  bool isReadyForMoreMediaData() const override { return enqueued.size() < capacity; }
  // Like the layer, the block runs on the queue later, while requesting.
  void requestMediaDataWhenReadyOnQueue(platform::DispatchQueuePtr queue, std::function<void()> block) override;
  void stopRequestingMediaData() override { requesting = false; }
  void enqueueSampleBuffer(const platform::SampleBuffer& sampleBuffer, uint32_t attributes) override;
  void yieldDecompressedBuffer(std::shared_ptr<platform::PixelBuffer>, platform::MediaTime,
                               platform::MediaTime) override {}
};

class RecordingAudioEngine final : public QNVPlayerAudioEngine {
 public:
  PutDataCallback putData;
  ErrorCallback errorCallback;
  int setups = 0;
  int invalidations = 0;
  std::vector<platform::MediaTime> playStarts;
  int levelMeteringRemovals = 0;
  int levelMeteringEnables = 0;
  std::vector<std::pair<float, float>> volumes;

  void setAudioStreamBasicDescription(const platform::AudioStreamBasicDescription&, const platform::Value&,
                                      PutDataCallback putDataCallback, ErrorCallback error, uint32_t) override {
    ++setups;
    putData = std::move(putDataCallback);
    errorCallback = std::move(error);
  }
  void prepareToPlay() override {}
  void playWithStartTime(const platform::MediaTime& startTime) override { playStarts.push_back(startTime); }
  void pause() override {}
  void stop() override {}
  void reset() override {}
  void stopLoadingData() override {}
  void resumeEnqueuingData() override {}
  void invalidate() override { ++invalidations; }
  platform::MediaTime getCurrentTime() override { return platform::MediaTime::zero(); }
  void setVolume(float volume, float rampTime) override { volumes.emplace_back(volume, rampTime); }
  void enableLevelMeteringWithCallback(LevelCallback) override { ++levelMeteringEnables; }
  void sendCurrentAudioLevelToCallback() override {}
  void removeLevelMetering() override { ++levelMeteringRemovals; }
};

// An audio-queue buffer of the given capacities.
platform::AudioQueueBuffer audioBuffer(uint32_t bytes, uint32_t packets);

}  // namespace plexora::testing
