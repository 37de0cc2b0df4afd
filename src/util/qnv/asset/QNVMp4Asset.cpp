#include "util/qnv/asset/QNVMp4Asset.h"

#include <algorithm>
#include <cstdio>

#include "util/OVAdLogger.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/asset/QNVMp4AtomManager.h"
#include "util/qnv/asset/QNVMp4DataLoader.h"

namespace plexora {

namespace {

constexpr const char* kDescription = "<QNVMp4Asset %p %s>";
constexpr const char* kNilQueue = "Nil dispatchQueue causes crashes";
constexpr const char* kCreated = "%s created new asset with atomsize:%llu bitrate:%llu url:%s";
constexpr const char* kNoResourceLoader = "MP4 resource loader nil";
constexpr const char* kDealloc = "%s deallocing QNVAsset";
constexpr const char* kWithoutHeader = "%s download completed without header parsed - may go to infinite spinner";
constexpr const char* kNotAfterFailure = "%s not attempting to download if failed too many times";
constexpr const char* kPlaybackTime = "%s setting playback time to: %f";
constexpr const char* kUnstalled = "%s unstalled: enough data loaded or or fullyDownloaded:%d";
constexpr const char* kAlreadyLoaded = "%s seek to time already loaded so not fetching more data";
constexpr const char* kLoadOffsets = "%s load offset:%llu - %llu";
constexpr const char* kSeekBack = "%s unstalled: seek back";
constexpr const char* kFailed = "%s download failed with error: %s";
constexpr const char* kWarning = "%s adding warning: %s";
constexpr const char* kHeaderJump = "%s header lies past offset %llu: fetching from %llu";
constexpr const char* kHeaderResume = "%s header parsed: download goes on from %llu";
constexpr const char* kDebugDetails = "progressive";
constexpr const char* kRangeStartKey = "start";
constexpr const char* kRangeDurationKey = "duration";
constexpr const char* kCauseCodeKey = "code";
constexpr const char* kCauseDomainKey = "domain";
constexpr const char* kNotOnQueue = "%s must be called on the asset's queue";
constexpr const char* kLoadedTimeRangesNotThreadSafe = "loadedTimeRanges isn't thread safe";

// The first request asks for this many bytes while the header's size is
// unknown.
constexpr uint64_t kFirstRequestLength = 40;
// Asked for where the parser waits for a header beyond the first requests:
// enough for the header of a short clip in one go.
constexpr uint64_t kHeaderProbeLength = 64 * 1024;
// Warnings posted; later ones are only logged.
constexpr int32_t kPostedWarnings = 9;

using ull = unsigned long long;

QNVBufferSizeDeciderConfig deciderConfig(const QNVMp4AssetBufferSizes& sizes) {
  QNVBufferSizeDeciderConfig config;
  config.firstFetchSizeInSeconds = sizes.firstFetchSizeInSeconds;
  config.fetchBufferSizeInSeconds = sizes.fetchBufferSizeInSeconds;
  config.fetchMultiplier = sizes.fetchBufferMultiplier;
  config.unstallBufferSizeInSeconds = sizes.unstallBufferSizeInSeconds;
  config.stallBufferSizeInSeconds = sizes.stallBufferSizeInSeconds;
  config.firstUnstallBufferSizeInSeconds = 0.9;
  config.unstallMultiplier = sizes.unstallBufferMultiplier;
  return config;
}

}  // namespace

std::shared_ptr<QNVMp4Asset> QNVMp4Asset::initWithURL(const platform::URL& url, uint64_t moovAtomSize, uint64_t bitrate,
                                                      QNVMp4AssetBufferSizes sizes, bool async) {
  auto atomManager = std::make_shared<QNVMp4AtomManager>(moovAtomSize);
  auto asset = std::shared_ptr<QNVMp4Asset>(new QNVMp4Asset(atomManager, sizes, async));
  OV_LOG(kOVAdLogLevelDebug, kCreated, asset->description().c_str(), static_cast<ull>(moovAtomSize),
         static_cast<ull>(bitrate), url.absoluteString().c_str());
  asset->adopt(QNVMp4DataLoader::initWithUrl(url, bitrate, atomManager->dataBlockDistributorForTrack(kQNVVideoTrack),
                                             asset->dispatchQueue_, async));
  return asset;
}

std::shared_ptr<QNVMp4Asset> QNVMp4Asset::initWithAtomManager(std::shared_ptr<QNVAtomManager> atomManager,
                                                              std::shared_ptr<QNVDataLoader> dataLoader,
                                                              QNVMp4AssetBufferSizes sizes) {
  auto asset = std::shared_ptr<QNVMp4Asset>(new QNVMp4Asset(std::move(atomManager), sizes, true));
  asset->bufferSizeDecider_.setRealtimeInfoProvider(asset);
  asset->adopt(std::move(dataLoader));
  return asset;
}

QNVMp4Asset::QNVMp4Asset(std::shared_ptr<QNVAtomManager> atomManager, QNVMp4AssetBufferSizes sizes, bool async)
    : atomManager_(std::move(atomManager)),
      bufferSizeDecider_(deciderConfig(sizes)),
      async_(async),
      dispatchQueue_(async ? QNVMediaStateQueue() : platform::DispatchQueue::main()) {
  if (!dispatchQueue_) OV_LOG(kOVAdLogLevelWarn, "%s", kNilQueue);
}

void QNVMp4Asset::adopt(std::shared_ptr<QNVDataLoader> dataLoader) {
  dataLoader_ = std::move(dataLoader);
  const auto self = shared_from_this();
  atomManager_->setDelegate(self);
  dataLoader_->setDelegate(self);
  bufferSizeDecider_.setDelegate(self);
  if (!dataLoader_->resourceLoader()) OV_LOG(kOVAdLogLevelWarn, "%s", kNoResourceLoader);
}

QNVMp4Asset::~QNVMp4Asset() { OV_LOG(kOVAdLogLevelVerbose, kDealloc, description().c_str()); }

std::string QNVMp4Asset::description() const {
  char text[96];
  std::snprintf(text, sizeof text, kDescription, static_cast<const void*>(this),
                dataLoader_ ? "loader" : "no loader");
  return text;
}

void QNVMp4Asset::loadValuesAsynchronouslyForKeys(const std::vector<std::string>& /*keys*/,
                                                  std::function<void()> completionHandler) {
  auto self = shared_from_this();
  QNVDispatchAsyncIfNeeded(async_, dispatchQueue_, [self, handler = std::move(completionHandler)]() mutable {
    if (self->assetLoaded_) {
      if (handler) handler();
      return;
    }
    self->assetLoadedHandler_ = std::move(handler);
    self->loadKeepAlive_ = self;
    if (self->waitingOnLoad_) return;
    self->waitingOnLoad_ = true;
    self->hasFailed_ = false;
    self->requestHeaderForTrack(kQNVVideoTrack);
  });
}

QNVKeyValueStatus QNVMp4Asset::statusOfValueForKey(const std::string& /*key*/,
                                                   std::optional<platform::Error>* outError) const {
  return QNVKeyStatusForLoadingError(loadingError_, atomManager_->parsedHeaders(), outError);
}

platform::MediaTime QNVMp4Asset::duration() const { return atomManager_->duration(); }

std::shared_ptr<QNVAssetResourceLoader> QNVMp4Asset::resourceLoader() { return dataLoader_->resourceLoader(); }

void QNVMp4Asset::requestTimeLoadedUpdate() {
  auto self = shared_from_this();
  QNVDispatchAsyncIfNeeded(async_, dispatchQueue_, [self] { self->bufferSizeDecider_.requestTimeLoadedUpdate(); });
}

void QNVMp4Asset::requestErrorNotificationIfNeeded() {
  auto self = shared_from_this();
  QNVDispatchAsyncIfNeeded(async_, dispatchQueue_, [self] {
    if (self->hasFailed_ && self->error_) self->addErrorToLog(*self->error_, true);
  });
}

std::vector<platform::MediaTimeRange> QNVMp4Asset::loadedTimeRanges() const {
  QNV_SOFT_ASSERT(dispatchQueue_->isCurrent(), "%s", kLoadedTimeRangesNotThreadSafe);
  return bufferSizeDecider_.loadedTimeRanges();
}

platform::Value QNVMp4Asset::valueForKey(const std::string& key) const {
  if (key != kQNVLoadedTimeRangesKey) return {};
  platform::Array ranges;
  for (const auto& range : bufferSizeDecider_.loadedTimeRanges()) {
    ranges.push_back(
        platform::Dictionary{{kRangeStartKey, range.start.seconds()}, {kRangeDurationKey, range.duration.seconds()}});
  }
  return ranges;
}

std::shared_ptr<const platform::VideoFormatDescription> QNVMp4Asset::formatDesc() const {
  return atomManager_->formatDesc();
}

platform::AudioStreamBasicDescription QNVMp4Asset::asbd() const { return atomManager_->asbd(); }

platform::Dictionary QNVMp4Asset::audioStreamExtraParameters() const {
  return atomManager_->audioStreamExtraParameters();
}

platform::MediaTime QNVMp4Asset::videoTrackDuration() const { return atomManager_->videoTrackDuration(); }

bool QNVMp4Asset::containsTrack(QNVTrackIndex track) const {
  if (track == kQNVVideoTrack) return true;
  return track == kQNVAudioTrack && atomManager_->containsAudio();
}

void QNVMp4Asset::addErrorToLog(const platform::Error& error, bool shouldStopPlayback) {
  QNVPostAssetError(this, error, shouldStopPlayback);
}

bool QNVMp4Asset::isFullyDownloaded() const {
  if (dataLoader_->isFullyDownloaded(kQNVVideoTrack)) return true;
  if (!atomManager_->parsedHeaders()) return false;
  // A header at the end of the file lies past the last frame: the frames
  // are all at hand before the loader reaches the end.
  const uint64_t received = dataLoader_->currentReceiveOffsetForTrack(kQNVVideoTrack);
  return atomManager_->offsetIsAtLeastLargestOffset(received, kQNVVideoTrack) &&
         atomManager_->offsetIsAtLeastLargestOffset(received, kQNVAudioTrack);
}

bool QNVMp4Asset::trackHasMoreFrames(QNVTrackIndex track) {
  return atomManager_->trackHasMoreFrames(track, isFullyDownloaded());
}

QNVFrameMetadata QNVMp4Asset::currentFrameMetadataForTrack(QNVTrackIndex track) {
  return atomManager_->currentFrameMetadataForTrack(track);
}

const uint8_t* QNVMp4Asset::currentFrameDataForTrack(QNVTrackIndex track) {
  return atomManager_->currentFrameDataForTrack(track);
}

void QNVMp4Asset::advanceFrameForTrack(QNVTrackIndex track) { atomManager_->advanceFrameForTrack(track); }

std::string QNVMp4Asset::debugDetails() const { return kDebugDetails; }

void QNVMp4Asset::updatePlaybackTime(const platform::MediaTime& time) {
  QNV_SOFT_ASSERT(dispatchQueue_->isCurrent(), kNotOnQueue, "updatePlaybackTime");
  bufferSizeDecider_.setPlaybackTime(time);
  OV_LOG(kOVAdLogLevelVerbose, kPlaybackTime, description().c_str(), time.seconds());
  potentiallyStartRequestForTrack(kQNVVideoTrack);
}

bool QNVMp4Asset::shouldPauseForStallingWithNextCheckCallback(StallCheckCallback callback, int32_t stallReason) {
  if (isFullyDownloaded() || !bufferSizeDecider_.shouldStall()) return false;
  playerCheckForStallCallback_ = std::move(callback);
  isStalled_ = true;
  pauseReason_ = stallReason;
  return true;
}

bool QNVMp4Asset::shouldRestartAfterStalling() {
  const bool fullyDownloaded = isFullyDownloaded();
  if (!fullyDownloaded && !bufferSizeDecider_.shouldUnstall()) {
    potentiallyStartRequestForTrack(kQNVVideoTrack);
    return false;
  }
  playerCheckForStallCallback_ = nullptr;
  isStalled_ = false;
  pauseReason_ = 0;
  OV_LOG(kOVAdLogLevelDebug, kUnstalled, description().c_str(), fullyDownloaded ? 1 : 0);
  return true;
}

bool QNVMp4Asset::seekToPosition(const platform::MediaTime& time) {
  QNV_SOFT_ASSERT(dispatchQueue_->isCurrent(), kNotOnQueue, "seekToPosition");
  const QNVSeekStatus status = atomManager_->seekToPosition(time);
  if (!status.seekSucceeded) return false;
  if (status.seekVideo) seekDataLoaderToTime(status.seekTime, status.videoOffset, kQNVVideoTrack);
  if (status.seekAudio) seekDataLoaderToTime(status.seekTime, status.audioOffset, kQNVAudioTrack);
  return true;
}

void QNVMp4Asset::seekDataLoaderToTime(const platform::MediaTime& time, uint64_t offset, QNVTrackIndex track) {
  const platform::MediaTime target = bufferSizeDecider_.addFetchBufferToTime(time);
  if (bufferSizeDecider_.hasLoadedTime(target)) {
    OV_LOG(kOVAdLogLevelDebug, kAlreadyLoaded, description().c_str());
  } else if (hasFailed_) {
    OV_LOG(kOVAdLogLevelDebug, kNotAfterFailure, description().c_str());
  } else {
    dataLoader_->cancelRequests();
    const uint64_t end = atomManager_->offsetForTimeInSeconds(static_cast<float>(target.seconds()), kQNVVideoTrack);
    OV_LOG(kOVAdLogLevelDebug, kLoadOffsets, description().c_str(), static_cast<ull>(offset), static_cast<ull>(end));
    dataLoader_->seekForwardToOffset(offset, track);
    dataLoader_->fetchToOffset(end, kQNVVideoTrack);
  }
  bufferSizeDecider_.setTimeAfterSeek(atomManager_->currentVideoPts());
}

bool QNVMp4Asset::resetAssetToBeginningIfNeeded() {
  if (atomManager_->shouldResetAssetToBeginning()) seekToPosition(platform::MediaTime::zero());
  return false;
}

void QNVMp4Asset::resetDataForSeekBack() {
  dataLoader_->cancelRequests();
  atomManager_->createNewDataBlockDistributors();
  dataLoader_->resetWithNewVideoDataBlockDistributor(atomManager_->dataBlockDistributorForTrack(kQNVVideoTrack),
                                                     atomManager_->dataBlockDistributorForTrack(kQNVAudioTrack));
  bufferSizeDecider_.resetPlaybackTimeAndTimeLoaded();
  isStalled_ = false;
  OV_LOG(kOVAdLogLevelDebug, kSeekBack, description().c_str());
}

void QNVMp4Asset::dataWasReceivedForTrack(QNVTrackIndex track, bool isComplete) {
  const bool wasParsed = atomManager_->parsedHeaders();
  atomManager_->parseAtomForTrack(track);
  if (hasFailed_) return;
  const bool parsed = atomManager_->parsedHeaders();
  if (parsed && !wasParsed) {
    resumeAfterHeaderJump();
    serveLoadHandler();
  }
  if (isComplete && !parsed && dataLoader_->currentReceiveOffsetForTrack(track) > kFirstRequestLength) {
    OV_LOG(kOVAdLogLevelWarn, kWithoutHeader, description().c_str());
  }
  bool updated = false;
  if (parsed && (bufferSizeDecider_.timeLoaded() == platform::MediaTime::zero() || isStalled_)) {
    updateLoadedTime();
    updated = true;
  }
  if (!isComplete) return;
  if (!updated) updateLoadedTime();
  potentiallyStartRequestForTrack(track);
}

void QNVMp4Asset::serveLoadHandler() {
  assetLoaded_ = true;
  auto handler = std::move(assetLoadedHandler_);
  assetLoadedHandler_ = nullptr;
  // Released last: the asset may go with it.
  auto keepAlive = std::move(loadKeepAlive_);
  if (handler) handler();
}

void QNVMp4Asset::updateLoadedTime() {
  const uint64_t received = dataLoader_->currentReceiveOffsetForTrack(kQNVVideoTrack);
  const platform::MediaTime video = atomManager_->timeLoadedForOffset(received, kQNVVideoTrack);
  const bool videoFully = atomManager_->offsetIsAtLeastLargestOffset(received, kQNVVideoTrack);
  bool changed = false;
  // An audio track the engine does not play (not AAC) has no frames and no
  // loaded time: it must not hold the video's back.
  if (atomManager_->containsAudio() && atomManager_->asbd().formatID != 0) {
    changed = bufferSizeDecider_.updateTimeLoadedWithLoadedVideoTime(
        video, videoFully, atomManager_->timeLoadedForOffset(received, kQNVAudioTrack),
        atomManager_->offsetIsAtLeastLargestOffset(received, kQNVAudioTrack));
  } else {
    changed = bufferSizeDecider_.updateTimeLoadedWithLoadedVideoTime(video, videoFully);
  }
  if (changed && playerCheckForStallCallback_) playerCheckForStallCallback_();
}

void QNVMp4Asset::potentiallyStartRequestForTrack(QNVTrackIndex track) {
  if (hasFailed_) {
    OV_LOG(kOVAdLogLevelDebug, kNotAfterFailure, description().c_str());
    return;
  }
  if (!atomManager_->parsedHeaders()) {
    requestHeaderForTrack(track);
    return;
  }
  if (!isFullyDownloaded() && bufferSizeDecider_.shouldFetch() && !dataLoader_->fetchInProgressForTrack(track)) {
    const uint64_t end =
        atomManager_->offsetForTimeInSeconds(bufferSizeDecider_.timeToLoadInSeconds(), track);
    dataLoader_->fetchToOffset(end, track);
  }
}

void QNVMp4Asset::requestHeaderForTrack(QNVTrackIndex track) {
  if (dataLoader_->fetchInProgressForTrack(track)) return;
  dataLoader_->fetchFirstRequestForSeconds(static_cast<uint32_t>(bufferSizeDecider_.firstFetchSizeInSeconds()),
                                           atomManager_->moovAtomSize(), track);
  if (dataLoader_->fetchInProgressForTrack(track)) return;

  // The first request does not reach the box the parser waits at.
  const uint64_t received = dataLoader_->currentReceiveOffsetForTrack(track);
  const uint64_t search = atomManager_->headerSearchOffset();
  const uint64_t needed = atomManager_->headerBytesNeededEnd();
  const uint64_t fileSize = dataLoader_->fileSize();
  if (fileSize > 0 && (search >= fileSize || needed > fileSize)) {
    // Past the file's last box, or a header cut off by its end.
    failWithError(platform::Error(kQNVAssetLoadingError, kQNVAssetLoadingErrorParseFailed));
    return;
  }
  if (search > received) {
    if (!headerJumpFrom_) headerJumpFrom_ = received;
    headerJumpTo_ = search;
    OV_LOG(kOVAdLogLevelDebug, kHeaderJump, description().c_str(), static_cast<ull>(received),
           static_cast<ull>(search));
    dataLoader_->seekForwardToOffset(search, track);
  }
  uint64_t end = std::max(needed, search + kHeaderProbeLength);
  if (fileSize > 0) end = std::min(end, fileSize);
  dataLoader_->fetchToOffset(end, track);
}

void QNVMp4Asset::resumeAfterHeaderJump() {
  if (!headerJumpFrom_) return;
  const uint64_t firstFrame = atomManager_->firstFrameOffset();
  const uint64_t from = std::max(*headerJumpFrom_, firstFrame);
  headerJumpFrom_.reset();
  // The media data lies after the header: what was fetched with it goes on.
  if (firstFrame >= headerJumpTo_) return;
  OV_LOG(kOVAdLogLevelDebug, kHeaderResume, description().c_str(), static_cast<ull>(from));
  dataLoader_->cancelRequests();
  dataLoader_->resetWithNewVideoDataBlockDistributor(atomManager_->dataBlockDistributorForTrack(kQNVVideoTrack),
                                                     atomManager_->dataBlockDistributorForTrack(kQNVAudioTrack));
  dataLoader_->seekForwardToOffset(from, kQNVVideoTrack);
  potentiallyStartRequestForTrack(kQNVVideoTrack);
}

void QNVMp4Asset::loadingDidFailWithError(const platform::Error& error) { failWithError(error); }

void QNVMp4Asset::parsingDidFailWithError(const platform::Error& error) { failWithError(error); }

void QNVMp4Asset::failWithError(const platform::Error& error) {
  OV_LOG(kOVAdLogLevelError, kFailed, description().c_str(), error.localizedDescription().c_str());
  addErrorToLog(error, true);
  error_ = error;
  hasFailed_ = true;
  if (atomManager_->parsedHeaders()) return;
  platform::Dictionary details = error.userInfo();
  details.set(kCauseCodeKey, error.code());
  details.set(kCauseDomainKey, error.domain());
  loadingError_ = platform::Error(kQNVAssetLoadingError, kQNVAssetLoadingErrorDownloadFailed, std::move(details));
  serveLoadHandler();
}

void QNVMp4Asset::reportWarning(const platform::Error& error) {
  OV_LOG(kOVAdLogLevelWarn, kWarning, description().c_str(), error.localizedDescription().c_str());
  ++warningCount_;
  if (warningCount_ <= kPostedWarnings) addErrorToLog(error, false);
}

}  // namespace plexora
