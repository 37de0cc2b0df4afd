#include "internal/browser/OVAdViewControllerProxy.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/ui/UITest.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "support/doubles/FakeViewControllerProxy.h"

namespace plexora {
namespace {

using platform::View;
using platform::ViewController;
using testing::FakeViewControllerProxy;

using OVAdViewControllerProxyTest = platform::testing::UITest;

TEST_F(OVAdViewControllerProxyTest, AControllerGetsANewProxyThatHoldsItAndTheView) {
  auto fakes = FakeViewControllerProxy::install();
  auto controller = std::make_shared<ViewController>();
  auto view = std::make_shared<View>();

  const auto plain = OVAdViewControllerProxy::proxyWithViewController(controller);
  const auto withView = OVAdViewControllerProxy::proxyWithViewController(controller, view);
  ASSERT_NE(plain, nullptr);
  ASSERT_NE(withView, nullptr);
  EXPECT_NE(plain, withView);
  EXPECT_EQ(plain->currentViewController(), controller);
  EXPECT_EQ(std::static_pointer_cast<FakeViewControllerProxy>(plain)->heldView(), nullptr);
  EXPECT_EQ(std::static_pointer_cast<FakeViewControllerProxy>(withView)->heldView(), view);
}

TEST_F(OVAdViewControllerProxyTest, NoControllerGivesTheOneSharedProxyAndAProxyStaysItself) {
  auto fakes = FakeViewControllerProxy::install();
  const auto shared = OVAdViewControllerProxy::viewController();
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(OVAdViewControllerProxy::viewController(), shared);
  EXPECT_EQ(OVAdViewControllerProxy::proxyWithViewController(std::shared_ptr<ViewController>()), shared);
  EXPECT_EQ(OVAdViewControllerProxy::proxyWithViewController(nullptr, std::make_shared<View>()), shared);

  const auto proxy = OVAdViewControllerProxy::proxyWithViewController(std::make_shared<ViewController>());
  EXPECT_EQ(OVAdViewControllerProxy::proxyWithViewController(proxy), proxy);
  EXPECT_EQ(OVAdViewControllerProxy::proxyWithViewController(std::shared_ptr<OVAdViewControllerProxy>()), shared);
}

TEST_F(OVAdViewControllerProxyTest, WithoutAMakerNoProxyIsMade) {
  OVAdViewControllerProxy::Maker::Scope none(OVAdViewControllerProxy::maker(), nullptr);
  EXPECT_EQ(OVAdViewControllerProxy::proxyWithViewController(std::make_shared<ViewController>()), nullptr);
}

}  // namespace
}  // namespace plexora
