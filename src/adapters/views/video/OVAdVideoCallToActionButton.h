// The call-to-action text button of the fullscreen video: white 13-point
// text on a faint dark ground with a rounded, half-white border, exactly as
// wide as its text (measured in the title label's font of the moment) and
// 28 points high.
//
// Thread safety: main thread only.
// Ownership: the fullscreen controller's view owns it.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/Button.h"

namespace plexora {

class OVAdVideoCallToActionButton final : public platform::Button {
 public:
  static constexpr double kHeight = 28.0;
  static constexpr double kFontSize = 13.0;
  static constexpr double kCornerRadius = 5.0;

  // The text as the normal-state title, the size fitted to it, then the
  // defaults (so the width is measured before the 13-point font is set).
  static std::shared_ptr<OVAdVideoCallToActionButton> initWithText(const std::string& text);
  // An empty title.
  static std::shared_ptr<OVAdVideoCallToActionButton> init() { return initWithText(""); }
  using platform::Button::Button;

  void setDefaults();
  // Keeps the origin; the width becomes the title's measured width, the
  // height kHeight.
  void sizeToFitText();
};

}  // namespace plexora
