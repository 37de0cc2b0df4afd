#include "adapters/OVAdCommandProcessor.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adapters/OVHTMLAdDataModel.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "plexora/OVAdSettings.h"
#include "support/doubles/FakeBrowser.h"
#include "testserver/adserver/AdServer.h"
#include "tracking/OVAdClientEventManager.h"
#include "tracking/OVAdEventManagerTestSupport.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

using platform::Application;
using platform::Dictionary;
using platform::URL;
using platform::Value;
using platform::ViewController;
using testing::FakeSafariPresenter;
using testing::FakeStoreProductViewController;

// The ad view that owns the processor: it presents from the key window's
// root controller and counts the times the user came back.
class Owner final : public OVAdCommandProcessorDelegate {
 public:
  void viewControllerDismissed(OVAdCommandProcessor&) override { ++dismissals; }
  std::optional<Value> commandProcessorTouchInformation(OVAdCommandProcessor&) override { return touch; }
  std::shared_ptr<OVAdViewControllerProxy> viewControllerForPresentingModalView() override { return presenter; }

  std::shared_ptr<OVAdViewControllerProxy> presenter;
  std::optional<Value> touch;
  int dismissals = 0;
};

struct Completion {
  OVAdCommand command;
  OVAdAction action;
  std::shared_ptr<OVAdDataModel> model;
};

// A processor logging through an event manager on a database of the test's
// own that sends to the loopback ad server's logging endpoint, on the
// manual clock, with a key window to present from.
class OVAdCommandProcessorTest : public testing::EventManagerTest {
 protected:
  void SetUp() override {
    EventManagerTest::SetUp();
    OVAdSettings::setLogLevel(6);
    platform::setCachesDirectory(caches_.path().string());
    adServer_.start();
    manager_.reset();
    loggingBaseURL_ = adServer_.baseURL();
    manager_ = makeManager();

    Application::shared()->reset();
    window_ = std::make_shared<platform::Window>();
    window_->setRootViewController(root_);
    window_->makeKeyAndVisible();
    owner_->presenter = OVAdViewControllerProxy::proxyWithViewController(root_);
    processor_->setDelegate(owner_);
    processor_->setEventManager(manager_);
    OVAdClientEventManager::dumpClientEventsToJson();
  }

  void TearDown() override {
    // A batch still on its way would be answered while the server is taken
    // down.
    EXPECT_TRUE(platform::MainLoop::instance().runUntil([&] { return manager_->eventsInTransit().empty(); },
                                                        testing::kNetworkWaitSeconds));
    processor_.reset();
    window_.reset();
    Application::shared()->reset();
    // The configuration is the process's: a test's switches must not reach
    // the next test.
    configure({});
    EventManagerTest::TearDown();
    platform::setCachesDirectory("");
  }

  void configure(Dictionary configuration) {
    OVAdConfigManager::sharedManager()->loadConfigurationFromDictionary(Value(std::move(configuration)));
  }

  bool run(const std::string& link, const Value& extraData = Value()) {
    const std::optional<URL> url = URL::parse(link);
    EXPECT_TRUE(url.has_value()) << link;
    const bool handled = processor_->processCommand(*url, extraData, model_, [this](OVAdCommand command,
                                                                                    OVAdAction action,
                                                                                    const auto& model) {
      completions_.push_back({command, action, model});
    });
    EXPECT_TRUE(platform::DispatchQueue::settle(testing::kNetworkWaitSeconds));
    return handled;
  }

  // The stored events' data, decoded.
  std::vector<std::pair<std::string, Value>> storedEvents() const {
    std::vector<std::pair<std::string, Value>> events;
    for (const testing::StoredEvent& event : stored()) {
      events.emplace_back(event.type, OVAdUtility::getObjectFromJSONString(event.data.value_or("null")).value_or(Value()));
    }
    return events;
  }

  // The client events waiting for the next request.
  static Value clientEvents() {
    return OVAdUtility::getObjectFromJSONString(OVAdClientEventManager::dumpClientEventsToJson()).value_or(Value());
  }

  // The action and the milliseconds away, as decimal texts.
  static void expectBounceback(const Value& event, const char* action, double milliseconds) {
    EXPECT_EQ(*event.find("name"), Value("bounceback"));
    EXPECT_EQ(*event.find("request_id"), Value("req-1"));
    const Value* data = event.find("data");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(*data->find("AdAction"), Value(action));
    const Value* time = data->find("Time");
    ASSERT_TRUE(time != nullptr && time->isString());
    EXPECT_NEAR(std::stod(time->asString()), milliseconds, 0.01);
  }

  std::vector<std::string> openedURLs() const {
    std::vector<std::string> texts;
    for (const URL& url : Application::shared()->openedURLs()) texts.push_back(url.absoluteString());
    return texts;
  }

  void awaitBatches(std::size_t count) {
    ASSERT_TRUE(adServer_.waitForRequests(count, std::chrono::seconds(10)));
    ASSERT_TRUE(platform::MainLoop::instance().runUntil([&] { return manager_->eventsInTransit().empty(); },
                                                        testing::kNetworkWaitSeconds));
  }

  testing::TempDir caches_;
  testserver::AdServer adServer_;
  std::shared_ptr<ViewController> root_ = std::make_shared<ViewController>();
  std::shared_ptr<platform::Window> window_;
  std::shared_ptr<Owner> owner_ = std::make_shared<Owner>();
  std::shared_ptr<OVAdCommandProcessor> processor_ = OVAdCommandProcessor::create();
  std::shared_ptr<OVHTMLAdDataModel> model_ = OVHTMLAdDataModel::initWithMetadata(
      Value(Dictionary{{"ct", "ct-banner-1"}, {"request_id", "req-1"}, {"markup", "<p>ad</p>"}}));
  std::vector<Completion> completions_;
};

TEST_F(OVAdCommandProcessorTest, CloseIsHandledReportsACloseAndReachesTheLoggingEndpointWithTheNextBatch) {
  EXPECT_TRUE(run("ovad://close"));
  ASSERT_EQ(completions_.size(), 1u);
  EXPECT_EQ(completions_[0].command, OVAdCommand::Close);
  EXPECT_EQ(completions_[0].action, OVAdAction::Close);
  EXPECT_EQ(completions_[0].model, model_);
  ASSERT_EQ(stored().size(), 1u);

  // Priority 1 waits for the regular batch.
  advance(1.0);
  EXPECT_EQ(adServer_.logging().events().size(), 0u);
  advance(OVAdEventManager::kDispatchInterval);
  awaitBatches(1);
  const auto events = adServer_.logging().events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].type, "close");
  EXPECT_EQ(events[0].token, "ct-banner-1");
}

TEST_F(OVAdCommandProcessorTest, APassthroughLogsItsOwnTypeAtPriorityZeroAndIsSentAfterTheShortDelay) {
  const Value data(Dictionary{{"quartile", 2}});
  EXPECT_FALSE(run("ovad://passthrough?type=video_progress&priority=&data=" +
                   ov_URLEncodedString(*OVAdUtility::getJSONStringFromObject(data))));
  EXPECT_TRUE(completions_.empty());
  advance(0.5);
  awaitBatches(1);
  const auto events = adServer_.logging().events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].type, "video_progress");
  EXPECT_EQ(events[0].token, "ct-banner-1");
}

TEST_F(OVAdCommandProcessorTest, AnEventCarriesTheDeviceStateTheTouchAndThePagesDataButKeepsTheCallersTouch) {
  owner_->touch = Value(Dictionary{{"startX", 10}, {"startY", 20}});
  const std::string data = ov_URLEncodedString("{\"creative\":\"a\",\"touch\":\"forged\"}");

  EXPECT_FALSE(run("ovad://off_target_click?data=" + data));
  EXPECT_FALSE(run("ovad://custom_event?data=" + data, Value(Dictionary{{"touch", "given"}, {"extra", 1}})));
  EXPECT_TRUE(completions_.empty());

  const auto events = storedEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].first, "off_target_click");
  const Value& first = events[0].second;
  ASSERT_TRUE(first.isDictionary());
  EXPECT_EQ(*first.find("touch"), Value("{\"startX\":10,\"startY\":20}"));
  EXPECT_EQ(*first.find("creative"), Value("a"));
  const Value* analog = first.find("analog");
  ASSERT_NE(analog, nullptr);
  EXPECT_TRUE(OVAdUtility::getObjectFromJSONString(analog->asString()).has_value()) << "the device state as JSON";

  EXPECT_EQ(events[1].first, "custom_event");
  EXPECT_EQ(*events[1].second.find("touch"), Value("given"));
  EXPECT_EQ(*events[1].second.find("extra"), Value(1));
  EXPECT_EQ(*events[1].second.find("creative"), Value("a"));
}

TEST_F(OVAdCommandProcessorTest, TheTouchIsAnEmptyObjectWithoutTouchInformation) {
  owner_->touch = Value("not a dictionary");
  run("ovad://custom_event");
  const auto events = storedEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(*events[0].second.find("touch"), Value("{}"));
}

TEST_F(OVAdCommandProcessorTest, LinksThatAreNoCommandsAreRefusedWithoutAnEventOrAClick) {
  for (const char* link : {"https://close", "ovad:///close", "ovad:close"}) {
    SCOPED_TRACE(link);
    EXPECT_FALSE(run(link));
  }
  EXPECT_TRUE(stored().empty());
  EXPECT_TRUE(completions_.empty());
  EXPECT_TRUE(openedURLs().empty());
}

TEST_F(OVAdCommandProcessorTest, AnAdWithoutAClientTokenRunsItsCommandButLogsNothing) {
  model_ = OVHTMLAdDataModel::initWithMetadata(Value(Dictionary{{"markup", "<p>ad</p>"}}));
  EXPECT_TRUE(run("ovad://close"));
  EXPECT_EQ(completions_.size(), 1u);
  EXPECT_TRUE(stored().empty());
  EXPECT_EQ(settings_.count("without a client token"), 1u);
  EXPECT_TRUE(OVAdCommandProcessor::shouldInvalidate(nullptr));
  EXPECT_FALSE(OVAdCommandProcessor::shouldInvalidate(model_));
}

TEST_F(OVAdCommandProcessorTest, AStoreCommandOpensTheFirstDeepLinkThatOpensAndReportsItOnce) {
  Application::shared()->setOpenableSchemes({"myapp", "http", "https"});
  // The list skips what is not a text and a link the system cannot open.
  const std::string appsite = ov_URLEncodedString(ov_URLEncodedString("[7,\"other://x\",\"myapp://open\",\"myapp://second\"]"));
  EXPECT_TRUE(run("ovad://store?appsite_data=" + appsite + "&store_id=123"));

  EXPECT_EQ(openedURLs(), (std::vector<std::string>{"myapp://open"}));
  ASSERT_EQ(completions_.size(), 1u);
  EXPECT_EQ(completions_[0].command, OVAdCommand::Click);
  EXPECT_EQ(completions_[0].action, OVAdAction::DeepLink);
  EXPECT_EQ(processor_->productViewController(), nullptr);
  EXPECT_EQ(clientEvents(), Value()) << "a deep link sends no bounceback";
  ASSERT_EQ(stored().size(), 1u);
  EXPECT_EQ(stored()[0].type, "store");
}

TEST_F(OVAdCommandProcessorTest, DeepLinksThatCannotBeReadFallBackToTheWebURL) {
  for (const std::string appsite : {"%25ZZ", "not-json", "%5B%5D", "%7B%7D", "%5B1%2C2%5D"}) {
    SCOPED_TRACE(appsite);
    Application::shared()->reset();
    completions_.clear();
    EXPECT_TRUE(run("ovad://store?appsite_data=" + appsite + "&store_url_web_fallback=https%253A%252F%252Fweb.example%252F"));
    EXPECT_EQ(openedURLs(), (std::vector<std::string>{"https://web.example/"}));
    ASSERT_EQ(completions_.size(), 1u);
    EXPECT_EQ(completions_[0].action, OVAdAction::Store);
  }
}

TEST_F(OVAdCommandProcessorTest, AStorePageIsPresentedWithItsParametersAndTheUsersReturnIsABounceback) {
  auto made = testing::makeMadeList<FakeStoreProductViewController>();
  auto install = FakeStoreProductViewController::install(made);
  EXPECT_TRUE(run("ovad://store?store_id=123&store_affiliate_token=aff&store_campaign_token=camp"));
  ASSERT_EQ(made->size(), 1u);
  auto store = made->at(0);
  EXPECT_EQ(store->loadParameters, Value(Dictionary{{"id", "123"}, {"at", "aff"}, {"ct", "camp"}}));
  ASSERT_EQ(completions_.size(), 1u);
  EXPECT_EQ(completions_[0].action, OVAdAction::Store);
  EXPECT_EQ(processor_->productViewController(), store);
  advance(ViewController::kTransitionSeconds);
  EXPECT_EQ(root_->presentedViewController(), store);

  store->finishLoad(true);
  advance(4.0);
  store->finish();
  advance(ViewController::kTransitionSeconds);
  EXPECT_EQ(root_->presentedViewController(), nullptr);
  EXPECT_EQ(owner_->dismissals, 1);
  const Value events = clientEvents();
  ASSERT_TRUE(events.isArray());
  ASSERT_EQ(events.size(), 1u);
  expectBounceback(*events.at(0), "0", 4600.0);
  EXPECT_TRUE(openedURLs().empty());
}

TEST_F(OVAdCommandProcessorTest, AStorePageThatFailsIsDismissedAndTheFallbackOpenedWhicheverEndsFirst) {
  auto made = testing::makeMadeList<FakeStoreProductViewController>();
  auto install = FakeStoreProductViewController::install(made);
  const std::string link = "ovad://store?store_id=123&store_url_web_fallback=https%253A%252F%252Fweb.example%252F";

  // Fails once on screen.
  run(link);
  advance(ViewController::kTransitionSeconds);
  ASSERT_EQ(root_->presentedViewController(), made->at(0));
  made->at(0)->finishLoad(false);
  advance(ViewController::kTransitionSeconds);
  EXPECT_EQ(root_->presentedViewController(), nullptr);
  EXPECT_EQ(openedURLs(), (std::vector<std::string>{"https://web.example/"}));

  // Fails while it is still being presented.
  run(link);
  made->at(1)->finishLoad(false);
  EXPECT_EQ(openedURLs().size(), 2u);
  advance(ViewController::kTransitionSeconds);
  advance(ViewController::kTransitionSeconds);
  EXPECT_EQ(root_->presentedViewController(), nullptr);
  EXPECT_EQ(completions_.size(), 2u) << "one click per command";
}

TEST_F(OVAdCommandProcessorTest, AStorePageThatFailsWithoutAFallbackAddsAClientError) {
  auto made = testing::makeMadeList<FakeStoreProductViewController>();
  auto install = FakeStoreProductViewController::install(made);
  run("ovad://store?store_id=123");
  advance(ViewController::kTransitionSeconds);
  made->at(0)->finishLoad(false);
  advance(ViewController::kTransitionSeconds);
  const Value events = clientEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(*events.at(0)->find("name"), Value("error"));
  EXPECT_EQ(*events.at(0)->find("data"), Value(Dictionary{{"error_msg", "Unable to launch app store page 123 "}}));
}

TEST_F(OVAdCommandProcessorTest, WithoutAPresenterInAWindowTheStoreURLOrTheFallbackGoesOutOfTheApp) {
  auto made = testing::makeMadeList<FakeStoreProductViewController>();
  auto install = FakeStoreProductViewController::install(made);
  auto detached = std::make_shared<ViewController>();
  owner_->presenter = OVAdViewControllerProxy::proxyWithViewController(detached);
  const std::string link =
      "ovad://store?store_id=123&store_url=https%253A%252F%252Fstore.example%252F"
      "&store_url_web_fallback=https%253A%252F%252Fweb.example%252F";

  EXPECT_TRUE(run(link));
  configure({{"plxo_ios_use_store_url", true}});
  EXPECT_TRUE(run(link));
  EXPECT_TRUE(made->empty());
  EXPECT_EQ(openedURLs(), (std::vector<std::string>{"https://web.example/", "https://store.example/"}));
  EXPECT_GE(settings_.count("is not valid to present modal view"), 1u);
}

// Answers one controller, whatever its state.
class FixedProxy final : public OVAdViewControllerProxy {
 public:
  explicit FixedProxy(std::shared_ptr<ViewController> controller) : controller_(std::move(controller)) {}
  std::shared_ptr<ViewController> currentViewController() override { return controller_; }

 private:
  std::shared_ptr<ViewController> controller_;
};

TEST_F(OVAdCommandProcessorTest, AStorePageThatCannotBePresentedLeavesTheClickToTheFallback) {
  auto made = testing::makeMadeList<FakeStoreProductViewController>();
  auto install = FakeStoreProductViewController::install(made);
  // A presenter in the middle of another presentation refuses a second one.
  ASSERT_TRUE(root_->present(std::make_shared<ViewController>(), true));
  owner_->presenter = std::make_shared<FixedProxy>(root_);

  EXPECT_TRUE(run("ovad://store?store_id=123&store_url_web_fallback=https%253A%252F%252Fweb.example%252F"));
  ASSERT_EQ(made->size(), 1u);
  EXPECT_FALSE(made->at(0)->isLoadPending()) << "nothing loads a page nobody sees";
  EXPECT_EQ(processor_->productViewController(), nullptr);
  EXPECT_EQ(openedURLs(), (std::vector<std::string>{"https://web.example/"}));
  ASSERT_EQ(completions_.size(), 1u);
  EXPECT_EQ(completions_[0].action, OVAdAction::Store);
}

TEST_F(OVAdCommandProcessorTest, TheInAppStoreCanBeSwitchedOff) {
  auto made = testing::makeMadeList<FakeStoreProductViewController>();
  auto install = FakeStoreProductViewController::install(made);
  configure({{"disable_in_app_app_store", true}});
  EXPECT_TRUE(run("ovad://store?store_id=123&store_url_web_fallback=https%253A%252F%252Fweb.example%252F"));
  EXPECT_TRUE(made->empty());
  EXPECT_EQ(openedURLs(), (std::vector<std::string>{"https://web.example/"}));
}

TEST_F(OVAdCommandProcessorTest, AnHttpLinkOpensTheInAppBrowserAndTheUsersReturnIsABounceback) {
  auto presentations = std::make_shared<std::vector<FakeSafariPresenter::Presentation>>();
  auto install = FakeSafariPresenter::install(presentations);
  clock_->advance(10.0);
  EXPECT_TRUE(run("ovad://open_link?link=" + ov_URLEncodedString("HTTPS://x.example/page?a=1")));
  ASSERT_EQ(presentations->size(), 1u);
  const auto& presentation = presentations->at(0);
  EXPECT_EQ(presentation.url.absoluteString(), "HTTPS://x.example/page?a=1");
  EXPECT_EQ(presentation.inlineClientToken, "ct-banner-1");
  EXPECT_EQ(presentation.rootViewController, owner_->presenter);
  EXPECT_EQ(presentation.handlerTimeMs, OVAdSafariViewController::currentTimeMs());
  ASSERT_EQ(completions_.size(), 1u);
  EXPECT_EQ(completions_[0].action, OVAdAction::Link);

  advance(2.5);
  FakeSafariPresenter::dismiss(presentation);
  EXPECT_EQ(owner_->dismissals, 1);
  const Value events = clientEvents();
  ASSERT_EQ(events.size(), 1u);
  expectBounceback(*events.at(0), "1", 2500.0);
  EXPECT_TRUE(openedURLs().empty());
}

TEST_F(OVAdCommandProcessorTest, ALinkTheBrowserCannotShowGoesOutOfTheApp) {
  Application::shared()->setOpenableSchemes({"tel"});
  auto presentations = std::make_shared<std::vector<FakeSafariPresenter::Presentation>>();
  auto install = FakeSafariPresenter::install(presentations);
  EXPECT_TRUE(run("ovad://open_link?link=tel%3A123"));
  EXPECT_FALSE(run("ovad://open_link?link=not%20a%20url"));
  EXPECT_FALSE(run("ovad://open_link"));
  EXPECT_TRUE(presentations->empty());
  EXPECT_EQ(openedURLs(), (std::vector<std::string>{"tel:123"}));
  ASSERT_EQ(completions_.size(), 1u);
  EXPECT_EQ(completions_[0].action, OVAdAction::Link);
}

TEST_F(OVAdCommandProcessorTest, ReleasingTheProcessorTakesItsStorePageDown) {
  auto made = testing::makeMadeList<FakeStoreProductViewController>();
  auto install = FakeStoreProductViewController::install(made);
  run("ovad://store?store_id=123");
  advance(ViewController::kTransitionSeconds);
  ASSERT_EQ(root_->presentedViewController(), made->at(0));
  processor_.reset();
  advance(ViewController::kTransitionSeconds);
  EXPECT_EQ(root_->presentedViewController(), nullptr);
  made->at(0)->finishLoad(false);
  EXPECT_TRUE(openedURLs().empty()) << "nothing runs for a processor that is gone";
}

TEST_F(OVAdCommandProcessorTest, NoBouncebackWithoutAStartTime) {
  OVAdCommandProcessor::sendBouncebackInfo(std::nullopt, OVAdAction::Link, "req");
  EXPECT_EQ(clientEvents(), Value());
}

}  // namespace
}  // namespace plexora
