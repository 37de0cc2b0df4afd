// A candidate's tracker URLs as one map of the types it has URLs for, so a
// test can compare them whole. Any thread; the map is the caller's.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "dto/OVAdCandidate.h"

namespace plexora::testing {

using TrackersByType = std::map<OVAdTrackerType, std::vector<std::string>>;

inline TrackersByType trackersByType(const OVAdCandidate& candidate) {
  TrackersByType byType;
  for (const OVAdTrackerType type : {OVAdTrackerType::Request, OVAdTrackerType::Impression, OVAdTrackerType::Click}) {
    if (!candidate.trackerURLs(type).empty()) {
      byType.emplace(type, candidate.trackerURLs(type));
    }
  }
  return byType;
}

}  // namespace plexora::testing
