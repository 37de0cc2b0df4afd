// The mutable model of one DASH presentation as the asset plays it: the
// addressing type, per-representation URLs, initialization data and bit
// rates, the per-track segment timelines and fetch positions, and a few
// presentation facts. The playlist loader fills it from each manifest; the
// data loaders and the asset read it.
//
// Tracks: 0 video, 1 audio; any other index is refused with a log line.
// Video data are kept per representation, audio data once. An empty
// representation id stands for none and is never stored.
//
// Thread safety: none; used on the media-state queue only.
// Ownership: shared by the asset and the playlist loader; the timelines
// hold their entries through shared pointers.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/URL.h"
#include "platform/media/MediaTime.h"
#include "util/qnv/asset/QNVMediaAsset.h"
#include "util/qnv/dash/QNVDashTimelineEntry.h"
#include "util/qnv/dash/QNVDashTrackMetadata.h"
#include "util/qnv/dash/QNVMediaPresentationDescription.h"

namespace plexora {

// The host part that marks a fragmented URL as served from the maker's
// content-delivery network.
inline constexpr const char* kQNVDashOwnCdnDomain = "plexora-cdn.net";

using QNVDashTimeline = std::vector<std::shared_ptr<QNVDashTimelineEntry>>;

class QNVDashPlaylistData {
 public:
  bool isFragmented() const { return videoType == kQNVDashVideoTypeFragmented; }
  // Segments of a presentation that is, or once was, dynamic: one that was
  // static from its first manifest is on demand, whatever its addressing.
  bool isLive() const { return videoType == kQNVDashVideoTypeLive && hasBeenDynamic; }
  bool isSegmented() const { return videoType == kQNVDashVideoTypeLive || videoType == kQNVDashVideoTypeSegmentList; }
  // Until a fragmented URL on another host is added.
  bool isFragmentedUrlOnOvCdn() const { return isFragmentUrlOnOvCdn_; }

  void addSegmentedInitUrl(const std::optional<platform::URL>& url, const std::string& representation,
                           QNVTrackIndex track);
  std::optional<platform::URL> segmentedInitUrlForRepresentation(const std::string& representation,
                                                                 QNVTrackIndex track) const;
  int32_t fetchIndexForTrack(QNVTrackIndex track) const;
  void addRepresentationProperties(const QNVDashRepresentationProperties& properties, QNVTrackIndex track);
  uint32_t bitrateForRepresentation(const std::string& representation, QNVTrackIndex track) const;
  void addEncodedInitData(const std::string& data, const std::string& representation, QNVTrackIndex track);
  std::optional<std::string> encodedDataInitForRepresentation(const std::string& representation,
                                                              QNVTrackIndex track) const;
  void addFragmentedUrl(const std::optional<platform::URL>& url, const std::string& representation,
                        QNVTrackIndex track);
  std::optional<platform::URL> fragmentedUrlForRepresentation(const std::string& representation,
                                                              QNVTrackIndex track) const;
  void addFragmentedInitializationLength(uint64_t length, const std::string& representation, QNVTrackIndex track);
  uint64_t fragmentedInitializationLengthForRepresentation(const std::string& representation,
                                                           QNVTrackIndex track) const;

  // Video properties by id.
  const std::map<std::string, QNVDashRepresentationProperties>& properties() const { return properties_; }
  // Index 0 video, 1 audio; oldest first.
  QNVDashTimeline& timelineEntries(QNVTrackIndex track) { return timelineEntries_[track == kQNVAudioTrack ? 1 : 0]; }
  const QNVDashTimeline& timelineEntries(QNVTrackIndex track) const {
    return timelineEntries_[track == kQNVAudioTrack ? 1 : 0];
  }

  bool isParsed = false;
  bool containsAudioTrack = false;
  bool usedPrefetchQuality = false;
  bool expectsFutureUpdates = false;
  // Some manifest of the presentation was dynamic; a live stream that ended
  // (its last manifest static) stays live.
  bool hasBeenDynamic = false;
  bool shouldUpdateContinuously = false;
  uint32_t availableQualitiesCount = 0;
  int32_t indexToForceFetchTo = -1;
  int32_t audioFetchIndex = 0;
  int32_t videoFetchIndex = 0;
  int64_t videoType = kQNVDashVideoTypeNone;
  std::optional<std::string> mpdAccessibilityDescription;
  std::string representationId;
  std::string qualityLabel;
  std::optional<std::string> availableQualities;
  std::string audioRepresentationId;
  std::string projection;
  std::string audioChannelConfiguration;
  platform::MediaTime playlistDuration;

 private:
  void noteFragmentedHost(const platform::URL& url);

  bool isFragmentUrlOnOvCdn_ = true;
  std::map<std::string, platform::URL> segmentedInitUrls_;
  std::map<std::string, std::string> encodedInitDatas_;
  std::map<std::string, platform::URL> fragmentedUrls_;
  std::map<std::string, uint64_t> fragmentedInitLengths_;
  std::optional<platform::URL> videoSegmentedInitUrl_;
  std::optional<platform::URL> audioSegmentedInitUrl_;
  std::optional<QNVDashRepresentationProperties> videoProperties_;
  std::optional<QNVDashRepresentationProperties> audioProperties_;
  std::optional<std::string> videoEncodedInitData_;
  std::optional<std::string> audioEncodedInitData_;
  std::optional<platform::URL> audioFragmentedUrl_;
  uint64_t audioFragmentedInitLength_ = 0;
  std::map<std::string, QNVDashRepresentationProperties> properties_;
  std::array<QNVDashTimeline, 2> timelineEntries_;
};

}  // namespace plexora
