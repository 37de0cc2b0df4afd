// The container over the synchronous web view in the real web engine: the
// fixture banner's markup loads and its AdControl bridge is defined in the
// page, and a page whose ad command runs past the script timeout costs the main thread the
// script timeout once and is reported as a failed load. Real clock and main
// loop; the engine's helper processes make every wait generous.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "adapters/views/contentcontainer/OVAdWebContentContainer.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/value/Value.h"
#include "plexora/OVAdErrorDomain.h"
#include "support/EngineWaits.h"
#include "testserver/adserver/FixtureLibrary.h"

namespace plexora::testing {
namespace {

class Owner final : public OVAdContentContainerDelegate, public OVAdViewNavigationPolicy {
 public:
  void adDidLoad() override { ++loads; }
  void adWillLogImpression() override {}
  void adDidFailToLoadWithError(const platform::Error& error) override { failures.push_back(error); }
  bool processRequestURL(const platform::URL&, const std::shared_ptr<OVAdDataModel>&, const platform::Value&) override {
    return true;
  }
  bool isModalViewPresenting() const override { return false; }
  void setModalViewPresenting(bool) override {}

  int loads = 0;
  std::vector<platform::Error> failures;
};

// The first ad of the fixture banner: its markup and activation command.
struct FixtureAd {
  std::string markup;
  std::string activationCommand;
};

FixtureAd fixtureBanner() {
  const auto text = testserver::FixtureLibrary(testserver::FixtureLibrary::defaultDirectory()).read("banner");
  EXPECT_TRUE(text.has_value());
  const platform::Value document = platform::parseJSON(text.value_or("")).value_or(platform::Value());
  const platform::Value* data = nullptr;
  if (const auto* placements = document.find("placements"); placements && placements->at(0)) {
    if (const auto* ads = placements->at(0)->find("ads"); ads && ads->at(0)) data = ads->at(0)->find("data");
  }
  EXPECT_NE(data, nullptr);
  if (data == nullptr) return {};
  return {data->find("markup")->asString(), data->find("activation_command")->asString()};
}

class SyncContainerInEngineTest : public ::testing::Test {
 protected:
  SyncContainerInEngineTest() { container_->setDelegate(owner_); }

  std::shared_ptr<Owner> owner_ = std::make_shared<Owner>();
  std::shared_ptr<OVAdWebContentContainer> container_ =
      OVAdWebContentContainer::initWithAdView(owner_, {320, 50}, kOVAdSize320x50);
};

TEST_F(SyncContainerInEngineTest, TheFixtureBannerLoadsAndItsPageSeesTheBridge) {
  const FixtureAd ad = fixtureBanner();
  ASSERT_FALSE(ad.markup.empty());
  container_->setFrame({{0, 0}, {320, 50}});
  ASSERT_TRUE(container_->loadAdMarkup(ad.markup, ad.activationCommand));
  ASSERT_TRUE(waitFor([&] { return container_->isJavascriptAdControlInitialized() || !owner_->failures.empty(); }));
  ASSERT_TRUE(owner_->failures.empty()) << owner_->failures.front().localizedDescription();
  EXPECT_GE(owner_->loads, 1);
  EXPECT_FALSE(container_->getView()->isHidden());

  const auto answer = container_->webView()->evaluateJavaScript("typeof AdControl.getAnalogInfo");
  ASSERT_TRUE(std::holds_alternative<platform::Value>(answer));
  EXPECT_EQ(std::get<platform::Value>(answer).text(), "function");
}

TEST_F(SyncContainerInEngineTest, AnAdCommandThatOutlastsTheTimeoutIsOneBoundedStallAndAFailedLoad) {
  // Spins well past the timeout, then ends, so the engine can close the
  // page when the test is done.
  ASSERT_TRUE(container_->loadAdMarkup("<p>spinning</p>", "var end = Date.now() + 4000; while (Date.now() < end) {}"));
  ASSERT_TRUE(waitFor([&] { return owner_->loads > 0; }));
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(waitFor([&] { return !owner_->failures.empty(); }));
  const double stalled = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(stalled, OVAdWebContentContainer::kScriptTimeout * 2 + 5.0) << "bounded by the script timeout";
  EXPECT_EQ(owner_->failures.front().code(), kOVAdErrorCodeInternalError);
  EXPECT_FALSE(container_->isJavascriptAdControlInitialized());

  // The main loop still serves its queue.
  bool served = false;
  platform::DispatchQueue::main()->async([&] { served = true; });
  EXPECT_TRUE(waitFor([&] { return served; }));
  EXPECT_EQ(owner_->failures.size(), 1u);
}

}  // namespace
}  // namespace plexora::testing
