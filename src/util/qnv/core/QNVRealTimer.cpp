#include "util/qnv/core/QNVRealTimer.h"

namespace plexora {

namespace {
constexpr double kLeewaySeconds = 0.1;
constexpr double kNanosecondsPerSecond = 1e9;
}  // namespace

struct QNVRealTimer::Shared {
  std::mutex mutex;
  std::function<void()> block;
  bool suspended = true;
  bool tickMissed = false;
};

std::shared_ptr<QNVRealTimer> QNVRealTimer::initWithInterval(uint64_t intervalNanoseconds, bool fireOnce,
                                                             platform::DispatchQueuePtr queue,
                                                             std::function<void()> block) {
  std::shared_ptr<QNVRealTimer> timer(new QNVRealTimer());
  timer->queue_ = queue;
  timer->shared_ = std::make_shared<Shared>();
  timer->shared_->block = std::move(block);
  timer->timer_ = platform::DispatchTimerSource::create(std::move(queue));
  timer->timer_->setEventHandler([shared = timer->shared_] {
    std::function<void()> block;
    {
      std::lock_guard lock(shared->mutex);
      if (shared->suspended) {
        shared->tickMissed = true;
        return;
      }
      block = shared->block;
    }
    if (block) block();
  });
  const double interval = static_cast<double>(intervalNanoseconds) / kNanosecondsPerSecond;
  timer->timer_->setTimer(interval, fireOnce ? 0.0 : interval, kLeewaySeconds);
  // The source runs from creation so that ticks keep their schedule; the
  // suspended flag holds them back until the owner resumes.
  timer->timer_->resume();
  return timer;
}

QNVRealTimer::~QNVRealTimer() { timer_->cancel(); }

void QNVRealTimer::resume() {
  bool deliverMissedTick = false;
  {
    std::lock_guard lock(shared_->mutex);
    if (!shared_->suspended) return;
    shared_->suspended = false;
    deliverMissedTick = shared_->tickMissed;
    shared_->tickMissed = false;
  }
  if (deliverMissedTick) {
    queue_->async([shared = shared_] {
      std::function<void()> block;
      {
        std::lock_guard lock(shared->mutex);
        block = shared->block;
      }
      if (block) block();
    });
  }
}

void QNVRealTimer::pause() {
  std::lock_guard lock(shared_->mutex);
  shared_->suspended = true;
}

std::shared_ptr<QNVTimer> QNVRealTimerManager::createTimerWithInterval(uint64_t intervalNanoseconds, bool fireOnce,
                                                                       platform::DispatchQueuePtr queue,
                                                                       std::function<void()> block) {
  return QNVRealTimer::initWithInterval(intervalNanoseconds, fireOnce, std::move(queue), std::move(block));
}

}  // namespace plexora
