// The public native ad strip with managers loaded from the loopback ad
// server, on the manual clock: how many ads it takes, where their pages lie,
// registration with the strip's views (and respect for a host's own), the
// persisted ads of a strip and their end with it, skipped ads instead of
// exceptions in the main loop, and the exceptions of misuse.
#include "plexora/OVNativeAdScrollView.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "MediaViewTestSupport.h"
#include "NativeAdTestSupport.h"
#include "platform/foundation/Exception.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "util/OVAdConfigManager.h"

namespace plexora::testing {
namespace {

using platform::Rect;

class OVNativeAdScrollViewTest : public NativeAdTest {
 protected:
  OVNativeAdScrollViewTest() {
    platform::Application::shared()->reset();
    window_->setRootViewController(root_);
    window_->makeKeyAndVisible();
  }
  ~OVNativeAdScrollViewTest() override {
    OVAdConfigManager::sharedManager()->loadConfigurationFromDictionary(platform::Value(platform::Dictionary{}));
    platform::Application::shared()->reset();
  }

  // A manager that has delivered `count` ads of the placement.
  std::shared_ptr<OVNativeAdsManager> managerWith(std::size_t count) {
    const std::string placement = "strip-" + std::to_string(++managers_) + "-" + std::to_string(count);
    std::vector<std::string> ads;
    for (std::size_t index = 0; index < count; ++index) {
      const std::string name = "s" + std::to_string(index);
      serveImagesOf(name);
      ads.push_back(nativeAdData(name));
    }
    answer(placement, ads);
    auto manager = OVNativeAdsManager::initWithPlacementID(placement, count);
    const auto delegate = std::make_shared<RecordingNativeAdsManagerDelegate>();
    manager->setDelegate(delegate);
    manager->loadAds();
    EXPECT_TRUE(DisplayAdTestWorld::waitFor([&] { return !delegate->messages.empty(); }));
    DisplayAdTestWorld::settle();
    EXPECT_EQ(manager->uniqueNativeAdCount(), count);
    return manager;
  }

  // Lets the fade before a fill run out, and the fill happen.
  void fill() {
    world_.clock().advance(0.6);
    DisplayAdTestWorld::settle();
  }

  static std::shared_ptr<platform::View> plainView(const std::shared_ptr<OVNativeAd>&, std::uint64_t) {
    return std::make_shared<platform::View>();
  }

  int managers_ = 0;
  std::shared_ptr<platform::Window> window_ = std::make_shared<platform::Window>();
  std::shared_ptr<platform::ViewController> root_ = std::make_shared<platform::ViewController>();
};

TEST_F(OVNativeAdScrollViewTest, TakesUpToTheMaximumAndRegistersEachAdWithItsTemplate) {
  struct Case {
    std::size_t unique;
    std::uint64_t maximum;
    std::size_t shown;
  };
  for (const Case& c : {Case{15, 10, 10}, Case{3, 10, 3}, Case{3, 2, 2}, Case{3, 0, 0}}) {
    const auto manager = managerWith(c.unique);
    const auto strip = OVNativeAdScrollView::initWithNativeAdsManager(
        manager, kOVNativeAdViewTypeGenericHeight120, OVNativeAdViewAttributes::defaultAttributesForType(2), c.maximum);
    EXPECT_EQ(strip->nativeAdCount(), 0u) << "filled after the fade";
    fill();
    ASSERT_EQ(strip->nativeAdCount(), c.shown) << c.unique << " " << c.maximum;
    for (const auto& ad : strip->nativeAds()) {
      const auto view = strip->viewForNativeAd(ad);
      EXPECT_TRUE(std::dynamic_pointer_cast<OVNativeAdView>(view));
      EXPECT_EQ(ad->nativeAdView(), view);
      EXPECT_TRUE(ad->isHScroll());
      EXPECT_EQ(ad->delegate(), strip);
      EXPECT_NE(strip->indexForNativeAd(ad), kOVNativeAdScrollViewNotFound);
    }
  }
}

TEST_F(OVNativeAdScrollViewTest, PagesAreTheWidthLessFourInsetsWithAdsAnInsetApart) {
  const auto strip = OVNativeAdScrollView::initWithNativeAdsManager(managerWith(3), &plainView);
  fill();
  strip->setFrame(Rect(0, 0, 320, 250));
  const auto pager = strip->scrollView();
  EXPECT_EQ(pager->frame(), Rect(16, 0, 288, 250));
  EXPECT_EQ(pager->contentSize(), (platform::Size{3 * 288, 250}));
  const auto views = strip->nativeAdViews();
  ASSERT_EQ(views.size(), 3u);
  EXPECT_EQ(views[0]->frame(), Rect(4, 0, 280, 250));
  EXPECT_EQ(views[1]->frame(), Rect(292, 0, 280, 250));
  EXPECT_EQ(views[1]->superview(), pager);
  EXPECT_EQ(strip->hitTestView()->frame(), Rect(0, 0, 320, 250));
  // Beside the pager a touch goes to it.
  EXPECT_EQ(strip->hitTestView()->hitTest({5, 100}, nullptr), pager);
}

TEST_F(OVNativeAdScrollViewTest, PersistedAdsComeBackOnReloadAndLeaveWithTheStrip) {
  const auto manager = managerWith(12);
  auto strip = OVNativeAdScrollView::initWithNativeAdsManager(manager, &plainView, 12);
  strip->setAdPersistenceEnabled(true);
  fill();
  const auto first = strip->nativeAds();
  ASSERT_EQ(first.size(), 12u);

  // The cached ads, all of them, though the maximum is lower now.
  strip->setMaximumNativeAdCount(10);
  strip->loadAds();
  fill();
  EXPECT_EQ(strip->nativeAds(), first);
  for (const auto& ad : first) EXPECT_EQ(ad->nativeAdView(), strip->viewForNativeAd(ad));

  // A strip made after this one is gone starts from the manager, and the
  // cache no longer holds the ads it showed.
  std::vector<std::weak_ptr<OVNativeAd>> shown(first.begin(), first.end());
  strip.reset();
  DisplayAdTestWorld::settle();
  const auto next = OVNativeAdScrollView::initWithNativeAdsManager(manager, &plainView, 12);
  next->setAdPersistenceEnabled(true);
  fill();
  ASSERT_EQ(next->nativeAdCount(), 12u);
  for (const auto& ad : next->nativeAds()) {
    for (const auto& old : shown) EXPECT_NE(ad, old.lock());
  }
}

TEST_F(OVNativeAdScrollViewTest, AnAdTheHostRegisteredElsewhereKeepsThatRegistration) {
  auto strip = OVNativeAdScrollView::initWithNativeAdsManager(managerWith(2), &plainView);
  strip->setAdPersistenceEnabled(true);
  fill();
  const auto ad = strip->nativeAds()[0];
  // Out of any window, so no impression of it outlives the test.
  const auto hostView = std::make_shared<platform::View>(Rect(0, 0, 100, 100));
  ad->registerViewForInteraction(hostView, root_);

  strip->loadAds();
  fill();
  ASSERT_EQ(strip->nativeAdCount(), 2u) << "shown from the cache";
  EXPECT_NE(strip->viewForNativeAd(ad), hostView);
  EXPECT_EQ(ad->nativeAdView(), hostView) << "not taken over by the strip";
  strip.reset();
  EXPECT_EQ(ad->nativeAdView(), hostView) << "nor undone when the strip goes";
  ad->unregisterView();
}

TEST_F(OVNativeAdScrollViewTest, WithoutAViewControllerAdsAreSkippedWithALogLine) {
  const auto manager = managerWith(2);
  window_->setRootViewController(nullptr);
  platform::Application::shared()->reset();
  const MediaViewLogLines lines;
  const auto strip = OVNativeAdScrollView::initWithNativeAdsManager(manager, &plainView);
  EXPECT_NO_THROW(fill());
  EXPECT_EQ(strip->nativeAdCount(), 0u);
  EXPECT_EQ(lines.count("no view controller to register native ad"), 2u);

  // Once the host names a controller, a reload shows them.
  strip->setViewController(root_);
  strip->loadAds();
  fill();
  EXPECT_EQ(strip->nativeAdCount(), 2u);
}

TEST_F(OVNativeAdScrollViewTest, MisuseRaisesWithTheFixedReasons) {
  const auto expectThrow = [](const std::function<void()>& call, const std::string& name, const std::string& reason) {
    try {
      call();
      ADD_FAILURE() << "no exception for " << reason;
    } catch (const platform::Exception& exception) {
      EXPECT_EQ(exception.name(), name);
      EXPECT_EQ(exception.reason(), reason);
    }
  };
  const auto unloaded = OVNativeAdsManager::initWithPlacementID("strip-unloaded", 2);
  expectThrow([&] { OVNativeAdScrollView::initWithNativeAdsManager(unloaded, &plainView); },
              platform::kInvalidArgumentException,
              "OVNativeAdsManager(strip-unloaded) is not valid. OVNativeAdsManager must be loaded before usage.");
  const auto manager = managerWith(1);
  const OVNativeAdScrollView::ChildViewProvider none;
  expectThrow([&] { OVNativeAdScrollView::initWithNativeAdsManager(manager, none); },
              kOVNativeAdInvalidOperationException, "No child view provider was created for this hscroll view.");

  const auto strip = OVNativeAdScrollView::initWithNativeAdsManager(manager, &plainView);
  fill();
  const std::string name = "OVNativeAdScrollView(";
  try {
    strip->addNativeAd(nullptr, 0);
    ADD_FAILURE() << "no exception for no ad";
  } catch (const platform::Exception& exception) {
    EXPECT_EQ(exception.name(), platform::kInternalInconsistencyException);
    EXPECT_EQ(exception.reason().rfind("A nil OVNativeAd was passed to OVNativeAdHScrollView " + name, 0), 0u)
        << exception.reason();
  }
  try {
    strip->addNativeAd(OVNativeAd::initWithPlacementID("never-loaded"), 0);
    ADD_FAILURE() << "no exception for an invalid ad";
  } catch (const platform::Exception& exception) {
    EXPECT_EQ(exception.name(), platform::kInternalInconsistencyException);
    EXPECT_EQ(exception.reason().rfind("An invalid OVNativeAd OVNativeAd(never-loaded) was passed to "
                                       "OVNativeAdHScrollView " + name,
                                       0),
              0u)
        << exception.reason();
  }
  EXPECT_EQ(strip->nativeAdCount(), 1u);
}

TEST_F(OVNativeAdScrollViewTest, TheAdsClicksAndImpressionsReachTheStripsDelegate) {
  const auto strip = OVNativeAdScrollView::initWithNativeAdsManager(managerWith(1), &plainView);
  fill();
  strip->setDelegate(delegate_);
  const auto ad = strip->nativeAds().at(0);
  ASSERT_EQ(ad->delegate(), strip);
  strip->nativeAdDidClick(ad);
  strip->nativeAdDidFinishHandlingClick(ad);
  strip->nativeAdWillLogImpression(ad);
  strip->nativeAdDidLoad(ad);
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"click", "finished", "impression"}));
}

}  // namespace
}  // namespace plexora::testing
