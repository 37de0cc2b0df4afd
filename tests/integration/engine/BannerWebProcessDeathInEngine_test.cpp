// Banners whose shared web process dies in the real engine: each banner
// hears its page failed, nothing of the dead pages is counted, and the
// refresh schedule brings each back in one new web process. Real clock and
// main loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "OVAdViewInternal.h"
#include "adapters/views/contentcontainer/OVAdWebKitContentContainer.h"
#include "integration/engine/BannerInEngineFixture.h"
#include "platform/dispatch/MainLoop.h"
#include "plexora/OVAdView.h"
#include "support/EngineWaits.h"
#include "support/WebProcesses.h"
#include "testserver/adserver/AdAnswer.h"
#include "testserver/adserver/FixtureLibrary.h"

namespace plexora::testing {
namespace {

constexpr const char* kPlacement = "banner";
constexpr int kBanners = 2;
// Seconds: short, so the test sees a refresh; long enough for the kill to
// come first.
constexpr int kRefreshSeconds = 3;
// How long a dead page is given to (wrongly) count an impression once its
// banner is on screen: several of the fixture's viewability checks.
constexpr double kQuietSeconds = 1.5;

// The fixture banner, refreshing every few seconds without a threshold.
std::string quicklyRefreshingBanner() {
  std::string text =
      testserver::FixtureLibrary(testserver::FixtureLibrary::defaultDirectory()).read(kPlacement).value_or("");
  const auto replace = [&text](const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
  };
  replace("\"refresh\": 30,", "\"refresh\": " + std::to_string(kRefreshSeconds) + ",");
  replace("\"refresh_threshold\": 20,", "\"refresh_threshold\": 0,");
  return text;
}

std::shared_ptr<OVAdWebKitContentContainer> containerOf(const std::shared_ptr<OVAdView>& banner) {
  const auto ad = std::dynamic_pointer_cast<OVAdViewInternal>(banner->adView());
  return ad ? std::dynamic_pointer_cast<OVAdWebKitContentContainer>(ad->adContentContainer()) : nullptr;
}

bool bridged(const std::shared_ptr<OVAdWebKitContentContainer>& container) {
  return container && container->isJavascriptAdControlInitialized();
}

std::set<long> added(const std::set<long>& after, const std::set<long>& before) {
  std::set<long> result;
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::inserter(result, result.end()));
  return result;
}

int impressionsLogged(testserver::AdServer& server) {
  const auto events = server.logging().events();
  return static_cast<int>(
      std::count_if(events.begin(), events.end(), [](const auto& event) { return event.type == "impression"; }));
}

using BannerWebProcessDeathInEngineTest = BannerInEngineFixture;

TEST_F(BannerWebProcessDeathInEngineTest, BannersFailWithTheirProcessCountNothingOfItAndComeBackOnRefresh) {
  server_.setAnswer(kPlacement, testserver::AdAnswer::document(quicklyRefreshingBanner()));

  // Off screen, the banners load but are never viewable: nothing counts an
  // impression before the kill.
  std::vector<std::shared_ptr<CountingAdViewDelegate>> delegates;
  std::vector<std::shared_ptr<OVAdView>> banners;
  std::vector<std::shared_ptr<OVAdWebKitContentContainer>> deadContainers;
  for (int index = 0; index < kBanners; ++index) {
    delegates.push_back(std::make_shared<CountingAdViewDelegate>());
    banners.push_back(OVAdView::initWithPlacementID(kPlacement, kOVAdSize320x50, root_));
    banners.back()->setDelegate(delegates.back());
    banners.back()->setFrame({{0, 100.0 + 60.0 * index}, banners.back()->frame().size});
    banners.back()->loadAd();
  }
  ASSERT_TRUE(waitFor([&] {
    return std::all_of(banners.begin(), banners.end(), [](const auto& banner) { return bridged(containerOf(banner)); });
  }));
  for (const auto& banner : banners) deadContainers.push_back(containerOf(banner));
  // The banners' shared process, and any other a test before left behind.
  killProcesses(webProcesses());

  ASSERT_TRUE(waitFor([&] {
    return std::all_of(delegates.begin(), delegates.end(),
                       [](const auto& delegate) { return !delegate->errors.empty(); });
  }));
  for (std::size_t index = 0; index < deadContainers.size(); ++index) {
    EXPECT_FALSE(deadContainers[index]->isJavascriptAdControlInitialized()) << index;
    EXPECT_EQ(delegates[index]->errors.size(), 1u) << index;
  }

  // On screen now: the dead pages count nothing.
  for (const auto& banner : banners) window_->addSubview(banner);
  platform::MainLoop::instance().runUntil([] { return false; }, kQuietSeconds);
  for (std::size_t index = 0; index < deadContainers.size(); ++index) {
    EXPECT_FALSE(deadContainers[index]->hasLoggedImpression()) << index;
    EXPECT_EQ(delegates[index]->impressions, 0) << index;
  }
  EXPECT_EQ(impressionsLogged(server_), 0);

  // The refresh loads each banner again, both in one new web process, and
  // their live pages count their impressions.
  const std::set<long> survivors = webProcesses();
  ASSERT_TRUE(waitFor([&] {
    return std::all_of(delegates.begin(), delegates.end(),
                       [](const auto& delegate) { return delegate->impressions > 0; });
  }));
  for (std::size_t index = 0; index < banners.size(); ++index) {
    const auto container = containerOf(banners[index]);
    EXPECT_NE(container, deadContainers[index]) << index;
    EXPECT_TRUE(bridged(container)) << index;
  }
  EXPECT_EQ(added(webProcesses(), survivors).size(), 1u) << "both banners in one new web process";
  EXPECT_TRUE(waitFor([&] { return impressionsLogged(server_) >= kBanners; }));
}

}  // namespace
}  // namespace plexora::testing
