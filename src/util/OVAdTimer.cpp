#include "util/OVAdTimer.h"

#include <utility>

#include "platform/dispatch/DispatchSource.h"

namespace plexora {

namespace {

constexpr double kTimerLeewaySeconds = 0.1;

}  // namespace

OVAdTimer::OVAdTimer(double interval) : timeInterval_(interval) {}

OVAdTimer::~OVAdTimer() { invalidate(); }

OVAdTimer::Condition OVAdTimer::repeatsCondition(bool repeats) {
  return [stop = !repeats](const std::shared_ptr<OVAdTimer>&) { return stop; };
}

std::shared_ptr<OVAdTimer> OVAdTimer::scheduledTimerWithTimeInterval(double interval, Condition repeatsUntilCondition,
                                                                     platform::DispatchQueuePtr queue, Block block) {
  std::shared_ptr<OVAdTimer> timer(new OVAdTimer(interval));
  timer->start(std::move(repeatsUntilCondition), std::move(queue), std::move(block));
  return timer;
}

void OVAdTimer::start(Condition condition, platform::DispatchQueuePtr queue, Block block) {
  auto innerBlock = std::make_shared<Block>(std::move(block));
  if (!queue) {
    queue = platform::DispatchQueue::main();
  }

  std::function<void()> handler = [weakTimer = weak_from_this(), weakBlock = std::weak_ptr<Block>(innerBlock),
                                   condition = std::move(condition)] {
    // Invalidation inside the block releases this handler; work on copies.
    const std::shared_ptr<OVAdTimer> timer = weakTimer.lock();
    const std::shared_ptr<Block> callerBlock = weakBlock.lock();
    const Condition stopCondition = condition;
    if (!timer || !timer->isValid()) {
      return;
    }
    if (callerBlock && *callerBlock) {
      (*callerBlock)(timer);
    }
    if (stopCondition && timer->isValid() && stopCondition(timer)) {
      timer->invalidate();
    }
  };

  auto source = platform::DispatchTimerSource::create(queue);
  source->setEventHandler(handler);
  source->setTimer(timeInterval_, timeInterval_, kTimerLeewaySeconds);

  {
    std::lock_guard lock(mutex_);
    queue_ = std::move(queue);
    innerBlock_ = std::move(innerBlock);
    handler_ = std::move(handler);
    timer_ = source;
  }
  source->resume();
}

void OVAdTimer::invalidate() {
  // Released outside the lock: a block's captures may own this very timer.
  std::shared_ptr<platform::DispatchTimerSource> source;
  std::function<void()> handler;
  std::shared_ptr<Block> innerBlock;
  platform::DispatchQueuePtr queue;
  platform::Value userInfo;
  {
    std::lock_guard lock(mutex_);
    source = std::move(timer_);
    handler = std::move(handler_);
    innerBlock = std::move(innerBlock_);
    queue = std::move(queue_);
    userInfo = std::move(userInfo_);
    timer_.reset();
    handler_ = nullptr;
    innerBlock_.reset();
    queue_.reset();
    userInfo_ = platform::Value();
  }
  if (source) {
    source->cancel();
  }
}

bool OVAdTimer::isValid() const {
  std::lock_guard lock(mutex_);
  return timer_ != nullptr;
}

void OVAdTimer::fire() {
  std::function<void()> handler;
  platform::DispatchQueuePtr queue;
  {
    std::lock_guard lock(mutex_);
    if (!timer_ || !handler_) {
      return;
    }
    handler = handler_;
    queue = queue_;
  }
  queue->async(std::move(handler));
}

platform::DispatchQueuePtr OVAdTimer::queue() const {
  std::lock_guard lock(mutex_);
  return queue_;
}

platform::Value OVAdTimer::userInfo() const {
  std::lock_guard lock(mutex_);
  return userInfo_;
}

void OVAdTimer::setUserInfo(platform::Value userInfo) {
  std::lock_guard lock(mutex_);
  userInfo_ = std::move(userInfo);
}

}  // namespace plexora
