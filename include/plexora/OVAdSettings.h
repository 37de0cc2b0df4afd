// Process-wide settings of the ad library.
//
// The host registers test devices, sets the log level, a URL prefix that
// sends all traffic to a sandbox, the child-directed flag and the other
// options below. Test devices, the log level and the URL prefix persist in the
// application's user defaults; everything else lives for the process only.
//
// Thread safety: setters are meant for the main thread; every getter may be
// called from any thread (the log level, test mode and the URLs are read by
// the library's background work).
// Ownership: there are no instances; the state lives for the process.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Export.h"

namespace plexora {

class PLEXORA_EXPORT OVAdSettings final {
 public:
  OVAdSettings() = delete;

  // ---- Test devices ----

  // This device's test hash: 40 lower-case hexadecimal digits, the same for
  // the whole process.
  static std::string testDeviceHash();
  // The registered hashes, in the order they were added.
  static std::vector<std::string> testDevices();
  // Writes the registered hashes to the user defaults and synchronises them.
  static void persistTestDevices();
  // Each of these persists only when it changes the set.
  static void addTestDevice(const std::string& deviceHash);
  static void addTestDevices(const std::vector<std::string>& deviceHashes);
  static void clearTestDevices();
  static void clearTestDevice(const std::string& deviceHash);
  // Whether this device is a registered test device. The first time it is
  // not, two lines at log level 1 tell the developer how to register it.
  static bool isTestMode();

  // ---- Request options ----

  static void setIsChildDirected(bool isChildDirected);
  static bool isChildDirected();
  // While true, video plays through the system player.
  static bool isBackgroundVideoPlaybackAllowed();
  static void setBackgroundVideoPlaybackAllowed(bool allowed);
  static void setMediationService(const std::string& service);
  static std::string getMediationService();
  static std::int64_t mediaViewRenderingMethod();
  static void setMediaViewRenderingMethod(std::int64_t method);
  static std::int64_t testAdType();
  static void setTestAdType(std::int64_t type);

  // ---- Servers ----

  // The sandbox prefix, or none.
  static std::optional<std::string> urlPrefix();
  // A non-empty prefix redirects traffic to the sandbox hosts (whose
  // certificates are then not validated); an empty one clears it. Either is
  // written to the user defaults at once.
  static void setUrlPrefix(const std::string& prefix);
  // The ad server's base URL as configured (without the prefix). It must be
  // an absolute http or https URL; answers false and keeps the old one
  // otherwise. Meant for development servers and tests.
  static bool setAdServerBaseURL(const std::string& baseURL);
  static std::string adServerBaseURL();
  // The ad server's base URL in force: with a prefix set, the prefix is
  // inserted as a label after the first label of the host.
  static std::string getBaseURL();
  // `format` (holding one "%s" for the prefix, "%%" for a percent sign)
  // filled with the prefix while one is set, else `defaultURL`.
  static std::string getBaseURLWithDefault(const std::string& defaultURL, const std::string& format);
  // The URL of ad requests.
  static std::string getDeliveryEndpoint();
  // The base URL of ad markup shown in web views.
  static std::string getWebviewBaseURL();

  // ---- Logging ----

  // 0 (nothing) to 6 (everything).
  static std::int64_t getLogLevel();
  // A level outside 0 to 6 is refused with an error line and not stored.
  static void setLogLevel(std::int64_t level);

  // ---- Session ----

  // The current session identifier (UUID text). A new one is made when the
  // application becomes active after more than 300 seconds in the
  // background.
  static std::string sessionID();
  static void resetSessionID();

  // ---- Bidding ----

  // The device and application facts of an ad request, packed for the
  // host's own bidding server to pass on; "" when they cannot be packed.
  // Any thread.
  static std::string bidderToken();
};

}  // namespace plexora
