// Stands in for the view controller the host handed in to present from:
// that controller may since have gone away, or be covered by another one it
// presents. Each time the proxy is asked where to present, it checks the
// controller it holds and switches to the application's top view controller
// (or the controller that owns the held view) when the held one is gone or
// already presents something.
//
// Proxies are made by the maker (maker()): the library's weak proxy unless
// a test installs another; with none installed the class operations answer
// null.
//
// Thread safety: main thread only.
// Ownership: a proxy holds its controller and view weakly; callers share the
// proxy.
#pragma once

#include <memory>

#include "util/OVAdInstalledFunction.h"

namespace plexora::platform {
class View;
class ViewController;
}  // namespace plexora::platform

namespace plexora {

class OVAdViewControllerProxy {
 public:
  using Maker = OVAdInstalledFunction<std::shared_ptr<OVAdViewControllerProxy>(
      const std::shared_ptr<platform::ViewController>& viewController, const std::shared_ptr<platform::View>& view)>;

  virtual ~OVAdViewControllerProxy() = default;
  OVAdViewControllerProxy(const OVAdViewControllerProxy&) = delete;
  OVAdViewControllerProxy& operator=(const OVAdViewControllerProxy&) = delete;

  // The controller to present from now, after the held one was checked and
  // replaced where needed; none when nothing can be found. A message meant
  // for the proxy goes to this controller, or nowhere.
  virtual std::shared_ptr<platform::ViewController> currentViewController() = 0;

  // The one process-wide proxy that holds nothing, so it resolves to the
  // top view controller on every use. Made on first use.
  static std::shared_ptr<OVAdViewControllerProxy> viewController();
  // A new proxy holding the controller; the shared empty proxy for none.
  static std::shared_ptr<OVAdViewControllerProxy> proxyWithViewController(
      const std::shared_ptr<platform::ViewController>& viewController);
  // A proxy stays the proxy it is.
  static std::shared_ptr<OVAdViewControllerProxy> proxyWithViewController(
      const std::shared_ptr<OVAdViewControllerProxy>& proxy);
  // A new proxy holding the controller and the view (which may be none);
  // the shared empty proxy for no controller.
  static std::shared_ptr<OVAdViewControllerProxy> proxyWithViewController(
      const std::shared_ptr<platform::ViewController>& viewController, const std::shared_ptr<platform::View>& view);

  // Forgets the shared proxy, so the next use makes it again with the maker
  // installed then. Tests only.
  static void resetSharedProxyForTesting();

  // Makes every proxy from the controller and view it is to hold: an
  // OVAdWeakViewControllerProxy unless another maker is installed.
  static Maker& maker();

 protected:
  OVAdViewControllerProxy() = default;
};

}  // namespace plexora
