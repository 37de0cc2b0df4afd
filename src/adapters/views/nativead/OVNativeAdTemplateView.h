// The base of the library's native ad templates, as far as a native ad needs
// to know it: a registered view that is a template names its type in the
// ad's logging data. The templates themselves derive from it.
//
// Thread safety: main thread only.
// Ownership: the host owns its template views, as every view it registers.
#pragma once

#include <cstdint>

#include "platform/ui/Geometry.h"
#include "platform/ui/View.h"

namespace plexora {

class OVNativeAdTemplateView : public platform::View {
 public:
  // The template's type: 1 to 4 for the fixed heights 100, 120, 300 and 400.
  virtual std::int64_t templateType() const = 0;

 protected:
  OVNativeAdTemplateView() = default;
  explicit OVNativeAdTemplateView(platform::Rect frame) : platform::View(frame) {}
};

}  // namespace plexora
