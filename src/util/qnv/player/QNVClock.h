// The engine's playback clock: a control timebase, stopped while paused,
// with time observers on it (periodic and fire-once ones that follow the
// timebase) or on the wall clock (plain periodic ones).
//
// Thread safety: every operation but createTimeObserverWithInterval,
// currentTime, syncWithLayer and destruction runs on the media-state queue
// (a soft assertion checks it); observer blocks run there too.
// Ownership: the clock holds the observers it has added and their timers;
// a timer's handler holds the clock weakly and its observer strongly until
// the observer is removed. The synchronous player owns the clock.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchSource.h"
#include "platform/media/MediaTime.h"
#include "platform/media/Timebase.h"
#include "util/qnv/render/QNVPlayerDisplayEngine.h"

namespace plexora {

// A plain record; the clock fills `timer` when the observer is added.
struct QNVPlayerTimeObserver {
  // Period, or for a fire-once observer the timebase time at which it fires.
  platform::MediaTime interval;
  std::function<void(platform::MediaTime)> block;
  // The timer the observer runs on: on the control timebase when it follows
  // the master clock, else a wall-clock dispatch source.
  std::shared_ptr<platform::TimebaseTimer> timebaseTimer;
  std::shared_ptr<platform::DispatchTimerSource> wallClockTimer;
  bool fireOnceAtExactTime = false;
  bool followMasterClock = false;
  // While set, firings are held back; one held back is delivered when the
  // observer is resumed.
  bool suspended = false;
  bool missedFiring = false;
};

class QNVClock {
 public:
  virtual ~QNVClock() = default;
  virtual void resume() = 0;
  virtual void pause() = 0;
  virtual void set(const platform::MediaTime& time) = 0;
  virtual std::shared_ptr<QNVPlayerTimeObserver> createTimeObserverWithInterval(
      const platform::MediaTime& interval, std::function<void(platform::MediaTime)> block, bool fireOnceAtExactTime,
      bool followMasterClock) = 0;
  virtual bool addTimeObserver(const std::shared_ptr<QNVPlayerTimeObserver>& observer) = 0;
  virtual void removeTimeObserver(const std::shared_ptr<QNVPlayerTimeObserver>& observer) = 0;
  virtual void resumeTimeObserver(const std::shared_ptr<QNVPlayerTimeObserver>& observer) = 0;
  virtual void suspendTimeObserver(const std::shared_ptr<QNVPlayerTimeObserver>& observer) = 0;
  virtual void removeAllTimeObservers() = 0;
  virtual std::vector<std::shared_ptr<QNVPlayerTimeObserver>> observers() const = 0;
  virtual void syncWithLayer(QNVPlayerDisplayEngine& layer) = 0;
  virtual platform::MediaTime currentTime() const = 0;
};

class QNVRealClock final : public QNVClock, public std::enable_shared_from_this<QNVRealClock> {
 public:
  // Stopped at time zero. The timebase follows the platform clock: there is
  // no audio device clock to follow here.
  static std::shared_ptr<QNVRealClock> create();
  ~QNVRealClock() override;
  QNVRealClock(const QNVRealClock&) = delete;
  QNVRealClock& operator=(const QNVRealClock&) = delete;

  void resume() override;
  void pause() override;
  void set(const platform::MediaTime& time) override;
  std::shared_ptr<QNVPlayerTimeObserver> createTimeObserverWithInterval(
      const platform::MediaTime& interval, std::function<void(platform::MediaTime)> block, bool fireOnceAtExactTime,
      bool followMasterClock) override;
  // False, with the observer's timer stopped and the observer not kept,
  // when its fire time cannot be set on the timebase.
  bool addTimeObserver(const std::shared_ptr<QNVPlayerTimeObserver>& observer) override;
  void removeTimeObserver(const std::shared_ptr<QNVPlayerTimeObserver>& observer) override;
  void resumeTimeObserver(const std::shared_ptr<QNVPlayerTimeObserver>& observer) override;
  void suspendTimeObserver(const std::shared_ptr<QNVPlayerTimeObserver>& observer) override;
  void removeAllTimeObservers() override;
  std::vector<std::shared_ptr<QNVPlayerTimeObserver>> observers() const override;
  void syncWithLayer(QNVPlayerDisplayEngine& layer) override;
  platform::MediaTime currentTime() const override;

  std::string description() const;

 private:
  QNVRealClock() = default;
  void dispatchSourceFiredForTimeObserver(const std::shared_ptr<QNVPlayerTimeObserver>& observer);
  void updateNextFireTimeForObserver(const QNVPlayerTimeObserver& observer);
  void removeTimeObserverInternal(const std::shared_ptr<QNVPlayerTimeObserver>& observer);
  void stopTimer(QNVPlayerTimeObserver& observer);
  bool isKept(const QNVPlayerTimeObserver& observer) const;

  std::shared_ptr<platform::Timebase> controlTimebase_;
  std::vector<std::shared_ptr<QNVPlayerTimeObserver>> timeObservers_;
};

}  // namespace plexora
