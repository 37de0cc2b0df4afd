#include "internal/browser/OVAdSystemBrowserController.h"

namespace plexora {

void OVAdSystemBrowserController::viewDidDisappear(bool) {
  const auto self = std::static_pointer_cast<OVAdSystemBrowserController>(shared_from_this());
  if (const auto listener = delegate()) {
    listener->safariViewControllerDidDisappear(self);
  }
}

}  // namespace plexora
