#include "util/qnv/player/QNVClock.h"

#include <algorithm>
#include <cstdio>

#include "util/OVAdLogger.h"
#include "util/qnv/core/QNVMediaStateQueue.h"

namespace plexora {

namespace {

constexpr const char* kResumingTimebaseFormat = "resuming timebase currentTime:%f";
constexpr const char* kPausingTimebaseFormat = "pausing timebase currentTime:%f";
constexpr const char* kResumingObserverFormat = "resuming observer:%p currentTime:%f";
constexpr const char* kSuspendingObserverFormat = "suspending observer:%p currentTime:%f";
constexpr const char* kRemovingObserverFormat = "removing observer:%p currentTime:%f";
constexpr const char* kNextFireTimeFailedFormat = "%s setting timer next fire time failed with error: %d";
constexpr double kWallClockLeewaySeconds = 0.005;

}  // namespace

std::shared_ptr<QNVRealClock> QNVRealClock::create() {
  std::shared_ptr<QNVRealClock> clock(new QNVRealClock());
  clock->controlTimebase_ = platform::Timebase::create();
  clock->controlTimebase_->setRate(0.0);
  clock->controlTimebase_->setTime(platform::MediaTime::zero());
  return clock;
}

QNVRealClock::~QNVRealClock() {
  for (const auto& observer : std::vector(timeObservers_)) removeTimeObserverInternal(observer);
}

std::shared_ptr<QNVPlayerTimeObserver> QNVRealClock::createTimeObserverWithInterval(
    const platform::MediaTime& interval, std::function<void(platform::MediaTime)> block, bool fireOnceAtExactTime,
    bool followMasterClock) {
  QNV_SOFT_ASSERT(interval.isNumeric(), "%s", "a time observer's interval is a number");
  auto observer = std::make_shared<QNVPlayerTimeObserver>();
  observer->interval = interval;
  observer->block = std::move(block);
  observer->fireOnceAtExactTime = fireOnceAtExactTime;
  observer->followMasterClock = followMasterClock;
  return observer;
}

bool QNVRealClock::addTimeObserver(const std::shared_ptr<QNVPlayerTimeObserver>& observer) {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  if (!observer) return false;
  std::weak_ptr<QNVRealClock> weakClock = weak_from_this();
  // The handler keeps the observer until removal stops the timer.
  auto handler = [weakClock, observer] {
    auto clock = weakClock.lock();
    if (!clock) return;
    if (observer->suspended) {
      observer->missedFiring = true;
      return;
    }
    clock->dispatchSourceFiredForTimeObserver(observer);
  };
  observer->suspended = false;
  observer->missedFiring = false;
  if (!observer->followMasterClock) {
    observer->wallClockTimer = platform::DispatchTimerSource::create(QNVMediaStateQueue());
    observer->wallClockTimer->setEventHandler(handler);
    const double interval = observer->interval.isNumeric() ? std::max(observer->interval.seconds(), 0.0) : 0.0;
    observer->wallClockTimer->setTimer(0.0, interval, kWallClockLeewaySeconds);
    observer->wallClockTimer->resume();
  } else {
    observer->timebaseTimer = controlTimebase_->addTimer(QNVMediaStateQueue(), handler);
    if (observer->fireOnceAtExactTime) {
      const int32_t status = controlTimebase_->setTimerNextFireTime(observer->timebaseTimer, observer->interval);
      if (status != platform::kTimebaseOK) {
        OV_LOG(kOVAdLogLevelDebug, kNextFireTimeFailedFormat, description().c_str(), status);
        // An observer the clock does not keep must not go on firing.
        stopTimer(*observer);
        return false;
      }
    } else {
      updateNextFireTimeForObserver(*observer);
    }
  }
  timeObservers_.push_back(observer);
  return true;
}

void QNVRealClock::updateNextFireTimeForObserver(const QNVPlayerTimeObserver& observer) {
  const platform::MediaTime next = platform::add(controlTimebase_->time(), observer.interval);
  const int32_t status = controlTimebase_->setTimerNextFireTime(observer.timebaseTimer, next);
  if (status != platform::kTimebaseOK) {
    OV_LOG(kOVAdLogLevelDebug, kNextFireTimeFailedFormat, description().c_str(), status);
  }
}

void QNVRealClock::dispatchSourceFiredForTimeObserver(const std::shared_ptr<QNVPlayerTimeObserver>& observer) {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  const platform::MediaTime now = controlTimebase_->time();
  if (observer->block) observer->block(now);
  if (observer->fireOnceAtExactTime) {
    observer->suspended = true;
  } else if (observer->followMasterClock) {
    updateNextFireTimeForObserver(*observer);
  }
}

void QNVRealClock::resume() {
  OV_LOG(kOVAdLogLevelVerbose, kResumingTimebaseFormat, controlTimebase_->time().seconds());
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  controlTimebase_->setRate(1.0);
  for (const auto& observer : std::vector(timeObservers_)) {
    if (observer->followMasterClock && !observer->fireOnceAtExactTime && !observer->suspended) {
      updateNextFireTimeForObserver(*observer);
    } else if (observer->fireOnceAtExactTime && !observer->suspended &&
               platform::compare(controlTimebase_->time(), observer->interval) > 0) {
      dispatchSourceFiredForTimeObserver(observer);
    }
  }
}

void QNVRealClock::pause() {
  OV_LOG(kOVAdLogLevelVerbose, kPausingTimebaseFormat, controlTimebase_->time().seconds());
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  controlTimebase_->setRate(0.0);
}

void QNVRealClock::set(const platform::MediaTime& time) {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  controlTimebase_->setTime(time);
}

void QNVRealClock::resumeTimeObserver(const std::shared_ptr<QNVPlayerTimeObserver>& observer) {
  OV_LOG(kOVAdLogLevelVerbose, kResumingObserverFormat, static_cast<void*>(observer.get()),
         controlTimebase_->time().seconds());
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  if (!observer || !observer->suspended) return;
  observer->suspended = false;
  // Like a suspended dispatch source, a firing held back while suspended is
  // delivered on resume.
  if (observer->missedFiring) {
    observer->missedFiring = false;
    QNVMediaStateQueue()->async([weakClock = weak_from_this(), observer] {
      auto clock = weakClock.lock();
      if (!clock || observer->suspended || !clock->isKept(*observer)) return;
      clock->dispatchSourceFiredForTimeObserver(observer);
    });
  }
}

void QNVRealClock::suspendTimeObserver(const std::shared_ptr<QNVPlayerTimeObserver>& observer) {
  OV_LOG(kOVAdLogLevelVerbose, kSuspendingObserverFormat, static_cast<void*>(observer.get()),
         controlTimebase_->time().seconds());
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  if (observer && !observer->suspended) observer->suspended = true;
}

void QNVRealClock::removeTimeObserver(const std::shared_ptr<QNVPlayerTimeObserver>& observer) {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  removeTimeObserverInternal(observer);
}

void QNVRealClock::removeAllTimeObservers() {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  for (const auto& observer : std::vector(timeObservers_)) removeTimeObserverInternal(observer);
}

void QNVRealClock::removeTimeObserverInternal(const std::shared_ptr<QNVPlayerTimeObserver>& observer) {
  if (!observer) return;
  OV_LOG(kOVAdLogLevelVerbose, kRemovingObserverFormat, static_cast<void*>(observer.get()),
         controlTimebase_->time().seconds());
  stopTimer(*observer);
  std::erase(timeObservers_, observer);
}

void QNVRealClock::stopTimer(QNVPlayerTimeObserver& observer) {
  if (observer.timebaseTimer) controlTimebase_->removeTimer(observer.timebaseTimer);
  if (observer.wallClockTimer) observer.wallClockTimer->cancel();
  observer.timebaseTimer.reset();
  observer.wallClockTimer.reset();
  observer.missedFiring = false;
}

bool QNVRealClock::isKept(const QNVPlayerTimeObserver& observer) const {
  return std::any_of(timeObservers_.begin(), timeObservers_.end(),
                     [&observer](const auto& kept) { return kept.get() == &observer; });
}

std::vector<std::shared_ptr<QNVPlayerTimeObserver>> QNVRealClock::observers() const {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  return timeObservers_;
}

void QNVRealClock::syncWithLayer(QNVPlayerDisplayEngine& layer) { layer.setControlTimebase(controlTimebase_); }

platform::MediaTime QNVRealClock::currentTime() const { return controlTimebase_->time(); }

std::string QNVRealClock::description() const {
  char text[64];
  std::snprintf(text, sizeof text, "<QNVRealClock: %p>", static_cast<const void*>(this));
  return text;
}

}  // namespace plexora
