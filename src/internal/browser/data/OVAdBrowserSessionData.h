// One visit to a browser opened from an ad: when the click was handled, how
// the page loaded and when the user left. The browsers are the sources of
// these times; OVAdLogBrowserSessionData turns a source into the
// "browser_session" event of the ad's client token.
//
// Thread safety: the record is a plain value; OVAdLogBrowserSessionData is
// called on the main thread.
// Ownership: OVAdLogBrowserSessionData answers a record of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/URL.h"
#include "platform/value/Value.h"
#include "util/OVAdInstalledFunction.h"

namespace plexora {

// What a browser knows about its session. Times are milliseconds since 1970,
// 0 until that moment has come.
class OVAdBrowserSessionDataGeneration {
 public:
  virtual ~OVAdBrowserSessionDataGeneration() = default;

  virtual std::string inlineClientToken() const = 0;
  // None until the browser was given its link.
  virtual std::optional<platform::URL> url() const = 0;
  virtual std::int64_t handlerTimeMs() const = 0;
  virtual std::int64_t loadStartMs() const = 0;
  virtual std::int64_t responseEndMs() const = 0;
  virtual std::int64_t domContentLoadedMs() const = 0;
  virtual std::int64_t scrollReadyMs() const = 0;
  virtual std::int64_t loadFinishMs() const = 0;
};

inline constexpr const char* kOVAdBrowserSessionInitialURLKey = "initial_url";
inline constexpr const char* kOVAdBrowserSessionHandlerTimeKey = "handler_time_ms";
inline constexpr const char* kOVAdBrowserSessionLoadStartKey = "load_start_ms";
inline constexpr const char* kOVAdBrowserSessionResponseEndKey = "response_end_ms";
inline constexpr const char* kOVAdBrowserSessionDOMContentLoadedKey = "dom_content_loaded_ms";
inline constexpr const char* kOVAdBrowserSessionScrollReadyKey = "scroll_ready_ms";
inline constexpr const char* kOVAdBrowserSessionLoadFinishKey = "load_finish_ms";
inline constexpr const char* kOVAdBrowserSessionSessionFinishKey = "session_finish_ms";

class OVAdBrowserSessionData final {
 public:
  // Where sessions are reported: the shared event manager's
  // logBrowserSessionEventForToken unless a test installs another sink.
  using EventSink = OVAdInstalledFunction<void(const std::string& token, const platform::Dictionary& extraData)>;

  OVAdBrowserSessionData(std::optional<platform::URL> url, std::int64_t handlerTimeMs, std::int64_t loadStartMs,
                         std::int64_t responseEndMs, std::int64_t domContentLoadedMs, std::int64_t scrollReadyMs,
                         std::int64_t loadFinishMs, std::int64_t sessionFinishMs);

  // Eight strings: the URL under "initial_url" ("" without one), the times
  // as decimal integers. Writes a test-mode line with the times first.
  platform::Dictionary dataMap() const;

  // Milliseconds since 1970 on the current Clock, truncated.
  static std::int64_t currentTimeMs();

  static EventSink& eventSink();

  const std::optional<platform::URL>& url() const { return url_; }
  std::int64_t handlerTimeMs() const { return handlerTimeMs_; }
  std::int64_t loadStartMs() const { return loadStartMs_; }
  std::int64_t responseEndMs() const { return responseEndMs_; }
  std::int64_t domContentLoadedMs() const { return domContentLoadedMs_; }
  std::int64_t scrollReadyMs() const { return scrollReadyMs_; }
  std::int64_t loadFinishMs() const { return loadFinishMs_; }
  std::int64_t sessionFinishMs() const { return sessionFinishMs_; }

 private:
  std::optional<platform::URL> url_;
  std::int64_t handlerTimeMs_;
  std::int64_t loadStartMs_;
  std::int64_t responseEndMs_;
  std::int64_t domContentLoadedMs_;
  std::int64_t scrollReadyMs_;
  std::int64_t loadFinishMs_;
  std::int64_t sessionFinishMs_;
};

// Reports the source's session, finishing now, as one "browser_session"
// event against its client token, and answers the record.
OVAdBrowserSessionData OVAdLogBrowserSessionData(const OVAdBrowserSessionDataGeneration& source);

}  // namespace plexora
