#include "adapters/views/nativead/video/OVAdTimeObserver.h"

namespace plexora {

std::shared_ptr<OVAdTimeObserver> OVAdTimeObserver::initWithInterval(const platform::MediaTime& interval,
                                                                     platform::DispatchQueuePtr queue, Block block) {
  if (!interval.isNumeric() || !(interval > platform::MediaTime::zero()) || !queue || !block) return nullptr;
  return std::make_shared<OVAdTimeObserver>(interval, std::move(queue), std::move(block));
}

}  // namespace plexora
