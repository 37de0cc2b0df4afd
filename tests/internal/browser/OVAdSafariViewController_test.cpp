#include "internal/browser/OVAdSafariViewController.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/ui/UITest.h"
#include "support/doubles/FakeBrowser.h"
#include "support/doubles/FakeViewControllerProxy.h"

namespace plexora {
namespace {

using OVAdSafariViewControllerTest = platform::testing::UITest;

class RecordingBrowserDelegate final : public OVAdSafariViewControllerDelegate {
 public:
  void willPresentViewController(const std::shared_ptr<platform::ViewController>&) override { heard.push_back("will"); }
  void viewControllerCompleted(const std::shared_ptr<platform::ViewController>&) override {
    heard.push_back("completed");
  }
  void viewControllerDismissed(const std::shared_ptr<platform::ViewController>&) override {
    heard.push_back("dismissed");
  }
  std::vector<std::string> heard;
};

TEST_F(OVAdSafariViewControllerTest, TheCurrentTimeInWholeMilliseconds) {
  platform::ScopedClock clock{std::make_shared<platform::ManualClock>(1700000000.1239, 5.0)};
  EXPECT_EQ(OVAdSafariViewController::currentTimeMs(), 1700000000123);
}

TEST_F(OVAdSafariViewControllerTest, APresentationGoesToTheInstalledBrowser) {
  const auto url = *platform::URL::parse("https://advertiser.test/page");
  auto delegate = std::make_shared<RecordingBrowserDelegate>();
  OVAdSafariViewController::presentSafariViewControllerWithURL(url, nullptr, "token", 42, delegate);
  EXPECT_TRUE(delegate->heard.empty()) << "nothing is presented without a controller to present from";

  auto proxies = testing::FakeViewControllerProxy::install();
  auto presentations = std::make_shared<std::vector<testing::FakeSafariPresenter::Presentation>>();
  auto browser = testing::FakeSafariPresenter::install(presentations);
  const auto root = OVAdViewControllerProxy::viewController();
  OVAdSafariViewController::presentSafariViewControllerWithURL(url, root, "token", 42, delegate);
  ASSERT_EQ(presentations->size(), 1u);
  const auto& presentation = presentations->front();
  EXPECT_EQ(presentation.url, url);
  EXPECT_EQ(presentation.rootViewController, root);
  EXPECT_EQ(presentation.inlineClientToken, "token");
  EXPECT_EQ(presentation.handlerTimeMs, 42);
  testing::FakeSafariPresenter::dismiss(presentation);
  EXPECT_EQ(delegate->heard, (std::vector<std::string>{"will", "completed", "dismissed"}));
}

}  // namespace
}  // namespace plexora
