// Decides whether one ad view is on screen. After an initial delay the
// validator checks the view at a fixed interval on the main queue, classifies
// each check with a status, counts how often each status occurred, and hands
// every status to its delegate, whose answer true ends the checking for good.
// Owners turn the first viewable report into the ad's impression and send
// "vrc" (currentStatus), "vp" (lastViewabilityPercentage) and "vh"
// (viewabilityHistoryJSON) with their impression and click events.
//
// A check tests, in order: the application's state, the view's existence,
// its frame, hidden flag and alpha, its superview, window and ancestors, and
// then either the on-screen geometry (on a background queue) or, when the
// configuration enables the visible-area check, the visible area measured
// over the view tree (on the main thread). A passing check counts a tick;
// `tickDuration` consecutive ticks make the view viewable.
//
// While the application is inactive or in the background a check pauses the
// validator instead of ending it: the timer stops, the delegate stays, and
// the next did-become-active notification (for a validator that observes
// them) starts the schedule again, so the impression is not lost. An owner
// that does not let it observe restarts it with scheduleViewabilityCheck.
// A released view (status 2) stops the validator and clears the delegate.
//
// Thread safety: create, schedule, stop and release on the main thread; the
// delegate is only ever called there. The geometry test runs on the global
// background queue, so updateCurrentStatus and addHistoryEvent may run
// there; the status, tick count and percentage are atomic and the history is
// guarded by a recursive mutex, so the getters may be read from any thread.
// Ownership: the owner holds the validator through the std::shared_ptr the
// initialisers answer; the validator holds its view and its delegate weakly.
// A scheduled first check and a running geometry test keep it alive until
// they have run; the repeating timer and the notification blocks do not.
// Releasing it stops everything.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/ui/Geometry.h"
#include "platform/value/Value.h"

namespace plexora::platform {
class View;
}

namespace plexora {

class OVAdTimer;
class OVAdViewabilityValidator;

// What one check found. The codes travel to the server ("vrc" and the keys of
// "vh"); 8, 12, 15 and 16 are never produced.
enum class OVAdViewabilityStatus : std::int64_t {
  Unknown = 0,
  Viewable = 1,
  ViewIsNil = 2,
  NoSuperview = 3,
  NoWindow = 4,
  Hidden = 5,
  EmptyFrame = 6,
  AlphaBelowMinimum = 7,
  NotFullyOnScreenHorizontally = 9,
  TopTooFarOffscreen = 10,
  BottomTooFarOffscreen = 11,
  VisibleAreaBelowMinimum = 13,
  NotVisibleLongEnough = 14,
  ApplicationBackgrounded = 17,
  ApplicationInactive = 18,
};

// The line a status logs, e.g. "View is viewable."; "" for codes that are
// never produced.
const char* OVAdViewabilityStatusDescription(OVAdViewabilityStatus status);

class OVAdViewabilityValidatorDelegate {
 public:
  virtual ~OVAdViewabilityValidatorDelegate() = default;
  // Every status, on the main thread. Answering true ends the checking: no
  // further check, history entry or delegate call happens.
  virtual bool viewabilityValidator(const std::shared_ptr<OVAdViewabilityValidator>& validator,
                                    OVAdViewabilityStatus status) = 0;
};

class OVAdViewabilityValidator final : public std::enable_shared_from_this<OVAdViewabilityValidator> {
 public:
  // Checks every `interval` seconds after `initialDelay`; the view must show
  // `minViewability` percent of its height vertically (geometry test) for
  // `tickDuration` consecutive checks. Nothing is scheduled yet. Null for a
  // null view.
  static std::shared_ptr<OVAdViewabilityValidator> initWithView(const std::shared_ptr<platform::View>& view,
                                                                double interval, double initialDelay,
                                                                std::int64_t minViewability,
                                                                std::int64_t tickDuration,
                                                                bool shouldObserveNotifications);
  // Interval and initial delay 0.5 s, tick duration 1.
  static std::shared_ptr<OVAdViewabilityValidator> initWithView(const std::shared_ptr<platform::View>& view,
                                                                std::int64_t minViewability,
                                                                bool shouldObserveNotifications);

  ~OVAdViewabilityValidator();
  OVAdViewabilityValidator(const OVAdViewabilityValidator&) = delete;
  OVAdViewabilityValidator& operator=(const OVAdViewabilityValidator&) = delete;

  // ---- Scheduling (main thread) ----

  // With the validator's own interval and initial delay.
  void scheduleViewabilityCheck();
  // One check after `initialDelay`, then a repeating check every `interval`
  // unless the delegate has accepted a status. A stop or pause before that
  // first check holds: nothing runs until the checks are scheduled again.
  void scheduleViewabilityCheckWithInterval(double interval, double initialDelay);
  // One check now; its status may arrive later, from the background queue.
  void checkViewability();
  // Stops observing, drops the timer and clears the delegate; the checks stay
  // stopped until scheduled again.
  void stopViewabilityCheck();
  void invalidateTimer();
  // Drops the timer and schedules the checks again from the initial delay.
  void resumeTimer();

  void startObservingNotifications();
  void stopObservingNotifications();
  void onApplicationBackgrounded();
  void onApplicationForegrounded();

  // ---- One check ----

  using StatusBlock = std::function<void(OVAdViewabilityStatus status)>;
  // Runs the tests and calls `block` exactly once with the status, on the
  // calling thread or on the background queue.
  void isViewOnScreenWithBlock(StatusBlock block);
  // Records the status (currentStatus, then the history) and hands it to the
  // delegate on the main queue.
  void updateCurrentStatus(OVAdViewabilityStatus status);
  void sendViewNotification(OVAdViewabilityStatus status);
  void addHistoryEvent(OVAdViewabilityStatus status);
  // "<validator> check success|failed <view>: - <status text>".
  std::string logSuccess(bool success, OVAdViewabilityStatus status, double viewabilityPercentage) const;

  // ---- State ----

  std::shared_ptr<platform::View> view() const { return view_.lock(); }
  std::shared_ptr<OVAdViewabilityValidatorDelegate> delegate() const;
  void setDelegate(std::weak_ptr<OVAdViewabilityValidatorDelegate> delegate);

  std::int64_t minViewabilityPercentage() const { return minViewabilityPercentage_; }
  void setMinViewabilityPercentage(std::int64_t percentage) { minViewabilityPercentage_ = percentage; }
  std::int64_t tickDuration() const { return tickDuration_; }
  void setTickDuration(std::int64_t ticks) { tickDuration_ = ticks; }
  double checkInterval() const { return checkInterval_; }
  void setCheckInterval(double seconds) { checkInterval_ = seconds; }
  double initialDelay() const { return initialDelay_; }
  void setInitialDelay(double seconds) { initialDelay_ = seconds; }

  // The status of the last completed check; Unknown before any.
  OVAdViewabilityStatus currentStatus() const { return currentStatus_.load(); }
  // Fraction (0 to 1) of the view inside the screen at the last geometry
  // test; 0 before any. The visible-area check leaves it alone.
  double lastViewabilityPercentage() const { return lastViewabilityPercentage_.load(); }
  std::int64_t currentTickCount() const { return currentTickCount_.load(); }

  // Per status code as decimal text, how many checks produced it (integer
  // values), in the order the statuses first occurred.
  platform::Dictionary viewabilityHistory() const;
  void setViewabilityHistory(platform::Dictionary history);
  // The history as JSON text, e.g. {"5":2,"1":1}; "{}" before any check.
  std::string viewabilityHistoryJSON() const;

  // Set once the delegate has accepted a status.
  bool isviewOnScreenNotificationFinished() const { return viewOnScreenNotificationFinished_.load(); }
  bool isObservingNotifications() const { return observingNotifications_; }
  // Whether an inactive or background check paused the validator.
  bool isPaused() const { return paused_.load(); }

 private:
  OVAdViewabilityValidator(const std::shared_ptr<platform::View>& view, double interval, double initialDelay,
                           std::int64_t minViewability, std::int64_t tickDuration);

  // A failing status: resets the tick count, logs, then hands it on.
  void fail(OVAdViewabilityStatus status, const StatusBlock& block);
  // A passing test: a tick, or viewable once enough ticks passed.
  void pass(const StatusBlock& block);
  void report(OVAdViewabilityStatus status, const StatusBlock& block);
  void checkViewabilityGeometry(platform::Rect screen, platform::Rect view, std::int64_t minViewability,
                                StatusBlock block);
  void checkVisibleArea(const std::shared_ptr<platform::View>& view, const StatusBlock& block);
  void pause();
  bool halted() const { return stopped_ || paused_; }

  std::weak_ptr<platform::View> view_;
  std::atomic<std::int64_t> minViewabilityPercentage_;
  std::atomic<std::int64_t> tickDuration_;
  double checkInterval_;
  double initialDelay_;

  mutable std::recursive_mutex historyLock_;
  platform::Dictionary viewabilityHistory_;

  mutable std::mutex delegateLock_;
  std::weak_ptr<OVAdViewabilityValidatorDelegate> delegate_;

  std::atomic<OVAdViewabilityStatus> currentStatus_{OVAdViewabilityStatus::Unknown};
  std::atomic<double> lastViewabilityPercentage_{0.0};
  std::atomic<std::int64_t> currentTickCount_{0};
  std::atomic<bool> viewOnScreenNotificationFinished_{false};
  std::atomic<bool> paused_{false};
  std::atomic<bool> stopped_{false};
  bool observingNotifications_ = false;
  std::shared_ptr<OVAdTimer> checkViewabilityTimer_;
};

}  // namespace plexora
