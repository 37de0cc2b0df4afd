// The engine asset for an MP4 file on local storage. It opens the file as a
// movie and reads it with two track readers (video and audio), made at a
// start time on loading and made anew on every seek. It hands the engine the
// samples as the file stores them, one video sample or one audio packet per
// frame; above 60 frames per second the video is thinned to the frames that
// no other frame depends on. The whole file is present, so it never stalls,
// reports its whole duration as loaded and has no resource loader.
//
// Errors reach the owner through addErrorToLog (the asset notifications):
// besides what others report through it, the asset itself posts, with stop,
// a seek whose readers cannot be made again and a video reader that fails
// while reading, and, without stop, an audio track whose format cannot be
// described (the video then plays without audio). A load that leaves no
// video to read (an unreadable file, no video track, a video track without
// samples, a reader that cannot be made) fails the asset: key status and status failed, with the error.
// The asset posts nothing for it itself; the player it is handed to tells
// its owner once.
//
// Thread safety: every operation runs on the asset's queue (the media-state
// queue when asynchronous, else the main queue): loading, time-loaded and
// error requests are handed to it; the engine calls the frame operations and
// seeks there. The key status, duration and natural size may be read on
// another thread once the load handler has run and before the next load.
// No lock is taken; the queue is the serialisation.
// Ownership: held through std::shared_ptr by its creator and the engine; a
// load in progress keeps the asset alive until its handler has run. At most
// one video sample and one audio sample are held at a time; the data
// pointers handed out stay valid until the advance that releases them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/URL.h"
#include "platform/media/SampleBuffer.h"
#include "util/OVAdKeyValueObserving.h"
#include "util/qnv/asset/QNVAssetForCache.h"
#include "util/qnv/asset/QNVLocalMp4Reader.h"
#include "util/qnv/asset/QNVMediaAsset.h"

namespace plexora {

// The bytes of one audio sample as the frame operations hand them out.
struct QNVAudioBuffer {
  uint32_t numberChannels = 0;
  uint32_t dataByteSize = 0;
  const uint8_t* data = nullptr;
};

// The size of decoded images for a container: scaled down, aspect kept, to
// just cover the container; never scaled up.
platform::Size QNVDecodedOutputSize(platform::Size video, platform::Size container);

// Whether a packet lies inside a buffer of `bufferSize` bytes.
bool QNVAudioPacketFitsBuffer(const platform::AudioStreamPacketDescription& packet, uint64_t bufferSize);

class QNVLocalMp4Asset final : public QNVAVAsset,
                               public QNVAVPlayerItem,
                               public QNVAssetForPlayer,
                               public QNVInfoForLoopableAsset,
                               public QNVAssetForCache,
                               public OVAdKeyValueObservable,
                               public std::enable_shared_from_this<QNVLocalMp4Asset> {
 public:
  // Asynchronous: work runs on the media-state queue.
  static std::shared_ptr<QNVLocalMp4Asset> initWithLocalURL(const platform::URL& localURL, bool decompressedOutput,
                                                            platform::Size containerDimensions);
  static std::shared_ptr<QNVLocalMp4Asset> initWithLocalURL(const platform::URL& localURL, bool async,
                                                            bool decompressedOutput,
                                                            platform::Size containerDimensions);
  ~QNVLocalMp4Asset() override;
  QNVLocalMp4Asset(const QNVLocalMp4Asset&) = delete;
  QNVLocalMp4Asset& operator=(const QNVLocalMp4Asset&) = delete;

  std::string description() const { return ""; }
  const platform::DispatchQueuePtr& dispatchQueue() const { return dispatchQueue_; }
  platform::URL URLIfExists() const { return localURL_; }
  uint32_t timescale() const { return timescale_; }
  uint32_t audioTimescale() const { return audioTimescale_; }

  // Whether a sample is one that no other frame depends on.
  static bool is30MSFrame(platform::SampleBuffer& sample);
  static bool isKeyFrame(platform::SampleBuffer& sample);

  // QNVAVAsset and QNVAssetForCache. Every call opens the file anew on the
  // asset's queue, makes new readers at time zero and then calls the
  // handler there once.
  void loadValuesAsynchronouslyForKeys(const std::vector<std::string>& keys,
                                       std::function<void()> completionHandler) override;
  QNVKeyValueStatus statusOfValueForKey(const std::string& key,
                                        std::optional<platform::Error>* outError) const override;
  platform::MediaTime duration() const override { return duration_; }
  platform::Size naturalSize() const override { return naturalSize_; }
  std::shared_ptr<QNVAssetResourceLoader> resourceLoader() override;
  void cancelLoading() override {}
  std::vector<QNVAssetTrackInfo> tracksWithMediaType(QNVMediaType) const override { return {}; }

  // QNVAVPlayerItem.
  QNVLocalMp4Asset* asset() { return this; }
  bool isPlaybackBufferFull() const override { return false; }
  bool isPlaybackLikelyToKeepUp() const override { return true; }
  platform::MediaTime currentTime() const override { return playbackTime_; }
  void requestTimeLoadedUpdate() override;
  void requestErrorNotificationIfNeeded() override;
  QNVAssetStatus status() const override { return hasFailed_ ? kQNVAssetStatusFailed : kQNVAssetStatusReadyToPlay; }
  std::optional<platform::Error> error() const override;
  std::vector<platform::MediaTimeRange> loadedTimeRanges() const override;

  // QNVAssetForPlayer.
  std::shared_ptr<const platform::VideoFormatDescription> formatDesc() const override { return formatDesc_; }
  platform::AudioStreamBasicDescription asbd() const override { return asbd_; }
  platform::Dictionary audioStreamExtraParameters() const override { return {}; }
  bool containsTrack(QNVTrackIndex track) const override;
  void addErrorToLog(const platform::Error& error, bool shouldStopPlayback) override;
  std::optional<std::string> representationId() const override { return std::nullopt; }
  bool trackHasMoreFrames(QNVTrackIndex track) override;
  QNVFrameMetadata currentFrameMetadataForTrack(QNVTrackIndex track) override;
  const uint8_t* currentFrameDataForTrack(QNVTrackIndex track) override;
  void advanceFrameForTrack(QNVTrackIndex track) override;
  void updatePlaybackTime(const platform::MediaTime& time) override { playbackTime_ = time; }
  bool shouldPauseForStallingWithNextCheckCallback(StallCheckCallback, int32_t) override { return false; }
  bool shouldRestartAfterStalling() override { return true; }
  bool shouldBufferVideoAsSoonAsPossible() const override { return false; }
  bool seekToPosition(const platform::MediaTime& time) override;
  bool resetAssetToBeginningIfNeeded() override;
  void playbackPauseRequested(int32_t) override {}
  void playbackStarted() override {}
  platform::MediaTime timeAfterSeek() const override { return startingPlaybackTime_; }
  QNVAffineTransform preferredTransform() const override { return preferredTransform_; }
  std::string debugDetails() const override;
  bool decompressedFramebuffer() const override { return isOutputDecompressed_; }
  bool embedFrameInfo() const override { return embedFrameInfo_; }
  void setEmbedFrameInfo(bool embedFrameInfo) override { embedFrameInfo_ = embedFrameInfo; }
  platform::MediaTime maxBufferTime() const override { return QNVMaxBufferTime(); }
  platform::MediaTime minBufferTime() const override { return QNVMinBufferTime(); }
  int32_t pauseReason() const override { return pauseReason_; }

  // QNVInfoForLoopableAsset.
  platform::MediaTime videoTrackDuration() const override { return duration_; }

  // The packet of the held audio sample handed out next.
  int32_t currentAudioBufferIndex() const { return currentAudioBufferIndex_; }

  // OVAdKeyValueObservable: "loadedTimeRanges" as an array of ranges, each
  // a dictionary of "start" and "duration" in seconds.
  platform::Value valueForKey(const std::string& key) const override;

 private:
  QNVLocalMp4Asset(platform::URL localURL, bool async, bool decompressedOutput, platform::Size containerDimensions);

  void startWithAsset(std::shared_ptr<const QNVLocalMp4Movie> movie, std::function<void()> completionHandler);
  bool createVideoReader(const platform::MediaTime& startTime);
  bool createAudioReader(const platform::MediaTime& startTime);
  void releaseVideoSample() {
    videoSampleBuffer_.reset();
    videoContiguousData_ = {};
  }
  void releaseAudioBufferIfNeeded();
  void getAudioPacketDescriptions();
  QNVFrameMetadata videoFrameMetadata();
  QNVFrameMetadata audioFrameMetadata();
  // Posts, with stop, the error of a video reader that failed while reading
  // (once per reader), and fails the asset.
  void reportFailedVideoReader();
  void failLoading(platform::Error error);

  std::function<void()> assetLoadedHandler_;
  const platform::URL localURL_;
  platform::MediaTime duration_ = platform::MediaTime::zero();
  platform::MediaTime playbackTime_ = platform::MediaTime::zero();
  platform::MediaTime startingPlaybackTime_ = platform::MediaTime::zero();
  std::shared_ptr<const platform::VideoFormatDescription> formatDesc_;
  platform::AudioStreamBasicDescription asbd_;
  const uint32_t timescale_ = 0;
  const uint32_t audioTimescale_ = 0;
  // Set once a load left nothing to play or the video reader failed while
  // reading; loadingError_ then says why.
  bool hasFailed_ = false;
  std::optional<platform::Error> loadingError_;
  const bool async_;
  const platform::DispatchQueuePtr dispatchQueue_;
  std::shared_ptr<const QNVLocalMp4Movie> videoAsset_;
  std::unique_ptr<QNVLocalMp4TrackReader> videoAssetReader_;
  std::optional<platform::SampleBuffer> videoSampleBuffer_;
  // A contiguous copy of the held video sample's data when its blocks are
  // not one piece.
  platform::BlockBuffer videoContiguousData_;
  bool videoReaderFailureReported_ = false;
  platform::Size naturalSize_;
  QNVAffineTransform preferredTransform_;
  std::unique_ptr<QNVLocalMp4TrackReader> audioAssetReader_;
  std::optional<platform::SampleBuffer> audioSampleBuffer_;
  platform::BlockBuffer audioBlockBuffer_;
  int32_t numberOfPackets_ = 0;
  std::vector<platform::AudioStreamPacketDescription> inPacketDescriptions_;
  QNVAudioBuffer audioBuffer_;
  int32_t currentAudioBufferIndex_ = 0;
  float fps_ = 0.0F;
  const bool isOutputDecompressed_;
  bool videoBufferEnded_ = false;
  const platform::Size containerDimensions_;
  const int32_t pauseReason_ = 0;
  bool embedFrameInfo_ = false;
};

}  // namespace plexora
