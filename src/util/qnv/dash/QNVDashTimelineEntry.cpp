#include "util/qnv/dash/QNVDashTimelineEntry.h"

#include <algorithm>

#include "util/OVAdLogger.h"
#include "util/qnv/core/QNVMediaStateQueue.h"

namespace plexora {
namespace {

constexpr const char* kNoSelectionFormat = "%s Choosing none of %s and %s and %d others";
constexpr const char* kNilUrlMessage = "selectRepresentation called with nil URL";
constexpr const char* kReplacingFormat = "Replacing one video URL with another %s->%s";
constexpr const char* kNilForRepresentationFormat = "getUrlForRepresentation returning nil for rep:%s";
constexpr const char* kAudioExtension = "m4a";
constexpr const char* kEntryName = "QNVDashTimelineEntry";

}  // namespace

std::optional<platform::URL> QNVDashTimelineEntry::url() const {
  if (selectedRepresentationId_) return getUrlForRepresentation(*selectedRepresentationId_);
  if (urls_.size() > 1) {
    OV_LOG(kOVAdLogLevelDebug, kNoSelectionFormat, kEntryName, urls_.front().second.url()->absoluteString().c_str(),
           urls_.back().second.url()->absoluteString().c_str(), static_cast<int>(urls_.size() - 2));
    QNV_SOFT_ASSERT(false, "url called before representation selected");
    return std::nullopt;
  }
  if (urls_.empty()) return std::nullopt;
  return urls_.front().second.url();
}

void QNVDashTimelineEntry::addUrl(const std::optional<platform::URL>& url, const std::string& representation) {
  addUrl(QNVDashSegmentUrl(url), representation);
}

void QNVDashTimelineEntry::addUrl(QNVDashSegmentUrl url, const std::string& representation) {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  if (!url.hasUrl()) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kNilUrlMessage);
    return;
  }
  if (representation.empty()) {
    QNV_SOFT_ASSERT(false, "selectRepresentation called with nil representation_id");
    return;
  }
  if (defaultRepresentation_.empty()) defaultRepresentation_ = representation;
  const auto existing =
      std::find_if(urls_.begin(), urls_.end(), [&](const auto& entry) { return entry.first == representation; });
  if (existing == urls_.end()) {
    urls_.emplace_back(representation, std::move(url));
    return;
  }
  if (!(existing->second == url)) {
    const std::optional<platform::URL> replacement = url.url();
    if (replacement->pathExtension() != kAudioExtension) {
      OV_LOG(kOVAdLogLevelWarn, kReplacingFormat, existing->second.url()->absoluteString().c_str(),
             replacement->absoluteString().c_str());
    }
  }
  existing->second = std::move(url);
}

std::optional<platform::URL> QNVDashTimelineEntry::getUrlForRepresentation(const std::string& representation) const {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  if (representation.empty()) {
    QNV_SOFT_ASSERT(false, "getUrlForRepresentation called with nil representation_id");
    return std::nullopt;
  }
  for (const auto& [id, url] : urls_) {
    if (id == representation) return url.url();
  }
  OV_LOG(kOVAdLogLevelWarn, kNilForRepresentationFormat, representation.c_str());
  return std::nullopt;
}

void QNVDashTimelineEntry::selectRepresentation(const std::string& representation) {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  if (representation.empty()) {
    QNV_SOFT_ASSERT(false, "selectRepresentation called with nil representation_id");
    return;
  }
  QNV_SOFT_ASSERT(!selectedRepresentationId_, "Representation selected multiple times");
  selectedRepresentationId_ = representation;
  QNV_SOFT_ASSERT(
      std::any_of(urls_.begin(), urls_.end(), [&](const auto& entry) { return entry.first == representation; }),
      "Failed to select a representation that has a valid URL");
}

std::vector<std::string> QNVDashTimelineEntry::availableRepresentations() const {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  std::vector<std::string> ids;
  ids.reserve(urls_.size());
  for (const auto& entry : urls_) ids.push_back(entry.first);
  return ids;
}

}  // namespace plexora
