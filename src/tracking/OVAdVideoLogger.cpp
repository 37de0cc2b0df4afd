#include "tracking/OVAdVideoLogger.h"

#include <cmath>

#include "platform/ui/View.h"
#include "tracking/OVAdEventManager.h"
#include "util/OVAdDeviceVolume.h"

namespace plexora {

namespace {

std::optional<double> secondsOf(const platform::MediaTime& time) {
  const double seconds = time.seconds();
  if (!std::isfinite(seconds)) return std::nullopt;
  return seconds;
}

}  // namespace

std::shared_ptr<OVAdVideoLogger> OVAdVideoLogger::initWithTargetView(
    std::shared_ptr<platform::View> targetView, const std::optional<std::string>& inlineClientToken,
    ViewableImpressionBlock viewableImpressionBlock, TargetVolumeBlock targetVolumeBlock, bool autoplay) {
  if (!targetView || !inlineClientToken) return nullptr;
  auto logger = std::make_shared<OVAdVideoLogger>(Private{}, std::move(targetView), *inlineClientToken,
                                                  std::move(viewableImpressionBlock), std::move(targetVolumeBlock),
                                                  autoplay);
  logger->buildQualityManager();
  return logger;
}

OVAdVideoLogger::OVAdVideoLogger(Private, std::shared_ptr<platform::View> targetView, std::string inlineClientToken,
                                 ViewableImpressionBlock viewableImpressionBlock, TargetVolumeBlock targetVolumeBlock,
                                 bool autoplay)
    : targetView_(std::move(targetView)),
      autoplay_(autoplay),
      inlineClientToken_(std::move(inlineClientToken)),
      targetVolumeBlock_(std::move(targetVolumeBlock)),
      viewableImpressionBlock_(std::move(viewableImpressionBlock)),
      eventLog_([](const std::string& token, const platform::Dictionary& params) {
        OVAdEventManager::sharedManager()->logVideoEventForToken(token, params);
      }) {}

void OVAdVideoLogger::buildQualityManager() {
  const std::weak_ptr<OVAdVideoLogger> weakSelf = weak_from_this();
  // Each callback holds the logger while it runs: the viewable-impression
  // block is the host's code and may drop the logger's owner.
  auto mrc = OVAdQualityRule::mrcRuleWithEndCallback([weakSelf](bool, bool passed, const OVAdQualityStatistics&) {
    if (const auto self = weakSelf.lock()) self->mrcRuleEnded(passed);
  });
  auto impression =
      OVAdQualityRule::viewableImpressionRuleWithEndCallback([weakSelf](bool, bool passed, const OVAdQualityStatistics&) {
        if (const auto self = weakSelf.lock()) self->viewableImpressionRuleEnded(passed);
      });
  adQualityManager_ = OVAdQualityManager::managerWithTargetView(targetView_, {std::move(mrc), std::move(impression)});
}

void OVAdVideoLogger::setTargetView(std::shared_ptr<platform::View> targetView) {
  targetView_ = std::move(targetView);
  adQualityManager_->setTargetView(targetView_);
}

// ---- Register operations ----
//
// Each operation that feeds the quality rules holds the logger until it
// returns: the viewable-impression block is the host's code and may drop
// the logger's last owner from inside the call.

void OVAdVideoLogger::registerProgress(const platform::MediaTime& time) {
  if (seeking_) return;
  const auto keepAlive = shared_from_this();
  const bool first = !hasLoggedIABImpression_;
  registerProgress(secondsOf(time), false);
  if (!first) return;
  hasLoggedIABImpression_ = true;
  logAction(OVAdVideoAction::kFirstProgress);
}

void OVAdVideoLogger::registerPause(const platform::MediaTime& time) {
  const auto keepAlive = shared_from_this();
  const auto seconds = secondsOf(time);
  registerProgress(seconds, true);
  logAction(OVAdVideoAction::kPause);
  flush(seconds);
}

void OVAdVideoLogger::registerResume(const platform::MediaTime& time) {
  if (const auto seconds = secondsOf(time)) {
    lastProgressBoundaryTime_ = *seconds;
    lastProgressCurrentTime_ = *seconds;
  }
  logAction(OVAdVideoAction::kResume);
}

void OVAdVideoLogger::registerSeekStart(const platform::MediaTime& time) {
  const auto keepAlive = shared_from_this();
  registerProgress(secondsOf(time), true);
  seeking_ = true;
}

void OVAdVideoLogger::registerSeekEnd(const platform::MediaTime& time) {
  seeking_ = false;
  flush(secondsOf(time));
}

void OVAdVideoLogger::registerSkip(const platform::MediaTime& time) {
  const auto keepAlive = shared_from_this();
  registerProgress(secondsOf(time), true);
  logAction(OVAdVideoAction::kSkip);
}

void OVAdVideoLogger::registerStop(const platform::MediaTime& time) {
  const auto keepAlive = shared_from_this();
  registerProgress(secondsOf(time), true);
}

void OVAdVideoLogger::registerComplete(const platform::MediaTime& time) {
  const auto keepAlive = shared_from_this();
  registerProgress(secondsOf(time), true);
  flush(0.0);
}

// ---- Progress rule ----

void OVAdVideoLogger::registerProgress(std::optional<double> seconds, bool forceLog) {
  if (seeking_ || !seconds) return;
  const double now = *seconds;
  const double delta = now - lastProgressCurrentTime_;
  const double sinceReport = now - lastProgressBoundaryTime_;
  lastProgressCurrentTime_ = now;
  if (!(delta > 0.0) && !forceLog) return;

  const float playerVolume = targetVolumeBlock_ ? targetVolumeBlock_() : 0.0F;
  const auto volume = static_cast<float>(deviceVolume() * static_cast<double>(playerVolume));
  adQualityManager_->registerProgress(delta, volume);

  if (sinceReport >= kProgressReportInterval || (forceLog && sinceReport > 0.0)) {
    logProgress(lastProgressBoundaryTime_);
    lastProgressBoundaryTime_ = now;
    if (!forceLog) flush(now);
  }
}

void OVAdVideoLogger::flush(std::optional<double> seconds) {
  adQualityManager_->resetStatistics();
  if (!seconds) return;
  lastProgressBoundaryTime_ = *seconds;
  lastProgressCurrentTime_ = *seconds;
}

// ---- Events ----

void OVAdVideoLogger::logAction(OVAdVideoAction action) {
  const OVAdQualityStatistics& statistics = adQualityManager_->statistics();
  log(OVAdVideoLoggingEvent::loggingEventWithAction(action, targetView_.get(), autoplay_, lastProgressCurrentTime_,
                                                    statistics.viewabilityStatistics(),
                                                    statistics.audibilityStatistics()));
}

void OVAdVideoLogger::logProgress(double previousTime) {
  const OVAdQualityStatistics& statistics = adQualityManager_->statistics();
  log(OVAdVideoLoggingEvent::loggingEventWithAction(OVAdVideoAction::kTime, targetView_.get(), autoplay_,
                                                    lastProgressCurrentTime_, previousTime,
                                                    statistics.viewabilityStatistics(),
                                                    statistics.audibilityStatistics()));
}

void OVAdVideoLogger::log(const OVAdVideoLoggingEvent& event) const {
  if (eventLog_) eventLog_(inlineClientToken_, event.loggingParams());
}

void OVAdVideoLogger::mrcRuleEnded(bool passed) {
  if (passed) logAction(OVAdVideoAction::kMRC);
}

void OVAdVideoLogger::viewableImpressionRuleEnded(bool passed) {
  if (!passed) return;
  if (viewableImpressionBlock_) viewableImpressionBlock_();
  logAction(OVAdVideoAction::kViewableImpression);
}

}  // namespace plexora
