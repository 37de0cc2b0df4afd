// A button: a control with a title, a title colour and an image for each
// control state. A state without its own value shows the normal state's.
// The title is shown by titleLabel(), a label subview covering the button,
// made on first use and kept up to date as the state changes.
//
// A tap (TouchUpInside) is the button's action: sendTap() sends it as if
// the user had tapped, for hosts and tests that do not simulate touches.
//
// Thread safety: main thread only.
// Ownership: the button shares its images. Titles and images can only be
// set once a shared_ptr owns the button (the title label is a subview).
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/Export.h"
#include "platform/ui/Control.h"
#include "platform/ui/Label.h"

namespace plexora::platform {

class Image;

class PLEXORA_EXPORT Button : public Control {
 public:
  static constexpr double kDefaultTitleFontSize = 15.0;

  using Control::Control;

  void setTitle(std::optional<std::string> title, ControlState state);
  std::optional<std::string> title(ControlState state) const;
  std::optional<std::string> currentTitle() const { return title(state()); }

  void setTitleColor(std::optional<Color> color, ControlState state);
  Color titleColor(ControlState state) const;

  void setImage(std::shared_ptr<Image> image, ControlState state);
  std::shared_ptr<Image> image(ControlState state) const;
  std::shared_ptr<Image> currentImage() const { return image(state()); }

  std::shared_ptr<Label> titleLabel();

  // Sends TouchUpInside with no event.
  void sendTap() { sendActionsForControlEvents(kControlEventTouchUpInside); }

  // The image and the title side by side (the title on one unlimited line).
  Size sizeThatFits(Size size) const override;
  Size intrinsicContentSize() const override { return sizeThatFits(Size{}); }

 protected:
  void stateDidChange() override;

 private:
  void refreshTitleLabel();

  std::map<ControlState, std::string> titles_;
  std::map<ControlState, Color> titleColors_;
  std::map<ControlState, std::shared_ptr<Image>> images_;
  std::shared_ptr<Label> titleLabel_;
};

}  // namespace plexora::platform
