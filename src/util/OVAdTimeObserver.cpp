#include "util/OVAdTimeObserver.h"

#include <utility>

namespace plexora {
namespace {

OVAdTimeObserver::Block nonEmpty(OVAdTimeObserver::Block block) {
  if (block) return block;
  return [](MediaTime) {};
}

}  // namespace

OVAdTimeObserver::OVAdTimeObserver() : OVAdTimeObserver(MediaTime{}, nullptr, nullptr) {}

OVAdTimeObserver::OVAdTimeObserver(MediaTime interval, platform::DispatchQueuePtr queue, Block block)
    : interval_(interval),
      queue_(queue ? std::move(queue) : platform::DispatchQueue::main()),
      block_(nonEmpty(std::move(block))) {}

}  // namespace plexora
