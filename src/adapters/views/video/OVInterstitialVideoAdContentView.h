// The full-screen content of a video interstitial ad: the video with its
// poster, controls, call to action and close button.
//
// The view installs how it is made (maker()); until then create() answers
// null.
//
// Thread safety: main thread only.
#pragma once

#include <memory>

#include "adapters/views/video/OVVideoAdContentView.h"
#include "util/OVAdInstalledFunction.h"

namespace plexora {

class OVInterstitialVideoAdContentView : public OVVideoAdContentView {
 public:
  using Maker = OVAdInstalledFunction<std::shared_ptr<OVInterstitialVideoAdContentView>()>;

  static std::shared_ptr<OVInterstitialVideoAdContentView> create() { return maker()(); }

  static Maker& maker() {
    static Maker instance;
    return instance;
  }

 protected:
  OVInterstitialVideoAdContentView() = default;
};

}  // namespace plexora
