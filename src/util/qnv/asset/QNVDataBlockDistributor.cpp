#include "util/qnv/asset/QNVDataBlockDistributor.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "util/OVAdLogger.h"

namespace plexora {

namespace {

constexpr const char* kDescription = "<%p head[0]:%llu head[1]:%llu head[2]:%llu>";
constexpr const char* kDeliver = "%s deliver data w/ offset:%llu length:%lu";
constexpr const char* kNoLongerStarving = "%s head:%d is no longer starving";
constexpr const char* kStillStarving = "%s head:%d is still starving";
constexpr const char* kCannotStitch = "%s Cannot stitch for head:%lu, %llu<%llu";
constexpr const char* kHeadDecreased = "Data block distributor head must never decrease";

using ull = unsigned long long;

}  // namespace

std::string QNVDataBlockDistributor::description() const {
  std::lock_guard guard(lock_);
  return descriptionLocked();
}

std::string QNVDataBlockDistributor::descriptionLocked() const {
  char text[128];
  std::snprintf(text, sizeof text, kDescription, static_cast<const void*>(this), static_cast<ull>(heads_[0].load()),
                static_cast<ull>(heads_[1].load()), static_cast<ull>(heads_[2].load()));
  return text;
}

const uint8_t* QNVDataBlockDistributor::lookupLocked(uint64_t size, size_t head) {
  const uint64_t at = heads_[head].load(std::memory_order_relaxed);
  if (contentLength_ && (at > *contentLength_ || size > *contentLength_ - at)) return nullptr;
  if (size > std::numeric_limits<uint64_t>::max() - at) return nullptr;
  const uint64_t end = at + size;

  uint64_t covered = 0;
  for (const auto& [segment, block] : dataSegments_) {
    const uint64_t blockEnd = segment.offset + segment.length;
    if (segment.offset <= at && blockEnd >= end) {
      starvingHeads_[head] = 0;
      return block->data() + (at - segment.offset);
    }
    if (segment.offset <= at + covered && blockEnd > at + covered) covered = blockEnd - at;
  }
  if (covered < size) {
    OV_LOG(kOVAdLogLevelDebug, kCannotStitch, descriptionLocked().c_str(), static_cast<unsigned long>(head),
           static_cast<ull>(covered), static_cast<ull>(size));
    starvingHeads_[head] = end;
    return nullptr;
  }

  // Covered, so the buffer is never larger than the bytes already held.
  std::vector<uint8_t>& stitch = stitches_[head];
  stitch.assign(size, 0);
  uint64_t copied = 0;
  for (const auto& [segment, block] : dataSegments_) {
    if (copied == size) break;
    const uint64_t blockEnd = segment.offset + segment.length;
    const uint64_t position = at + copied;
    if (segment.offset > position || blockEnd <= position) continue;
    const uint64_t count = std::min(blockEnd - position, size - copied);
    std::memcpy(stitch.data() + copied, block->data() + (position - segment.offset), count);
    copied += count;
  }
  starvingHeads_[head] = 0;
  return stitch.data();
}

void QNVDataBlockDistributor::deliverData(Block data, uint64_t offset) {
  if (!data) return;
  bool served = false;
  bool starving = false;
  {
    std::lock_guard guard(lock_);
    OV_LOG(kOVAdLogLevelVerbose, kDeliver, descriptionLocked().c_str(), static_cast<ull>(offset),
           static_cast<unsigned long>(data->size()));
    const Segment segment{offset, data->size()};
    dataSegments_.insert_or_assign(segment, std::move(data));
    for (size_t head = 0; head < kQNVDataBlockHeadCount; ++head) {
      if (!activeHeads_[head] || starvingHeads_[head] == 0) continue;
      const uint64_t at = heads_[head].load(std::memory_order_relaxed);
      const uint64_t wanted = starvingHeads_[head] > at ? starvingHeads_[head] - at : 0;
      if (lookupLocked(wanted, head) != nullptr) {
        OV_LOG(kOVAdLogLevelVerbose, kNoLongerStarving, descriptionLocked().c_str(), static_cast<int>(head));
        served = true;
      } else {
        OV_LOG(kOVAdLogLevelVerbose, kStillStarving, descriptionLocked().c_str(), static_cast<int>(head));
        starving = true;
      }
    }
  }
  if (served && !starving) {
    if (auto consumer = consumer_.lock()) consumer->dataBlockDistributorHasDataAvailable();
  }
}

void QNVDataBlockDistributor::addHeadType(size_t head, uint64_t offset) {
  std::lock_guard guard(lock_);
  activeHeads_[head] = true;
  heads_[head].store(offset, std::memory_order_relaxed);
  starvingHeads_[head] = 0;
}

void QNVDataBlockDistributor::removeHeadType(size_t head) {
  std::lock_guard guard(lock_);
  activeHeads_[head] = false;
  starvingHeads_[head] = 0;
  stitches_[head] = {};
}

void QNVDataBlockDistributor::moveHeadTo(uint64_t offset, size_t head) {
  uint64_t dropped = 0;
  {
    std::lock_guard guard(lock_);
    if (offset < heads_[head].load(std::memory_order_relaxed)) OV_LOG(kOVAdLogLevelWarn, "%s", kHeadDecreased);
    stitches_[head] = {};
    heads_[head].store(offset, std::memory_order_relaxed);
    // The request the mark stood for was made at the old position.
    starvingHeads_[head] = 0;
    uint64_t slowest = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    for (size_t h = 0; h < kQNVDataBlockHeadCount; ++h) {
      if (activeHeads_[h]) slowest = std::min(slowest, heads_[h].load(std::memory_order_relaxed));
    }
    for (auto it = dataSegments_.begin(); it != dataSegments_.end();) {
      if (it->first.offset + it->first.length <= slowest) {
        it = dataSegments_.erase(it);
        ++dropped;
      } else {
        ++it;
      }
    }
  }
  if (dropped > 0) {
    if (auto consumer = consumer_.lock()) consumer->dataTrashed(dropped);
  }
}

const uint8_t* QNVDataBlockDistributor::bytesAtHead(uint64_t size, size_t head) {
  std::lock_guard guard(lock_);
  return lookupLocked(size, head);
}

void QNVDataBlockDistributor::setContentLength(uint64_t length) {
  std::lock_guard guard(lock_);
  contentLength_ = length;
}

std::shared_ptr<OVDataBlockConsumer> QNVDataBlockDistributor::consumer() const {
  std::lock_guard guard(lock_);
  return consumer_.lock();
}

void QNVDataBlockDistributor::setConsumer(std::weak_ptr<OVDataBlockConsumer> consumer) {
  std::lock_guard guard(lock_);
  consumer_ = std::move(consumer);
}

}  // namespace plexora
