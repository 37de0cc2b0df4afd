#include "util/qnv/player/QNVSynchronousPlayerDoubles.h"

#include <cmath>

#include "util/qnv/player/QNVSynchronousPlayer.h"
#include "util/qnv/support/QNVTestClip.h"

namespace plexora::testing {

std::vector<ScriptedFrame> framesEvery(double step, double seconds, uint32_t size) {
  std::vector<ScriptedFrame> frames;
  const auto count = static_cast<int64_t>(std::llround(seconds / step));
  for (int64_t i = 0; i < count; ++i) {
    frames.push_back({platform::MediaTime::make(static_cast<int64_t>(std::llround(i * step * 1000)), 1000), size, 0});
  }
  return frames;
}

std::shared_ptr<const platform::VideoFormatDescription> ScriptedItem::formatDesc() const {
  // A real H.264 description, so the sample buffers are what a decoder takes.
  static const auto format = [] {
    auto track = loadVideoTrack(testMediaPath("video_only.mp4"));
    return track.format ? std::make_shared<const platform::VideoFormatDescription>(*track.format) : nullptr;
  }();
  return format;
}

platform::AudioStreamBasicDescription ScriptedItem::asbd() const {
  platform::AudioStreamBasicDescription description;
  description.sampleRate = 44100;
  description.framesPerPacket = 1024;
  description.channelsPerFrame = 2;
  return description;
}

bool ScriptedItem::trackHasMoreFrames(QNVTrackIndex track) {
  return track >= 0 && track < 2 && position[track] < tracks[track].size();
}

QNVFrameMetadata ScriptedItem::currentFrameMetadataForTrack(QNVTrackIndex track) {
  if (!trackHasMoreFrames(track) || position[track] >= readyLimit[track]) return {};
  const ScriptedFrame& frame = tracks[track][position[track]];
  return {frame.size, frame.time, frame.time, platform::MediaTime::make(1, 30), frame.flags};
}

const uint8_t* ScriptedItem::currentFrameDataForTrack(QNVTrackIndex track) {
  return currentFrameMetadataForTrack(track).size != 0 ? bytes_.data() : nullptr;
}

void ScriptedItem::advanceFrameForTrack(QNVTrackIndex track) {
  if (trackHasMoreFrames(track)) ++position[track];
}

bool ScriptedItem::seekToPosition(const platform::MediaTime& time) {
  if (!seekSucceeds) return false;
  for (int track = 0; track < 2; ++track) {
    size_t index = 0;
    while (index + 1 < tracks[track].size() && tracks[track][index + 1].time <= time) ++index;
    position[track] = index;
    if (track == 0) landedAt = tracks[0].empty() ? platform::MediaTime::zero() : tracks[0][index].time;
  }
  return true;
}

void RecordingDisplayEngine::requestMediaDataWhenReadyOnQueue(platform::DispatchQueuePtr queue,
                                                              std::function<void()> block) {
  requesting = true;
  queue->async([this, block = std::move(block)] {
    if (requesting) block();
  });
}

void RecordingDisplayEngine::enqueueSampleBuffer(const platform::SampleBuffer& sampleBuffer, uint32_t attributes) {
  auto copy = sampleBuffer;
  bool immediately = false;
  if (auto* attachments = copy.sampleAttachmentsArray(false); attachments != nullptr && !attachments->empty()) {
    const platform::Value* value = (*attachments)[0].find(kQNVSampleAttachmentDisplayImmediately);
    immediately = value != nullptr && value->isBool() && value->asBool();
  }
  enqueued.push_back({sampleBuffer.presentationTimeStamp(), attributes, immediately});
}

platform::AudioQueueBuffer audioBuffer(uint32_t bytes, uint32_t packets) {
  platform::AudioQueueBuffer buffer;
  buffer.audioDataBytesCapacity = bytes;
  buffer.audioData.resize(bytes);
  buffer.packetDescriptionCapacity = packets;
  buffer.packetDescriptions.resize(packets);
  return buffer;
}

}  // namespace plexora::testing
