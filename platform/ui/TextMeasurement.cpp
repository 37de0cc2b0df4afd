#include "platform/ui/TextMeasurement.h"

#include "platform/ui/TextComposition.h"
#include "platform/ui/TextEngine.h"

namespace plexora::platform {

std::vector<std::string> wrapText(std::string_view text, const Font& font, double maxWidth) {
  if (text.empty() || !text::isDrawableFont(font)) return {};
  const auto lock = text::lockTextEngine();
  return text::ComposedText(text::layoutText(text, font), text::TextStyle{font, maxWidth}).allLines();
}

Size measureText(std::string_view text, const Font& font, double maxWidth, int maxLines) {
  if (text.empty() || !text::isDrawableFont(font)) return Size{};
  const auto lock = text::lockTextEngine();
  return text::ComposedText(text::layoutText(text, font), text::TextStyle{font, maxWidth, maxLines}).size();
}

}  // namespace plexora::platform
