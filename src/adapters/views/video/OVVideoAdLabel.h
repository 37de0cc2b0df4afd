// The caption of the video ads: light grey 15-point text, centred and
// wrapped over as many lines as it needs, on a translucent black ground.
// The in-stream countdown and the titles of the rewarded and interstitial
// video views use it. Like any label it takes no touches.
//
// Thread safety: main thread only.
// Ownership: the video view that shows it owns it.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/Label.h"

namespace plexora {

class OVVideoAdLabel : public platform::Label {
 public:
  static constexpr double kFontSize = 15.0;
  // The height initWithText fits the text within.
  static constexpr double kFittingHeight = 30.0;

  // The text, sized at the origin to what it needs within half the main
  // screen's width.
  static std::shared_ptr<OVVideoAdLabel> initWithText(const std::string& text);

  // A zero frame; the defaults applied.
  OVVideoAdLabel();
  explicit OVVideoAdLabel(platform::Rect frame);

  void setDefaults();
};

}  // namespace plexora
