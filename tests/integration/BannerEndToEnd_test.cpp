// A banner from end to end on the manual clock: the fixture placement loads
// from the loopback ad server, its page reports loaded, the viewability
// checks pass, the impression reaches the logging endpoint with the
// validator's figures, a click link runs through the command processor to
// the in-app browser, and the server's refresh interval replaces the ad.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "BannerTestSupport.h"
#include "adapters/OVAdDataModel.h"
#include "support/doubles/FakeBrowser.h"
#include "tracking/OVAdEventManager.h"
#include "util/OVAdUtility.h"
#include "util/database/OVAdDatabaseManager.h"

namespace plexora::testing {
namespace {

constexpr const char* kFixturePlacement = "banner";
constexpr const char* kClickLink = "ovad://open_link?link=https%3A%2F%2Fshop.plexora.test%2Fspring";

class BannerEndToEndTest : public BannerTest {
 protected:
  BannerEndToEndTest() { events_ = world_.makeEventManager(caches_ / "events.sqlite"); }

  std::optional<platform::Dictionary> loggedEvent(const std::string& type) const {
    for (const auto& event : world_.loggedEvents()) {
      if (event.find("type") && event.find("type")->text() == type) return event;
    }
    return std::nullopt;
  }

  std::shared_ptr<OVAdEventManager> events_;
  std::shared_ptr<std::vector<FakeSafariPresenter::Presentation>> presentations_ =
      std::make_shared<std::vector<FakeSafariPresenter::Presentation>>();
  OVAdSafariViewController::Presenter::Scope browserScope_ = FakeSafariPresenter::install(presentations_);
};

TEST_F(BannerEndToEndTest, AFixtureBannerLoadsIsSeenIsClickedAndIsReplacedOnTheServersInterval) {
  const auto banner = placeBanner(kOVAdSize320x50, kFixturePlacement);
  banner->loadAd();
  const auto page = containerAt(0);
  ASSERT_TRUE(page);
  ASSERT_EQ(page->offsiteAd()->inlineClientToken(), "ct-banner-1");
  const auto firstAd = internalOf(banner);
  ASSERT_TRUE(firstAd);
  firstAd->commandHandler()->setEventManager(events_);
  // The page sends its impression with the validator's figures, as the web
  // container does.
  page->onImpressionLogged = [this](FakeContentContainer& container) {
    const auto validator = container.delegate()->contentContainerViewabilityValidator();
    ASSERT_TRUE(validator);
    events_->logImpressionForToken(
        *container.offsiteAd()->inlineClientToken(),
        platform::Dictionary{
            {"vrc", std::to_string(static_cast<std::int64_t>(validator->currentStatus()))},
            {"vp", platform::Value(validator->lastViewabilityPercentage()).text().value_or("")},
            {"vh", validator->viewabilityHistoryJSON()},
        });
  };
  page->setImpressionReady(true);
  page->finishLoad();
  DisplayAdTestWorld::settle();
  EXPECT_FALSE(firstAd->isHidden());
  EXPECT_TRUE(banner->isAdValid());

  // The fixture asks for two passing checks 250 ms apart after 500 ms.
  world_.clock().advance(0.5);
  DisplayAdTestWorld::settle();
  EXPECT_FALSE(firstAd->isImpressionSent());
  world_.clock().advance(0.25);
  DisplayAdTestWorld::settle();
  EXPECT_TRUE(firstAd->isImpressionSent());
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"loaded", "impression"}));

  // Past the configuration's immediate delay, the batch goes out.
  world_.clock().advance(0.5);
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return loggedEvent("impression").has_value(); }));
  const platform::Dictionary impression = *loggedEvent("impression");
  const platform::Dictionary& data = impression.find("data")->asDictionary();
  EXPECT_EQ(data.find("vrc")->text(), "1");
  EXPECT_EQ(data.find("vp")->text(), "1");
  EXPECT_EQ(data.find("vh")->text(), R"({"14":1,"1":1})");
  // The server records a request before its endpoint has answered it.
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return !world_.server().logging().events().empty(); }));
  const auto acknowledged = world_.server().logging().events();
  EXPECT_EQ(acknowledged[0].token, "ct-banner-1");
  ASSERT_TRUE(world_.waitForTrackerHits(1));
  EXPECT_TRUE(world_.trackerHit("banner-1-request").has_value());

  // A click link opens the in-app browser and counts as the ad's click.
  EXPECT_TRUE(page->tapLink(*platform::URL::parse(kClickLink)));
  ASSERT_EQ(presentations_->size(), 1u);
  EXPECT_EQ((*presentations_)[0].url.absoluteString(), "https://shop.plexora.test/spring");
  EXPECT_EQ((*presentations_)[0].inlineClientToken, "ct-banner-1");
  EXPECT_EQ(page->clicks.size(), 1u);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(delegate_->count("click"), 1u);
  world_.clock().advance(0.5);
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return loggedEvent("open_link").has_value(); }));

  // Back from the browser, the refresh runs on the server's 30 seconds.
  FakeSafariPresenter::dismiss((*presentations_)[0]);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(delegate_->count("finished"), 1u);
  world_.clock().advance(29.9);
  EXPECT_EQ(containers_->containers.size(), 1u);
  world_.clock().advance(0.1);
  const auto nextPage = containerAt(1);
  ASSERT_TRUE(nextPage);
  nextPage->finishLoad();
  DisplayAdTestWorld::settle();
  EXPECT_EQ(world_.server().adRequests().size(), 2u);
  EXPECT_EQ(delegate_->count("loaded"), 2u);
  EXPECT_NE(internalOf(banner), firstAd);
  EXPECT_EQ(firstAd->superview(), nullptr);
  EXPECT_EQ(banner->subviews().size(), 1u);
}

}  // namespace
}  // namespace plexora::testing
