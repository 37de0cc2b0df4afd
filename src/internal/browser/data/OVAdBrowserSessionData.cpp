#include "internal/browser/data/OVAdBrowserSessionData.h"

#include <mutex>
#include <string>
#include <utility>

#include "platform/dispatch/Clock.h"
#include "tracking/OVAdEventManager.h"
#include "util/OVAdLogger.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

// Each piece of the test-mode line starts on a run of 21 spaces, so that the
// times line up under the line's own prefix.
#define OVAD_SESSION_GAP "                     "
constexpr const char* kSessionTestModeFormat =
    "Browser session data logged at %s" OVAD_SESSION_GAP "- Handler Time: %ld" OVAD_SESSION_GAP
    "- Load Start Time: %ld" OVAD_SESSION_GAP "- Response End Time: %ld" OVAD_SESSION_GAP
    "- DOM Content Loaded Time: %ld" OVAD_SESSION_GAP "- Scroll Ready Time: %ld" OVAD_SESSION_GAP
    "- Load Finish Time: %ld" OVAD_SESSION_GAP "- Session Finish Time: %ld" OVAD_SESSION_GAP;
#undef OVAD_SESSION_GAP
constexpr const char* kSessionLoggedFormat = "Browser session data logged: %s";

}  // namespace

OVAdBrowserSessionData::OVAdBrowserSessionData(std::optional<platform::URL> url, std::int64_t handlerTimeMs,
                                               std::int64_t loadStartMs, std::int64_t responseEndMs,
                                               std::int64_t domContentLoadedMs, std::int64_t scrollReadyMs,
                                               std::int64_t loadFinishMs, std::int64_t sessionFinishMs)
    : url_(std::move(url)),
      handlerTimeMs_(handlerTimeMs),
      loadStartMs_(loadStartMs),
      responseEndMs_(responseEndMs),
      domContentLoadedMs_(domContentLoadedMs),
      scrollReadyMs_(scrollReadyMs),
      loadFinishMs_(loadFinishMs),
      sessionFinishMs_(sessionFinishMs) {}

platform::Dictionary OVAdBrowserSessionData::dataMap() const {
  const std::string now = std::to_string(platform::Clock::current()->wallTime());
  OVAdLogger::logInTestModeWithFile(__FILE__, __LINE__, kSessionTestModeFormat, now.c_str(),
                                    static_cast<long>(handlerTimeMs_), static_cast<long>(loadStartMs_),
                                    static_cast<long>(responseEndMs_), static_cast<long>(domContentLoadedMs_),
                                    static_cast<long>(scrollReadyMs_), static_cast<long>(loadFinishMs_),
                                    static_cast<long>(sessionFinishMs_));
  // A browser that never got its link still reports its session; the map
  // needs a string there.
  return platform::Dictionary{
      {kOVAdBrowserSessionInitialURLKey, url_ ? url_->absoluteString() : std::string()},
      {kOVAdBrowserSessionHandlerTimeKey, std::to_string(handlerTimeMs_)},
      {kOVAdBrowserSessionLoadStartKey, std::to_string(loadStartMs_)},
      {kOVAdBrowserSessionResponseEndKey, std::to_string(responseEndMs_)},
      {kOVAdBrowserSessionDOMContentLoadedKey, std::to_string(domContentLoadedMs_)},
      {kOVAdBrowserSessionScrollReadyKey, std::to_string(scrollReadyMs_)},
      {kOVAdBrowserSessionLoadFinishKey, std::to_string(loadFinishMs_)},
      {kOVAdBrowserSessionSessionFinishKey, std::to_string(sessionFinishMs_)},
  };
}

std::int64_t OVAdBrowserSessionData::currentTimeMs() {
  return static_cast<std::int64_t>(platform::Clock::current()->wallTime() * 1000.0);
}

OVAdBrowserSessionData::EventSink& OVAdBrowserSessionData::eventSink() {
  static EventSink instance;
  static std::once_flag installed;
  std::call_once(installed, [] {
    instance.install([](const std::string& token, const platform::Dictionary& extraData) {
      OVAdEventManager::sharedManager()->logBrowserSessionEventForToken(token, extraData);
    });
  });
  return instance;
}

OVAdBrowserSessionData OVAdLogBrowserSessionData(const OVAdBrowserSessionDataGeneration& source) {
  OVAdBrowserSessionData data(source.url(), source.handlerTimeMs(), source.loadStartMs(), source.responseEndMs(),
                              source.domContentLoadedMs(), source.scrollReadyMs(), source.loadFinishMs(),
                              OVAdBrowserSessionData::currentTimeMs());
  const platform::Dictionary map = data.dataMap();
  OVAdBrowserSessionData::eventSink()(source.inlineClientToken(), map);
  const std::string text = OVAdUtility::getJSONStringFromObject(platform::Value(map)).value_or("{}");
  OV_LOG(kOVAdLogLevelDebug, kSessionLoggedFormat, text.c_str());
  return data;
}

}  // namespace plexora
