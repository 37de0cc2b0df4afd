#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/device/DeviceProvider.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/foundation/Exception.h"
#include "platform/foundation/NotificationCenter.h"
#include "plexora/OVAdSettings.h"
#include "tracking/OVAdClientEventManager.h"
#include "util/OVAdUtility.h"
#include "util/SettingsTestEnvironment.h"

namespace plexora {
namespace {

using platform::Dictionary;
using platform::Value;

class OVAdUtilityLifecycleTest : public ::testing::Test {
 protected:
  static void post(const char* notification) {
    platform::NotificationCenter::defaultCenter().post(notification);
    platform::MainLoop::instance().runOnce(0.0);
  }

  testing::SettingsTestEnvironment environment_;
};

TEST_F(OVAdUtilityLifecycleTest, BlocksRunForTheirNotificationsUntilObservingStops) {
  int backgrounds = 0;
  int foregrounds = 0;
  const auto observer = std::make_shared<int>(0);
  OVAdUtility::startObservingBackgroundNotifications(observer, [&backgrounds] { ++backgrounds; },
                                                     [&foregrounds] { ++foregrounds; });
  post(platform::kApplicationDidEnterBackgroundNotification);
  post(platform::kApplicationWillEnterForegroundNotification);
  post(platform::kApplicationDidBecomeActiveNotification);
  EXPECT_EQ(backgrounds, 1);
  EXPECT_EQ(foregrounds, 1);

  OVAdUtility::stopObservingBackgroundNotifications(observer.get());
  post(platform::kApplicationDidEnterBackgroundNotification);
  post(platform::kApplicationDidBecomeActiveNotification);
  EXPECT_EQ(backgrounds, 1);
  EXPECT_EQ(foregrounds, 1);
}

TEST_F(OVAdUtilityLifecycleTest, BlocksStopWithTheirObserver) {
  int calls = 0;
  auto observer = std::make_shared<int>(0);
  OVAdUtility::startObservingBackgroundNotifications(observer, [&calls] { ++calls; }, [&calls] { ++calls; });
  observer.reset();
  post(platform::kApplicationDidEnterBackgroundNotification);
  post(platform::kApplicationDidBecomeActiveNotification);
  EXPECT_EQ(calls, 0);
}

TEST_F(OVAdUtilityLifecycleTest, AUsageExceptionIsReportedAndThrown) {
  OVAdClientEventManager::dumpClientEventsToJson();
  try {
    OVAdUtility::throwExceptionWithName("InvalidOperationException", "placementID cannot be nil",
                                        Value(Dictionary{{"k", "v"}}));
    ADD_FAILURE() << "no exception";
  } catch (const platform::Exception& exception) {
    EXPECT_EQ(exception.name(), "InvalidOperationException");
    EXPECT_EQ(exception.reason(), "placementID cannot be nil");
    EXPECT_EQ(exception.userInfo(), Value(Dictionary{{"k", "v"}}));
  }
  EXPECT_EQ(OVAdClientEventManager::clientEvents().nonConcurrentCopy().size(), 1U);
  const std::string reported = OVAdClientEventManager::dumpClientEventsToJson();
  EXPECT_NE(reported.find(R"("ex":"InvalidOperationException")"), std::string::npos) << reported;
  EXPECT_NE(reported.find("placementID cannot be nil"), std::string::npos) << reported;
}

TEST_F(OVAdUtilityLifecycleTest, DebugMessagesAppearOnlyOnATestDevice) {
  OVAdSettings::setLogLevel(1);
  OVAdUtility::displayDebugMessage("shown %d", 1);
  EXPECT_EQ(environment_.count("(displayed for test ads only)"), 0U);

  OVAdSettings::addTestDevice(OVAdSettings::testDeviceHash());
  OVAdUtility::displayDebugMessage("shown %d", 2);
  OVAdUtility::displayVerboseDebugMessage("verbose %d", 3);
  EXPECT_EQ(environment_.count("] shown 2 (displayed for test ads only)"), 1U);
  EXPECT_EQ(environment_.count("verbose 3"), 0U);

  OVAdSettings::setLogLevel(6);
  OVAdUtility::displayVerboseDebugMessage("verbose %d", 4);
  EXPECT_EQ(environment_.count(" <verbose>] verbose 4 (displayed for test ads only)"), 1U);
}

TEST(OVAdUtilityUserAgentTest, CleaningReplacesSlashesAndSemicolons) {
  EXPECT_EQ(OVAdUtility::cleanUserAgentString("Linux/6.8;x86_64"), "Linux-6.8-x86_64");
  EXPECT_EQ(OVAdUtility::cleanUserAgentString("plain"), "plain");
}

TEST(OVAdUtilityUserAgentTest, TheLocaleFollowsTheDeviceAndFallsBackToUSEnglish) {
  const auto provider = platform::DeviceProvider::current();
  const platform::DeviceProfile previous = provider->profile();
  provider->updateProfile([](platform::DeviceProfile& profile) { profile.localeIdentifier = "de_CH"; });
  EXPECT_EQ(OVAdUtility::currentLocale(), "de_CH");
  provider->updateProfile([](platform::DeviceProfile& profile) { profile.localeIdentifier.clear(); });
  EXPECT_EQ(OVAdUtility::currentLocale(), "en_US");
  provider->setProfile(previous);
}

}  // namespace
}  // namespace plexora
