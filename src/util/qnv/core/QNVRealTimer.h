// The engine's wall-clock timer on a dispatch timer source of the current
// platform Clock, with 100 ms leeway.
//
// Thread safety and ownership: as QNVTimer. While paused no tick runs; a
// tick that fell due meanwhile runs once at resume(), as a suspended
// dispatch source would deliver it.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "platform/dispatch/DispatchSource.h"
#include "util/qnv/core/QNVTimerManager.h"

namespace plexora {

class QNVRealTimer final : public QNVTimer {
 public:
  static std::shared_ptr<QNVRealTimer> initWithInterval(uint64_t intervalNanoseconds, bool fireOnce,
                                                        platform::DispatchQueuePtr queue, std::function<void()> block);
  ~QNVRealTimer() override;
  QNVRealTimer(const QNVRealTimer&) = delete;
  QNVRealTimer& operator=(const QNVRealTimer&) = delete;

  void resume() override;
  void pause() override;

 private:
  struct Shared;
  QNVRealTimer() = default;
  std::shared_ptr<platform::DispatchTimerSource> timer_;
  // Shared with the source's handler, which must not keep the timer alive.
  std::shared_ptr<Shared> shared_;
  platform::DispatchQueuePtr queue_;
};

class QNVRealTimerManager final : public QNVTimerManager {
 public:
  std::shared_ptr<QNVTimer> createTimerWithInterval(uint64_t intervalNanoseconds, bool fireOnce,
                                                    platform::DispatchQueuePtr queue,
                                                    std::function<void()> block) override;
};

}  // namespace plexora
