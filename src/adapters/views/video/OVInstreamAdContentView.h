// The content of an in-stream video ad: the video view with its skip
// button, countdown, call to action and ad-choices icon, driven by a video
// ad controller.
//
// create() makes the library's own view (OVDefaultInstreamAdContentView)
// unless another maker is installed (tests install doubles).
//
// Thread safety: main thread only.
#pragma once

#include <memory>

#include "adapters/views/video/OVVideoAdContentView.h"
#include "util/OVAdInstalledFunction.h"

namespace plexora {

class OVInstreamAdContentView : public OVVideoAdContentView {
 public:
  using Maker = OVAdInstalledFunction<std::shared_ptr<OVInstreamAdContentView>()>;

  static std::shared_ptr<OVInstreamAdContentView> create() { return maker()(); }

  static Maker& maker();

 protected:
  OVInstreamAdContentView() = default;
};

}  // namespace plexora
