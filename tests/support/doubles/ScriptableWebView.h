// Web views without an engine, for unit tests: the test writes the page's
// script answers and plays its navigations, loads and failures.
//
// Scripts are answered from rules (the first rule whose fragment the script
// contains wins; a script no rule matches answers null). ScriptableWebView
// answers on the main queue after answerDelay seconds of the current Clock,
// so on a ManualClock an answer comes only when the test advances it;
// ScriptableSyncWebView answers from the call, and a script whose rule says
// never answers the timed-out error a page that never answers would.
//
// The drive methods (navigate, startLoad, finishLoad, failLoad) call the
// delegate at once, where the engine would queue the call: the test decides
// the order.
//
// install() makes makeWebView() / makeSyncWebView() answer new doubles for the
// scope's life and lists each one made.
//
// Thread safety: main thread only, like the views they stand in for.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Error.h"
#include "platform/value/Value.h"
#include "platform/web/SyncWebView.h"
#include "platform/web/WebView.h"
#include "platform/web/WebViewMaker.h"

namespace plexora::testing {

// The answers scripts get.
class ScriptAnswers {
 public:
  struct Never {};
  using Answer = std::variant<platform::Value, platform::Error, Never>;

  void answer(std::string fragment, platform::Value result) { rules_.push_back({std::move(fragment), result}); }
  void fail(std::string fragment, platform::Error error) { rules_.push_back({std::move(fragment), error}); }
  void never(std::string fragment) { rules_.push_back({std::move(fragment), Never{}}); }

  Answer lookup(const std::string& script) const {
    for (const Rule& rule : rules_) {
      if (script.find(rule.fragment) != std::string::npos) {
        return rule.answer;
      }
    }
    return platform::Value();
  }

 private:
  struct Rule {
    std::string fragment;
    Answer answer;
  };
  std::vector<Rule> rules_;
};

// What both doubles share: every call recorded, state the test may set.
template <class Interface>
class ScriptableContentView : public Interface {
 public:
  struct Load {
    std::string html;     // empty for a URL load
    std::string baseURL;  // or the URL loaded
  };
  struct Pointer {
    platform::WebPointerPhase phase;
    std::int32_t x;
    std::int32_t y;
    bool operator==(const Pointer&) const = default;
  };

  void loadHTMLString(const std::string& html, const std::string& baseURL) override {
    loads.push_back({html, baseURL});
    loading = true;
  }
  void loadURL(const std::string& url) override {
    loads.push_back({"", url});
    loading = true;
  }
  void goBack() override { ++backCount; }
  void goForward() override { ++forwardCount; }
  void reload() override { ++reloadCount; }
  void stopLoading() override {
    ++stopCount;
    loading = false;
  }
  bool canGoBack() const override { return canGoBackAnswer; }
  bool canGoForward() const override { return canGoForwardAnswer; }
  bool isLoading() const override { return loading; }
  std::string url() const override { return currentURL; }
  std::string userAgent() const override { return customUserAgent.empty() ? engineUserAgent : customUserAgent; }
  void setCustomUserAgent(const std::string& userAgent) override { customUserAgent = userAgent; }
  void setFrameSize(std::uint32_t pixelWidth, std::uint32_t pixelHeight) override {
    frameWidth = pixelWidth;
    frameHeight = pixelHeight;
  }
  std::shared_ptr<platform::Image> snapshot() const override { return frame; }
  void sendPointer(platform::WebPointerPhase phase, std::int32_t x, std::int32_t y) override {
    pointers.push_back({phase, x, y});
  }

  ScriptAnswers answers;
  std::vector<Pointer> pointers;
  std::vector<std::string> scripts;
  std::vector<Load> loads;
  int backCount = 0;
  int forwardCount = 0;
  int reloadCount = 0;
  int stopCount = 0;
  bool loading = false;
  bool canGoBackAnswer = false;
  bool canGoForwardAnswer = false;
  std::string currentURL;
  std::string engineUserAgent = "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/605.1.15 (KHTML, like Gecko)";
  std::string customUserAgent;
  std::uint32_t frameWidth = 0;
  std::uint32_t frameHeight = 0;
  std::shared_ptr<platform::Image> frame;
};

class ScriptableWebView final : public ScriptableContentView<platform::WebView> {
 public:
  static platform::ScopedWebViewMaker install(std::vector<std::shared_ptr<ScriptableWebView>>& made) {
    return platform::ScopedWebViewMaker([&made] {
      auto view = std::make_shared<ScriptableWebView>();
      made.push_back(view);
      return view;
    });
  }

  void evaluateJavaScript(const std::string& script, JavaScriptCompletion completion) override {
    scripts.push_back(script);
    const ScriptAnswers::Answer answer = answers.lookup(script);
    if (std::holds_alternative<ScriptAnswers::Never>(answer)) {
      return;
    }
    auto deliver = [answer, completion = std::move(completion)] {
      if (!completion) {
        return;
      }
      if (const auto* error = std::get_if<platform::Error>(&answer)) {
        completion(platform::Value(), *error);
      } else {
        completion(std::get<platform::Value>(answer), std::nullopt);
      }
    };
    if (answerDelay > 0) {
      platform::DispatchQueue::main()->after(answerDelay, std::move(deliver));
    } else {
      platform::DispatchQueue::main()->async(std::move(deliver));
    }
  }
  void setNavigationDelegate(std::weak_ptr<platform::WebViewNavigationDelegate> delegate) override {
    delegate_ = std::move(delegate);
  }

  // Offers a navigation to the delegate; answers its decision, or nothing
  // while it has not decided (decisions may come later). Without a delegate
  // it is allowed.
  std::optional<platform::WebNavigationPolicy> navigate(const std::string& url, platform::WebNavigationType type,
                                                        bool opensNewWindow = false) {
    auto decided = std::make_shared<std::optional<platform::WebNavigationPolicy>>();
    platform::WebPolicyDecisionHandler handler = [decided](platform::WebNavigationPolicy policy) {
      if (!*decided) {
        *decided = policy;
      }
    };
    if (const auto delegate = delegate_.lock()) {
      delegate->decidePolicyForNavigationAction(*this, {url, type, opensNewWindow}, std::move(handler));
    } else {
      handler(platform::WebNavigationPolicy::Allow);
    }
    return *decided;
  }
  void startLoad() {
    loading = true;
    if (const auto delegate = delegate_.lock()) delegate->didStartProvisionalNavigation(*this);
  }
  void finishLoad() {
    loading = false;
    if (const auto delegate = delegate_.lock()) delegate->didFinishNavigation(*this);
  }
  void failLoad(const platform::Error& error, bool provisional) {
    loading = false;
    if (const auto delegate = delegate_.lock()) {
      if (provisional) {
        delegate->didFailProvisionalNavigation(*this, error);
      } else {
        delegate->didFailNavigation(*this, error);
      }
    }
  }

  // Seconds of the current Clock before a script's answer is queued.
  double answerDelay = 0;

 private:
  std::weak_ptr<platform::WebViewNavigationDelegate> delegate_;
};

class ScriptableSyncWebView final : public ScriptableContentView<platform::SyncWebView> {
 public:
  static platform::ScopedWebViewMaker install(std::vector<std::shared_ptr<ScriptableSyncWebView>>& made) {
    return platform::ScopedWebViewMaker({}, [&made] {
      auto view = std::make_shared<ScriptableSyncWebView>();
      made.push_back(view);
      return view;
    });
  }

  JavaScriptAnswer evaluateJavaScript(const std::string& script, double) override {
    scripts.push_back(script);
    const ScriptAnswers::Answer answer = answers.lookup(script);
    if (std::holds_alternative<ScriptAnswers::Never>(answer)) {
      return platform::Error(platform::kWebViewErrorDomain, platform::kWebViewErrorJavaScriptTimedOut);
    }
    if (const auto* error = std::get_if<platform::Error>(&answer)) {
      return *error;
    }
    return std::get<platform::Value>(answer);
  }
  void setDelegate(std::weak_ptr<platform::SyncWebViewDelegate> delegate) override { delegate_ = std::move(delegate); }

  // Asks the delegate whether the navigation may start (yes without one).
  bool navigate(const std::string& url, platform::WebNavigationType type) {
    const auto delegate = delegate_.lock();
    return !delegate || delegate->shouldStartLoad(*this, {url, type, false});
  }
  void startLoad() {
    loading = true;
    if (const auto delegate = delegate_.lock()) delegate->didStartLoad(*this);
  }
  void finishLoad() {
    loading = false;
    if (const auto delegate = delegate_.lock()) delegate->didFinishLoad(*this);
  }
  void failLoad(const platform::Error& error) {
    loading = false;
    if (const auto delegate = delegate_.lock()) delegate->didFailLoad(*this, error);
  }

 private:
  std::weak_ptr<platform::SyncWebViewDelegate> delegate_;
};

}  // namespace plexora::testing
