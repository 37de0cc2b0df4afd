// How both containers bridge the ad's page to the library: the scripts they
// run in it, and the failure reported when the bridge cannot be set up.
//
// Thread safety: any thread (reads the device state).
#pragma once

#include <string>

namespace plexora {

// Calls the page's own impression function.
inline constexpr const char* kOVAdSendImpressionScript = "orvaneAd.sendImpression();";

// Defines the page's AdControl bridge, which hands the page the device
// state. It must run at the page's top level: inside a catching wrapper its
// `var` would only be a local of the wrapper.
std::string OVAdAdControlScript();

// The owner's load failure (an internal error) for a page whose bridge could
// not be set up: without it the page never sends its impression.
inline constexpr const char* kOVAdJavascriptAdControlFailedDescription =
    "The ad page's AdControl bridge could not be set up";

}  // namespace plexora
