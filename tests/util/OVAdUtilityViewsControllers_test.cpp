#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/Application.h"
#include "platform/ui/UITest.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

using platform::View;
using platform::ViewController;
using platform::Window;

class OVAdUtilityViewControllersTest : public platform::testing::UITest {
 protected:
  void TearDown() override {
    OVAdUtility::setTopViewControllerOverride(nullptr);
    UITest::TearDown();
  }

  static std::shared_ptr<Window> windowWithRoot(const std::shared_ptr<ViewController>& root,
                                                double level = Window::kLevelNormal) {
    auto window = std::make_shared<Window>();
    window->setWindowLevel(level);
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    return window;
  }

  void present(const std::shared_ptr<ViewController>& presenter, const std::shared_ptr<ViewController>& presented) {
    ASSERT_TRUE(presenter->present(presented, false));
    runMainQueue();
  }
};

class OrientationsDelegate final : public platform::ApplicationDelegate {
 public:
  std::shared_ptr<Window> window() const override { return mainWindow; }
  std::optional<platform::InterfaceOrientationMask> supportedInterfaceOrientationsForWindow(
      const std::shared_ptr<Window>& window) const override {
    return answer;
  }

  std::shared_ptr<Window> mainWindow;
  std::optional<platform::InterfaceOrientationMask> answer;
};

TEST_F(OVAdUtilityViewControllersTest, MarkedViewsAreFoundAmongTheControllersViewAndItsDirectSubviewsOnly) {
  auto controller = std::make_shared<ViewController>();
  auto direct = std::make_shared<View>();
  auto secondDirect = std::make_shared<View>();
  auto deep = std::make_shared<View>();
  controller->view()->addSubview(direct);
  controller->view()->addSubview(secondDirect);
  direct->addSubview(deep);

  OVAdUtility::markView(deep);
  EXPECT_TRUE(OVAdUtility::isViewMarked(deep));
  EXPECT_FALSE(OVAdUtility::isViewMarked(direct));
  EXPECT_EQ(OVAdUtility::findAdInViewController(controller), nullptr) << "two levels down is not looked at";

  OVAdUtility::markView(direct);
  EXPECT_EQ(OVAdUtility::findAdInViewController(controller), direct);
  OVAdUtility::markView(secondDirect);
  EXPECT_EQ(OVAdUtility::findAdInViewController(controller), secondDirect) << "the last one visited wins";

  auto plain = std::make_shared<ViewController>();
  plain->view()->addSubview(std::make_shared<View>());
  EXPECT_EQ(OVAdUtility::findAdInViewController(plain), nullptr);
  EXPECT_EQ(OVAdUtility::findAdInViewController(nullptr), nullptr);
  EXPECT_FALSE(OVAdUtility::isViewMarked(nullptr));
}

TEST_F(OVAdUtilityViewControllersTest, TraversalVisitsTheViewThenItsDirectSubviewsInOrder) {
  auto root = std::make_shared<View>();
  auto first = std::make_shared<View>();
  auto second = std::make_shared<View>();
  root->addSubview(first);
  root->addSubview(second);
  first->addSubview(std::make_shared<View>());

  std::vector<std::shared_ptr<View>> visited;
  OVAdUtility::traverseView(root, [&](const std::shared_ptr<View>& view) { visited.push_back(view); });
  EXPECT_EQ(visited, (std::vector<std::shared_ptr<View>>{root, first, second}));
  OVAdUtility::traverseView(root, nullptr);
}

TEST_F(OVAdUtilityViewControllersTest, AdOnScreenIsLookedForInTheTopControllerThenItsChildren) {
  auto root = std::make_shared<ViewController>();
  auto firstChild = std::make_shared<ViewController>();
  auto secondChild = std::make_shared<ViewController>();
  root->addChildViewController(firstChild);
  root->addChildViewController(secondChild);
  auto window = windowWithRoot(root);
  EXPECT_EQ(OVAdUtility::findAdOnScreen(), nullptr);

  auto childAd = std::make_shared<View>();
  secondChild->view()->addSubview(childAd);
  OVAdUtility::markView(childAd);
  EXPECT_EQ(OVAdUtility::findAdOnScreen(), childAd);

  auto rootAd = std::make_shared<View>();
  root->view()->addSubview(rootAd);
  OVAdUtility::markView(rootAd);
  EXPECT_EQ(OVAdUtility::findAdOnScreen(), rootAd);
}

TEST_F(OVAdUtilityViewControllersTest, TopViewControllerFollowsThePresentedChainOfTheKeyWindow) {
  auto root = std::make_shared<ViewController>();
  auto window = windowWithRoot(root);
  EXPECT_EQ(OVAdUtility::currentWindow(), window);
  EXPECT_EQ(OVAdUtility::topViewController(), root);

  auto first = std::make_shared<ViewController>();
  auto second = std::make_shared<ViewController>();
  present(root, first);
  present(first, second);
  EXPECT_EQ(OVAdUtility::topViewController(), second);
  EXPECT_EQ(OVAdUtility::viewControllerFromView(nullptr), second);

  auto overridden = std::make_shared<ViewController>();
  OVAdUtility::setTopViewControllerOverride(overridden);
  EXPECT_EQ(OVAdUtility::topViewControllerOverride(), overridden);
  EXPECT_EQ(OVAdUtility::topViewController(), overridden);
  EXPECT_EQ(OVAdUtility::viewControllerFromView(nullptr), second) << "the override is topViewController's only";
}

TEST_F(OVAdUtilityViewControllersTest, CurrentWindowSkipsWindowsAboveTheNormalLevel) {
  auto normalRoot = std::make_shared<ViewController>();
  auto normal = windowWithRoot(normalRoot);
  auto alert = windowWithRoot(std::make_shared<ViewController>(), Window::kLevelAlert);
  ASSERT_EQ(platform::Application::shared()->keyWindow(), alert);

  EXPECT_EQ(OVAdUtility::currentWindow(), normal);
  EXPECT_EQ(OVAdUtility::topViewController(), normalRoot);
}

TEST_F(OVAdUtilityViewControllersTest, WithoutANormalWindowTheDelegatesWindowAnswers) {
  auto alert = windowWithRoot(std::make_shared<ViewController>(), Window::kLevelAlert);
  EXPECT_EQ(OVAdUtility::currentWindow(), nullptr);
  EXPECT_EQ(OVAdUtility::topViewController(), nullptr);

  auto delegate = std::make_shared<OrientationsDelegate>();
  auto delegateRoot = std::make_shared<ViewController>();
  delegate->mainWindow = std::make_shared<Window>();
  delegate->mainWindow->setWindowLevel(Window::kLevelStatusBar);
  delegate->mainWindow->setRootViewController(delegateRoot);
  platform::Application::shared()->setDelegate(delegate);
  EXPECT_EQ(OVAdUtility::topViewController(), delegateRoot);
}

TEST_F(OVAdUtilityViewControllersTest, AViewsControllerIsTheFirstOnItsResponderChain) {
  auto root = std::make_shared<ViewController>();
  auto window = windowWithRoot(root);
  auto inner = std::make_shared<ViewController>();
  root->addChildViewController(inner);
  root->view()->addSubview(inner->view());
  auto deep = std::make_shared<View>();
  auto middle = std::make_shared<View>();
  inner->view()->addSubview(middle);
  middle->addSubview(deep);

  EXPECT_EQ(OVAdUtility::viewControllerFromView(deep), inner);
  EXPECT_EQ(OVAdUtility::traverseResponderChainForViewController(inner), inner);
  EXPECT_EQ(OVAdUtility::traverseResponderChainForViewController(nullptr), nullptr);

  auto loose = std::make_shared<View>();
  EXPECT_EQ(OVAdUtility::traverseResponderChainForViewController(loose), nullptr);
  EXPECT_EQ(OVAdUtility::viewControllerFromView(loose), root) << "a view without a controller gets the top one";
}

TEST_F(OVAdUtilityViewControllersTest, SupportedOrientationsAskTheDelegateFirst) {
  auto window = std::make_shared<Window>();
  auto application = platform::Application::shared();
  application->setSupportedInterfaceOrientations(platform::kInterfaceOrientationMaskPortrait);
  EXPECT_EQ(OVAdUtility::supportedInterfaceOrientationsForWindow(window), platform::kInterfaceOrientationMaskPortrait);

  auto delegate = std::make_shared<OrientationsDelegate>();
  application->setDelegate(delegate);
  EXPECT_EQ(OVAdUtility::supportedInterfaceOrientationsForWindow(window), platform::kInterfaceOrientationMaskPortrait)
      << "a delegate without an answer leaves it to the application";
  delegate->answer = platform::kInterfaceOrientationMaskLandscape;
  EXPECT_EQ(OVAdUtility::supportedInterfaceOrientationsForWindow(window), platform::kInterfaceOrientationMaskLandscape);
}

TEST_F(OVAdUtilityViewControllersTest, StatusBarHiding) {
  OVAdUtility::setApplicationStatusBarHidden(true);
  EXPECT_TRUE(platform::Application::shared()->isStatusBarHidden());
  OVAdUtility::setApplicationStatusBarHidden(false);
  EXPECT_FALSE(platform::Application::shared()->isStatusBarHidden());
}

}  // namespace
}  // namespace plexora
