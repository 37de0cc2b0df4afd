#include "adapters/views/contentcontainer/OVAdContentContainer.h"

#include <mutex>

#include "adapters/views/contentcontainer/OVAdWebContentContainer.h"
#include "adapters/views/contentcontainer/OVAdWebKitContentContainer.h"

namespace plexora {

OVAdContentContainer::Maker& OVAdContentContainer::maker() {
  static Maker instance;
  static std::once_flag installed;
  std::call_once(installed, [] {
    instance.install([](const std::shared_ptr<OVAdViewNavigationPolicy>& adView, bool forceUIWebView,
                        platform::Size actualAdSize, OVAdSize adSizeType) -> std::shared_ptr<OVAdContentContainer> {
      if (forceUIWebView) {
        return OVAdWebContentContainer::initWithAdView(adView, actualAdSize, adSizeType);
      }
      return OVAdWebKitContentContainer::initWithAdView(adView, actualAdSize, adSizeType);
    });
  });
  return instance;
}

std::shared_ptr<OVAdContentContainer> OVAdCreateContentContainer(const std::shared_ptr<OVAdViewNavigationPolicy>& adView,
                                                                 bool forceUIWebView, platform::Size actualAdSize,
                                                                 OVAdSize adSizeType) {
  return OVAdContentContainer::maker()(adView, forceUIWebView, actualAdSize, adSizeType);
}

}  // namespace plexora
