#include "util/qnv/asset/QNVLocalMp4Asset.h"

#include <cmath>

#include "util/OVAdLogger.h"
#include "util/qnv/core/QNVMediaStateQueue.h"

namespace plexora {

namespace {

constexpr const char* kCreatedLog = "%s created new asset with url:%s";
constexpr const char* kDeallocLog = "%s deallocing QNVAsset";
constexpr const char* kSeekLog = "%s seek to req time:%f";
constexpr const char* kResourceLoaderLog = "resourceLoader accessed in LocalMp4Asset";
constexpr const char* kDebugDetails = "localMp4";
constexpr const char* kRangeStartKey = "start";
constexpr const char* kRangeDurationKey = "duration";

// Where an audio track cannot be played.
constexpr const char* kAudioFormatErrorDomain = "QNVLocalMp4Asset";
constexpr int64_t kAudioFormatErrorCode = 1;
constexpr const char* kAudioFormatErrorDescription = "The audio track's format cannot be described; it is not played.";
constexpr const char* kNoVideoTrackDescription = "The file holds no video track.";
constexpr const char* kNoVideoSamplesDescription = "The file's video track holds no samples.";

}  // namespace

platform::Size QNVDecodedOutputSize(platform::Size video, platform::Size container) {
  const double w = video.width;
  const double h = video.height;
  const double cw = container.width;
  const double ch = container.height;
  // Compared as w·ch against cw·h so that no dimension divides.
  if (w * ch > cw * h) {
    return h > ch ? platform::Size{std::ceil(w * ch / h), ch} : video;
  }
  return w > cw ? platform::Size{cw, std::ceil(h * cw / w)} : video;
}

std::shared_ptr<QNVLocalMp4Asset> QNVLocalMp4Asset::initWithLocalURL(const platform::URL& localURL,
                                                                     bool decompressedOutput,
                                                                     platform::Size containerDimensions) {
  return initWithLocalURL(localURL, true, decompressedOutput, containerDimensions);
}

std::shared_ptr<QNVLocalMp4Asset> QNVLocalMp4Asset::initWithLocalURL(const platform::URL& localURL, bool async,
                                                                     bool decompressedOutput,
                                                                     platform::Size containerDimensions) {
  return std::shared_ptr<QNVLocalMp4Asset>(
      new QNVLocalMp4Asset(localURL, async, decompressedOutput, containerDimensions));
}

QNVLocalMp4Asset::QNVLocalMp4Asset(platform::URL localURL, bool async, bool decompressedOutput,
                                   platform::Size containerDimensions)
    : localURL_(std::move(localURL)),
      async_(async),
      dispatchQueue_(async ? QNVMediaStateQueue() : platform::DispatchQueue::main()),
      isOutputDecompressed_(decompressedOutput),
      containerDimensions_(containerDimensions) {
  OV_LOG(kOVAdLogLevelVerbose, kCreatedLog, description().c_str(), localURL_.absoluteString().c_str());
}

QNVLocalMp4Asset::~QNVLocalMp4Asset() { OV_LOG(kOVAdLogLevelVerbose, kDeallocLog, description().c_str()); }

void QNVLocalMp4Asset::loadValuesAsynchronouslyForKeys(const std::vector<std::string>& /*keys*/,
                                                       std::function<void()> completionHandler) {
  auto self = shared_from_this();
  QNVDispatchAsyncIfNeeded(async_, dispatchQueue_, [self, handler = std::move(completionHandler)]() mutable {
    self->startWithAsset(QNVLocalMp4Movie::open(self->localURL_.filePath().value_or("")), std::move(handler));
  });
}

void QNVLocalMp4Asset::startWithAsset(std::shared_ptr<const QNVLocalMp4Movie> movie,
                                      std::function<void()> completionHandler) {
  assetLoadedHandler_ = std::move(completionHandler);
  videoAsset_ = std::move(movie);
  duration_ = videoAsset_ ? videoAsset_->duration() : platform::MediaTime::zero();
  hasFailed_ = false;
  loadingError_.reset();
  createVideoReader(platform::MediaTime::zero());
  createAudioReader(platform::MediaTime::zero());
  if (loadingError_) {
    failLoading(*loadingError_);
  } else if (!videoAssetReader_ || videoAssetReader_->status() == QNVLocalMp4ReaderStatus::Failed) {
    failLoading(videoAsset_->error().value_or(
        videoAssetReader_ && videoAssetReader_->error()
            ? *videoAssetReader_->error()
            : platform::Error(kQNVLocalMp4ReaderErrorDomain, kQNVLocalMp4ReaderErrorNoVideoTrack,
                              platform::Dictionary{{platform::kLocalizedDescriptionKey, kNoVideoTrackDescription}})));
  }
  auto handler = std::move(assetLoadedHandler_);
  assetLoadedHandler_ = nullptr;
  if (handler) handler();
}

bool QNVLocalMp4Asset::createVideoReader(const platform::MediaTime& startTime) {
  const auto tracks = videoAsset_->tracksWithMediaType(QNVMediaType::Video);
  if (tracks.empty()) return false;
  const QNVLocalMp4Track& track = *tracks.front();
  if (track.frames.empty()) {
    // An init segment alone, or a track whose tables are empty: nothing
    // would be drawn, and an ad without a picture must not play as if
    // watched.
    loadingError_ = platform::Error(
        kQNVLocalMp4ReaderErrorDomain, kQNVLocalMp4ReaderErrorNoVideoSamples,
        platform::Dictionary{{platform::kLocalizedDescriptionKey, kNoVideoSamplesDescription}});
    return false;
  }
  formatDesc_ = track.videoFormat;

  QNVLocalMp4OutputSettings settings;
  if (isOutputDecompressed_) {
    settings.decoded = true;
    if (containerDimensions_.width != 0 && containerDimensions_.height != 0 && formatDesc_) {
      const auto dimensions = formatDesc_->dimensions();
      settings.size = QNVDecodedOutputSize(
          {static_cast<double>(dimensions.width), static_cast<double>(dimensions.height)}, containerDimensions_);
    }
  }
  auto reader = std::make_unique<QNVLocalMp4TrackReader>(videoAsset_, track, settings);
  if (reader->status() == QNVLocalMp4ReaderStatus::Failed) {
    // The reader could not be made at all: the owner learns why from the
    // key status.
    loadingError_ = reader->error();
    return false;
  }
  reader->setTimeRange(platform::MediaTimeRange::make(startTime, duration_));
  const bool started = reader->startReading();
  videoAssetReader_ = std::move(reader);
  videoReaderFailureReported_ = false;

  const double w = track.naturalSize.width;
  const double h = track.naturalSize.height;
  const QNVAffineTransform& t = track.preferredTransform;
  naturalSize_ = {t.a * w + t.c * h, t.b * w + t.d * h};
  preferredTransform_ = t;
  fps_ = track.nominalFrameRate;
  videoBufferEnded_ = false;
  return started;
}

bool QNVLocalMp4Asset::createAudioReader(const platform::MediaTime& startTime) {
  const auto tracks = videoAsset_->tracksWithMediaType(QNVMediaType::Audio);
  if (tracks.empty()) return true;
  const QNVLocalMp4Track& track = *tracks.front();
  auto reader = std::make_unique<QNVLocalMp4TrackReader>(videoAsset_, track);
  if (reader->status() == QNVLocalMp4ReaderStatus::Failed) return false;
  reader->setTimeRange(platform::MediaTimeRange::make(startTime, duration_));
  const bool started = reader->startReading();
  releaseAudioBufferIfNeeded();
  audioAssetReader_ = std::move(reader);
  if (!track.audioFormat) {
    // Without a stream description the engine could not set up its audio:
    // the track is left out (the video plays alone) and the owner is told.
    audioAssetReader_.reset();
    asbd_ = {};
    addErrorToLog(
        platform::Error(kAudioFormatErrorDomain, kAudioFormatErrorCode,
                        platform::Dictionary{{platform::kLocalizedDescriptionKey, kAudioFormatErrorDescription}}),
        false);
    return false;
  }
  asbd_ = *track.audioFormat;
  return started;
}

QNVKeyValueStatus QNVLocalMp4Asset::statusOfValueForKey(const std::string& /*key*/,
                                                        std::optional<platform::Error>* outError) const {
  if (loadingError_ || !videoAssetReader_) {
    if (loadingError_ && outError != nullptr) *outError = loadingError_;
    return kQNVKeyValueStatusFailed;
  }
  return videoAssetReader_->status() == QNVLocalMp4ReaderStatus::Failed ? kQNVKeyValueStatusFailed
                                                                        : kQNVKeyValueStatusLoaded;
}

void QNVLocalMp4Asset::failLoading(platform::Error error) {
  hasFailed_ = true;
  loadingError_ = std::move(error);
}

std::optional<platform::Error> QNVLocalMp4Asset::error() const {
  return hasFailed_ ? loadingError_ : std::nullopt;
}

void QNVLocalMp4Asset::requestErrorNotificationIfNeeded() {
  auto self = shared_from_this();
  QNVDispatchAsyncIfNeeded(async_, dispatchQueue_, [self] {
    if (auto failure = self->error()) self->addErrorToLog(*failure, true);
  });
}

std::shared_ptr<QNVAssetResourceLoader> QNVLocalMp4Asset::resourceLoader() {
  OV_LOG(kOVAdLogLevelWarn, "%s", kResourceLoaderLog);
  return nullptr;
}

void QNVLocalMp4Asset::requestTimeLoadedUpdate() {
  auto self = shared_from_this();
  QNVDispatchAsyncIfNeeded(async_, dispatchQueue_, [self] {
    self->willChangeValueForKey(kQNVLoadedTimeRangesKey);
    self->didChangeValueForKey(kQNVLoadedTimeRangesKey);
  });
}

std::vector<platform::MediaTimeRange> QNVLocalMp4Asset::loadedTimeRanges() const {
  return {platform::MediaTimeRange::make(platform::MediaTime::zero(), duration_)};
}

platform::Value QNVLocalMp4Asset::valueForKey(const std::string& key) const {
  if (key != kQNVLoadedTimeRangesKey) return {};
  platform::Array ranges;
  for (const auto& range : loadedTimeRanges()) {
    ranges.push_back(
        platform::Dictionary{{kRangeStartKey, range.start.seconds()}, {kRangeDurationKey, range.duration.seconds()}});
  }
  return ranges;
}

void QNVLocalMp4Asset::addErrorToLog(const platform::Error& error, bool shouldStopPlayback) {
  QNVPostAssetError(this, error, shouldStopPlayback);
}

bool QNVLocalMp4Asset::seekToPosition(const platform::MediaTime& time) {
  const auto seconds = static_cast<float>(time.seconds());
  OV_LOG(kOVAdLogLevelVerbose, kSeekLog, description().c_str(), static_cast<double>(seconds));
  if (!videoAsset_ || seconds > static_cast<float>(duration_.seconds())) return false;

  // A reader that cannot be made again leaves the engine without frames:
  // the owner is told, as of a failed item.
  const auto readerFailed = [this](const std::unique_ptr<QNVLocalMp4TrackReader>& reader) {
    const std::optional<platform::Error> error = loadingError_ ? loadingError_
                                                 : reader      ? reader->error()
                                                               : std::nullopt;
    addErrorToLog(error.value_or(platform::Error(kQNVLocalMp4ReaderErrorDomain, kQNVLocalMp4ReaderErrorReadFailed)),
                  true);
    return false;
  };
  if (videoAssetReader_) videoAssetReader_->cancelReading();
  if (!createVideoReader(time)) return readerFailed(videoAssetReader_);
  // An audio track left out on loading (or none) stays out.
  if (audioAssetReader_) {
    audioAssetReader_->cancelReading();
    if (!createAudioReader(time)) return readerFailed(audioAssetReader_);
  }
  startingPlaybackTime_ = time;
  releaseAudioBufferIfNeeded();
  return true;
}

bool QNVLocalMp4Asset::resetAssetToBeginningIfNeeded() {
  // A failed asset has no reader to move; its failure is told once, by the
  // player, not again by a seek.
  if (!hasFailed_) seekToPosition(platform::MediaTime::zero());
  return false;
}

std::string QNVLocalMp4Asset::debugDetails() const { return kDebugDetails; }

}  // namespace plexora
