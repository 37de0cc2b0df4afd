// What the host application says about itself: the facts a system keeps in
// an application bundle's information dictionary. The host sets them once at
// start-up; anything it never sets stays absent.
//
// Thread safety: every function may be called from any thread.
#pragma once

#include <optional>
#include <string>

namespace plexora::platform {

struct MainBundleInfo {
  std::optional<std::string> bundleIdentifier;
  // The "CFBundleShortVersionString" of a bundle: the marketing version.
  std::optional<std::string> shortVersion;
  // The "CFBundleVersion" of a bundle: the build number.
  std::optional<std::string> bundleVersion;
};

MainBundleInfo mainBundleInfo();
void setMainBundleInfo(MainBundleInfo info);

}  // namespace plexora::platform
