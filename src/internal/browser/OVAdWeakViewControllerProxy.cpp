#include "internal/browser/OVAdWeakViewControllerProxy.h"

#include "platform/ui/ViewController.h"
#include "util/OVAdLogger.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

using State = OVAdWeakViewControllerProxy::State;

State missingCheck(const std::shared_ptr<platform::ViewController>& viewController) {
  if (!viewController) {
    OV_LOG(kOVAdLogLevelVerbose, "Current view controller is nil.");
    return State::Missing;
  }
  return State::OK;
}

State presentingCheck(const std::shared_ptr<platform::ViewController>& viewController) {
  if (viewController) {
    if (auto presented = viewController->presentedViewController()) {
      OV_LOG(kOVAdLogLevelVerbose, "Current view controller %p detected to have present view controller %p",
             static_cast<const void*>(viewController.get()), static_cast<const void*>(presented.get()));
      return State::Presenting;
    }
  }
  return State::OK;
}

}  // namespace

OVAdWeakViewControllerProxy::OVAdWeakViewControllerProxy(
    const std::shared_ptr<platform::ViewController>& viewController, const std::shared_ptr<platform::View>& view)
    : viewController_(viewController), view_(view) {}

std::shared_ptr<platform::ViewController> OVAdWeakViewControllerProxy::currentViewController() {
  checkAndUpdateCurrentViewControllerWithCondition(missingCheck);
  checkAndUpdateCurrentViewControllerWithCondition(presentingCheck);
  return viewController_.lock();
}

void OVAdWeakViewControllerProxy::checkAndUpdateCurrentViewControllerWithCondition(const Condition& condition) {
  const State state = condition(viewController_.lock());
  if (state == State::OK) {
    return;
  }
  OV_LOG(kOVAdLogLevelVerbose, "Current view controller state: %s", nameOfState(state).c_str());
  if (auto top = OVAdUtility::topViewController()) {
    OV_LOG(kOVAdLogLevelVerbose, "Switched to top view controller %p.", static_cast<const void*>(top.get()));
    viewController_ = top;
    return;
  }
  OV_LOG(kOVAdLogLevelVerbose, "Top view controller not found, trying to find from view...");
  viewController_ = OVAdUtility::viewControllerFromView(view_.lock());
}

std::string OVAdWeakViewControllerProxy::nameOfState(State state) {
  switch (state) {
    case State::Unknown:
      return "Unknown";
    case State::Missing:
      return "Missing";
    case State::Presenting:
      return "Presenting";
    case State::OK:
      return "OK";
  }
  return "";
}

}  // namespace plexora
