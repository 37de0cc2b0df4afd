#include "internal/browser/OVAdWeakViewControllerProxy.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/ui/UITest.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

using platform::View;
using platform::ViewController;

// A key window whose root controller is what the application shows on top.
class OVAdWeakViewControllerProxyTest : public platform::testing::UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    OVAdViewControllerProxy::resetSharedProxyForTesting();
    window_ = makeKeyWindow();
    window_->setRootViewController(root_);
  }
  void TearDown() override {
    OVAdViewControllerProxy::resetSharedProxyForTesting();
    UITest::TearDown();
  }

  std::shared_ptr<ViewController> root_ = std::make_shared<ViewController>();
  std::shared_ptr<platform::Window> window_;
};

TEST_F(OVAdWeakViewControllerProxyTest, ProxiesAreWeakProxiesByDefaultAndKeepAControllerThatIsFine) {
  auto host = std::make_shared<ViewController>();
  const auto proxy = OVAdViewControllerProxy::proxyWithViewController(host);
  ASSERT_NE(std::dynamic_pointer_cast<OVAdWeakViewControllerProxy>(proxy), nullptr);
  EXPECT_EQ(proxy->currentViewController(), host);
  EXPECT_NE(std::dynamic_pointer_cast<OVAdWeakViewControllerProxy>(OVAdViewControllerProxy::viewController()),
            nullptr);
}

TEST_F(OVAdWeakViewControllerProxyTest, AReleasedControllerIsReplacedByTheTopViewController) {
  auto host = std::make_shared<ViewController>();
  const auto proxy = OVAdViewControllerProxy::proxyWithViewController(host);
  host.reset();
  const auto resolved = proxy->currentViewController();
  EXPECT_EQ(resolved, root_);

  // A presentation through the proxy reaches the controller on top.
  auto page = std::make_shared<ViewController>();
  ASSERT_TRUE(resolved->present(page, false));
  runMainQueue();
  EXPECT_EQ(root_->presentedViewController(), page);
}

TEST_F(OVAdWeakViewControllerProxyTest, APresentingControllerIsReplacedByTheControllerItPresents) {
  auto page = std::make_shared<ViewController>();
  ASSERT_TRUE(root_->present(page, false));
  runMainQueue();
  auto proxy = std::make_shared<OVAdWeakViewControllerProxy>(root_, nullptr);
  EXPECT_EQ(proxy->currentViewController(), page);
  EXPECT_EQ(proxy->viewController(), page) << "the replacement is held from then on";
}

TEST_F(OVAdWeakViewControllerProxyTest, TheSharedEmptyProxyFollowsTheTopViewControllerOnEveryUse) {
  const auto shared = OVAdViewControllerProxy::viewController();
  EXPECT_EQ(shared->currentViewController(), root_);
  auto other = std::make_shared<ViewController>();
  window_->setRootViewController(other);
  root_.reset();
  EXPECT_EQ(shared->currentViewController(), other);
}

TEST_F(OVAdWeakViewControllerProxyTest, WithoutATopViewControllerTheHeldViewsControllerIsUsed) {
  window_->setRootViewController(nullptr);
  auto owner = std::make_shared<ViewController>();
  const std::shared_ptr<View> view = owner->view();
  auto host = std::make_shared<ViewController>();
  auto proxy = std::make_shared<OVAdWeakViewControllerProxy>(host, view);
  host.reset();
  EXPECT_EQ(proxy->currentViewController(), owner);

  auto lost = std::make_shared<OVAdWeakViewControllerProxy>(nullptr, nullptr);
  EXPECT_EQ(lost->currentViewController(), nullptr);
}

}  // namespace
}  // namespace plexora
