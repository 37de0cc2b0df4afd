#include "platform/ui/ViewController.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/UITest.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace plexora::platform {
namespace {

using testing::UITest;

// Logs its loading and appearance as "<name> <hook>".
class LoggingController : public ViewController {
 public:
  LoggingController(std::string name, std::vector<std::string>& log) : name_(std::move(name)), log_(log) {}

  void loadView() override {
    log_.push_back(name_ + " loadView");
    ViewController::loadView();
  }
  void viewDidLoad() override { log_.push_back(name_ + " viewDidLoad"); }
  void viewWillAppear(bool) override { log_.push_back(name_ + " willAppear"); }
  void viewDidAppear(bool) override { log_.push_back(name_ + " didAppear"); }
  void viewWillDisappear(bool) override { log_.push_back(name_ + " willDisappear"); }
  void viewDidDisappear(bool) override { log_.push_back(name_ + " didDisappear"); }

 private:
  std::string name_;
  std::vector<std::string>& log_;
};

class ViewControllerTest : public UITest {
 protected:
  std::shared_ptr<LoggingController> make(const std::string& name) {
    return std::make_shared<LoggingController>(name, log_);
  }

  // A visible key window with `root` as its root controller; the log
  // starts empty.
  std::shared_ptr<Window> show(const std::shared_ptr<ViewController>& root) {
    auto window = makeKeyWindow();
    window->setRootViewController(root);
    log_.clear();
    return window;
  }

  std::vector<std::string> log_;
};

TEST_F(ViewControllerTest, LoadsItsViewOnceOnFirstUse) {
  auto controller = make("a");
  EXPECT_FALSE(controller->isViewLoaded());
  auto view = controller->view();
  EXPECT_EQ(controller->view(), view);
  EXPECT_EQ(view->frame(), Rect(0, 0, 375, 667));
  EXPECT_EQ(log_, (std::vector<std::string>{"a loadView", "a viewDidLoad"}));
  EXPECT_EQ(view->nextResponder(), controller);
}

TEST_F(ViewControllerTest, TheRootControllersViewFillsTheWindowAndHearsItAppear) {
  auto root = make("root");
  auto window = makeKeyWindow();
  window->setRootViewController(root);
  EXPECT_EQ(root->view()->superview(), window);
  EXPECT_EQ(root->view()->frame(), window->bounds());
  EXPECT_EQ(log_, (std::vector<std::string>{"root loadView", "root viewDidLoad", "root willAppear", "root didAppear"}));
  log_.clear();
  window->setHidden(true);
  EXPECT_EQ(log_, (std::vector<std::string>{"root willDisappear", "root didDisappear"}));
  window->setFrame(Rect(0, 0, 300, 300));
  EXPECT_EQ(root->view()->frame(), Rect(0, 0, 300, 300));

  auto replacement = make("next");
  replacement->view();
  window->setHidden(false);
  log_.clear();
  window->setRootViewController(replacement);
  EXPECT_EQ(log_, (std::vector<std::string>{"root willDisappear", "root didDisappear", "next willAppear",
                                            "next didAppear"}));
  EXPECT_EQ(root->view()->superview(), nullptr);
}

TEST_F(ViewControllerTest, AnimatedPresentationCompletesOnTheMainQueueAfterTheTransition) {
  auto root = make("root");
  auto window = show(root);
  auto modal = make("modal");
  bool completed = false;
  ASSERT_TRUE(root->present(modal, true, [&] { completed = true; }));

  EXPECT_EQ(root->presentedViewController(), modal);
  EXPECT_EQ(modal->presentingViewController(), root);
  EXPECT_EQ(modal->view()->superview(), window);
  EXPECT_EQ(modal->view()->frame(), window->bounds());
  EXPECT_EQ(log_, (std::vector<std::string>{"modal loadView", "modal viewDidLoad", "modal willAppear",
                                            "root willDisappear"}));
  runMainQueue();
  EXPECT_FALSE(completed);
  clock_->advance(ViewController::kTransitionSeconds);
  EXPECT_TRUE(completed);
  EXPECT_EQ(log_.back(), "root didDisappear");
  EXPECT_EQ(root->view()->window(), nullptr) << "a full-screen presentation takes the presenter's view away";
  EXPECT_EQ(modal->nextResponder(), root);

  completed = false;
  ASSERT_TRUE(modal->dismiss(false, [&] { completed = true; }));
  EXPECT_EQ(root->view()->superview(), window);
  EXPECT_FALSE(completed) << "completions never run inline";
  runMainQueue();
  EXPECT_TRUE(completed);
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_EQ(modal->presentingViewController(), nullptr);
  EXPECT_EQ(modal->view()->superview(), nullptr);
  EXPECT_EQ(window->subviews(), (std::vector<std::shared_ptr<View>>{root->view()}));
}

TEST_F(ViewControllerTest, ChainsAreWalkableAndDismissFromTheBottomTakesThemAll) {
  auto root = make("root");
  auto window = show(root);
  auto first = make("first");
  auto second = make("second");
  ASSERT_TRUE(root->present(first, false));
  runMainQueue();
  ASSERT_TRUE(first->present(second, false));
  runMainQueue();

  std::vector<std::shared_ptr<ViewController>> walked;
  for (auto controller = window->rootViewController(); controller; controller = controller->presentedViewController()) {
    walked.push_back(controller);
  }
  EXPECT_EQ(walked, (std::vector<std::shared_ptr<ViewController>>{root, first, second}));
  EXPECT_EQ(window->subviews(), (std::vector<std::shared_ptr<View>>{second->view()}));

  log_.clear();
  bool completed = false;
  ASSERT_TRUE(root->dismiss(true, [&] { completed = true; }));
  EXPECT_EQ(log_, (std::vector<std::string>{"second willDisappear", "root willAppear"}));
  clock_->advance(ViewController::kTransitionSeconds);
  EXPECT_TRUE(completed);
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_EQ(first->presentedViewController(), nullptr);
  EXPECT_EQ(window->subviews(), (std::vector<std::shared_ptr<View>>{root->view()}));
}

TEST_F(ViewControllerTest, DismissingAMiddleControllerKeepsItAndRemovesWhatItPresents) {
  auto root = make("root");
  auto window = show(root);
  auto first = make("first");
  auto second = make("second");
  root->present(first, false);
  runMainQueue();
  first->present(second, false);
  runMainQueue();
  ASSERT_TRUE(first->dismiss(false));
  runMainQueue();
  EXPECT_EQ(root->presentedViewController(), first);
  EXPECT_EQ(first->presentedViewController(), nullptr);
  EXPECT_EQ(window->subviews(), (std::vector<std::shared_ptr<View>>{first->view()}));
}

TEST_F(ViewControllerTest, OverFullScreenLeavesThePresenterInPlace) {
  auto root = make("root");
  auto window = show(root);
  auto overlay = make("overlay");
  overlay->setModalPresentationStyle(ModalPresentationStyle::OverFullScreen);
  root->present(overlay, false);
  runMainQueue();
  EXPECT_EQ(window->subviews(), (std::vector<std::shared_ptr<View>>{root->view(), overlay->view()}));
  EXPECT_EQ(log_, (std::vector<std::string>{"overlay loadView", "overlay viewDidLoad", "overlay willAppear",
                                            "overlay didAppear"}));
}

TEST_F(ViewControllerTest, ChildrenPresentThroughTheirTopMostParent) {
  auto root = make("root");
  auto window = show(root);
  auto child = make("child");
  root->addChildViewController(child);
  root->view()->addSubview(child->view());
  child->didMoveToParentViewController(root);
  auto modal = make("modal");
  ASSERT_TRUE(child->present(modal, false));
  EXPECT_EQ(modal->presentingViewController(), root);
  EXPECT_EQ(root->presentedViewController(), modal);
  EXPECT_EQ(child->presentedViewController(), nullptr);
  runMainQueue();
  EXPECT_NE(std::find(log_.begin(), log_.end(), "child didDisappear"), log_.end())
      << "children hear their parent's appearance";
  ASSERT_TRUE(child->dismiss(false));
  runMainQueue();
  EXPECT_EQ(root->presentedViewController(), nullptr);
}

TEST_F(ViewControllerTest, RefusesPresentationsThatCannotHappen) {
  auto root = make("root");
  auto window = show(root);
  auto offscreen = make("offscreen");
  offscreen->view();
  EXPECT_FALSE(offscreen->present(make("x"), false)) << "the presenter is in no window";
  EXPECT_FALSE(root->present(nullptr, false));
  EXPECT_FALSE(root->present(root, false));
  EXPECT_FALSE(root->dismiss(false)) << "nothing to dismiss";

  auto first = make("first");
  bool firstCompleted = false;
  ASSERT_TRUE(root->present(first, true, [&] { firstCompleted = true; }));
  bool refusedCompleted = false;
  EXPECT_FALSE(root->present(make("second"), false, [&] { refusedCompleted = true; }))
      << "the root already presents one";
  EXPECT_FALSE(root->dismiss(false)) << "the transition is still under way";
  auto other = make("other");
  other->view();
  EXPECT_FALSE(other->present(first, false)) << "first is already presented";
  clock_->advance(ViewController::kTransitionSeconds);
  runMainQueue();
  EXPECT_TRUE(firstCompleted);
  EXPECT_FALSE(refusedCompleted);
}

TEST_F(ViewControllerTest, ContainmentCallsTheParentHooks) {
  std::vector<std::string> calls;
  class Child : public ViewController {
   public:
    explicit Child(std::vector<std::string>& calls) : calls_(calls) {}
    void willMoveToParentViewController(const std::shared_ptr<ViewController>& parent) override {
      calls_.push_back(parent ? "will parent" : "will none");
    }
    void didMoveToParentViewController(const std::shared_ptr<ViewController>& parent) override {
      calls_.push_back(parent ? "did parent" : "did none");
    }

   private:
    std::vector<std::string>& calls_;
  };
  auto parent = std::make_shared<ViewController>();
  auto child = std::make_shared<Child>(calls);
  parent->addChildViewController(child);
  EXPECT_EQ(child->parentViewController(), parent);
  EXPECT_EQ(parent->childViewControllers().size(), 1u);
  child->removeFromParentViewController();
  EXPECT_EQ(child->parentViewController(), nullptr);
  EXPECT_TRUE(parent->childViewControllers().empty());
  EXPECT_EQ(calls, (std::vector<std::string>{"will parent", "did none"}));
}

TEST_F(ViewControllerTest, TheResponderChainRunsFromViewToApplication) {
  auto root = make("root");
  auto window = show(root);
  auto button = std::make_shared<View>();
  root->view()->addSubview(button);
  EXPECT_EQ(button->nextResponder(), root->view());
  EXPECT_EQ(root->view()->nextResponder(), root);
  EXPECT_EQ(root->nextResponder(), window);
  EXPECT_EQ(window->nextResponder(), Application::shared());
  EXPECT_EQ(Application::shared()->nextResponder(), nullptr);
}

}  // namespace
}  // namespace plexora::platform
