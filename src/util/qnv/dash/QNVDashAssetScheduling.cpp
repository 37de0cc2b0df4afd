// Request scheduling of a DASH asset: whether a track needs data and which
// byte range (fragmented) or segment range (segmented) of its fetching
// representation the next request covers.
#include "util/OVAdLogger.h"
#include "util/qnv/core/QNVSoftAssertion.h"
#include "util/qnv/dash/QNVDashAsset.h"
#include "util/qnv/mp4/QNVMp4SegmentIndex.h"

namespace plexora {

namespace {

constexpr const char* kNotAfterFailure = "%s not attempting to download due to failure";
constexpr const char* kSegmentStart = "%s Using start offset for segment index:%d, tr:%d";
constexpr const char* kCbrPriorOffset = "%s Using start offset for cbr prior receive offset:%llu, tr:%d";
constexpr const char* kPriorOffset = "%s Using start offset for prior receive offset:%llu, tr:%d";
constexpr const char* kVodFetch = "%s Fragmented vod fetch for quality:%s for index:%u-%u, range:%llu-%llu";
constexpr const char* kVodInitialFetch = "%s Fragmented vod fetch for quality:%s - initial fetch range:%llu-%llu";
constexpr const char* kSpinnerDetail =
    "%s potential infinite spinner, offsets:%llu>=%llu, lastFrame.offset+size:%llu, tracker:%s, shouldStall=%d";
constexpr const char* kSpinner = "potential infinite spinner where start offset is equal to end";
// Bits to bytes.
constexpr double kBytesPerBit = 0.125;

using ull = unsigned long long;

}  // namespace

void QNVDashAsset::potentiallyStartRequest() {
  potentiallyStartRequestForTrack(kQNVVideoTrack);
  potentiallyStartRequestForTrack(kQNVAudioTrack);
}

void QNVDashAsset::potentiallyStartRequestForTrack(QNVTrackIndex track) {
  if (hasFailed_) {
    OV_LOG(kOVAdLogLevelDebug, kNotAfterFailure, description().c_str());
    return;
  }
  if (!playlistData_->isParsed) {
    playlistLoader_->handleInlinedManifest();
    setDashPlaylistData(playlistData_);
    if (!playlistData_->isParsed) {
      if (track == kQNVVideoTrack) playlistLoader_->forcePlaylistUpdate();
      return;
    }
  }
  if (shouldStartDiskCache(track)) {
    if (const auto loader = dataLoaderForTrack(track)) loader->diskCacheToOffset(nextDiskCacheOffset(track));
  }
  if (!shouldFetchDataForTrack(track)) return;
  selectRepresentationForTrack(track);
  if (playlistData_->isFragmented()) {
    fragmentedFetchForTrack(track);
  } else if (playlistData_->isSegmented()) {
    segmentedFetchForTrack(track);
  } else {
    QNV_SOFT_ASSERT(false, "%s", "Playlist is not fragmented or segmented");
  }
}

bool QNVDashAsset::shouldFetchDataForTrack(QNVTrackIndex track) {
  if (hasFailed_) {
    OV_LOG(kOVAdLogLevelDebug, kNotAfterFailure, description().c_str());
    return false;
  }
  const size_t slot = trackSlot(track);
  if (downloadTrackers_[slot]->fetchInProgress() || isFullyDownloadedForTrack(track)) return false;
  const int32_t fetchIndex = playlistData_->fetchIndexForTrack(track);
  if (!bufferSizeDecider_.shouldFetchForTrack(track)) {
    const int32_t forceTo = playlistData_->indexToForceFetchTo;
    const bool forced = playlistData_->isSegmented() && forceTo >= 0 && fetchIndex <= forceTo;
    if (!forced) return false;
  }
  if (!playlistData_->isSegmented()) return true;
  return fetchIndex < static_cast<int32_t>(playlistData_->timelineEntries(track).size());
}

void QNVDashAsset::fragmentedFetchForTrack(QNVTrackIndex track) {
  const size_t slot = trackSlot(track);
  const auto& tracker = *downloadTrackers_[slot];
  const std::optional<std::string>& fetchingId = fetchingRepIds_[slot];
  const auto rep = dataForRep(fetchingId, track);
  const std::string& repId = rep->representationId;
  const auto& segments = rep->atomProvider()->sidxAtom.segments;
  uint64_t start = 0;
  uint64_t end = 0;

  if (rep->parsedHeaders) {
    if (previousFragmentedRequestFinishedAtBoundaryForTrack(track)) {
      const int32_t index = vodSegmentIndex_[slot];
      const bool inBounds = index >= 0 && static_cast<size_t>(index) < segments.size();
      QNV_SOFT_ASSERT(inBounds, "%s", "Attempting to access sidx index out of bounds");
      if (!inBounds) {
        start = tracker.bytesReceived;
      } else if (slot == 0 && enableVodMidstreamSwitch_) {
        start = segments[static_cast<size_t>(index)].offset;
        OV_LOG(kOVAdLogLevelVerbose, kSegmentStart, description().c_str(), index, static_cast<int>(track));
      } else {
        start = tracker.bytesReceived;
        OV_LOG(kOVAdLogLevelVerbose, kCbrPriorOffset, description().c_str(), static_cast<ull>(start),
               static_cast<int>(track));
        QNV_SOFT_ASSERT(enableVodMidstreamSwitch_ || fetchingId != tracker.lastRequestRepresentationId() ||
                            index < 1 ||
                            segments[static_cast<size_t>(index)].offset == tracker.lastRequestReceiveOffset(),
                        "%s", "Expected CBR offset to match segment boundary");
      }
    } else {
      start = tracker.bytesReceived;
      OV_LOG(kOVAdLogLevelVerbose, kPriorOffset, description().c_str(), static_cast<ull>(start),
             static_cast<int>(track));
    }
    end = offsetForTimeInSeconds(bufferSizeDecider_.timeToLoadInSeconds(), track);
  } else if (parsedHeadersForAnyRepresentation_[slot]) {
    // A switch to a representation not fetched before: its headers first.
    QNV_SOFT_ASSERT(enableVodMidstreamSwitch_, "%s", "Re-fetching headers for non-ABR");
    start = fetchingId == tracker.lastRequestRepresentationId() ? tracker.lastRequestReceiveOffset() : 0;
    end = playlistData_->fragmentedInitializationLengthForRepresentation(repId, track);
    QNV_SOFT_ASSERT(start != end, "%s", "previous header fetch did not finish after midstream switch but received enough data");
  } else {
    // The first request: the headers and the first seconds of media at the
    // representation's bit rate. The end is an offset, not a length.
    start = tracker.bytesReceived;
    const double bitrate = playlistData_->bitrateForRepresentation(repId, track);
    const auto firstFetchSeconds = static_cast<double>(static_cast<float>(bufferSizeDecider_.firstFetchSizeInSeconds()));
    const double initLength =
        static_cast<double>(playlistData_->fragmentedInitializationLengthForRepresentation(repId, track));
    end = static_cast<uint64_t>(bitrate * kBytesPerBit * firstFetchSeconds + initLength);
  }

  if (enableVodMidstreamSwitch_ && playlistData_->isFragmented()) {
    if (rep->parsedHeaders) {
      const QNVMP4SidxAtom& sidx = rep->atomProvider()->sidxAtom;
      OV_LOG(kOVAdLogLevelVerbose, kVodFetch, description().c_str(), repId.c_str(),
             static_cast<unsigned>(sidxSegmentIndexForOffset(start, sidx)),
             static_cast<unsigned>(sidxSegmentIndexForOffset(end, sidx)), static_cast<ull>(start), static_cast<ull>(end));
    } else {
      OV_LOG(kOVAdLogLevelVerbose, kVodInitialFetch, description().c_str(), repId.c_str(), static_cast<ull>(start),
             static_cast<ull>(end));
    }
  }
  if (end <= start) {
    QNVMp4FrameMetadataCompressor& store = *frames_[slot];
    const uint64_t lastEnd = store.frameCount() > 0 ? store.lastFrame().offset + store.lastFrame().size : 0;
    OV_LOG(kOVAdLogLevelDebug, kSpinnerDetail, description().c_str(), static_cast<ull>(start), static_cast<ull>(end),
           static_cast<ull>(lastEnd), tracker.description().c_str(), bufferSizeDecider_.shouldStall() ? 1 : 0);
    OV_LOG(kOVAdLogLevelWarn, "%s", kSpinner);
  }
  if (rep->dataLoader) rep->dataLoader->fetchFromOffset(start, end);
}

void QNVDashAsset::segmentedFetchForTrack(QNVTrackIndex track) {
  const size_t slot = trackSlot(track);
  const uint64_t end = parsedHeadersForAnyRepresentation_[slot]
                           ? offsetForTimeInSeconds(bufferSizeDecider_.timeToLoadInSeconds(), track)
                           : 0;
  if (const auto loader = dataForRep(fetchingRepIds_[slot], track)->dataLoader) loader->fetchFromOffset(0, end);
}

void QNVDashAsset::seekDataLoaderToTime(const platform::MediaTime& time, uint64_t offset, bool shouldUpdateOffset,
                                        QNVTrackIndex track) {
  bufferSizeDecider_.setTimeAfterSeek(time);
  const auto loader = dataForRep(fetchingRepIds_[trackSlot(track)], track)->dataLoader;
  if (!loader) return;
  if (shouldUpdateOffset) loader->seekForwardToOffset(offset);
  if (playlistData_->isFragmented()) offset = offsetForTimeInSeconds(static_cast<float>(time.seconds()), track);
  loader->fetchToOffset(offset);
}

}  // namespace plexora
