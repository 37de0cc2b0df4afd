#include "platform/media/SampleBuffer.h"

namespace plexora::platform {

std::optional<SampleBuffer> SampleBuffer::create(BlockBuffer data, SampleFormat format, size_t sampleCount,
                                                 std::vector<SampleTimingInfo> timing, std::vector<size_t> sizes) {
  if (!validCount(timing.size(), sampleCount) || !validCount(sizes.size(), sampleCount)) return std::nullopt;
  SampleBuffer buffer;
  buffer.data_ = std::move(data);
  buffer.format_ = std::move(format);
  buffer.sampleCount_ = sampleCount;
  buffer.timing_ = std::move(timing);
  buffer.sizes_ = std::move(sizes);
  size_t total = 0;
  for (size_t i = 0; i < sampleCount && !buffer.sizes_.empty(); ++i) {
    const size_t size = buffer.sampleSize(i);
    if (size > buffer.data_.dataLength() - total) return std::nullopt;
    total += size;
  }
  return buffer;
}

size_t SampleBuffer::sampleSize(size_t index) const {
  if (sizes_.empty() || index >= sampleCount_) return 0;
  return sizes_.size() == 1 ? sizes_[0] : sizes_[index];
}

size_t SampleBuffer::totalSampleSize() const {
  if (sizes_.empty()) return data_.dataLength();
  size_t total = 0;
  for (size_t i = 0; i < sampleCount_; ++i) total += sampleSize(i);
  return total;
}

SampleTimingInfo SampleBuffer::timingInfo(size_t index) const {
  if (timing_.empty() || index >= sampleCount_) return {};
  if (timing_.size() == sampleCount_) return timing_[index];
  // One entry for all: each sample follows the one before by the duration.
  SampleTimingInfo info = timing_[0];
  const MediaTime step = MediaTime::make(info.duration.value * static_cast<int64_t>(index), info.duration.timescale);
  if (index > 0 && info.duration.isNumeric()) {
    info.presentationTimeStamp = add(info.presentationTimeStamp, step);
    if (info.decodeTimeStamp.isValid()) info.decodeTimeStamp = add(info.decodeTimeStamp, step);
  }
  return info;
}

MediaTime SampleBuffer::duration() const {
  if (timing_.empty()) return MediaTime::invalid();
  if (timing_.size() == 1) {
    const MediaTime& one = timing_[0].duration;
    if (!one.isNumeric()) return one;
    return MediaTime::make(one.value * static_cast<int64_t>(sampleCount_), one.timescale);
  }
  MediaTime total = MediaTime::zero();
  for (const auto& info : timing_) total = add(total, info.duration);
  return total;
}

std::vector<Dictionary>* SampleBuffer::sampleAttachmentsArray(bool createIfNecessary) {
  if (!attachments_ && createIfNecessary) attachments_.emplace(sampleCount_);
  return attachments_ ? &*attachments_ : nullptr;
}

std::optional<SampleBuffer> SampleBuffer::copyWithNewTiming(std::vector<SampleTimingInfo> timing) const {
  if (!validCount(timing.size(), sampleCount_)) return std::nullopt;
  SampleBuffer copy = *this;
  copy.timing_ = std::move(timing);
  return copy;
}

}  // namespace plexora::platform
