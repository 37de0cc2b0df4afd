// A web view without an engine: the library asks it for the web user agent
// while the web engine has not been started (WebEngine), as in a process
// that shows no HTML. It knows one piece of script, the reading of
// `navigator.userAgent`, and answers it with the process's web user agent;
// every other script fails.
//
// Hosts may name the web user agent their engine reports; tests may make the
// answer fail (a non-string result) or never come, as a broken engine would.
// Both settings are process-wide and apply to evaluations started later.
//
// Thread safety: create and use a view on the main thread; its completions
// run on the main queue. The static settings may be changed from any thread.
// Ownership: a pending answer does not keep its view alive, and a view
// dropped before its answer still answers.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/value/Value.h"
#include "platform/web/WebNavigation.h"

namespace plexora::platform {

inline constexpr const char* kHeadlessWebViewDefaultUserAgent =
    "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/605.1.15 (KHTML, like Gecko)";

// How views answer a script that reads the user agent.
enum class HeadlessWebViewAnswer {
  UserAgent,  // the web user agent, as a string
  NonString,  // a null result without error, as an engine that cannot tell
  Never,      // no answer at all
};

class HeadlessWebView final {
 public:
  // The result and, for a failed script, an error of kWebViewErrorDomain.
  using JavaScriptCompletion = std::function<void(Value result, std::optional<Error> error)>;

  HeadlessWebView() = default;
  HeadlessWebView(const HeadlessWebView&) = delete;
  HeadlessWebView& operator=(const HeadlessWebView&) = delete;

  // Runs the script and queues the completion on the main queue.
  void evaluateJavaScript(const std::string& script, JavaScriptCompletion completion);

  // The web user agent views report; an empty text restores the default.
  static void setUserAgent(std::string userAgent);
  static std::string userAgent();
  static void setAnswer(HeadlessWebViewAnswer answer);
  static HeadlessWebViewAnswer answer();
};

}  // namespace plexora::platform
