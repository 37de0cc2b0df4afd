#include "adapters/views/contentcontainer/OVAdContentContainer.h"

namespace plexora {

std::shared_ptr<OVAdContentContainer> OVAdCreateContentContainer(const std::shared_ptr<OVAdViewNavigationPolicy>& adView,
                                                                 bool forceUIWebView, platform::Size actualAdSize,
                                                                 OVAdSize adSizeType) {
  return OVAdContentContainer::maker()(adView, forceUIWebView, actualAdSize, adSizeType);
}

}  // namespace plexora
