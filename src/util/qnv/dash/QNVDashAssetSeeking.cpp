// Seeks: fragmented streams jump to the segment-index entry holding the
// time, live streams to the next recorded keyframe, segmented on-demand
// streams either within the frames in memory or by dropping everything and
// refetching from the segment holding the time.
#include "util/OVAdLogger.h"
#include "util/qnv/dash/QNVDashAsset.h"
#include "util/qnv/mp4/QNVMp4SegmentIndex.h"

namespace plexora {

namespace {

constexpr const char* kPlaylistBeforeSet = "Playlist data accessed before being set";
constexpr const char* kSeekRequest = "%s seek to req time:%f";
constexpr const char* kBothUnparsed = "seek with both playback and fetch qualities unparsed, parsedOverall:%d";
constexpr const char* kAudioUnparsed = "seek with unparsed audio headers for repId:%s, parsedOverall:%d";
constexpr const char* kNoMoreKeyframes = "%s live seek: no more keyframes to advance to";
constexpr const char* kPastLastFrame = "Failed to advance past last frame";
constexpr const char* kNoMatchingSegment = "%s matching segment not found, so falling back to last segment";
constexpr const char* kAlreadyThere = "%s already at correct seek value";
constexpr const char* kInMemory = "%s frame data is available for seekTime. segmentIdx:%d.";
constexpr const char* kRefetch = "%s frame data isn't available for seekTime. Resetting data with new segmentIdx:%d.";
constexpr const char* kBeforeStart = "starting playback time (%f) < initialTime (%f)";
constexpr const char* kResetForSeekBack = "%s reset data for seek back";
constexpr const char* kUnstalledSeekBack = "%s unstalled: seek back";
constexpr const char* kNull = "(null)";

// A time in track units, widened to the engine's 32-bit timescales.
platform::MediaTime trackTime(uint64_t value, uint32_t timescale) {
  return platform::MediaTime::make(static_cast<int64_t>(value), static_cast<int32_t>(timescale));
}

}  // namespace

platform::MediaTime QNVDashAsset::streamStartForTrack(QNVTrackIndex track) const {
  if (initialTimeSet_) return trackTime(initialTime_, timescale_[0]);
  const QNVDashTimeline& timeline = playlistData_->timelineEntries(track);
  return timeline.empty() ? platform::MediaTime::zero() : timeline.front()->range().start;
}

int32_t QNVDashAsset::videoSegmentIndexForTime(const platform::MediaTime& time) {
  if (!playlistData_->isParsed) OV_LOG(kOVAdLogLevelWarn, "%s", kPlaylistBeforeSet);
  const QNVDashTimeline& timeline = playlistData_->timelineEntries(kQNVVideoTrack);
  for (size_t index = 0; index < timeline.size(); ++index) {
    if (timeline[index]->range().end() >= time) return static_cast<int32_t>(index);
  }
  return static_cast<int32_t>(timeline.size());
}

bool QNVDashAsset::fragmentedSeekToPosition(const platform::MediaTime& time) {
  const float seconds = static_cast<float>(time.seconds());
  OV_LOG(kOVAdLogLevelVerbose, kSeekRequest, description().c_str(), static_cast<double>(seconds));
  auto video = existingDataForRep(fetchingRepIds_[0], kQNVVideoTrack);
  if (!video || !video->parsedHeaders) video = existingDataForRep(playbackRepIds_[0], kQNVVideoTrack);
  if (!video || !video->parsedHeaders || video->atomProvider()->sidxAtom.segments.empty()) {
    OV_LOG(kOVAdLogLevelDebug, kBothUnparsed, parsedHeadersForAnyRepresentation_[0] ? 1 : 0);
    return false;
  }

  resetDataForSeekBack();

  // Repositions the parser, the byte store and the loader of one track at
  // the segment holding the target; answers the segment's start.
  const auto seekTrack = [this](QNVDashRepresentationSpecificData& data, QNVTrackIndex track, uint64_t target) {
    const QNVMP4SidxAtom& sidx = data.atomProvider()->sidxAtom;
    const size_t index = sidxSegmentIndexForTime(target, sidx);
    const QNVMP4SidxSegment& segment = sidx.segments[index];
    const size_t slot = trackSlot(track);
    segmentsParsedCount_[slot] = static_cast<int32_t>(index);
    readers_[slot]->setOffset(segment.offset);
    dataBlockDistributors_[slot]->addHeadType(kQNVDataBlockHeadBoxParser, segment.offset);
    if (data.dataLoader) data.dataLoader->seekForwardToOffset(segment.offset);
    return segment.startTime;
  };

  const float videoTarget = seconds * static_cast<float>(timescale_[0]);
  const uint64_t videoStart = seekTrack(*video, kQNVVideoTrack, static_cast<uint64_t>(videoTarget));
  const platform::MediaTime newTime = trackTime(videoStart, timescale_[0]);

  if (containsAudio()) {
    const auto audio = existingDataForRep(fetchingRepIds_[1], kQNVAudioTrack);
    if (!audio || !audio->parsedHeaders || audio->atomProvider()->sidxAtom.segments.empty()) {
      OV_LOG(kOVAdLogLevelDebug, kAudioUnparsed, audio ? audio->representationId.c_str() : kNull,
             parsedHeadersForAnyRepresentation_[1] ? 1 : 0);
      return false;
    }
    // Audio starts at the segment holding the video segment's start.
    seekTrack(*audio, kQNVAudioTrack, static_cast<uint64_t>(newTime.seconds() * timescale_[1]));
  }

  bufferSizeDecider_.setTimeAfterSeek(newTime);
  updatePlaybackTime(newTime);
  return true;
}

bool QNVDashAsset::liveSeekToNextKeyFrame() {
  auto& video = *frames_[0];
  if (video.frameCount() == 0) return false;
  platform::MediaTime newTime;
  if (advanceToNextGopKeyframe()) {
    newTime = trackTime(video.currentFrame().pts - initialTimePts_, timescale_[0]);
  } else {
    OV_LOG(kOVAdLogLevelDebug, kNoMoreKeyframes, description().c_str());
    newTime = trackTime(video.lastFrame().pts - initialTimePts_, timescale_[0]);
    // Past the last frame: the video waits for the next fragment.
    video.seekToFrameIndex(video.frameCount() - 1);
    video.Next();
    if (!video.isAtEnd()) OV_LOG(kOVAdLogLevelWarn, "%s", kPastLastFrame);
  }

  auto& audio = *frames_[1];
  if (containsAudio() && !audio.isAtEnd()) {
    const uint64_t audioStart = initialTimeForTrack(kQNVAudioTrack);
    while (trackTime(audio.currentFrame().pts - audioStart, timescale_[1]) < newTime) {
      audio.Next();
      if (audio.isAtEnd()) break;
    }
  }

  bufferSizeDecider_.setTimeAfterSeek(newTime);
  updatePlaybackTime(newTime);
  return true;
}

bool QNVDashAsset::advanceToNextGopKeyframe() {
  auto& video = *frames_[0];
  if (video.frameCount() == 0 || gopKeyframeMetadata_.empty()) return false;
  const uint32_t current = video.currentFrameIndex();
  for (const auto& keyframe : gopKeyframeMetadata_) {
    const auto index = static_cast<uint32_t>(keyframe.index);
    if (index < current) continue;
    if (index != current) video.seekToFrameIndex(index);
    return true;
  }
  return false;
}

QNVSeekStatus QNVDashAsset::segmentedVodSeekToPosition(const platform::MediaTime& time) {
  const platform::MediaTime absolute = add(time, streamStartForTrack(kQNVVideoTrack));
  const QNVDashTimeline& timeline = playlistData_->timelineEntries(kQNVVideoTrack);
  int32_t index = videoSegmentIndexForTime(absolute);
  if (static_cast<uint32_t>(index) >= timeline.size()) {
    OV_LOG(kOVAdLogLevelDebug, kNoMatchingSegment, description().c_str());
    index = static_cast<int32_t>(timeline.size()) - 1;
  }
  const platform::MediaTime segmentStart =
      index >= 0 ? timeline[static_cast<size_t>(index)]->range().start : platform::MediaTime::zero();

  const platform::MediaTime current = currentVideoPts();
  if (segmentStart == current) {
    OV_LOG(kOVAdLogLevelDebug, kAlreadyThere, description().c_str());
    QNVSeekStatus status;
    status.seekSucceeded = true;
    status.seekTime = platform::MediaTime::zero();
    return status;
  }

  auto& video = *frames_[0];
  if (segmentStart > current) {
    platform::MediaTime lastKeyframe = platform::MediaTime::zero();
    if (!gopKeyframeMetadata_.empty()) {
      const auto keyframe = static_cast<uint32_t>(gopKeyframeMetadata_.back().index);
      lastKeyframe = trackTime(video.frameAtIndex(keyframe).dts, timescale_[0]);
    }
    if (segmentStart <= lastKeyframe) {
      while (currentVideoPts() < segmentStart) {
        if (!advanceToNextGopKeyframe()) break;
        if (currentVideoPts() >= segmentStart) break;
        video.Next();
      }
      const QNVMp4FrameRecord frame = video.currentFrame();
      const platform::MediaTime frameTime = trackTime(frame.pts, timescale_[0]);

      // The box parser has already read past these frames and goes on from
      // where it stopped; frame delivery moves the frame heads itself.
      uint32_t audioSize = 0;
      auto& audio = *frames_[1];
      if (containsAudio()) {
        while (!audio.isAtEnd()) {
          const QNVMp4FrameRecord audioFrame = audio.currentFrame();
          audioSize = audioFrame.size;
          if (trackTime(audioFrame.pts, timescale_[1]) >= frameTime) break;
          audio.Next();
        }
      }
      OV_LOG(kOVAdLogLevelVerbose, kInMemory, description().c_str(), index);
      return segmentedSeekStatusForTime(frameTime, false, audioSize != 0, 0);
    }
  }

  OV_LOG(kOVAdLogLevelVerbose, kRefetch, description().c_str(), index);
  resetDataForSeekBack();
  return segmentedSeekStatusForTime(segmentStart, index >= 0, containsAudio(),
                                    index >= 0 ? static_cast<uint64_t>(index) : 0);
}

QNVSeekStatus QNVDashAsset::segmentedSeekStatusForTime(const platform::MediaTime& time, bool shouldUpdateOffset,
                                                       bool shouldSeekAudio, uint64_t newOffset) {
  if (!playlistData_->isParsed) OV_LOG(kOVAdLogLevelWarn, "%s", kPlaylistBeforeSet);
  const platform::MediaTime start = streamStartForTrack(kQNVVideoTrack);
  QNVSeekStatus status;
  if (time < start) {
    OV_LOG(kOVAdLogLevelWarn, kBeforeStart, time.seconds(), start.seconds());
    status.seekTime = platform::MediaTime::zero();
  } else {
    status.seekTime = subtract(time, start);
  }
  status.seekSucceeded = true;
  status.seekVideo = true;
  status.seekAudio = shouldSeekAudio;
  status.shouldUpdateOffset = shouldUpdateOffset;
  status.videoOffset = newOffset;
  status.audioOffset = shouldSeekAudio ? newOffset : 0;
  return status;
}

uint64_t QNVDashAsset::offsetForTimeInSeconds(float seconds, QNVTrackIndex track) {
  if (!playlistData_->isParsed) OV_LOG(kOVAdLogLevelWarn, "%s", kPlaylistBeforeSet);
  const size_t slot = trackSlot(track);
  if (playlistData_->isFragmented()) {
    const auto data = existingDataForRep(fetchingRepIds_[slot], track);
    if (!data || data->atomProvider()->sidxAtom.segments.empty()) return 0;
    const float target = static_cast<float>(timescale_[slot]) * seconds;
    const QNVMP4SidxSegment segment = sidxSegmentForTime(static_cast<uint64_t>(target), data->atomProvider()->sidxAtom);
    return segment.offset + segment.size;
  }

  const QNVDashTimeline& timeline = playlistData_->timelineEntries(track);
  if (timeline.empty()) return 0;
  const platform::MediaTime start = streamStartForTrack(track);
  const platform::MediaTime time =
      add(platform::MediaTime::make(static_cast<int64_t>(seconds * 1000.0F), 1000), start);
  for (size_t index = 0; index < timeline.size(); ++index) {
    if (timeline[index]->range().end() >= time) return index;
  }
  return timeline.size() - 1;
}

void QNVDashAsset::resetDataForSeekBack() {
  OV_LOG(kOVAdLogLevelDebug, kResetForSeekBack, description().c_str());
  for (const QNVTrackIndex track : {kQNVVideoTrack, kQNVAudioTrack}) {
    const auto& id = fetchingRepIds_[trackSlot(track)];
    if (!id) continue;
    if (const auto data = existingDataForRep(id, track); data && data->dataLoader) data->dataLoader->cancelRequests();
  }
  for (const auto& tracker : downloadTrackers_) tracker->clearDataForSeek();
  vodSegmentIndex_ = {0, 0};

  createNewDataBlockDistributors();
  std::vector<std::shared_ptr<QNVDashRepresentationSpecificData>> videoStates;
  for (const auto& [id, data] : videoRepDatas_) videoStates.push_back(data);
  if (videoRepData_) videoStates.push_back(videoRepData_);
  for (const auto& data : videoStates) {
    if (data->dataLoader) data->dataLoader->resetWithDataBlockDistributor(dataBlockDistributors_[0]);
  }
  if (audioRepData_ && audioRepData_->dataLoader) {
    audioRepData_->dataLoader->resetWithDataBlockDistributor(dataBlockDistributors_[1]);
  }

  bufferSizeDecider_.resetPlaybackTimeAndTimeLoaded();
  isStalled_ = false;
  OV_LOG(kOVAdLogLevelVerbose, kUnstalledSeekBack, description().c_str());
  gopKeyframeMetadata_.clear();
  for (auto& frames : frames_) frames->reset();
  // The fragments are parsed again as they come back; the movie headers and
  // segment indexes stay.
  for (const auto& data : videoStates) data->atomProvider()->resetMoofAtoms();
  if (audioRepData_) audioRepData_->atomProvider()->resetMoofAtoms();
}

bool QNVDashAsset::shouldResetAssetToBeginning() {
  return frames_[0]->currentFrameIndex() != 0 || frames_[1]->currentFrameIndex() != 0;
}

}  // namespace plexora
