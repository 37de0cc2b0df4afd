// How the local MP4 asset hands the engine one frame at a time: video sample
// by sample (thinned above 60 frames per second), audio packet by packet out
// of the grouped samples the audio reader gives.
#include <cmath>

#include "util/OVAdLogger.h"
#include "util/qnv/asset/QNVLocalMp4Asset.h"

namespace plexora {

namespace {

// Above this nominal rate only the frames that no other frame depends on
// are decoded.
constexpr long kMaxUnthinnedFrameRate = 60;
constexpr const char* kAudioTimingLog = "%s error fetching sample timing: %d";
// The status logged when a sample carries no timing.
constexpr int kAudioTimingErrorStatus = -1;

// Whether the first attachment dictionary exists and lacks the key.
bool firstAttachmentsLack(platform::SampleBuffer& sample, const char* key) {
  const std::vector<platform::Dictionary>* attachments = sample.sampleAttachmentsArray(false);
  if (attachments == nullptr || attachments->empty()) return false;
  return !attachments->front().contains(key);
}

bool firstAttachmentsHold(platform::SampleBuffer& sample, const char* key) {
  const std::vector<platform::Dictionary>* attachments = sample.sampleAttachmentsArray(false);
  return attachments != nullptr && !attachments->empty() && attachments->front().contains(key);
}

platform::MediaTime numericWithEpochZero(const platform::MediaTime& time) {
  platform::MediaTime result = time;
  result.epoch = 0;
  return result;
}

}  // namespace

bool QNVAudioPacketFitsBuffer(const platform::AudioStreamPacketDescription& packet, uint64_t bufferSize) {
  if (packet.startOffset < 0) return false;
  const auto start = static_cast<uint64_t>(packet.startOffset);
  return start <= bufferSize && packet.dataByteSize <= bufferSize - start;
}

bool QNVLocalMp4Asset::is30MSFrame(platform::SampleBuffer& sample) {
  return firstAttachmentsLack(sample, kQNVSampleAttachmentIsDependedOnByOthers);
}

bool QNVLocalMp4Asset::isKeyFrame(platform::SampleBuffer& sample) {
  return firstAttachmentsLack(sample, kQNVSampleAttachmentNotSync);
}

bool QNVLocalMp4Asset::containsTrack(QNVTrackIndex track) const {
  if (track == kQNVVideoTrack) return videoAssetReader_ != nullptr;
  if (track == kQNVAudioTrack) return audioAssetReader_ != nullptr;
  return false;
}

bool QNVLocalMp4Asset::trackHasMoreFrames(QNVTrackIndex track) {
  if (track == kQNVVideoTrack) {
    return !videoBufferEnded_ && videoAssetReader_ && videoAssetReader_->status() == QNVLocalMp4ReaderStatus::Reading;
  }
  if (track == kQNVAudioTrack) {
    if (!audioAssetReader_) return false;
    if (audioAssetReader_->status() == QNVLocalMp4ReaderStatus::Reading) return true;
    return currentAudioBufferIndex_ < numberOfPackets_;
  }
  return false;
}

QNVFrameMetadata QNVLocalMp4Asset::currentFrameMetadataForTrack(QNVTrackIndex track) {
  if (track == kQNVVideoTrack) return videoFrameMetadata();
  if (track == kQNVAudioTrack) return audioFrameMetadata();
  return {};
}

QNVFrameMetadata QNVLocalMp4Asset::videoFrameMetadata() {
  if (!trackHasMoreFrames(kQNVVideoTrack)) return {};
  const bool thinning = !isOutputDecompressed_ && std::lround(fps_) > kMaxUnthinnedFrameRate;
  if (thinning) {
    do {
      releaseVideoSample();
      videoSampleBuffer_ = videoAssetReader_->copyNextSampleBuffer();
    } while (videoSampleBuffer_ && !is30MSFrame(*videoSampleBuffer_) && trackHasMoreFrames(kQNVVideoTrack));
  } else {
    releaseVideoSample();
    videoSampleBuffer_ = videoAssetReader_->copyNextSampleBuffer();
  }
  if (!videoSampleBuffer_) {
    videoBufferEnded_ = true;
    reportFailedVideoReader();
    return {};
  }
  const platform::SampleTimingInfo timing = videoSampleBuffer_->timingInfo(0);
  QNVFrameMetadata metadata;
  metadata.size = static_cast<uint32_t>(videoSampleBuffer_->dataBuffer().dataLength());
  metadata.decodeTime = timing.decodeTimeStamp;
  metadata.presentationTime = timing.presentationTimeStamp;
  metadata.duration = timing.duration;
  metadata.flags = embedFrameInfo_ && isKeyFrame(*videoSampleBuffer_) ? kQNVFrameFlagFormatMayHaveChanged : 0;
  if (firstAttachmentsHold(*videoSampleBuffer_, kQNVSampleAttachmentNotShown)) {
    metadata.flags |= kQNVFrameFlagDoNotDisplay;
  }
  return metadata;
}

void QNVLocalMp4Asset::reportFailedVideoReader() {
  if (videoReaderFailureReported_ || !videoAssetReader_ ||
      videoAssetReader_->status() != QNVLocalMp4ReaderStatus::Failed || !videoAssetReader_->error()) {
    return;
  }
  videoReaderFailureReported_ = true;
  failLoading(*videoAssetReader_->error());
  addErrorToLog(*videoAssetReader_->error(), true);
}

QNVFrameMetadata QNVLocalMp4Asset::audioFrameMetadata() {
  if (!trackHasMoreFrames(kQNVAudioTrack)) return {};
  if (!audioSampleBuffer_) {
    audioSampleBuffer_ = audioAssetReader_->copyNextSampleBuffer();
    getAudioPacketDescriptions();
    const uint8_t* data = nullptr;
    if (audioSampleBuffer_) {
      audioBlockBuffer_ = audioSampleBuffer_->dataBuffer();
      const size_t length = audioBlockBuffer_.dataLength();
      data = audioBlockBuffer_.dataPointer(0, length);
      if (data == nullptr && length > 0) {
        audioBlockBuffer_ = audioBlockBuffer_.contiguousCopy();
        data = audioBlockBuffer_.dataPointer(0, length);
      }
    }
    if (data == nullptr) {
      releaseAudioBufferIfNeeded();
      return {};
    }
    audioBuffer_ = {asbd_.channelsPerFrame, static_cast<uint32_t>(audioBlockBuffer_.dataLength()), data};
    currentAudioBufferIndex_ = 0;
    // A packet that does not lie inside the sample's data is never handed
    // out: the sample counts as one without packets.
    for (const auto& packet : inPacketDescriptions_) {
      if (!QNVAudioPacketFitsBuffer(packet, audioBuffer_.dataByteSize)) numberOfPackets_ = 0;
    }
  }
  const platform::SampleTimingInfo timing = audioSampleBuffer_->timingInfo(0);
  if (!timing.presentationTimeStamp.isValid()) {
    OV_LOG(kOVAdLogLevelDebug, kAudioTimingLog, description().c_str(), kAudioTimingErrorStatus);
  }
  if (numberOfPackets_ == 0) {
    releaseAudioBufferIfNeeded();
    return {};
  }
  const platform::MediaTime presentationBase = timing.presentationTimeStamp.isNumeric()
                                                   ? numericWithEpochZero(timing.presentationTimeStamp)
                                                   : platform::MediaTime::zero();
  const platform::MediaTime decodeBase = timing.decodeTimeStamp.isNumeric() ? timing.decodeTimeStamp : presentationBase;
  const auto framesPerPacket = static_cast<int64_t>(asbd_.framesPerPacket);
  const auto rate = static_cast<int32_t>(asbd_.sampleRate);
  const platform::MediaTime offset = platform::MediaTime::make(currentAudioBufferIndex_ * framesPerPacket, rate);

  QNVFrameMetadata metadata;
  metadata.size = inPacketDescriptions_[static_cast<size_t>(currentAudioBufferIndex_)].dataByteSize;
  metadata.decodeTime = platform::add(decodeBase, offset);
  metadata.presentationTime = platform::add(presentationBase, offset);
  metadata.duration = platform::MediaTime::make(framesPerPacket, rate);
  return metadata;
}

const uint8_t* QNVLocalMp4Asset::currentFrameDataForTrack(QNVTrackIndex track) {
  if (!trackHasMoreFrames(track)) return nullptr;
  if (track == kQNVAudioTrack) {
    if (currentAudioBufferIndex_ >= numberOfPackets_ || audioBuffer_.data == nullptr) return nullptr;
    const auto& packet = inPacketDescriptions_[static_cast<size_t>(currentAudioBufferIndex_)];
    return audioBuffer_.data + packet.startOffset;
  }
  if (track != kQNVVideoTrack || !videoSampleBuffer_) return nullptr;
  if (isOutputDecompressed_) return reinterpret_cast<const uint8_t*>(&*videoSampleBuffer_);
  const platform::BlockBuffer& data = videoSampleBuffer_->dataBuffer();
  if (const uint8_t* bytes = data.dataPointer(0, data.dataLength())) return bytes;
  // The engine reads size bytes from the pointer: blocks that are not one
  // piece are handed out as a copy, held as long as the sample.
  videoContiguousData_ = data.contiguousCopy();
  return videoContiguousData_.dataPointer(0, videoContiguousData_.dataLength());
}

void QNVLocalMp4Asset::advanceFrameForTrack(QNVTrackIndex track) {
  if (track == kQNVVideoTrack) {
    releaseVideoSample();
  } else if (track == kQNVAudioTrack) {
    if (currentAudioBufferIndex_ >= numberOfPackets_ - 1) {
      releaseAudioBufferIfNeeded();
    } else {
      ++currentAudioBufferIndex_;
    }
  }
}

void QNVLocalMp4Asset::releaseAudioBufferIfNeeded() {
  audioSampleBuffer_.reset();
  audioBlockBuffer_ = {};
  audioBuffer_ = {};
  inPacketDescriptions_.clear();
  currentAudioBufferIndex_ = 0;
  // A released sample has no packets left: a stale count would keep the
  // track answering that it has frames after its reader has finished.
  numberOfPackets_ = 0;
}

void QNVLocalMp4Asset::getAudioPacketDescriptions() {
  inPacketDescriptions_.clear();
  numberOfPackets_ = 0;
  if (!audioSampleBuffer_ || audioSampleBuffer_->numSamples() == 0 || audioSampleBuffer_->sampleSize(0) == 0) {
    return;
  }
  int64_t offset = 0;
  for (size_t index = 0; index < audioSampleBuffer_->numSamples(); ++index) {
    const size_t size = audioSampleBuffer_->sampleSize(index);
    inPacketDescriptions_.push_back({offset, 0, static_cast<uint32_t>(size)});
    offset += static_cast<int64_t>(size);
  }
  numberOfPackets_ = static_cast<int32_t>(inPacketDescriptions_.size());
}

}  // namespace plexora
