// The byte store between a downloader and up to three readers ("heads") that
// each move forward through one file. Blocks arrive at any offset, in any
// order, and may overlap; a head asks for N contiguous bytes at its offset
// and gets a pointer straight into a block, or into a buffer stitched from
// several. Blocks that every active head has passed are dropped.
//
// A request that the stored blocks cannot serve marks its head starving; each
// delivery retries the starving heads, and the consumer hears when all of
// them are served. Once the content length is known, a request reaching past
// it is refused without marking the head starving: no delivery could serve it.
//
// Thread safety: every member may be called from any thread; one mutex
// serialises them, and the consumer is called after it is released.
// Ownership: the distributor holds each delivered block (shared, never
// copied) until it is dropped, and its consumer weakly. A pointer it answers
// stays valid until the next look-up or move of the same head, the removal of
// that head, or the dropping of the block it points into.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace plexora {

enum QNVDataBlockHeadType : size_t {
  kQNVDataBlockHeadBoxParser = 0,
  kQNVDataBlockHeadVideo = 1,
  kQNVDataBlockHeadAudio = 2,
};
inline constexpr size_t kQNVDataBlockHeadCount = 3;

class OVDataBlockConsumer {
 public:
  virtual ~OVDataBlockConsumer() = default;
  // Every head that was starving has its bytes now.
  virtual void dataBlockDistributorHasDataAvailable() {}
  // `count` blocks were dropped because every head had passed them.
  virtual void dataTrashed(uint64_t count) {}
};

class QNVDataBlockDistributor {
 public:
  using Block = std::shared_ptr<const std::vector<uint8_t>>;

  // "<%p head[0]:%llu head[1]:%llu head[2]:%llu>".
  std::string description() const;

  void deliverData(Block data, uint64_t offset);
  // Makes the head active at `offset`, no longer starving.
  void addHeadType(size_t head, uint64_t offset);
  void removeHeadType(size_t head);
  // Heads only move forward; a move back is logged and made all the same.
  void moveHeadTo(uint64_t offset, size_t head);
  // `size` contiguous bytes at the head, or null.
  const uint8_t* bytesAtHead(uint64_t size, size_t head);
  uint64_t offsetForHeadType(size_t head) const { return heads_[head].load(std::memory_order_relaxed); }
  void setContentLength(uint64_t length);

  std::shared_ptr<OVDataBlockConsumer> consumer() const;
  void setConsumer(std::weak_ptr<OVDataBlockConsumer> consumer);

 private:
  struct Segment {
    uint64_t offset;
    uint64_t length;
  };
  // By offset, and for equal offsets the longer block first.
  struct SegmentOrder {
    bool operator()(const Segment& a, const Segment& b) const {
      return a.offset != b.offset ? a.offset < b.offset : a.length > b.length;
    }
  };

  const uint8_t* lookupLocked(uint64_t size, size_t head);
  std::string descriptionLocked() const;

  mutable std::mutex lock_;
  std::map<Segment, Block, SegmentOrder> dataSegments_;
  std::array<bool, kQNVDataBlockHeadCount> activeHeads_{};
  std::array<uint64_t, kQNVDataBlockHeadCount> starvingHeads_{};
  std::array<std::atomic<uint64_t>, kQNVDataBlockHeadCount> heads_{};
  std::array<std::vector<uint8_t>, kQNVDataBlockHeadCount> stitches_;
  std::optional<uint64_t> contentLength_;
  std::weak_ptr<OVDataBlockConsumer> consumer_;
};

}  // namespace plexora
