#include "adapters/views/video/OVAdVideoScrubber.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/Screen.h"
#include "util/OVAdInlineHelpers.h"

namespace plexora {

namespace {

constexpr platform::Color kTrackMaxColor = platform::Color::grey(1.0 / 3.0, 1.0);
constexpr double kTrackMaxAlpha = 0.35;
constexpr double kTrackLoadingAlpha = 0.35;
constexpr double kTrackMinAlpha = 1.0;

}  // namespace

std::shared_ptr<OVAdVideoScrubber> OVAdVideoScrubber::initWithFrame(platform::Rect frame) {
  auto scrubber = std::make_shared<OVAdVideoScrubber>(frame);
  scrubber->build();
  return scrubber;
}

std::shared_ptr<platform::Image> OVAdVideoScrubber::imageWithColor(platform::Color color, platform::Size size) {
  return platform::Image::create(static_cast<std::uint32_t>(size.width), static_cast<std::uint32_t>(size.height), 1.0,
                                 color);
}

std::shared_ptr<platform::ImageView> OVAdVideoScrubber::makeBar(platform::Color color, double alpha) {
  // One pixel stretched to any size.
  auto bar = std::make_shared<platform::ImageView>(imageWithColor(color, {1, 1}));
  bar->setContentMode(platform::ContentMode::ScaleToFill);
  bar->setAlpha(alpha);
  return bar;
}

OVAdVideoScrubber::OVAdVideoScrubber(platform::Rect frame)
    : platform::Slider(frame),
      trackView_(std::make_shared<platform::View>()),
      trackMinView_(makeBar(platform::Color::white(), kTrackMinAlpha)),
      trackLoadingView_(makeBar(platform::Color::white(), kTrackLoadingAlpha)),
      trackMaxView_(makeBar(kTrackMaxColor, kTrackMaxAlpha)) {}

void OVAdVideoScrubber::build() {
  // The slider's own track is not drawn; the thumb keeps its size for
  // tracking but shows in neither state (the highlighted state falls back
  // to the transparent one).
  setMinimumTrackImage(nullptr, platform::kControlStateNormal);
  setMaximumTrackImage(nullptr, platform::kControlStateNormal);
  setThumbImage(imageWithColor(platform::Color::clear(), {kThumbSize, kThumbSize}), platform::kControlStateNormal);
  setThumbImage(nullptr, platform::kControlStateHighlighted);
  setClipsToBounds(false);

  trackView_->setUserInteractionEnabled(false);
  addSubview(trackView_);
  // Elapsed over playable over the whole track.
  trackView_->addSubview(trackMaxView_);
  trackView_->addSubview(trackLoadingView_);
  trackView_->addSubview(trackMinView_);

  addAction(platform::kControlEventTouchDown, [](platform::Control& sender, const platform::Event*) {
    static_cast<OVAdVideoScrubber&>(sender).resize(kScrubberHeightWhileScrubbing,
                                                   static_cast<OVAdVideoScrubber&>(sender).trackInsetWhileScrubbing_);
  });
  addAction(
      platform::kControlEventTouchUpInside | platform::kControlEventTouchUpOutside | platform::kControlEventTouchCancel,
      [](platform::Control& sender, const platform::Event*) {
        static_cast<OVAdVideoScrubber&>(sender).resize(kScrubberHeight, 0.0);
      });
}

void OVAdVideoScrubber::resize(double height, double inset) {
  currentScrubberHeight_ = height;
  currentInset_ = inset;
  setNeedsLayout();
  animate(kAnimationSeconds, [this] { layoutIfNeeded(); });
}

bool OVAdVideoScrubber::beginTracking(const platform::Touch&, const platform::Event&) { return true; }

double OVAdVideoScrubber::widthFor(double amount, double width) const {
  const double maximum = maximumValue();
  if (!(maximum > 0) || !std::isfinite(amount) || !std::isfinite(width) || width <= 0) return 0.0;
  const double ratio = std::clamp(amount / maximum, 0.0, 1.0);
  const auto screen = platform::Screen::main();
  const double scale = screen ? screen->scale() : 1.0;
  const double rounded = OVAdRoundToScreenPixel(ratio * width, scale > 0 ? scale : 1.0);
  return std::isfinite(rounded) ? std::clamp(rounded, 0.0, width) : 0.0;
}

void OVAdVideoScrubber::layoutSubviews() {
  platform::Slider::layoutSubviews();
  sendSubviewToBack(trackView_);
  const platform::Rect area = bounds();
  const double height = currentScrubberHeight_;
  const double width = std::max(0.0, area.size.width - 2 * currentInset_);
  trackView_->setFrame(platform::Rect(
      area.origin.x + currentInset_, area.origin.y + area.size.height - hitAreaBelowScrubber_ - height, width, height));
  trackMinView_->setFrame(platform::Rect(0, 0, widthFor(value(), width), height));
  trackMaxView_->setFrame(platform::Rect(0, 0, width, height));
  updateTrackLoadingViewFrame();
}

void OVAdVideoScrubber::updateTrackLoadingViewFrame() {
  trackLoadingView_->setFrame(
      platform::Rect(0, 0, widthFor(playableDuration_, trackView_->bounds().size.width), currentScrubberHeight_));
}

void OVAdVideoScrubber::setPlayableDuration(double playableDuration, bool animated) {
  if (playableDuration == playableDuration_) return;
  playableDuration_ = playableDuration;
  animate(animated ? kAnimationSeconds : 0.0, [this] { updateTrackLoadingViewFrame(); });
}

}  // namespace plexora
