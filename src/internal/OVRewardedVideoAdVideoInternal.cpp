#include "internal/OVRewardedVideoAdVideoInternal.h"

#include <cmath>

#include "adapters/OVRewardedVideoAdDataModel.h"
#include "internal/OVRewardedVideoAdOrientation.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "platform/ui/View.h"
#include "tracking/OVAdEventManager.h"
#include "tracking/OVAdVideoLogger.h"
#include "util/OVAdLogger.h"
#include "util/OVAdNotificationCenter.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

// The rewarded video always plays at full volume.
constexpr float kTargetVolume = 1.0F;
constexpr const char* kNoPresenterMessage = "Rewarded video has no view controller to present from";
constexpr std::int32_t kMillisecondTimescale = 1000;

// The view reports the end as seconds; the logger takes media times.
platform::MediaTime mediaTimeOfSeconds(double seconds) {
  if (!std::isfinite(seconds)) return platform::MediaTime::invalid();
  return platform::MediaTime::make(std::llround(seconds * kMillisecondTimescale), kMillisecondTimescale);
}

}  // namespace

// Lays the video view out whenever a rotation resizes the controller's view.
class OVRewardedVideoAdVideoInternal::ContentView final : public platform::View {
 public:
  ContentView(platform::Rect frame, std::weak_ptr<OVRewardedVideoAdVideoInternal> controller)
      : platform::View(frame), controller_(std::move(controller)) {}

  void layoutSubviews() override {
    if (const auto controller = controller_.lock()) controller->viewWillLayoutSubviews();
  }

 private:
  std::weak_ptr<OVRewardedVideoAdVideoInternal> controller_;
};

std::shared_ptr<OVRewardedVideoAdVideoInternal> OVRewardedVideoAdVideoInternal::initWithPlacementID(
    const std::string& placementID, const std::shared_ptr<OVRewardedVideoAdDataModel>& adData,
    std::int64_t minViewability, const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
    const std::shared_ptr<OVRewardedVideoRewardData>& /*rewardData*/) {
  auto controller = std::make_shared<OVRewardedVideoAdVideoInternal>();
  controller->rewardedVideoDataModel_ = adData;
  controller->isAutoRotateEnabled_ = OVRewardedVideoAdOrientation::isAutoRotateEnabled();

  const auto videoView = OVRewardedVideoAdView::initWithPlacementID(
      placementID, adData, static_cast<std::int32_t>(minViewability), rootViewController);
  const auto view = controller->view();
  if (videoView) {
    videoView->setDelegate(std::weak_ptr<OVRewardedVideoAdViewDelegate>(controller));
    videoView->setFrame(view->bounds());
    view->addSubview(videoView);
    controller->videoView_ = videoView;
  }
  controller->videoLogger_ = OVAdVideoLogger::initWithTargetView(
      view, adData ? adData->inlineClientToken() : std::nullopt, [] { return kTargetVolume; }, true);
  return controller;
}

OVRewardedVideoAdVideoInternal::~OVRewardedVideoAdVideoInternal() {
  if (const auto videoView = videoView_.lock()) {
    videoView->setDelegate({});
  }
}

std::shared_ptr<OVRewardedVideoAdVideoInternal> OVRewardedVideoAdVideoInternal::self() {
  return std::static_pointer_cast<OVRewardedVideoAdVideoInternal>(shared_from_this());
}

bool OVRewardedVideoAdVideoInternal::isAdValid() const {
  const auto videoView = videoView_.lock();
  return videoView && videoView->isAdValid();
}

// ---- Showing ----

bool OVRewardedVideoAdVideoInternal::showAdFromRootViewController(
    const std::shared_ptr<OVAdViewControllerProxy>& rootViewController, bool animated) {
  std::lock_guard lock(showLock_);
  if (!isAdValid()) {
    return false;
  }
  const auto presenter = rootViewController ? rootViewController->currentViewController() : nullptr;
  if (!presenter) {
    OV_LOG(kOVAdLogLevelError, "%s", kNoPresenterMessage);
    return false;
  }
  isStatusBarHidden_ = platform::Application::shared()->isStatusBarHidden();
  OVAdUtility::setApplicationStatusBarHidden(true);
  hidStatusBar_ = true;
  const std::weak_ptr<OVRewardedVideoAdVideoInternal> weakSelf = self();
  const bool presented = presenter->present(self(), animated, [weakSelf] {
    const auto controller = weakSelf.lock();
    if (!controller) return;
    if (const auto videoView = controller->videoView()) videoView->playVideo();
    controller->logImpression();
  });
  if (!presented) {
    // Refused: nothing is on screen, so the host's status bar stays its own.
    restoreStatusBar();
  }
  return presented;
}

void OVRewardedVideoAdVideoInternal::restoreStatusBar() {
  if (!hidStatusBar_) {
    return;
  }
  hidStatusBar_ = false;
  OVAdUtility::setApplicationStatusBarHidden(isStatusBarHidden_);
}

void OVRewardedVideoAdVideoInternal::logImpression() {
  const auto token = rewardedVideoDataModel_ ? rewardedVideoDataModel_->inlineClientToken() : std::nullopt;
  if (token) {
    const auto events = eventManager_ ? eventManager_ : OVAdEventManager::sharedManager();
    events->logImpressionForToken(*token, std::nullopt);
  }
  if (const auto target = delegate()) {
    target->rewardedVideoAdVideoWillLogImpression(self());
  }
}

// ---- Layout and orientation ----

void OVRewardedVideoAdVideoInternal::loadView() {
  setView(std::make_shared<ContentView>(platform::Screen::main()->bounds(), self()));
}

void OVRewardedVideoAdVideoInternal::viewWillLayoutSubviews() {
  const auto videoView = videoView_.lock();
  const auto view = viewIfLoaded();
  if (videoView && view) {
    videoView->setFrame(view->bounds());
  }
}

platform::InterfaceOrientationMask OVRewardedVideoAdVideoInternal::supportedInterfaceOrientations() const {
  return OVRewardedVideoAdOrientation::supportedInterfaceOrientations(isAutoRotateEnabled_);
}

platform::InterfaceOrientation OVRewardedVideoAdVideoInternal::preferredInterfaceOrientationForPresentation() const {
  return OVRewardedVideoAdOrientation::preferredInterfaceOrientationForPresentation(isAutoRotateEnabled_);
}

// ---- Reports of the video view ----

platform::MediaTime OVRewardedVideoAdVideoInternal::currentTime() const {
  const auto videoView = videoView_.lock();
  const auto player = videoView ? videoView->player() : nullptr;
  return player ? player->currentTime() : platform::MediaTime::invalid();
}

void OVRewardedVideoAdVideoInternal::stopObservingVideoView() {
  if (const auto videoView = videoView_.lock()) {
    OVAdNotificationCenter::removeAllObserversForObject(videoView.get());
  }
}

void OVRewardedVideoAdVideoInternal::rewardedVideoViewCached(const std::shared_ptr<OVRewardedVideoAdView>& /*view*/) {
  if (const auto target = delegate()) target->rewardedVideoAdVideoDidLoad(self());
}

void OVRewardedVideoAdVideoInternal::rewardedVideoViewDidLoad(const std::shared_ptr<OVRewardedVideoAdView>& view) {
  if (const auto player = view ? view->player() : nullptr) player->play();
}

void OVRewardedVideoAdVideoInternal::rewardedVideoViewProgress(const std::shared_ptr<OVRewardedVideoAdView>& /*view*/) {
  if (videoLogger_) videoLogger_->registerProgress(currentTime());
}

void OVRewardedVideoAdVideoInternal::rewardedVideoViewDidPause(const std::shared_ptr<OVRewardedVideoAdView>& /*view*/) {
  if (videoLogger_) videoLogger_->registerPause(currentTime());
}

void OVRewardedVideoAdVideoInternal::rewardedVideoViewDidResume(
    const std::shared_ptr<OVRewardedVideoAdView>& /*view*/) {
  if (videoLogger_) videoLogger_->registerResume(currentTime());
}

void OVRewardedVideoAdVideoInternal::rewardedVideoViewDidSkip(const std::shared_ptr<OVRewardedVideoAdView>& /*view*/) {
  if (videoLogger_) videoLogger_->registerSkip(currentTime());
  stopObservingVideoView();
  if (const auto target = delegate()) target->rewardedVideoAdVideoComplete(self());
}

void OVRewardedVideoAdVideoInternal::rewardedVideoView(const std::shared_ptr<OVRewardedVideoAdView>& /*view*/,
                                                       const platform::Error& didFailWithError) {
  const auto target = delegate();
  if (!target) return;
  const auto controller = self();
  target->rewardedVideoAdVideo(controller, didFailWithError);
  target->rewardedVideoAdVideoWillClose(controller);
}

void OVRewardedVideoAdVideoInternal::rewardedVideoViewEnded(const std::shared_ptr<OVRewardedVideoAdView>& /*view*/,
                                                            bool withSuccess, double withTime) {
  if (withSuccess && videoLogger_) {
    videoLogger_->registerComplete(mediaTimeOfSeconds(withTime));
  }
  const auto target = delegate();
  if (!target) return;
  if (withSuccess) {
    target->rewardedVideoAdVideoComplete(self());
  } else {
    target->rewardedVideoAdVideoWillClose(self());
  }
}

void OVRewardedVideoAdVideoInternal::rewardedVideoViewContextSwitch(const std::shared_ptr<OVRewardedVideoAdView>& view) {
  const auto player = view ? view->player() : nullptr;
  const std::string behaviour =
      rewardedVideoDataModel_ ? rewardedVideoDataModel_->contextSwitch().value_or("") : std::string();
  if (behaviour == kOVRewardedVideoContextSwitchResume) {
    if (videoLogger_) videoLogger_->registerResume(currentTime());
    if (player) player->play();
    return;
  }
  if (behaviour == kOVRewardedVideoContextSwitchRestart) {
    if (videoLogger_) videoLogger_->registerSeekStart(currentTime());
    if (player) player->seekToTime(platform::MediaTime::zero());
    // The player's seek has finished when it returns.
    if (videoLogger_) {
      videoLogger_->registerSeekEnd(currentTime());
      videoLogger_->registerResume(currentTime());
    }
    if (player) player->play();
    return;
  }
  stopObservingVideoView();
  if (videoLogger_) videoLogger_->registerSkip(currentTime());
  if (behaviour == kOVRewardedVideoContextSwitchSkip) {
    if (const auto target = delegate()) target->rewardedVideoAdVideoComplete(self());
    return;
  }
  // Any other behaviour ends the ad unrewarded.
  const auto token = rewardedVideoDataModel_ ? rewardedVideoDataModel_->inlineClientToken() : std::nullopt;
  if (token) {
    const auto events = eventManager_ ? eventManager_ : OVAdEventManager::sharedManager();
    events->logCloseEventForToken(*token, std::nullopt);
  }
  if (const auto target = delegate()) target->rewardedVideoAdVideoWillClose(self());
}

}  // namespace plexora
