// The video ad controller over a content view double in a key window: what
// a load, a show and each playback report of the content view become for
// the logger and the delegate, how a click-through is carried out, and what
// an unreachable network changes.
#include "adapters/views/video/OVDefaultVideoAdController.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "adapters/OVInstreamAdDataModel.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/device/NetworkReachability.h"
#include "platform/ui/Application.h"
#include "platform/ui/UITest.h"
#include "platform/ui/Window.h"
#include "platform/value/Value.h"
#include "support/TempDir.h"
#include "support/doubles/FakeVideoViews.h"
#include "tracking/OVAdEventManager.h"
#include "tracking/OVAdEventManagerTestSupport.h"
#include "tracking/OVAdVideoLogger.h"
#include "server/OVAdURLSession.h"
#include "util/FakeDeviceProvider.h"
#include "util/OVAdConfigManager.h"
#include "util/database/OVAdDatabaseManager.h"

namespace plexora {
namespace {

using platform::MediaTime;
using testing::FakeInstreamAdContentView;

constexpr const char* kToken = "ct-video-ad";

// A valid ad whose click-through takes `cta` (none: no call to action) and
// `destination` (none: no destination).
std::shared_ptr<OVInstreamAdDataModel> adWith(const std::optional<std::string>& cta,
                                              const std::optional<std::string>& destination) {
  platform::Dictionary video{{"videoURL", "https://cdn.plexora.test/ad.mp4"}};
  if (destination) video.set("destinationURL", *destination);
  platform::Dictionary data{
      {"ct", kToken},
      {"video", std::move(video)},
      {"trackers", platform::Dictionary{{"impression", "https://t.plexora.test/i"},
                                        {"nativeImpression", "https://t.plexora.test/n"},
                                        {"video", "https://t.plexora.test/v"}}},
  };
  if (cta) data.set("cta", platform::Dictionary{{"url", *cta}});
  return OVInstreamAdDataModel::initWithMetadata(platform::Value(std::move(data)));
}

MediaTime at(double seconds) { return MediaTime::make(static_cast<std::int64_t>(seconds * 1000), 1000); }

class RecordingControllerDelegate final : public OVVideoAdControllerDelegate {
 public:
  void controllerDidLoad(const std::shared_ptr<OVVideoAdController>&) override { messages.push_back("load"); }
  void controller(const std::shared_ptr<OVVideoAdController>&, const platform::Error& error) override {
    messages.push_back("error " + std::to_string(error.code()));
  }
  void controllerDidClick(const std::shared_ptr<OVVideoAdController>&) override { messages.push_back("click"); }
  void controllerDidUnload(const std::shared_ptr<OVVideoAdController>&) override { messages.push_back("unload"); }
  void controllerWillRegisterViewableImpression(const std::shared_ptr<OVVideoAdController>&) override {
    messages.push_back("impression");
  }

  std::vector<std::string> messages;
};

class OVDefaultVideoAdControllerTest : public platform::testing::UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    window_ = makeKeyWindow();
    contentView_->setFrame(platform::Rect(0, 0, 320, 180));
    window_->addSubview(contentView_);
    controller_ = OVDefaultVideoAdController::create(contentView_);
    controller_->setDelegate(delegate_);
    controller_->setEventManager(events_);
  }
  void TearDown() override {
    controller_.reset();
    events_.reset();
    UITest::TearDown();
  }

  void setReachability(std::optional<std::uint32_t> flags) {
    device_->updateProfile([&](platform::DeviceProfile& profile) { profile.reachabilityFlags = flags; });
  }
  // Loads the ad and captures the video events of the logger it made.
  void load(std::shared_ptr<OVInstreamAdDataModel> model = adWith(std::nullopt, std::nullopt)) {
    controller_->loadAdFromDataModel(model);
    if (const auto& logger = controller_->logger()) {
      logger->setEventLog([this](const std::string& token, const platform::Dictionary& params) {
        EXPECT_EQ(token, kToken);
        const platform::Value* action = params.find("action");
        videoEvents_.push_back(action ? action->text().value_or("") : "");
      });
    }
  }
  void loadAndShow(std::shared_ptr<OVInstreamAdDataModel> model = adWith(std::nullopt, std::nullopt)) {
    load(std::move(model));
    contentView_->delegate()->contentViewDidLoad(contentView_->self());
    ASSERT_TRUE(controller_->showAdFromRootViewController(nullptr));
    delegate_->messages.clear();
  }
  void playTo(double seconds) {
    contentView_->currentTimeValue = at(seconds);
    contentView_->delegate()->contentViewDidProgress(contentView_->self());
  }
  std::vector<std::string> storedEventTypes() {
    EXPECT_TRUE(platform::DispatchQueue::settle(platform::testing::kGenerousWaitSeconds));
    std::vector<std::string> types;
    for (const auto& event : testing::readStoredEvents(databasePath())) types.push_back(event.type);
    return types;
  }
  std::string databasePath() const { return (caches_.path() / "events.sqlite").string(); }

  std::shared_ptr<testing::FakeDeviceProvider> device_ = std::make_shared<testing::FakeDeviceProvider>();
  platform::ScopedDeviceProvider scopedReachableDevice_{device_};
  testing::TempDir caches_;
  // Stores the commands' events in the test's own file; the manual clock
  // never reaches a dispatch.
  std::shared_ptr<OVAdEventManager> events_ = [this] {
    auto database = OVAdDatabaseManager::create();
    database->setStoragePath(databasePath());
    OVAdEventManagerEnvironment environment;
    environment.databaseManager = database;
    environment.configManager = OVAdConfigManager::create(caches_.path().string());
    environment.urlSession = OVAdURLSession::create([](auto answer) { answer(std::string(testing::kTestUserAgent)); });
    return OVAdEventManager::create(std::move(environment));
  }();
  std::shared_ptr<platform::Window> window_;
  std::shared_ptr<FakeInstreamAdContentView> contentView_ = std::make_shared<FakeInstreamAdContentView>();
  std::shared_ptr<RecordingControllerDelegate> delegate_ = std::make_shared<RecordingControllerDelegate>();
  std::shared_ptr<OVDefaultVideoAdController> controller_;
  std::vector<std::string> videoEvents_;
};

TEST_F(OVDefaultVideoAdControllerTest, TheLibrarysControllerIsMadeForAContentViewAndIsItsDelegate) {
  const auto made = OVVideoAdController::initWithContentView(contentView_);
  ASSERT_TRUE(std::dynamic_pointer_cast<OVDefaultVideoAdController>(made));
  EXPECT_EQ(made->contentView(), contentView_);
  EXPECT_EQ(contentView_->delegate(), std::dynamic_pointer_cast<OVVideoAdContentViewDelegate>(made));
  EXPECT_EQ(std::dynamic_pointer_cast<OVDefaultVideoAdController>(made)->commandHandler()->delegate(),
            std::dynamic_pointer_cast<OVAdCommandProcessorDelegate>(made));
}

TEST_F(OVDefaultVideoAdControllerTest, AnInvalidModelFailsWithNoFillAndLoadsNothing) {
  auto noTrackers = OVInstreamAdDataModel::initWithMetadata(
      *platform::parseJSON(R"({"ct":"ct-1","video":{"videoURL":"https://cdn.plexora.test/ad.mp4"}})"));
  for (const auto& model : {std::shared_ptr<OVInstreamAdDataModel>(), noTrackers}) {
    delegate_->messages.clear();
    controller_->loadAdFromDataModel(model);
    EXPECT_EQ(delegate_->messages, std::vector<std::string>{"error 1001"});
    EXPECT_EQ(controller_->logger(), nullptr);
    EXPECT_EQ(contentView_->loadedDataModel, nullptr);
    EXPECT_FALSE(controller_->isValid());
  }
}

TEST_F(OVDefaultVideoAdControllerTest, AValidModelLoadsTheContentViewWhichReportsTheLoad) {
  const auto model = adWith(std::nullopt, std::nullopt);
  load(model);
  EXPECT_EQ(contentView_->loadedDataModel, model);
  ASSERT_TRUE(controller_->logger());
  EXPECT_EQ(controller_->logger()->targetView(), contentView_);
  EXPECT_EQ(controller_->logger()->inlineClientToken(), kToken);
  EXPECT_TRUE(delegate_->messages.empty()) << "the load is the content view's to report";
  EXPECT_TRUE(controller_->isValid());

  contentView_->delegate()->contentViewDidLoad(contentView_->self());
  EXPECT_EQ(delegate_->messages, std::vector<std::string>{"load"});
  EXPECT_TRUE(controller_->contentViewLoaded());

  contentView_->delegate()->contentView(contentView_->self(), platform::Error("other.domain", 77));
  EXPECT_EQ(delegate_->messages.back(), "error 77") << "a failure of the view is passed on unchanged";
}

TEST_F(OVDefaultVideoAdControllerTest, TheViewStartsOnceOnlyAfterItLoadedAndNeverWhileOffline) {
  load();
  const auto root = OVAdViewControllerProxy::proxyWithViewController(std::make_shared<platform::ViewController>());
  EXPECT_FALSE(controller_->showAdFromRootViewController(root)) << "not loaded yet";
  EXPECT_TRUE(contentView_->startedFrom.empty());
  EXPECT_TRUE(delegate_->messages.empty());

  contentView_->delegate()->contentViewDidLoad(contentView_->self());
  setReachability(std::nullopt);
  EXPECT_FALSE(controller_->isValid()) << "a valid model is not enough while offline";
  EXPECT_FALSE(controller_->showAdFromRootViewController(root));
  EXPECT_EQ(delegate_->messages.back(), "error 1000");
  EXPECT_FALSE(controller_->started()) << "a later show may still succeed";

  setReachability(platform::kReachabilityFlagReachable | platform::kReachabilityFlagIsWWAN);
  EXPECT_TRUE(controller_->isValid());
  EXPECT_TRUE(controller_->showAdFromRootViewController(root));
  ASSERT_EQ(contentView_->startedFrom.size(), 1u);
  EXPECT_EQ(contentView_->startedFrom[0], root);
  EXPECT_FALSE(controller_->showAdFromRootViewController(root)) << "shown before";
  EXPECT_EQ(contentView_->startedFrom.size(), 1u);
}

TEST_F(OVDefaultVideoAdControllerTest, PlaybackReportsBecomeVideoEventsAndDelegateCalls) {
  loadAndShow();
  playTo(0.0);
  EXPECT_TRUE(videoEvents_.empty()) << "nothing played at time zero";
  contentView_->currentTimeValue = MediaTime::invalid();
  contentView_->delegate()->contentViewDidProgress(contentView_->self());
  EXPECT_TRUE(videoEvents_.empty()) << "nor at a time that is not known";

  playTo(0.25);
  playTo(1.5);
  // The viewable impression (the view is in the key window), which the
  // delegate hears, and the first progress.
  EXPECT_EQ(videoEvents_, (std::vector<std::string>{"10", "16"}));
  EXPECT_EQ(delegate_->messages, std::vector<std::string>{"impression"});

  videoEvents_.clear();
  contentView_->delegate()->contentViewDidPause(contentView_->self());
  contentView_->delegate()->contentViewDidResume(contentView_->self());
  EXPECT_EQ(videoEvents_, (std::vector<std::string>{"2", "4", "5"}));

  videoEvents_.clear();
  playTo(3.0);
  contentView_->delegate()->contentViewDidSkip(contentView_->self());
  EXPECT_EQ(videoEvents_.back(), "1");
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"impression", "unload"}));
}

TEST_F(OVDefaultVideoAdControllerTest, TheEndLogsTheCompletionAndTheUnloadEndsTheAd) {
  loadAndShow();
  playTo(0.5);
  playTo(4.0);
  videoEvents_.clear();
  contentView_->delegate()->contentViewDidEnd(contentView_->self());
  EXPECT_EQ(videoEvents_, std::vector<std::string>{"2"}) << "the stretch played up to the end";
  EXPECT_TRUE(delegate_->messages.empty() || delegate_->messages.back() != "unload");
  contentView_->delegate()->contentViewDidUnload(contentView_->self());
  EXPECT_EQ(delegate_->messages.back(), "unload");
}

TEST_F(OVDefaultVideoAdControllerTest, ReleaseLogsTheStopAtTheContentViewsTime) {
  loadAndShow();
  playTo(0.5);
  playTo(2.5);
  videoEvents_.clear();
  const auto logger = controller_->logger();
  controller_.reset();
  EXPECT_EQ(videoEvents_, std::vector<std::string>{"2"});
  EXPECT_DOUBLE_EQ(logger->lastProgressCurrentTime(), 2.5);
}

TEST_F(OVDefaultVideoAdControllerTest, AClickThroughTakesTheCallToActionFirstThenAnOpenableDestination) {
  const struct {
    const char* name;
    std::optional<std::string> cta;
    std::optional<std::string> destination;
    std::vector<std::string> opened;
    bool click;
  } cases[] = {
      {"a command link opens its link", "ovad://open_link?link=https%3A%2F%2Fshop.plexora.test%2Fa",
       "https://shop.plexora.test/destination", {"https://shop.plexora.test/a"}, true},
      {"a close command is no click", "ovad://close", "https://shop.plexora.test/destination", {}, false},
      {"the destination without a call to action", std::nullopt, "https://shop.plexora.test/destination",
       {"https://shop.plexora.test/destination"}, true},
      {"a destination the application cannot open", std::nullopt, "market://details?id=1", {}, false},
      {"neither", std::nullopt, std::nullopt, {}, false},
      // The command processor refuses a plain link; the tap goes to the
      // destination rather than nowhere.
      {"a call to action that is no command", "https://shop.plexora.test/cta",
       "https://shop.plexora.test/destination", {"https://shop.plexora.test/destination"}, true},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.name);
    platform::Application::shared()->reset();
    delegate_->messages.clear();
    controller_->loadAdFromDataModel(adWith(entry.cta, entry.destination));
    contentView_->delegate()->contentViewDidClickthrough(contentView_->self());
    std::vector<std::string> opened;
    for (const auto& url : platform::Application::shared()->openedURLs()) opened.push_back(url.absoluteString());
    EXPECT_EQ(opened, entry.opened);
    EXPECT_EQ(delegate_->messages, entry.click ? std::vector<std::string>{"click"} : std::vector<std::string>{});
  }
  // The commands were logged against the ad's token.
  EXPECT_EQ(storedEventTypes(), (std::vector<std::string>{"open_link", "close"}));
}

TEST_F(OVDefaultVideoAdControllerTest, ACommandThatCompletesAfterTheControllerWentDoesNothing) {
  controller_->loadAdFromDataModel(adWith("ovad://open_link?link=https%3A%2F%2Fshop.plexora.test%2Fa", std::nullopt));
  const auto processor = controller_->commandHandler();
  const std::weak_ptr<OVDefaultVideoAdController> gone = controller_;
  contentView_->delegate()->contentViewDidClickthrough(contentView_->self());
  controller_.reset();
  EXPECT_TRUE(gone.expired());
  EXPECT_EQ(processor->delegate(), nullptr) << "released controllers leave the processor";
}

}  // namespace
}  // namespace plexora
