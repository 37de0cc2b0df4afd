// The engine's two web view flavours, both shells around a WebPage.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <utility>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainLoopGLib.h"
#include "platform/web/SyncWebView.h"
#include "platform/web/WebPage.h"
#include "platform/web/WebView.h"
#include "platform/web/WebViewMakerDefaults.h"

namespace plexora::platform {

namespace {

constexpr const char* kScriptTimedOutDescription = "The JavaScript evaluation timed out";

// The shared half: everything but scripts and delegates goes to the page.
template <class Interface>
class EngineContentView : public Interface {
 public:
  void loadHTMLString(const std::string& html, const std::string& baseURL) override { page_->loadHTML(html, baseURL); }
  void loadURL(const std::string& url) override { page_->loadURL(url); }
  void goBack() override { page_->goBack(); }
  void goForward() override { page_->goForward(); }
  void reload() override { page_->reload(); }
  void stopLoading() override { page_->stopLoading(); }
  bool canGoBack() const override { return page_->canGoBack(); }
  bool canGoForward() const override { return page_->canGoForward(); }
  bool isLoading() const override { return page_->isLoading(); }
  std::string url() const override { return page_->url(); }
  std::string userAgent() const override { return page_->userAgent(); }
  void setCustomUserAgent(const std::string& userAgent) override { page_->setCustomUserAgent(userAgent); }
  void setFrameSize(std::uint32_t pixelWidth, std::uint32_t pixelHeight) override {
    page_->setSize(pixelWidth, pixelHeight);
  }
  std::shared_ptr<Image> snapshot() const override { return page_->snapshot(); }
  void sendPointer(WebPointerPhase phase, std::int32_t x, std::int32_t y) override { page_->sendPointer(phase, x, y); }

 protected:
  // The events capture the view itself: the page, and with it every queued
  // event, goes before the view does.
  void makePage(detail::WebPageEvents events, WebProcessSharing sharing) {
    page_ = std::make_unique<detail::WebPage>(1, 1, std::move(events), sharing);
  }
  detail::WebPage& page() { return *page_; }

 private:
  std::unique_ptr<detail::WebPage> page_;
};

class EngineWebView final : public EngineContentView<WebView> {
 public:
  explicit EngineWebView(WebProcessSharing sharing) {
    detail::WebPageEvents events;
    events.decidePolicy = [this](const WebNavigationAction& action, WebPolicyDecisionHandler decide) {
      if (const auto delegate = delegate_.lock()) {
        delegate->decidePolicyForNavigationAction(*this, action, std::move(decide));
      } else {
        decide(WebNavigationPolicy::Allow);
      }
    };
    events.started = [this] {
      if (const auto delegate = delegate_.lock()) {
        delegate->didStartProvisionalNavigation(*this);
      }
    };
    events.finished = [this] {
      if (const auto delegate = delegate_.lock()) {
        delegate->didFinishNavigation(*this);
      }
    };
    events.failed = [this](const Error& error, bool provisional) {
      if (const auto delegate = delegate_.lock()) {
        if (provisional) {
          delegate->didFailProvisionalNavigation(*this, error);
        } else {
          delegate->didFailNavigation(*this, error);
        }
      }
    };
    makePage(std::move(events), sharing);
  }

  void evaluateJavaScript(const std::string& script, JavaScriptCompletion completion) override {
    page().evaluate(script, [completion = std::move(completion)](Value result, std::optional<Error> error) mutable {
      DispatchQueue::main()->async(
          [completion = std::move(completion), result = std::move(result), error = std::move(error)]() mutable {
            if (completion) {
              completion(std::move(result), std::move(error));
            }
          });
    });
  }

  void setNavigationDelegate(std::weak_ptr<WebViewNavigationDelegate> delegate) override {
    delegate_ = std::move(delegate);
  }

 private:
  std::weak_ptr<WebViewNavigationDelegate> delegate_;
};

class EngineSyncWebView final : public EngineContentView<SyncWebView> {
 public:
  explicit EngineSyncWebView(WebProcessSharing sharing) {
    detail::WebPageEvents events;
    events.decidePolicy = [this](const WebNavigationAction& action, WebPolicyDecisionHandler decide) {
      const auto delegate = delegate_.lock();
      const bool allowed = !delegate || delegate->shouldStartLoad(*this, action);
      decide(allowed ? WebNavigationPolicy::Allow : WebNavigationPolicy::Cancel);
    };
    events.started = [this] {
      if (const auto delegate = delegate_.lock()) {
        delegate->didStartLoad(*this);
      }
    };
    events.finished = [this] {
      if (const auto delegate = delegate_.lock()) {
        delegate->didFinishLoad(*this);
      }
    };
    events.failed = [this](const Error& error, bool) {
      if (const auto delegate = delegate_.lock()) {
        delegate->didFailLoad(*this, error);
      }
    };
    makePage(std::move(events), sharing);
  }

  JavaScriptAnswer evaluateJavaScript(const std::string& script, double timeoutSeconds) override {
    // Shared with the engine's callback, which may come after a timeout.
    auto answer = std::make_shared<std::optional<JavaScriptAnswer>>();
    page().evaluate(script, [answer](Value result, std::optional<Error> error) {
      if (error) {
        *answer = std::move(*error);
      } else {
        *answer = std::move(result);
      }
    });
    const detail::SteadyDeadline deadline =
        detail::deadlineAfter(std::isfinite(timeoutSeconds) ? std::max(timeoutSeconds, 0.0) : 0.0);
    while (!*answer && std::chrono::steady_clock::now() < *deadline) {
      if (!detail::iterateGLibContext(deadline, {})) {
        break;  // another thread owns the context: nothing here could answer
      }
    }
    if (*answer) {
      return std::move(**answer);
    }
    return Error(kWebViewErrorDomain, kWebViewErrorJavaScriptTimedOut,
                 Dictionary{{kLocalizedDescriptionKey, kScriptTimedOutDescription}});
  }

  void setDelegate(std::weak_ptr<SyncWebViewDelegate> delegate) override { delegate_ = std::move(delegate); }

 private:
  std::weak_ptr<SyncWebViewDelegate> delegate_;
};

}  // namespace

void WebViewNavigationDelegate::decidePolicyForNavigationAction(WebView&, const WebNavigationAction&,
                                                                WebPolicyDecisionHandler decisionHandler) {
  decisionHandler(WebNavigationPolicy::Allow);
}

namespace detail {

std::shared_ptr<WebView> makeEngineWebView(WebProcessSharing sharing) {
  return std::make_shared<EngineWebView>(sharing);
}
std::shared_ptr<SyncWebView> makeEngineSyncWebView(WebProcessSharing sharing) {
  return std::make_shared<EngineSyncWebView>(sharing);
}

}  // namespace detail

}  // namespace plexora::platform
