// A host of the installed library, built through find_package: it uses the
// classes of every installed header as a host would, so a class the shared
// library forgets to export fails this program's link. It sets and reads
// process-wide settings and the device's advertising facts, sizes an ad,
// draws a template through a host display and, given the base URL of a
// running ad server (plexora-adserver), in a 375x812 window shown through
// a host display: loads a banner, a native ad in each template (its images
// awaited, as the server serves them), a set of native ads for table and
// collection views and a scroll view, and the images of an ad; shows the
// interstitial and closes it by a tap on its close link inside the window;
// plays the rewarded video to its end, closes its end card by its link and
// hears the reward confirmed.
// Exits 0 when every answer is the expected one.
// With --off-main-thread it makes a public call from another thread, which
// must end the process (the check holds in the release build too).
#include <plexora/OVAdChoicesView.h>
#include <plexora/OVAdErrorDomain.h>
#include <plexora/OVAdImage.h>
#include <plexora/OVAdSettings.h>
#include <plexora/OVAdSize.h>
#include <plexora/OVAdStarRating.h>
#include <plexora/OVAdStarRatingView.h>
#include <plexora/OVAdView.h>
#include <plexora/OVInstreamAdView.h>
#include <plexora/OVInterstitialAd.h>
#include <plexora/OVHostDisplay.h>
#include <plexora/OVMediaView.h>
#include <plexora/OVMediaViewVideoRenderer.h>
#include <plexora/OVNativeAd.h>
#include <plexora/OVNativeAdCollectionViewAdProvider.h>
#include <plexora/OVNativeAdCollectionViewCell.h>
#include <plexora/OVNativeAdCollectionViewCellProvider.h>
#include <plexora/OVNativeAdListAdProvider.h>
#include <plexora/OVNativeAdScrollView.h>
#include <plexora/OVNativeAdTableViewAdProvider.h>
#include <plexora/OVNativeAdTableViewCell.h>
#include <plexora/OVNativeAdTableViewCellProvider.h>
#include <plexora/OVNativeAdView.h>
#include <plexora/OVNativeAdViewAttributes.h>
#include <plexora/OVNativeAdViewImmutable.h>
#include <plexora/OVNativeAdsManager.h>
#include <plexora/OVRewardedVideoAd.h>
#include <plexora/Version.h>
#include <plexora/platform/device/DeviceProvider.h>
#include <plexora/platform/dispatch/MainLoop.h>
#include <plexora/platform/ui/CollectionView.h>
#include <plexora/platform/ui/Image.h>
#include <plexora/platform/ui/TableView.h>
#include <plexora/platform/ui/ViewController.h>
#include <plexora/platform/ui/Window.h>
#include <plexora/platform/web/StoreProductSheet.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using namespace plexora;

// Loads take the ad server's round trip and, for the banner, the web
// engine's start; a loaded machine needs room.
constexpr double kLoadSeconds = 30.0;
constexpr const char* kNativePlacement = "native";
// The rewarded video lasts 15 seconds, after its download.
constexpr double kVideoSeconds = 60.0;
// The close link of the sandbox's full-screen pages: top right, 8 points in
// from the corner, with 12 and 16 points of padding around "Close".
constexpr platform::Point kCloseLink{375 - 8 - 36, 8 + 22};
// How long a page gets to draw before its close link is tapped, and how
// often the tap is tried before the close counts as missing.
constexpr double kPageDrawSeconds = 3.0;
constexpr int kCloseTaps = 5;
constexpr std::string_view kOffMainThreadOption = "--off-main-thread";

int failures = 0;

void expect(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "consumer: %s\n", what);
    ++failures;
  }
}

bool runUntil(const std::function<bool()>& done, double seconds = kLoadSeconds) {
  return platform::MainLoop::instance().runUntil(done, seconds);
}

// A tap through the host's display, as a host passes its pointer on.
void tap(OVHostDisplay& display, platform::Point point) {
  display.sendPointer(OVHostPointerPhase::Press, point);
  display.sendPointer(OVHostPointerPhase::Release, point);
}

// Taps the close link of a full-screen page once it had time to draw, again
// while the page stays, until `closed`.
bool tapCloseLinkUntil(OVHostDisplay& display, const std::function<bool()>& closed) {
  for (int attempt = 0; attempt < kCloseTaps && !closed(); ++attempt) {
    runUntil(closed, kPageDrawSeconds);
    if (!closed()) tap(display, kCloseLink);
    runUntil(closed, 1.0);
  }
  return closed();
}

std::string describe(const platform::Error& error) {
  return "failed: " + error.domain() + " " + std::to_string(error.code()) + " " + error.localizedDescription();
}

// Remembers the first thing the banner reports.
class BannerOutcome final : public OVAdViewDelegate {
 public:
  void adViewDidLoad(const std::shared_ptr<OVAdView>&) override { report("loaded"); }
  void adView(const std::shared_ptr<OVAdView>&, const platform::Error& error) override { report(describe(error)); }
  std::string outcome;

 private:
  void report(const std::string& what) {
    if (outcome.empty()) outcome = what;
  }
};

class NativeOutcome final : public OVNativeAdDelegate {
 public:
  void nativeAdDidLoad(const std::shared_ptr<OVNativeAd>&) override { outcome = "loaded"; }
  void nativeAd(const std::shared_ptr<OVNativeAd>&, const platform::Error& error) override { outcome = describe(error); }
  std::string outcome;
};

class ManagerOutcome final : public OVNativeAdsManagerDelegate {
 public:
  void nativeAdsLoaded() override { outcome = "loaded"; }
  void nativeAdsFailedToLoadWithError(const platform::Error& error) override { outcome = describe(error); }
  std::string outcome;
};

class InterstitialOutcome final : public OVInterstitialAdDelegate {
 public:
  void interstitialAdDidLoad(const std::shared_ptr<OVInterstitialAd>&) override { outcome = "loaded"; }
  void interstitialAd(const std::shared_ptr<OVInterstitialAd>&, const platform::Error& error) override {
    outcome = describe(error);
  }
  void interstitialAdDidClose(const std::shared_ptr<OVInterstitialAd>&) override { closed = true; }
  std::string outcome;
  bool closed = false;
};

class RewardedOutcome final : public OVRewardedVideoAdDelegate {
 public:
  void rewardedVideoAdDidLoad(const std::shared_ptr<OVRewardedVideoAd>&) override { outcome = "loaded"; }
  void rewardedVideoAd(const std::shared_ptr<OVRewardedVideoAd>&, const platform::Error& error) override {
    outcome = describe(error);
  }
  void rewardedVideoAdComplete(const std::shared_ptr<OVRewardedVideoAd>&) override { completed = true; }
  void rewardedVideoAdDidClose(const std::shared_ptr<OVRewardedVideoAd>&) override { closed = true; }
  void rewardedVideoAdServerRewardDidSucceed(const std::shared_ptr<OVRewardedVideoAd>&) override { reward = "confirmed"; }
  void rewardedVideoAdServerRewardDidFail(const std::shared_ptr<OVRewardedVideoAd>&) override { reward = "refused"; }
  std::string outcome;
  std::string reward;
  bool completed = false;
  bool closed = false;
};

class MediaViewOutcome final : public OVMediaViewDelegate {
 public:
  void mediaViewDidLoad(const std::shared_ptr<OVMediaView>&) override { loaded = true; }
  bool loaded = false;
};

void checkSettings() {
  OVAdSettings::setLogLevel(4);
  expect(OVAdSettings::getLogLevel() == 4, "the log level set is the one read");
  OVAdSettings::setLogLevel(9);
  expect(OVAdSettings::getLogLevel() == 4, "a level outside 0 to 6 is refused");

  const std::string hash = OVAdSettings::testDeviceHash();
  expect(hash.size() == 40, "the test device hash has 40 digits");
  OVAdSettings::addTestDevice(hash);
  expect(OVAdSettings::isTestMode(), "a registered device is in test mode");

  OVAdSettings::setUrlPrefix("sb");
  expect(OVAdSettings::getDeliveryEndpoint().find(".sb.") != std::string::npos, "the prefix reaches the endpoint");
  OVAdSettings::setUrlPrefix("");

  const OVAdSize banner = kOVAdSizeHeight50Banner;
  expect(banner.width == kOVAdSizeFlexible && banner.height == 50.0, "a flexible banner is 50 high");
  expect(kOVAdSizeInterstitial == OVAdSize{}, "the interstitial size is 0 by 0");
  expect(std::string(kOVAdErrorDetailKey) == "OVAdErrorDetailKey", "the detail key is public");

  constexpr const char* kAdvertisingIdentifier = "6D92078A-8246-4BA4-AE5B-76104861E7DC";
  platform::DeviceProvider::current()->updateProfile([&](platform::DeviceProfile& profile) {
    profile.advertisingIdentifier = kAdvertisingIdentifier;
    profile.advertisingTrackingEnabled = false;
  });
  const platform::DeviceProfile profile = platform::DeviceProvider::current()->profile();
  expect(profile.advertisingIdentifier == kAdvertisingIdentifier && !profile.advertisingTrackingEnabled,
         "the host sets the advertising identifier and its tracking flag");
  platform::StoreProductSheet::setProductPageURLTemplate("https://apps.plexora.test/app/{id}");
  expect(platform::StoreProductSheet::productPageURLTemplate() == "https://apps.plexora.test/app/{id}",
         "the host sets the store pages' address");
  platform::StoreProductSheet::setProductPageURLTemplate("");
}

// The views a host builds without an ad: the star rating, the style record
// and a template laid out with no ad yet.
void checkViewsWithoutAnAd() {
  const auto stars = std::make_shared<OVAdStarRatingView>(platform::Rect{{0, 0}, {100, 20}}, OVAdStarRating{4.5, 5});
  expect(stars->rating().value == 4.5, "the star rating view keeps its rating");
  const auto attributes = OVNativeAdViewAttributes::defaultAttributesForType(kOVNativeAdViewTypeGenericHeight300);
  expect(attributes != nullptr, "template 3 has default attributes");
  const auto empty = OVNativeAdView::nativeAdViewWithType(kOVNativeAdViewTypeGenericHeight100, attributes);
  expect(empty != nullptr, "a template is made without an ad");

  // The template in a window the host shows through a display of its own.
  const auto window = std::make_shared<platform::Window>(platform::Rect{{0, 0}, {375, 100}});
  window->setHidden(false);
  window->addSubview(empty);
  const auto display = OVHostDisplay::displayWithWindow(window);
  std::vector<std::uint8_t> pixels(375 * 100 * 4);
  expect(display->render(pixels.data(), 375, 100, 375 * 4) == OVHostDisplayResult::Rendered,
         "the display draws the window into the host's buffer");
  expect(display->render(pixels.data(), 375, 100, 4) == OVHostDisplayResult::StrideTooSmall,
         "a stride shorter than a row is refused");
  expect(std::string(OVHostDisplayResultDescription(OVHostDisplayResult::NullBuffer)) == "null buffer",
         "the results are named");
  expect(!display->sendPointer(OVHostPointerPhase::Release, {10, 10}), "a release without a press is ignored");
}

void loadBanner(const std::shared_ptr<platform::ViewController>& root) {
  const auto outcome = std::make_shared<BannerOutcome>();
  const auto banner = OVAdView::initWithPlacementID("banner", kOVAdSize320x50, root);
  banner->setDelegate(outcome);
  root->view()->addSubview(banner);
  banner->loadAd();
  runUntil([&] { return !outcome->outcome.empty(); });
  std::printf("consumer: banner %s\n", outcome->outcome.empty() ? "reported nothing" : outcome->outcome.c_str());
  expect(outcome->outcome == "loaded", "the banner loads from the ad server");
}

// One native ad, its images awaited, shown in each template, with its media
// view and ad-choices badge, and registered for clicks.
void loadNativeAd(const std::shared_ptr<platform::ViewController>& root) {
  const auto outcome = std::make_shared<NativeOutcome>();
  const auto ad = OVNativeAd::initWithPlacementID(kNativePlacement);
  ad->setDelegate(outcome);
  ad->setMediaCachePolicy(kOVNativeAdMediaCachePolicyIcon | kOVNativeAdMediaCachePolicyImage);
  ad->loadAd();
  runUntil([&] { return !outcome->outcome.empty(); });
  std::printf("consumer: native ad %s\n", outcome->outcome.empty() ? "reported nothing" : outcome->outcome.c_str());
  expect(outcome->outcome == "loaded", "the native ad loads with its images from the ad server");
  if (outcome->outcome != "loaded") return;
  expect(ad->title().has_value() && ad->icon() != nullptr, "the native ad has its title and icon");

  for (const OVNativeAdViewTemplateType type : {kOVNativeAdViewTypeGenericHeight100, kOVNativeAdViewTypeGenericHeight120,
                                                kOVNativeAdViewTypeGenericHeight300, kOVNativeAdViewTypeGenericHeight400}) {
    const auto view = OVNativeAdView::nativeAdViewWithNativeAd(ad, type);
    expect(view != nullptr && view->nativeAd() == ad, "each template shows the native ad");
    if (view) root->view()->addSubview(view);
  }

  const auto mediaDelegate = std::make_shared<MediaViewOutcome>();
  const auto media = OVMediaView::initWithNativeAd(ad);
  media->setDelegate(mediaDelegate);
  media->setFrame({{0, 0}, {320, 180}});
  root->view()->addSubview(media);
  runUntil([&] { return mediaDelegate->loaded; });
  expect(mediaDelegate->loaded, "the media view loads the ad's cover");

  const auto adChoices = OVAdChoicesView::initWithNativeAd(ad);
  expect(adChoices != nullptr, "the ad-choices badge is made");

  const auto container = std::make_shared<platform::View>(platform::Rect{{0, 200}, {320, 100}});
  root->view()->addSubview(container);
  ad->registerViewForInteraction(container, root);
  expect(ad->isRegistered(), "the ad's view is registered");
  ad->unregisterView();

  std::shared_ptr<platform::Image> icon;
  bool answered = false;
  ad->icon()->loadImageAsyncWithBlock([&](const std::shared_ptr<platform::Image>& image) {
    icon = image;
    answered = true;
  });
  runUntil([&] { return answered; });
  expect(icon != nullptr, "the ad's icon loads as an image");
}

// A set of native ads placed into a table and a collection view.
void loadNativeAdsForLists() {
  const auto outcome = std::make_shared<ManagerOutcome>();
  const auto manager = OVNativeAdsManager::initWithPlacementID(kNativePlacement, 2);
  manager->setDelegate(outcome);
  manager->setMediaCachePolicy(kOVNativeAdMediaCachePolicyNone);
  manager->loadAds();
  runUntil([&] { return !outcome->outcome.empty(); });
  std::printf("consumer: native ads %s\n", outcome->outcome.empty() ? "reported nothing" : outcome->outcome.c_str());
  expect(outcome->outcome == "loaded", "the native ads manager loads a set");
  if (outcome->outcome != "loaded") return;
  expect(manager->uniqueNativeAdCount() == 2, "the set holds both ads");

  const auto table = std::make_shared<platform::TableView>(platform::Rect{{0, 0}, {320, 480}});
  const auto tableCells = OVNativeAdTableViewCellProvider::initWithManager(manager, kOVNativeAdViewTypeGenericHeight120);
  expect(tableCells->numberOfRowsInSection(*table, 0) > 0, "the table cell provider has rows");
  const auto tableCell = tableCells->cellForRowAtIndexPath(*table, platform::IndexPath{0, 0});
  expect(tableCell != nullptr, "the table cell provider makes a cell");
  const auto tableAds = OVNativeAdTableViewAdProvider::initWithManager(manager);
  expect(tableAds->nativeAdForRowAtIndexPath(*table, platform::IndexPath{0, 0}) != nullptr,
         "the table ad provider places an ad");

  const auto collection = std::make_shared<platform::CollectionView>(platform::Rect{{0, 0}, {320, 480}});
  const auto collectionCells =
      OVNativeAdCollectionViewCellProvider::initWithManager(manager, kOVNativeAdViewTypeGenericHeight300);
  expect(collectionCells->numberOfRowsInSection(*collection, 0) > 0, "the collection cell provider has items");
  expect(collectionCells->cellForItemAtIndexPath(*collection, platform::IndexPath{0, 0}) != nullptr,
         "the collection cell provider makes a cell");
  const auto collectionAds = OVNativeAdCollectionViewAdProvider::initWithManager(manager);
  expect(collectionAds->nativeAdForRowAtIndexPath(*collection, platform::IndexPath{0, 0}) != nullptr,
         "the collection ad provider places an ad");
  expect(OVNativeAdListAdProvider::adjustCount(10, 5) > 10, "ads are counted into a list");

  const auto strip = OVNativeAdScrollView::initWithNativeAdsManager(manager, kOVNativeAdViewTypeGenericHeight120);
  strip->setFrame(platform::Rect{{0, 0}, {320, 120}});
  runUntil([&] { return strip->nativeAdCount() > 0; });
  expect(strip->nativeAdCount() == 2, "the native ad scroll view pages both ads");
  expect(strip->nativeAds().front()->isRegistered(), "the scroll view registers its ads");
}

// The sandbox's HTML interstitial loaded, shown full screen in the host's
// window and closed by a tap on its close link, which lies inside it.
void showInterstitial(const std::shared_ptr<platform::ViewController>& root, OVHostDisplay& display) {
  const auto outcome = std::make_shared<InterstitialOutcome>();
  const auto interstitial = OVInterstitialAd::initWithPlacementID("interstitial");
  interstitial->setDelegate(outcome);
  interstitial->loadAd();
  runUntil([&] { return !outcome->outcome.empty(); });
  std::printf("consumer: interstitial %s\n", outcome->outcome.empty() ? "reported nothing" : outcome->outcome.c_str());
  expect(outcome->outcome == "loaded", "the interstitial loads");
  expect(interstitial->isAdValid() == (outcome->outcome == "loaded"), "a loaded interstitial is valid");
  if (outcome->outcome != "loaded") return;

  expect(interstitial->showAdFromRootViewController(root), "the interstitial shows");
  const bool closed = tapCloseLinkUntil(display, [&] { return outcome->closed; });
  std::printf("consumer: interstitial %s\n", closed ? "closed by its close link" : "not closed");
  expect(closed, "a tap on the interstitial's close link inside the 375x812 window closes it");
}

// The sandbox's rewarded video played to its end, its end card closed by
// its own link, and the reward confirmed; an in-stream ad made and asked
// about before any load.
void playRewardedVideo(const std::shared_ptr<platform::ViewController>& root, OVHostDisplay& display) {
  const auto outcome = std::make_shared<RewardedOutcome>();
  const auto rewarded = OVRewardedVideoAd::initWithPlacementID("rewarded", "consumer-user", "coins", 10);
  expect(!rewarded->isAdValid() && rewarded->placementID() == "rewarded", "a rewarded ad is not valid before a load");
  rewarded->setDelegate(outcome);
  rewarded->loadAd();
  runUntil([&] { return !outcome->outcome.empty(); });
  std::printf("consumer: rewarded video %s\n", outcome->outcome.empty() ? "reported nothing" : outcome->outcome.c_str());
  expect(outcome->outcome == "loaded", "the rewarded video loads from the installed ad server");
  if (outcome->outcome == "loaded") {
    expect(rewarded->showAdFromRootViewController(root), "the rewarded video shows");
    runUntil([&] { return outcome->completed || outcome->outcome != "loaded"; }, kVideoSeconds);
    expect(outcome->completed, "the rewarded video plays to its end");
    const bool closed = outcome->completed && tapCloseLinkUntil(display, [&] { return outcome->closed; });
    expect(closed, "a tap on the end card's close link closes the ad");
    runUntil([&] { return !outcome->reward.empty(); });
    std::printf("consumer: rewarded video %s, reward %s\n", closed ? "closed" : "not closed",
                outcome->reward.empty() ? "unheard of" : outcome->reward.c_str());
    expect(outcome->reward == "confirmed", "the server confirms the reward");
  }

  const auto instream = OVInstreamAdView::initWithPlacementID(std::string("instream"));
  expect(!instream->isAdValid() && !instream->isStarted(), "an in-stream ad is neither loaded nor started at first");
}

// A public call from another thread: the process ends there, naming it.
[[noreturn]] void callOffTheMainThread() {
  std::thread([] { OVAdView::initWithPlacementID("banner", kOVAdSize320x50, nullptr); }).join();
  std::fprintf(stderr, "consumer: a public call from another thread went on\n");
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && argv[1] == kOffMainThreadOption) callOffTheMainThread();
  checkSettings();
  platform::MainLoop::instance().runOnce(0);
  checkViewsWithoutAnAd();
  if (argc > 1) {
    expect(OVAdSettings::setAdServerBaseURL(argv[1]), "the ad server's base URL is taken");
    const auto window = std::make_shared<platform::Window>(platform::Rect{{0, 0}, {375, 812}});
    const auto root = std::make_shared<platform::ViewController>();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    // The window shown through the host's display: full-screen ads lay out
    // in it, and taps reach them through it.
    const auto display = OVHostDisplay::displayWithWindow(window);
    loadBanner(root);
    loadNativeAd(root);
    loadNativeAdsForLists();
    showInterstitial(root, *display);
    playRewardedVideo(root, *display);
  }

  std::printf("consumer: Plexora %s, %s\n", kPlexoraVersion, failures == 0 ? "all good" : "FAILED");
  return failures == 0 ? 0 : 1;
}
