// A unit's side of the display-ad controller for tests: a delegate that
// writes every message into a log the test keeps (so the log outlives the
// delegate), and a fixture with the loopback world and scripted adapters
// registered for the "PX" and "ADMOB" banner and native identifiers.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "controllers/DisplayAdTestWorld.h"
#include "controllers/OVDisplayAdController.h"
#include "platform/ui/View.h"
#include "support/doubles/FakeDisplayAdAdapter.h"

namespace plexora::testing {

struct ControllerLog {
  std::vector<std::string> messages;
  std::vector<platform::Error> errors;
  std::vector<std::shared_ptr<platform::View>> presentedViews;

  std::size_t count(const std::string& message) const {
    return static_cast<std::size_t>(std::count(messages.begin(), messages.end(), message));
  }
};

class RecordingControllerDelegate final : public OVDisplayAdControllerDelegate {
 public:
  explicit RecordingControllerDelegate(std::shared_ptr<ControllerLog> log) : log_(std::move(log)) {}

  void displayAdControllerLoaded(const std::shared_ptr<OVDisplayAdController>& controller) override {
    log_->messages.push_back("loaded");
    if (startOnLoad) controller->startAd();
  }
  void displayAdControllerStopped(const std::shared_ptr<OVDisplayAdController>&) override {
    log_->messages.push_back("stopped");
  }
  void displayAdController(const std::shared_ptr<OVDisplayAdController>&, const platform::Error& error) override {
    log_->messages.push_back("error");
    log_->errors.push_back(error);
  }
  void displayAdController(const std::shared_ptr<OVDisplayAdController>&,
                           const std::shared_ptr<platform::View>& presentedView) override {
    log_->messages.push_back("presented");
    log_->presentedViews.push_back(presentedView);
  }
  void displayAdControllerImpression(const std::shared_ptr<OVDisplayAdController>&) override {
    log_->messages.push_back("impression");
  }
  void displayAdController(const std::shared_ptr<OVDisplayAdController>&,
                           const std::optional<platform::URL>&) override {
    log_->messages.push_back("click");
  }
  void displayAdControllerUserClosed(const std::shared_ptr<OVDisplayAdController>&) override {
    log_->messages.push_back("closed");
  }
  void displayAdControllerVideoComplete(const std::shared_ptr<OVDisplayAdController>&) override {
    log_->messages.push_back("complete");
  }
  void displayAdControllerServerRewardSuccess(const std::shared_ptr<OVDisplayAdController>&) override {
    log_->messages.push_back("reward");
  }
  void displayAdControllerServerRewardFailed(const std::shared_ptr<OVDisplayAdController>&) override {
    log_->messages.push_back("reward failed");
  }

  // Shows the ad as soon as it is loaded, as a banner does.
  bool startOnLoad = true;

 private:
  std::shared_ptr<ControllerLog> log_;
};

class DisplayAdControllerTest : public ::testing::Test {
 protected:
  static constexpr const char* kPlacement = "controller-test";

  using Made = FakeDisplayAdAdapter::Made;

  // Sets the controller up as a banner of 320 by 50 for kPlacement.
  void loadBanner() {
    controller_->setDelegate(delegate_);
    controller_->loadAdWithPlacementId(kPlacement, 1, 4, kOVAdSize320x50);
  }
  void answer(const std::vector<CandidateSpec>& candidates, const std::string& definition) {
    world_.server().setAnswer(kPlacement, DisplayAdTestWorld::answer(candidates, definition));
  }
  // The index-th adapter (from 0) made from `made`, once the load got there.
  std::shared_ptr<FakeDisplayAdAdapter> adapterAt(const std::shared_ptr<Made>& made, std::size_t index) {
    if (!DisplayAdTestWorld::waitFor([&] { return made->adapters.size() > index; })) return nullptr;
    return made->adapters[index];
  }
  // A banner adapter's load: with a view to show.
  static void finishWithView(FakeDisplayAdAdapter& adapter) {
    adapter.setAdView(std::make_shared<platform::View>(platform::Rect(0, 0, 320, 50)));
    adapter.finishLoad();
  }
  std::size_t requests() const { return world_.server().adRequests().size(); }

  DisplayAdTestWorld world_;
  std::shared_ptr<Made> px_ = std::make_shared<Made>();
  std::shared_ptr<Made> admob_ = std::make_shared<Made>();
  std::unique_ptr<FakeDisplayAdAdapter::Installation> pxBanner_ = FakeDisplayAdAdapter::install("OVPXBannerAdAdapter", px_);
  std::unique_ptr<FakeDisplayAdAdapter::Installation> admobBanner_ =
      FakeDisplayAdAdapter::install("OVADMOBBannerAdAdapter", admob_);
  std::unique_ptr<FakeDisplayAdAdapter::Installation> pxNative_ = FakeDisplayAdAdapter::install("OVPXNativeAdAdapter", px_);
  std::shared_ptr<ControllerLog> log_ = std::make_shared<ControllerLog>();
  std::shared_ptr<RecordingControllerDelegate> delegate_ = std::make_shared<RecordingControllerDelegate>(log_);
  std::shared_ptr<OVDisplayAdController> controller_ = OVDisplayAdController::create();
};

}  // namespace plexora::testing
