// The style of the native-ad templates and of the ad-choices badge: colours,
// fonts, corner radii and switches. It comes from a template type's
// defaults, from the server's "native_ui_config" of an ad (which wins over
// the host's), or from the host, which may build and pass its own.
//
// A field that is not set leaves the view property it styles unchanged.
//
// Thread safety: main thread only.
// Ownership: shared; copy() gives an independent record.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/Export.h"
#include "platform/ui/Color.h"
#include "platform/ui/Font.h"
#include "platform/value/Value.h"

namespace plexora {

// The text sizes of the system's standard and small fonts.
inline constexpr double kOVNativeAdSystemFontSize = 14.0;
inline constexpr double kOVNativeAdSmallSystemFontSize = 12.0;
inline constexpr double kOVNativeAdDescriptionFontSize = 9.0;

inline constexpr const char* kOVNativeAdDefaultBoldTypeface = "Helvetica-Bold";
inline constexpr const char* kOVNativeAdDefaultTypeface = "Helvetica";

// Keys of the server's "native_ui_config".
inline constexpr const char* kOVNativeAdAttributesBoldTypefaceKey = "ios_bold_typeface";
inline constexpr const char* kOVNativeAdAttributesTypefaceKey = "ios_typeface";
inline constexpr const char* kOVNativeAdAttributesBackgroundTransparentKey = "background_transparent";
inline constexpr const char* kOVNativeAdAttributesBackgroundColorKey = "background_color";
inline constexpr const char* kOVNativeAdAttributesTitleTextColorKey = "title_text_color";
inline constexpr const char* kOVNativeAdAttributesDescriptionTextColorKey = "description_text_color";
inline constexpr const char* kOVNativeAdAttributesButtonTransparentKey = "button_transparent";
inline constexpr const char* kOVNativeAdAttributesButtonColorKey = "button_color";
inline constexpr const char* kOVNativeAdAttributesButtonTextColorKey = "button_text_color";
inline constexpr const char* kOVNativeAdAttributesButtonBorderTransparentKey = "button_border_transparent";
inline constexpr const char* kOVNativeAdAttributesButtonBorderColorKey = "button_border_color";
inline constexpr const char* kOVNativeAdAttributesAdChoicesBackgroundColorKey = "adchoices_background_color";
inline constexpr const char* kOVNativeAdAttributesAdChoicesTitleColorKey = "adchoices_title_color";
inline constexpr const char* kOVNativeAdAttributesAdChoicesIsHiddenKey = "adchoices_is_hidden";

class PLEXORA_EXPORT OVNativeAdViewAttributes final {
 public:
  // The attributes of an empty dictionary: the default typefaces and no
  // colours.
  static std::shared_ptr<OVNativeAdViewAttributes> init();
  // Reads the server's keys; a value of the wrong kind counts as absent.
  static std::shared_ptr<OVNativeAdViewAttributes> initWithDictionary(const platform::Value& dictionary);
  // The defaults of template types 1 to 4 (all four share them); none for
  // any other type.
  static std::shared_ptr<OVNativeAdViewAttributes> defaultAttributesForType(std::int64_t type);
  // The type's defaults made internal (see internalAttributesForAttributes).
  static std::shared_ptr<OVNativeAdViewAttributes> internalAttributesForType(std::int64_t type);
  // Sets bypassAdLoad and skipRegistration on the record given itself and
  // answers it.
  static std::shared_ptr<OVNativeAdViewAttributes> internalAttributesForAttributes(
      const std::shared_ptr<OVNativeAdViewAttributes>& attributes);
  // "#RRGGBB": the hexadecimal number after the first character, opaque.
  // None for none; text that does not scan gives black.
  static std::optional<platform::Color> colorFromHexString(const std::optional<std::string>& text);

  std::shared_ptr<OVNativeAdViewAttributes> copy() const { return std::make_shared<OVNativeAdViewAttributes>(*this); }

  std::optional<platform::Color> backgroundColor;
  std::optional<platform::Color> titleColor;
  std::optional<platform::Font> titleFont;
  std::optional<platform::Color> descriptionColor;
  std::optional<platform::Font> descriptionFont;
  std::optional<platform::Color> buttonColor;
  std::optional<platform::Color> buttonTitleColor;
  std::optional<platform::Font> buttonTitleFont;
  // The call to action's border, one point wide when set.
  std::optional<platform::Color> buttonBorderColor;
  // Carried and copied; the media view takes autoplay from the ad.
  bool autoplayEnabled = false;
  // A template may be made with an ad that is not valid.
  std::optional<bool> bypassAdLoad;
  // The template does not register itself with the ad.
  std::optional<bool> skipRegistration;
  // The template's fixed height applies to its container.
  std::optional<bool> shouldClip;
  // Corner radii in points.
  std::optional<double> borderRadius;
  std::optional<double> buttonBorderRadius;
  std::optional<double> iconBorderRadius;
  std::optional<bool> adChoicesBackgroundShown;
  std::optional<platform::Color> adChoicesTitleColor;
  std::optional<platform::Color> adChoicesBackgroundColor;
  bool adChoicesIsHidden = false;
  // The body view shows the star rating.
  std::optional<bool> ratingEnabled;
  // Carried and copied.
  std::optional<bool> socialContextEnabled;
};

}  // namespace plexora
