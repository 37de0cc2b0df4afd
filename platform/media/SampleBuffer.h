// Compressed media samples in one block buffer with their timing, sizes and
// format, as a decoder takes them.
//
// Timing and sizes are arrays of 0 (unknown), 1 (one entry for every sample)
// or one entry per sample. Per-sample attachments (a dictionary each) are
// made only when first asked for. Copies share the data.
//
// Thread safety: a value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/media/AudioStreamDescription.h"
#include "platform/media/BlockBuffer.h"
#include "platform/media/MediaTime.h"
#include "platform/media/VideoFormatDescription.h"
#include "platform/value/Value.h"

namespace plexora::platform {

struct SampleTimingInfo {
  MediaTime duration;
  MediaTime presentationTimeStamp;
  MediaTime decodeTimeStamp;
};

// The format of the samples: a video description, or an audio stream
// description with its packet descriptions' frames-per-packet.
struct SampleFormat {
  std::shared_ptr<const VideoFormatDescription> video;
  std::optional<AudioStreamBasicDescription> audio;
};

class SampleBuffer {
 public:
  // None when an array has neither 0, 1 nor `sampleCount` entries, or the
  // sizes add up to more than the data holds.
  static std::optional<SampleBuffer> create(BlockBuffer data, SampleFormat format, size_t sampleCount,
                                            std::vector<SampleTimingInfo> timing, std::vector<size_t> sizes);

  const BlockBuffer& dataBuffer() const { return data_; }
  const SampleFormat& format() const { return format_; }
  size_t numSamples() const { return sampleCount_; }
  // 0 when the sizes are unknown.
  size_t sampleSize(size_t index) const;
  size_t totalSampleSize() const;
  // The timing of one sample; invalid times when unknown.
  SampleTimingInfo timingInfo(size_t index) const;
  // Of the first sample.
  MediaTime presentationTimeStamp() const { return timingInfo(0).presentationTimeStamp; }
  MediaTime decodeTimeStamp() const { return timingInfo(0).decodeTimeStamp; }
  // Of all samples together.
  MediaTime duration() const;

  // The per-sample attachments; none until made by a call that creates them.
  std::vector<Dictionary>* sampleAttachmentsArray(bool createIfNecessary);

  // The same data, format, sizes and attachments with other timing.
  std::optional<SampleBuffer> copyWithNewTiming(std::vector<SampleTimingInfo> timing) const;

 private:
  SampleBuffer() = default;
  static bool validCount(size_t entries, size_t sampleCount) {
    return entries == 0 || entries == 1 || entries == sampleCount;
  }

  BlockBuffer data_;
  SampleFormat format_;
  size_t sampleCount_ = 0;
  std::vector<SampleTimingInfo> timing_;
  std::vector<size_t> sizes_;
  std::optional<std::vector<Dictionary>> attachments_;
};

}  // namespace plexora::platform
