// The contract between the video engine and every asset that feeds it: the
// frame record, the track numbering, the status values, the surfaces that the
// ad views use like a system asset and player item, and the one way an asset
// reports trouble (a notification on the default centre).
//
// Track index 0 is the video track and 1 the audio track in every per-track
// operation; any other index has no frames.
//
// Thread safety: the QNVAssetForPlayer operations are called on the
// media-state queue only. The view-facing calls that start work
// (loadValuesAsynchronouslyForKeys, requestTimeLoadedUpdate,
// requestErrorNotificationIfNeeded) hand it to the asset's queue; an asset
// takes no lock of its own, its queue is the serialisation.
// Ownership: assets are held through std::shared_ptr by the views and the
// engine's player; an asset holds a pending load handler until it calls it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/media/AudioStreamDescription.h"
#include "platform/media/MediaTime.h"
#include "platform/media/Player.h"
#include "platform/media/VideoFormatDescription.h"
#include "platform/ui/Geometry.h"
#include "platform/value/Value.h"
#include "util/qnv/core/QNVFrameFlags.h"

namespace plexora {

using QNVTrackIndex = int64_t;
inline constexpr QNVTrackIndex kQNVVideoTrack = 0;
inline constexpr QNVTrackIndex kQNVAudioTrack = 1;

// One frame of a track; `flags` holds the bits of QNVFrameFlags.h. The all-zero record (size 0, times with every field
// 0, which are invalid times) means there is no frame.
struct QNVFrameMetadata {
  uint32_t size = 0;
  platform::MediaTime decodeTime;
  platform::MediaTime presentationTime;
  platform::MediaTime duration;
  uint32_t flags = 0;

  bool isEmpty() const { return size == 0; }
};

// The player-item status numbering.
enum QNVAssetStatus : int64_t {
  kQNVAssetStatusUnknown = 0,
  kQNVAssetStatusReadyToPlay = 1,
  kQNVAssetStatusFailed = 2,
};

// The key-value loading numbering.
enum QNVKeyValueStatus : int64_t {
  kQNVKeyValueStatusUnknown = 0,
  kQNVKeyValueStatusLoaded = 2,
  kQNVKeyValueStatusFailed = 3,
};

// A 2D affine transform (a b; c d) with translation, as a track header
// stores it.
struct QNVAffineTransform {
  double a = 1.0;
  double b = 0.0;
  double c = 0.0;
  double d = 1.0;
  double tx = 0.0;
  double ty = 0.0;

  static QNVAffineTransform identity() { return {}; }
  bool operator==(const QNVAffineTransform&) const = default;
};

inline constexpr const char* kQNVAssetWarning = "QNVAssetWarning";
inline constexpr const char* kQNVAssetWarningErrorKey = "QNVAssetWarningErrorKey";
using platform::kAVPlayerItemFailedToPlayToEndTimeNotification;
using platform::kAVPlayerItemFailedToPlayToEndTimeErrorKey;
inline constexpr const char* kQNVLoadedTimeRangesKey = "loadedTimeRanges";

// 2.5 s and 1.5 s, shared by the MP4 assets and the looping asset.
platform::MediaTime QNVMaxBufferTime();
platform::MediaTime QNVMinBufferTime();

// An error travels in a notification's user info as a dictionary of its
// domain, code and user info.
platform::Value QNVErrorAsValue(const platform::Error& error);
std::optional<platform::Error> QNVErrorFromValue(const platform::Value& value);

// The one way an asset reports trouble: stop posts the failed-to-play-to-end
// notification (a fatal error), otherwise the asset warning; both on the
// default centre with the asset as object.
void QNVPostAssetError(const void* asset, const platform::Error& error, bool shouldStopPlayback);

// The key status of an asset with a loading error and a headers-parsed flag:
// failed (the error handed out) with an error, else loaded when parsed, else
// unknown.
QNVKeyValueStatus QNVKeyStatusForLoadingError(const std::optional<platform::Error>& loadingError, bool headersParsed,
                                              std::optional<platform::Error>* outError);

class QNVAssetResourceLoader;

// The surface the ad views use like a system asset. An engine asset loads
// once its headers are known or loading failed; the keys are not looked at.
class QNVAVAsset : public platform::PlayerAsset {
 public:
  virtual QNVKeyValueStatus statusOfValueForKey(const std::string& key,
                                                std::optional<platform::Error>* outError) const = 0;
  virtual platform::Size naturalSize() const = 0;
  // Where the caller installs the byte fetcher; null for an asset that
  // fetches nothing.
  virtual std::shared_ptr<QNVAssetResourceLoader> resourceLoader() = 0;
};

// The surface the ad views use like a system player item. An engine item's
// currentTime is the playback time last given by the engine; zero before
// the first.
class QNVAVPlayerItem : public platform::PlayerItem {
 public:
  // Asks, on the asset's queue, for a fresh loadedTimeRanges change notice.
  virtual void requestTimeLoadedUpdate() = 0;
  // On the asset's queue: a failed asset repeats its stored error (stop).
  virtual void requestErrorNotificationIfNeeded() = 0;
  virtual QNVAssetStatus status() const = 0;
  // What is at hand; read on the asset's queue only.
  virtual std::vector<platform::MediaTimeRange> loadedTimeRanges() const = 0;
};

// The player and the layer the ad views drive, engine or system alike.
using QNVAVPlayer = platform::Player;
using QNVAVPlayerLayer = platform::PlayerLayer;

// What the engine's synchronous player pulls, on the media-state queue.
class QNVAssetForPlayer {
 public:
  // Called when newly loaded data may end a stall.
  using StallCheckCallback = std::function<void()>;

  virtual ~QNVAssetForPlayer() = default;

  // Null until the video header is known.
  virtual std::shared_ptr<const platform::VideoFormatDescription> formatDesc() const = 0;
  // All zero without audio.
  virtual platform::AudioStreamBasicDescription asbd() const = 0;
  virtual platform::Dictionary audioStreamExtraParameters() const = 0;
  virtual platform::MediaTime duration() const = 0;
  virtual bool containsTrack(QNVTrackIndex track) const = 0;
  virtual void addErrorToLog(const platform::Error& error, bool shouldStopPlayback) = 0;
  virtual std::optional<std::string> representationId() const = 0;

  // The frame at the track's read position: trackHasMoreFrames, then
  // currentFrameMetadataForTrack, currentFrameDataForTrack (exactly size
  // bytes, valid until the next call on the track; null when there is no
  // frame or its bytes are missing), then advanceFrameForTrack.
  virtual bool trackHasMoreFrames(QNVTrackIndex track) = 0;
  virtual QNVFrameMetadata currentFrameMetadataForTrack(QNVTrackIndex track) = 0;
  virtual const uint8_t* currentFrameDataForTrack(QNVTrackIndex track) = 0;
  virtual void advanceFrameForTrack(QNVTrackIndex track) = 0;

  virtual void updatePlaybackTime(const platform::MediaTime& time) = 0;
  // True means stall: the asset keeps the callback and calls it whenever
  // new data may end the stall; the engine then asks
  // shouldRestartAfterStalling.
  virtual bool shouldPauseForStallingWithNextCheckCallback(StallCheckCallback callback, int32_t stallReason) = 0;
  virtual bool shouldRestartAfterStalling() = 0;
  virtual bool shouldBufferVideoAsSoonAsPossible() const = 0;
  // Both tracks to the frame at or before the time; true when done.
  virtual bool seekToPosition(const platform::MediaTime& time) = 0;
  virtual bool resetAssetToBeginningIfNeeded() = 0;
  virtual void playbackPauseRequested(int32_t reason) = 0;
  virtual void playbackStarted() = 0;
  virtual platform::MediaTime timeAfterSeek() const = 0;
  virtual QNVAffineTransform preferredTransform() const = 0;
  virtual std::string debugDetails() const = 0;
  // True when the frames handed out are decoded images.
  virtual bool decompressedFramebuffer() const = 0;
  virtual QNVAssetStatus status() const = 0;
  virtual bool embedFrameInfo() const = 0;
  virtual void setEmbedFrameInfo(bool embedFrameInfo) = 0;
  virtual platform::MediaTime maxBufferTime() const = 0;
  virtual platform::MediaTime minBufferTime() const = 0;
  // The stall reason in force; 0 when not stalled.
  virtual int32_t pauseReason() const = 0;
  // Why an item whose status is failed cannot play; none otherwise.
  virtual std::optional<platform::Error> error() const { return std::nullopt; }
};

// Required of any asset that the looping asset wraps.
class QNVInfoForLoopableAsset {
 public:
  virtual ~QNVInfoForLoopableAsset() = default;
  virtual platform::MediaTime videoTrackDuration() const = 0;
};

}  // namespace plexora
