#include "adapters/views/video/OVInterstitialVideoAdLayout.h"

#include <algorithm>
#include <cmath>

namespace plexora {

namespace {

using platform::Rect;
using platform::Size;

// The thresholds are single-precision figures compared with double ratios.
constexpr double kFallbackAspect = 16.0F / 9.0F;
constexpr double kNearlySquareMinimum = 0.95F;
constexpr double kSquareTolerance = 0.05F;
constexpr double kListFreeSpaceMinimum = 200.0;
constexpr double kNarrowScreenWidth = 480.0;
constexpr double kPortraitContentWidthMaximum = 354.0;
constexpr double kPortraitContentSideMargin = 60.0;
constexpr double kPortraitCallToActionBottom = 30.0;
constexpr double kListDetailsHeightMaximum = 300.0;
constexpr double kBannerTextWidthMaximum = 567.0;
constexpr double kCallToActionPadding = 40.0;
constexpr std::int64_t kOrientationPortrait = 1;

using Layout = OVInterstitialVideoAdLayout;

bool hasDetails(const OVInterstitialVideoAdLayoutInput& input) {
  return input.hasIcon || input.titleFit || input.subtitleFit;
}

Size fitted(const std::function<Size(double)>& fit, double width) { return fit ? fit(width) : Size{}; }

// Fitted to the view and centred.
Rect fittedVideo(Size size, double aspect) {
  const double w = size.width;
  const double h = size.height;
  if (w / h > aspect) return {(w - aspect * h) * 0.5, 0.0, aspect * h, h};
  return {0.0, (h - w / aspect) * 0.5, w, w / aspect};
}

}  // namespace

double OVInterstitialVideoAdLayout::aspectRatio(double naturalAspect) {
  return std::isfinite(naturalAspect) && naturalAspect > 0.0 ? naturalAspect : kFallbackAspect;
}

OVInterstitialVideoAdLayoutKind OVInterstitialVideoAdLayout::choose(Size size, std::int64_t orientation,
                                                                    double aspect) {
  const double w = size.width;
  const double h = size.height;
  if (orientation == kOrientationPortrait) {
    if (aspect >= kNearlySquareMinimum && h - w / aspect >= kListFreeSpaceMinimum) {
      return OVInterstitialVideoAdLayoutKind::PortraitList;
    }
    return w > kNarrowScreenWidth ? OVInterstitialVideoAdLayoutKind::Banner
                                  : OVInterstitialVideoAdLayoutKind::StackedBanner;
  }
  if (std::abs(aspect - 1.0) < kSquareTolerance && w - aspect * h >= kListFreeSpaceMinimum) {
    return OVInterstitialVideoAdLayoutKind::LandscapeList;
  }
  return OVInterstitialVideoAdLayoutKind::Banner;
}

OVInterstitialVideoAdLayoutFrames OVInterstitialVideoAdLayout::layout(const OVInterstitialVideoAdLayoutInput& input) {
  OVInterstitialVideoAdLayoutFrames out;
  out.kind = choose(input.size, input.orientation, input.aspect);
  switch (out.kind) {
    case OVInterstitialVideoAdLayoutKind::PortraitList:
      layoutPortraitList(input, out);
      break;
    case OVInterstitialVideoAdLayoutKind::LandscapeList:
      layoutLandscapeList(input, out);
      break;
    case OVInterstitialVideoAdLayoutKind::Banner:
      layoutBanner(input, out);
      break;
    case OVInterstitialVideoAdLayoutKind::StackedBanner:
      layoutStackedBanner(input, out);
      break;
  }
  out.closeButton = {input.size.width - kCloseButtonSide, 0.0, kCloseButtonSide, kCloseButtonSide};
  return out;
}

std::vector<double> OVInterstitialVideoAdLayout::arrangeVertically(const std::vector<double>& heights,
                                                                   double containerHeight) {
  std::vector<double> origins;
  if (heights.empty()) return origins;
  double total = 0.0;
  for (const double height : heights) total += height;
  const double gap = (containerHeight - total) / static_cast<double>(heights.size() + 1);
  double y = gap;
  for (const double height : heights) {
    origins.push_back(y);
    y += height + gap;
  }
  return origins;
}

void OVInterstitialVideoAdLayout::fillListDetails(const OVInterstitialVideoAdLayoutInput& input, double width,
                                                  double height, OVInterstitialVideoAdLayoutFrames& out) {
  std::vector<std::optional<Rect>*> stack;
  if (input.titleFit) {
    out.title = Rect{0.0, 0.0, width, input.titleFit(width).height};
    out.titleCentered = true;
    stack.push_back(&out.title);
  }
  if (input.hasIcon) {
    out.icon = Rect{width * 0.5 - kIconSide * 0.5, 0.0, kIconSide, kIconSide};
    stack.push_back(&out.icon);
  }
  if (input.subtitleFit) {
    const double subtitleHeight = input.subtitleFit(width).height;
    out.subtitle = Rect{0.0, 0.0, width, subtitleHeight};
    out.subtitleCentered = input.subtitleLineHeight > 0.0 && subtitleHeight / input.subtitleLineHeight < 2.0;
    stack.push_back(&out.subtitle);
  }
  std::vector<double> heights;
  for (const auto* frame : stack) heights.push_back((*frame)->height());
  const auto origins = arrangeVertically(heights, height);
  for (std::size_t i = 0; i < stack.size(); ++i) (*stack[i])->origin.y = origins[i];
}

void OVInterstitialVideoAdLayout::layoutPortraitList(const OVInterstitialVideoAdLayoutInput& input,
                                                     OVInterstitialVideoAdLayoutFrames& out) {
  const double w = input.size.width;
  const double h = input.size.height;
  const double videoHeight = w / input.aspect;
  out.video = {0.0, 0.0, w, videoHeight};
  out.playPause = {(w - kPlayPauseSide) * 0.5, (videoHeight - kPlayPauseSide) * 0.5, kPlayPauseSide, kPlayPauseSide};
  out.progressBar = {0.0, videoHeight, w, kProgressBarHeight};
  const double contentWidth = std::min(kPortraitContentWidthMaximum, w - kPortraitContentSideMargin);
  double free = h - videoHeight - kProgressBarHeight;
  if (input.hasCallToAction) {
    out.callToAction = Rect{(w - contentWidth) * 0.5, h - kCallToActionHeight - kPortraitCallToActionBottom,
                            contentWidth, kCallToActionHeight};
    free -= kCallToActionHeight + kPortraitCallToActionBottom;
  }
  if (!hasDetails(input)) return;
  const double detailsHeight = std::min(kListDetailsHeightMaximum, free);
  out.details = Rect{(w - contentWidth) * 0.5, free * 0.5 - detailsHeight * 0.5 + out.progressBar.maxY(), contentWidth,
                     detailsHeight};
  fillListDetails(input, contentWidth, detailsHeight, out);
}

void OVInterstitialVideoAdLayout::layoutLandscapeList(const OVInterstitialVideoAdLayoutInput& input,
                                                      OVInterstitialVideoAdLayoutFrames& out) {
  const double w = input.size.width;
  const double h = input.size.height;
  double free = h - kCloseButtonSide;
  const double videoWidth = input.aspect * h;
  out.video = {0.0, 0.0, videoWidth, h};
  out.playPause = {(videoWidth - kPlayPauseSide) * 0.5, (h - kPlayPauseSide) * 0.5, kPlayPauseSide, kPlayPauseSide};
  out.progressBar = {0.0, h - kProgressBarHeight, videoWidth, kProgressBarHeight};
  const double sideWidth = w - videoWidth - 2.0 * kMargin;
  if (input.hasCallToAction) {
    out.callToAction = Rect{videoWidth + kMargin, h - kCallToActionHeight - kMargin, sideWidth, kCallToActionHeight};
    free -= kCallToActionHeight + kMargin;
  }
  if (!hasDetails(input)) return;
  const double detailsHeight = std::min(kListDetailsHeightMaximum, free);
  out.details =
      Rect{videoWidth + kMargin, free * 0.5 - detailsHeight * 0.5 + kCloseButtonSide, sideWidth, detailsHeight};
  fillListDetails(input, sideWidth, detailsHeight, out);
}

double OVInterstitialVideoAdLayout::fillBannerDetails(const OVInterstitialVideoAdLayoutInput& input, double textWidth,
                                                      OVInterstitialVideoAdLayoutFrames& out) {
  const double iconColumn = input.hasIcon ? kIconColumnWidth : 0.0;
  const double iconHeight = input.hasIcon ? kIconSide : 0.0;
  const Size title = fitted(input.titleFit, textWidth);
  const Size subtitle = fitted(input.subtitleFit, textWidth);
  const double height = std::max(title.height + subtitle.height, iconHeight);
  if (input.hasIcon) out.icon = Rect{0.0, (height - kIconSide) * 0.5, kIconSide, kIconSide};
  const double margin = (height - title.height - subtitle.height) * 0.5;
  if (input.titleFit) out.title = Rect{iconColumn, margin, title.width, title.height};
  if (input.subtitleFit) {
    out.subtitle = Rect{iconColumn, height - margin - subtitle.height, subtitle.width, subtitle.height};
  }
  return height;
}

void OVInterstitialVideoAdLayout::layoutBanner(const OVInterstitialVideoAdLayoutInput& input,
                                               OVInterstitialVideoAdLayoutFrames& out) {
  const double w = input.size.width;
  const double h = input.size.height;
  out.video = fittedVideo(input.size, input.aspect);
  out.playPause = {w * 0.5 - kPlayPauseSide * 0.5, h * 0.5 - kPlayPauseSide * 0.5, kPlayPauseSide, kPlayPauseSide};
  out.progressBar = {0.0, h - kProgressBarHeight, w, kProgressBarHeight};
  double available = w - 2.0 * kMargin;
  if (input.hasCallToAction) {
    const double width = input.callToActionFittingWidth + kCallToActionPadding;
    out.callToAction =
        Rect{w - kMargin - width, h - kProgressBarHeight - kMargin - kCallToActionHeight, width, kCallToActionHeight};
    available -= width + kMargin;
  }
  if (!hasDetails(input)) return;
  const double iconColumn = input.hasIcon ? kIconColumnWidth : 0.0;
  const double textWidth = std::min(kBannerTextWidthMaximum, available - iconColumn);
  const double height = fillBannerDetails(input, textWidth, out);
  out.details = Rect{kMargin, h - kProgressBarHeight - height - kMargin, available, height};
  const double gradientHeight = height + kProgressBarHeight + 2.0 * kMargin;
  out.gradient = Rect{0.0, h - gradientHeight, w, gradientHeight};
}

void OVInterstitialVideoAdLayout::layoutStackedBanner(const OVInterstitialVideoAdLayoutInput& input,
                                                      OVInterstitialVideoAdLayoutFrames& out) {
  const double w = input.size.width;
  const double h = input.size.height;
  const double aspect = input.aspect;
  out.video = w / h > aspect ? Rect{(w - aspect * h) * 0.5, 0.0, aspect * h, h} : Rect{0.0, 0.0, w, w / aspect};
  out.playPause = {out.video.origin.x + (out.video.width() - kPlayPauseSide) * 0.5,
                   (out.video.height() - kPlayPauseSide) * 0.5, kPlayPauseSide, kPlayPauseSide};
  out.progressBar = {0.0, h - kProgressBarHeight, w, kProgressBarHeight};
  double callToActionSpace = 0.0;
  if (input.hasCallToAction) {
    out.callToAction =
        Rect{kMargin, h - kProgressBarHeight - kCallToActionHeight - kMargin, w - 2.0 * kMargin, kCallToActionHeight};
    callToActionSpace = kCallToActionHeight + kMargin;
  }
  if (!hasDetails(input)) return;
  const double available = w - 2.0 * kMargin;
  const double textWidth = available - (input.hasIcon ? kIconColumnWidth : 0.0);
  const double height = fillBannerDetails(input, textWidth, out);
  out.details = Rect{kMargin, h - kProgressBarHeight - callToActionSpace - height - kMargin, available, height};
  const double gradientHeight = height + callToActionSpace + kProgressBarHeight + 2.0 * kMargin;
  out.gradient = Rect{0.0, h - gradientHeight, w, gradientHeight};
}

}  // namespace plexora
