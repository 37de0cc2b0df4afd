// The four templates the native ad view hands out for the types 1 to 4,
// each of a fixed height: 100 and 120 show the details strip alone (120 with
// the body text), 300 the cover over the details, 400 the header, the cover
// and the details.
//
// Thread safety: main thread only.
// Ownership: as every template view, owned by the host.
#pragma once

#include "adapters/views/nativead/OVNativeAdTemplateView.h"

namespace plexora {

class OVAdGenericHeight100View final : public OVNativeAdTemplateView {
 public:
  double fixedHeight() const override { return 100.0; }
  bool usesMediaView() const override { return false; }
  void updateView(bool changed) override;
};

class OVAdGenericHeight120View final : public OVNativeAdTemplateView {
 public:
  double fixedHeight() const override { return 120.0; }
  bool usesMediaView() const override { return false; }
  void updateView(bool changed) override;
};

class OVAdGenericHeight300View final : public OVNativeAdTemplateView {
 public:
  double fixedHeight() const override { return 300.0; }
  void updateView(bool changed) override;
};

class OVAdGenericHeight400View final : public OVNativeAdTemplateView {
 public:
  double fixedHeight() const override { return 400.0; }
};

}  // namespace plexora
