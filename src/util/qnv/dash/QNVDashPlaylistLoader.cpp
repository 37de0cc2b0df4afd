#include "util/qnv/dash/QNVDashPlaylistLoader.h"

#include <cstdio>

#include "util/OVAdLogger.h"
#include "util/OVAdUtility.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/core/QNVRealTimer.h"

namespace plexora {
namespace {

constexpr const char* kClassName = "QNVDashPlaylistLoader";
constexpr const char* kLiveDescriptionFormat = "<%s %p vid:%s failCt:%d>";
constexpr const char* kDescriptionFormat = "<%s %p vid:%s>";
constexpr const char* kNil = "(null)";
constexpr const char* kMpdExtension = "mpd";
constexpr const char* kNotMpdFormat = "MPD url does not end in .mpd: %s";
constexpr const char* kNeitherMessage = "Expected one of mpdUrl,mpdData but got neither";
constexpr const char* kCapOrderMessage = "Expected the cap number to not be lower than number after capping.";
constexpr const char* kSecondDelegateMessage = "DASH DataLoader setDelegate called with non-nil delegate";
constexpr const char* kOutstandingFormat = "%s Not updating playlist due to outstanding request";
constexpr const char* kUpdatingFormat = "%s Updating playlist";
constexpr const char* kFetchFailedFormat = "%s Playlist fetch failed with error:%s. waiting for next refresh";
constexpr const char* kUpdatedFormat = "%s Playlist updated";
constexpr const char* kManifestFormat = "%s %s, mpd: %s";
constexpr const char* kNoRefreshOnErrorFormat = "%s NOT scheduling refresh of playlist due to playback error";
constexpr const char* kTargetReachedFormat =
    "%s updated playlist to target index, not refreshing playlist until resumed";
constexpr const char* kSchedulingFormat = "%s scheduling refresh of playlist";
constexpr const char* kLiveEndedFormat = "%s live video has ended, not refreshing playlist again";
constexpr const char* kOutOfAlignmentMessage = "Timeline entries out of alignment for A/V";
constexpr const char* kResumedFormat = "%s Live playback resumed. segmentsRemoved:%d v:%d/%lu a:%d/%lu";
constexpr const char* kPushCountKey = "_nc_p_n=";
constexpr const char* kPushOffsetKey = "&_nc_p_o=";
constexpr const char* kPushTimeKey = "&_nc_p_ts=";
constexpr const char* kPushRepresentationKey = "&_nc_p_rid=";
constexpr const char* kPushAudioRepresentationKey = "&_nc_p_arid=";
constexpr const char* kAbrMarker = "dash-abr";
constexpr uint64_t kRefreshIntervalNanoseconds = 1000000000;

std::string baseMutableStringForPushParams(const platform::URL& url) {
  const bool hasQuery = url.query() && !url.query()->empty();
  return url.absoluteString() + (hasQuery ? "&" : "?");
}

}  // namespace

std::shared_ptr<QNVDashPlaylistLoader> QNVDashPlaylistLoader::initWithMpdUrl(
    std::optional<platform::URL> mpdUrl, std::string mpdData, std::shared_ptr<QNVDashPlaylistData> playlistData,
    std::shared_ptr<QNVAssetResourceLoader> resourceLoader, std::shared_ptr<QNVAdaptiveBitrateSelector> abrSelector,
    const QNVDashPlaylistLoaderSettings& settings) {
  return std::shared_ptr<QNVDashPlaylistLoader>(
      new QNVDashPlaylistLoader(std::move(mpdUrl), std::move(mpdData), std::move(playlistData),
                                std::move(resourceLoader), std::move(abrSelector), settings));
}

QNVDashPlaylistLoader::QNVDashPlaylistLoader(std::optional<platform::URL> mpdUrl, std::string mpdData,
                                             std::shared_ptr<QNVDashPlaylistData> playlistData,
                                             std::shared_ptr<QNVAssetResourceLoader> resourceLoader,
                                             std::shared_ptr<QNVAdaptiveBitrateSelector> abrSelector,
                                             const QNVDashPlaylistLoaderSettings& settings)
    : resourceLoader_(std::move(resourceLoader)),
      timerManager_(std::make_shared<QNVRealTimerManager>()),
      dispatchQueue_(QNVMediaStateQueue()),
      mpdURL_(std::move(mpdUrl)),
      initialMpdData_(std::move(mpdData)),
      playlistData_(std::move(playlistData)),
      abrSelector_(std::move(abrSelector)),
      settings_(settings) {
  if (mpdURL_ && !mpdURL_->pathExtension().starts_with(kMpdExtension)) {
    OV_LOG(kOVAdLogLevelWarn, kNotMpdFormat, mpdURL_->absoluteString().c_str());
  }
  if (!mpdURL_ && initialMpdData_.empty()) OV_LOG(kOVAdLogLevelWarn, "%s", kNeitherMessage);
  if (settings_.unfetchedSegmentCap < settings_.unfetchedSegmentsAfterCap) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kCapOrderMessage);
  }
  if (mpdURL_) {
    playlistData_->shouldUpdateContinuously = false;
    playlistData_->indexToForceFetchTo = settings_.segmentsFromEndToStartPrefetch - 1;
  }
}

QNVDashPlaylistLoader::~QNVDashPlaylistLoader() { cancelPlaylistTimer(); }

std::string QNVDashPlaylistLoader::description() const {
  const std::optional<std::string> videoID = resourceLoader_ ? resourceLoader_->videoID() : std::nullopt;
  const char* shownID = videoID ? videoID->c_str() : kNil;
  char text[256];
  if (playlistData_->isLive()) {
    std::snprintf(text, sizeof text, kLiveDescriptionFormat, kClassName, static_cast<const void*>(this), shownID,
                  consecutiveStaleUpdates_);
  } else {
    std::snprintf(text, sizeof text, kDescriptionFormat, kClassName, static_cast<const void*>(this), shownID);
  }
  return text;
}

void QNVDashPlaylistLoader::setDelegate(const std::shared_ptr<QNVPlaylistLoaderDelegate>& delegate) {
  if (hasDelegate_) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kSecondDelegateMessage);
    return;
  }
  delegate_ = delegate;
  hasDelegate_ = delegate != nullptr;
}

void QNVDashPlaylistLoader::handleInlinedManifest() {
  if (initialMpdData_.empty()) return;
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  const std::string bytes = std::move(initialMpdData_);
  initialMpdData_.clear();
  handleMpdData(bytes);
}

void QNVDashPlaylistLoader::forcePlaylistUpdate() { updatePlaylist(); }

int32_t QNVDashPlaylistLoader::furthestFetchIndex() const {
  return std::max(playlistData_->audioFetchIndex, playlistData_->videoFetchIndex);
}

void QNVDashPlaylistLoader::pauseWithUnplayedData(uint32_t unplayedMilliseconds) {
  if (!playlistData_->isLive() && playlistData_->isParsed) return;
  const int32_t prefetch = settings_.segmentsFromEndToStartPrefetch;
  int32_t target = prefetch - 1;
  playlistData_->shouldUpdateContinuously = false;
  const int64_t furthest = furthestFetchIndex();
  // 64-bit: a large unplayed amount must not wrap into a positive span.
  const int64_t missing = (static_cast<int64_t>(prefetch) - 1) * 1000 - static_cast<int64_t>(unplayedMilliseconds);
  if (missing > 0) {
    const int64_t segments = (missing + 999) / 1000;
    const int64_t last = segments + furthest - 1;
    if (last >= prefetch) target = static_cast<int32_t>(std::min<int64_t>(last, INT32_MAX));
  }
  playlistData_->indexToForceFetchTo = target;
}

void QNVDashPlaylistLoader::resume() {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  // Entries past the fetch point are dropped only where a refresh brings
  // them back: a static presentation's timeline is all there is.
  if (playlistData_->isLive() && playlistData_->expectsFutureUpdates) {
    QNVDashTimeline& video = playlistData_->timelineEntries(kQNVVideoTrack);
    QNVDashTimeline& audio = playlistData_->timelineEntries(kQNVAudioTrack);
    const size_t kept =
        static_cast<size_t>(std::max({furthestFetchIndex(), settings_.segmentsFromEndToStartPrefetch, 0}));
    int removed = 0;
    while (video.size() > kept) {
      video.pop_back();
      if (!audio.empty()) audio.pop_back();
      ++removed;
    }
    if (playlistData_->containsAudioTrack && video.size() != audio.size()) {
      OV_LOG(kOVAdLogLevelWarn, "%s", kOutOfAlignmentMessage);
    }
    OV_LOG(kOVAdLogLevelDebug, kResumedFormat, description().c_str(), removed, playlistData_->videoFetchIndex,
           static_cast<unsigned long>(video.size()), playlistData_->audioFetchIndex,
           static_cast<unsigned long>(audio.size()));
  }
  const bool wasContinuous = playlistData_->shouldUpdateContinuously;
  playlistData_->shouldUpdateContinuously = true;
  playlistData_->indexToForceFetchTo = -1;
  if (!wasContinuous && playlistData_->expectsFutureUpdates) updatePlaylist();
}

bool QNVDashPlaylistLoader::isStreamDry() const {
  return settings_.staleMpdUpdatesThreshold > 0 && consecutiveStaleUpdates_ >= settings_.staleMpdUpdatesThreshold;
}

void QNVDashPlaylistLoader::cancelPlaylistTimer() {
  if (!playlistRefreshTimer_) return;
  playlistRefreshTimer_->pause();
  playlistRefreshTimer_.reset();
}

std::optional<platform::URL> QNVDashPlaylistLoader::addPushParamsForFirstRequest(const platform::URL& url) const {
  std::string text = baseMutableStringForPushParams(url);
  text += kPushCountKey + std::to_string(settings_.pushInitialSegmentCount);
  text += kPushOffsetKey + std::to_string(settings_.segmentsFromEndToStartUpdate);
  return platform::URL::parse(text);
}

std::optional<platform::URL> QNVDashPlaylistLoader::addPushParamsForContinuousRequests(const platform::URL& url) const {
  const QNVDashTimeline& video = playlistData_->timelineEntries(kQNVVideoTrack);
  if (video.empty()) return url;
  std::string text = baseMutableStringForPushParams(url);
  text += kPushCountKey + std::to_string(settings_.pushContinuousSegmentCount);
  const int64_t lastStart = video.back() ? video.back()->range().start.value : 0;
  text += kPushTimeKey + std::to_string(lastStart);
  text += kPushOffsetKey + std::to_string(settings_.segmentsFromEndToStartUpdate);
  if (text.find(kAbrMarker) != std::string::npos) {
    // Ids come from the manifest: encoded so they cannot add parameters.
    if (!playlistData_->representationId.empty()) {
      text += kPushRepresentationKey + ov_URLEncodedString(playlistData_->representationId);
    }
    if (!playlistData_->audioRepresentationId.empty()) {
      text += kPushAudioRepresentationKey + ov_URLEncodedString(playlistData_->audioRepresentationId);
    }
  }
  return platform::URL::parse(text);
}

void QNVDashPlaylistLoader::updatePlaylist() {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  const auto delegate = delegate_.lock();
  if (delegate && delegate->hasPlaybackFailed()) {
    cancelPlaylistTimer();
    return;
  }
  if (currentResourceLoaderRequestForPlaylist_) {
    OV_LOG(kOVAdLogLevelVerbose, kOutstandingFormat, description().c_str());
    return;
  }
  if (!mpdURL_) {
    QNV_SOFT_ASSERT(false, "Cannot update playlist for nil URL");
    return;
  }
  OV_LOG(kOVAdLogLevelVerbose, kUpdatingFormat, description().c_str());

  const bool async = async_;
  const platform::DispatchQueuePtr queue = dispatchQueue_;
  const std::weak_ptr<QNVDashPlaylistLoader> weakSelf = weak_from_this();
  auto buffer = std::make_shared<std::string>();
  auto dataRequest = std::make_shared<QNVDataRequest>(
      0, 0, [async, queue, buffer](platform::ByteView data, uint64_t, QNVDataRequest&) {
        std::string chunk(data.begin(), data.end());
        QNVDispatchAsyncIfNeeded(async, queue, [buffer, chunk = std::move(chunk)] { buffer->append(chunk); });
      });
  if (firstPlaylistFetch_) {
    dataRequest->firstRequest = true;
    firstPlaylistFetch_ = false;
  }

  std::optional<platform::URL> url = mpdURL_;
  if (settings_.pushInitialSegmentCount > 0 && !playlistData_->isParsed) {
    url = addPushParamsForFirstRequest(*mpdURL_);
  } else if (settings_.pushContinuousSegmentCount >= 1) {
    url = addPushParamsForContinuousRequests(*mpdURL_);
  }
  if (!url) url = mpdURL_;

  auto request = std::make_shared<QNVLoadingRequest>(
      nullptr, dataRequest, platform::URLRequest(url->absoluteString()),
      [async, queue, weakSelf, buffer](const std::optional<platform::Error>& error, QNVLoadingRequest&) {
        QNVDispatchAsyncIfNeeded(async, queue, [weakSelf, buffer, error] {
          if (const auto self = weakSelf.lock()) self->playlistLoadingRequestCallback(*buffer, error);
        });
      });
  currentResourceLoaderRequestForPlaylist_ = request;
  const std::shared_ptr<QNVAssetResourceLoader> resourceLoader = resourceLoader_;
  QNVRunOnDelegateQueue(*resourceLoader_, async, [resourceLoader, request] {
    if (const auto fetcher = resourceLoader->delegate()) fetcher->resourceLoaderLoadRequest(resourceLoader, request);
  });
}

void QNVDashPlaylistLoader::playlistLoadingRequestCallback(const std::string& bytes,
                                                           const std::optional<platform::Error>& error) {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  currentResourceLoaderRequestForPlaylist_.reset();
  const auto delegate = delegate_.lock();
  if (error) {
    OV_LOG(kOVAdLogLevelDebug, kFetchFailedFormat, description().c_str(), error->localizedDescription().c_str());
    if (!playlistData_->isParsed && delegate) delegate->loadingDidFailWithError(*error);
    return;
  }
  if (handleMpdData(bytes)) {
    OV_LOG(kOVAdLogLevelVerbose, kUpdatedFormat, description().c_str());
    if (const auto current = delegate_.lock()) current->playlistUpdated();
  }
}

void QNVDashPlaylistLoader::logManifestWithMessage(const char* message, const std::string& bytes) {
  if (loggedManifest_) return;
  OV_LOG(kOVAdLogLevelDebug, kManifestFormat, description().c_str(), message, bytes.c_str());
  loggedManifest_ = true;
}

void QNVDashPlaylistLoader::updatePlaylistTimerForPlaylistWasDynamic(bool wasDynamic) {
  const auto delegate = delegate_.lock();
  if (delegate && delegate->hasPlaybackFailed()) {
    OV_LOG(kOVAdLogLevelVerbose, kNoRefreshOnErrorFormat, description().c_str());
    cancelPlaylistTimer();
  } else if (playlistData_->expectsFutureUpdates) {
    const int64_t held = static_cast<int64_t>(playlistData_->timelineEntries(kQNVVideoTrack).size());
    if (!playlistData_->shouldUpdateContinuously && held >= int64_t{playlistData_->indexToForceFetchTo} + 1) {
      OV_LOG(kOVAdLogLevelVerbose, kTargetReachedFormat, description().c_str());
      cancelPlaylistTimer();
    } else if (!playlistRefreshTimer_) {
      OV_LOG(kOVAdLogLevelVerbose, kSchedulingFormat, description().c_str());
      const std::weak_ptr<QNVDashPlaylistLoader> weakSelf = weak_from_this();
      playlistRefreshTimer_ =
          timerManager_->createTimerWithInterval(kRefreshIntervalNanoseconds, false, QNVMediaStateQueue(), [weakSelf] {
            if (const auto self = weakSelf.lock()) self->updatePlaylist();
          });
      playlistRefreshTimer_->resume();
    }
  }
  if (wasDynamic && !playlistData_->expectsFutureUpdates) {
    OV_LOG(kOVAdLogLevelVerbose, kLiveEndedFormat, description().c_str());
    cancelPlaylistTimer();
  }
}

void QNVDashPlaylistLoader::forTestingOverrideTimerManager(std::shared_ptr<QNVTimerManager> timerManager) {
  QNV_SOFT_ASSERT(false, "Test method called outside of testing");
  timerManager_ = std::move(timerManager);
}

void QNVDashPlaylistLoader::forTestingEnableLiveMidstreamSwitch() { liveMidstreamSwitchEnabled_ = true; }

void QNVDashPlaylistLoader::forTestingEnableVodMidstreamSwitch() { vodMidstreamSwitchEnabled_ = true; }

}  // namespace plexora
