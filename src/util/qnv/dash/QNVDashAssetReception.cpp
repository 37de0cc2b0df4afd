// Data reception of a DASH asset: what happens when a data loader reports
// bytes, the per-representation state, the loaded time fed to the buffer
// size decider, and the fully-downloaded tests.
#include "util/OVAdLogger.h"
#include "util/qnv/core/QNVSoftAssertion.h"
#include "util/qnv/dash/QNVDashAsset.h"
#include "util/qnv/mp4/QNVMp4SegmentIndex.h"

namespace plexora {

namespace {

constexpr const char* kCancelDiskCache = "%s Canceling disk cache due to data received";
constexpr const char* kHeadersMissingAtCompletion = "download completed without header parsed - will return error";
constexpr const char* kSegmentIndexUpdated = "%s Updated segment index:%d, segments parsed: %d, track:%d";
constexpr const char* kTooFewMoofsDetail = "%s Failed to parse enough moofs, index:%d, segments parsed: %d, track:%d";
constexpr const char* kTooFewMoofs = "Download completed without enough moofs parsed";
constexpr const char* kNilVideoRepresentation = "_dataForRep called with nil video representationId";
constexpr const char* kCbrFallbackId = "cbrHack";
constexpr const char* kNoTimelineEntries = "No timeline entries for parsed, static, segmented playlist";
// The lead, in seconds, by which partial data may move the loaded time; the
// single-precision 0.9 it was always compared as.
constexpr double kEarlyLoadedTimeLead = static_cast<double>(0.9F);

}  // namespace

void QNVDashAsset::dataWasReceivedForTrack(QNVTrackIndex track, const std::string& representationId, bool isComplete,
                                           bool allRequestedBytesReceived, bool forDiskCache) {
  const size_t slot = trackSlot(track);
  const auto& tracker = downloadTrackers_[slot];
  QNV_SOFT_ASSERT(!isComplete || tracker->lastRequestRepresentationId().has_value(), "%s",
                  "Previous request finished but no info about previous track");
  if (forDiskCache) {
    if (shouldCancelDiskCache(track)) {
      OV_LOG(kOVAdLogLevelDebug, kCancelDiskCache, description().c_str());
      if (const auto loader = dataForRep(representationId, track)->dataLoader) loader->cancelDiskCache();
    }
    return;
  }
  if (hasFailed_) return;
  setDashPlaylistData(playlistData_);

  const bool wasParsedForEachTrack = parsedHeadersForEachTrack_;
  parseAtomForTrack(track, representationId);
  if (hasFailed_) return;

  if (!wasParsedForEachTrack && parsedHeadersForEachTrack_) {
    completeLoad();
  } else if (isComplete && ((allRequestedBytesReceived && shouldCheckAllHeadersParsedAtDownloadComplete_) ||
                             playlistData_->isSegmented())) {
    // A segmented stream's headers come whole in its init segment, never in
    // a media segment: an init segment that ended without them (empty, or
    // not an init segment) leaves nothing that could complete the load.
    const auto last = dataForRep(tracker->lastRequestRepresentationId(), track);
    if (!last->parsedHeaders) {
      OV_LOG(kOVAdLogLevelWarn, "%s", kHeadersMissingAtCompletion);
      parsingDidFailWithError(platform::Error(kQNVAssetLoadingError, kQNVAssetLoadingErrorParseFailed));
      if (hasFailed_) return;
    }
  }

  if (playlistData_->isFragmented() && isComplete && previousFragmentedRequestFinishedAtBoundaryForTrack(track)) {
    const auto last = dataForRep(tracker->lastRequestRepresentationId(), track);
    QNV_SOFT_ASSERT(last->parsedHeaders, "%s", "Previous request finished at boundary but previous quality not parsed");
    const auto index =
        static_cast<int32_t>(sidxSegmentIndexForOffset(tracker->lastRequestReceiveOffset(), last->atomProvider()->sidxAtom));
    if (index != 0) {
      QNV_SOFT_ASSERT(index >= vodSegmentIndex_[slot], "VOD segment index drop: %d->%d forTrack:%d",
                      vodSegmentIndex_[slot], index, static_cast<int>(track));
      vodSegmentIndex_[slot] = index;
      OV_LOG(kOVAdLogLevelVerbose, kSegmentIndexUpdated, description().c_str(), index, segmentsParsedCount_[slot],
             static_cast<int>(track));
      if (segmentsParsedCount_[slot] < index) {
        OV_LOG(kOVAdLogLevelDebug, kTooFewMoofsDetail, description().c_str(), index, segmentsParsedCount_[slot],
               static_cast<int>(track));
        OV_LOG(kOVAdLogLevelWarn, "%s", kTooFewMoofs);
        if (shouldFailOnUnparsedMoofs_) {
          parsingDidFailWithError(platform::Error(kQNVAssetLoadingError, kQNVAssetLoadingErrorUnparsedMoofs));
          if (hasFailed_) return;
        }
      }
    }
  }

  // A complete answer that ends before the media its fragment header
  // describes is a segment cut short: its last frames' bytes never come.
  // Segments are laid end to end, so the next one would land where those
  // bytes belong and be read as them: the stream fails here instead.
  if (playlistData_->isSegmented() && isComplete && frames_[slot]->frameCount() > 0) {
    const QNVMp4FrameRecord last = frames_[slot]->lastFrame();
    if (last.offset + last.size > tracker->bytesReceived) {
      OV_LOG(kOVAdLogLevelWarn, "%s", kTooFewMoofs);
      parsingDidFailWithError(platform::Error(kQNVAssetLoadingError, kQNVAssetLoadingErrorUnparsedMoofs));
      if (hasFailed_) return;
    }
  }

  // The loaded time is the video's whichever track reported: playback can
  // only go as far as the video has arrived.
  const platform::MediaTime loadedVideoTime = timeLoadedForOffset(downloadTrackers_[0]->bytesReceived, kQNVVideoTrack);
  bool updated = false;
  if (parsedHeadersForAnyRepresentation_[slot]) {
    const double decided = bufferSizeDecider_.timeLoadedInSeconds();
    if (decided == 0.0 || isStalled_) {
      updateTimeLoaded(loadedVideoTime);
      updated = true;
    } else if (shouldUpdateLoadedTimeEarlier_ && loadedVideoTime.isNumeric() &&
               loadedVideoTime.seconds() - decided >= kEarlyLoadedTimeLead) {
      updateTimeLoaded(loadedVideoTime);
      updated = true;
    }
  }
  if (isComplete) {
    if (!updated) updateTimeLoaded(loadedVideoTime);
    potentiallyStartRequestForTrack(track);
  }
}

std::shared_ptr<QNVDashRepresentationSpecificData> QNVDashAsset::dataForRep(
    const std::optional<std::string>& representationId, QNVTrackIndex track) {
  if (track == kQNVAudioTrack) {
    if (!audioRepData_) audioRepData_ = newRepDataForTrack(track, playlistData_->audioRepresentationId);
    return audioRepData_;
  }
  QNV_SOFT_ASSERT(track == kQNVVideoTrack, "Unexpected track:%d", static_cast<int>(track));
  if (!representationId) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kNilVideoRepresentation);
    std::string id = playlistData_->representationId;
    QNV_SOFT_ASSERT(!id.empty(), "%s", "_playlistData.representationId nil for CBR");
    if (id.empty()) id = kCbrFallbackId;
    if (!videoRepData_) videoRepData_ = newRepDataForTrack(kQNVVideoTrack, id);
    QNV_SOFT_ASSERT(videoRepData_->representationId == id, "Representation mismatch: %s,%s",
                    videoRepData_->representationId.c_str(), id.c_str());
    return videoRepData_;
  }
  auto& data = videoRepDatas_[*representationId];
  if (!data) data = newRepDataForTrack(kQNVVideoTrack, *representationId);
  QNV_SOFT_ASSERT(data->representationId == *representationId, "Representation mismatch: %s,%s",
                  data->representationId.c_str(), representationId->c_str());
  return data;
}

std::shared_ptr<QNVDashRepresentationSpecificData> QNVDashAsset::existingDataForRep(
    const std::optional<std::string>& representationId, QNVTrackIndex track) const {
  if (track == kQNVAudioTrack) return audioRepData_;
  if (!representationId) return videoRepData_;
  const auto found = videoRepDatas_.find(*representationId);
  if (found != videoRepDatas_.end()) return found->second;
  if (videoRepData_ && videoRepData_->representationId == *representationId) return videoRepData_;
  return nullptr;
}

std::shared_ptr<QNVDashRepresentationSpecificData> QNVDashAsset::newRepDataForTrack(
    QNVTrackIndex track, const std::string& representationId) {
  const size_t slot = trackSlot(track);
  auto data = std::make_shared<QNVDashRepresentationSpecificData>(representationId);
  QNV_SOFT_ASSERT(downloadTrackers_[slot] != nullptr, "%s", "nil download tracker");
  auto loader = QNVDashDataLoader::initWithPlaylistData(playlistData_, downloadTrackers_[slot], resourceLoader_,
                                                        dataBlockDistributors_[slot],
                                                        enablePrefetchLookupWhenBypassCache_, track, representationId);
  loader->setDelegate(weak_from_this());
  if (!async_) loader->_forTestingMakeSynchronous();
  if (bypassPrefetch_) loader->_forTestingBypassPrefetch();
  if (enableVodMidstreamSwitch_) loader->_forTestingEnableVodMidstreamSwitch();
  data->dataLoader = std::move(loader);
  return data;
}

void QNVDashAsset::updateTimeLoaded(const platform::MediaTime& loadedVideoTime) {
  const bool videoDone = isFullyDownloadedForTrack(kQNVVideoTrack);
  bool mayPlay = false;
  if (!containsAudio()) {
    mayPlay = bufferSizeDecider_.updateTimeLoadedWithLoadedVideoTime(loadedVideoTime, videoDone);
  } else {
    const platform::MediaTime loadedAudioTime =
        timeLoadedForOffset(downloadTrackers_[1]->bytesReceived, kQNVAudioTrack);
    const bool audioDone = isFullyDownloadedForTrack(kQNVAudioTrack);
    mayPlay =
        bufferSizeDecider_.updateTimeLoadedWithLoadedVideoTime(loadedVideoTime, videoDone, loadedAudioTime, audioDone);
  }
  if (mayPlay && playerCheckForStallCallback_) playerCheckForStallCallback_();
}

bool QNVDashAsset::isFullyDownloadedForTrack(QNVTrackIndex track) const {
  if (!playlistData_->isParsed) return false;
  // A failure stops every fetch: what the track lacks never comes, and
  // playback stalls at the last frame it has instead of running on as if
  // the track were whole.
  if (hasFailed_) return false;
  const size_t slot = trackSlot(track);
  // Audio the playlist lacks, or that cannot be decoded, is never fetched.
  if (slot == 1 && !containsAudio()) return true;
  if (downloadTrackers_[slot]->fetchInProgress()) return false;
  if (playlistData_->isSegmented()) {
    if (playlistData_->expectsFutureUpdates) return false;
    const auto& entries = playlistData_->timelineEntries(track);
    if (entries.empty()) OV_LOG(kOVAdLogLevelWarn, "%s", kNoTimelineEntries);
    return playlistData_->fetchIndexForTrack(track) >= static_cast<int32_t>(entries.size());
  }
  if (playlistData_->isFragmented()) {
    const auto data = fetchingRepIds_[slot] ? existingDataForRep(fetchingRepIds_[slot], track) : nullptr;
    if (!data || !data->parsedHeaders) return false;
    verifySidxParsingAgainstFileLengthForRepresentationData(*data);
    return data->dataLoader && data->dataLoader->fragmentedIsFullyDownloaded();
  }
  QNV_SOFT_ASSERT(false, "%s", "Parsed playlist is not segmented or fragmented");
  return false;
}

void QNVDashAsset::verifySidxParsingAgainstFileLengthForRepresentationData(
    const QNVDashRepresentationSpecificData& data) const {
  QNV_SOFT_ASSERT(playlistData_->isFragmented(), "%s", "verifySidxParsing called for non-fragmented");
  if (!playlistData_->isFragmented()) return;
  const auto& segments = data.atomProvider().sidxAtom.segments;
  QNV_SOFT_ASSERT(!segments.empty(), "%s", "No Sidx segments after successful parse");
  if (segments.empty() || !data.dataLoader) return;
  [[maybe_unused]] const uint64_t fileSize = data.dataLoader->fileSize();
  QNV_SOFT_ASSERT(fileSize == 0 || segments.back().offset + segments.back().size == fileSize, "%s",
                  "Incorrect sidx offsets");
}

bool QNVDashAsset::fullyDownloaded() const {
  return isFullyDownloadedForTrack(kQNVAudioTrack) && isFullyDownloadedForTrack(kQNVVideoTrack);
}

}  // namespace plexora
