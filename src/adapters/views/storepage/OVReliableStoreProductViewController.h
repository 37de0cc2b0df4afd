// The store page the library shows for an ad's store command: its own plain
// page with a Cancel bar while the product loads in one or more store
// sheets, tolerating slow or failed loads with overlapping attempts, a pause
// between attempts and an overall timeout. As soon as one attempt has loaded
// and this controller is on screen, the loaded sheet is presented over it.
//
// Going away (dismissed, or released) ends loading: nothing more is
// attempted and the completion is not called.
//
// Thread safety: main thread only.
// Ownership: the presenter owns the controller; it owns its sheets and
// holds its delegate weakly. Delayed calls and sheet completions hold it
// weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "internal/browser/OVStoreProductViewController.h"
#include "platform/web/StoreProductSheet.h"

namespace plexora {

inline constexpr std::int32_t kOVStoreProductReliableAttempts = 3;
inline constexpr double kOVStoreProductReliableDelayBetweenAttempts = 1.5;
inline constexpr double kOVStoreProductReliableTimeout = 20.0;
inline constexpr double kOVStoreProductNavigationBarHeight = 44.0;
inline constexpr const char* kOVStoreProductTimeoutDescription = "OVStoreProductViewController: load timed out";
inline constexpr const char* kOVStoreProductCancelTitle = "Cancel";

class OVReliableStoreProductViewController final : public OVStoreProductViewController,
                                                   public platform::StoreProductSheetDelegate {
 public:
  OVReliableStoreProductViewController() = default;
  ~OVReliableStoreProductViewController() override;

  void setDelegate(std::weak_ptr<OVStoreProductViewControllerDelegate> delegate) override {
    delegate_ = std::move(delegate);
  }
  // One attempt, no timeout.
  void loadProductWithParameters(const platform::Value& parameters, LoadCompletion completion);
  void reliablyLoadProductWithParameters(const platform::Value& parameters, LoadCompletion completion) override;
  // Starts the first attempt on the next turn of the main loop, each further
  // one `delayBetweenAttempts` seconds later while attempts remain and none
  // has loaded; a timeout above 0 ends loading with an error.
  void loadProductWithParameters(const platform::Value& parameters, std::int32_t numberOfAttempts,
                                 double delayBetweenAttempts, double timeoutAfterDelay, LoadCompletion completion);

  // Seconds on screen, before the load finished, and after it (0 when not
  // known).
  double timeSpent() const;
  double timeSpentBeforeLoad() const;
  double timeSpentAfterLoad() const;

  bool loadWasSuccessful() const { return loadWasSuccessful_; }
  std::int32_t loadAttemptCount() const { return loadAttemptCount_; }
  std::int32_t loadAttemptThatSucceeded() const { return loadAttemptThatSucceeded_; }
  const std::shared_ptr<platform::StoreProductSheet>& storeKitController() const { return storeKitController_; }
  std::size_t attemptsInProgress() const { return storeKitControllersInProgress_.size(); }
  const std::shared_ptr<platform::View>& navigationBarView() const { return navigationBarView_; }

  // The Cancel button of the own bar.
  void didPressCancel();

  // ---- ViewController
  void loadView() override;
  void viewDidAppear(bool animated) override;
  void viewDidDisappear(bool animated) override;
  platform::InterfaceOrientationMask supportedInterfaceOrientations() const override;
  platform::InterfaceOrientation preferredInterfaceOrientationForPresentation() const override;
  bool prefersStatusBarHidden() const override;

  // ---- StoreProductSheetDelegate
  void productSheetDidFinish(const std::shared_ptr<platform::StoreProductSheet>& sheet) override;
  void productSheetDidDisappear(const std::shared_ptr<platform::StoreProductSheet>& sheet) override;

 private:
  std::shared_ptr<OVReliableStoreProductViewController> sharedStore();
  std::shared_ptr<platform::StoreProductSheet> createAndPrepareStoreProductViewController();
  void scheduleAnotherLoad();
  void scheduleAnotherLoadAfter(double delay);
  void loadCompleted(bool loaded, const std::optional<platform::Error>& error, std::int32_t attempt,
                     const std::shared_ptr<platform::StoreProductSheet>& sheet);
  void endLoading(bool loaded, const std::optional<platform::Error>& error,
                  const std::shared_ptr<platform::StoreProductSheet>& reporter);
  void timeoutAfterDelay();
  void dismissAttemptsInProgress(const std::shared_ptr<platform::StoreProductSheet>& except = nullptr);
  void cancelPendingCalls();
  void presentProductViewController();
  void dismissProductViewController(std::function<void()> completion);
  void notifyProductViewControllerDidFinish();
  // Dismissed: records the time and ends whatever is still going on.
  void didGoAway();
  static void dismissIfPresented(const std::shared_ptr<platform::StoreProductSheet>& sheet);
  static double now();

  std::vector<std::shared_ptr<platform::StoreProductSheet>> storeKitControllersInProgress_;
  std::shared_ptr<platform::StoreProductSheet> storeKitController_;
  std::shared_ptr<platform::View> navigationBarView_;
  std::weak_ptr<OVStoreProductViewControllerDelegate> delegate_;
  platform::Value loadParameters_;
  std::int32_t maxNumberOfAttempts_ = 0;
  double delayBetweenAttempts_ = 0;
  LoadCompletion loadCompletionBlock_;
  double loadProductFinishedTime_ = 0;
  double presentedTime_ = 0;
  double dismissedTime_ = 0;
  bool loadCompleted_ = false;
  bool viewHasAppeared_ = false;
  bool loadWasSuccessful_ = false;
  std::int32_t loadAttemptCount_ = 0;
  std::int32_t loadAttemptThatSucceeded_ = 0;
  // Delayed calls run only while their token lives: resetting one cancels
  // the call.
  std::shared_ptr<bool> scheduledLoad_;
  std::shared_ptr<bool> timeout_;
};

}  // namespace plexora
