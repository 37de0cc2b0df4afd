// What the synchronous player's display engine (the player layer) takes from
// the player's clock: the control timebase on which it picks the frame due.
//
// Thread safety: called on the media-state queue. Ownership: the engine
// keeps the timebase for as long as it shows frames on it.
#pragma once

#include <memory>

#include "platform/media/Timebase.h"

namespace plexora {

class QNVPlayerDisplayEngine {
 public:
  virtual ~QNVPlayerDisplayEngine() = default;
  virtual void setControlTimebase(std::shared_ptr<platform::Timebase> controlTimebase) = 0;
};

}  // namespace plexora
