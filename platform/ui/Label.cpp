#include "platform/ui/Label.h"

#include "platform/ui/TextMeasurement.h"

namespace plexora::platform {

Label::Label() : Label(Rect::zero()) {}

Label::Label(Rect frame) : View(frame) { setUserInteractionEnabled(false); }

Size Label::sizeThatFits(Size size) const { return measureText(text_, font_, size.width, numberOfLines_); }

Size Label::intrinsicContentSize() const { return measureText(text_, font_, 0.0, numberOfLines_); }

}  // namespace plexora::platform
