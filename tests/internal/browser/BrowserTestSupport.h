// A fixture for the browsers' tests: a key window whose root controller
// presents, web views that are scriptable doubles, every browsing-session
// event recorded instead of stored, and a delegate that lists what it hears.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "internal/browser/OVAdSafariViewController.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "internal/browser/data/OVAdBrowserSessionData.h"
#include "platform/ui/UITest.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "support/doubles/ScriptableWebView.h"

namespace plexora::testing {

class RecordingBrowserDelegate final : public OVAdSafariViewControllerDelegate {
 public:
  void willPresentViewController(const std::shared_ptr<platform::ViewController>& controller) override {
    heard.push_back("will");
    browser = controller;
  }
  void viewControllerCompleted(const std::shared_ptr<platform::ViewController>&) override {
    heard.push_back("completed");
  }
  void viewControllerDismissed(const std::shared_ptr<platform::ViewController>&) override {
    heard.push_back("dismissed");
  }
  std::vector<std::string> heard;
  std::shared_ptr<platform::ViewController> browser;
};

struct LoggedSession {
  std::string token;
  platform::Dictionary data;

  std::string operator[](const char* key) const {
    const platform::Value* value = data.find(key);
    return value != nullptr && value->isString() ? value->asString() : "<missing>";
  }
};

class BrowserTest : public platform::testing::UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    window_ = makeKeyWindow();
    window_->setRootViewController(root_);
    runMainQueue();
  }

  // Lets an animated presentation or dismissal finish.
  void finishTransition() {
    clock_->advance(platform::ViewController::kTransitionSeconds);
    runMainQueue();
  }

  void present(const std::string& link = kLink) {
    OVAdSafariViewController::presentSafariViewControllerWithURL(
        *platform::URL::parse(link), OVAdViewControllerProxy::proxyWithViewController(root_), kToken, kHandlerTimeMs,
        delegate_);
    finishTransition();
  }

  static constexpr const char* kLink = "https://advertiser.test/landing";
  static constexpr const char* kToken = "client-token";
  static constexpr std::int64_t kHandlerTimeMs = 1699999999000;

  std::shared_ptr<platform::Window> window_;
  std::shared_ptr<platform::ViewController> root_ = std::make_shared<platform::ViewController>();
  std::vector<std::shared_ptr<ScriptableWebView>> webViews_;
  platform::ScopedWebViewMaker webViewMaker_ = ScriptableWebView::install(webViews_);
  std::shared_ptr<std::vector<LoggedSession>> sessions_ = std::make_shared<std::vector<LoggedSession>>();
  OVAdBrowserSessionData::EventSink::Scope sink_{
      OVAdBrowserSessionData::eventSink(),
      [sessions = sessions_](const std::string& token, const platform::Dictionary& data) {
        sessions->push_back({token, data});
      }};
  std::shared_ptr<RecordingBrowserDelegate> delegate_ = std::make_shared<RecordingBrowserDelegate>();
};

}  // namespace plexora::testing
