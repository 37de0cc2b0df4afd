#include "adapters/views/storepage/OVReliableStoreProductViewController.h"

#include <algorithm>
#include <utility>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/Button.h"
#include "platform/ui/Color.h"
#include "platform/ui/Screen.h"
#include "platform/ui/View.h"
#include "util/OVAdDevice.h"

namespace plexora {

namespace {

// Queues `task` after `delay` seconds (0: the next turn of the main loop)
// unless the answered token is dropped first.
std::shared_ptr<bool> callAfter(double delay, std::function<void()> task) {
  auto token = std::make_shared<bool>(true);
  auto run = [weakToken = std::weak_ptr<bool>(token), task = std::move(task)] {
    if (weakToken.lock()) task();
  };
  if (delay > 0) {
    platform::DispatchQueue::main()->after(delay, std::move(run));
  } else {
    platform::DispatchQueue::main()->async(std::move(run));
  }
  return token;
}

}  // namespace

OVReliableStoreProductViewController::~OVReliableStoreProductViewController() {
  cancelPendingCalls();
  if (storeKitController_) {
    storeKitController_->setDelegate({});
  }
}

std::shared_ptr<OVReliableStoreProductViewController> OVReliableStoreProductViewController::sharedStore() {
  return std::static_pointer_cast<OVReliableStoreProductViewController>(shared_from_this());
}

double OVReliableStoreProductViewController::now() { return platform::Clock::current()->monotonicTime(); }

void OVReliableStoreProductViewController::loadProductWithParameters(const platform::Value& parameters,
                                                                     LoadCompletion completion) {
  loadProductWithParameters(parameters, 1, 0, 0, std::move(completion));
}

void OVReliableStoreProductViewController::reliablyLoadProductWithParameters(const platform::Value& parameters,
                                                                             LoadCompletion completion) {
  loadProductWithParameters(parameters, kOVStoreProductReliableAttempts, kOVStoreProductReliableDelayBetweenAttempts,
                            kOVStoreProductReliableTimeout, std::move(completion));
}

void OVReliableStoreProductViewController::loadProductWithParameters(const platform::Value& parameters,
                                                                     std::int32_t numberOfAttempts,
                                                                     double delayBetweenAttempts,
                                                                     double timeoutAfterDelay,
                                                                     LoadCompletion completion) {
  loadParameters_ = parameters;
  maxNumberOfAttempts_ = numberOfAttempts;
  delayBetweenAttempts_ = delayBetweenAttempts;
  loadCompletionBlock_ = std::move(completion);
  storeKitControllersInProgress_.clear();
  scheduleAnotherLoadAfter(0);
  if (timeoutAfterDelay > 0) {
    const std::weak_ptr<OVReliableStoreProductViewController> weakSelf = sharedStore();
    timeout_ = callAfter(timeoutAfterDelay, [weakSelf] {
      if (const auto self = weakSelf.lock()) self->timeoutAfterDelay();
    });
  }
}

void OVReliableStoreProductViewController::scheduleAnotherLoadAfter(double delay) {
  const std::weak_ptr<OVReliableStoreProductViewController> weakSelf = sharedStore();
  scheduledLoad_ = callAfter(delay, [weakSelf] {
    if (const auto self = weakSelf.lock()) self->scheduleAnotherLoad();
  });
}

std::shared_ptr<platform::StoreProductSheet>
OVReliableStoreProductViewController::createAndPrepareStoreProductViewController() {
  auto sheet = platform::StoreProductSheet::make();
  sheet->setSupportedInterfaceOrientations(supportedInterfaceOrientations());
  return sheet;
}

void OVReliableStoreProductViewController::scheduleAnotherLoad() {
  scheduledLoad_.reset();
  if (loadCompleted_) {
    return;
  }
  auto sheet = createAndPrepareStoreProductViewController();
  storeKitControllersInProgress_.push_back(sheet);
  const std::int32_t attempt = loadAttemptCount_ + 1;
  const std::weak_ptr<OVReliableStoreProductViewController> weakSelf = sharedStore();
  const std::weak_ptr<platform::StoreProductSheet> weakSheet = sheet;
  ++loadAttemptCount_;
  if (loadAttemptCount_ < maxNumberOfAttempts_) {
    scheduleAnotherLoadAfter(delayBetweenAttempts_);
  }
  sheet->loadProductWithParameters(
      loadParameters_, [weakSelf, weakSheet, attempt](bool loaded, const std::optional<platform::Error>& error) {
        platform::DispatchQueue::main()->async([weakSelf, weakSheet, attempt, loaded, error] {
          const auto self = weakSelf.lock();
          const auto sheet = weakSheet.lock();
          if (self && sheet) self->loadCompleted(loaded, error, attempt, sheet);
        });
      });
}

void OVReliableStoreProductViewController::loadCompleted(bool loaded, const std::optional<platform::Error>& error,
                                                         std::int32_t attempt,
                                                         const std::shared_ptr<platform::StoreProductSheet>& sheet) {
  if (loadCompleted_) {
    return;
  }
  if (!loaded) {
    dismissIfPresented(sheet);
    std::erase(storeKitControllersInProgress_, sheet);
    if (loadAttemptCount_ < maxNumberOfAttempts_) {
      // A failure need not wait out the pause: the next attempt starts now.
      scheduledLoad_.reset();
      scheduleAnotherLoad();
      return;
    }
    if (!storeKitControllersInProgress_.empty()) {
      return;
    }
    endLoading(false, error, sheet);
    return;
  }
  storeKitController_ = sheet;
  sheet->setDelegate(sharedStore());
  loadProductFinishedTime_ = now();
  loadAttemptThatSucceeded_ = attempt;
  loadWasSuccessful_ = true;
  endLoading(true, error, sheet);
}

void OVReliableStoreProductViewController::endLoading(bool loaded, const std::optional<platform::Error>& error,
                                                      const std::shared_ptr<platform::StoreProductSheet>& reporter) {
  dismissAttemptsInProgress(reporter);
  cancelPendingCalls();
  loadCompleted_ = true;
  if (auto completion = std::exchange(loadCompletionBlock_, nullptr)) {
    completion(loaded, error);
  }
  if (loaded && presentedTime_ > 0 && dismissedTime_ == 0) {
    presentProductViewController();
  }
}

void OVReliableStoreProductViewController::timeoutAfterDelay() {
  timeout_.reset();
  if (loadCompleted_) {
    return;
  }
  dismissAttemptsInProgress();
  cancelPendingCalls();
  loadCompleted_ = true;
  const platform::Error error(
      platform::kStoreProductSheetErrorDomain, 0,
      platform::Dictionary{{platform::kLocalizedDescriptionKey, std::string(kOVStoreProductTimeoutDescription)}});
  if (auto completion = std::exchange(loadCompletionBlock_, nullptr)) {
    completion(false, error);
  }
}

void OVReliableStoreProductViewController::dismissAttemptsInProgress(
    const std::shared_ptr<platform::StoreProductSheet>& except) {
  for (const auto& sheet : std::exchange(storeKitControllersInProgress_, {})) {
    if (sheet != except) {
      dismissIfPresented(sheet);
    }
  }
}

void OVReliableStoreProductViewController::cancelPendingCalls() {
  scheduledLoad_.reset();
  timeout_.reset();
}

void OVReliableStoreProductViewController::dismissIfPresented(
    const std::shared_ptr<platform::StoreProductSheet>& sheet) {
  if (sheet && sheet->presentingViewController()) {
    sheet->dismiss(false);
  }
}

double OVReliableStoreProductViewController::timeSpent() const {
  return dismissedTime_ > 0 && presentedTime_ > 0 ? dismissedTime_ - presentedTime_ : 0;
}

double OVReliableStoreProductViewController::timeSpentBeforeLoad() const {
  return loadProductFinishedTime_ > 0 && presentedTime_ > 0 && presentedTime_ < loadProductFinishedTime_
             ? loadProductFinishedTime_ - presentedTime_
             : 0;
}

double OVReliableStoreProductViewController::timeSpentAfterLoad() const {
  return dismissedTime_ > 0 && loadProductFinishedTime_ > 0 ? dismissedTime_ - loadProductFinishedTime_ : 0;
}

void OVReliableStoreProductViewController::loadView() {
  auto root = std::make_shared<platform::View>(platform::Screen::main()->bounds());
  root->setBackgroundColor(platform::Color::white());
  navigationBarView_ = std::make_shared<platform::View>(
      platform::Rect(0, 0, root->bounds().width(), kOVStoreProductNavigationBarHeight));
  auto cancel = std::make_shared<platform::Button>();
  cancel->setTitle(std::string(kOVStoreProductCancelTitle), platform::kControlStateNormal);
  cancel->setFrame({0, 0, 88, kOVStoreProductNavigationBarHeight});
  const std::weak_ptr<OVReliableStoreProductViewController> weakSelf = sharedStore();
  cancel->addAction(platform::kControlEventTouchUpInside, [weakSelf](platform::Control&, const platform::Event*) {
    if (const auto self = weakSelf.lock()) self->didPressCancel();
  });
  navigationBarView_->addSubview(cancel);
  root->addSubview(navigationBarView_);
  setView(root);
}

platform::InterfaceOrientationMask OVReliableStoreProductViewController::supportedInterfaceOrientations() const {
  return OVAdDevice::isPad() ? platform::kInterfaceOrientationMaskAllButUpsideDown
                             : platform::kInterfaceOrientationMaskPortrait;
}

platform::InterfaceOrientation OVReliableStoreProductViewController::preferredInterfaceOrientationForPresentation()
    const {
  const platform::InterfaceOrientationMask mask = supportedInterfaceOrientations();
  for (const auto orientation :
       {platform::InterfaceOrientation::Portrait, platform::InterfaceOrientation::LandscapeLeft,
        platform::InterfaceOrientation::LandscapeRight, platform::InterfaceOrientation::PortraitUpsideDown}) {
    if ((mask & platform::maskOf(orientation)) != 0) {
      return orientation;
    }
  }
  return platform::InterfaceOrientation::Portrait;
}

bool OVReliableStoreProductViewController::prefersStatusBarHidden() const { return !OVAdDevice::isPad(); }

void OVReliableStoreProductViewController::viewDidAppear(bool) {
  if (viewHasAppeared_) {
    return;
  }
  viewHasAppeared_ = true;
  presentedTime_ = now();
  if (loadWasSuccessful_) {
    presentProductViewController();
  }
}

void OVReliableStoreProductViewController::viewDidDisappear(bool) {
  // Covered by its own sheet it is still presented; no longer presented, it
  // is gone.
  if (!presentingViewController()) {
    didGoAway();
  }
}

void OVReliableStoreProductViewController::productSheetDidDisappear(
    const std::shared_ptr<platform::StoreProductSheet>&) {
  // Dismissing this controller while its sheet is up takes both away, and
  // only the sheet is told.
  if (viewHasAppeared_ && !presentingViewController()) {
    didGoAway();
  }
}

void OVReliableStoreProductViewController::didGoAway() {
  if (dismissedTime_ > 0) {
    return;
  }
  dismissedTime_ = now();
  dismissAttemptsInProgress();
  dismissProductViewController(nullptr);
  cancelPendingCalls();
  // Nobody is waiting for the page any more: later answers are ignored and
  // the completion is dropped uncalled.
  loadCompleted_ = true;
  loadCompletionBlock_ = nullptr;
}

void OVReliableStoreProductViewController::presentProductViewController() {
  if (!storeKitController_ || storeKitController_->presentingViewController()) {
    return;
  }
  if (navigationBarView_) {
    navigationBarView_->setHidden(true);
  }
  present(storeKitController_, false);
}

void OVReliableStoreProductViewController::dismissProductViewController(std::function<void()> completion) {
  if (!storeKitController_) {
    return;
  }
  if (storeKitController_->presentingViewController()) {
    storeKitController_->dismiss(false, std::move(completion));
  }
  storeKitController_->setDelegate({});
  storeKitController_.reset();
}

void OVReliableStoreProductViewController::productSheetDidFinish(const std::shared_ptr<platform::StoreProductSheet>&) {
  const std::weak_ptr<OVReliableStoreProductViewController> weakSelf = sharedStore();
  dismissProductViewController([weakSelf] {
    platform::DispatchQueue::main()->async([weakSelf] {
      if (const auto self = weakSelf.lock()) self->notifyProductViewControllerDidFinish();
    });
  });
}

void OVReliableStoreProductViewController::didPressCancel() {
  dismissProductViewController(nullptr);
  notifyProductViewControllerDidFinish();
}

void OVReliableStoreProductViewController::notifyProductViewControllerDidFinish() {
  if (const auto delegate = delegate_.lock()) {
    delegate->productViewControllerDidFinish(sharedStore());
  }
}

}  // namespace plexora
