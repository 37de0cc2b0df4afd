// The full-screen content of a video interstitial ad: the video with its
// poster, controls, call to action and close button.
//
// Made by the maker (maker()): the library's own content view
// (OVInterstitialVideoAdDefaultContentView) unless a test installs another.
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

  static Maker& maker();

 protected:
  OVInterstitialVideoAdContentView() = default;
};

}  // namespace plexora
