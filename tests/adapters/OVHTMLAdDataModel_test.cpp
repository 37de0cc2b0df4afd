#include "adapters/OVHTMLAdDataModel.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Paths.h"
#include "support/TempDir.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

using platform::Dictionary;
using platform::InterfaceOrientation;
using platform::Value;

// The models hand feature configurations to the process's configuration
// manager; the tests run with a caches directory of their own.
class OVHTMLAdDataModelTest : public ::testing::Test {
 protected:
  OVHTMLAdDataModelTest() { platform::setCachesDirectory(caches_.path().string()); }
  ~OVHTMLAdDataModelTest() override {
    // What a model installed must not reach the process's next test.
    OVAdConfigManager::sharedManager()->loadConfigurationFromDictionary(platform::Value(platform::Dictionary{}));
    platform::DispatchQueue::settle();
    platform::setCachesDirectory("");
  }

  testing::TempDir caches_;
};

TEST_F(OVHTMLAdDataModelTest, ValidityNeedsAClientTokenAndMarkup) {
  struct Case {
    const char* name;
    Dictionary data;
    bool valid;
    std::optional<std::string> token;
  };
  const Case cases[] = {
      {"token and markup", {{"ct", "ct-1"}, {"markup", "<p>ad</p>"}}, true, "ct-1"},
      {"no token", {{"markup", "<p>ad</p>"}, {"request_id", "r"}}, false, std::nullopt},
      {"empty token", {{"ct", ""}, {"markup", "<p>ad</p>"}}, false, ""},
      {"numeric token", {{"ct", 12}, {"markup", "<p>ad</p>"}}, true, "12"},
      {"empty markup", {{"ct", "ct-1"}, {"markup", ""}}, false, "ct-1"},
      {"no markup", {{"ct", "ct-1"}}, false, "ct-1"},
      {"markup not text", {{"ct", "ct-1"}, {"markup", Value(Dictionary{})}}, false, "ct-1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto model = OVHTMLAdDataModel::initWithMetadata(Value(c.data));
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->isValid(), c.valid);
    EXPECT_EQ(model->inlineClientToken(), c.token);
  }
}

TEST_F(OVHTMLAdDataModelTest, TheBaseModelIsValidWithATokenAloneAndNullMakesNoModel) {
  EXPECT_TRUE(OVAdDataModel::initWithMetadata(Value(Dictionary{{"ct", "ct-1"}}))->isValid());
  EXPECT_FALSE(OVAdDataModel::create()->isValid());
  EXPECT_FALSE(OVHTMLAdDataModel::create()->isValid());
  EXPECT_EQ(OVAdDataModel::initWithMetadata(Value()), nullptr);
  EXPECT_EQ(OVHTMLAdDataModel::initWithMetadata(Value()), nullptr);
  // Data that is no dictionary holds nothing.
  const auto fromText = OVHTMLAdDataModel::initWithMetadata(Value("ct"));
  ASSERT_NE(fromText, nullptr);
  EXPECT_FALSE(fromText->isValid());
}

TEST_F(OVHTMLAdDataModelTest, ReadsTheMarkupRequestAndCreativeMetadata) {
  const auto model = OVHTMLAdDataModel::initWithMetadata(Value(Dictionary{
      {"ct", "ct-1"},
      {"request_id", 77},
      {"markup", "<html></html>"},
      {"activation_command", "start();"},
      {"metadata", Value(Dictionary{{"is_tablet", true},
                                    {"ad_height", 50},
                                    {"ad_width", "320"},
                                    {"is_video", 0},
                                    {"orientation", 1}})},
  }));
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(model->requestId(), "77");
  EXPECT_EQ(model->markup(), "<html></html>");
  EXPECT_EQ(model->activationCommand(), "start();");
  EXPECT_EQ(model->isTablet(), true);
  EXPECT_EQ(model->adHeight(), 50.0);
  EXPECT_EQ(model->adWidth(), 320.0);
  EXPECT_EQ(model->isVideo(), false);
  EXPECT_EQ(model->orientation(), InterfaceOrientation::Portrait);

  const auto bare = OVHTMLAdDataModel::initWithMetadata(Value(Dictionary{{"ct", "ct-1"}, {"metadata", "junk"}}));
  EXPECT_EQ(bare->isTablet(), std::nullopt);
  EXPECT_EQ(bare->adHeight(), std::nullopt);
  EXPECT_EQ(bare->adWidth(), std::nullopt);
  EXPECT_EQ(bare->isVideo(), std::nullopt);
  EXPECT_EQ(bare->activationCommand(), std::nullopt);
  EXPECT_EQ(bare->orientation(), InterfaceOrientation::Unknown);
}

TEST_F(OVHTMLAdDataModelTest, TheServersOrientationCodesMapToInterfaceOrientations) {
  const std::pair<Value, InterfaceOrientation> cases[] = {
      {Value(1), InterfaceOrientation::Portrait},     {Value(2), InterfaceOrientation::LandscapeLeft},
      {Value(3), InterfaceOrientation::Unknown},      {Value(0), InterfaceOrientation::Unknown},
      {Value("2"), InterfaceOrientation::LandscapeLeft}, {Value("sideways"), InterfaceOrientation::Unknown},
  };
  for (const auto& [code, orientation] : cases) {
    SCOPED_TRACE(code.text().value_or("?"));
    const auto model = OVHTMLAdDataModel::initWithMetadata(
        Value(Dictionary{{"metadata", Value(Dictionary{{"orientation", code}})}}));
    EXPECT_EQ(model->orientation(), orientation);
    // The server's landscape is the orientation numbered 4.
    if (orientation == InterfaceOrientation::LandscapeLeft) {
      EXPECT_EQ(static_cast<int>(model->orientation()), 4);
    }
  }
}

TEST_F(OVHTMLAdDataModelTest, AFeatureConfigDictionaryReplacesAndSavesTheConfigurationAndAnythingElseIsIgnored) {
  auto manager = OVAdConfigManager::sharedManager();
  manager->loadConfigurationFromDictionary(Value(Dictionary{{"kept", 1}}));

  OVHTMLAdDataModel::initWithMetadata(Value(Dictionary{{"ct", "a"}, {"feature_config", "{\"ad_viewability_tap_margin\":5}"}}));
  EXPECT_EQ(*manager->configuration(), Value(Dictionary{{"kept", 1}})) << "a text is no configuration";

  OVAdDataModel::initWithMetadata(
      Value(Dictionary{{"ct", "a"}, {"feature_config", Value(Dictionary{{"ad_viewability_tap_margin", 5}})}}));
  EXPECT_EQ(*manager->configuration(), Value(Dictionary{{"ad_viewability_tap_margin", 5}}));
  EXPECT_EQ(manager->adTapMarginPercentage(), 5);

  ASSERT_TRUE(platform::DispatchQueue::settle());
  // The process's manager keeps the file of the caches directory it was made
  // in, which an earlier test of the process may have chosen.
  const auto saved =
      OVAdConfigManager::create(std::filesystem::path(manager->configurationFilePath()).parent_path().string());
  EXPECT_EQ(saved->adTapMarginPercentage(), 5) << "the configuration reached the disk";
}

}  // namespace
}  // namespace plexora
