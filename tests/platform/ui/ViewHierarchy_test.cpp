#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/ui/UITest.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace plexora::platform {
namespace {

using testing::UITest;
using ViewHierarchyTest = UITest;

// Records the hooks it hears, with the superview and window they see.
class RecordingView : public View {
 public:
  RecordingView(std::string name, std::vector<std::string>& log) : name_(std::move(name)), log_(log) {}

  void willMoveToSuperview(const std::shared_ptr<View>& newSuperview) override {
    log_.push_back(name_ + " willMoveToSuperview " + (newSuperview ? "view" : "none"));
  }
  void didMoveToSuperview() override {
    log_.push_back(name_ + " didMoveToSuperview " + (superview() ? "view" : "none"));
  }
  void willMoveToWindow(const std::shared_ptr<Window>& newWindow) override {
    log_.push_back(name_ + " willMoveToWindow " + (newWindow ? "window" : "none"));
  }
  void didMoveToWindow() override { log_.push_back(name_ + " didMoveToWindow " + (window() ? "window" : "none")); }
  void didAddSubview(const std::shared_ptr<View>&) override { log_.push_back(name_ + " didAddSubview"); }
  void willRemoveSubview(const std::shared_ptr<View>&) override { log_.push_back(name_ + " willRemoveSubview"); }

 private:
  std::string name_;
  std::vector<std::string>& log_;
};

std::vector<View*> order(const View& parent) {
  std::vector<View*> result;
  for (const auto& subview : parent.subviews()) {
    result.push_back(subview.get());
  }
  return result;
}

TEST_F(ViewHierarchyTest, InsertionPlacesSubviewsBackToFront) {
  auto parent = std::make_shared<View>();
  auto a = std::make_shared<View>();
  auto b = std::make_shared<View>();
  auto c = std::make_shared<View>();
  auto d = std::make_shared<View>();
  parent->addSubview(a);
  parent->addSubview(b);
  parent->insertSubview(c, 0);
  EXPECT_EQ(order(*parent), (std::vector<View*>{c.get(), a.get(), b.get()}));
  parent->insertSubviewAbove(d, c);
  EXPECT_EQ(order(*parent), (std::vector<View*>{c.get(), d.get(), a.get(), b.get()}));
  parent->insertSubviewBelow(b, a);  // Moving an existing subview.
  EXPECT_EQ(order(*parent), (std::vector<View*>{c.get(), d.get(), b.get(), a.get()}));
  parent->bringSubviewToFront(c);
  EXPECT_EQ(order(*parent), (std::vector<View*>{d.get(), b.get(), a.get(), c.get()}));
  parent->sendSubviewToBack(a);
  EXPECT_EQ(order(*parent), (std::vector<View*>{a.get(), d.get(), b.get(), c.get()}));
  parent->insertSubview(d, 99);
  EXPECT_EQ(order(*parent), (std::vector<View*>{a.get(), b.get(), c.get(), d.get()}));
  EXPECT_EQ(a->superview(), parent);
}

TEST_F(ViewHierarchyTest, AddingToAnotherSuperviewMovesTheView) {
  auto first = std::make_shared<View>();
  auto second = std::make_shared<View>();
  auto child = std::make_shared<View>();
  first->addSubview(child);
  second->addSubview(child);
  EXPECT_TRUE(first->subviews().empty());
  EXPECT_EQ(child->superview(), second);
  child->removeFromSuperview();
  EXPECT_EQ(child->superview(), nullptr);
  EXPECT_TRUE(second->subviews().empty());
}

TEST_F(ViewHierarchyTest, RefusesCyclesAndNullViews) {
  auto root = std::make_shared<View>();
  auto child = std::make_shared<View>();
  auto grandchild = std::make_shared<View>();
  root->addSubview(child);
  child->addSubview(grandchild);
  grandchild->addSubview(root);
  child->addSubview(child);
  child->addSubview(nullptr);
  EXPECT_EQ(root->superview(), nullptr);
  EXPECT_EQ(child->superview(), root);
  EXPECT_EQ(child->subviews().size(), 1u);
  EXPECT_TRUE(grandchild->isDescendantOfView(root.get()));
  EXPECT_FALSE(root->isDescendantOfView(grandchild.get()));
}

TEST_F(ViewHierarchyTest, AViewMustBeSharedBeforeItTakesSubviews) {
  View standalone;
  EXPECT_THROW(standalone.addSubview(std::make_shared<View>()), std::logic_error);
}

TEST_F(ViewHierarchyTest, MovesIntoAndOutOfAWindowSendTheHooksInOrder) {
  std::vector<std::string> log;
  auto window = makeKeyWindow();
  auto container = std::make_shared<RecordingView>("container", log);
  auto leaf = std::make_shared<RecordingView>("leaf", log);
  container->addSubview(leaf);
  log.clear();

  window->addSubview(container);
  EXPECT_EQ(log, (std::vector<std::string>{
                     "container willMoveToSuperview view",
                     "container willMoveToWindow window",
                     "leaf willMoveToWindow window",
                     "container didMoveToWindow window",
                     "leaf didMoveToWindow window",
                     "container didMoveToSuperview view",
                 }));
  EXPECT_EQ(leaf->window(), window);

  log.clear();
  leaf->removeFromSuperview();
  EXPECT_EQ(log, (std::vector<std::string>{
                     "container willRemoveSubview",
                     "leaf willMoveToSuperview none",
                     "leaf willMoveToWindow none",
                     "leaf didMoveToWindow none",
                     "leaf didMoveToSuperview none",
                 }));
  EXPECT_EQ(leaf->window(), nullptr);

  log.clear();
  container->addSubview(leaf);
  EXPECT_EQ(log.back(), "container didAddSubview");
}

TEST_F(ViewHierarchyTest, MovingWithinOneWindowSendsNoWindowHooks) {
  std::vector<std::string> log;
  auto window = makeKeyWindow();
  auto left = std::make_shared<View>();
  auto right = std::make_shared<View>();
  window->addSubview(left);
  window->addSubview(right);
  auto moving = std::make_shared<RecordingView>("moving", log);
  left->addSubview(moving);
  log.clear();
  right->addSubview(moving);
  EXPECT_EQ(log, (std::vector<std::string>{"moving willMoveToSuperview view", "moving didMoveToSuperview view"}));
}

TEST_F(ViewHierarchyTest, SubviewsOutlivingTheirSuperviewAreDetached) {
  std::vector<std::string> log;
  auto survivor = std::make_shared<RecordingView>("survivor", log);
  {
    auto window = std::make_shared<Window>();
    window->addSubview(survivor);
    log.clear();
  }
  EXPECT_EQ(survivor->superview(), nullptr);
  EXPECT_EQ(survivor->window(), nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"survivor didMoveToWindow none", "survivor didMoveToSuperview none"}));
}

TEST_F(ViewHierarchyTest, ViewWithTagSearchesDepthFirst) {
  auto root = std::make_shared<View>();
  auto branch = std::make_shared<View>();
  auto deep = std::make_shared<View>();
  auto later = std::make_shared<View>();
  deep->setTag(7);
  later->setTag(7);
  root->addSubview(branch);
  branch->addSubview(deep);
  root->addSubview(later);
  EXPECT_EQ(root->viewWithTag(7), deep);
  EXPECT_EQ(root->viewWithTag(0), root);
  EXPECT_EQ(root->viewWithTag(8), nullptr);
}

TEST_F(ViewHierarchyTest, AlphaIsClamped) {
  View view;
  view.setAlpha(1.5);
  EXPECT_EQ(view.alpha(), 1.0);
  view.setAlpha(-0.5);
  EXPECT_EQ(view.alpha(), 0.0);
}

}  // namespace
}  // namespace plexora::platform
