#include "internal/browser/OVAdSafariDelegateTranslator.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "BrowserTestSupport.h"
#include "internal/browser/OVAdSystemBrowserController.h"

namespace plexora {
namespace {

// Stands in for the system's browser: only the link it was made for.
class FakeSystemBrowserController final : public OVAdSystemBrowserController {
 public:
  explicit FakeSystemBrowserController(platform::URL url) : url(std::move(url)) {}
  platform::URL url;
};

class OVAdSafariDelegateTranslatorTest : public testing::BrowserTest {
 protected:
  void presentSystemBrowser() {
    present();
    controller_ = std::dynamic_pointer_cast<FakeSystemBrowserController>(delegate_->browser);
    ASSERT_NE(controller_, nullptr);
    translator_ = OVAdSafariDelegateTranslator::translatorForObject(controller_, false);
    ASSERT_NE(translator_, nullptr);
  }
  void advance(double seconds) {
    clock_->advance(seconds);
    runMainQueue();
  }

  OVAdSystemBrowserController::Maker::Scope systemBrowser_{
      OVAdSystemBrowserController::maker(),
      [](const platform::URL& url) { return std::make_shared<FakeSystemBrowserController>(url); }};
  std::shared_ptr<FakeSystemBrowserController> controller_;
  std::shared_ptr<OVAdSafariDelegateTranslator> translator_;
};

TEST_F(OVAdSafariDelegateTranslatorTest, WithASystemBrowserTheLinkOpensInIt) {
  EXPECT_TRUE(OVAdSafariViewController::supportsSafariServices());
  presentSystemBrowser();
  EXPECT_EQ(delegate_->heard, (std::vector<std::string>{"will", "completed"}));
  EXPECT_EQ(root_->presentedViewController(), controller_);
  EXPECT_EQ(controller_->url.absoluteString(), kLink);
  EXPECT_TRUE(webViews_.empty()) << "the in-app browser is not made";
  EXPECT_EQ(controller_->delegate(), translator_);
  EXPECT_EQ(translator_->safariViewController(), controller_);
  EXPECT_EQ(translator_->inlineClientToken(), kToken);
  EXPECT_EQ(translator_->handlerTimeMs(), kHandlerTimeMs);
  EXPECT_EQ(translator_->loadStartMs(), 1700000000000) << "when it was made, before the presentation's 0.3 s";
  EXPECT_EQ(OVAdSafariDelegateTranslator::translatorForObject(controller_), translator_) << "one per controller";
  EXPECT_EQ(OVAdSafariDelegateTranslator::translatorForObject(nullptr), nullptr);
  // The controller and its translator keep each other until the session ends.
  controller_->delegate()->safariViewControllerDidFinish(controller_);
  advance(1.0);
}

TEST_F(OVAdSafariDelegateTranslatorTest, OnlyASuccessfulInitialLoadIsTimed) {
  for (const bool success : {true, false}) {
    SCOPED_TRACE(success);
    sessions_->clear();
    delegate_ = std::make_shared<testing::RecordingBrowserDelegate>();
    presentSystemBrowser();
    advance(2.0);
    controller_->delegate()->safariViewControllerDidCompleteInitialLoad(controller_, success);
    const std::string loaded = success ? std::to_string(OVAdSafariViewController::currentTimeMs()) : "0";
    advance(1.0);
    controller_->delegate()->safariViewControllerDidFinish(controller_);
    ASSERT_EQ(sessions_->size(), 1u);
    const testing::LoggedSession& session = sessions_->front();
    for (const char* key : {"response_end_ms", "dom_content_loaded_ms", "scroll_ready_ms", "load_finish_ms"}) {
      EXPECT_EQ(session[key], loaded) << key;
    }
    EXPECT_EQ(session["initial_url"], kLink);
    advance(1.0);
  }
}

TEST_F(OVAdSafariDelegateTranslatorTest, DoneTellsTheDelegateOnceWhicheverCallbackComesFirst) {
  presentSystemBrowser();
  controller_->delegate()->safariViewControllerDidFinish(controller_);
  EXPECT_EQ(sessions_->size(), 1u);
  finishTransition();
  EXPECT_EQ(delegate_->heard, (std::vector<std::string>{"will", "completed", "dismissed"}));
  EXPECT_EQ(root_->presentedViewController(), nullptr);
  EXPECT_EQ(controller_->attachedTranslator(), nullptr) << "the pair is broken up";
  EXPECT_EQ(translator_->safariViewController(), nullptr);
  advance(1.0);
  EXPECT_EQ(delegate_->heard.size(), 3u) << "the fallback found it done";
  EXPECT_EQ(sessions_->size(), 1u);
}

TEST_F(OVAdSafariDelegateTranslatorTest, ADismissalThatNeverCompletesStillTellsTheDelegateAfterASecond) {
  auto controller = std::make_shared<FakeSystemBrowserController>(*platform::URL::parse(kLink));
  auto translator = OVAdSafariDelegateTranslator::translatorForObject(controller);
  translator->setDelegate(delegate_);
  controller->setDelegate(translator);
  // Not presented, so its dismissal is refused and never completes.
  translator->safariViewControllerDidFinish(controller);
  advance(0.9);
  EXPECT_TRUE(delegate_->heard.empty());
  advance(0.1);
  EXPECT_EQ(delegate_->heard, (std::vector<std::string>{"dismissed"}));
  EXPECT_EQ(sessions_->size(), 1u);
}

TEST_F(OVAdSafariDelegateTranslatorTest, ABrowserClosedWithoutDoneStillEndsItsSessionOnce) {
  presentSystemBrowser();
  ASSERT_TRUE(root_->dismiss(true));
  finishTransition();
  advance(1.0);
  EXPECT_EQ(sessions_->size(), 1u);
  EXPECT_EQ(delegate_->heard, (std::vector<std::string>{"will", "completed", "dismissed"}));
  EXPECT_EQ(controller_->attachedTranslator(), nullptr);
}

}  // namespace
}  // namespace plexora
