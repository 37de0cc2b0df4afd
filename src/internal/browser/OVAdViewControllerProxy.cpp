#include "internal/browser/OVAdViewControllerProxy.h"

#include <mutex>

#include "internal/browser/OVAdWeakViewControllerProxy.h"

namespace plexora {

namespace {

struct SharedProxy {
  std::mutex mutex;
  std::shared_ptr<OVAdViewControllerProxy> proxy;
};

SharedProxy& sharedProxy() {
  static SharedProxy shared;
  return shared;
}

}  // namespace

OVAdViewControllerProxy::Maker& OVAdViewControllerProxy::maker() {
  static Maker instance;
  static std::once_flag installed;
  std::call_once(installed, [] {
    instance.install([](const std::shared_ptr<platform::ViewController>& viewController,
                        const std::shared_ptr<platform::View>& view) -> std::shared_ptr<OVAdViewControllerProxy> {
      return std::make_shared<OVAdWeakViewControllerProxy>(viewController, view);
    });
  });
  return instance;
}

std::shared_ptr<OVAdViewControllerProxy> OVAdViewControllerProxy::viewController() {
  auto& shared = sharedProxy();
  std::lock_guard lock(shared.mutex);
  // Not kept while no maker is installed, so the first proxy made is the one
  // shared from then on.
  if (!shared.proxy) {
    shared.proxy = maker()(nullptr, nullptr);
  }
  return shared.proxy;
}

void OVAdViewControllerProxy::resetSharedProxyForTesting() {
  auto& shared = sharedProxy();
  std::lock_guard lock(shared.mutex);
  shared.proxy.reset();
}

std::shared_ptr<OVAdViewControllerProxy> OVAdViewControllerProxy::proxyWithViewController(
    const std::shared_ptr<platform::ViewController>& viewController) {
  if (!viewController) {
    return OVAdViewControllerProxy::viewController();
  }
  return maker()(viewController, nullptr);
}

std::shared_ptr<OVAdViewControllerProxy> OVAdViewControllerProxy::proxyWithViewController(
    const std::shared_ptr<OVAdViewControllerProxy>& proxy) {
  return proxy ? proxy : OVAdViewControllerProxy::viewController();
}

std::shared_ptr<OVAdViewControllerProxy> OVAdViewControllerProxy::proxyWithViewController(
    const std::shared_ptr<platform::ViewController>& viewController, const std::shared_ptr<platform::View>& view) {
  if (!viewController) {
    return OVAdViewControllerProxy::viewController();
  }
  return maker()(viewController, view);
}

}  // namespace plexora
