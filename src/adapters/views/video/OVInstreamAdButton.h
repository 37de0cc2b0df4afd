// The look shared by the text buttons over an in-stream video ("Learn More"
// and the skip button): light grey 15-point text, centred on one clipped
// line, on a translucent black ground. It is a label that takes touches, so
// the tap recognisers its owner attaches reach it; it has no behaviour of
// its own.
//
// Thread safety: main thread only.
// Ownership: the video view that shows it owns it.
#pragma once

#include "platform/ui/Label.h"

namespace plexora {

class OVInstreamAdButton : public platform::Label {
 public:
  static constexpr double kFontSize = 15.0;
  static constexpr double kHeight = 30.0;
  // Added to the text's width.
  static constexpr double kHorizontalPadding = 20.0;

  // A zero frame; the defaults applied.
  OVInstreamAdButton();
  explicit OVInstreamAdButton(platform::Rect frame);

  void setDefaults();
  // Keeps the origin; the width becomes the text's width in the label's
  // font plus kHorizontalPadding, the height kHeight.
  void sizeToFitText();
};

}  // namespace plexora
