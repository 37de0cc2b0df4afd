// One segment of a segmented DASH stream: its time span and its URL in each
// representation that lists it, with the representation chosen for it.
//
// URLs are kept unbuilt (QNVDashSegmentUrl) and made when asked for.
//
// An empty representation id stands for none and is never stored. Without a
// chosen representation, `url` answers only an unambiguous URL (the entry
// has exactly one); of several it picks none, since an arbitrary one could
// be a quality nobody selected.
//
// Thread safety: none; used on the media-state queue only (the mutators
// soft-assert it).
// Ownership: the playlist data's timelines hold entries through shared
// pointers; the asset reads the same entries.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/URL.h"
#include "platform/media/MediaTime.h"
#include "util/qnv/dash/QNVDashSegmentUrl.h"

namespace plexora {

class QNVDashTimelineEntry {
 public:
  explicit QNVDashTimelineEntry(platform::MediaTimeRange range) : range_(range) {}

  std::optional<platform::URL> url() const;
  // A missing URL or id changes nothing; a second URL for an id replaces
  // the first.
  void addUrl(const std::optional<platform::URL>& url, const std::string& representation);
  void addUrl(QNVDashSegmentUrl url, const std::string& representation);
  std::optional<platform::URL> getUrlForRepresentation(const std::string& representation) const;
  void selectRepresentation(const std::string& representation);
  // The ids with URLs, in the order they were first added.
  std::vector<std::string> availableRepresentations() const;

  // The first representation ever added; empty before.
  const std::string& defaultRepresentation() const { return defaultRepresentation_; }
  const platform::MediaTimeRange& range() const { return range_; }
  const std::optional<std::string>& selectedRepresentationId() const { return selectedRepresentationId_; }

 private:
  std::vector<std::pair<std::string, QNVDashSegmentUrl>> urls_;
  std::string defaultRepresentation_;
  std::optional<std::string> selectedRepresentationId_;
  platform::MediaTimeRange range_;
};

}  // namespace plexora
