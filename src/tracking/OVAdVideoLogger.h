// Reports how one video ad was watched. The player side tells the logger of
// progress, pauses, resumes, seeks, skips, stops and the end; the logger
// feeds the played seconds and the audible volume into the ad-quality rules
// (the MRC rule and the viewable-impression rule over the target view) and
// logs "video" events against the ad's client token:
// - 16 once, at the first progress;
// - 2 (time) every 5 s of playback, with the previous report's time as
//   "ptime", and when a pause, skip, stop, seek or the end closes a stretch
//   that was played since the last report;
// - 4 pause, 5 resume, 1 skip;
// - 3 once the MRC rule passes, 10 once the viewable-impression rule
//   passes (after the viewable-impression block).
// Each event carries the statistics gathered since the last flush; a pause,
// the end of a seek, the end of the video and each periodic report start
// them again.
//
// A time that is not a finite number never enters the bookkeeping: progress
// at such a time is ignored, and the other operations keep the times they
// had.
//
// Thread safety: main thread only (the quality rules read the view tree).
// Ownership: the video's player side owns the logger; the logger holds its
// target view strongly, owns its quality manager, whose rule callbacks hold
// the logger weakly, and keeps its two blocks.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/media/MediaTime.h"
#include "platform/value/Value.h"
#include "tracking/OVAdVideoLoggingEvent.h"
#include "util/OVAdQualityManager.h"

namespace plexora::platform {
class View;
}

namespace plexora {

class OVAdVideoLogger final : public std::enable_shared_from_this<OVAdVideoLogger> {
 public:
  using ViewableImpressionBlock = std::function<void()>;
  // The player's own volume, 0 to 1.
  using TargetVolumeBlock = std::function<float()>;
  // Where the events go: the process's event manager ("video", priority 0)
  // unless a test installs another.
  using EventLog = std::function<void(const std::string& token, const platform::Dictionary& params)>;

  // A progress report at least this often, in seconds of playback.
  static constexpr double kProgressReportInterval = 5.0;

  // Null without a view or a client token.
  static std::shared_ptr<OVAdVideoLogger> initWithTargetView(std::shared_ptr<platform::View> targetView,
                                                             const std::optional<std::string>& inlineClientToken,
                                                             ViewableImpressionBlock viewableImpressionBlock,
                                                             TargetVolumeBlock targetVolumeBlock, bool autoplay);
  static std::shared_ptr<OVAdVideoLogger> initWithTargetView(std::shared_ptr<platform::View> targetView,
                                                             const std::optional<std::string>& inlineClientToken,
                                                             TargetVolumeBlock targetVolumeBlock, bool autoplay) {
    return initWithTargetView(std::move(targetView), inlineClientToken, nullptr, std::move(targetVolumeBlock),
                              autoplay);
  }
  OVAdVideoLogger(const OVAdVideoLogger&) = delete;
  OVAdVideoLogger& operator=(const OVAdVideoLogger&) = delete;

  void registerProgress(const platform::MediaTime& time);
  void registerPause(const platform::MediaTime& time);
  void registerResume(const platform::MediaTime& time);
  void registerSeekStart(const platform::MediaTime& time);
  void registerSeekEnd(const platform::MediaTime& time);
  void registerSkip(const platform::MediaTime& time);
  void registerStop(const platform::MediaTime& time);
  void registerComplete(const platform::MediaTime& time);

  const std::shared_ptr<platform::View>& targetView() const { return targetView_; }
  // The quality rules measure the new view too.
  void setTargetView(std::shared_ptr<platform::View> targetView);
  void setEventLog(EventLog eventLog) { eventLog_ = std::move(eventLog); }

  const OVAdQualityManager& adQualityManager() const { return *adQualityManager_; }
  bool autoplay() const { return autoplay_; }
  bool hasLoggedIABImpression() const { return hasLoggedIABImpression_; }
  const std::string& inlineClientToken() const { return inlineClientToken_; }
  double lastProgressBoundaryTime() const { return lastProgressBoundaryTime_; }
  double lastProgressCurrentTime() const { return lastProgressCurrentTime_; }
  bool seeking() const { return seeking_; }

 private:
  struct Private {};

 public:
  OVAdVideoLogger(Private, std::shared_ptr<platform::View> targetView, std::string inlineClientToken,
                  ViewableImpressionBlock viewableImpressionBlock, TargetVolumeBlock targetVolumeBlock, bool autoplay);

 private:
  void buildQualityManager();
  void registerProgress(std::optional<double> seconds, bool forceLog);
  void flush(std::optional<double> seconds);
  void logAction(OVAdVideoAction action);
  void logProgress(double previousTime);
  void log(const OVAdVideoLoggingEvent& event) const;
  void mrcRuleEnded(bool passed);
  void viewableImpressionRuleEnded(bool passed);

  std::shared_ptr<platform::View> targetView_;
  std::unique_ptr<OVAdQualityManager> adQualityManager_;
  bool autoplay_;
  bool hasLoggedIABImpression_ = false;
  std::string inlineClientToken_;
  double lastProgressBoundaryTime_ = 0.0;
  double lastProgressCurrentTime_ = 0.0;
  bool seeking_ = false;
  TargetVolumeBlock targetVolumeBlock_;
  ViewableImpressionBlock viewableImpressionBlock_;
  EventLog eventLog_;
};

}  // namespace plexora
