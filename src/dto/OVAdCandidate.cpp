#include "dto/OVAdCandidate.h"

#include <stdexcept>
#include <utility>

#include "platform/foundation/URL.h"
#include "util/OVAdDictionary.h"
#include "util/OVAdLogger.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr const char* kTrackerTypeKey = "type";
constexpr const char* kTrackerURLKey = "url";

constexpr const char* kTrackerTypeRequest = "request";
constexpr const char* kTrackerTypeImpression = "impression";
constexpr const char* kTrackerTypeClick = "click";

constexpr const char* kUnexpectedTrackerTypeFormat = "Unexpected tracker type: %s";
constexpr const char* kTrackerNotAnObject = "a tracker is not a JSON object";
constexpr const char* kTrackerWithoutURL = "a tracker has no \"url\" text: ";

// The list of a known type among the candidate's lists.
std::size_t indexOf(OVAdTrackerType type) { return static_cast<std::size_t>(type) - 1; }

OVAdCandidate::TrackerURLs trackerURLsOf(platform::Value& trackers) {
  OVAdCandidate::TrackerURLs trackersByType;
  if (!trackers.isArray()) {
    return trackersByType;
  }
  for (platform::Value& tracker : trackers.mutableArray()) {
    if (!tracker.isDictionary()) {
      throw std::invalid_argument(kTrackerNotAnObject);
    }
    const std::string typeText = stringForKey(tracker, kTrackerTypeKey, "");
    const OVAdTrackerType type = OVAdCandidate::trackerTypeFromString(typeText);
    if (type == OVAdTrackerType::Unknown) {
      continue;
    }
    platform::Value* url = tracker.find(kTrackerURLKey);
    if (url == nullptr || !url->isString()) {
      throw std::invalid_argument(kTrackerWithoutURL + typeText);
    }
    trackersByType[indexOf(type)].push_back(url->takeString());
  }
  return trackersByType;
}

}  // namespace

OVAdCandidate::OVAdCandidate(std::string adapterID, platform::Dictionary data, platform::Value trackers)
    : OVAdCandidate(std::move(adapterID), std::move(data), trackerURLsOf(trackers)) {}

OVAdCandidate::OVAdCandidate(std::string adapterID, platform::Dictionary data, TrackerURLs trackerURLs)
    : adapterID_(std::move(adapterID)), data_(std::move(data)), trackerURLs_(std::move(trackerURLs)) {}

OVAdTrackerType OVAdCandidate::trackerTypeFromString(std::string_view text) {
  if (text == kTrackerTypeRequest) {
    return OVAdTrackerType::Request;
  }
  if (text == kTrackerTypeImpression) {
    return OVAdTrackerType::Impression;
  }
  if (text == kTrackerTypeClick) {
    return OVAdTrackerType::Click;
  }
  OV_LOG(kOVAdLogLevelWarn, kUnexpectedTrackerTypeFormat, std::string(text).c_str());
  return OVAdTrackerType::Unknown;
}

std::shared_ptr<OVAdCandidate> OVAdCandidate::copy() const {
  return std::shared_ptr<OVAdCandidate>(new OVAdCandidate(adapterID_, data_, trackerURLs_));
}

const std::vector<std::string>& OVAdCandidate::trackerURLs(OVAdTrackerType type) const {
  static const std::vector<std::string> kNone;
  const auto number = static_cast<std::size_t>(type);
  return number >= 1 && number <= trackerURLs_.size() ? trackerURLs_[indexOf(type)] : kNone;
}

void OVAdCandidate::fireTrackers(OVAdTrackerType type, const platform::Value& extraData) {
  {
    // Claimed before sending, so a racing caller finds the type taken.
    std::lock_guard lock(firedMutex_);
    if (!trackersFired_.insert(type).second) {
      return;
    }
  }
  for (const std::string& url : trackerURLs(type)) {
    if (platform::URL::parse(url)) {
      OVAdUtility::logTracker(url, extraData);
    }
  }
}

bool OVAdCandidate::hasFiredTrackers(OVAdTrackerType type) const {
  std::lock_guard lock(firedMutex_);
  return trackersFired_.contains(type);
}

}  // namespace plexora
