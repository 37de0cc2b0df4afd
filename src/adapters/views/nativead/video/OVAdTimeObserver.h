// One periodic playback-time observer of a video renderer: what was asked
// (interval, queue, block) and the token of the player that carries it
// now. The renderer moves the record from player to player; its users keep
// it only as the token to remove it with.
//
// Thread safety: main thread only; the block runs on the record's queue.
// Ownership: the renderer holds its records; a record holds its block and
// queue, and the current player's token.
#pragma once

#include <functional>
#include <memory>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/media/MediaTime.h"

namespace plexora {

class OVAdTimeObserver final {
 public:
  using Block = std::function<void(const platform::MediaTime& time)>;

  // Null for an interval that is not a positive time, or without a block or
  // a queue.
  static std::shared_ptr<OVAdTimeObserver> initWithInterval(const platform::MediaTime& interval,
                                                            platform::DispatchQueuePtr queue, Block block);

  OVAdTimeObserver(platform::MediaTime interval, platform::DispatchQueuePtr queue, Block block)
      : interval_(interval), queue_(std::move(queue)), block_(std::move(block)) {}

  const platform::MediaTime& interval() const { return interval_; }
  const platform::DispatchQueuePtr& queue() const { return queue_; }
  const Block& block() const { return block_; }
  // The token of the player that carries the record; null while none does.
  const std::shared_ptr<void>& downstreamObserver() const { return downstreamObserver_; }
  void setDownstreamObserver(std::shared_ptr<void> token) { downstreamObserver_ = std::move(token); }

 private:
  const platform::MediaTime interval_;
  const platform::DispatchQueuePtr queue_;
  const Block block_;
  std::shared_ptr<void> downstreamObserver_;
};

}  // namespace plexora
