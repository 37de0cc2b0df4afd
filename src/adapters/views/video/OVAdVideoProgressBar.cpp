#include "adapters/views/video/OVAdVideoProgressBar.h"

#include "adapters/views/video/OVAdVideoControlDrawing.h"

namespace plexora {

std::shared_ptr<OVAdVideoProgressBar> OVAdVideoProgressBar::init() {
  auto bar = std::make_shared<OVAdVideoProgressBar>(platform::Rect());
  bar->setProgressView(std::make_shared<platform::View>(platform::Rect()));
  return bar;
}

void OVAdVideoProgressBar::setProgressView(std::shared_ptr<platform::View> progressView) {
  if (progressView_) progressView_->removeFromSuperview();
  progressView_ = std::move(progressView);
  if (progressView_) addSubview(progressView_);
}

std::optional<platform::Color> OVAdVideoProgressBar::progressColor() const {
  return progressView_ ? progressView_->backgroundColor() : std::nullopt;
}

void OVAdVideoProgressBar::setProgressColor(std::optional<platform::Color> color) {
  if (progressView_) progressView_->setBackgroundColor(color);
}

void OVAdVideoProgressBar::setCurrentTime(const platform::MediaTime& time) {
  currentTime_ = time;
  setNeedsLayout();
}

double OVAdVideoProgressBar::progressRatio() const {
  if (!currentTime_.isValid() || !duration_.isValid()) return 0.0;
  return videocontrols::clampedRatio(currentTime_.seconds(), duration_.seconds());
}

void OVAdVideoProgressBar::layoutSubviews() {
  if (!progressView_) return;
  const platform::Rect area = bounds();
  progressView_->setFrame({area.minX(), area.minY(), progressRatio() * area.width(), area.height()});
}

}  // namespace plexora
