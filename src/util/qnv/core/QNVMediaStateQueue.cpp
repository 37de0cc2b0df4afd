#include "util/qnv/core/QNVMediaStateQueue.h"

#include <fstream>
#include <string>
#include <vector>

namespace plexora {

platform::DispatchQueuePtr QNVMediaStateQueue() {
  // A function-local static is made once even when many threads ask at once.
  static const platform::DispatchQueuePtr queue = platform::DispatchQueue::createSerial(kQNVMediaStateQueueLabel);
  return queue;
}

bool QNVIsOnMediaStateQueue() { return QNVMediaStateQueue()->isCurrent(); }

bool QNVIsDebuggerAttached() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("TracerPid:", 0) == 0) return std::stol(line.substr(10)) != 0;
  }
  return false;
}

void QNVDispatchAsyncIfNeeded(bool async, const platform::DispatchQueuePtr& queue, const std::function<void()>& block) {
  if (!block) return;
  if (async) {
    queue->async(block);
  } else {
    block();
  }
}

bool QNVSampleBufferContainsIDR(const platform::SampleBuffer& sampleBuffer) {
  constexpr uint64_t kLengthFieldSize = 4;
  constexpr uint8_t kNalUnitTypeMask = 0x1f;
  constexpr uint8_t kNalUnitTypeIDR = 5;
  const platform::BlockBuffer& data = sampleBuffer.dataBuffer();
  const size_t length = data.dataLength();
  std::vector<uint8_t> copy;
  const uint8_t* bytes = data.dataPointer(0, length);
  if (bytes == nullptr && length > 0) {
    copy.resize(length);
    if (!data.copyDataBytes(0, length, copy.data())) return false;
    bytes = copy.data();
  }
  for (uint64_t offset = 0; offset + kLengthFieldSize + 1 < length;) {
    if ((bytes[offset + kLengthFieldSize] & kNalUnitTypeMask) == kNalUnitTypeIDR) return true;
    const uint64_t unitLength = (uint64_t{bytes[offset]} << 24) | (uint64_t{bytes[offset + 1]} << 16) |
                                (uint64_t{bytes[offset + 2]} << 8) | uint64_t{bytes[offset + 3]};
    offset += unitLength + kLengthFieldSize;
  }
  return false;
}

}  // namespace plexora
