#include "adapters/OVNativeAdDataModel.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "adapters/OVNativeAdMultiProductDataModel.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Paths.h"
#include "plexora/OVAdImage.h"
#include "plexora/OVNativeAdViewAttributes.h"
#include "support/TempDir.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

using platform::Value;

constexpr const char* kValidAd = R"({"ct":"ct-1","title":"Boots","call_to_action":"Shop",
  "image":{"url":"https://cdn.plexora.test/cover.jpg","width":1200,"height":628}})";

Value json(const std::string& text) {
  auto value = OVAdUtility::getObjectFromJSONString(text);
  EXPECT_TRUE(value.has_value()) << text;
  return value.value_or(Value());
}

// The valid ad with `key` set to the JSON `value` (or removed for none).
std::shared_ptr<OVNativeAdDataModel> validAdWith(const std::string& key, const std::optional<std::string>& value) {
  Value data = json(kValidAd);
  if (value) {
    data.set(key, json(*value));
  } else {
    data.erase(key);
  }
  return OVNativeAdDataModel::initWithMetadata(data);
}

// Making a model installs the feature configuration, which is saved in a
// caches directory of the test's own.
class OVNativeAdDataModelTest : public ::testing::Test {
 protected:
  OVNativeAdDataModelTest() { platform::setCachesDirectory(caches_.path().string()); }
  ~OVNativeAdDataModelTest() override {
    platform::DispatchQueue::settle();
    platform::setCachesDirectory("");
  }

  testing::TempDir caches_;
};

TEST_F(OVNativeAdDataModelTest, ValidityNeedsTokenTitleCallToActionAndACoverWithALocation) {
  EXPECT_TRUE(OVNativeAdDataModel::initWithMetadata(json(kValidAd))->isValid());
  struct Case {
    const char* key;
    std::optional<std::string> value;
  };
  for (const Case& broken : {Case{"ct", std::nullopt}, Case{"title", std::nullopt}, Case{"title", R"("")"},
                             Case{"call_to_action", std::nullopt}, Case{"call_to_action", "[1]"},
                             Case{"image", std::nullopt}, Case{"image", R"({"url":""})"},
                             Case{"image", R"({"url":42})"}, Case{"image", R"("https://cdn.plexora.test/c.jpg")"}}) {
    EXPECT_FALSE(validAdWith(broken.key, broken.value)->isValid())
        << broken.key << " = " << broken.value.value_or("(removed)");
  }
  // Nothing else is needed.
  EXPECT_TRUE(validAdWith("icon", R"({"width":3})")->isValid());
  EXPECT_TRUE(validAdWith("star_rating", R"("five")")->isValid());
}

TEST_F(OVNativeAdDataModelTest, MissingOrMistypedKeysKeepTheirDefaults) {
  const auto model = OVNativeAdDataModel::initWithMetadata(json(R"({"title":null,"body":{"a":1},
    "manual_imp":"yes","snapshot_log_delay_second":"soon","carousel":"none","native_ui_config":[1]})"));
  EXPECT_FALSE(model->title());
  EXPECT_FALSE(model->body());
  EXPECT_FALSE(model->manualImpressionEnabled());
  EXPECT_EQ(model->snapshotDelayPostInSecond(), 4);
  EXPECT_EQ(model->snapshotCompressionQuality(), 0.0);
  EXPECT_EQ(model->adChoicesText(), "AdChoices");
  EXPECT_EQ(model->adViewAttributes(), nullptr);
  EXPECT_FALSE(model->videoAutoplayEnabled()) << "unstated, not false";
  EXPECT_TRUE(model->multiProductAdContent().empty());
  EXPECT_EQ(model->starRating(), OVAdStarRating());
  EXPECT_FALSE(OVNativeAdDataModel::initWithMetadata(Value("not a dictionary"))->isValid());
}

TEST_F(OVNativeAdDataModelTest, SnapshotQualityIsAPercentFromZeroToAHundred) {
  struct Case {
    const char* value;
    double quality;
  };
  for (const Case& c : {Case{"100", 1.0}, Case{"70", 0.7}, Case{"0", 0.0}, Case{"101", 0.0}, Case{"-1", 0.0},
                        Case{R"("55")", 0.55}, Case{"1e300", 0.0}}) {
    EXPECT_DOUBLE_EQ(validAdWith("snapshot_compress_quality", c.value)->snapshotCompressionQuality(), c.quality)
        << c.value;
  }
}

TEST_F(OVNativeAdDataModelTest, StarRatingIsReadOnlyFromADictionaryOfNumbers) {
  struct Case {
    const char* value;
    OVAdStarRating rating;
  };
  for (const Case& c : {Case{R"({"value":4.5,"scale":5})", {4.5, 5}}, Case{R"({"value":"3.5"})", {3.5, 0}},
                        Case{R"({"value":"high","scale":[5]})", {0, 0}}, Case{"4.5", {0, 0}},
                        Case{R"({"value":-7,"scale":5})", {-7, 5}}}) {
    EXPECT_EQ(validAdWith("star_rating", c.value)->starRating(), c.rating) << c.value;
  }
}

TEST_F(OVNativeAdDataModelTest, ImageRecordsNeedALocationAndKeepTheirRoleAndSize) {
  const auto model = OVNativeAdDataModel::initWithMetadata(json(R"({"ct":"ct-1",
    "icon":{"url":"https://cdn.plexora.test/icon.png","width":128,"height":"64"},
    "image":{"url":"https://cdn.plexora.test/cover.jpg","width":99999999999},
    "ad_choices_icon":{"width":20,"height":20}})"));
  ASSERT_TRUE(model->icon());
  EXPECT_EQ(model->icon()->type(), kOVAdImageTypeIcon);
  EXPECT_EQ(model->icon()->width(), 128);
  EXPECT_EQ(model->icon()->height(), 64);
  ASSERT_TRUE(model->image());
  EXPECT_EQ(model->image()->type(), kOVAdImageTypeCover);
  EXPECT_EQ(model->image()->width(), 2147483647) << "sizes are 32-bit";
  EXPECT_EQ(model->image()->height(), 0);
  EXPECT_EQ(model->adChoicesIcon(), nullptr) << "an ad-choices icon without a location makes no image";

  const auto withAdChoices =
      validAdWith("ad_choices_icon", R"({"url":"https://cdn.plexora.test/ac.png","width":20,"height":20})");
  ASSERT_TRUE(withAdChoices->adChoicesIcon());
  EXPECT_EQ(withAdChoices->adChoicesIcon()->type(), kOVAdImageTypeOther);
  EXPECT_EQ(validAdWith("icon", R"({"width":128})")->icon(), nullptr);
}

TEST_F(OVNativeAdDataModelTest, CarouselCardsSkipNonDictionariesKeepInvalidCardsAndCarryTheParentsToken) {
  const auto model = validAdWith("carousel", R"(["card", {"title":"No image","ct":"own"},
    {"title":"Full","image":{"url":"https://cdn.plexora.test/1.jpg"},"ovad_command":"ovad://close"}, 7, null])");
  const auto& cards = model->multiProductAdContent();
  ASSERT_EQ(cards.size(), 2u);
  EXPECT_EQ(cards[0]->title(), "No image");
  EXPECT_FALSE(cards[0]->isValid());
  EXPECT_TRUE(cards[1]->isValid());
  EXPECT_EQ(cards[1]->image()->type(), kOVAdImageTypeCover);
  EXPECT_EQ(cards[1]->commandURL()->absoluteString(), "ovad://close");
  for (const auto& card : cards) EXPECT_EQ(card->inlineClientToken(), "ct-1");

  // Without a parent token a card keeps its own.
  Value data = json(R"({"carousel":[{"ct":"own"}]})");
  EXPECT_EQ(OVNativeAdDataModel::initWithMetadata(data)->multiProductAdContent()[0]->inlineClientToken(), "own");
}

TEST_F(OVNativeAdDataModelTest, SwitchesLinksAndStyleAreRead) {
  const auto model = OVNativeAdDataModel::initWithMetadata(json(R"({"ct":"ct-1","manual_imp":1,
    "enable_view_log":1,"enable_snapshot_log":true,"snapshot_log_delay_second":2,"fully_clickable":"1",
    "video_url":"https://cdn.plexora.test/v.mp4","video_autoplay_enabled":false,
    "ad_choices_link_url":"https://www.plexora.test/ac","ad_choices_text":"Why this ad",
    "ovad_command":"ovad://open_link?url=x","native_ui_config":{"title_text_color":"#FF8000"}})"));
  EXPECT_TRUE(model->manualImpressionEnabled());
  EXPECT_TRUE(model->viewJSONLoggingEnabled());
  EXPECT_TRUE(model->viewSnapshotLoggingEnabled());
  EXPECT_EQ(model->snapshotDelayPostInSecond(), 2);
  EXPECT_TRUE(model->fullyClickable());
  EXPECT_EQ(model->videoURL()->absoluteString(), "https://cdn.plexora.test/v.mp4");
  EXPECT_EQ(model->videoAutoplayEnabled(), std::optional<bool>(false));
  EXPECT_EQ(model->adChoicesLinkURL()->absoluteString(), "https://www.plexora.test/ac");
  EXPECT_EQ(model->adChoicesText(), "Why this ad");
  EXPECT_EQ(model->commandURL()->absoluteString(), "ovad://open_link?url=x");
  ASSERT_TRUE(model->adViewAttributes());
  EXPECT_EQ(model->adViewAttributes()->titleColor, (platform::Color{1.0, 128.0 / 255.0, 0.0, 1.0}));
  EXPECT_EQ(validAdWith("native_ui_config", "{}")->adViewAttributes(), nullptr) << "an empty style makes none";
}

TEST_F(OVNativeAdDataModelTest, MegabytesOfTextAreKeptWhole) {
  const std::string title(4 * 1024 * 1024, 'x');
  Value data = json(kValidAd);
  data.set("title", title);
  const auto model = OVNativeAdDataModel::initWithMetadata(data);
  EXPECT_EQ(model->title()->size(), title.size());
  EXPECT_TRUE(model->isValid());
}

}  // namespace
}  // namespace plexora
