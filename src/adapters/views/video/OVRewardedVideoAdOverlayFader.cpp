#include "adapters/views/video/OVRewardedVideoAdOverlayFader.h"

#include <algorithm>

#include "util/OVAdTimer.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr double kFullAlpha = 1.0;

}  // namespace

OVRewardedVideoAdOverlayFader::~OVRewardedVideoAdOverlayFader() { cancelAnimateViews(); }

void OVRewardedVideoAdOverlayFader::toggleViews(const Views& views) {
  const bool anyHidden =
      std::any_of(views.begin(), views.end(), [](const auto& view) { return view && view->alpha() < kFullAlpha; });
  if (anyHidden) {
    animateShowViews(views);
  } else {
    animateHideViews(views);
  }
}

void OVRewardedVideoAdOverlayFader::animateShowViews(const Views& views) {
  if (animating_ || views.empty()) return;
  cancelAnimateViews();
  animating_ = true;
  const std::weak_ptr<OVRewardedVideoAdOverlayFader> weakSelf = shared_from_this();
  OVAdUtility::animateWithFadeIn(views, kFadeSeconds, [weakSelf, views](bool) {
    const auto self = weakSelf.lock();
    if (!self) return;
    self->animating_ = false;
    self->scheduleHideViews(views);
  });
}

void OVRewardedVideoAdOverlayFader::animateHideViews(const Views& views) {
  if (animating_ || views.empty()) return;
  cancelAnimateViews();
  animating_ = true;
  const std::weak_ptr<OVRewardedVideoAdOverlayFader> weakSelf = shared_from_this();
  OVAdUtility::animateWithFadeOut(views, kFadeSeconds, [weakSelf](bool) {
    if (const auto self = weakSelf.lock()) self->animating_ = false;
  });
}

void OVRewardedVideoAdOverlayFader::scheduleHideViews(const Views& views) {
  cancelAnimateViews();
  const std::weak_ptr<OVRewardedVideoAdOverlayFader> weakSelf = shared_from_this();
  // The views are held weakly: a view taken down meanwhile is not kept for
  // a fade nobody sees.
  std::vector<std::weak_ptr<platform::View>> weakViews(views.begin(), views.end());
  toggleViewsTimer_ = OVAdTimer::scheduledTimerWithTimeInterval(
      kHideDelaySeconds, false, [weakSelf, weakViews](const std::shared_ptr<OVAdTimer>&) {
        const auto self = weakSelf.lock();
        if (!self) return;
        Views alive;
        for (const auto& weakView : weakViews) {
          if (auto view = weakView.lock()) alive.push_back(std::move(view));
        }
        self->animateHideViews(alive);
      });
}

void OVRewardedVideoAdOverlayFader::cancelAnimateViews() {
  if (toggleViewsTimer_) toggleViewsTimer_->invalidate();
  toggleViewsTimer_.reset();
}

bool OVRewardedVideoAdOverlayFader::hasPendingHide() const { return toggleViewsTimer_ && toggleViewsTimer_->isValid(); }

}  // namespace plexora
