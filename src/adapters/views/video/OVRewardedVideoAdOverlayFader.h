// The fade of a full-screen video view's overlay (play/pause button,
// details block, gradient): a toggle shows the views when any is below full
// alpha, else hides them; fades last 0.5 s, a fade-in schedules a fade-out
// 2.0 s after it ends, and no fade starts while another runs.
//
// Thread safety: main thread only; the hide timer runs on the main queue.
// Ownership: the video view owns the fader; the fader holds the pending
// hide timer, and its timer and animation blocks reach it only weakly.
#pragma once

#include <memory>
#include <vector>

#include "platform/ui/View.h"

namespace plexora {

class OVAdTimer;

class OVRewardedVideoAdOverlayFader final : public std::enable_shared_from_this<OVRewardedVideoAdOverlayFader> {
 public:
  using Views = std::vector<std::shared_ptr<platform::View>>;

  static constexpr double kFadeSeconds = 0.5;
  static constexpr double kHideDelaySeconds = 2.0;

  static std::shared_ptr<OVRewardedVideoAdOverlayFader> create() {
    return std::shared_ptr<OVRewardedVideoAdOverlayFader>(new OVRewardedVideoAdOverlayFader());
  }
  ~OVRewardedVideoAdOverlayFader();
  OVRewardedVideoAdOverlayFader(const OVRewardedVideoAdOverlayFader&) = delete;
  OVRewardedVideoAdOverlayFader& operator=(const OVRewardedVideoAdOverlayFader&) = delete;

  // Shows the views when any is below alpha 1.0; otherwise (all shown, or
  // none given) hides them.
  void toggleViews(const Views& views);
  void animateShowViews(const Views& views);
  void animateHideViews(const Views& views);
  void scheduleHideViews(const Views& views);
  // Drops the pending hide.
  void cancelAnimateViews();

  bool isAnimating() const { return animating_; }
  bool hasPendingHide() const;

 private:
  OVRewardedVideoAdOverlayFader() = default;

  bool animating_ = false;
  std::shared_ptr<OVAdTimer> toggleViewsTimer_;
};

}  // namespace plexora
