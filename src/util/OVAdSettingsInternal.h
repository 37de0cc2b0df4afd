// What the library (not the host) may do to the process-wide settings:
// install the seam the URL session fills, build server URLs of its own, and,
// in tests, start over.
//
// Thread safety: every member may be called from any thread; hooks are called without any settings lock held.
#pragma once

#include <functional>
#include <string>

namespace plexora {

class OVAdSettingsInternal final {
 public:
  OVAdSettingsInternal() = delete;

  // Told whether certificate validation of the sandbox hosts is to be off,
  // each time the host sets or clears the URL prefix. The URL session
  // installs it (and reads OVAdSettings::urlPrefix for the state before).
  using SSLValidationHook = std::function<void(bool disabled)>;
  static void setSSLValidationHook(SSLValidationHook hook);

  // The format for OVAdSettings::getBaseURLWithDefault that puts the prefix
  // in as a label after the first label of the base URL's host. A host that
  // has no such place (an IP address, a single label) or a base that is no
  // URL gives the base itself, so the prefix is then ignored.
  static std::string prefixedHostFormat(const std::string& baseURL);

  // Forgets every setting held in memory, the loaded stored values, the hooks
  // and the session renewal's observers, as if the process had just started.
  // Tests only.
  static void resetForTesting();
};

}  // namespace plexora
