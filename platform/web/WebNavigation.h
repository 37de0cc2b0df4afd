// What the web views tell their delegates about a navigation, and the errors
// of their own domain.
//
// Thread safety: plain values.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/foundation/Error.h"

namespace plexora::platform {

inline constexpr const char* kWebViewErrorDomain = "PlexoraWebViewErrorDomain";
// The script threw, or is not one this view can run.
inline constexpr std::int64_t kWebViewErrorJavaScriptFailed = 4;
// The script's result is of a kind no Value holds, or too large to hand over.
inline constexpr std::int64_t kWebViewErrorJavaScriptResultUnsupported = 5;
// A synchronous evaluation got no answer within its time.
inline constexpr std::int64_t kWebViewErrorJavaScriptTimedOut = 6;
// The web process that ran the page ended (it crashed, was killed, or ran
// out of memory): the page is gone, and its view shows nothing until it
// loads again.
inline constexpr std::int64_t kWebViewErrorWebProcessTerminated = 7;

// The failure says the page is gone with its web process.
inline bool isWebProcessTermination(const Error& error) {
  return error.domain() == kWebViewErrorDomain && error.code() == kWebViewErrorWebProcessTerminated;
}
// The user-information key of the URL whose load failed.
inline constexpr const char* kWebViewFailingURLStringKey = "NSErrorFailingURLStringKey";

// Why the page navigates.
enum class WebNavigationType {
  LinkActivated,     // a link was followed (tapped, or clicked by the page's script)
  FormSubmitted,
  BackForward,
  Reload,
  FormResubmitted,
  Other,             // a load the host started, a script setting the location, a redirect
};

struct WebNavigationAction {
  std::string url;
  WebNavigationType type = WebNavigationType::Other;
  // The page asked for a new window (target="_blank", window.open).
  bool opensNewWindow = false;
};

enum class WebNavigationPolicy { Cancel, Allow };

// Answers one navigation decision. Call it once, at once or later on the
// main thread; dropped unanswered, it cancels the navigation.
using WebPolicyDecisionHandler = std::function<void(WebNavigationPolicy)>;

}  // namespace plexora::platform
