// One ad of a placement's waterfall: the adapter that serves it, the data
// its data model reads, and the tracker URLs fired when it is requested,
// seen and clicked.
//
// Thread safety: the adapter identifier, data and tracker URLs never change
// after construction and may be read on any thread; fireTrackers and
// hasFiredTrackers may be called from any thread, and each tracker type is
// fired at most once however many threads ask.
// Ownership: shared by the placement and the adapter that serves the ad.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/value/Value.h"

namespace plexora {

enum class OVAdTrackerType : std::int64_t { Unknown = 0, Request = 1, Impression = 2, Click = 3 };

class OVAdCandidate final {
 public:
  // `trackers` is the server's array of {"type", "url"} objects. An entry of
  // an unknown type is dropped. An entry that is not an object, or whose
  // known type comes without a "url" text, throws std::invalid_argument: the
  // server counts on such an answer failing as a whole. The URLs are moved
  // out of `trackers`.
  OVAdCandidate(std::string adapterID, platform::Dictionary data, platform::Value trackers);
  OVAdCandidate(const OVAdCandidate&) = delete;
  OVAdCandidate& operator=(const OVAdCandidate&) = delete;

  // The type a tracker text names; logs and answers Unknown for any other.
  static OVAdTrackerType trackerTypeFromString(std::string_view text);

  // A candidate with the same adapter, data and tracker URLs that has fired
  // nothing yet: what an answer served again from the cache must use, so
  // its trackers fire again.
  std::shared_ptr<OVAdCandidate> copy() const;

  // Sends every tracker URL of the type that forms a valid URL, with the
  // extra data (a dictionary, or null for none), through the tracker
  // requests; once per type: later calls for a fired type send nothing.
  void fireTrackers(OVAdTrackerType type, const platform::Value& extraData);
  bool hasFiredTrackers(OVAdTrackerType type) const;

  const std::string& adapterID() const { return adapterID_; }
  const platform::Dictionary& data() const { return data_; }
  // The URLs of one known type, in the order the server listed them; none
  // for Unknown.
  const std::vector<std::string>& trackerURLs(OVAdTrackerType type) const;

  // One list per known type (Request, Impression, Click): every candidate
  // of every answer has them, and a map's nodes doubled their allocations.
  using TrackerURLs = std::array<std::vector<std::string>, 3>;

 private:
  OVAdCandidate(std::string adapterID, platform::Dictionary data, TrackerURLs trackerURLs);

  const std::string adapterID_;
  const platform::Dictionary data_;
  const TrackerURLs trackerURLs_;

  mutable std::mutex firedMutex_;
  std::set<OVAdTrackerType> trackersFired_;  // guarded by firedMutex_
};

}  // namespace plexora
