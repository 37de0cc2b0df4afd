#include "platform/web/HeadlessWebView.h"

#include <mutex>
#include <string_view>
#include <utility>

#include "platform/dispatch/DispatchQueue.h"

namespace plexora::platform {

namespace {

constexpr std::string_view kUserAgentExpression = "navigator.userAgent";
constexpr const char* kUnsupportedScriptDescription = "A JavaScript exception occurred";

struct Settings {
  std::mutex mutex;
  std::string userAgent = kHeadlessWebViewDefaultUserAgent;
  HeadlessWebViewAnswer answer = HeadlessWebViewAnswer::UserAgent;
};

Settings& settings() {
  // Never destroyed: views may answer while the process exits.
  static Settings* const instance = new Settings;
  return *instance;
}

}  // namespace

void HeadlessWebView::evaluateJavaScript(const std::string& script, JavaScriptCompletion completion) {
  const std::string agent = userAgent();
  const HeadlessWebViewAnswer mode = answer();
  if (mode == HeadlessWebViewAnswer::Never) {
    return;
  }

  Value result;
  std::optional<Error> error;
  if (script.find(kUserAgentExpression) == std::string::npos) {
    error = Error(kWebViewErrorDomain, kWebViewErrorJavaScriptFailed,
                  Dictionary{{kLocalizedDescriptionKey, kUnsupportedScriptDescription}});
  } else if (mode == HeadlessWebViewAnswer::UserAgent) {
    result = agent;
  }
  DispatchQueue::main()->async(
      [completion = std::move(completion), result = std::move(result), error = std::move(error)]() mutable {
        if (completion) {
          completion(std::move(result), std::move(error));
        }
      });
}

void HeadlessWebView::setUserAgent(std::string userAgent) {
  std::lock_guard lock(settings().mutex);
  settings().userAgent = userAgent.empty() ? std::string(kHeadlessWebViewDefaultUserAgent) : std::move(userAgent);
}

std::string HeadlessWebView::userAgent() {
  std::lock_guard lock(settings().mutex);
  return settings().userAgent;
}

void HeadlessWebView::setAnswer(HeadlessWebViewAnswer answer) {
  std::lock_guard lock(settings().mutex);
  settings().answer = answer;
}

HeadlessWebViewAnswer HeadlessWebView::answer() {
  std::lock_guard lock(settings().mutex);
  return settings().answer;
}

}  // namespace plexora::platform
