// Process-wide helpers shared by the whole library: the wire encoding of
// parameters (query strings and form bodies), conversion between values and
// JSON text or property-list data that never throws, and small conversions.
//
// Thread safety: every member may be called from any thread unless its
// comment says otherwise.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Bytes.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/URL.h"
#include "platform/value/Value.h"
#include "util/OVAdDictionary.h"

namespace plexora::platform {
struct URLRequest;
}

namespace plexora {

// A colour with components from 0.0 to 1.0.
struct OVAdColor {
  double red = 0.0;
  double green = 0.0;
  double blue = 0.0;
  double alpha = 0.0;

  bool operator==(const OVAdColor&) const = default;
};

// The colour of a 0xAARRGGBB integer.
OVAdColor colorWithInteger(std::uint32_t argb);

// Percent-encoding of every UTF-8 byte except A-Z, a-z, 0-9, "-", ".", "_"
// and "~"; a space becomes "+".
std::string ov_URLEncodedString(std::string_view text);

// Total bytes that the regular files below `directory` occupy on disk (the
// whole tree, hidden entries included); 0 for an empty directory. None when
// any entry cannot be read: `error` (when given) then names it.
std::optional<std::uint64_t> ov_getSizeOfDirectory(const std::string& directory,
                                                   platform::FileError* error = nullptr);

// A curl command line that repeats the request, for diagnostics only.
std::string ov_CURLCommand(const platform::URLRequest& request);

// The library's version string, as its user agent reports it.
inline constexpr const char* kOVAdLibraryVersion = "0.1.0";

// What the library's user agent says besides the web view's own agent. A
// missing entry is written "(null)".
struct OVAdUserAgentFacts {
  std::optional<std::string> machine;
  std::optional<std::string> model;
  std::string systemName;
  std::string systemVersion;
  std::string locale;
  std::string libraryVersion;
  std::optional<std::string> bundleIdentifier;
  std::optional<std::string> bundleShortVersion;
  std::optional<std::string> bundleVersion;
};

class OVAdUtility final {
 public:
  OVAdUtility() = delete;

  // ---- Query strings and form bodies ----

  // The URL's query parsed by parseQuery; empty for a URL without a query.
  static platform::Value parseQueryString(const platform::URL& url);
  // A dictionary of the "key=value" pairs of `query`. Keys are kept as
  // written; values have "+" turned into spaces and percent-escapes decoded.
  // A pair without exactly one "=", or whose value does not decode to UTF-8,
  // is skipped.
  static platform::Value parseQuery(std::string_view query);
  // "key=value" with both sides URL-encoded; a value without text (null,
  // data, arrays) is written as the unencoded "(null)".
  static std::string createQueryParameterFromKey(std::string_view key, const platform::Value& object);
  // The pairs of a parameter dictionary joined by "&", in the dictionary's
  // order. An array value gives one "key[]" pair per element; a dictionary
  // value travels as its JSON text. "" for no dictionary.
  static std::string createQueryStringFromParameters(const platform::Value& parameters);

  // ---- JSON and property lists; none on failure, never throws ----

  static std::optional<platform::Value> getObjectFromJSONString(std::string_view json);
  static std::optional<std::string> getJSONStringFromObject(const platform::Value& object);
  static std::optional<platform::Value> getObjectFromPropertyList(platform::ByteView data);
  // Binary property list, format 1.0.
  static std::optional<platform::Bytes> getPropertyListFromObject(const platform::Value& object);

  // ---- Conversions ----

  // The value as the wanted class: a number as its text, a text as its
  // number, a dictionary wanted as text as its JSON text ("" when it has
  // none), a value already of the class as it is; none otherwise.
  static std::optional<platform::Value> attemptRecoveryOfObject(const platform::Value& object,
                                                                OVAdValueClass valueClass);
  // True for a value that is no string and for the empty string.
  static bool isStringEmpty(const platform::Value& value);

  // ---- Application life cycle (main thread) ----

  // Runs `backgroundBlock` on the main queue whenever the application enters
  // the background and `foregroundBlock` whenever it becomes active, through
  // the observer's own notification centre: the blocks stop with the
  // observer.
  static void startObservingBackgroundNotifications(const std::shared_ptr<const void>& observer,
                                                    std::function<void()> backgroundBlock,
                                                    std::function<void()> foregroundBlock);
  // Removes every observer registered through the observer's notification
  // centre, not only these two. Callable from the observer's destructor.
  static void stopObservingBackgroundNotifications(const void* observer);

  // ---- Misuse of the public interface ----

  // Reports the exception to the server as a client event, then throws it as
  // a platform::Exception.
  [[noreturn]] static void throwExceptionWithName(const std::string& name, const std::string& reason,
                                                  platform::Value userInfo = {});

  // ---- Messages for developers testing on a test device (any thread) ----

  // On a test device only: the message with " (displayed for test ads only)"
  // at log level 1 (displayDebugMessage) or 6 (displayVerboseDebugMessage).
  static void displayDebugMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
  static void displayVerboseDebugMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

  // ---- User agent (any thread) ----

  // The text with every "/" and ";" replaced by "-".
  static std::string cleanUserAgentString(std::string_view text);
  // The device's locale identifier as it is now ("de_CH"), "en_US" when it
  // has none.
  static std::string currentLocale();

  // Answers the library's user agent, or none when the web view gave no
  // text. Known already: `block` runs at once on the calling thread.
  // Otherwise the first call of the process starts the one fetch from a
  // hidden web view on the main thread (a caller on another thread waits for
  // that start, so the main loop must run) and `block` later gets the answer
  // on the main thread. A call while the fetch runs, or after it failed, is
  // never answered: callers ask again later.
  using UserAgentBlock = std::function<void(const std::optional<std::string>& userAgent)>;
  static void currentUserAgentWithBlock(UserAgentBlock block);
  // The web view's raw agent followed by the bracketed facts of this device
  // and application; none for none.
  static std::optional<std::string> generateUserAgentStringFromRawString(
      const std::optional<std::string>& rawUserAgent);
  // The facts as they are now. The platform has no application bundle yet,
  // so the bundle entries stay none.
  static OVAdUserAgentFacts currentUserAgentFacts();
  // "RAW [OVPX/PlexoraForiOS;OVDV/machine;...;OVBV/bundle version]"; the
  // device entries and the locale cleaned by cleanUserAgentString.
  static std::string userAgentStringWithFacts(std::string_view rawUserAgent, const OVAdUserAgentFacts& facts);
  // Forgets the fetched agent and lets the next call fetch again. Tests
  // only, with no fetch running.
  static void resetUserAgentForTesting();

  // ---- Library start (main thread) ----

  // Creates the configuration manager, then the event manager, once per
  // process.
  static void initializePlexora();

  // ---- Tracker requests ----

  // sendRequestInternal without post data: always a GET.
  static void logTracker(const std::string& url, const platform::Value& extraData);
  // Fires the URL through the shared URL session: a POST with the extra data
  // and the post data (whose entries win) as a form body when the post data
  // is a non-empty dictionary, else a GET with the extra data in the query.
  // Nothing for an empty URL. The outcome is only logged.
  static void sendRequestInternal(const std::string& url, const platform::Value& extraData,
                                  const platform::Value& postData);
};

}  // namespace plexora
