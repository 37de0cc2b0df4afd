// The common face of the interstitial's full-screen view controllers (the
// HTML one and the video one): the adapter loads and shows through it and
// hears back through OVInterstitialAdInternalDelegate. The base shows
// nothing: it is never valid and refuses every show.
//
// Thread safety: main thread only.
// Ownership: the adapter owns the internal and is held weakly as its
// delegate; once presented, the presenting controller holds it too.
#pragma once

#include <memory>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/ui/InterfaceOrientation.h"
#include "platform/ui/ViewController.h"

namespace plexora {

class OVAdViewControllerProxy;
class OVInterstitialAdInternal;

// Every message is optional.
class OVInterstitialAdInternalDelegate {
 public:
  virtual ~OVInterstitialAdInternalDelegate() = default;

  virtual void interstitialAdDidClick(const std::shared_ptr<OVInterstitialAdInternal>& /*internal*/) {}
  virtual void interstitialAdDidClose(const std::shared_ptr<OVInterstitialAdInternal>& /*internal*/) {}
  virtual void interstitialAdWillClose(const std::shared_ptr<OVInterstitialAdInternal>& /*internal*/) {}
  virtual void interstitialAdDidLoad(const std::shared_ptr<OVInterstitialAdInternal>& /*internal*/) {}
  // didFailWithError.
  virtual void interstitialAd(const std::shared_ptr<OVInterstitialAdInternal>& /*internal*/,
                              const platform::Error& /*error*/) {}
  virtual void interstitialAdWillLogImpression(const std::shared_ptr<OVInterstitialAdInternal>& /*internal*/) {}
};

class OVInterstitialAdInternal : public platform::ViewController {
 public:
  virtual bool isAdValid() const { return false; }
  virtual void loadAd() {}
  virtual void loadAdFromMarkup(const std::string& /*markup*/, const std::string& /*activationCommand*/,
                                platform::InterfaceOrientation /*orientation*/) {}
  // Presents the internal over the proxy's controller; answers whether it
  // did. The one-argument form is the animated one.
  virtual bool showAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& /*rootViewController*/) {
    return false;
  }
  virtual bool showAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& /*rootViewController*/,
                                            bool /*animated*/) {
    return false;
  }

  std::shared_ptr<OVInterstitialAdInternalDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<OVInterstitialAdInternalDelegate> delegate) { delegate_ = std::move(delegate); }

 protected:
  std::shared_ptr<OVInterstitialAdInternal> sharedInternal() {
    return std::static_pointer_cast<OVInterstitialAdInternal>(shared_from_this());
  }

 private:
  std::weak_ptr<OVInterstitialAdInternalDelegate> delegate_;
};

}  // namespace plexora
