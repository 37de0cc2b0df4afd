// A host of the installed library, built through find_package: it sets and
// reads process-wide settings, sizes an ad and, given the base URL of a
// running ad server, loads a banner from it on its main loop.
// Exits 0 when every answer is the expected one.
#include <plexora/OVAdSettings.h>
#include <plexora/OVAdView.h>
#include <plexora/OVAdSize.h>
#include <plexora/Version.h>
#include <plexora/platform/dispatch/MainLoop.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

int failures = 0;

void expect(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "consumer: %s\n", what);
    ++failures;
  }
}

// Remembers the first thing the banner reports.
class BannerOutcome final : public plexora::OVAdViewDelegate {
 public:
  void adViewDidLoad(const std::shared_ptr<plexora::OVAdView>&) override { report("loaded"); }
  void adView(const std::shared_ptr<plexora::OVAdView>&, const plexora::platform::Error& error) override {
    report("failed: " + error.domain() + " " + std::to_string(error.code()));
  }
  const std::string& outcome() const { return outcome_; }

 private:
  void report(const std::string& outcome) {
    if (outcome_.empty()) outcome_ = outcome;
  }
  std::string outcome_;
};

// The fixture banner placement from the ad server at `baseURL`: its HTML
// candidate loads in the library's web engine, so anything but loaded fails.
void loadBanner(const std::string& baseURL) {
  using plexora::OVAdSettings;
  expect(OVAdSettings::setAdServerBaseURL(baseURL), "the ad server's base URL is taken");
  const auto outcome = std::make_shared<BannerOutcome>();
  const auto banner = plexora::OVAdView::initWithPlacementID("banner", plexora::kOVAdSize320x50, nullptr);
  banner->setDelegate(outcome);
  banner->loadAd();
  plexora::platform::MainLoop::instance().runUntil([&] { return !outcome->outcome().empty(); }, 20.0);
  std::printf("consumer: banner %s\n", outcome->outcome().empty() ? "reported nothing" : outcome->outcome().c_str());
  expect(outcome->outcome() == "loaded", "the banner loads from the ad server");
}

}  // namespace

int main(int argc, char** argv) {
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

  plexora::platform::MainLoop::instance().runOnce(0);
  if (argc > 1) loadBanner(argv[1]);

  std::printf("consumer: Plexora %s, %s\n", plexora::kPlexoraVersion, failures == 0 ? "all good" : "FAILED");
  return failures == 0 ? 0 : 1;
}
