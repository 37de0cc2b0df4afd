#include "plexora/OVNativeAdViewAttributes.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <string_view>

#include "util/OVAdDictionary.h"

namespace plexora {

namespace {

// The typefaces the headless UI draws and measures; another name gives no
// font, and the template keeps the one it has.
constexpr std::array<std::string_view, 5> kKnownTypefaces = {
    platform::Font::kSystemFontName, "Helvetica", "Helvetica-Bold", "Helvetica-Oblique", "Helvetica-BoldOblique",
};

constexpr std::string_view kBoldMarker = "Bold";

constexpr std::int64_t kFirstTemplateType = 1;
constexpr std::int64_t kLastTemplateType = 4;

// The template defaults' call-to-action green, as single-precision values.
constexpr platform::Color kDefaultButtonColor = {static_cast<double>(0.478f), static_cast<double>(0.745f),
                                                 static_cast<double>(0.075f), 1.0};
constexpr platform::Color kDefaultDescriptionColor = {0.5, 0.5, 0.5, 1.0};
constexpr double kDefaultButtonBorderRadius = 2.5;
constexpr double kDefaultIconBorderRadius = 7.5;

std::optional<platform::Font> fontNamed(const std::string& name, double size) {
  if (std::find(kKnownTypefaces.begin(), kKnownTypefaces.end(), name) == kKnownTypefaces.end()) {
    return std::nullopt;
  }
  return platform::Font{name, size, name.find(kBoldMarker) != std::string::npos};
}

bool isHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// The hexadecimal number at the start of `text` (after white space and an
// optional "0x"); the largest 32-bit value when it overflows, 0 when there
// is none.
std::uint32_t scanHex(std::string_view text) {
  std::size_t position = 0;
  while (position < text.size() && std::isspace(static_cast<unsigned char>(text[position])) != 0) ++position;
  if (text.size() - position > 2 && text[position] == '0' && (text[position + 1] == 'x' || text[position + 1] == 'X') &&
      isHexDigit(text[position + 2])) {
    position += 2;
  }
  std::uint64_t value = 0;
  for (; position < text.size() && isHexDigit(text[position]); ++position) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[position])));
    value = value * 16 + static_cast<std::uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
    if (value > UINT32_MAX) return UINT32_MAX;
  }
  return static_cast<std::uint32_t>(value);
}

std::optional<platform::Color> colorForKey(const platform::Value& dictionary, const char* key) {
  return OVNativeAdViewAttributes::colorFromHexString(stringForKeyOrNil(dictionary, key));
}

// A transparent switch clears the colour; otherwise the colour of its key.
std::optional<platform::Color> colorUnlessTransparent(const platform::Value& dictionary, const char* transparentKey,
                                                      const char* colorKey) {
  if (boolForKey(dictionary, transparentKey, false)) return platform::Color::clear();
  return colorForKey(dictionary, colorKey);
}

}  // namespace

std::shared_ptr<OVNativeAdViewAttributes> OVNativeAdViewAttributes::init() {
  return initWithDictionary(platform::Dictionary{});
}

std::shared_ptr<OVNativeAdViewAttributes> OVNativeAdViewAttributes::initWithDictionary(
    const platform::Value& dictionary) {
  auto attributes = std::make_shared<OVNativeAdViewAttributes>();
  const std::string boldTypeface =
      stringForKey(dictionary, kOVNativeAdAttributesBoldTypefaceKey, kOVNativeAdDefaultBoldTypeface);
  const std::string typeface = stringForKey(dictionary, kOVNativeAdAttributesTypefaceKey, kOVNativeAdDefaultTypeface);
  attributes->backgroundColor = colorUnlessTransparent(dictionary, kOVNativeAdAttributesBackgroundTransparentKey,
                                                       kOVNativeAdAttributesBackgroundColorKey);
  attributes->titleColor = colorForKey(dictionary, kOVNativeAdAttributesTitleTextColorKey);
  attributes->titleFont = fontNamed(boldTypeface, kOVNativeAdSystemFontSize);
  attributes->descriptionColor = colorForKey(dictionary, kOVNativeAdAttributesDescriptionTextColorKey);
  attributes->descriptionFont = fontNamed(typeface, kOVNativeAdDescriptionFontSize);
  attributes->buttonColor = colorUnlessTransparent(dictionary, kOVNativeAdAttributesButtonTransparentKey,
                                                   kOVNativeAdAttributesButtonColorKey);
  attributes->buttonTitleColor = colorForKey(dictionary, kOVNativeAdAttributesButtonTextColorKey);
  attributes->buttonTitleFont = fontNamed(boldTypeface, kOVNativeAdSmallSystemFontSize);
  attributes->buttonBorderColor = colorUnlessTransparent(dictionary, kOVNativeAdAttributesButtonBorderTransparentKey,
                                                         kOVNativeAdAttributesButtonBorderColorKey);
  attributes->adChoicesBackgroundColor = colorForKey(dictionary, kOVNativeAdAttributesAdChoicesBackgroundColorKey);
  attributes->adChoicesTitleColor = colorForKey(dictionary, kOVNativeAdAttributesAdChoicesTitleColorKey);
  attributes->adChoicesIsHidden = boolForKey(dictionary, kOVNativeAdAttributesAdChoicesIsHiddenKey, false);
  return attributes;
}

std::shared_ptr<OVNativeAdViewAttributes> OVNativeAdViewAttributes::defaultAttributesForType(std::int64_t type) {
  if (type < kFirstTemplateType || type > kLastTemplateType) return nullptr;
  auto attributes = std::make_shared<OVNativeAdViewAttributes>();
  attributes->backgroundColor = platform::Color::white();
  attributes->titleColor = platform::Color::black();
  attributes->titleFont = platform::Font::boldSystemFont(kOVNativeAdSystemFontSize);
  attributes->descriptionColor = kDefaultDescriptionColor;
  attributes->descriptionFont = platform::Font::systemFont(kOVNativeAdSmallSystemFontSize);
  attributes->buttonColor = kDefaultButtonColor;
  attributes->buttonTitleColor = platform::Color::white();
  attributes->buttonTitleFont = platform::Font::boldSystemFont(kOVNativeAdSmallSystemFontSize);
  attributes->buttonBorderRadius = kDefaultButtonBorderRadius;
  attributes->iconBorderRadius = kDefaultIconBorderRadius;
  attributes->ratingEnabled = false;
  attributes->autoplayEnabled = true;
  attributes->shouldClip = true;
  return attributes;
}

std::shared_ptr<OVNativeAdViewAttributes> OVNativeAdViewAttributes::internalAttributesForType(std::int64_t type) {
  return internalAttributesForAttributes(defaultAttributesForType(type));
}

std::shared_ptr<OVNativeAdViewAttributes> OVNativeAdViewAttributes::internalAttributesForAttributes(
    const std::shared_ptr<OVNativeAdViewAttributes>& attributes) {
  if (attributes) {
    attributes->bypassAdLoad = true;
    attributes->skipRegistration = true;
  }
  return attributes;
}

std::optional<platform::Color> OVNativeAdViewAttributes::colorFromHexString(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  const std::uint32_t rgb = text->empty() ? 0 : scanHex(std::string_view(*text).substr(1));
  constexpr double kComponentMaximum = 255.0;
  return platform::Color{static_cast<double>((rgb >> 16) & 0xFF) / kComponentMaximum,
                         static_cast<double>((rgb >> 8) & 0xFF) / kComponentMaximum,
                         static_cast<double>(rgb & 0xFF) / kComponentMaximum, 1.0};
}

}  // namespace plexora
