// Registering a view with a native ad: the class-wide map of registered
// views, the tap recognisers, the viewability checks that log the
// impression, the click gate in front of the click, the impression miss,
// and the manual and external logging of impressions and clicks.
#include <map>

#include "OVNativeAdEvents.h"
#include "adapters/OVNativeAdDataModel.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainThreadCheck.h"
#include "platform/foundation/Exception.h"
#include "platform/ui/Button.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "plexora/OVNativeAd.h"
#include "tracking/OVAdEventManager.h"
#include "util/OVAdClickGate.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdLogger.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr const char* kNotLoadedMessage = "OVNativeAd registerViewForInteraction can only be called when native ad did loaded";
constexpr const char* kAdAlreadyRegisteredMessage =
    "OVNativeAd was already registered with a UIView. Auto unregistering and proceeding";
constexpr const char* kViewAlreadyRegisteredMessage =
    "UIView was already registered with a OVNativeAd. Auto unregistering and proceeding";
constexpr const char* kManualAlreadyRegisteredMessage =
    "Already registered for automatic impression tracking and click handling";

constexpr const char* kMissReasonKey = "miss_reason";
constexpr const char* kManualImpressionKey = "mil";
constexpr const char* kExternalImpressionKey = "eil";
constexpr const char* kExternalSourceKey = "eil_source";
constexpr const char* kFlagOn = "1";
constexpr const char* kSnapshotKey = "snapshot";

// Registered view -> its ad, both held weakly: a released view or ad drops
// out by itself. Main thread only.
struct Registration {
  std::weak_ptr<platform::View> view;
  std::weak_ptr<OVNativeAd> ad;
};
std::map<const platform::View*, Registration>& viewToNativeAdMap() {
  static auto* map = new std::map<const platform::View*, Registration>();
  return *map;
}

// The ad registered with the view, when the view is still the one mapped.
std::shared_ptr<OVNativeAd> adForView(const std::shared_ptr<platform::View>& view) {
  const auto found = viewToNativeAdMap().find(view.get());
  if (found == viewToNativeAdMap().end() || found->second.view.lock() != view) return nullptr;
  return found->second.ad.lock();
}

double now() { return platform::Clock::current()->timeSinceReferenceDate(); }

std::shared_ptr<OVAdConfigManager> configuration() { return OVAdConfigManager::sharedManager(); }

bool isEmpty(const std::optional<std::string>& text) { return !text || text->empty(); }

platform::Dictionary externalLoggingExtraData(const std::optional<std::string>& source) {
  return platform::Dictionary{{kExternalImpressionKey, kFlagOn}, {kExternalSourceKey, source.value_or("")}};
}

}  // namespace

// ---- Registration ----

void OVNativeAd::registerViewForInteraction(const std::shared_ptr<platform::View>& view,
                                            const std::shared_ptr<platform::ViewController>& viewController) {
  platform::requireMainThread("OVNativeAd::registerViewForInteraction");
  if (!view) {
    OVAdUtility::throwExceptionWithName(platform::kInvalidArgumentException, kOVNativeAdNoViewReason);
  }
  view->setUserInteractionEnabled(true);
  std::vector<std::shared_ptr<platform::View>> clickable;
  for (const auto& target : OVAdUtility::allInteractableTargets(view)) {
    if (auto locked = target.lock()) clickable.push_back(std::move(locked));
  }
  registerViewForInteraction(view, viewController, clickable);
}

void OVNativeAd::registerViewForInteraction(const std::shared_ptr<platform::View>& view,
                                            const std::shared_ptr<platform::ViewController>& viewController,
                                            const std::vector<std::shared_ptr<platform::View>>& clickableViews) {
  platform::requireMainThread("OVNativeAd::registerViewForInteraction");
  if (!view) {
    OVAdUtility::throwExceptionWithName(platform::kInvalidArgumentException, kOVNativeAdNoViewReason);
  }
  auto proxy = OVAdViewControllerProxy::proxyWithViewController(viewController, view);
  std::vector<std::shared_ptr<platform::View>> clickable;
  for (const auto& candidate : clickableViews) {
    if (candidate) clickable.push_back(candidate);
  }
  if (clickable.empty()) {
    OVAdUtility::throwExceptionWithName(platform::kInvalidArgumentException, kOVNativeAdNoClickableViewsReason);
  }
  if (!isAdValid()) {
    OV_LOG(kOVAdLogLevelError, "%s", kNotLoadedMessage);
    return;
  }
  if (isRegistered()) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kAdAlreadyRegisteredMessage);
    unregisterViewInternal();
  }
  if (const auto previous = adForView(view)) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kViewAlreadyRegisteredMessage);
    previous->unregisterViewInternal();
  }

  OVAdUtility::markView(view);
  viewToNativeAdMap()[view.get()] = {view, weak_from_this()};
  nativeAdView_ = view;
  clickableViews_.assign(clickable.begin(), clickable.end());
  viewController_ = std::move(proxy);

  const std::uint64_t registration = ++registration_;
  const std::weak_ptr<OVNativeAd> weakSelf = weak_from_this();
  for (const auto& clickableView : clickable) {
    platform::DispatchQueue::main()->async(
        [weakSelf, weakView = std::weak_ptr<platform::View>(clickableView), registration] {
          if (const auto self = weakSelf.lock()) self->attachRecognizer(weakView, registration);
        });
  }

  if (!viewabilityValidatorDisabled_ && placementDefinition_) {
    viewabilityValidator_ = OVAdViewabilityValidator::initWithView(
        view, placementDefinition_->viewabilityCheckInterval(), placementDefinition_->viewabilityCheckInitialDelay(),
        placementDefinition_->minViewabilityPercentage(), placementDefinition_->minViewabilityTicks(), true);
    viewabilityValidator_->setDelegate(events_);
    viewabilityValidator_->scheduleViewabilityCheck();
  }

  if (adController_ && adController_->currentAdapter()) {
    adController_->currentAdapter()->registerViewForInteraction(view, viewController);
  }

  if (dataModel_ && dataModel_->viewSnapshotLoggingEnabled()) {
    // The ad stays until its snapshot is logged.
    platform::DispatchQueue::main()->after(static_cast<double>(dataModel_->snapshotDelayPostInSecond()),
                                           [self = shared_from_this()] { self->logViewSnapshot(); });
  }
}

void OVNativeAd::logViewSnapshot() {
  platform::Dictionary extraData;
  if (const auto snapshot = generateViewSnapshot()) extraData.set(kSnapshotKey, *snapshot);
  const auto& token = dataModel_->inlineClientToken();
  OVAdEventManager::sharedManager()->logSnapshotForToken(token.value_or(""), extraData);
}

void OVNativeAd::attachRecognizer(const std::weak_ptr<platform::View>& clickableView, std::uint64_t registration) {
  // A registration that ended (or was replaced) before this turn of the
  // main loop attaches nothing more.
  if (registration != registration_) return;
  const auto view = clickableView.lock();
  if (!view) return;
  const std::weak_ptr<OVNativeAd> weakSelf = weak_from_this();
  auto recognizer = std::make_shared<platform::TapGestureRecognizer>([weakSelf](platform::GestureRecognizer& sender) {
    if (const auto self = weakSelf.lock()) self->handleTap(sender);
  });
  recognizer->setDelegate(std::static_pointer_cast<platform::GestureRecognizerDelegate>(shared_from_this()));
  view->addGestureRecognizer(recognizer);
  gestureRecognizers_.push_back(recognizer);
  view->setUserInteractionEnabled(true);
}

bool OVNativeAd::isRegistered() const { return nativeAdView_.lock() != nullptr; }

std::vector<std::shared_ptr<platform::View>> OVNativeAd::clickableViews() const {
  std::vector<std::shared_ptr<platform::View>> views;
  for (const auto& view : clickableViews_) {
    if (auto locked = view.lock()) views.push_back(std::move(locked));
  }
  return views;
}

void OVNativeAd::unregisterView() {
  platform::requireMainThread("OVNativeAd::unregisterView");
  const auto view = nativeAdView_.lock();
  if (!view) return;
  if (adForView(view).get() != this) {
    OVAdUtility::throwExceptionWithName(platform::kInternalInconsistencyException, kOVNativeAdNotRegisteredReason);
  }
  unregisterViewInternal();
  if (adController_ && adController_->currentAdapter()) adController_->currentAdapter()->unregisterView();
}

void OVNativeAd::unregisterViewInternal() {
  ++registration_;
  auto& map = viewToNativeAdMap();
  for (auto entry = map.begin(); entry != map.end();) {
    const auto ad = entry->second.ad.lock();
    // While the ad is being released its own weak references are gone too.
    const bool ours = ad.get() == this || (!ad && entry->second.view.lock() == nativeAdView_.lock());
    entry = ours || entry->second.view.expired() ? map.erase(entry) : std::next(entry);
  }
  nativeAdView_.reset();
  clickableViews_.clear();
  for (const auto& weakRecognizer : gestureRecognizers_) {
    const auto recognizer = weakRecognizer.lock();
    if (!recognizer) continue;
    if (const auto view = recognizer->view()) view->removeGestureRecognizer(recognizer);
  }
  gestureRecognizers_.clear();
  if (viewabilityValidator_) viewabilityValidator_->stopViewabilityCheck();
}

void OVNativeAd::disableViewabilityValidator() { viewabilityValidatorDisabled_ = true; }

bool OVNativeAd::gestureRecognizerShouldBegin(platform::GestureRecognizer& /*recognizer*/) {
  const auto view = nativeAdView_.lock();
  return isAdValid() && view && view->window();
}

// ---- Impression ----

bool OVNativeAd::viewabilityValidatorChecked(std::int64_t status) {
  if (status != static_cast<std::int64_t>(OVAdViewabilityStatus::Viewable)) return false;
  firstImpressionTime_ = now();
  if (onImpression_) onImpression_(generateLoggingDataWithExtraData({}), generateViewPostData());
  return true;
}

void OVNativeAd::logImpressionMissWithReason(std::int64_t reason) {
  if (firstImpressionTime_ != kOVAdNoImpressionTime || !onImpressionMiss_) return;
  if (!configuration()->isImpressionMissTrackingEnabled()) return;
  onImpressionMiss_(generateLoggingDataWithExtraData(platform::Dictionary{{kMissReasonKey, reason}}),
                    generateViewPostData());
}

// ---- Taps ----

void OVNativeAd::handleTap(platform::GestureRecognizer& recognizer) {
  const auto view = nativeAdView_.lock();
  if (!view || !view->window()) return;
  const platform::Rect rect = view->convertRectToView(view->bounds(), nullptr);
  const platform::Point location = recognizer.locationInView(view.get());
  handleTapAt(location, generateTapLoggingWithLocation(location, rect));
}

void OVNativeAd::handleTap(const std::shared_ptr<platform::Responder>& sender, const OVNativeAdTapEvent& event) {
  const auto view = nativeAdView_.lock();
  if (!view || !view->window()) return;
  const bool fromButton = std::dynamic_pointer_cast<platform::Button>(sender) != nullptr;
  if (fromButton && std::holds_alternative<platform::Point>(event)) {
    handleTapAt(std::get<platform::Point>(event), std::nullopt);
  } else if (fromButton && std::holds_alternative<OVNativeAdNoTouchEvent>(event)) {
    // The full-screen video's call to action brings no touch, so there is
    // no place to hold against the margin: the click goes through.
    if (onClick_) onClick_(viewController_ ? viewController_->currentViewController() : nullptr, {});
  } else {
    handleTapAt({0, 0}, std::nullopt);
  }
}

void OVNativeAd::handleTapAt(platform::Point location, std::optional<platform::Dictionary> record) {
  const auto view = nativeAdView_.lock();
  if (!view) return;
  if (!OVAdClickGate::allowsTap(firstImpressionTime_, *view, location, *configuration())) return;
  if (onClick_) {
    onClick_(viewController_ ? viewController_->currentViewController() : nullptr,
             record.value_or(platform::Dictionary{}));
  }
}

// ---- Manual and external logging ----

void OVNativeAd::checkManualLoggingEligibility() const {
  if (!isAdValid()) {
    OVAdUtility::throwExceptionWithName(kOVNativeAdInvalidOperationException, kOVNativeAdManualNotLoadedReason);
  }
  if (!dataModel_ || !dataModel_->manualImpressionEnabled()) {
    OVAdUtility::throwExceptionWithName(kOVNativeAdInvalidOperationException, kOVNativeAdManualNotEnabledReason);
  }
  if (isRegistered()) OV_LOG(kOVAdLogLevelWarn, "%s", kManualAlreadyRegisteredMessage);
}

void OVNativeAd::logImpression() {
  platform::requireMainThread("OVNativeAd::logImpression");
  checkManualLoggingEligibility();
  if (!onImpression_) return;
  firstImpressionTime_ = now();
  onImpression_(platform::Dictionary{{kManualImpressionKey, kFlagOn}}, {});
}

void OVNativeAd::handleClickWithViewController(const std::shared_ptr<platform::ViewController>& viewController) {
  platform::requireMainThread("OVNativeAd::handleClickWithViewController");
  if (!viewController) {
    OVAdUtility::throwExceptionWithName(platform::kInvalidArgumentException, kOVNativeAdNoViewControllerReason);
  }
  checkManualLoggingEligibility();
  if (!OVAdClickGate::allowsClick(firstImpressionTime_, *configuration())) return;
  if (onClick_) onClick_(viewController, platform::Dictionary{{kManualImpressionKey, kFlagOn}});
}

void OVNativeAd::logExternalImpressionFromSource(const std::optional<std::string>& source) {
  platform::requireMainThread("OVNativeAd::logExternalImpressionFromSource");
  if (isEmpty(source)) {
    OVAdUtility::throwExceptionWithName(platform::kInvalidArgumentException, kOVNativeAdInvalidSourceReason);
  }
  firstImpressionTime_ = now();
  if (onImpression_) onImpression_(externalLoggingExtraData(source), {});
}

void OVNativeAd::handleExternalClickWithViewController(const std::shared_ptr<platform::ViewController>& viewController,
                                                       const std::optional<std::string>& source) {
  platform::requireMainThread("OVNativeAd::handleExternalClickWithViewController");
  if (isEmpty(source)) {
    OVAdUtility::throwExceptionWithName(platform::kInvalidArgumentException, kOVNativeAdInvalidSourceReason);
  }
  if (!viewController) {
    OVAdUtility::throwExceptionWithName(platform::kInvalidArgumentException, kOVNativeAdNoViewControllerReason);
  }
  if (onClick_) onClick_(viewController, externalLoggingExtraData(source));
}

}  // namespace plexora
