// Where the video interstitial's elements go: one of four layouts, chosen
// on every layout pass from the screen's orientation, the view's size and
// the video's aspect ratio. The two list layouts give the ad details a
// column (landscape, nearly square video) or a band (portrait, video at
// least nearly square) of their own when at least 200 points are free
// beside or below the video; the two banner layouts lay the details over
// the video's lower edge, stacked above a full-width call to action on
// narrow portrait screens.
//
// The calculation is kept apart from the views so that each geometry can
// be checked on its own; the content view applies the frames.
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "platform/ui/Geometry.h"

namespace plexora {

enum class OVInterstitialVideoAdLayoutKind { LandscapeList, PortraitList, Banner, StackedBanner };

struct OVInterstitialVideoAdLayoutInput {
  // The view's bounds size.
  platform::Size size;
  // The screen's interface orientation (1 portrait, 2 upside down, 3 and 4
  // landscape).
  std::int64_t orientation = 1;
  // The video's width over its height, as OVInterstitialVideoAdLayout::
  // aspectRatio() made it usable.
  double aspect = 16.0 / 9.0;
  bool hasCallToAction = false;
  // The call to action's own width (its text's).
  double callToActionFittingWidth = 0.0;
  bool hasIcon = false;
  // The title's and the subtitle's size fitted to a width; empty when the
  // element is absent.
  std::function<platform::Size(double width)> titleFit;
  std::function<platform::Size(double width)> subtitleFit;
  // The subtitle's line height, to tell one line from several.
  double subtitleLineHeight = 0.0;
};

struct OVInterstitialVideoAdLayoutFrames {
  OVInterstitialVideoAdLayoutKind kind = OVInterstitialVideoAdLayoutKind::Banner;
  platform::Rect video;  // the poster takes the same frame
  platform::Rect playPause;
  platform::Rect progressBar;
  // Absent elements have no frame.
  std::optional<platform::Rect> callToAction;
  std::optional<platform::Rect> gradient;  // none: hidden
  std::optional<platform::Rect> details;
  // Inside the details block.
  std::optional<platform::Rect> icon;
  std::optional<platform::Rect> title;
  std::optional<platform::Rect> subtitle;
  bool titleCentered = false;
  bool subtitleCentered = false;
  platform::Rect closeButton;

  // The list layouts keep their details on screen in the ad's own colours.
  bool isList() const {
    return kind == OVInterstitialVideoAdLayoutKind::LandscapeList ||
           kind == OVInterstitialVideoAdLayoutKind::PortraitList;
  }
};

class OVInterstitialVideoAdLayout final {
 public:
  static constexpr double kPlayPauseSide = 70.0;
  static constexpr double kProgressBarHeight = 5.0;
  static constexpr double kCallToActionHeight = 50.0;
  static constexpr double kCloseButtonSide = 43.0;
  static constexpr double kIconSide = 64.0;
  static constexpr double kIconColumnWidth = 76.0;
  static constexpr double kMargin = 12.0;

  OVInterstitialVideoAdLayout() = delete;

  // The video's own ratio, or 16:9 when it has none to give (no size yet,
  // a zero side, not a number): the layouts divide by it.
  static double aspectRatio(double naturalAspect);

  static OVInterstitialVideoAdLayoutKind choose(platform::Size size, std::int64_t orientation, double aspect);
  static OVInterstitialVideoAdLayoutFrames layout(const OVInterstitialVideoAdLayoutInput& input);

  // The y origins that spread views of these heights over a container of
  // `containerHeight` with equal gaps above, between and below them.
  static std::vector<double> arrangeVertically(const std::vector<double>& heights, double containerHeight);

 private:
  static void layoutPortraitList(const OVInterstitialVideoAdLayoutInput& input, OVInterstitialVideoAdLayoutFrames& out);
  static void layoutLandscapeList(const OVInterstitialVideoAdLayoutInput& input,
                                  OVInterstitialVideoAdLayoutFrames& out);
  static void layoutBanner(const OVInterstitialVideoAdLayoutInput& input, OVInterstitialVideoAdLayoutFrames& out);
  static void layoutStackedBanner(const OVInterstitialVideoAdLayoutInput& input,
                                  OVInterstitialVideoAdLayoutFrames& out);
  // Title, icon and subtitle stacked and spread over a list's details
  // block of the given width and height.
  static void fillListDetails(const OVInterstitialVideoAdLayoutInput& input, double width, double height,
                              OVInterstitialVideoAdLayoutFrames& out);
  // Icon left, title over subtitle beside it, in a banner's block; answers
  // the block's height.
  static double fillBannerDetails(const OVInterstitialVideoAdLayoutInput& input, double textWidth,
                                  OVInterstitialVideoAdLayoutFrames& out);
};

}  // namespace plexora
