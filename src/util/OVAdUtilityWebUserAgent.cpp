// The library's user agent: the web view's own agent, fetched once per
// process, followed by the facts of this device and application. Once the
// web engine has started, its agent is read from its settings, on any
// thread and without a page: the URL session's first request need not wait
// for the main thread, nor for a web process to answer a script. A process
// without the engine gets the headless view's answer, fetched on the main
// thread. An engine that never answers leaves the URL session to its
// built-in agent.
#include <cstdarg>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/foundation/MainBundle.h"
#include "platform/value/Value.h"
#include "platform/web/HeadlessWebView.h"
#include "platform/web/WebEngine.h"
#include "util/OVAdDevice.h"
#include "util/OVAdInlineHelpers.h"
#include "util/OVAdLogger.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr const char* kUserAgentScriptBody = "return navigator.userAgent";
constexpr const char* kUserAgentFormat =
    "%s [OVPX/%s;OVDV/%s;OVMD/%s;OVSN/%s;OVSV/%s;OVLC/%s;OVVS/%s;OVAB/%s;OVAV/%s;OVBV/%s]";
constexpr const char* kLibraryName = "PlexoraForiOS";
constexpr const char* kNone = "(null)";

struct FetchState {
  std::mutex mutex;
  // Once known, the same for the life of the process.
  std::optional<std::string> userAgent;
  // Shared, so a reset for tests never pulls the flag from under a caller.
  std::shared_ptr<OVAdMainThreadOnceFlag> once = std::make_shared<OVAdMainThreadOnceFlag>();
  // Kept while the fetch runs.
  std::shared_ptr<platform::HeadlessWebView> webView;
};

FetchState& fetchState() {
  // Never destroyed: a late answer of the web view may still arrive at exit.
  static FetchState* const state = new FetchState;
  return *state;
}

std::string format(const char* text, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* text, ...) {
  std::va_list arguments;
  va_start(arguments, text);
  std::string formatted = OVAdFormatV(text, arguments);
  va_end(arguments);
  return formatted;
}

std::string cleanedOrNone(const std::optional<std::string>& value) {
  return value ? OVAdUtility::cleanUserAgentString(*value) : kNone;
}

// The engine's agent made the library's and cached; none before the
// engine started. Any thread.
std::optional<std::string> userAgentFromEngine() {
  const std::optional<std::string> engineAgent = platform::WebEngine::userAgent();
  if (!engineAgent) {
    return std::nullopt;
  }
  std::optional<std::string> userAgent = OVAdUtility::generateUserAgentStringFromRawString(engineAgent);
  std::lock_guard lock(fetchState().mutex);
  if (!fetchState().userAgent) {
    fetchState().userAgent = userAgent;
  }
  return fetchState().userAgent;
}

// On the main thread.
void startFetch(OVAdUtility::UserAgentBlock block) {
  if (const std::optional<std::string> userAgent = userAgentFromEngine()) {
    if (block) {
      block(userAgent);
    }
    return;
  }
  auto completion = [block = std::move(block)](platform::Value result, std::optional<platform::Error>) {
    std::optional<std::string> userAgent;
    if (result.isString()) {
      userAgent = OVAdUtility::generateUserAgentStringFromRawString(result.asString());
    }
    {
      std::lock_guard lock(fetchState().mutex);
      if (userAgent) {
        fetchState().userAgent = userAgent;
      }
      fetchState().webView.reset();
    }
    if (block) {
      block(userAgent);
    }
  };
  auto webView = std::make_shared<platform::HeadlessWebView>();
  {
    std::lock_guard lock(fetchState().mutex);
    fetchState().webView = webView;
  }
  webView->evaluateJavaScript(OVAdWrapScriptInTryCatch(kUserAgentScriptBody), std::move(completion));
}

}  // namespace

void OVAdUtility::currentUserAgentWithBlock(UserAgentBlock block) {
  std::optional<std::string> known;
  std::shared_ptr<OVAdMainThreadOnceFlag> once;
  {
    std::lock_guard lock(fetchState().mutex);
    known = fetchState().userAgent;
    once = fetchState().once;
  }
  if (!known) {
    known = userAgentFromEngine();
  }
  if (known) {
    if (block) {
      block(known);
    }
    return;
  }
  OVAdDispatchOnceOnMainThread(*once, [&block] { startFetch(std::move(block)); });
}

std::optional<std::string> OVAdUtility::generateUserAgentStringFromRawString(
    const std::optional<std::string>& rawUserAgent) {
  if (!rawUserAgent) {
    return std::nullopt;
  }
  return userAgentStringWithFacts(*rawUserAgent, currentUserAgentFacts());
}

OVAdUserAgentFacts OVAdUtility::currentUserAgentFacts() {
  OVAdUserAgentFacts facts;
  facts.machine = OVAdDevice::machine();
  facts.model = OVAdDevice::model();
  facts.systemName = OVAdDevice::systemName();
  facts.systemVersion = OVAdDevice::systemVersion();
  facts.locale = currentLocale();
  facts.libraryVersion = kOVAdLibraryVersion;
  const platform::MainBundleInfo bundle = platform::mainBundleInfo();
  facts.bundleIdentifier = bundle.bundleIdentifier;
  facts.bundleShortVersion = bundle.shortVersion;
  facts.bundleVersion = bundle.bundleVersion;
  return facts;
}

std::string OVAdUtility::userAgentStringWithFacts(std::string_view rawUserAgent, const OVAdUserAgentFacts& facts) {
  const std::string raw(rawUserAgent);
  return format(kUserAgentFormat, raw.c_str(), kLibraryName, cleanedOrNone(facts.machine).c_str(),
                cleanedOrNone(facts.model).c_str(), cleanUserAgentString(facts.systemName).c_str(),
                cleanUserAgentString(facts.systemVersion).c_str(), cleanUserAgentString(facts.locale).c_str(),
                facts.libraryVersion.c_str(), facts.bundleIdentifier.value_or(kNone).c_str(),
                facts.bundleShortVersion.value_or(kNone).c_str(), facts.bundleVersion.value_or(kNone).c_str());
}

void OVAdUtility::resetUserAgentForTesting() {
  std::lock_guard lock(fetchState().mutex);
  fetchState().userAgent.reset();
  fetchState().once = std::make_shared<OVAdMainThreadOnceFlag>();
  fetchState().webView.reset();
}

}  // namespace plexora
