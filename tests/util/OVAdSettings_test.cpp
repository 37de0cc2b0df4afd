#include "plexora/OVAdSettings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"
#include "util/OVAdSettingsInternal.h"
#include "util/SettingsTestEnvironment.h"

namespace plexora {
namespace {

using platform::Array;
using platform::Value;

constexpr const char* kSandboxEndpoint = "https://ads.sb.plexora.example/network_ads_common/";
constexpr const char* kProductionEndpoint = "https://ads.plexora.example/network_ads_common/";

class OVAdSettingsTest : public ::testing::Test {
 protected:
  // Counts of the standard store's writes and synchronisations so far.
  std::pair<std::uint64_t, std::uint64_t> defaultsActivity() const {
    const auto defaults = environment_.defaults();
    return {defaults->writeCount(), defaults->synchronizeCount()};
  }

  testing::SettingsTestEnvironment environment_;
};

TEST_F(OVAdSettingsTest, AFreshInstallHasNothingSet) {
  EXPECT_EQ(OVAdSettings::getLogLevel(), 0);
  EXPECT_EQ(OVAdSettings::urlPrefix(), std::nullopt);
  EXPECT_TRUE(OVAdSettings::testDevices().empty());
  EXPECT_FALSE(OVAdSettings::isTestMode());
  EXPECT_FALSE(OVAdSettings::isChildDirected());
  EXPECT_FALSE(OVAdSettings::isBackgroundVideoPlaybackAllowed());
  EXPECT_EQ(OVAdSettings::getMediationService(), "");
  EXPECT_EQ(OVAdSettings::mediaViewRenderingMethod(), 0);
  EXPECT_EQ(OVAdSettings::testAdType(), 0);
  EXPECT_EQ(OVAdSettings::getDeliveryEndpoint(), kProductionEndpoint);
}

TEST_F(OVAdSettingsTest, TheTestHashIsTheSHA1OfTheAdvertisingIdentifier) {
  EXPECT_EQ(OVAdSettings::testDeviceHash(), testing::kTestDeviceHashOfIdentifier);
}

TEST_F(OVAdSettingsTest, TheTestModeHintIsWrittenOnceForADeviceThatIsNotRegistered) {
  OVAdSettings::setLogLevel(1);
  const std::string hash = OVAdSettings::testDeviceHash();
  EXPECT_FALSE(OVAdSettings::isTestMode());
  EXPECT_FALSE(OVAdSettings::isTestMode());
  const auto lines = environment_.lines();
  ASSERT_EQ(lines.size(), 2U);
  EXPECT_EQ(lines[0].rfind("[OVPlexoraLog/OVAdSettings:", 0), 0U);
  EXPECT_NE(lines[0].find(" thread:1] When testing your app with Orvane's ad units you must specify the device "
                                         "hashed ID to ensure the delivery of test ads, add the following code before "
                                         "loading an ad: [OVAdSettings addTestDevice:@\"" + hash + "\"]"),
            std::string::npos);
  EXPECT_NE(lines[1].find(" thread:1] Test mode device hash: " + hash), std::string::npos);
}

TEST_F(OVAdSettingsTest, ARegisteredDeviceIsInTestModeWithoutAHint) {
  OVAdSettings::setLogLevel(1);
  OVAdSettings::addTestDevice(OVAdSettings::testDeviceHash());
  EXPECT_TRUE(OVAdSettings::isTestMode());
  EXPECT_EQ(environment_.count("Test mode device hash"), 0U);

  OVAdSettings::clearTestDevice(OVAdSettings::testDeviceHash());
  EXPECT_FALSE(OVAdSettings::isTestMode());
  EXPECT_EQ(environment_.count("Test mode device hash"), 1U);
}

TEST_F(OVAdSettingsTest, TestDevicesPersistAcrossLaunches) {
  OVAdSettings::addTestDevice("h1");
  OVAdSettings::addTestDevices({"h2", "h1", "h3"});
  OVAdSettings::clearTestDevice("h2");

  platform::UserDefaults stored(environment_.defaultsPath());
  EXPECT_EQ(stored.arrayForKey("ov_px_test_devices"), (Array{"h1", "h3"}));

  environment_.relaunch();
  EXPECT_EQ(OVAdSettings::testDevices(), (std::vector<std::string>{"h1", "h3"}));
  OVAdSettings::clearTestDevices();
  environment_.relaunch();
  EXPECT_TRUE(OVAdSettings::testDevices().empty());
}

TEST_F(OVAdSettingsTest, TestDeviceChangesThatChangeNothingWriteNothing) {
  OVAdSettings::addTestDevice("h1");
  const auto before = defaultsActivity();
  OVAdSettings::addTestDevice("h1");
  OVAdSettings::addTestDevices({"h1"});
  OVAdSettings::addTestDevices({});
  OVAdSettings::clearTestDevice("unknown");
  EXPECT_EQ(defaultsActivity(), before);

  OVAdSettings::clearTestDevices();
  const auto afterClearing = defaultsActivity();
  OVAdSettings::clearTestDevices();
  EXPECT_EQ(defaultsActivity(), afterClearing);
}

TEST_F(OVAdSettingsTest, StoredTestDevicesLoadWithoutDuplicatesOrStrangers) {
  environment_.defaults()->setObject("ov_px_test_devices", Value(Array{"h1", 5, "h1", "h2"}));
  EXPECT_EQ(OVAdSettings::testDevices(), (std::vector<std::string>{"h1", "h2"}));
}

TEST_F(OVAdSettingsTest, TheLogLevelIsStoredOnlyWhenItChanges) {
  OVAdSettings::setLogLevel(2);
  EXPECT_EQ(OVAdSettings::getLogLevel(), 2);
  EXPECT_EQ(platform::UserDefaults(environment_.defaultsPath()).integerForKey("ov_px_log_lv"), 2);

  const auto before = defaultsActivity();
  OVAdSettings::setLogLevel(2);
  EXPECT_EQ(defaultsActivity(), before);

  environment_.relaunch();
  EXPECT_EQ(OVAdSettings::getLogLevel(), 2);
}

TEST_F(OVAdSettingsTest, ALogLevelOutsideZeroToSixIsRefusedWithAnErrorLine) {
  OVAdSettings::setLogLevel(3);
  for (const std::int64_t level : {std::int64_t{-1}, std::int64_t{7}, std::int64_t{100},
                                   std::numeric_limits<std::int64_t>::min()}) {
    environment_.clearLines();
    const auto before = defaultsActivity();
    OVAdSettings::setLogLevel(level);
    EXPECT_EQ(OVAdSettings::getLogLevel(), 3) << level;
    EXPECT_EQ(defaultsActivity(), before) << level << ": nothing written";
    EXPECT_EQ(environment_.count("<error>] Log level " + std::to_string(level) +
                                 " refused: the levels run from 0 (nothing) to 6 (everything)"),
              1U)
        << level;
  }
  OVAdSettings::setLogLevel(0);
  OVAdSettings::setLogLevel(6);
  EXPECT_EQ(OVAdSettings::getLogLevel(), 6) << "both ends are levels";
  environment_.relaunch();
  EXPECT_EQ(OVAdSettings::getLogLevel(), 6);
}

TEST_F(OVAdSettingsTest, TheLogLevelIsReadOncePerProcess) {
  environment_.defaults()->setInteger("ov_px_log_lv", 4);
  EXPECT_EQ(OVAdSettings::getLogLevel(), 4);
  environment_.defaults()->setInteger("ov_px_log_lv", 6);
  EXPECT_EQ(OVAdSettings::getLogLevel(), 4);
}

TEST_F(OVAdSettingsTest, APrefixSendsTrafficToTheSandboxAndSwitchesCertificateValidation) {
  std::vector<bool> validationDisabled;
  OVAdSettingsInternal::setSSLValidationHook([&validationDisabled](bool disabled) {
    validationDisabled.push_back(disabled);
  });
  const auto before = defaultsActivity();

  OVAdSettings::setUrlPrefix("sb");
  EXPECT_EQ(OVAdSettings::urlPrefix(), "sb");
  EXPECT_EQ(OVAdSettings::getDeliveryEndpoint(), kSandboxEndpoint);
  EXPECT_EQ(OVAdSettings::getWebviewBaseURL(), "https://ads.sb.plexora.example/");
  EXPECT_EQ(environment_.defaults()->stringForKey("ov_px_url_prefix"), "sb");

  OVAdSettings::setUrlPrefix("");
  EXPECT_EQ(OVAdSettings::urlPrefix(), std::nullopt);
  EXPECT_EQ(OVAdSettings::getDeliveryEndpoint(), kProductionEndpoint);
  EXPECT_EQ(environment_.defaults()->objectForKey("ov_px_url_prefix"), std::nullopt);

  EXPECT_EQ(validationDisabled, (std::vector<bool>{true, false}));
  EXPECT_EQ(defaultsActivity().second, before.second + 2) << "each change is synchronised";
}

TEST_F(OVAdSettingsTest, APrefixSetOnTheFirstRunReachesTheDiskBeforeTheFolderExists) {
  const std::string path =
      (std::filesystem::path(environment_.defaultsPath()).parent_path() / "first-run" / "UserDefaults.plist").string();
  platform::setUserDefaultsPath(path);
  platform::UserDefaults::resetStandardUserDefaults(path);

  OVAdSettings::setUrlPrefix("sb");
  EXPECT_EQ(platform::UserDefaults(path).stringForKey("ov_px_url_prefix"), "sb");
  OVAdSettings::setUrlPrefix("");
  EXPECT_EQ(platform::UserDefaults(path).objectForKey("ov_px_url_prefix"), std::nullopt);
}

TEST_F(OVAdSettingsTest, AStoredPrefixAppliesFromLaunch) {
  environment_.defaults()->setString("ov_px_url_prefix", "sb");
  EXPECT_EQ(OVAdSettings::getDeliveryEndpoint(), kSandboxEndpoint);
}

TEST_F(OVAdSettingsTest, BaseURLWithDefaultFillsTheFormatOnlyWhileAPrefixIsSet) {
  EXPECT_EQ(OVAdSettings::getBaseURLWithDefault("https://log.example/", "https://log.%s.example/a%%20b"),
            "https://log.example/");
  OVAdSettings::setUrlPrefix("p");
  EXPECT_EQ(OVAdSettings::getBaseURLWithDefault("https://log.example/", "https://log.%s.example/a%%20b"),
            "https://log.p.example/a%20b");
}

TEST_F(OVAdSettingsTest, TheAdServerBaseURLCanPointAtADevelopmentServer) {
  EXPECT_TRUE(OVAdSettings::setAdServerBaseURL("http://127.0.0.1:8080/"));
  EXPECT_EQ(OVAdSettings::getDeliveryEndpoint(), "http://127.0.0.1:8080/network_ads_common/");
  // An address has no label to carry the prefix.
  OVAdSettings::setUrlPrefix("sb");
  EXPECT_EQ(OVAdSettings::getDeliveryEndpoint(), "http://127.0.0.1:8080/network_ads_common/");

  for (const char* refused : {"", "not a url", "ftp://files.example/", "/relative/"}) {
    EXPECT_FALSE(OVAdSettings::setAdServerBaseURL(refused)) << refused;
  }
  EXPECT_EQ(OVAdSettings::adServerBaseURL(), "http://127.0.0.1:8080/");
}

TEST(OVAdSettingsPrefixFormatTest, ThePrefixGoesAfterTheFirstLabelOfTheHost) {
  const std::pair<const char*, const char*> cases[] = {
      {"https://ads.plexora.example/", "https://ads.%s.plexora.example/"},
      {"https://user@ads.example.com:8443/a%20b/", "https://user@ads.%s.example.com:8443/a%%20b/"},
      {"https://ads.example.com", "https://ads.%s.example.com"},
      {"http://127.0.0.1:8080/", "http://127.0.0.1:8080/"},
      {"http://localhost:8080/", "http://localhost:8080/"},
      {"http://[::1]:8080/", "http://[::1]:8080/"},
      {"no url", "no url"},
  };
  for (const auto& [base, format] : cases) {
    EXPECT_EQ(OVAdSettingsInternal::prefixedHostFormat(base), format) << base;
  }
}

TEST_F(OVAdSettingsTest, InMemoryOptionsKeepWhatTheHostSets) {
  OVAdSettings::setIsChildDirected(true);
  OVAdSettings::setBackgroundVideoPlaybackAllowed(true);
  OVAdSettings::setMediationService("mediator");
  OVAdSettings::setMediaViewRenderingMethod(2);
  OVAdSettings::setTestAdType(5);
  const auto before = defaultsActivity();
  EXPECT_TRUE(OVAdSettings::isChildDirected());
  EXPECT_TRUE(OVAdSettings::isBackgroundVideoPlaybackAllowed());
  EXPECT_EQ(OVAdSettings::getMediationService(), "mediator");
  EXPECT_EQ(OVAdSettings::mediaViewRenderingMethod(), 2);
  EXPECT_EQ(OVAdSettings::testAdType(), 5);

  environment_.relaunch();
  EXPECT_FALSE(OVAdSettings::isChildDirected());
  EXPECT_EQ(OVAdSettings::getMediationService(), "");
  EXPECT_EQ(defaultsActivity().first, before.first);
}

// The session renewal, driven by the application's notifications under a
// clock that starts long after boot.
class OVAdSessionTest : public OVAdSettingsTest {
 protected:
  void post(const char* notification) {
    platform::NotificationCenter::defaultCenter().post(notification);
    platform::MainLoop::instance().runOnce(0.0);
  }
  void enterBackground() { post(platform::kApplicationDidEnterBackgroundNotification); }
  void becomeActive() { post(platform::kApplicationDidBecomeActiveNotification); }

  std::shared_ptr<platform::ManualClock> clock_ = std::make_shared<platform::ManualClock>(1.7e9, 1000.0);
  platform::ScopedClock scopedClock_{clock_};
};

TEST_F(OVAdSessionTest, TheIdentifierIsUUIDText) {
  const std::string identifier = OVAdSettings::sessionID();
  ASSERT_EQ(identifier.size(), 36U);
  EXPECT_EQ(identifier, OVAdSettings::sessionID());
  OVAdSettings::resetSessionID();
  EXPECT_NE(OVAdSettings::sessionID(), identifier);
}

TEST_F(OVAdSessionTest, MoreThan300SecondsInTheBackgroundStartAnewSession) {
  const std::string first = OVAdSettings::sessionID();
  enterBackground();
  clock_->advance(299.0);
  becomeActive();
  EXPECT_EQ(OVAdSettings::sessionID(), first);

  enterBackground();
  clock_->advance(301.0);
  becomeActive();
  EXPECT_NE(OVAdSettings::sessionID(), first);
}

TEST_F(OVAdSessionTest, BecomingActiveWithoutABackgroundStayKeepsTheSession) {
  const std::string first = OVAdSettings::sessionID();
  // Launch: active long after boot, never in the background.
  becomeActive();
  EXPECT_EQ(OVAdSettings::sessionID(), first);

  enterBackground();
  clock_->advance(400.0);
  becomeActive();
  const std::string second = OVAdSettings::sessionID();
  EXPECT_NE(second, first);
  // An interruption without a background stay, long after that.
  clock_->advance(400.0);
  becomeActive();
  EXPECT_EQ(OVAdSettings::sessionID(), second);
}

TEST_F(OVAdSessionTest, NotificationsBeforeTheFirstRequestRenewNothing) {
  enterBackground();
  clock_->advance(400.0);
  becomeActive();
  const std::string first = OVAdSettings::sessionID();
  becomeActive();
  EXPECT_EQ(OVAdSettings::sessionID(), first);
}

}  // namespace
}  // namespace plexora
