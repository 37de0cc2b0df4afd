// The main-thread rule of the public calls, enforced in every build: a
// call from another thread ends the process at once with a
// message naming the call, instead of racing the main loop.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "controllers/DisplayAdTestWorld.h"
#include "platform/foundation/Paths.h"
#include "plexora/OVAdSize.h"
#include "plexora/OVAdView.h"
#include "plexora/OVMediaView.h"
#include "plexora/OVNativeAd.h"
#include "plexora/OVNativeAdsManager.h"
#include "support/TempDir.h"

namespace plexora {
namespace {

void onWorkerThread(const std::function<void()>& call) { std::thread(call).join(); }

struct OffMainCase {
  const char* call;
  // Made on the main thread; the call under test runs on a worker.
  std::function<std::function<void()>()> prepare;
};

class PublicCallsMainThreadTest : public ::testing::Test {
 protected:
  PublicCallsMainThreadTest() {
    // Each death test runs in a fresh process started for it rather than in
    // a fork of this one, whose other threads a fork would leave behind.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    platform::setCachesDirectory(caches_.path().string());
  }
  ~PublicCallsMainThreadTest() override {
    testing::DisplayAdTestWorld::settle();
    platform::setCachesDirectory("");
  }

  testing::DisplayAdTestWorld world_;
  testing::TempDir caches_;
};

TEST_F(PublicCallsMainThreadTest, ACallFromAWorkerEndsTheProcessNamingTheCall) {
  const OffMainCase cases[] = {
      {"OVAdView::initWithPlacementID",
       [] { return [] { OVAdView::initWithPlacementID("banner", kOVAdSize320x50, nullptr); }; }},
      {"OVAdView::loadAd",
       [] {
         auto banner = OVAdView::initWithPlacementID("banner", kOVAdSize320x50, nullptr);
         return [banner] { banner->loadAd(); };
       }},
      {"OVAdView::setDelegate",
       [] {
         auto banner = OVAdView::initWithPlacementID("banner", kOVAdSize320x50, nullptr);
         return [banner] { banner->setDelegate({}); };
       }},
      {"OVNativeAd::loadAd",
       [] {
         auto ad = OVNativeAd::initWithPlacementID("native");
         return [ad] { ad->loadAd(); };
       }},
      {"OVNativeAdsManager::loadAds",
       [] {
         auto manager = OVNativeAdsManager::initWithPlacementID("native", 2);
         return [manager] { manager->loadAds(); };
       }},
      {"OVMediaView::initWithNativeAd",
       [] {
         auto ad = OVNativeAd::initWithPlacementID("native");
         return [ad] { OVMediaView::initWithNativeAd(ad); };
       }},
  };
  for (const OffMainCase& test : cases) {
    SCOPED_TRACE(test.call);
    EXPECT_DEATH(onWorkerThread(test.prepare()), std::string(test.call) + " called off the main thread");
  }
}

}  // namespace
}  // namespace plexora
