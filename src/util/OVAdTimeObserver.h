// The record of one periodic playback-time observer that the media view's
// video renderer keeps, so the observer outlives a change of player: the
// interval, queue and block it was asked for, and the token of the player
// that currently carries it.
//
// Thread safety: create anywhere; use one record from the main thread.
// Ownership: held by std::shared_ptr in the renderer's set of observers; the
// record holds the player's token strongly.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "platform/dispatch/DispatchQueue.h"

namespace plexora {

// A time of the video engine: value / timescale seconds. A time without the
// valid flag stands for no time at all.
struct MediaTime {
  static constexpr std::uint32_t kFlagValid = 1u << 0;

  std::int64_t value = 0;
  std::int32_t timescale = 0;
  std::uint32_t flags = 0;
  std::int64_t epoch = 0;

  bool isValid() const { return (flags & kFlagValid) != 0; }
  bool operator==(const MediaTime&) const = default;
};

class OVAdTimeObserver {
 public:
  using Block = std::function<void(MediaTime time)>;

  // An invalid interval, the main queue and a block that does nothing.
  OVAdTimeObserver();
  // A null queue stands for the main queue; an empty block does nothing.
  OVAdTimeObserver(MediaTime interval, platform::DispatchQueuePtr queue, Block block);
  OVAdTimeObserver(const OVAdTimeObserver&) = delete;
  OVAdTimeObserver& operator=(const OVAdTimeObserver&) = delete;

  const MediaTime& interval() const { return interval_; }
  const platform::DispatchQueuePtr& queue() const { return queue_; }
  const Block& block() const { return block_; }

  // The token the current player returned for this observer; null while no
  // player carries it.
  const std::shared_ptr<void>& downstreamObserver() const { return downstreamObserver_; }
  void setDownstreamObserver(std::shared_ptr<void> observer) { downstreamObserver_ = std::move(observer); }

 private:
  const MediaTime interval_;
  const platform::DispatchQueuePtr queue_;
  const Block block_;
  std::shared_ptr<void> downstreamObserver_;
};

}  // namespace plexora
