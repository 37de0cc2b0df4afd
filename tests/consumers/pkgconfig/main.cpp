// A host of the installed library, built through pkg-config: settings, a
// size and, given the base URL of a running ad server, a banner loaded from
// it. Exits 0 when every answer is the expected one.
#include <plexora/OVAdSettings.h>
#include <plexora/OVAdSize.h>
#include <plexora/OVAdView.h>
#include <plexora/Version.h>
#include <plexora/platform/dispatch/MainLoop.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

// Whether the banner loaded, once it says: its HTML candidate renders in the
// library's web engine, so a failure of any kind is an answer of 0.
struct BannerLoaded final : plexora::OVAdViewDelegate {
  void adViewDidLoad(const std::shared_ptr<plexora::OVAdView>&) override { answer = 1; }
  void adView(const std::shared_ptr<plexora::OVAdView>&, const plexora::platform::Error& error) override {
    std::fprintf(stderr, "pkg-config consumer: banner failed: %s %ld\n", error.domain().c_str(), static_cast<long>(error.code()));
    answer = 0;
  }
  int answer = -1;
};

bool loadsABanner(const std::string& baseURL) {
  if (!plexora::OVAdSettings::setAdServerBaseURL(baseURL)) return false;
  const auto loaded = std::make_shared<BannerLoaded>();
  const auto banner = plexora::OVAdView::initWithPlacementID("banner", plexora::kOVAdSize320x50, nullptr);
  banner->setDelegate(loaded);
  banner->loadAd();
  plexora::platform::MainLoop::instance().runUntil([&] { return loaded->answer >= 0; }, 20.0);
  return loaded->answer == 1;
}

}  // namespace

int main(int argc, char** argv) {
  using plexora::OVAdSettings;
  bool good = true;

  OVAdSettings::setIsChildDirected(true);
  good = good && OVAdSettings::isChildDirected();
  OVAdSettings::setMediationService("consumer-mediation");
  good = good && OVAdSettings::getMediationService() == "consumer-mediation";
  good = good && OVAdSettings::getDeliveryEndpoint().ends_with("/network_ads_common/");
  good = good && plexora::kOVAdSize320x50 == plexora::OVAdSize{320.0, 50.0};

  if (argc > 1) good = loadsABanner(argv[1]) && good;

  std::printf("pkg-config consumer: Plexora %s, %s\n", plexora::kPlexoraVersion, good ? "all good" : "FAILED");
  return good ? 0 : 1;
}
