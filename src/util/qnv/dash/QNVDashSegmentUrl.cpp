#include "util/qnv/dash/QNVDashSegmentUrl.h"

#include <algorithm>

#include "util/qnv/dash/QNVDashManifestText.h"

namespace plexora {
namespace {

constexpr const char* kTimeIdentifier = "$Time$";
// Characters that let a media text name a scheme, authority, query,
// fragment or escape, where digits could change what is built.
constexpr const char* kStructuralCharacters = ":?#%@[]\\";
constexpr const char* kEmptyAuthority = "//";
// Any all-digit time stands for the rest.
constexpr const char* kSampleTime = "0";

bool allDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

QNVDashSegmentTemplate::QNVDashSegmentTemplate(std::optional<platform::URL> base, std::string media)
    : base_(std::move(base)), media_(std::move(media)) {
  digitsAlwaysAgree_ = media_.find_first_of(kStructuralCharacters) == std::string::npos &&
                       (!base_ || base_->path().find(kEmptyAuthority) == std::string::npos);
  makesUrls_ = digitsAlwaysAgree_ && urlForTime(kSampleTime).has_value();
}

std::optional<platform::URL> QNVDashSegmentTemplate::urlForTime(std::string_view time) const {
  if (!base_) return std::nullopt;
  std::string text = media_;
  const size_t identifierLength = std::string_view(kTimeIdentifier).size();
  for (size_t at = text.find(kTimeIdentifier); at != std::string::npos;
       at = text.find(kTimeIdentifier, at + time.size())) {
    text.replace(at, identifierLength, time);
  }
  return QNVUrlFromBase(base_, text);
}

QNVDashSegmentUrl::QNVDashSegmentUrl(std::optional<platform::URL> url) {
  if (url) url_ = std::make_shared<const platform::URL>(std::move(*url));
}

QNVDashSegmentUrl::QNVDashSegmentUrl(std::shared_ptr<const QNVDashSegmentTemplate> segmentTemplate, std::string time) {
  if (segmentTemplate->digitsAlwaysAgree() && allDigits(time)) {
    segmentTemplate_ = std::move(segmentTemplate);
    time_ = std::move(time);
  } else if (auto url = segmentTemplate->urlForTime(time)) {
    url_ = std::make_shared<const platform::URL>(std::move(*url));
  }
}

std::optional<platform::URL> QNVDashSegmentUrl::url() const {
  if (!segmentTemplate_) return url_ ? std::optional(*url_) : std::nullopt;
  if (!segmentTemplate_->makesUrls()) return std::nullopt;
  return segmentTemplate_->urlForTime(time_);
}

bool QNVDashSegmentUrl::operator==(const QNVDashSegmentUrl& other) const {
  if (segmentTemplate_ && other.segmentTemplate_ && time_ == other.time_ &&
      (segmentTemplate_ == other.segmentTemplate_ || *segmentTemplate_ == *other.segmentTemplate_)) {
    return true;
  }
  return url() == other.url();
}

}  // namespace plexora
