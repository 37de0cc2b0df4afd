// A host of the installed library, built through pkg-config: settings and a
// size. Exits 0 when every answer is the expected one.
#include <plexora/OVAdSettings.h>
#include <plexora/OVAdSize.h>
#include <plexora/Version.h>

#include <cstdio>
#include <string>

int main() {
  using plexora::OVAdSettings;
  bool good = true;

  OVAdSettings::setIsChildDirected(true);
  good = good && OVAdSettings::isChildDirected();
  OVAdSettings::setMediationService("consumer-mediation");
  good = good && OVAdSettings::getMediationService() == "consumer-mediation";
  good = good && OVAdSettings::getDeliveryEndpoint().ends_with("/network_ads_common/");
  good = good && plexora::kOVAdSize320x50 == plexora::OVAdSize{320.0, 50.0};

  // A banner load against the loopback ad server joins here once the banner
  // view is public.

  std::printf("pkg-config consumer: Plexora %s, %s\n", plexora::kPlexoraVersion, good ? "all good" : "FAILED");
  return good ? 0 : 1;
}
