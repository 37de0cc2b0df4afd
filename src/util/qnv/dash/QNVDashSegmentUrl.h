// Where one segment of a timeline is fetched from, made into a URL only
// when asked. A SegmentTemplate timeline of tens of thousands of segments
// keeps its base and media text once per representation
// (QNVDashSegmentTemplate) and each segment only its time text, so reading
// and merging a manifest builds no URL until a segment is fetched.
//
// An address stays unbuilt only where the built URL cannot depend on which
// digits the time is: a base whose path holds no "//", a media text with no
// scheme, query, fragment, escape or authority characters, and a time text
// of digits alone. Any other address is built at once and held as it
// stands, so both kinds answer exactly the URL the template makes.
//
// Thread safety: immutable values, shareable between threads.
// Ownership: the addresses of one representation share its template.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/URL.h"

namespace plexora {

class QNVDashSegmentTemplate {
 public:
  QNVDashSegmentTemplate(std::optional<platform::URL> base, std::string media);

  // The media text with every $Time$ replaced by `time`, joined to the
  // base; none without a base or when the result is no URL.
  [[nodiscard]] std::optional<platform::URL> urlForTime(std::string_view time) const;
  // Whether every all-digit time makes the same kind of answer (a URL for
  // all or for none), which `makesUrls` tells.
  bool digitsAlwaysAgree() const { return digitsAlwaysAgree_; }
  bool makesUrls() const { return makesUrls_; }
  bool operator==(const QNVDashSegmentTemplate& other) const {
    return media_ == other.media_ && base_ == other.base_;
  }

 private:
  std::optional<platform::URL> base_;
  std::string media_;
  bool digitsAlwaysAgree_ = false;
  bool makesUrls_ = false;
};

class QNVDashSegmentUrl {
 public:
  // A URL as it stands (none for no URL).
  explicit QNVDashSegmentUrl(std::optional<platform::URL> url = std::nullopt);
  // The URL `segmentTemplate` makes for `time`.
  QNVDashSegmentUrl(std::shared_ptr<const QNVDashSegmentTemplate> segmentTemplate, std::string time);

  // Built on each call for an unbuilt address.
  [[nodiscard]] std::optional<platform::URL> url() const;
  bool hasUrl() const { return segmentTemplate_ ? segmentTemplate_->makesUrls() : url_ != nullptr; }
  // Whether both make the same URL (or both none).
  bool operator==(const QNVDashSegmentUrl& other) const;

 private:
  // Set for an unbuilt address, with the time text; otherwise url_ holds
  // it (null for none). Held by pointer, a timeline's many entries stay
  // small.
  std::shared_ptr<const QNVDashSegmentTemplate> segmentTemplate_;
  std::string time_;
  std::shared_ptr<const platform::URL> url_;
};

}  // namespace plexora
