#include "adapters/OVRewardedVideoAdDataModel.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Paths.h"
#include "plexora/OVAdImage.h"
#include "support/TempDir.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

using platform::Value;

constexpr const char* kValidAd = R"({"ct":"ct-1","video_url":"http://127.0.0.1/video.mp4"})";

Value json(const std::string& text) {
  auto value = OVAdUtility::getObjectFromJSONString(text);
  EXPECT_TRUE(value.has_value()) << text;
  return value.value_or(Value());
}

std::shared_ptr<OVRewardedVideoAdDataModel> validAdWith(const std::string& key, const std::optional<std::string>& value) {
  Value data = json(kValidAd);
  if (value) {
    data.set(key, json(*value));
  } else {
    data.erase(key);
  }
  return OVRewardedVideoAdDataModel::initWithMetadata(data);
}

// Making a model may install and save a configuration: it goes to a caches
// directory of the test's own.
class OVRewardedVideoAdDataModelTest : public ::testing::Test {
 protected:
  OVRewardedVideoAdDataModelTest() { platform::setCachesDirectory(caches_.path().string()); }
  ~OVRewardedVideoAdDataModelTest() override {
    platform::DispatchQueue::settle();
    OVAdConfigManager::sharedManager()->loadConfigurationFromDictionary(platform::Dictionary{});
    platform::setCachesDirectory("");
  }

  testing::TempDir caches_;
};

TEST_F(OVRewardedVideoAdDataModelTest, ValidityNeedsTheTokenAndAVideoLocation) {
  EXPECT_TRUE(OVRewardedVideoAdDataModel::initWithMetadata(json(kValidAd))->isValid());
  EXPECT_FALSE(validAdWith("video_url", std::nullopt)->isValid());
  EXPECT_FALSE(validAdWith("video_url", R"("")")->isValid());
  EXPECT_FALSE(validAdWith("video_url", "12")->isValid());
  EXPECT_FALSE(validAdWith("ct", std::nullopt)->isValid());
  EXPECT_EQ(OVRewardedVideoAdDataModel::initWithMetadata(Value()), nullptr);
}

TEST_F(OVRewardedVideoAdDataModelTest, DefaultsOfAbsentKeys) {
  const auto model = OVRewardedVideoAdDataModel::initWithMetadata(json(kValidAd));
  EXPECT_EQ(model->adChoicesText(), "AdChoices");
  EXPECT_TRUE(model->videoAutoplayEnabled());
  EXPECT_FALSE(model->fullyClickable());
  EXPECT_EQ(model->snapshotDelayPostInSecond(), 4);
  EXPECT_EQ(model->snapshotCompressionQuality(), 0.0);
  EXPECT_FALSE(model->skippableSeconds().has_value());
  EXPECT_EQ(model->starRating(), (OVAdStarRating{0.0, 0}));
  EXPECT_EQ(model->image(), nullptr);
  EXPECT_EQ(model->adChoicesIcon(), nullptr);
  EXPECT_FALSE(model->markup().has_value());
}

TEST_F(OVRewardedVideoAdDataModelTest, CompressionQualityIsAPercentWithinZeroToHundred) {
  const struct {
    const char* value;
    double quality;
  } cases[] = {{"85", 0.85}, {"0", 0.0}, {"100", 1.0}, {"150", 0.0}, {"-1", 0.0}};
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(validAdWith("snapshot_compress_quality", c.value)->snapshotCompressionQuality(), c.quality)
        << c.value;
  }
}

TEST_F(OVRewardedVideoAdDataModelTest, ReadsTheFlatKeys) {
  Value data = json(R"json({"ct":"ct-1","video_url":"http://127.0.0.1/v.mp4","title":"T","body":"B",
    "call_to_action":"Install","star_rating":{"value":4.5,"scale":5},"icon":{"url":"http://127.0.0.1/i.png"},
    "image":{"url":"http://127.0.0.1/c.jpg","width":640,"height":360},"skippable_seconds":5,
    "end_card_markup":"<p>end</p>","activation_command":"go()","context_switch":"restart",
    "video_autoplay_enabled":false,"fully_clickable":true,"ovad_command":"ovad://click"})json");
  const auto model = OVRewardedVideoAdDataModel::initWithMetadata(data);
  EXPECT_EQ(model->title(), "T");
  EXPECT_EQ(model->body(), "B");
  EXPECT_EQ(model->callToAction(), "Install");
  EXPECT_EQ(model->starRating(), (OVAdStarRating{4.5, 5}));
  ASSERT_TRUE(model->iconURL().has_value());
  EXPECT_EQ(model->iconURL()->absoluteString(), "http://127.0.0.1/i.png");
  ASSERT_NE(model->image(), nullptr);
  EXPECT_EQ(model->image()->width(), 640);
  EXPECT_EQ(model->image()->type(), kOVAdImageTypeCover);
  EXPECT_EQ(model->skippableSeconds(), 5.0);
  EXPECT_EQ(model->markup(), "<p>end</p>");
  EXPECT_EQ(model->activationCommand(), "go()");
  EXPECT_EQ(model->contextSwitch(), "restart");
  EXPECT_FALSE(model->videoAutoplayEnabled());
  EXPECT_TRUE(model->fullyClickable());
  ASSERT_TRUE(model->commandURL().has_value());
  EXPECT_EQ(model->commandURL()->scheme(), "ovad");
  EXPECT_EQ(model->metadata(), data);
}

TEST_F(OVRewardedVideoAdDataModelTest, ImagesWithoutALocation) {
  EXPECT_EQ(validAdWith("image", R"({"width":10,"height":10})")->image(), nullptr);
  const auto icon = validAdWith("ad_choices_icon", R"({"width":16,"height":16})")->adChoicesIcon();
  ASSERT_NE(icon, nullptr);
  EXPECT_FALSE(icon->url().has_value());
  EXPECT_EQ(icon->width(), 16);
}

TEST_F(OVRewardedVideoAdDataModelTest, FeatureConfigurationAsJSONTextReplacesTheConfiguration) {
  auto manager = OVAdConfigManager::sharedManager();
  manager->loadConfigurationFromDictionary(json(R"({"old_key":1})"));
  validAdWith("feature_config", R"("{\"visible_area_percentage\": 80}")");
  EXPECT_FALSE(manager->objectForKeyedSubscript("old_key").has_value());
  EXPECT_EQ(manager->objectForKeyedSubscript("visible_area_percentage"), Value(80));

  validAdWith("feature_config", R"("{\"visible_area")");
  EXPECT_EQ(manager->objectForKeyedSubscript("visible_area_percentage"), Value(80));
}

}  // namespace
}  // namespace plexora
