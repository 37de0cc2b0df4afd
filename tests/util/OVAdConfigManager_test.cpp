#include "util/OVAdConfigManager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/foundation/Files.h"
#include "support/FileSizeLimit.h"
#include "support/TempDir.h"
#include "util/RuntimeTestSupport.h"

namespace plexora {
namespace {

using platform::Dictionary;
using platform::Value;

class OVAdConfigManagerTest : public testing::SettledQueuesTest {
 protected:
  std::shared_ptr<OVAdConfigManager> makeManager() { return OVAdConfigManager::create(caches_.path().string()); }

  std::string configurationPath() const { return (caches_ / "ov_px_config.plist").string(); }

  void writeFile(const std::string& bytes) const {
    ASSERT_TRUE(platform::writeFileAtomically(configurationPath(), platform::asBytes(bytes)));
  }

  // The configuration a new manager reads back from the file.
  Value stored() {
    auto reader = makeManager();
    return *reader->configuration();
  }

  testing::TempDir caches_;
};

TEST_F(OVAdConfigManagerTest, FirstLaunchAnswersTheDefaults) {
  auto manager = makeManager();

  ASSERT_NE(manager->configuration(), nullptr);
  EXPECT_TRUE(manager->configuration()->asDictionary().empty());
  EXPECT_EQ(manager->adClickabilityThresholdInterval(), 0.0);
  EXPECT_TRUE(manager->isQNVEnabled());
  EXPECT_TRUE(manager->isQNVOffThreadRenderingEnabled());
  EXPECT_TRUE(manager->isMetalImageRendererEnabled());
  EXPECT_EQ(manager->unifiedLoggingImmediateDelay(), 0.5);
  EXPECT_EQ(manager->unifiedLoggingEventLimit(), 0);
  EXPECT_EQ(manager->adTapMarginPercentage(), 0);
  EXPECT_EQ(manager->minimumElapsedTimeAfterImpression(), -0.001);
  EXPECT_TRUE(manager->isAdClickabilityRestrictedUntilImpression());
  EXPECT_FALSE(manager->isVisibleAreaCheckEnabled());
  EXPECT_EQ(manager->visibleAreaPercentage(), 50);
  EXPECT_EQ(manager->rvAutoRotate(), "autorotate_disabled");
  EXPECT_FALSE(manager->isRVPlayPauseButtonEnabled());
  EXPECT_FALSE(manager->isRVMetadataEnabled());
  EXPECT_FALSE(manager->isInAppAppStoreDisabled());
  EXPECT_TRUE(manager->useCachedImageContextForSoftwareRenderer());
  EXPECT_TRUE(manager->useCachedImageContextForMetalRenderer());
  EXPECT_TRUE(manager->useCachedImageContextForOpenGLRenderer());
  EXPECT_TRUE(manager->isImpressionMissTrackingEnabled());
  EXPECT_FALSE(manager->useStoreURL());
}

TEST_F(OVAdConfigManagerTest, ServerValuesAreReadThroughTheGetters) {
  auto manager = makeManager();
  manager->loadConfigurationFromDictionary(Dictionary{
      {"ad_clickability_threshold_ms", 250},
      {"ios_qnv_enabled", false},
      {"unified_logging_immediate_delay_ms", "1500"},
      {"unified_logging_event_limit", 20},
      {"visible_area_check_enabled", "true"},
      {"visible_area_percentage", 75.9},
      {"video_and_endcard_autorotate", "autorotate_enabled"},
      {"plxo_ios_use_store_url", 1},
  });

  EXPECT_EQ(manager->adClickabilityThresholdInterval(), 0.25);
  EXPECT_FALSE(manager->isQNVEnabled());
  EXPECT_EQ(manager->unifiedLoggingImmediateDelay(), 1.5);
  EXPECT_EQ(manager->unifiedLoggingEventLimit(), 20);
  EXPECT_TRUE(manager->isVisibleAreaCheckEnabled());
  EXPECT_EQ(manager->visibleAreaPercentage(), 75);
  EXPECT_EQ(manager->rvAutoRotate(), "autorotate_enabled");
  EXPECT_TRUE(manager->useStoreURL());
}

TEST_F(OVAdConfigManagerTest, ElapsedTimeAfterImpressionDecidesTheClickRestriction) {
  struct Case {
    Value stored;
    bool restricted;
    double elapsedSeconds;
  };
  const Case cases[] = {
      {-1, false, -0.001},
      {0, true, 0.0},
      {1500, true, 1.5},
      {"soon", true, -0.001},  // not a number: not below 0, and no elapsed time
  };
  auto manager = makeManager();
  for (const Case& c : cases) {
    manager->loadConfigurationFromDictionary(Dictionary{{"minimum_elapsed_time_after_impression", c.stored}});
    EXPECT_EQ(manager->isAdClickabilityRestrictedUntilImpression(), c.restricted);
    EXPECT_DOUBLE_EQ(manager->minimumElapsedTimeAfterImpression(), c.elapsedSeconds);
  }
}

TEST_F(OVAdConfigManagerTest, WithoutConfigurationTheGettersAnswerTheirFallbacks) {
  auto manager = makeManager();
  manager->loadConfigurationFromDictionary(Value());

  EXPECT_EQ(manager->configuration(), nullptr);
  EXPECT_FALSE(manager->isAdClickabilityRestrictedUntilImpression());
  EXPECT_EQ(manager->unifiedLoggingImmediateDelay(), 0.5);
  EXPECT_EQ(manager->rvAutoRotate(), "autorotate_disabled");
  EXPECT_EQ(manager->objectForKeyedSubscript("ios_qnv_enabled"), std::nullopt);

  testing::RuntimeLogCapture log;
  manager->saveConfiguration(false);
  EXPECT_EQ(log.count("No local configuration exists, cannot save."), 1u);
  EXPECT_FALSE(platform::fileExists(configurationPath()));

  manager->setObject(true, "ios_qnv_enabled");
  EXPECT_EQ(*manager->configuration(), Value(Dictionary{{"ios_qnv_enabled", true}}));
}

TEST_F(OVAdConfigManagerTest, EachLoadReplacesTheWholeConfiguration) {
  auto manager = makeManager();
  manager->loadConfigurationFromDictionary(Dictionary{{"unified_logging_immediate_delay_ms", 100}});
  ASSERT_EQ(manager->unifiedLoggingImmediateDelay(), 0.1);

  manager->loadConfigurationFromJSONString(R"({"visible_area_percentage": 80})");

  EXPECT_EQ(manager->unifiedLoggingImmediateDelay(), 0.5) << "replacement, not a merge";
  EXPECT_EQ(manager->visibleAreaPercentage(), 80);
}

TEST_F(OVAdConfigManagerTest, TextsThatAreNoDictionaryLeaveTheConfigurationAlone) {
  auto manager = makeManager();
  manager->loadConfigurationFromDictionary(Dictionary{{"visible_area_percentage", 10}});
  const auto before = manager->configuration();

  manager->loadConfigurationFromJSONString("{\"visible_area_percentage\": ");
  manager->loadConfigurationFromJSONString("[1, 2]");
  manager->loadConfigurationFromPropertyList(platform::asBytes("bplist00garbage"));

  EXPECT_EQ(manager->configuration(), before);
}

TEST_F(OVAdConfigManagerTest, SingleKeyChangesWaitForAnExplicitSave) {
  auto manager = makeManager();
  manager->loadConfigurationFromDictionary(Dictionary{{"ios_qnv_enabled", false}, {"visible_area_percentage", 30}});
  manager->saveConfiguration(false);
  const auto snapshot = manager->configuration();

  manager->setObject(true, "ios_qnv_enabled");

  EXPECT_TRUE(manager->isQNVEnabled());
  EXPECT_EQ(manager->visibleAreaPercentage(), 30);
  EXPECT_EQ(*manager->objectForKeyedSubscript("ios_qnv_enabled"), Value(true));
  EXPECT_EQ(snapshot->find("ios_qnv_enabled")->asBool(), false) << "a reader's snapshot never changes";
  EXPECT_EQ(stored(), Value(Dictionary{{"ios_qnv_enabled", false}, {"visible_area_percentage", 30}}));

  manager->saveConfiguration(false);
  EXPECT_EQ(stored(), Value(Dictionary{{"ios_qnv_enabled", true}, {"visible_area_percentage", 30}}));
}

TEST_F(OVAdConfigManagerTest, SavedConfigurationIsReadBackByTheNextManager) {
  testing::RuntimeLogCapture log;
  auto manager = makeManager();
  manager->loadConfigurationFromDictionary(Dictionary{{"impression_miss_tracking", false}, {"nested", Dictionary{{"a", 1}}}})
      .saveConfiguration();
  ASSERT_TRUE(platform::DispatchQueue::settle(testing::kSettleSeconds));

  EXPECT_EQ(log.count("Saved local configuration."), 1u);
  auto next = makeManager();
  EXPECT_FALSE(next->isImpressionMissTrackingEnabled());
  EXPECT_EQ(*next->configuration(), *manager->configuration());
  for (const auto& entry : std::filesystem::directory_iterator(caches_.path())) {
    EXPECT_EQ(entry.path().filename(), "ov_px_config.plist") << "no temporary file is left behind";
  }
}

TEST_F(OVAdConfigManagerTest, ManyQueuedSavesLeaveTheNewestConfigurationOnDisk) {
  auto manager = makeManager();
  for (int version = 1; version <= 200; ++version) {
    manager->loadConfigurationFromDictionary(Dictionary{{"version", version}});
    manager->saveConfiguration();
  }
  ASSERT_TRUE(platform::DispatchQueue::settle(testing::kSettleSeconds));

  EXPECT_EQ(stored(), Value(Dictionary{{"version", 200}}));
}

TEST_F(OVAdConfigManagerTest, SaveIntoAMissingCachesDirectoryCreatesIt) {
  testing::TempDir root;
  auto manager = OVAdConfigManager::create((root / "not" / "yet").string());
  manager->loadConfigurationFromDictionary(Dictionary{{"visible_area_percentage", 5}});

  manager->saveConfiguration(false);

  EXPECT_TRUE(platform::fileExists((root / "not" / "yet" / "ov_px_config.plist").string()));
}

TEST_F(OVAdConfigManagerTest, FailedSaveIsLoggedAndKeepsTheConfiguration) {
  testing::RuntimeLogCapture log;
  writeFile("a file where the caches directory should be");
  auto manager = OVAdConfigManager::create(configurationPath());
  manager->loadConfigurationFromDictionary(Dictionary{{"visible_area_percentage", 5}});

  manager->saveConfiguration(false);

  EXPECT_EQ(log.count(" <error>] Failed to save local configuration: "), 1u);
  EXPECT_EQ(manager->visibleAreaPercentage(), 5);
}

TEST_F(OVAdConfigManagerTest, FullDiskKeepsThePreviousFileAndSaysSo) {
  testing::RuntimeLogCapture log;
  auto manager = makeManager();
  const Value previous(Dictionary{{"visible_area_percentage", 30}});
  manager->loadConfigurationFromDictionary(previous).saveConfiguration(false);
  ASSERT_EQ(stored(), previous);
  const Value larger(Dictionary{{"visible_area_percentage", 70}, {"padding", std::string(32 * 1024, 'x')}});
  manager->loadConfigurationFromDictionary(larger);

  for (const bool async : {false, true}) {
    SCOPED_TRACE(async ? "saved on the file queue" : "saved at once");
    {
      testing::FileSizeLimit fullDisk(1024);
      manager->saveConfiguration(async);
      ASSERT_TRUE(platform::DispatchQueue::settle(testing::kSettleSeconds));
    }
    EXPECT_EQ(stored(), previous);
    EXPECT_EQ(*manager->configuration(), larger);
  }
  std::size_t failures = 0;
  for (const std::string& line : log.lines()) {
    failures += line.find(" <error>] Failed to save local configuration: ") != std::string::npos &&
                line.find("File too large") != std::string::npos;
  }
  EXPECT_EQ(failures, 2u);
  EXPECT_EQ(log.count("Saved local configuration."), 1u) << "only the first save";

  manager->saveConfiguration(false);
  EXPECT_EQ(stored(), larger);
}

TEST_F(OVAdConfigManagerTest, DeleteRemovesTheFileAndRestoresTheDefaults) {
  auto manager = makeManager();
  manager->loadConfigurationFromDictionary(Dictionary{{"visible_area_percentage", 5}});
  manager->saveConfiguration();  // still queued when the delete comes

  manager->deleteConfiguration();
  ASSERT_TRUE(platform::DispatchQueue::settle(testing::kSettleSeconds));

  EXPECT_FALSE(platform::fileExists(configurationPath()));
  EXPECT_EQ(manager->visibleAreaPercentage(), 50);
  manager->deleteConfiguration();  // no file: nothing to complain about
}

TEST_F(OVAdConfigManagerTest, UnreadableFilesLeaveAnEmptyConfiguration) {
  const std::string cases[] = {
      "",
      "garbage that is no property list",
      "bplist00\xd1\x01\x02",  // truncated binary property list
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><integer>1</integer></array></plist>",
  };
  for (const std::string& bytes : cases) {
    testing::RuntimeLogCapture log;
    writeFile(bytes);

    auto manager = makeManager();

    ASSERT_NE(manager->configuration(), nullptr);
    EXPECT_TRUE(manager->configuration()->asDictionary().empty());
    EXPECT_EQ(log.count(" <debug>] Failed to load local configuration: "), 1u) << bytes;
  }
}

TEST_F(OVAdConfigManagerTest, MissingFileIsLoggedOnLoad) {
  testing::RuntimeLogCapture log;
  auto manager = makeManager();
  EXPECT_EQ(log.count(" <debug>] Failed to load local configuration: "), 1u);
}

TEST_F(OVAdConfigManagerTest, AsynchronousLoadNeverReplacesANewerConfiguration) {
  {
    auto writer = makeManager();
    writer->loadConfigurationFromDictionary(Dictionary{{"visible_area_percentage", 1}}).saveConfiguration(false);
  }
  auto loaded = OVAdConfigManager::create(caches_.path().string(), true);
  ASSERT_TRUE(platform::DispatchQueue::settle(testing::kSettleSeconds));
  EXPECT_EQ(loaded->visibleAreaPercentage(), 1);

  // Whichever runs first, the server's configuration installed after the
  // load was asked for wins.
  for (int attempt = 0; attempt < 20; ++attempt) {
    auto overtaken = OVAdConfigManager::create(caches_.path().string(), true);
    overtaken->loadConfigurationFromDictionary(Dictionary{{"visible_area_percentage", 2}});
    ASSERT_TRUE(platform::DispatchQueue::settle(testing::kSettleSeconds));
    EXPECT_EQ(overtaken->visibleAreaPercentage(), 2);
  }
}

}  // namespace
}  // namespace plexora
