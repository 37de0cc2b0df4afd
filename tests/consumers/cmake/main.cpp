// A host of the installed library, built through find_package: it sets and
// reads process-wide settings, sizes an ad and turns the main loop once.
// Exits 0 when every answer is the expected one.
#include <plexora/OVAdSettings.h>
#include <plexora/OVAdSize.h>
#include <plexora/Version.h>
#include <plexora/platform/dispatch/MainLoop.h>

#include <cstdio>
#include <string>

namespace {

int failures = 0;

void expect(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "consumer: %s\n", what);
    ++failures;
  }
}

}  // namespace

int main() {
  using plexora::OVAdSettings;

  OVAdSettings::setLogLevel(4);
  expect(OVAdSettings::getLogLevel() == 4, "the log level set is the one read");
  OVAdSettings::setLogLevel(9);
  expect(OVAdSettings::getLogLevel() == 4, "a level outside 0 to 6 is refused");

  const std::string hash = OVAdSettings::testDeviceHash();
  expect(hash.size() == 40, "the test device hash has 40 digits");
  OVAdSettings::addTestDevice(hash);
  expect(OVAdSettings::isTestMode(), "a registered device is in test mode");

  OVAdSettings::setUrlPrefix("sb");
  expect(OVAdSettings::getDeliveryEndpoint().find(".sb.") != std::string::npos, "the prefix reaches the endpoint");
  OVAdSettings::setUrlPrefix("");

  const plexora::OVAdSize banner = plexora::kOVAdSizeHeight50Banner;
  expect(banner.width == plexora::kOVAdSizeFlexible && banner.height == 50.0, "a flexible banner is 50 high");
  expect(plexora::kOVAdSizeInterstitial == plexora::OVAdSize{}, "the interstitial size is 0 by 0");

  // A banner load against the loopback ad server joins here once the banner
  // view is public.

  plexora::platform::MainLoop::instance().runOnce(0);

  std::printf("consumer: Plexora %s, %s\n", plexora::kPlexoraVersion, failures == 0 ? "all good" : "FAILED");
  return failures == 0 ? 0 : 1;
}
