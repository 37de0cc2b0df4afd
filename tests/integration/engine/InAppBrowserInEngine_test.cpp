// The library's in-app browser over the real web engine: presented over the
// host's controller, it loads pages from the loopback server, follows a
// link, moves back and forward, reloads, and on done reports the visit as
// one "browser_session" event the logging endpoint acknowledges; a link
// that is no web page goes to the system and closes the browser without a
// session. Real clock and main loop; every wait is for a state, with room
// for the engine's helper processes on a loaded machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "internal/browser/OVAdSafariViewController.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "internal/browser/OVAdWKWebViewBrowserController.h"
#include "internal/browser/data/OVAdBrowserSessionData.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "plexora/OVAdSettings.h"
#include "support/EngineWaits.h"
#include "support/TempDir.h"
#include "testserver/adserver/AdServer.h"
#include "tracking/OVAdEventManager.h"

namespace plexora::testing {
namespace {

constexpr const char* kToken = "ct-browser-1";
constexpr const char* kFirstPath = "/landing/first";
constexpr const char* kSecondPath = "/landing/second";
constexpr const char* kMailLink = "mailto:sales@plexora.test";
constexpr const char* kBrowserSessionType = "browser_session";

testserver::Response htmlPage(const std::string& body) {
  testserver::Response response;
  response.headers = {{"Content-Type", "text/html; charset=utf-8"}, {"Connection", "close"}};
  response.body = "<!DOCTYPE html><html><head><meta name=\"viewport\" content=\"width=device-width\"></head><body>" +
                  body + "</body></html>";
  return response;
}

class RecordingBrowserDelegate final : public OVAdSafariViewControllerDelegate {
 public:
  void willPresentViewController(const std::shared_ptr<platform::ViewController>&) override {
    heard.push_back("will");
  }
  void viewControllerCompleted(const std::shared_ptr<platform::ViewController>&) override {
    heard.push_back("completed");
  }
  void viewControllerDismissed(const std::shared_ptr<platform::ViewController>&) override {
    heard.push_back("dismissed");
  }
  bool dismissed() const { return std::count(heard.begin(), heard.end(), "dismissed") > 0; }

  std::vector<std::string> heard;
};

using Item = OVAdWKWebViewBrowserController::ToolbarItem;

class InAppBrowserInEngineTest : public ::testing::Test {
 protected:
  InAppBrowserInEngineTest() {
    platform::setCachesDirectory(caches_.path().string());
    server_.server().on(kFirstPath,
                        htmlPage("<h1>First</h1><a id=\"next\" href=\"second\">Next</a>"
                                 "<a id=\"mail\" href=\"" + std::string(kMailLink) + "\">Write to us</a>"));
    server_.server().on(kSecondPath, htmlPage("<h1>Second</h1>"));
    server_.start();
    previousServer_ = OVAdSettings::adServerBaseURL();
    EXPECT_TRUE(OVAdSettings::setAdServerBaseURL(server_.baseURL()));
    window_->setRootViewController(root_);
    window_->makeKeyAndVisible();
  }
  ~InAppBrowserInEngineTest() override {
    platform::Application::shared()->setOpenableSchemes({"http", "https"});
    platform::Application::shared()->setURLOpener(nullptr);
    OVAdSettings::setAdServerBaseURL(previousServer_);
    platform::setCachesDirectory("");
  }

  // The server's base URL ends with "/", the paths begin with one.
  std::string pageURL(const char* path) const { return server_.baseURL() + (path + 1); }

  // Presents the browser on the first page and waits until that has loaded.
  std::shared_ptr<OVAdWKWebViewBrowserController> presentOnFirstPage() {
    OVAdSafariViewController::presentSafariViewControllerWithURL(
        *platform::URL::parse(pageURL(kFirstPath)), OVAdViewControllerProxy::proxyWithViewController(root_), kToken,
        handlerTimeMs_, delegate_);
    std::shared_ptr<OVAdWKWebViewBrowserController> browser;
    EXPECT_TRUE(waitFor([&] {
      browser = std::dynamic_pointer_cast<OVAdWKWebViewBrowserController>(root_->presentedViewController());
      return browser && browser->loadFinishMs() > 0 && settledOn(*browser, kFirstPath);
    }));
    return browser;
  }

  // The page at `path` has loaded and the toolbar shows it.
  bool settledOn(const OVAdWKWebViewBrowserController& browser, const char* path) const {
    const auto& items = browser.toolbarItems();
    return browser.webView()->url() == pageURL(path) && !browser.webView()->isLoading() &&
           items.size() > OVAdWKWebViewBrowserController::kLoadingItemIndex &&
           items[OVAdWKWebViewBrowserController::kLoadingItemIndex] == Item::Refresh &&
           std::find(items.begin(), items.end(), Item::Spinner) == items.end();
  }


  static void press(const std::shared_ptr<platform::Button>& button) {
    button->sendActionsForControlEvents(platform::kControlEventTouchUpInside);
  }

  std::size_t requestsFor(const char* path) const {
    const auto requests = server_.requests();
    return static_cast<std::size_t>(
        std::count_if(requests.begin(), requests.end(), [&](const auto& request) { return request.path == path; }));
  }

  // The "data" of every browser_session event the logging endpoint received.
  std::vector<std::map<std::string, std::string>> loggedSessions() const {
    std::vector<std::map<std::string, std::string>> sessions;
    for (const auto& request : server_.requests()) {
      if (request.path != testserver::kAdServerLoggingPath) continue;
      for (const auto& [name, value] : request.formFields()) {
        if (name != "payload") continue;
        const auto payload = nlohmann::json::parse(value, nullptr, false);
        if (!payload.is_object() || !payload.contains("events")) continue;
        for (const auto& event : payload["events"]) {
          if (event.value("type", "") != kBrowserSessionType) continue;
          std::map<std::string, std::string> data;
          const nlohmann::json fields = event.value("data", nlohmann::json::object());
          for (const auto& [key, field] : fields.items()) {
            data[key] = field.is_string() ? field.get<std::string>() : field.dump();
          }
          sessions.push_back(std::move(data));
        }
      }
    }
    return sessions;
  }

  int acknowledgedSessions() {
    const auto events = server_.logging().events();
    return static_cast<int>(std::count_if(events.begin(), events.end(), [](const auto& event) {
      return event.type == kBrowserSessionType && event.token == kToken && event.code;
    }));
  }

  TempDir caches_;
  testserver::AdServer server_;
  std::string previousServer_;
  std::shared_ptr<platform::Window> window_ = std::make_shared<platform::Window>();
  std::shared_ptr<platform::ViewController> root_ = std::make_shared<platform::ViewController>();
  std::shared_ptr<RecordingBrowserDelegate> delegate_ = std::make_shared<RecordingBrowserDelegate>();
  const std::int64_t handlerTimeMs_ = OVAdSafariViewController::currentTimeMs();
};

TEST_F(InAppBrowserInEngineTest, BrowsesBackForwardAndReloadsThenDoneReportsTheSessionOnce) {
  const auto browser = presentOnFirstPage();
  ASSERT_TRUE(browser);
  EXPECT_EQ(delegate_->heard, (std::vector<std::string>{"will", "completed"}));
  EXPECT_FALSE(browser->backButton()->isEnabled());
  EXPECT_FALSE(browser->forwardButton()->isEnabled());
  const std::int64_t firstLoadFinishMs = browser->loadFinishMs();

  // A link in the page loads in the browser.
  evaluate(*browser->webView(), "document.getElementById('next').click();");
  ASSERT_TRUE(waitFor([&] { return settledOn(*browser, kSecondPath); }));
  EXPECT_TRUE(browser->backButton()->isEnabled());
  EXPECT_FALSE(browser->forwardButton()->isEnabled());

  press(browser->backButton());
  ASSERT_TRUE(waitFor([&] { return settledOn(*browser, kFirstPath) && browser->forwardButton()->isEnabled(); }));
  EXPECT_FALSE(browser->backButton()->isEnabled());

  press(browser->forwardButton());
  ASSERT_TRUE(waitFor([&] { return settledOn(*browser, kSecondPath) && browser->backButton()->isEnabled(); }));
  EXPECT_FALSE(browser->forwardButton()->isEnabled());

  // A reload asks the server again and starts the page afresh.
  const auto marked = evaluate(*browser->webView(), "window.seenBefore = true; 'marked'");
  ASSERT_TRUE(marked);
  const std::size_t secondRequests = requestsFor(kSecondPath);
  press(browser->refreshButton());
  ASSERT_TRUE(waitFor([&] { return requestsFor(kSecondPath) > secondRequests && settledOn(*browser, kSecondPath); }));
  const auto afterReload = evaluate(*browser->webView(), "typeof window.seenBefore");
  ASSERT_TRUE(afterReload);
  EXPECT_EQ(afterReload->text(), "undefined");
  // Later pages of the visit leave its first times as they were.
  EXPECT_EQ(browser->loadFinishMs(), firstLoadFinishMs);

  press(browser->doneButton());
  ASSERT_TRUE(waitFor([&] { return delegate_->dismissed() && !root_->presentedViewController(); }));
  EXPECT_EQ(delegate_->heard, (std::vector<std::string>{"will", "completed", "dismissed"}));

  // A session waits for the next batch: send it now rather than in five
  // minutes.
  OVAdEventManager::sharedManager()->dispatchEventsImmediately();
  ASSERT_TRUE(waitFor([&] { return acknowledgedSessions() > 0; }));
  EXPECT_EQ(acknowledgedSessions(), 1);
  const auto sessions = loggedSessions();
  ASSERT_EQ(sessions.size(), 1u);
  const auto& session = sessions.front();
  EXPECT_EQ(session.at("initial_url"), pageURL(kFirstPath));
  const auto time = [&](const char* key) { return std::stoll(session.at(key)); };
  EXPECT_EQ(time("handler_time_ms"), handlerTimeMs_);
  EXPECT_LE(time("handler_time_ms"), time("load_start_ms"));
  EXPECT_LE(time("load_start_ms"), time("response_end_ms"));
  EXPECT_LE(time("response_end_ms"), time("load_finish_ms"));
  EXPECT_EQ(time("load_finish_ms"), firstLoadFinishMs);
  EXPECT_LE(time("load_finish_ms"), time("session_finish_ms"));
  // A page this small finishes before the poll's first tick; the finish
  // asks once more, so the two are set and are one moment of the visit.
  EXPECT_EQ(time("dom_content_loaded_ms"), time("scroll_ready_ms"));
  EXPECT_LE(time("response_end_ms"), time("dom_content_loaded_ms"));
  EXPECT_LE(time("dom_content_loaded_ms"), time("session_finish_ms"));
}

TEST_F(InAppBrowserInEngineTest, ALinkThatIsNoWebPageGoesToTheSystemAndClosesWithoutASession) {
  std::vector<std::string> opened;
  platform::Application::shared()->setOpenableSchemes({"http", "https", "mailto"});
  platform::Application::shared()->setURLOpener(
      [&](const platform::URL& url) { opened.push_back(url.absoluteString()); });
  std::vector<std::string> sessionTokens;
  OVAdBrowserSessionData::EventSink::Scope sessions{
      OVAdBrowserSessionData::eventSink(),
      [&](const std::string& token, const platform::Dictionary&) { sessionTokens.push_back(token); }};

  const auto browser = presentOnFirstPage();
  ASSERT_TRUE(browser);
  evaluate(*browser->webView(), "document.getElementById('mail').click();");
  ASSERT_TRUE(waitFor([&] { return delegate_->dismissed() && !root_->presentedViewController(); }));
  EXPECT_EQ(opened, std::vector<std::string>{kMailLink});
  // The page stayed where it was: the link was never loaded in the browser.
  EXPECT_EQ(browser->webView()->url(), pageURL(kFirstPath));
  EXPECT_TRUE(sessionTokens.empty());
  EXPECT_EQ(delegate_->heard, (std::vector<std::string>{"will", "completed", "dismissed"}));
}

}  // namespace
}  // namespace plexora::testing
