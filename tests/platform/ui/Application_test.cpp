#include "platform/ui/Application.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Screen.h"
#include "platform/ui/UITest.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace plexora::platform {
namespace {

using testing::UITest;
using ApplicationTest = UITest;

// Records the life-cycle notifications and the state each one sees.
class LifeCycleRecorder {
 public:
  LifeCycleRecorder() {
    for (const char* name : {kApplicationWillResignActiveNotification, kApplicationDidEnterBackgroundNotification,
                             kApplicationWillEnterForegroundNotification, kApplicationDidBecomeActiveNotification}) {
      tokens_.push_back(NotificationCenter::defaultCenter().addObserver(
          name, Application::shared().get(), nullptr, [this](const Notification& notification) {
            seen.push_back(notification.name + " " +
                           std::to_string(static_cast<int>(Application::shared()->applicationState())));
          }));
    }
  }
  ~LifeCycleRecorder() {
    for (auto token : tokens_) {
      NotificationCenter::defaultCenter().removeObserver(token);
    }
  }

  std::vector<std::string> seen;

 private:
  std::vector<NotificationCenter::ObserverToken> tokens_;
};

std::string named(const char* notification, ApplicationState state) {
  return std::string(notification) + " " + std::to_string(static_cast<int>(state));
}

TEST_F(ApplicationTest, WalksThroughTheStatesPostingEachNotification) {
  LifeCycleRecorder recorder;
  auto app = Application::shared();
  EXPECT_EQ(app->applicationState(), ApplicationState::Active);

  app->transitionTo(ApplicationState::Background);
  EXPECT_EQ(recorder.seen, (std::vector<std::string>{
                               named(kApplicationWillResignActiveNotification, ApplicationState::Active),
                               named(kApplicationDidEnterBackgroundNotification, ApplicationState::Background),
                           }));
  recorder.seen.clear();
  app->transitionTo(ApplicationState::Active);
  EXPECT_EQ(recorder.seen, (std::vector<std::string>{
                               named(kApplicationWillEnterForegroundNotification, ApplicationState::Background),
                               named(kApplicationDidBecomeActiveNotification, ApplicationState::Active),
                           }));
  recorder.seen.clear();
  app->transitionTo(ApplicationState::Inactive);
  app->transitionTo(ApplicationState::Inactive);
  EXPECT_EQ(recorder.seen, (std::vector<std::string>{
                               named(kApplicationWillResignActiveNotification, ApplicationState::Active),
                           }));
  EXPECT_EQ(app->applicationState(), ApplicationState::Inactive);
}

TEST_F(ApplicationTest, TurningToLandscapeSwapsTheScreenAndResizesFullScreenWindows) {
  auto app = Application::shared();
  auto full = makeKeyWindow();
  auto content = std::make_shared<View>(full->bounds());
  content->setAutoresizingMask(kAutoresizingFlexibleWidth | kAutoresizingFlexibleHeight);
  full->addSubview(content);
  auto small = std::make_shared<Window>(Rect(0, 0, 100, 100));

  app->setStatusBarOrientation(InterfaceOrientation::LandscapeLeft);
  EXPECT_EQ(app->statusBarOrientation(), InterfaceOrientation::LandscapeLeft);
  EXPECT_EQ(DeviceProvider::current()->profile().orientation, InterfaceOrientation::LandscapeLeft);
  EXPECT_EQ(Screen::main()->bounds(), Rect(0, 0, 667, 375));
  EXPECT_EQ(full->frame(), Rect(0, 0, 667, 375));
  EXPECT_EQ(content->frame(), Rect(0, 0, 667, 375));
  EXPECT_EQ(small->frame(), Rect(0, 0, 100, 100));

  app->setStatusBarOrientation(InterfaceOrientation::LandscapeRight);
  EXPECT_EQ(Screen::main()->bounds(), Rect(0, 0, 667, 375));
  app->setStatusBarOrientation(InterfaceOrientation::PortraitUpsideDown);
  EXPECT_EQ(Screen::main()->bounds(), Rect(0, 0, 375, 667));
}

TEST_F(ApplicationTest, ListsWindowsBackToFrontByLevelThenByShowing) {
  auto app = Application::shared();
  auto alert = std::make_shared<Window>();
  alert->setWindowLevel(Window::kLevelAlert);
  auto first = std::make_shared<Window>();
  auto second = std::make_shared<Window>();
  EXPECT_EQ(app->windows(), (std::vector<std::shared_ptr<Window>>{first, second, alert}));
  first->setHidden(false);
  EXPECT_EQ(app->windows(), (std::vector<std::shared_ptr<Window>>{second, first, alert}));
  second.reset();
  EXPECT_EQ(app->windows(), (std::vector<std::shared_ptr<Window>>{first, alert}));
}

TEST_F(ApplicationTest, KeyWindowFollowsMakeKeyAndHiding) {
  auto app = Application::shared();
  auto a = makeKeyWindow();
  EXPECT_TRUE(a->isKeyWindow());
  EXPECT_FALSE(a->isHidden());
  auto b = makeKeyWindow();
  EXPECT_EQ(app->keyWindow(), b);
  EXPECT_FALSE(a->isKeyWindow());
  b->setHidden(true);
  EXPECT_EQ(app->keyWindow(), nullptr);
  a->makeKeyWindow();
  a.reset();
  EXPECT_EQ(app->keyWindow(), nullptr);
}

TEST_F(ApplicationTest, OpensOnlyWhatItCanAndRecordsIt) {
  auto app = Application::shared();
  std::vector<std::string> handed;
  app->setURLOpener([&](const URL& url) { handed.push_back(url.absoluteString()); });
  const auto web = *URL::parse("HTTPS://example.com/a");
  const auto store = *URL::parse("itms-apps://itunes.example/app/id1");
  EXPECT_TRUE(app->canOpenURL(web));
  EXPECT_FALSE(app->canOpenURL(store));
  EXPECT_FALSE(app->openURL(store));
  EXPECT_TRUE(app->openURL(web));
  app->setOpenableSchemes({"ITMS-APPS"});
  EXPECT_TRUE(app->openURL(store));
  EXPECT_FALSE(app->canOpenURL(web));
  ASSERT_EQ(app->openedURLs().size(), 2u);
  EXPECT_EQ(app->openedURLs()[1], store);
  EXPECT_EQ(handed, (std::vector<std::string>{"HTTPS://example.com/a", "itms-apps://itunes.example/app/id1"}));

  app->reset();
  EXPECT_TRUE(app->openedURLs().empty());
  EXPECT_TRUE(app->canOpenURL(web));
}

class OrientationDelegate : public ApplicationDelegate {
 public:
  std::optional<InterfaceOrientationMask> supportedInterfaceOrientationsForWindow(
      const std::shared_ptr<Window>&) const override {
    return kInterfaceOrientationMaskLandscape;
  }
};

TEST_F(ApplicationTest, DeclaredOrientationsAndDelegateStaySeparate) {
  auto app = Application::shared();
  EXPECT_EQ(app->supportedInterfaceOrientationsForWindow(nullptr), kInterfaceOrientationMaskAllButUpsideDown);
  EXPECT_EQ(kInterfaceOrientationMaskAllButUpsideDown, 26u);
  EXPECT_EQ(kInterfaceOrientationMaskAll, 30u);
  EXPECT_EQ(maskOf(InterfaceOrientation::LandscapeLeft), 16u);
  app->setSupportedInterfaceOrientations(kInterfaceOrientationMaskPortrait);
  auto delegate = std::make_shared<OrientationDelegate>();
  app->setDelegate(delegate);
  EXPECT_EQ(app->supportedInterfaceOrientationsForWindow(nullptr), kInterfaceOrientationMaskPortrait);
  EXPECT_EQ(app->delegate()->supportedInterfaceOrientationsForWindow(nullptr), kInterfaceOrientationMaskLandscape);
  delegate.reset();
  EXPECT_EQ(app->delegate(), nullptr);
}

}  // namespace
}  // namespace plexora::platform
