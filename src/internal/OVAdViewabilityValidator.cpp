#include "internal/OVAdViewabilityValidator.h"

#include <cxxabi.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <typeinfo>
#include <utility>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/Application.h"
#include "platform/ui/View.h"
#include "platform/value/Value.h"
#include "plexora/OVAdSettings.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdLogger.h"
#include "util/OVAdQualityViewabilityMeasurement.h"
#include "util/OVAdScreen.h"
#include "util/OVAdTimer.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr double kDefaultInterval = 0.5;
constexpr double kDefaultInitialDelay = 0.5;
constexpr std::int64_t kDefaultTickDuration = 1;
// The alpha below which the view or an ancestor is too transparent; the
// comparison is made with the single-precision value.
constexpr double kMinimumAlpha = static_cast<double>(0.9f);

constexpr const char* kHistoryChangedFormat = "Viewability history %s changed value for %s from %s to %s";
constexpr const char* kCheckFormat = "%s check %s %s: - %s";
constexpr const char* kSuccess = "success";
constexpr const char* kFailed = "failed";
constexpr const char* kEmptyHistoryJSON = "{}";
constexpr const char* kClassName = "OVAdViewabilityValidator";
// How a missing count shows in the history line.
constexpr const char* kNil = "(null)";

std::string className(const std::type_info& type) {
  int status = 0;
  char* text = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
  std::string name = status == 0 && text != nullptr ? std::string(text) : std::string(type.name());
  std::free(text);
  const std::string::size_type separator = name.rfind("::");
  return separator == std::string::npos ? name : name.substr(separator + 2);
}

std::string objectDescription(const std::string& name, const void* address) {
  char text[64];
  std::snprintf(text, sizeof text, ": %p>", address);
  return "<" + name + text;
}

std::string statusKey(OVAdViewabilityStatus status) { return std::to_string(static_cast<std::int64_t>(status)); }

bool debugLogging() { return OVAdSettings::getLogLevel() >= kOVAdLogLevelDebug; }

}  // namespace

const char* OVAdViewabilityStatusDescription(OVAdViewabilityStatus status) {
  switch (status) {
    case OVAdViewabilityStatus::Unknown:
      return "Unknown.";
    case OVAdViewabilityStatus::Viewable:
      return "View is viewable.";
    case OVAdViewabilityStatus::ViewIsNil:
      return "View is nil (most likely dealloc'd), destroying self.";
    case OVAdViewabilityStatus::NoSuperview:
      return "View has no superview.";
    case OVAdViewabilityStatus::NoWindow:
      return "View not in a window.";
    case OVAdViewabilityStatus::Hidden:
      return "View (or superview) hidden.";
    case OVAdViewabilityStatus::EmptyFrame:
      return "View's frame is empty or null.";
    case OVAdViewabilityStatus::AlphaBelowMinimum:
      return "View (or superview) has alpha set below minimum.";
    case OVAdViewabilityStatus::NotFullyOnScreenHorizontally:
      return "View is not fully on screen horizontally.";
    case OVAdViewabilityStatus::TopTooFarOffscreen:
      return "View's top is too far offscreen.";
    case OVAdViewabilityStatus::BottomTooFarOffscreen:
      return "View's bottom is too far offscreen.";
    case OVAdViewabilityStatus::VisibleAreaBelowMinimum:
      return "View is not fully on screen.";
    case OVAdViewabilityStatus::NotVisibleLongEnough:
      return "View has not been visible for the required amount of time.";
    case OVAdViewabilityStatus::ApplicationBackgrounded:
      return "Application is backgrounded";
    case OVAdViewabilityStatus::ApplicationInactive:
      return "Application is inactive";
  }
  return "";
}

std::shared_ptr<OVAdViewabilityValidator> OVAdViewabilityValidator::initWithView(
    const std::shared_ptr<platform::View>& view, double interval, double initialDelay, std::int64_t minViewability,
    std::int64_t tickDuration, bool shouldObserveNotifications) {
  if (!view) {
    return nullptr;
  }
  std::shared_ptr<OVAdViewabilityValidator> validator(
      new OVAdViewabilityValidator(view, interval, initialDelay, minViewability, tickDuration));
  if (shouldObserveNotifications) {
    validator->startObservingNotifications();
  }
  return validator;
}

std::shared_ptr<OVAdViewabilityValidator> OVAdViewabilityValidator::initWithView(
    const std::shared_ptr<platform::View>& view, std::int64_t minViewability, bool shouldObserveNotifications) {
  return initWithView(view, kDefaultInterval, kDefaultInitialDelay, minViewability, kDefaultTickDuration,
                      shouldObserveNotifications);
}

OVAdViewabilityValidator::OVAdViewabilityValidator(const std::shared_ptr<platform::View>& view, double interval,
                                                   double initialDelay, std::int64_t minViewability,
                                                   std::int64_t tickDuration)
    : view_(view),
      minViewabilityPercentage_(minViewability),
      tickDuration_(tickDuration),
      checkInterval_(interval),
      initialDelay_(initialDelay) {}

OVAdViewabilityValidator::~OVAdViewabilityValidator() {
  // shared_from_this is gone by now, so stop by hand what
  // stopViewabilityCheck would.
  if (observingNotifications_) {
    OVAdUtility::stopObservingBackgroundNotifications(this);
  }
  if (checkViewabilityTimer_) {
    checkViewabilityTimer_->invalidate();
  }
}

// ---- Scheduling ----

void OVAdViewabilityValidator::scheduleViewabilityCheck() {
  scheduleViewabilityCheckWithInterval(checkInterval_, initialDelay_);
}

void OVAdViewabilityValidator::scheduleViewabilityCheckWithInterval(double interval, double initialDelay) {
  paused_ = false;
  stopped_ = false;
  platform::DispatchQueue::main()->after(initialDelay, [self = shared_from_this(), interval] {
    // A stop or pause since the scheduling holds until the next one; it
    // must not leave a timer running for a validator nobody listens to.
    if (self->halted()) {
      return;
    }
    self->checkViewability();
    if (self->viewOnScreenNotificationFinished_ || self->halted()) {
      return;
    }
    self->invalidateTimer();
    self->checkViewabilityTimer_ = OVAdTimer::scheduledTimerWithTimeInterval(
        interval, true, [weakSelf = std::weak_ptr(self)](const std::shared_ptr<OVAdTimer>&) {
          if (const auto validator = weakSelf.lock()) {
            validator->checkViewability();
          }
        });
  });
}

void OVAdViewabilityValidator::checkViewability() {
  if (viewOnScreenNotificationFinished_) {
    invalidateTimer();
    return;
  }
  isViewOnScreenWithBlock(
      [self = shared_from_this()](OVAdViewabilityStatus status) { self->updateCurrentStatus(status); });
}

void OVAdViewabilityValidator::stopViewabilityCheck() {
  stopped_ = true;
  stopObservingNotifications();
  invalidateTimer();
  setDelegate({});
}

void OVAdViewabilityValidator::invalidateTimer() {
  if (checkViewabilityTimer_) {
    checkViewabilityTimer_->invalidate();
    checkViewabilityTimer_.reset();
  }
}

void OVAdViewabilityValidator::resumeTimer() {
  invalidateTimer();
  scheduleViewabilityCheck();
}

void OVAdViewabilityValidator::pause() {
  // Keeps the delegate and the notifications, so becoming active again
  // resumes the checks where the application left them.
  paused_ = true;
  invalidateTimer();
}

void OVAdViewabilityValidator::startObservingNotifications() {
  if (observingNotifications_) {
    return;
  }
  const std::weak_ptr<OVAdViewabilityValidator> weakSelf = weak_from_this();
  OVAdUtility::startObservingBackgroundNotifications(
      shared_from_this(),
      [weakSelf] {
        if (const auto validator = weakSelf.lock()) {
          validator->onApplicationBackgrounded();
        }
      },
      [weakSelf] {
        if (const auto validator = weakSelf.lock()) {
          validator->onApplicationForegrounded();
        }
      });
  observingNotifications_ = true;
}

void OVAdViewabilityValidator::stopObservingNotifications() {
  if (observingNotifications_) {
    OVAdUtility::stopObservingBackgroundNotifications(this);
    observingNotifications_ = false;
  }
}

void OVAdViewabilityValidator::onApplicationBackgrounded() { invalidateTimer(); }

void OVAdViewabilityValidator::onApplicationForegrounded() { resumeTimer(); }

// ---- One check ----

void OVAdViewabilityValidator::isViewOnScreenWithBlock(StatusBlock block) {
  switch (platform::Application::shared()->applicationState()) {
    case platform::ApplicationState::Inactive:
      pause();
      fail(OVAdViewabilityStatus::ApplicationInactive, block);
      return;
    case platform::ApplicationState::Background:
      pause();
      fail(OVAdViewabilityStatus::ApplicationBackgrounded, block);
      return;
    case platform::ApplicationState::Active:
      break;
  }

  const std::shared_ptr<platform::View> view = view_.lock();
  if (!view) {
    stopViewabilityCheck();
    fail(OVAdViewabilityStatus::ViewIsNil, block);
    return;
  }
  if (view->frame().isEmpty()) {
    fail(OVAdViewabilityStatus::EmptyFrame, block);
    return;
  }
  if (view->isHidden()) {
    fail(OVAdViewabilityStatus::Hidden, block);
    return;
  }
  if (view->alpha() < kMinimumAlpha) {
    fail(OVAdViewabilityStatus::AlphaBelowMinimum, block);
    return;
  }
  if (!view->superview()) {
    fail(OVAdViewabilityStatus::NoSuperview, block);
    return;
  }
  if (!view->window()) {
    fail(OVAdViewabilityStatus::NoWindow, block);
    return;
  }
  for (auto ancestor = view->superview(); ancestor; ancestor = ancestor->superview()) {
    if (ancestor->isHidden()) {
      fail(OVAdViewabilityStatus::Hidden, block);
      return;
    }
    if (ancestor->alpha() < kMinimumAlpha) {
      fail(OVAdViewabilityStatus::AlphaBelowMinimum, block);
      return;
    }
  }

  if (!OVAdConfigManager::sharedManager()->isVisibleAreaCheckEnabled()) {
    const platform::Rect screen = OVAdScreen::boundsInOrientation();
    const platform::Rect viewRect = view->convertRectToView(view->bounds(), nullptr);
    platform::DispatchQueue::global(platform::QueuePriority::Background)
        ->async([self = shared_from_this(), screen, viewRect, minViewability = minViewabilityPercentage_.load(),
                 block = std::move(block)] { self->checkViewabilityGeometry(screen, viewRect, minViewability, block); });
    return;
  }
  checkVisibleArea(view, block);
}

void OVAdViewabilityValidator::checkViewabilityGeometry(platform::Rect screen, platform::Rect view,
                                                        std::int64_t minViewability, StatusBlock block) {
  const platform::Rect onScreen = screen.intersection(view);
  lastViewabilityPercentage_ = (onScreen.width() * onScreen.height()) / (view.width() * view.height());

  if (view.minX() < screen.minX() || view.maxX() > screen.maxX()) {
    fail(OVAdViewabilityStatus::NotFullyOnScreenHorizontally, block);
    return;
  }
  const double allowedOverhang =
      std::trunc(static_cast<double>(100 - minViewability) * view.height() / 100.0);
  if (screen.minY() - view.minY() > allowedOverhang) {
    fail(OVAdViewabilityStatus::TopTooFarOffscreen, block);
    return;
  }
  if (view.maxY() - screen.maxY() > allowedOverhang) {
    fail(OVAdViewabilityStatus::BottomTooFarOffscreen, block);
    return;
  }
  pass(block);
}

void OVAdViewabilityValidator::checkVisibleArea(const std::shared_ptr<platform::View>& view,
                                                const StatusBlock& block) {
  const std::int64_t requiredPercentage = OVAdConfigManager::sharedManager()->visibleAreaPercentage();
  const float ratio = OVAdQualityViewabilityMeasurement(view).viewableRatio();
  const auto visiblePercentage = static_cast<std::int64_t>(ratio * 100.0f);
  if (visiblePercentage < requiredPercentage) {
    fail(OVAdViewabilityStatus::VisibleAreaBelowMinimum, block);
    return;
  }
  pass(block);
}

void OVAdViewabilityValidator::fail(OVAdViewabilityStatus status, const StatusBlock& block) {
  currentTickCount_ = 0;
  report(status, block);
}

void OVAdViewabilityValidator::pass(const StatusBlock& block) {
  const std::int64_t ticks = currentTickCount_.load();
  if (ticks + 1 < tickDuration_.load()) {
    currentTickCount_ = ticks + 1;
    report(OVAdViewabilityStatus::NotVisibleLongEnough, block);
    return;
  }
  report(OVAdViewabilityStatus::Viewable, block);
}

void OVAdViewabilityValidator::report(OVAdViewabilityStatus status, const StatusBlock& block) {
  if (debugLogging()) {
    OV_LOG(kOVAdLogLevelDebug, "%s", logSuccess(true, status, lastViewabilityPercentage_.load()).c_str());
  }
  block(status);
}

void OVAdViewabilityValidator::updateCurrentStatus(OVAdViewabilityStatus status) {
  currentStatus_ = status;
  addHistoryEvent(status);
  sendViewNotification(status);
}

void OVAdViewabilityValidator::sendViewNotification(OVAdViewabilityStatus status) {
  platform::DispatchQueue::main()->async([self = shared_from_this(), status] {
    if (self->viewOnScreenNotificationFinished_) {
      return;
    }
    const auto delegate = self->delegate();
    if (!delegate) {
      return;
    }
    if (delegate->viewabilityValidator(self, status)) {
      self->invalidateTimer();
      self->viewOnScreenNotificationFinished_ = true;
    }
  });
}

void OVAdViewabilityValidator::addHistoryEvent(OVAdViewabilityStatus status) {
  const std::string key = statusKey(status);
  std::lock_guard lock(historyLock_);
  const platform::Value* found = viewabilityHistory_.find(key);
  const std::string old = found ? std::to_string(found->asInteger()) : std::string(kNil);
  const std::int64_t count = (found ? found->asInteger() : 0) + 1;
  viewabilityHistory_.set(key, count);
  if (OVAdSettings::getLogLevel() >= kOVAdLogLevelVerbose) {
    OV_LOG(kOVAdLogLevelVerbose, kHistoryChangedFormat, objectDescription(kClassName, this).c_str(), key.c_str(),
           old.c_str(), std::to_string(count).c_str());
  }
}

std::string OVAdViewabilityValidator::logSuccess(bool success, OVAdViewabilityStatus status,
                                                 double /*viewabilityPercentage*/) const {
  const auto view = view_.lock();
  const platform::View* const viewObject = view.get();
  const std::string viewDescription =
      viewObject != nullptr ? objectDescription(className(typeid(*viewObject)), viewObject) : std::string("(null)");
  const std::string validator = objectDescription(kClassName, this);
  const char* result = success ? kSuccess : kFailed;
  const char* text = OVAdViewabilityStatusDescription(status);
  const int length =
      std::snprintf(nullptr, 0, kCheckFormat, validator.c_str(), result, viewDescription.c_str(), text);
  std::string line(static_cast<std::size_t>(length), '\0');
  std::snprintf(line.data(), line.size() + 1, kCheckFormat, validator.c_str(), result, viewDescription.c_str(), text);
  return line;
}

// ---- State ----

std::shared_ptr<OVAdViewabilityValidatorDelegate> OVAdViewabilityValidator::delegate() const {
  std::lock_guard lock(delegateLock_);
  return delegate_.lock();
}

void OVAdViewabilityValidator::setDelegate(std::weak_ptr<OVAdViewabilityValidatorDelegate> delegate) {
  std::lock_guard lock(delegateLock_);
  delegate_ = std::move(delegate);
}

platform::Dictionary OVAdViewabilityValidator::viewabilityHistory() const {
  std::lock_guard lock(historyLock_);
  return viewabilityHistory_;
}

void OVAdViewabilityValidator::setViewabilityHistory(platform::Dictionary history) {
  std::lock_guard lock(historyLock_);
  viewabilityHistory_ = std::move(history);
}

std::string OVAdViewabilityValidator::viewabilityHistoryJSON() const {
  std::lock_guard lock(historyLock_);
  return OVAdUtility::getJSONStringFromObject(platform::Value(viewabilityHistory_)).value_or(kEmptyHistoryJSON);
}

}  // namespace plexora
