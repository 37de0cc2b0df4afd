// Which representation of a track the next fetch downloads.
#include "util/OVAdLogger.h"
#include "util/qnv/core/QNVSoftAssertion.h"
#include "util/qnv/dash/QNVDashAsset.h"
#include "util/qnv/mp4/QNVMp4SegmentIndex.h"

namespace plexora {

namespace {

constexpr const char* kUnexpectedTrack = "Unexpected track: %d";
constexpr const char* kReceiveMismatch = "Receive bytes mismatch: %s";
constexpr const char* kParseSelected = "%s using representation selected at parse: %s";
constexpr const char* kOnlyOneUnexpected = "Only 1 representationID available, but was not as expected";
constexpr const char* kSwitchingFetch = "%s Switching fetch quality from %s to %s";
constexpr const char* kSameFetch = "%s using same fetch quality: %s";
constexpr const char* kNotSelected = "Representation was not selected for track:%d";
constexpr const char* kVodPrefetched = "%s Selecting DASH VoD quality we've already prefetched, rep_id:%s";
constexpr const char* kLivePrefetched = "%s Selecting DASH Live quality we've already prefetched, rep_id:%s";
constexpr const char* kNoSegmentMetadata = "Trying to select a representation for a segment we have no metadata about";
constexpr const char* kNilSelection = "returning nil selectedRepresentation";
constexpr const char* kNoPreviousCall = "Expected there to have been a previous call";
constexpr const char* kNotAtBoundary =
    "%s Previous request did not finish to fragment boundary: %llu != %llu (len:%u, sum:%llu)";
constexpr const char* kNull = "(null)";

using ull = unsigned long long;

const char* orNull(const std::optional<std::string>& text) { return text ? text->c_str() : kNull; }

// Whether the fetcher already holds the bytes of the URL.
bool hasPrefetched(const std::shared_ptr<QNVAssetResourceLoader>& resourceLoader,
                   const std::optional<platform::URL>& url) {
  if (!url) return false;
  const auto fetcher = resourceLoader->delegate();
  return fetcher && fetcher->resourceLoaderHasPrefetchedDataForUrl(resourceLoader, *url);
}

}  // namespace

void QNVDashAsset::selectRepresentationForTrack(QNVTrackIndex track) {
  if (track == kQNVAudioTrack) {
    const std::string& audio = playlistData_->audioRepresentationId;
    fetchingRepIds_[1] = audio.empty() ? std::nullopt : std::optional<std::string>(audio);
  } else {
    QNV_SOFT_ASSERT(track == kQNVVideoTrack, kUnexpectedTrack, static_cast<int>(track));
    const std::optional<std::string> previous = fetchingRepIds_[0];
    const auto& tracker = *downloadTrackers_[0];
    if (!enableVodMidstreamSwitch_ && playlistData_->isFragmented() && tracker.lastRequestRepresentationId() &&
        tracker.lastRequestReceiveOffset() != tracker.bytesReceived) {
      OV_LOG(kOVAdLogLevelWarn, kReceiveMismatch, tracker.description().c_str());
    }

    std::optional<std::string> chosen;
    const auto& properties = playlistData_->properties();
    // Template segments carry a URL per representation in each timeline
    // entry, so the choice is made per entry whether or not the
    // presentation is live.
    if (enableLiveMidstreamSwitch_ && playlistData_->videoType == kQNVDashVideoTypeLive) {
      chosen = selectSegmentedQualityForTrack(kQNVVideoTrack);
    } else if (enableVodMidstreamSwitch_ && playlistData_->isFragmented()) {
      chosen = selectFragmentedQualityForTrack(kQNVVideoTrack);
    } else if (properties.size() != 1) {
      if (!playlistData_->representationId.empty()) chosen = playlistData_->representationId;
      OV_LOG(kOVAdLogLevelVerbose, kParseSelected, description().c_str(), orNull(chosen));
    } else {
      chosen = properties.begin()->first;
      QNV_SOFT_ASSERT(playlistData_->representationId.empty() || playlistData_->representationId == *chosen, "%s",
                      kOnlyOneUnexpected);
    }
    fetchingRepIds_[0] = chosen;

    if (chosen) {
      if (chosen != previous) {
        OV_LOG(kOVAdLogLevelDebug, kSwitchingFetch, description().c_str(),
               orNull(qualityLabelForRepresentation(previous)), orNull(qualityLabelForRepresentation(chosen)));
      } else {
        OV_LOG(kOVAdLogLevelVerbose, kSameFetch, description().c_str(), orNull(qualityLabelForRepresentation(chosen)));
      }
    }
  }
  QNV_SOFT_ASSERT(fetchingRepIds_[trackSlot(track)].has_value(), kNotSelected, static_cast<int>(track));
}

std::optional<std::string> QNVDashAsset::selectFragmentedQualityForTrack(QNVTrackIndex track) {
  const std::optional<std::string> current = fetchingRepIds_[trackSlot(track)];
  // A switch inside a segment would splice two encodings mid-fragment.
  if (current && !previousFragmentedRequestFinishedAtBoundaryForTrack(track)) return current;

  const auto& properties = playlistData_->properties();
  if (!ignorePrefetchQualitySelection_ && track == kQNVVideoTrack && !current && properties.size() > 1) {
    for (const auto& [id, unused] : properties) {
      if (!hasPrefetched(resourceLoader_, playlistData_->fragmentedUrlForRepresentation(id, kQNVVideoTrack))) continue;
      OV_LOG(kOVAdLogLevelVerbose, kVodPrefetched, description().c_str(), id.c_str());
      playlistData_->usedPrefetchQuality = true;
      return id;
    }
  }

  std::optional<std::string> defaultId = current;
  if (!defaultId && !properties.empty()) defaultId = properties.begin()->first;
  std::vector<std::string> available;
  available.reserve(properties.size());
  for (const auto& [id, unused] : properties) available.push_back(id);
  return abrSelector_->selectRepresentationIdFromMetadata(properties, available, defaultId);
}

std::optional<std::string> QNVDashAsset::selectSegmentedQualityForTrack(QNVTrackIndex track) {
  const int32_t index = playlistData_->videoFetchIndex;
  const QNVDashTimeline& timeline = playlistData_->timelineEntries(track);
  if (index < 0 || static_cast<size_t>(index) >= timeline.size()) {
    QNV_SOFT_ASSERT(false, "%s", kNoSegmentMetadata);
    return fetchingRepIds_[trackSlot(track)];
  }
  QNVDashTimelineEntry& entry = *timeline[static_cast<size_t>(index)];
  if (entry.selectedRepresentationId()) return entry.selectedRepresentationId();

  const std::vector<std::string> available = entry.availableRepresentations();
  std::optional<std::string> chosen;
  if (!ignorePrefetchQualitySelection_ && index < segmentsFromEndToStartPrefetch_ && available.size() >= 2) {
    for (const auto& id : available) {
      if (!hasPrefetched(resourceLoader_, entry.getUrlForRepresentation(id))) continue;
      OV_LOG(kOVAdLogLevelVerbose, kLivePrefetched, description().c_str(), id.c_str());
      playlistData_->usedPrefetchQuality = true;
      chosen = id;
      break;
    }
  }
  if (!chosen) {
    std::optional<std::string> defaultId = fetchingRepIds_[0];
    if (!defaultId) defaultId = entry.defaultRepresentation();
    chosen = abrSelector_->selectRepresentationIdFromMetadata(playlistData_->properties(), available, defaultId);
    QNV_SOFT_ASSERT(chosen.has_value(), "%s", kNilSelection);
  }
  if (chosen) entry.selectRepresentation(*chosen);
  return chosen;
}

bool QNVDashAsset::previousFragmentedRequestFinishedAtBoundaryForTrack(QNVTrackIndex track) {
  if (!fetchingRepIds_[trackSlot(track)]) OV_LOG(kOVAdLogLevelWarn, "%s", kNoPreviousCall);
  const auto& tracker = *downloadTrackers_[trackSlot(track)];
  const auto& lastId = tracker.lastRequestRepresentationId();
  if (!lastId) return false;
  const auto data = existingDataForRep(lastId, track);
  if (!data || !data->parsedHeaders) return false;
  const QNVMP4SidxAtom& sidx = data->atomProvider()->sidxAtom;
  if (sidx.segments.empty()) return false;
  const uint64_t offset = tracker.lastRequestReceiveOffset();
  const QNVMP4SidxSegment segment = sidxSegmentForOffset(offset, sidx);
  if (offset == segment.offset) return true;
  OV_LOG(kOVAdLogLevelVerbose, kNotAtBoundary, description().c_str(), static_cast<ull>(offset),
         static_cast<ull>(segment.offset), segment.size, static_cast<ull>(segment.offset + segment.size));
  return false;
}

}  // namespace plexora
