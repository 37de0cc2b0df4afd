// The views of an ad that can receive touches.
#include <algorithm>

#include "adapters/views/nativead/OVAdMultiProductView.h"
#include "adapters/views/video/OVAdVideoPlayButton.h"
#include "platform/ui/View.h"
#include "plexora/OVMediaViewVideoRenderer.h"
#include "util/OVAdInlineHelpers.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

// Views that handle their own touches: neither they nor anything inside
// them count as the ad's touch targets.
bool handlesOwnTouches(const platform::View* view) {
  return OVAdIsKindOfAnyClass<OVAdVideoPlayButton, OVMediaViewVideoRenderer, OVAdMultiProductView>(view);
}

void collectInteractableTargets(const std::shared_ptr<platform::View>& view, const OVAdUtility::Views& excluding,
                                OVAdUtility::WeakViews& targets) {
  if (view->isUserInteractionEnabled()) {
    targets.push_back(view);
  }
  for (const auto& subview : view->subviews()) {
    if (std::ranges::find(excluding, subview) != excluding.end() || handlesOwnTouches(subview.get())) {
      continue;
    }
    collectInteractableTargets(subview, {}, targets);
  }
}

}  // namespace

OVAdUtility::WeakViews OVAdUtility::allInteractableTargets(const std::shared_ptr<platform::View>& view) {
  return allInteractableTargets(view, {});
}

OVAdUtility::WeakViews OVAdUtility::allInteractableTargets(const std::shared_ptr<platform::View>& view,
                                                           const Views& excluding) {
  WeakViews targets;
  if (view) collectInteractableTargets(view, excluding, targets);
  return targets;
}

}  // namespace plexora
