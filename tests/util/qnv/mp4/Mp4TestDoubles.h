// A streaming reader over bytes that arrive as the test says, and a frame
// store that keeps every record it is given.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/foundation/Bytes.h"
#include "util/qnv/mp4/QNVMp4FrameMetadataCompressor.h"
#include "util/qnv/mp4/QNVMp4StreamingReader.h"

namespace plexora::testing {

class MemoryStreamingReader final : public QNVMp4StreamingReader {
 public:
  explicit MemoryStreamingReader(platform::Bytes bytes) : bytes_(std::move(bytes)), available_(bytes_.size()) {}

  // Only the first `count` bytes have arrived.
  void setAvailable(uint64_t count) { available_ = count; }
  uint64_t head() const { return head_; }

  [[nodiscard]] const uint8_t* bytesAtHead(int64_t count) override {
    if (count < 0 || head_ > available_ || static_cast<uint64_t>(count) > available_ - head_) return nullptr;
    return bytes_.data() + head_;
  }
  void moveHead(uint64_t count) override { head_ += count; }

 private:
  platform::Bytes bytes_;
  uint64_t available_;
  uint64_t head_ = 0;
};

class RecordingFrameStore final : public QNVMp4FrameMetadataCompressor {
 public:
  std::vector<QNVMp4FrameRecord> frames;
  uint32_t readIndex = 0;
  uint32_t sequenceNumber = 0;

  void reset() override { frames.clear(); readIndex = 0; }
  void addFrame(const QNVMp4FrameRecord& frame) override { frames.push_back(frame); }
  bool Next() override { return ++readIndex < frames.size(); }
  bool seekToFrameIndex(uint32_t index) override {
    if (index >= frames.size()) return false;
    readIndex = index;
    return true;
  }
  QNVMp4FrameRecord currentFrame() override { return frameAtIndex(readIndex); }
  uint32_t currentFrameIndex() const override { return readIndex; }
  uint32_t frameCount() const override { return static_cast<uint32_t>(frames.size()); }
  bool isAtEnd() const override { return readIndex >= frames.size(); }
  uint64_t largestOffset() const override { return frames.empty() ? 0 : frames.back().offset + frames.back().size; }
  QNVMp4FrameRecord firstFrame() const override { return frames.empty() ? QNVMp4FrameRecord{} : frames.front(); }
  QNVMp4FrameRecord lastFrame() const override { return frames.empty() ? QNVMp4FrameRecord{} : frames.back(); }
  QNVMp4FrameRecord frameAtIndex(uint32_t index) override {
    return index < frames.size() ? frames[index] : QNVMp4FrameRecord{};
  }
  QNVMp4FrameRecord frameForOffset(uint64_t offset) override {
    QNVMp4FrameRecord found = firstFrame();
    for (const auto& frame : frames) {
      if (frame.offset <= offset) found = frame;
    }
    return found;
  }
  void setLastSequenceNumber(uint32_t value) override { sequenceNumber = value; }
  uint32_t lastSequenceNumber() const override { return sequenceNumber; }
  uint64_t smallestPts() const override { return UINT64_MAX; }
  uint64_t largestPts() const override { return UINT64_MAX; }
  uint32_t latestNonZeroDuration() const override {
    for (auto it = frames.rbegin(); it != frames.rend(); ++it) {
      if (it->duration != 0) return it->duration;
    }
    return 0;
  }
};

}  // namespace plexora::testing
