// The library's user agent: its format, and the one fetch of the web view's
// agent per process with its callers on and off the main thread.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "platform/device/DeviceProvider.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/foundation/MainBundle.h"
#include "platform/web/HeadlessWebView.h"
#include "util/FakeDeviceProvider.h"
#include "util/OVAdDevice.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

using platform::DispatchQueue;

constexpr const char* kWebAgent = "Mozilla/5.0 (Test; Engine) Web/1";

platform::DeviceProfile phoneProfile() {
  platform::DeviceProfile profile = testing::testDeviceProfile();
  profile.machine = "iPhone9,1";
  profile.hardwareModel = "iPhone";
  profile.systemName = "iOS";
  profile.systemVersion = "10.3";
  profile.localeIdentifier = "en_US";
  return profile;
}

TEST(OVAdUserAgentFormatTest, FillsTheBracketWithTheFactsInOrder) {
  const OVAdUserAgentFacts facts{"iPhone9,1", "iPhone", "iOS", "10.3", "en_US", "9.8.7", "B", "1.2", "45"};
  EXPECT_EQ(OVAdUtility::userAgentStringWithFacts("W", facts),
            "W [OVPX/PlexoraForiOS;OVDV/iPhone9,1;OVMD/iPhone;OVSN/iOS;OVSV/10.3;OVLC/en_US;OVVS/9.8.7;OVAB/B;"
            "OVAV/1.2;OVBV/45]");
}

TEST(OVAdUserAgentFormatTest, CleansOnlyTheDeviceEntriesAndTheLocale) {
  const OVAdUserAgentFacts facts{"a/b", "m;n", "i/O;S", "10/3", "en;US", "1/2", "com/x;y", "1;2", "4/5"};
  EXPECT_EQ(OVAdUtility::userAgentStringWithFacts("Web/1 (X; Y) %s", facts),
            "Web/1 (X; Y) %s [OVPX/PlexoraForiOS;OVDV/a-b;OVMD/m-n;OVSN/i-O-S;OVSV/10-3;OVLC/en-US;OVVS/1/2;"
            "OVAB/com/x;y;OVAV/1;2;OVBV/4/5]");
}

TEST(OVAdUserAgentFormatTest, MissingEntriesReadNull) {
  const OVAdUserAgentFacts facts{std::nullopt, std::nullopt, "iOS", "10.3", "en_US", "1", std::nullopt,
                                 std::nullopt, std::nullopt};
  EXPECT_EQ(OVAdUtility::userAgentStringWithFacts("W", facts),
            "W [OVPX/PlexoraForiOS;OVDV/(null);OVMD/(null);OVSN/iOS;OVSV/10.3;OVLC/en_US;OVVS/1;OVAB/(null);"
            "OVAV/(null);OVBV/(null)]");
}

class OVAdUtilityWebUserAgentTest : public ::testing::Test {
 protected:
  OVAdUtilityWebUserAgentTest() {
    OVAdDevice::resetCache();
    OVAdUtility::resetUserAgentForTesting();
    platform::HeadlessWebView::setUserAgent(kWebAgent);
    platform::setMainBundleInfo({"B", "1.2", "45"});
  }
  ~OVAdUtilityWebUserAgentTest() override {
    DispatchQueue::settle();
    OVAdUtility::resetUserAgentForTesting();
    platform::HeadlessWebView::setUserAgent("");
    platform::HeadlessWebView::setAnswer(platform::HeadlessWebViewAnswer::UserAgent);
    OVAdDevice::resetCache();
    platform::setMainBundleInfo({});
  }

  static std::string expectedAgent() {
    return std::string(kWebAgent) +
           " [OVPX/PlexoraForiOS;OVDV/iPhone9,1;OVMD/iPhone;OVSN/iOS;OVSV/10.3;OVLC/en_US;OVVS/" +
           kOVAdLibraryVersion + ";OVAB/B;OVAV/1.2;OVBV/45]";
  }

  platform::ScopedDeviceProvider scopedProvider_{std::make_shared<testing::FakeDeviceProvider>(phoneProfile())};
};

// What one caller's block received.
struct Answer {
  std::atomic<int> calls{0};
  std::optional<std::string> userAgent;
  bool onMainThread = false;

  OVAdUtility::UserAgentBlock block() {
    return [this](const std::optional<std::string>& answer) {
      userAgent = answer;
      onMainThread = DispatchQueue::isMainThread();
      ++calls;
    };
  }
};

TEST_F(OVAdUtilityWebUserAgentTest, GeneratesFromTheDeviceFacts) {
  EXPECT_EQ(OVAdUtility::generateUserAgentStringFromRawString(std::string(kWebAgent)), expectedAgent());
  EXPECT_EQ(OVAdUtility::generateUserAgentStringFromRawString(std::nullopt), std::nullopt);
}

TEST_F(OVAdUtilityWebUserAgentTest, OneFetchAnswersItsCallerAndThenEveryCallerAtOnce) {
  Answer first;
  OVAdUtility::currentUserAgentWithBlock(first.block());
  EXPECT_EQ(first.calls, 0) << "the web view answers through the main queue";

  Answer whileFetching;
  std::thread([&] { OVAdUtility::currentUserAgentWithBlock(whileFetching.block()); }).join();

  ASSERT_TRUE(DispatchQueue::settle());
  EXPECT_EQ(first.calls, 1);
  EXPECT_EQ(first.userAgent, expectedAgent());
  EXPECT_TRUE(first.onMainThread);
  EXPECT_EQ(whileFetching.calls, 0) << "a caller during the fetch is not answered";

  Answer later;
  bool answeredBeforeReturn = false;
  std::thread([&] {
    OVAdUtility::currentUserAgentWithBlock(later.block());
    answeredBeforeReturn = later.calls == 1;
  }).join();
  EXPECT_TRUE(answeredBeforeReturn);
  EXPECT_FALSE(later.onMainThread);
  EXPECT_EQ(later.userAgent, expectedAgent());
}

TEST_F(OVAdUtilityWebUserAgentTest, AFirstCallerOffTheMainThreadWaitsForTheFetchToStartThere) {
  Answer offMain;
  std::atomic<bool> returned{false};
  std::thread caller([&] {
    OVAdUtility::currentUserAgentWithBlock(offMain.block());
    returned = true;
  });
  EXPECT_TRUE(platform::MainLoop::instance().runUntil([&] { return returned.load(); }, 5.0));
  caller.join();

  ASSERT_TRUE(DispatchQueue::settle());
  EXPECT_EQ(offMain.calls, 1);
  EXPECT_EQ(offMain.userAgent, expectedAgent());
  EXPECT_TRUE(offMain.onMainThread);
}

TEST_F(OVAdUtilityWebUserAgentTest, AFailedFetchAnswersNoneOnceAndIsNotRepeated) {
  platform::HeadlessWebView::setAnswer(platform::HeadlessWebViewAnswer::NonString);
  Answer first;
  OVAdUtility::currentUserAgentWithBlock(first.block());
  ASSERT_TRUE(DispatchQueue::settle());
  EXPECT_EQ(first.calls, 1);
  EXPECT_EQ(first.userAgent, std::nullopt);

  platform::HeadlessWebView::setAnswer(platform::HeadlessWebViewAnswer::UserAgent);
  Answer again;
  OVAdUtility::currentUserAgentWithBlock(again.block());
  ASSERT_TRUE(DispatchQueue::settle());
  EXPECT_EQ(again.calls, 0);
}

}  // namespace
}  // namespace plexora
