// The thin bar under a video that fills from the left as it plays: a
// progress view as wide as the played part of the bar. A bar without a
// valid, positive duration shows nothing played; a position past the end
// shows the whole bar. A new position asks for a layout; a new duration is
// shown at the next one.
//
// Thread safety: main thread only.
// Ownership: the video view that shows it owns it; the bar owns its
// progress view.
#pragma once

#include <memory>

#include "platform/media/MediaTime.h"
#include "platform/ui/View.h"

namespace plexora {

class OVAdVideoProgressBar final : public platform::View {
 public:
  // A zero frame, a zero position, no duration and an empty progress view.
  static std::shared_ptr<OVAdVideoProgressBar> init();
  using platform::View::View;

  void layoutSubviews() override;

  // The progress view's background colour; none until set.
  std::optional<platform::Color> progressColor() const;
  void setProgressColor(std::optional<platform::Color> color);
  const platform::MediaTime& currentTime() const { return currentTime_; }
  void setCurrentTime(const platform::MediaTime& time);
  const platform::MediaTime& duration() const { return duration_; }
  void setDuration(const platform::MediaTime& duration) { duration_ = duration; }
  const std::shared_ptr<platform::View>& progressView() const { return progressView_; }
  void setProgressView(std::shared_ptr<platform::View> progressView);
  // The played fraction of the bar, 0 to 1.
  double progressRatio() const;

 private:
  std::shared_ptr<platform::View> progressView_;
  platform::MediaTime currentTime_ = platform::MediaTime::zero();
  platform::MediaTime duration_;
};

}  // namespace plexora
