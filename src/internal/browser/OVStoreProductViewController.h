// Shows an advertised application's store page inside the host application:
// a view controller that loads the product page behind a plain page with a
// Cancel button, and shows it as soon as it has loaded and the controller is
// on screen.
//
// create() makes the library's controller (OVReliableStoreProductViewController)
// unless a test installed another maker.
//
// Thread safety: main thread only.
// Ownership: whoever presents the controller owns it; it holds its delegate
// weakly.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/Error.h"
#include "platform/ui/ViewController.h"
#include "platform/value/Value.h"
#include "util/OVAdInstalledFunction.h"

namespace plexora {

class OVStoreProductViewController;

class OVStoreProductViewControllerDelegate {
 public:
  virtual ~OVStoreProductViewControllerDelegate() = default;

  // Optional: the user closed the page. The base does nothing.
  virtual void productViewControllerDidFinish(const std::shared_ptr<OVStoreProductViewController>& controller) {}
};

class OVStoreProductViewController : public platform::ViewController {
 public:
  using Maker = OVAdInstalledFunction<std::shared_ptr<OVStoreProductViewController>()>;
  // Called once: whether the page loaded, and the error when it did not.
  using LoadCompletion = std::function<void(bool loaded, const std::optional<platform::Error>& error)>;

  // A new controller; null while no maker is installed.
  static std::shared_ptr<OVStoreProductViewController> create() { return maker()(); }

  virtual void setDelegate(std::weak_ptr<OVStoreProductViewControllerDelegate> delegate) = 0;
  // Loads the page the store parameters (a dictionary) name, with up to
  // three overlapping attempts 1.5 s apart, giving up after 20 s.
  virtual void reliablyLoadProductWithParameters(const platform::Value& parameters, LoadCompletion completion) = 0;

  static Maker& maker();

 protected:
  OVStoreProductViewController() = default;
};

}  // namespace plexora
