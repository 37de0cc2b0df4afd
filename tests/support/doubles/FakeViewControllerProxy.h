// A proxy that resolves to the controller it holds (weakly), else to a
// fallback the test sets, and counts its resolutions. install() makes it the
// way every proxy is made, for the life of the returned installation.
#pragma once

#include <memory>

#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"

namespace plexora::testing {

class FakeViewControllerProxy final : public OVAdViewControllerProxy {
 public:
  FakeViewControllerProxy(const std::shared_ptr<platform::ViewController>& viewController,
                          const std::shared_ptr<platform::View>& view)
      : viewController_(viewController), view_(view) {}

  std::shared_ptr<platform::ViewController> currentViewController() override {
    ++resolutions;
    if (auto held = viewController_.lock()) return held;
    return fallback;
  }

  std::shared_ptr<platform::ViewController> heldViewController() const { return viewController_.lock(); }
  std::shared_ptr<platform::View> heldView() const { return view_.lock(); }

  // Makes every proxy a fake for the life of the installation, the shared
  // proxy included.
  class Installation {
   public:
    Installation()
        : scope_(OVAdViewControllerProxy::maker(),
                 [](const std::shared_ptr<platform::ViewController>& viewController,
                    const std::shared_ptr<platform::View>& view) {
                   return std::make_shared<FakeViewControllerProxy>(viewController, view);
                 }) {
      OVAdViewControllerProxy::resetSharedProxyForTesting();
    }
    ~Installation() { OVAdViewControllerProxy::resetSharedProxyForTesting(); }
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;

   private:
    Maker::Scope scope_;
  };

  static std::unique_ptr<Installation> install() { return std::make_unique<Installation>(); }

  // What a proxy whose controller is gone resolves to.
  std::shared_ptr<platform::ViewController> fallback;
  int resolutions = 0;

 private:
  std::weak_ptr<platform::ViewController> viewController_;
  std::weak_ptr<platform::View> view_;
};

}  // namespace plexora::testing
