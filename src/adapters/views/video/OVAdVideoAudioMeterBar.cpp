#include "adapters/views/video/OVAdVideoAudioMeterBar.h"

#include <algorithm>
#include <cmath>

#include "platform/dispatch/Clock.h"
#include "platform/ui/GraphicsContext.h"

namespace plexora {

namespace {

constexpr platform::Color kBarColor = platform::Color::grey(1.0, 0.6F);

}  // namespace

double OVAdAudioMeterAnimation::valueAt(double time) const {
  if (values.empty()) return 1.0;
  if (values.size() == 1 || !(duration > 0.0)) return values.front();
  // Forwards over one duration, backwards over the next.
  double phase = std::fmod(std::max(time - beginTime, 0.0), 2.0 * duration);
  if (!std::isfinite(phase)) phase = 0.0;
  if (phase > duration) phase = 2.0 * duration - phase;
  const double position = phase / duration * static_cast<double>(values.size() - 1);
  const auto index = std::min(static_cast<std::size_t>(position), values.size() - 2);
  const double fraction = position - static_cast<double>(index);
  return values[index] + (values[index + 1] - values[index]) * fraction;
}

double OVAdVideoAudioMeterBar::currentScale() const {
  return animation_ ? animation_->valueAt(platform::Clock::current()->monotonicTime()) : 1.0;
}

void OVAdVideoAudioMeterBar::draw(platform::GraphicsContext& context, platform::Rect) const {
  // Scaled about the middle of the bottom edge.
  const platform::Rect area = bounds();
  const double height = area.height() * std::clamp(currentScale(), 0.0, 1.0);
  context.setFillColor(kBarColor);
  context.fillRect({area.minX(), area.maxY() - height, area.width(), height});
}

}  // namespace plexora
