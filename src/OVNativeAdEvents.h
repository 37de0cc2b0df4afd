// The native ad's side of its controller and of its viewability validator:
// kept apart from the public class so the host's header knows neither.
//
// Thread safety: main thread only.
// Ownership: the ad owns it; it holds the ad weakly, as every delegate is
// held.
#pragma once

#include <memory>

#include "controllers/OVDisplayAdController.h"
#include "internal/OVAdViewabilityValidator.h"
#include "plexora/OVNativeAd.h"

namespace plexora {

class OVNativeAdEvents final : public OVDisplayAdControllerDelegate, public OVAdViewabilityValidatorDelegate {
 public:
  explicit OVNativeAdEvents(std::weak_ptr<OVNativeAd> ad) : ad_(std::move(ad)) {}

  void displayAdControllerLoaded(const std::shared_ptr<OVDisplayAdController>& /*controller*/) override {
    if (const auto ad = ad_.lock()) ad->displayAdControllerLoaded();
  }
  // Only full-screen ads stop; a late or stray report changes nothing here.
  void displayAdControllerStopped(const std::shared_ptr<OVDisplayAdController>& /*controller*/) override {}
  void displayAdController(const std::shared_ptr<OVDisplayAdController>& /*controller*/,
                           const platform::Error& error) override {
    if (const auto ad = ad_.lock()) ad->displayAdControllerFailed(error);
  }
  void displayAdController(const std::shared_ptr<OVDisplayAdController>& /*controller*/,
                           const std::shared_ptr<OVNativeAdDataModel>& presentedData, ImpressionBlock onImpression,
                           ImpressionBlock onImpressionMiss, ClickBlock onClick) override {
    if (const auto ad = ad_.lock()) {
      ad->displayAdControllerPresentedData(presentedData, std::move(onImpression), std::move(onImpressionMiss),
                                           std::move(onClick));
    }
  }
  void displayAdControllerImpression(const std::shared_ptr<OVDisplayAdController>& /*controller*/) override {
    if (const auto ad = ad_.lock()) ad->displayAdControllerImpression();
  }
  void displayAdController(const std::shared_ptr<OVDisplayAdController>& /*controller*/,
                           const std::optional<platform::URL>& /*clickThruWithURL*/) override {
    if (const auto ad = ad_.lock()) ad->displayAdControllerClickThru();
  }
  void displayAdControllerUserClosed(const std::shared_ptr<OVDisplayAdController>& /*controller*/) override {
    if (const auto ad = ad_.lock()) ad->displayAdControllerUserClosed();
  }
  // A native ad has no view of the controller's to present.
  using OVDisplayAdControllerDelegate::displayAdController;

  bool viewabilityValidator(const std::shared_ptr<OVAdViewabilityValidator>& /*validator*/,
                            OVAdViewabilityStatus status) override {
    const auto ad = ad_.lock();
    return ad && ad->viewabilityValidatorChecked(static_cast<std::int64_t>(status));
  }

 private:
  std::weak_ptr<OVNativeAd> ad_;
};

}  // namespace plexora
