#include "util/qnv/dash/QNVDashPlaylistData.h"

#include "util/OVAdLogger.h"
#include "util/qnv/core/QNVMediaStateQueue.h"

namespace plexora {
namespace {

constexpr const char* kInitUrlNilIdMessage = "addSegmentedInitUrl called with nil representation_id";
constexpr const char* kInitUrlBeforeVideoMessage =
    "segmentedInitUrlForRepresentation called before video properties set";
constexpr const char* kInitUrlNilLookupMessage = "segmentedInitUrlForRepresentation called with nil representationId";
constexpr const char* kNoUrlFormat = "no url for representation:%s have:%s";
constexpr const char* kInitUrlBeforeAudioMessage =
    "segmentedInitUrlForRepresentation called before audio properties set";
constexpr const char* kInitUrlTrackFormat = "segmentedInitUrlForRepresentation called with undexpected track:%d";
constexpr const char* kPropertiesNilIdMessage = "addRepresentationProperties called with nil representation_id";
constexpr const char* kBitrateBeforeVideoMessage = "bitrateForRepresentation called before video properties set";
constexpr const char* kBitrateNilIdMessage = "bitrateForRepresentation called with nil representationId";
constexpr const char* kNoPropertiesFormat = "no properties for representation:%s have:%s";
constexpr const char* kBitrateBeforeAudioMessage = "bitrateForRepresentation called before audio properties set";
constexpr const char* kBitrateTrackFormat = "bitrateForRepresentation called with undexpected track:%d";
constexpr const char* kInitDataNilIdMessage = "addEncodedInitData called with nil representation_id";
constexpr const char* kNoInitDataFormat = "no initDataFor for representation:%s have:%s";
constexpr const char* kInitDataNilLookupMessage = "encodedDataInitForRepresentation called with nil representationId";
constexpr const char* kInitDataTrackFormat = "encodedDataInitForRepresentation called with undexpected track:%d";
constexpr const char* kFragmentedTrackFormat = "addFragmentedUrl called with undexpected track:%d";
constexpr const char* kFragmentedBeforeAudioMessage =
    "fragmentedUrlForRepresentation called before audio properties set";
constexpr const char* kFragmentedLookupTrackFormat = "fragmentedUrlForRepresentation called with undexpected track:%d";
constexpr const char* kZeroLengthMessage = "addFragmentedInitializationLength called with 0 length";
constexpr const char* kLengthBeforeAudioMessage =
    "fragmentedInitializationLengthForRepresentation called before audio properties set";
constexpr const char* kLengthTrackFormat =
    "fragmentedInitializationLengthForRepresentation called with undexpected track:%d";

template <typename Map>
std::string oneKey(const Map& map) {
  return map.empty() ? std::string() : map.begin()->first;
}

}  // namespace

void QNVDashPlaylistData::addSegmentedInitUrl(const std::optional<platform::URL>& url,
                                              const std::string& representation, QNVTrackIndex track) {
  QNV_SOFT_ASSERT(url.has_value(), "addSegmentedInitUrl called with nil url");
  if (track == kQNVVideoTrack) {
    videoSegmentedInitUrl_ = url;
    if (representation.empty()) {
      OV_LOG(kOVAdLogLevelWarn, "%s", kInitUrlNilIdMessage);
    } else if (url) {
      segmentedInitUrls_.insert_or_assign(representation, *url);
    } else {
      segmentedInitUrls_.erase(representation);
    }
  } else if (track == kQNVAudioTrack) {
    audioSegmentedInitUrl_ = url;
  }
}

std::optional<platform::URL> QNVDashPlaylistData::segmentedInitUrlForRepresentation(const std::string& representation,
                                                                                    QNVTrackIndex track) const {
  if (track == kQNVVideoTrack) {
    if (!videoSegmentedInitUrl_) OV_LOG(kOVAdLogLevelWarn, "%s", kInitUrlBeforeVideoMessage);
    if (representation.empty()) {
      OV_LOG(kOVAdLogLevelWarn, "%s", kInitUrlNilLookupMessage);
      return videoSegmentedInitUrl_;
    }
    const auto found = segmentedInitUrls_.find(representation);
    if (found == segmentedInitUrls_.end()) {
      OV_LOG(kOVAdLogLevelWarn, kNoUrlFormat, representation.c_str(), oneKey(segmentedInitUrls_).c_str());
      return videoSegmentedInitUrl_;
    }
    return found->second;
  }
  if (track == kQNVAudioTrack) {
    if (!audioSegmentedInitUrl_) OV_LOG(kOVAdLogLevelWarn, "%s", kInitUrlBeforeAudioMessage);
    return audioSegmentedInitUrl_;
  }
  OV_LOG(kOVAdLogLevelWarn, kInitUrlTrackFormat, static_cast<int>(track));
  return std::nullopt;
}

int32_t QNVDashPlaylistData::fetchIndexForTrack(QNVTrackIndex track) const {
  if (track == kQNVVideoTrack) return videoFetchIndex;
  QNV_SOFT_ASSERT(track == kQNVAudioTrack, "Unexpected track: %d", static_cast<int>(track));
  return audioFetchIndex;
}

void QNVDashPlaylistData::addRepresentationProperties(const QNVDashRepresentationProperties& properties,
                                                      QNVTrackIndex track) {
  if (track == kQNVVideoTrack) {
    videoProperties_ = properties;
    if (properties.representationId().empty()) {
      OV_LOG(kOVAdLogLevelWarn, "%s", kPropertiesNilIdMessage);
    } else {
      properties_.insert_or_assign(properties.representationId(), properties);
    }
  } else if (track == kQNVAudioTrack) {
    audioProperties_ = properties;
  }
}

uint32_t QNVDashPlaylistData::bitrateForRepresentation(const std::string& representation, QNVTrackIndex track) const {
  if (track == kQNVVideoTrack) {
    if (!videoProperties_) OV_LOG(kOVAdLogLevelWarn, "%s", kBitrateBeforeVideoMessage);
    const uint32_t fallback = videoProperties_ ? videoProperties_->bandwidth() : 0;
    if (representation.empty()) {
      OV_LOG(kOVAdLogLevelWarn, "%s", kBitrateNilIdMessage);
      return fallback;
    }
    const auto found = properties_.find(representation);
    if (found == properties_.end()) {
      OV_LOG(kOVAdLogLevelWarn, kNoPropertiesFormat, representation.c_str(), oneKey(properties_).c_str());
      return fallback;
    }
    return found->second.bandwidth();
  }
  if (track == kQNVAudioTrack) {
    if (!audioProperties_) OV_LOG(kOVAdLogLevelWarn, "%s", kBitrateBeforeAudioMessage);
    return audioProperties_ ? audioProperties_->bandwidth() : 0;
  }
  OV_LOG(kOVAdLogLevelWarn, kBitrateTrackFormat, static_cast<int>(track));
  return 0;
}

void QNVDashPlaylistData::addEncodedInitData(const std::string& data, const std::string& representation,
                                             QNVTrackIndex track) {
  if (data.empty()) return;
  if (track == kQNVVideoTrack) {
    videoEncodedInitData_ = data;
    if (representation.empty()) {
      OV_LOG(kOVAdLogLevelWarn, "%s", kInitDataNilIdMessage);
    } else {
      encodedInitDatas_.insert_or_assign(representation, data);
    }
  } else if (track == kQNVAudioTrack) {
    audioEncodedInitData_ = data;
  }
}

std::optional<std::string> QNVDashPlaylistData::encodedDataInitForRepresentation(const std::string& representation,
                                                                                 QNVTrackIndex track) const {
  if (track == kQNVVideoTrack) {
    if (representation.empty()) {
      OV_LOG(kOVAdLogLevelWarn, "%s", kInitDataNilLookupMessage);
      return videoEncodedInitData_;
    }
    const auto found = encodedInitDatas_.find(representation);
    if (found != encodedInitDatas_.end()) return found->second;
    if (videoEncodedInitData_) {
      OV_LOG(kOVAdLogLevelWarn, kNoInitDataFormat, representation.c_str(), oneKey(encodedInitDatas_).c_str());
    }
    return videoEncodedInitData_;
  }
  if (track == kQNVAudioTrack) return audioEncodedInitData_;
  OV_LOG(kOVAdLogLevelWarn, kInitDataTrackFormat, static_cast<int>(track));
  return std::nullopt;
}

void QNVDashPlaylistData::noteFragmentedHost(const platform::URL& url) {
  if (url.host().find(kQNVDashOwnCdnDomain) == std::string::npos) isFragmentUrlOnOvCdn_ = false;
}

void QNVDashPlaylistData::addFragmentedUrl(const std::optional<platform::URL>& url, const std::string& representation,
                                           QNVTrackIndex track) {
  QNV_SOFT_ASSERT(url.has_value(), "addFragmentedUrl called with nil url");
  if (track != kQNVVideoTrack && track != kQNVAudioTrack) {
    OV_LOG(kOVAdLogLevelWarn, kFragmentedTrackFormat, static_cast<int>(track));
    return;
  }
  if (url) noteFragmentedHost(*url);
  if (track == kQNVAudioTrack) {
    audioFragmentedUrl_ = url;
    return;
  }
  if (representation.empty()) {
    QNV_SOFT_ASSERT(false, "addFragmentedUrl called with nil representation_id");
    return;
  }
  if (url) {
    fragmentedUrls_.insert_or_assign(representation, *url);
  } else {
    fragmentedUrls_.erase(representation);
  }
}

std::optional<platform::URL> QNVDashPlaylistData::fragmentedUrlForRepresentation(const std::string& representation,
                                                                                 QNVTrackIndex track) const {
  if (track == kQNVVideoTrack) {
    const std::optional<platform::URL> first =
        fragmentedUrls_.empty() ? std::nullopt : std::optional<platform::URL>(fragmentedUrls_.begin()->second);
    if (representation.empty()) {
      QNV_SOFT_ASSERT(false, "fragmentedUrlForRepresentation called with nil representationId, returning first URL");
      return first;
    }
    const auto found = fragmentedUrls_.find(representation);
    if (found == fragmentedUrls_.end()) {
      QNV_SOFT_ASSERT(false, "no url for representation:%s have:%s", representation.c_str(),
                      oneKey(fragmentedUrls_).c_str());
      return first;
    }
    return found->second;
  }
  if (track == kQNVAudioTrack) {
    if (!audioFragmentedUrl_) OV_LOG(kOVAdLogLevelWarn, "%s", kFragmentedBeforeAudioMessage);
    return audioFragmentedUrl_;
  }
  OV_LOG(kOVAdLogLevelWarn, kFragmentedLookupTrackFormat, static_cast<int>(track));
  return std::nullopt;
}

void QNVDashPlaylistData::addFragmentedInitializationLength(uint64_t length, const std::string& representation,
                                                            QNVTrackIndex track) {
  if (track == kQNVVideoTrack) {
    if (length == 0) OV_LOG(kOVAdLogLevelWarn, "%s", kZeroLengthMessage);
    if (representation.empty()) {
      QNV_SOFT_ASSERT(false, "addFragmentedInitializationLength called with nil representation_id");
      return;
    }
    fragmentedInitLengths_.insert_or_assign(representation, length);
  } else if (track == kQNVAudioTrack) {
    audioFragmentedInitLength_ = length;
  }
}

uint64_t QNVDashPlaylistData::fragmentedInitializationLengthForRepresentation(const std::string& representation,
                                                                              QNVTrackIndex track) const {
  if (track == kQNVVideoTrack) {
    if (representation.empty()) {
      QNV_SOFT_ASSERT(false, "fragmentedInitializationLengthForRepresentation called with nil representationId");
      return fragmentedInitLengths_.empty() ? 0 : fragmentedInitLengths_.begin()->second;
    }
    const auto found = fragmentedInitLengths_.find(representation);
    if (found == fragmentedInitLengths_.end()) {
      QNV_SOFT_ASSERT(false, "no number for representation:%s have:%s", representation.c_str(),
                      oneKey(fragmentedInitLengths_).c_str());
      return 0;
    }
    return found->second;
  }
  if (track == kQNVAudioTrack) {
    if (audioFragmentedInitLength_ == 0) OV_LOG(kOVAdLogLevelWarn, "%s", kLengthBeforeAudioMessage);
    return audioFragmentedInitLength_;
  }
  OV_LOG(kOVAdLogLevelWarn, kLengthTrackFormat, static_cast<int>(track));
  return 0;
}

}  // namespace plexora
