#include "plexora/OVNativeAdScrollView.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

#include "adapters/views/nativead/utility/OVAdTouchPassthroughView.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/dispatch/MainThreadCheck.h"
#include "platform/foundation/Exception.h"
#include "util/cache/OVAdCache.h"
#include "util/OVAdLogger.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr const char* kClassName = "OVNativeAdScrollView";
constexpr const char* kAddingNativeAdsMessage = "Adding %ld native ads";
constexpr const char* kSkippedNilAdMessage = "%s: no native ad to show at position %lu; skipped.";
constexpr const char* kSkippedInvalidAdMessage = "%s: native ad %s is no longer valid; skipped.";
constexpr const char* kSkippedNoControllerMessage =
    "%s: no view controller to register native ad %s with; skipped. Set the scroll view's view controller.";
constexpr const char* kSkippedNoViewMessage = "%s: the child view provider made no view for native ad %s; skipped.";

std::string format(const char* pattern, const std::string& first, const std::string& second = {}) {
  char text[512];
  std::snprintf(text, sizeof text, pattern, first.c_str(), second.c_str());
  return text;
}

std::string describe(const std::shared_ptr<OVNativeAd>& nativeAd) {
  return nativeAd ? "OVNativeAd(" + nativeAd->placementID() + ")" : "(null)";
}

std::uint64_t nextIdentity() {
  static std::atomic<std::uint64_t> next{1};
  return next.fetch_add(1);
}

}  // namespace

// ---- Making ----

std::shared_ptr<OVNativeAdScrollView> OVNativeAdScrollView::initWithNativeAdsManager(
    const std::shared_ptr<OVNativeAdsManager>& manager, OVNativeAdViewTemplateType type) {
  return initWithNativeAdsManager(manager, type, OVNativeAdViewAttributes::defaultAttributesForType(type));
}

std::shared_ptr<OVNativeAdScrollView> OVNativeAdScrollView::initWithNativeAdsManager(
    const std::shared_ptr<OVNativeAdsManager>& manager, OVNativeAdViewTemplateType type,
    const std::shared_ptr<OVNativeAdViewAttributes>& attributes) {
  return initWithNativeAdsManager(manager, type, attributes, kOVNativeAdScrollViewDefaultMaximum);
}

std::shared_ptr<OVNativeAdScrollView> OVNativeAdScrollView::initWithNativeAdsManager(
    const std::shared_ptr<OVNativeAdsManager>& manager, OVNativeAdViewTemplateType type,
    const std::shared_ptr<OVNativeAdViewAttributes>& attributes, std::uint64_t maximum) {
  ChildViewProvider templates = [type, attributes](const std::shared_ptr<OVNativeAd>& nativeAd,
                                                   std::uint64_t) -> std::shared_ptr<platform::View> {
    auto view = OVNativeAdView::nativeAdViewWithType(
        type, OVNativeAdViewAttributes::internalAttributesForAttributes(attributes));
    if (view) view->populate(nativeAd);
    return view;
  };
  return make(manager, std::move(templates), maximum);
}

std::shared_ptr<OVNativeAdScrollView> OVNativeAdScrollView::initWithNativeAdsManager(
    const std::shared_ptr<OVNativeAdsManager>& manager, ChildViewProvider childViewProvider) {
  return make(manager, std::move(childViewProvider), kOVNativeAdScrollViewDefaultMaximum);
}

std::shared_ptr<OVNativeAdScrollView> OVNativeAdScrollView::initWithNativeAdsManager(
    const std::shared_ptr<OVNativeAdsManager>& manager, ChildViewProvider childViewProvider, std::uint64_t maximum) {
  return make(manager, std::move(childViewProvider), maximum);
}

std::shared_ptr<OVNativeAdScrollView> OVNativeAdScrollView::make(const std::shared_ptr<OVNativeAdsManager>& manager,
                                                                 ChildViewProvider childViewProvider,
                                                                 std::uint64_t maximum) {
  platform::requireMainThread("OVNativeAdScrollView::initWithNativeAdsManager");
  if (!manager || !manager->isValid()) {
    const std::string name = manager ? "OVNativeAdsManager(" + manager->placementID() + ")" : "(null)";
    OVAdUtility::throwExceptionWithName(platform::kInvalidArgumentException,
                                        format(kOVNativeAdScrollViewInvalidManagerReason, name, "OVNativeAdsManager"));
  }
  // The ads are filled in from the main loop, where an exception would end
  // the host: a missing provider is the caller's to hear now.
  if (!childViewProvider) {
    OVAdUtility::throwExceptionWithName(kOVNativeAdInvalidOperationException, kOVNativeAdScrollViewNoProviderReason);
  }
  std::shared_ptr<OVNativeAdScrollView> view(new OVNativeAdScrollView(manager, std::move(childViewProvider)));
  view->commonInitialization();
  view->maximumNativeAdCount_ = maximum;
  view->loadAds();
  return view;
}

OVNativeAdScrollView::OVNativeAdScrollView(std::shared_ptr<OVNativeAdsManager> manager,
                                           ChildViewProvider childViewProvider)
    : platform::View(platform::Rect::zero()),
      manager_(std::move(manager)),
      childViewProvider_(std::move(childViewProvider)),
      identity_(nextIdentity()) {}

OVNativeAdScrollView::~OVNativeAdScrollView() {
  const auto views = nativeAdViews();
  unregisterAllNativeAds(views);
  for (const auto& view : views) view->removeFromSuperview();
  // The cached list holds the ads: it goes with the strip.
  if (cached_) OVAdCache::sharedCache()->setNativeAds({}, cacheIdentity(), manager_.get());
}

void OVNativeAdScrollView::commonInitialization() {
  setUserInteractionEnabled(true);
  auto container = std::make_shared<OVAdTouchPassthroughView>(bounds());
  addSubview(container);
  hitTestView_ = container;
  auto pager = std::make_shared<platform::ScrollView>();
  pager->setClipsToBounds(false);
  pager->setPagingEnabled(true);
  container->addSubview(pager);
  container->setPassthroughView(pager);
  scrollView_ = pager;
}

// ---- Loading ----

void OVNativeAdScrollView::loadAds() {
  platform::requireMainThread("OVNativeAdScrollView::loadAds");
  const std::weak_ptr<OVNativeAdScrollView> weakSelf = std::static_pointer_cast<OVNativeAdScrollView>(sharedView());
  OVAdUtility::animateWithFadeOut(nativeAdViews(), [weakSelf](bool) {
    const auto self = weakSelf.lock();
    if (!self) return;
    self->loadingAds_ = true;
    self->removeAllNativeAds();
    self->addAllNativeAds();
    self->loadingAds_ = false;
  });
}

void OVNativeAdScrollView::addAllNativeAds() {
  const std::uint64_t count = std::min(manager_->uniqueNativeAdCount(), maximumNativeAdCount_);
  OV_LOG(kOVAdLogLevelVerbose, kAddingNativeAdsMessage, static_cast<long>(count));
  const auto cache = OVAdCache::sharedCache();
  if (adPersistenceEnabled_) {
    const OVAdCache::NativeAds cachedAds = cache->nativeAdsForScrollView(cacheIdentity(), manager_.get());
    if (!cachedAds.empty() && cachedAds.front()) {
      std::uint64_t position = 0;
      for (const auto& nativeAd : cachedAds) {
        if (fillWithNativeAd(nativeAd, position)) ++position;
      }
      return;
    }
  }
  OVAdCache::NativeAds shown;
  for (std::uint64_t position = 0; position < count; ++position) {
    const auto nativeAd = manager_->nextNativeAd();
    if (fillWithNativeAd(nativeAd, shown.size())) shown.push_back(nativeAd);
  }
  if (adPersistenceEnabled_) {
    cache->setNativeAds(std::move(shown), cacheIdentity(), manager_.get());
    cached_ = true;
  }
}

bool OVNativeAdScrollView::fillWithNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd, std::uint64_t position) {
  if (!nativeAd) {
    OV_LOG(kOVAdLogLevelWarn, kSkippedNilAdMessage, description().c_str(), static_cast<unsigned long>(position));
    return false;
  }
  if (!nativeAd->isAdValid()) {
    OV_LOG(kOVAdLogLevelWarn, kSkippedInvalidAdMessage, description().c_str(), describe(nativeAd).c_str());
    return false;
  }
  if (!nativeAd->isRegistered() && !viewController()) {
    OV_LOG(kOVAdLogLevelWarn, kSkippedNoControllerMessage, description().c_str(), describe(nativeAd).c_str());
    return false;
  }
  if (addNativeAd(nativeAd, position) == kOVNativeAdScrollViewNotFound) {
    OV_LOG(kOVAdLogLevelWarn, kSkippedNoViewMessage, description().c_str(), describe(nativeAd).c_str());
    return false;
  }
  registerNativeAd(nativeAd);
  return true;
}

std::uint64_t OVNativeAdScrollView::addNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd, std::uint64_t position) {
  if (!nativeAd) {
    OVAdUtility::throwExceptionWithName(platform::kInternalInconsistencyException,
                                        format(kOVNativeAdScrollViewNilAdReason, description()));
  }
  if (!nativeAd->isAdValid()) {
    const std::string reason = format(kOVNativeAdScrollViewInvalidAdReason, describe(nativeAd), description());
    OVAdUtility::throwExceptionWithName(platform::kInternalInconsistencyException, reason);
  }
  nativeAd->setIsHScroll(true);
  nativeAd->setDelegate(std::static_pointer_cast<OVNativeAdScrollView>(sharedView()));
  const auto view = childViewForNativeAd(nativeAd, position);
  if (!view) return kOVNativeAdScrollViewNotFound;
  mapNativeAd(nativeAd, view);
  nativeAdViews_.push_back(view);
  setupContentSize();
  const std::uint64_t index = nativeAdCount() - 1;
  loadPage(index);
  populate(nativeAd, index);
  if (animationEnabled_) OVAdUtility::animateWithFadeIn({view}, nullptr);
  return index;
}

std::shared_ptr<platform::View> OVNativeAdScrollView::childViewForNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd,
                                                                           std::uint64_t position) {
  if (!childViewProvider_) {
    OVAdUtility::throwExceptionWithName(kOVNativeAdInvalidOperationException, kOVNativeAdScrollViewNoProviderReason);
  }
  return childViewProvider_(nativeAd, position);
}

void OVNativeAdScrollView::populate(const std::shared_ptr<OVNativeAd>& nativeAd, std::uint64_t index) {
  const auto views = nativeAdViews();
  if (index >= views.size()) return;
  if (const auto adView = std::dynamic_pointer_cast<OVNativeAdView>(views[index])) adView->populate(nativeAd);
}

void OVNativeAdScrollView::registerNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd) {
  if (!nativeAd || nativeAd->isRegistered()) return;
  const auto view = viewForNativeAd(nativeAd);
  if (!view) return;
  std::vector<std::shared_ptr<platform::View>> clickable;
  if (const auto adView = std::dynamic_pointer_cast<OVNativeAdView>(view)) clickable = adView->allInteractableTargets();
  if (clickable.empty()) {
    for (const auto& target : OVAdUtility::allInteractableTargets(view)) {
      if (auto strong = target.lock()) clickable.push_back(std::move(strong));
    }
  }
  const auto controller = viewController();
  if (!controller) {
    OVAdUtility::throwExceptionWithName(platform::kInternalInconsistencyException,
                                        kOVNativeAdScrollViewNoViewControllerReason);
  }
  nativeAd->registerViewForInteraction(view, controller, clickable);
}

// ---- Geometry ----

void OVNativeAdScrollView::setFrame(platform::Rect frame) {
  platform::View::setFrame(frame);
  if (const auto container = hitTestView_.lock()) container->setFrame(bounds());
  setupScrollViewSize();
  setupContentSize();
  loadPages();
}

void OVNativeAdScrollView::setBounds(platform::Rect bounds) {
  platform::View::setBounds(bounds);
  if (const auto container = hitTestView_.lock()) container->setFrame(this->bounds());
  setupScrollViewSize();
  setupContentSize();
  loadPages();
}

void OVNativeAdScrollView::didMoveToSuperview() {
  platform::View::didMoveToSuperview();
  setupContentSize();
  loadPages();
}

void OVNativeAdScrollView::setupScrollViewSize() {
  const platform::Rect own = bounds();
  if (const auto pager = scrollView()) {
    pager->setFrame({own.origin.x + 2.0 * xInset_, own.origin.y, own.size.width - 4.0 * xInset_, own.size.height});
  }
}

void OVNativeAdScrollView::setupContentSize() {
  if (const auto pager = scrollView()) {
    const platform::Rect frame = pager->frame();
    pager->setContentSize({static_cast<double>(nativeAdCount()) * frame.size.width, frame.size.height});
  }
}

void OVNativeAdScrollView::loadPages() {
  const std::uint64_t count = nativeAdCount();
  for (std::uint64_t index = 0; index < count; ++index) loadPage(index);
}

void OVNativeAdScrollView::loadPage(std::uint64_t index) {
  const auto views = nativeAdViews();
  const auto pager = scrollView();
  if (index >= views.size() || !pager) return;
  const platform::Size page = pager->bounds().size;
  const auto& view = views[index];
  view->setFrame({static_cast<double>(index) * page.width + xInset_ / 2.0, 0.0, page.width - xInset_, page.height});
  view->setContentMode(platform::ContentMode::ScaleAspectFit);
  if (view->superview().get() != pager.get()) pager->addSubview(view);
}

// ---- The ads ----

std::vector<std::shared_ptr<platform::View>> OVNativeAdScrollView::nativeAdViews() const {
  std::vector<std::shared_ptr<platform::View>> views;
  std::vector<std::weak_ptr<platform::View>> compacted;
  for (const auto& entry : nativeAdViews_) {
    if (auto view = entry.lock()) {
      compacted.push_back(view);
      views.push_back(std::move(view));
    }
  }
  nativeAdViews_ = std::move(compacted);
  return views;
}

std::uint64_t OVNativeAdScrollView::indexForNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd) const {
  const auto views = nativeAdViews();
  for (std::uint64_t index = 0; index < views.size(); ++index) {
    if (nativeAdForView(views[index].get()) == nativeAd) return index;
  }
  return kOVNativeAdScrollViewNotFound;
}

std::shared_ptr<platform::View> OVNativeAdScrollView::viewForNativeAd(
    const std::shared_ptr<OVNativeAd>& nativeAd) const {
  for (const auto& entry : nativeAdMapping_) {
    if (entry.nativeAd != nativeAd) continue;
    if (auto view = entry.view.lock()) return view;
  }
  return nullptr;
}

std::shared_ptr<OVNativeAd> OVNativeAdScrollView::nativeAdForView(const platform::View* view) const {
  for (const auto& entry : nativeAdMapping_) {
    if (const auto mapped = entry.view.lock(); mapped && mapped.get() == view) return entry.nativeAd;
  }
  return nullptr;
}

std::vector<std::shared_ptr<OVNativeAd>> OVNativeAdScrollView::nativeAds() const {
  std::vector<std::shared_ptr<OVNativeAd>> ads;
  for (const auto& view : nativeAdViews()) {
    if (auto nativeAd = nativeAdForView(view.get())) ads.push_back(std::move(nativeAd));
  }
  return ads;
}

void OVNativeAdScrollView::mapNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd,
                                       const std::shared_ptr<platform::View>& view) {
  std::erase_if(nativeAdMapping_, [](const Mapping& entry) { return entry.view.expired(); });
  nativeAdMapping_.push_back({view, nativeAd});
}

void OVNativeAdScrollView::unregisterAllNativeAds() { unregisterAllNativeAds(nativeAdViews()); }

void OVNativeAdScrollView::unregisterAllNativeAds(const std::vector<std::shared_ptr<platform::View>>& views) {
  for (const auto& view : views) {
    const auto nativeAd = nativeAdForView(view.get());
    // An ad the host had registered with a view of its own keeps that
    // registration: only the strip's own are undone.
    if (nativeAd && nativeAd->nativeAdView() == view) nativeAd->unregisterView();
  }
}

void OVNativeAdScrollView::removeAllNativeAds() { removeAllNativeAds(nativeAdViews()); }

void OVNativeAdScrollView::removeAllNativeAds(const std::vector<std::shared_ptr<platform::View>>& views) {
  unregisterAllNativeAds(views);
  for (const auto& view : views) view->removeFromSuperview();
  nativeAdMapping_.clear();
  nativeAdViews_.clear();
  setupContentSize();
}

// ---- Delegate ----

void OVNativeAdScrollView::nativeAdDidClick(const std::shared_ptr<OVNativeAd>& nativeAd) {
  if (const auto listener = delegate()) listener->nativeAdDidClick(nativeAd);
}

void OVNativeAdScrollView::nativeAdDidFinishHandlingClick(const std::shared_ptr<OVNativeAd>& nativeAd) {
  if (const auto listener = delegate()) listener->nativeAdDidFinishHandlingClick(nativeAd);
}

void OVNativeAdScrollView::nativeAdWillLogImpression(const std::shared_ptr<OVNativeAd>& nativeAd) {
  if (const auto listener = delegate()) listener->nativeAdWillLogImpression(nativeAd);
}

// ---- Properties ----

std::shared_ptr<platform::ViewController> OVNativeAdScrollView::viewController() const {
  const auto proxy = OVAdViewControllerProxy::proxyWithViewController(viewController_.lock());
  return proxy ? proxy->currentViewController() : nullptr;
}

std::shared_ptr<platform::View> OVNativeAdScrollView::hitTestView() const { return hitTestView_.lock(); }

const void* OVNativeAdScrollView::cacheIdentity() const {
  // A number that no other strip of this process takes, in the cache's
  // pointer-shaped slot.
  return reinterpret_cast<const void*>(static_cast<std::uintptr_t>(identity_));
}

std::string OVNativeAdScrollView::description() const {
  return std::string(kClassName) + "(" + std::to_string(identity_) + ")";
}

}  // namespace plexora
