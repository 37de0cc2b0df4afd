#include "plexora/OVNativeAdViewAttributes.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "util/OVAdUtility.h"

namespace plexora {
namespace {

using platform::Color;

TEST(OVNativeAdViewAttributesTest, HexColoursAreReadAfterTheirFirstCharacter) {
  struct Case {
    std::optional<std::string> text;
    std::optional<Color> color;
  };
  const Case cases[] = {
      {"#FF8000", Color{1.0, 128.0 / 255.0, 0.0, 1.0}},
      {"FF8000", Color{15.0 / 255.0, 128.0 / 255.0, 0.0, 1.0}},  // read as F8000
      {"#zz", Color::black()},
      {"", Color::black()},
      {"#FFFFFFFFFFFF", Color::white()},  // out of range saturates
      {"#1B1B1Bxyz", Color{27.0 / 255.0, 27.0 / 255.0, 27.0 / 255.0, 1.0}},
      {std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OVNativeAdViewAttributes::colorFromHexString(c.text), c.color) << c.text.value_or("(none)");
  }
}

TEST(OVNativeAdViewAttributesTest, AnEmptyDictionaryGivesTheDefaultTypefacesAndNoColours) {
  const auto attributes = OVNativeAdViewAttributes::init();
  ASSERT_TRUE(attributes->titleFont);
  EXPECT_EQ(attributes->titleFont->name, "Helvetica-Bold");
  EXPECT_TRUE(attributes->titleFont->bold);
  EXPECT_EQ(attributes->titleFont->pointSize, kOVNativeAdSystemFontSize);
  EXPECT_EQ(attributes->descriptionFont->name, "Helvetica");
  EXPECT_EQ(attributes->descriptionFont->pointSize, 9.0);
  EXPECT_EQ(attributes->buttonTitleFont->pointSize, kOVNativeAdSmallSystemFontSize);
  EXPECT_FALSE(attributes->backgroundColor);
  EXPECT_FALSE(attributes->titleColor);
  EXPECT_FALSE(attributes->buttonBorderColor);
  EXPECT_FALSE(attributes->autoplayEnabled);
  EXPECT_FALSE(attributes->shouldClip);
}

TEST(OVNativeAdViewAttributesTest, ServerKeysSetColoursTransparencyAndTypefaces) {
  const auto dictionary = OVAdUtility::getObjectFromJSONString(R"({
    "background_transparent": true, "background_color": "#FF0000",
    "button_color": "#00FF00", "button_border_transparent": "1", "button_border_color": "#0000FF",
    "title_text_color": "#000001", "adchoices_is_hidden": 1, "adchoices_title_color": "#FFFFFF",
    "ios_typeface": "Comic Unknown", "ios_bold_typeface": 42})");
  const auto attributes = OVNativeAdViewAttributes::initWithDictionary(*dictionary);
  EXPECT_EQ(attributes->backgroundColor, Color::clear()) << "transparency wins over the colour";
  EXPECT_EQ(attributes->buttonColor, (Color{0.0, 1.0, 0.0, 1.0}));
  EXPECT_EQ(attributes->buttonBorderColor, Color::clear());
  EXPECT_EQ(attributes->titleColor, (Color{0.0, 0.0, 1.0 / 255.0, 1.0}));
  EXPECT_TRUE(attributes->adChoicesIsHidden);
  EXPECT_EQ(attributes->adChoicesTitleColor, Color::white());
  EXPECT_FALSE(attributes->descriptionFont) << "a typeface the system does not have gives no font";
  EXPECT_FALSE(attributes->titleFont) << "a number reads as its text, which names no typeface";
}

TEST(OVNativeAdViewAttributesTest, TemplateTypesOneToFourShareTheirDefaultsAndClip) {
  EXPECT_EQ(OVNativeAdViewAttributes::defaultAttributesForType(0), nullptr);
  EXPECT_EQ(OVNativeAdViewAttributes::defaultAttributesForType(5), nullptr);
  for (std::int64_t type = 1; type <= 4; ++type) {
    const auto attributes = OVNativeAdViewAttributes::defaultAttributesForType(type);
    ASSERT_TRUE(attributes) << type;
    EXPECT_EQ(attributes->shouldClip, std::optional<bool>(true));
    EXPECT_EQ(attributes->backgroundColor, Color::white());
    EXPECT_EQ(attributes->buttonBorderRadius, std::optional<double>(2.5));
    EXPECT_EQ(attributes->iconBorderRadius, std::optional<double>(7.5));
    EXPECT_EQ(attributes->ratingEnabled, std::optional<bool>(false));
    EXPECT_TRUE(attributes->autoplayEnabled);
    EXPECT_FALSE(attributes->bypassAdLoad);
  }
}

TEST(OVNativeAdViewAttributesTest, InternalAttributesChangeTheRecordGivenAndCopiesAreIndependent) {
  const auto attributes = OVNativeAdViewAttributes::defaultAttributesForType(3);
  attributes->borderRadius = 4.0;
  attributes->socialContextEnabled = true;
  const auto copied = attributes->copy();
  EXPECT_EQ(OVNativeAdViewAttributes::internalAttributesForAttributes(attributes), attributes);
  EXPECT_EQ(attributes->bypassAdLoad, std::optional<bool>(true));
  EXPECT_EQ(attributes->skipRegistration, std::optional<bool>(true));
  EXPECT_FALSE(copied->bypassAdLoad) << "the copy is its own record";
  EXPECT_EQ(copied->borderRadius, std::optional<double>(4.0));
  EXPECT_EQ(copied->socialContextEnabled, std::optional<bool>(true));
  EXPECT_EQ(copied->buttonColor, attributes->buttonColor);
}

}  // namespace
}  // namespace plexora
