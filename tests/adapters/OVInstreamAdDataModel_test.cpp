#include "adapters/OVInstreamAdDataModel.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "plexora/OVAdImage.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

using platform::Value;

constexpr const char* kValidAd = R"({"ct":"ct-1",
  "video":{"videoURL":"http://127.0.0.1/v.mp4"},
  "trackers":{"impression":"http://127.0.0.1/imp","nativeImpression":"http://127.0.0.1/nimp",
              "video":"http://127.0.0.1/video"}})";

Value json(const std::string& text) {
  auto value = OVAdUtility::getObjectFromJSONString(text);
  EXPECT_TRUE(value.has_value()) << text;
  return value.value_or(Value());
}

// The valid ad with `section`/`key` set to the JSON `value` (or removed).
std::shared_ptr<OVInstreamAdDataModel> validAdWith(const std::string& section, const std::string& key,
                                                   const std::optional<std::string>& value) {
  Value data = json(kValidAd);
  const Value* stored = data.find(section);
  Value inner = stored ? *stored : Value(platform::Dictionary{});
  if (value) {
    inner.set(key, json(*value));
  } else {
    inner.erase(key);
  }
  data.set(section, inner);
  return OVInstreamAdDataModel::initWithMetadata(data);
}

TEST(OVInstreamAdDataModel, ValidityNeedsTheVideoAndThreeTrackers) {
  EXPECT_TRUE(OVInstreamAdDataModel::initWithMetadata(json(kValidAd))->isValid());
  for (const auto& [section, key] : {std::pair{"video", "videoURL"}, std::pair{"trackers", "impression"},
                                     std::pair{"trackers", "nativeImpression"}, std::pair{"trackers", "video"}}) {
    EXPECT_FALSE(validAdWith(section, key, std::nullopt)->isValid()) << section << "/" << key;
  }
  Value noTrackers = json(kValidAd);
  noTrackers.erase("trackers");
  EXPECT_FALSE(OVInstreamAdDataModel::initWithMetadata(noTrackers)->isValid());
  EXPECT_FALSE(OVInstreamAdDataModel::init()->isValid());
  EXPECT_EQ(OVInstreamAdDataModel::initWithMetadata(Value()), nullptr);
}

TEST(OVInstreamAdDataModel, SkippableSecondsAreReadFromText) {
  const struct {
    const char* value;
    std::optional<double> seconds;
  } cases[] = {{R"("5")", 5.0}, {R"(" 2.5 ")", 2.5}, {R"("abc")", std::nullopt}, {R"("")", std::nullopt},
               {"7", 7.0}};
  for (const auto& c : cases) {
    const auto model = validAdWith("capabilities", "skipButton", std::string(R"({"skippableSeconds":)") + c.value + "}");
    EXPECT_EQ(model->skippableSeconds(), c.seconds) << c.value;
  }
  EXPECT_FALSE(OVInstreamAdDataModel::initWithMetadata(json(kValidAd))->skippableSeconds().has_value());
}

TEST(OVInstreamAdDataModel, CountdownIsEnabledByItsDictionary) {
  const auto withoutFormat = validAdWith("capabilities", "countdown", "{}");
  EXPECT_TRUE(withoutFormat->countdownEnabled());
  EXPECT_FALSE(withoutFormat->countdownFormat().has_value());
  const auto withFormat = validAdWith("capabilities", "countdown", R"({"format":"Ends in {{REMAINING_TIME}}"})");
  EXPECT_EQ(withFormat->countdownFormat(), "Ends in {{REMAINING_TIME}}");
  EXPECT_FALSE(validAdWith("capabilities", "countdown", R"("yes")")->countdownEnabled());
}

TEST(OVInstreamAdDataModel, ColoursOrientationAndNestedFields) {
  Value data = json(kValidAd);
  data.set("layout", json(R"({"accentColor":4278190335,"persistentAdDetails":true})"));
  data.set("context", json(R"({"orientation":2})"));
  data.set("cta", json(R"({"text":"Learn More","url":"http://127.0.0.1/go"})"));
  data.set("icon", json(R"({"url":"http://127.0.0.1/i.png","width":50,"height":50})"));
  data.set("image", json(R"({"width":50})"));
  const auto model = OVInstreamAdDataModel::initWithMetadata(data);
  ASSERT_TRUE(model->accentColor().has_value());
  EXPECT_EQ(*model->accentColor(), (OVAdColor{0.0, 0.0, 1.0, 1.0}));
  EXPECT_FALSE(model->backgroundColor().has_value());
  EXPECT_TRUE(model->persistentAdDetails());
  EXPECT_EQ(model->orientation(), platform::InterfaceOrientation::LandscapeLeft);
  EXPECT_EQ(model->callToActionText(), "Learn More");
  ASSERT_NE(model->icon(), nullptr);
  EXPECT_EQ(model->icon()->type(), kOVAdImageTypeIcon);
  EXPECT_EQ(model->image(), nullptr);
  EXPECT_FALSE(model->autoplay());

  EXPECT_EQ(validAdWith("context", "orientation", "1")->orientation(), platform::InterfaceOrientation::Portrait);
  EXPECT_EQ(validAdWith("context", "orientation", "7")->orientation(), platform::InterfaceOrientation::Unknown);
}

}  // namespace
}  // namespace plexora
