// How each manifest's timelines join the held ones: newer entries are
// appended, entries already held gain the recorded representation's URL,
// the rest are dropped; refreshes that bring nothing new or go back in time
// are reported; a live timeline too far ahead of playback is capped.
#include <algorithm>
#include <limits>

#include "util/OVAdLogger.h"
#include "util/qnv/dash/QNVDashPlaylistLoader.h"

namespace plexora {
namespace {

constexpr const char* kNoAudioDataMessage = "No track data for audio";
constexpr const char* kNoVideoDataMessage = "No track data for video";
constexpr const char* kNoTimescaleFormat = "Timeline without a usable timescale for track %d";
constexpr const char* kMisalignedFormat = "Timelines may be misaligned: %d";
constexpr const char* kStaleFormat = "%s Got %d consecutive stale MPDs";
constexpr const char* kResetFormat = "%s timestamp reset! currentLatestTime:%f newTime:%f";
constexpr const char* kResetUrlFormat = "timestamp reset! mpdURL:%s";
constexpr const char* kDropFormat = "%s timestamp drop - currentLatestTime:%f newTime:%f";
constexpr const char* kCountsDifferMessage = "Expected audio and video urls to have the same count.";
constexpr const char* kOutOfAlignmentMessage = "Timeline entries out of alignment for A/V";
constexpr const char* kCappedFormat = "%s segment capping dropped %d segments";
constexpr const char* kNil = "(null)";
constexpr int32_t kDefaultStaleThreshold = 3;

// Media times take a signed 32-bit timescale; 0 makes no time at all.
bool usableTimescale(uint32_t timescale) {
  return timescale > 0 && timescale <= static_cast<uint32_t>(std::numeric_limits<int32_t>::max());
}

platform::MediaTime timeOf(uint64_t units, uint32_t timescale) {
  const uint64_t clamped = std::min<uint64_t>(units, std::numeric_limits<int64_t>::max());
  return platform::MediaTime::make(static_cast<int64_t>(clamped), static_cast<int32_t>(timescale));
}

// Whether two ranges share a positive span.
bool overlaps(const platform::MediaTimeRange& a, const platform::MediaTimeRange& b) {
  return a.start < b.end() && b.start < a.end();
}

}  // namespace

void QNVDashPlaylistLoader::addEntriesFromTrackMetadata(const QNVDashTrackMetadata* track, QNVTrackIndex trackIndex) {
  if (!track) {
    if (trackIndex == kQNVAudioTrack && playlistData_->containsAudioTrack) {
      OV_LOG(kOVAdLogLevelWarn, "%s", kNoAudioDataMessage);
    } else if (trackIndex == kQNVVideoTrack) {
      OV_LOG(kOVAdLogLevelWarn, "%s", kNoVideoDataMessage);
    }
    return;
  }
  if (!track->timelineEntries() || track->timelineEntries()->empty()) return;
  // Without a timescale every entry would look newer than all held ones
  // and be appended again on each refresh.
  if (!usableTimescale(track->timelineTimescale())) {
    OV_LOG(kOVAdLogLevelWarn, kNoTimescaleFormat, static_cast<int>(trackIndex));
    return;
  }
  QNVDashTimeline& held = playlistData_->timelineEntries(trackIndex);
  // Moves on with every append, so an entry the manifest lists twice is
  // added once.
  platform::MediaTime latest = held.empty() ? platform::MediaTime::invalid() : held.back()->range().start;
  size_t next = 0;  // one past the entry last matched or appended
  const uint32_t timescale = track->timelineTimescale();
  for (const QNVMpdTimelineEntry& entry : *track->timelineEntries()) {
    const platform::MediaTimeRange range =
        platform::MediaTimeRange::make(timeOf(entry.time(), timescale), timeOf(entry.duration(), timescale));
    if (!latest.isValid() || latest < range.start) {
      auto added = std::make_shared<QNVDashTimelineEntry>(range);
      added->addUrl(entry.mediaAddress(), track->representationId());
      held.push_back(std::move(added));
      next = held.size();
      latest = range.start;
      continue;
    }
    if (range.start < held.front()->range().start) continue;
    for (size_t i = next; i < held.size(); ++i) {
      const platform::MediaTimeRange& candidate = held[i]->range();
      if (candidate.start == range.start && candidate.duration == range.duration) {
        held[i]->addUrl(entry.mediaAddress(), track->representationId());
        next = i + 1;
        break;
      }
      if (overlaps(candidate, range)) OV_LOG(kOVAdLogLevelWarn, kMisalignedFormat, static_cast<int>(trackIndex));
      // Held entries are in time order: none from here on can match or
      // overlap.
      if (range.end() <= candidate.start) break;
    }
  }
}

void QNVDashPlaylistLoader::logStalenessForVideoTrack(const QNVDashTrackMetadata* track) {
  if (consecutiveStaleUpdates_ <= 0) return;
  const bool reached = settings_.staleMpdUpdatesThreshold > 0
                           ? consecutiveStaleUpdates_ == settings_.staleMpdUpdatesThreshold
                           : consecutiveStaleUpdates_ == kDefaultStaleThreshold;
  if (reached) OV_LOG(kOVAdLogLevelDebug, kStaleFormat, description().c_str(), consecutiveStaleUpdates_);
  const QNVDashTimeline& video = playlistData_->timelineEntries(kQNVVideoTrack);
  if (!track || !track->timelineEntries() || track->timelineEntries()->empty() || video.empty() ||
      !usableTimescale(track->timelineTimescale())) {
    return;
  }
  const platform::MediaTime heldLatest = video.back()->range().start;
  const platform::MediaTime newLatest = timeOf(track->timelineEntries()->back().time(), track->timelineTimescale());
  if (!(heldLatest > newLatest)) return;
  if (reached) {
    OV_LOG(kOVAdLogLevelDebug, kResetFormat, description().c_str(), heldLatest.seconds(), newLatest.seconds());
    OV_LOG(kOVAdLogLevelWarn, kResetUrlFormat, mpdURL_ ? mpdURL_->absoluteString().c_str() : kNil);
    warnWithCode(kQNVDashWarningTimestampReset);
  } else if (consecutiveStaleUpdates_ == 1) {
    OV_LOG(kOVAdLogLevelDebug, kDropFormat, description().c_str(), heldLatest.seconds(), newLatest.seconds());
    warnWithCode(kQNVDashWarningTimestampDrop,
                 platform::Dictionary{{kQNVDashDeltaKey, platform::Value(heldLatest.seconds() - newLatest.seconds())}});
  }
}

void QNVDashPlaylistLoader::capUnfetchedSegmentsIfNecessary() {
  const int64_t furthest = furthestFetchIndex();
  // A static presentation is never capped: no refresh would give its
  // dropped segments back.
  if (!playlistData_->isLive() || !playlistData_->expectsFutureUpdates || settings_.unfetchedSegmentCap <= 0) return;
  QNVDashTimeline& video = playlistData_->timelineEntries(kQNVVideoTrack);
  QNVDashTimeline& audio = playlistData_->timelineEntries(kQNVAudioTrack);
  const int64_t unfetched = static_cast<int64_t>(video.size()) - furthest;
  if (unfetched <= settings_.unfetchedSegmentCap) return;
  const bool withAudio = playlistData_->containsAudioTrack;
  if (withAudio && video.size() != audio.size()) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kCountsDifferMessage);
  } else {
    const int64_t last = static_cast<int64_t>(video.size()) - 1 - settings_.unfetchedSegmentsAfterCap;
    if (last >= furthest && furthest >= 0) {
      video.erase(video.begin() + furthest, video.begin() + last + 1);
      if (withAudio) audio.erase(audio.begin() + furthest, audio.begin() + last + 1);
      ++unfetchedSegmentsCapHitCount_;
      OV_LOG(kOVAdLogLevelDebug, kCappedFormat, description().c_str(), static_cast<int>(last - furthest + 1));
    }
  }
  if (withAudio && video.size() != audio.size()) OV_LOG(kOVAdLogLevelWarn, "%s", kOutOfAlignmentMessage);
}

}  // namespace plexora
