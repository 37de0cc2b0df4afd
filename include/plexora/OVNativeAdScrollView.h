// A horizontally paged strip of native ads for the host's own layout. It
// takes up to maximumNativeAdCount ads from a loaded manager, shows each in
// a library template or in a view of the host's provider, registers each ad
// with its view for impressions and clicks, and passes the ads' click and
// impression messages on to its own delegate.
//
//   auto strip = OVNativeAdScrollView::initWithNativeAdsManager(manager, kOVNativeAdViewTypeGenericHeight120);
//   strip->setDelegate(myDelegate);
//   strip->setFrame({0, 0, 320, 120});
//   container->addSubview(strip);
//
// Each page is the strip's width less 4 * xInset; neighbouring ads lie
// xInset apart. With ad persistence on, the ads a strip shows are kept for
// that strip and its manager in the library's cache, and loadAds shows them
// again instead of taking new ones, until the strip goes.
//
// The ads are filled in once the fade-out of the previous ones has ended (on
// a later turn of the main loop); an ad that has turned invalid or cannot be
// registered for want of a view controller is left out of that fill with a
// log line.
//
// Thread safety: main thread only.
// Ownership: the host owns the strip, which holds its manager and its
// ads; the ads' views belong to the strip's view tree. The delegate and the
// view controller are held weakly.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Export.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "plexora/OVNativeAd.h"
#include "plexora/OVNativeAdView.h"
#include "plexora/OVNativeAdViewAttributes.h"
#include "plexora/OVNativeAdsManager.h"

namespace plexora {

class OVAdTouchPassthroughView;

inline constexpr const char* kOVNativeAdScrollViewInvalidManagerReason =
    "%s is not valid. %s must be loaded before usage.";
inline constexpr const char* kOVNativeAdScrollViewNilAdReason =
    "A nil OVNativeAd was passed to OVNativeAdHScrollView %s.";
inline constexpr const char* kOVNativeAdScrollViewInvalidAdReason =
    "An invalid OVNativeAd %s was passed to OVNativeAdHScrollView %s";
inline constexpr const char* kOVNativeAdScrollViewNoProviderReason =
    "No child view provider was created for this hscroll view.";
inline constexpr const char* kOVNativeAdScrollViewNoViewControllerReason =
    "No view controller could be located. This is likely caused by an issue with detached view controllers in your "
    "app. Please check your view controller hierarchy and try again.";
inline constexpr std::uint64_t kOVNativeAdScrollViewDefaultMaximum = 10;
inline constexpr std::uint64_t kOVNativeAdScrollViewNotFound = static_cast<std::uint64_t>(-1);

class PLEXORA_EXPORT OVNativeAdScrollView final : public platform::View, public OVNativeAdDelegate {
 public:
  // Makes the view of one ad at its position.
  using ChildViewProvider = std::function<std::shared_ptr<platform::View>(const std::shared_ptr<OVNativeAd>& nativeAd,
                                                                         std::uint64_t position)>;

  // Every initialiser throws platform::Exception (kInvalidArgumentException,
  // kOVNativeAdScrollViewInvalidManagerReason) unless the manager has
  // delivered a set of ads. The type's default attributes, and at most 10
  // ads.
  static std::shared_ptr<OVNativeAdScrollView> initWithNativeAdsManager(
      const std::shared_ptr<OVNativeAdsManager>& manager, OVNativeAdViewTemplateType type);
  static std::shared_ptr<OVNativeAdScrollView> initWithNativeAdsManager(
      const std::shared_ptr<OVNativeAdsManager>& manager, OVNativeAdViewTemplateType type,
      const std::shared_ptr<OVNativeAdViewAttributes>& attributes);
  // Each ad in a template of the type and attributes; at most `maximum` ads.
  static std::shared_ptr<OVNativeAdScrollView> initWithNativeAdsManager(
      const std::shared_ptr<OVNativeAdsManager>& manager, OVNativeAdViewTemplateType type,
      const std::shared_ptr<OVNativeAdViewAttributes>& attributes, std::uint64_t maximum);
  // Each ad in the provider's view; at most 10 ads.
  static std::shared_ptr<OVNativeAdScrollView> initWithNativeAdsManager(
      const std::shared_ptr<OVNativeAdsManager>& manager, ChildViewProvider childViewProvider);
  static std::shared_ptr<OVNativeAdScrollView> initWithNativeAdsManager(
      const std::shared_ptr<OVNativeAdsManager>& manager, ChildViewProvider childViewProvider, std::uint64_t maximum);
  ~OVNativeAdScrollView() override;
  OVNativeAdScrollView(const OVNativeAdScrollView&) = delete;
  OVNativeAdScrollView& operator=(const OVNativeAdScrollView&) = delete;

  // Fades the ads out, unregisters and removes them, and fills the strip
  // anew: from the cache when persistence is on and it holds ads for this
  // strip, else from the manager.
  void loadAds();

  // Every rectangle is taken; the pages follow it.
  void setFrame(platform::Rect frame) override;
  void setBounds(platform::Rect bounds) override;
  void didMoveToSuperview() override;

  // ---- The ads ----

  // Adds the ad's view and answers its index. Throws platform::Exception
  // (kInternalInconsistencyException) for no ad
  // (kOVNativeAdScrollViewNilAdReason) or an ad that is not valid
  // (kOVNativeAdScrollViewInvalidAdReason); throws (kOVNativeAdInvalidOperationException,
  // kOVNativeAdScrollViewNoProviderReason) without a provider.
  std::uint64_t addNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd, std::uint64_t position);
  // Registers the ad with its view unless it is registered already. Throws
  // platform::Exception (kInternalInconsistencyException,
  // kOVNativeAdScrollViewNoViewControllerReason) when no view controller can
  // be found.
  void registerNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd);
  // The index of the view of this very ad; kOVNativeAdScrollViewNotFound
  // for none.
  std::uint64_t indexForNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd) const;
  std::uint64_t nativeAdCount() const { return nativeAdViews().size(); }
  std::shared_ptr<platform::View> viewForNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd) const;
  std::shared_ptr<OVNativeAd> nativeAdForView(const platform::View* view) const;
  // The ads shown, in page order.
  std::vector<std::shared_ptr<OVNativeAd>> nativeAds() const;
  // The ads' views still alive, in page order.
  std::vector<std::shared_ptr<platform::View>> nativeAdViews() const;
  void unregisterAllNativeAds();
  void removeAllNativeAds();

  // ---- OVNativeAdDelegate: passed on to the delegate ----

  void nativeAdDidClick(const std::shared_ptr<OVNativeAd>& nativeAd) override;
  void nativeAdDidFinishHandlingClick(const std::shared_ptr<OVNativeAd>& nativeAd) override;
  void nativeAdWillLogImpression(const std::shared_ptr<OVNativeAd>& nativeAd) override;

  // ---- Properties (setting one changes nothing until the next load or
  // layout) ----

  const std::shared_ptr<OVNativeAdsManager>& manager() const { return manager_; }
  std::uint64_t maximumNativeAdCount() const { return maximumNativeAdCount_; }
  void setMaximumNativeAdCount(std::uint64_t maximum) { maximumNativeAdCount_ = maximum; }
  bool animationEnabled() const { return animationEnabled_; }
  void setAnimationEnabled(bool enabled) { animationEnabled_ = enabled; }
  double xInset() const { return xInset_; }
  void setXInset(double inset) { xInset_ = inset; }
  bool adPersistenceEnabled() const { return adPersistenceEnabled_; }
  void setAdPersistenceEnabled(bool enabled) { adPersistenceEnabled_ = enabled; }
  std::shared_ptr<OVNativeAdDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<OVNativeAdDelegate> delegate) { delegate_ = std::move(delegate); }
  // The controller the ads are registered with: the one set, checked and
  // replaced by the application's top controller when it is gone or covered.
  std::shared_ptr<platform::ViewController> viewController() const;
  void setViewController(std::weak_ptr<platform::ViewController> viewController) {
    viewController_ = std::move(viewController);
  }
  bool isLoadingAds() const { return loadingAds_; }
  std::shared_ptr<platform::ScrollView> scrollView() const { return scrollView_.lock(); }
  std::shared_ptr<platform::View> hitTestView() const;

 private:
  struct Mapping {
    std::weak_ptr<platform::View> view;
    std::shared_ptr<OVNativeAd> nativeAd;
  };

  OVNativeAdScrollView(std::shared_ptr<OVNativeAdsManager> manager, ChildViewProvider childViewProvider);
  static std::shared_ptr<OVNativeAdScrollView> make(const std::shared_ptr<OVNativeAdsManager>& manager,
                                                    ChildViewProvider childViewProvider, std::uint64_t maximum);

  void commonInitialization();
  void setupScrollViewSize();
  void setupContentSize();
  void loadPages();
  void loadPage(std::uint64_t index);
  std::shared_ptr<platform::View> childViewForNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd,
                                                       std::uint64_t position);
  void populate(const std::shared_ptr<OVNativeAd>& nativeAd, std::uint64_t index);
  void addAllNativeAds();
  // Adds and registers an ad during a fill; false (with a log line) for an
  // ad that could not be shown.
  bool fillWithNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd, std::uint64_t position);
  void removeAllNativeAds(const std::vector<std::shared_ptr<platform::View>>& views);
  void unregisterAllNativeAds(const std::vector<std::shared_ptr<platform::View>>& views);
  void mapNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd, const std::shared_ptr<platform::View>& view);
  // This strip's key in the cache: never the key of another strip, even
  // one made where this one lay in memory.
  const void* cacheIdentity() const;
  std::string description() const;

  std::shared_ptr<OVNativeAdsManager> manager_;
  ChildViewProvider childViewProvider_;
  mutable std::vector<std::weak_ptr<platform::View>> nativeAdViews_;
  std::vector<Mapping> nativeAdMapping_;
  std::uint64_t maximumNativeAdCount_ = kOVNativeAdScrollViewDefaultMaximum;
  bool animationEnabled_ = true;
  double xInset_ = 8.0;
  bool adPersistenceEnabled_ = false;
  bool loadingAds_ = false;
  // Whether this strip has put its ads in the cache.
  bool cached_ = false;
  std::uint64_t identity_;
  std::weak_ptr<OVNativeAdDelegate> delegate_;
  std::weak_ptr<platform::ViewController> viewController_;
  std::weak_ptr<platform::ScrollView> scrollView_;
  std::weak_ptr<OVAdTouchPassthroughView> hitTestView_;
};

}  // namespace plexora
