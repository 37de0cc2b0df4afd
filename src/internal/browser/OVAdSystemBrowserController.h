// The system's own browser view controller, where the platform has one: it
// shows a link with its own done button and tells its delegate when the
// first load ended and when the user pressed done.
//
// No such controller exists on this platform, so by default none is
// installed (maker()) and the in-app browser is used; an installed maker
// switches the system path on.
//
// Thread safety: main thread only.
// Ownership: the presenter owns the controller; it holds its delegate
// weakly and keeps the session translator attached to it alive.
#pragma once

#include <memory>

#include "platform/foundation/URL.h"
#include "platform/ui/ViewController.h"
#include "util/OVAdInstalledFunction.h"

namespace plexora {

class OVAdSafariDelegateTranslator;
class OVAdSystemBrowserController;

class OVAdSystemBrowserControllerDelegate {
 public:
  virtual ~OVAdSystemBrowserControllerDelegate() = default;
  virtual void safariViewControllerDidCompleteInitialLoad(const std::shared_ptr<OVAdSystemBrowserController>&,
                                                          bool /*didLoadSuccessfully*/) {}
  // The user pressed done.
  virtual void safariViewControllerDidFinish(const std::shared_ptr<OVAdSystemBrowserController>&) {}
  // The controller left the screen, however that came about.
  virtual void safariViewControllerDidDisappear(const std::shared_ptr<OVAdSystemBrowserController>&) {}
};

class OVAdSystemBrowserController : public platform::ViewController {
 public:
  using Maker = OVAdInstalledFunction<std::shared_ptr<OVAdSystemBrowserController>(const platform::URL& url)>;

  static Maker& maker() {
    static Maker instance;
    return instance;
  }

  std::shared_ptr<OVAdSystemBrowserControllerDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<OVAdSystemBrowserControllerDelegate> delegate) { delegate_ = std::move(delegate); }

  // The translator attached to this controller (kept alive by it).
  const std::shared_ptr<OVAdSafariDelegateTranslator>& attachedTranslator() const { return translator_; }
  void attachTranslator(std::shared_ptr<OVAdSafariDelegateTranslator> translator) {
    translator_ = std::move(translator);
  }

  void viewDidDisappear(bool animated) override;

 protected:
  OVAdSystemBrowserController() = default;

 private:
  std::weak_ptr<OVAdSystemBrowserControllerDelegate> delegate_;
  std::shared_ptr<OVAdSafariDelegateTranslator> translator_;
};

}  // namespace plexora
