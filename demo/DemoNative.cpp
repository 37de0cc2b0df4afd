#include "DemoNative.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "DemoScreen.h"
#include "DemoStep.h"
#include "platform/ui/Button.h"
#include "platform/ui/Image.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "plexora/OVNativeAd.h"
#include "plexora/OVNativeAdView.h"

namespace plexora::demo {

namespace {

constexpr const char* kMediaPath = "/media/";
constexpr double kCoverQuality = 0.85;
// Where the 300 template sits in the window, in points.
constexpr double kTemplateTop = 100;
constexpr double kTemplateWidth = 375;
constexpr const char* kDoneTitle = "Done";
// How long a template's picture stays the same before it counts as drawn.
constexpr double kStillSeconds = 1.0;
constexpr std::pair<OVNativeAdViewTemplateType, double> kTemplates[] = {
    {kOVNativeAdViewTypeGenericHeight100, 100},
    {kOVNativeAdViewTypeGenericHeight120, 120},
    {kOVNativeAdViewTypeGenericHeight300, 300},
    {kOVNativeAdViewTypeGenericHeight400, 400},
};

using Clock = std::chrono::steady_clock;

// What the host hears, with when it first heard it.
class HostDelegate final : public OVNativeAdDelegate {
 public:
  void nativeAdDidLoad(const std::shared_ptr<OVNativeAd>&) override { ++loads; }
  void nativeAdWillLogImpression(const std::shared_ptr<OVNativeAd>&) override { ++impressions; }
  void nativeAdDidClick(const std::shared_ptr<OVNativeAd>&) override { ++clicks; }
  void nativeAdDidFinishHandlingClick(const std::shared_ptr<OVNativeAd>&) override { ++handledClicks; }
  void nativeAd(const std::shared_ptr<OVNativeAd>&, const platform::Error& error) override {
    errors.push_back(error.localizedDescription());
  }

  int loads = 0;
  int impressions = 0;
  int clicks = 0;
  int handledClicks = 0;
  std::vector<std::string> errors;
};

std::uint8_t channel(double value) { return static_cast<std::uint8_t>(std::clamp(value, 0.0, 255.0)); }

platform::Pixel blend(platform::Pixel from, platform::Pixel to, double amount) {
  const auto mix = [&](std::uint8_t a, std::uint8_t b) { return channel(a + (b - a) * amount); };
  return {mix(from.red, to.red), mix(from.green, to.green), mix(from.blue, to.blue), 255};
}

std::shared_ptr<platform::Image> paint(std::uint32_t width, std::uint32_t height,
                                       const std::function<platform::Pixel(double x, double y)>& colourAt) {
  auto image = platform::Image::create(width, height, 1.0, platform::Color::white());
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) image->setPixel(x, y, colourAt(x, y));
  }
  return image;
}

// A white peak on a green square, as an outdoor shop's logo might be.
std::shared_ptr<platform::Image> iconImage() {
  return paint(128, 128, [](double x, double y) -> platform::Pixel {
    const bool peak = y > 30 && y < 100 && std::abs(x - 64) < (y - 30) * 0.6;
    if (peak) return {255, 255, 255, 255};
    return blend({16, 120, 90, 255}, {40, 170, 110, 255}, (x + y) / 256.0);
  });
}

// A mountain landscape at the cover's size: sky, a far range, near hills.
std::shared_ptr<platform::Image> coverImage() {
  return paint(1200, 628, [](double x, double y) -> platform::Pixel {
    if (y > 470 + 35 * std::sin(x / 90.0 + 1.0)) return blend({70, 125, 70, 255}, {40, 80, 45, 255}, (y - 440) / 190);
    if (y > 300 + 120 * std::abs(std::sin(x / 160.0))) return {95, 112, 145, 255};
    return blend({120, 180, 235, 255}, {250, 222, 185, 255}, y / 420.0);
  });
}

// The ad-choices badge: a blue triangle on white.
std::shared_ptr<platform::Image> adChoicesImage() {
  return paint(20, 20, [](double x, double y) -> platform::Pixel {
    const bool inside = x > 5 && x < 16 && std::abs(y - 10) < (16 - x) * 0.55;
    return inside ? platform::Pixel{30, 110, 200, 255} : platform::Pixel{255, 255, 255, 255};
  });
}

std::string bytesOf(const platform::Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// The fixture's media from the bundled server: the icons, the ad-choices
// badge, and the cover for every other picture (covers and carousel cards).
void serveFixtureImages(testserver::AdServer& server) {
  const std::string icon = bytesOf(iconImage()->encodePNG());
  const std::string badge = bytesOf(adChoicesImage()->encodePNG());
  const std::string cover = bytesOf(coverImage()->encodeJPEG(kCoverQuality));
  server.server().on(
      kMediaPath,
      [icon, badge, cover](const testserver::RecordedRequest& request) {
        const bool png = request.path.ends_with(".png");
        const std::string& body = request.path.find("ad-choices") != std::string::npos ? badge
                                  : request.path.find("icon") != std::string::npos     ? icon
                                                                                       : cover;
        testserver::Response response = testserver::Response::text(200, body);
        // Typed as images, so the server sends them as they are.
        response.headers = {{"Content-Type", png ? "image/png" : "image/jpeg"}};
        return response;
      },
      testserver::Match::Prefix);
}

}  // namespace

struct DemoNative::State {
  Clock::time_point start = Clock::now();
  std::shared_ptr<platform::Window> window = std::make_shared<platform::Window>();
  std::shared_ptr<platform::ViewController> root = std::make_shared<platform::ViewController>();
  std::shared_ptr<HostDelegate> host = std::make_shared<HostDelegate>();
  DemoScreen screen{window};
  std::shared_ptr<OVNativeAd> ad;
  std::shared_ptr<OVNativeAdView> shown;
};

DemoNative::DemoNative(testserver::AdServer* bundledServer)
    : bundledServer_(bundledServer), state_(std::make_unique<State>()) {}

DemoNative::~DemoNative() = default;

bool DemoNative::step(const std::string& name, const std::function<bool()>& done, const std::string& detail) {
  return runDemoStep(state_->start, state_->host->errors, name, done, detail);
}

bool DemoNative::run(const std::filesystem::path& outputDirectory) {
  State& state = *state_;
  if (bundledServer_ != nullptr) serveFixtureImages(*bundledServer_);
  state.start = Clock::now();
  state.window->setRootViewController(state.root);
  state.window->makeKeyAndVisible();

  state.ad = OVNativeAd::initWithPlacementID(kNativePlacement);
  state.ad->setDelegate(state.host);
  state.ad->setMediaCachePolicy(kOVNativeAdMediaCachePolicyIcon | kOVNativeAdMediaCachePolicyImage);
  state.ad->loadAd();
  if (!step("native request", [] { return true; }, std::string("placement ") + kNativePlacement)) return false;
  if (!step("native load", [&] { return state.host->loads > 0; },
            "the ad server answered a native ad; its icon and cover image are in")) {
    return false;
  }
  state.shown = OVNativeAdView::nativeAdViewWithNativeAd(state.ad, kOVNativeAdViewTypeGenericHeight300);
  state.shown->setFrame({0, kTemplateTop, kTemplateWidth, state.shown->fixedHeight()});
  state.window->addSubview(state.shown);
  // A template makes itself the ad's delegate; the host takes it back.
  state.ad->setDelegate(state.host);
  if (!step("registered", [&] { return state.shown->isLoaded() && state.ad->nativeAdView() == state.shown; },
            state.ad->adViewAttributes() ? "the 300 template in the window, in the server's style"
                                         : "the 300 template in the window")) {
    return false;
  }
  if (!step("impression", [&] { return state.host->impressions > 0; }, "viewable, impression logged")) return false;
  if (!tapCallToAction()) return false;
  if (!step("click", [&] { return state.host->clicks > 0; }, "the call to action ran the ad's command")) return false;
  if (!closeBrowser()) return false;
  if (!step("click handled", [&] { return state.host->handledClicks > 0; }, "the browser was closed again")) {
    return false;
  }
  // The pictures' templates come after the shown one: each template made
  // from an ad registers with it unless its style says otherwise, and the
  // server's style, which wins, does not.
  return writePictures(outputDirectory);
}

bool DemoNative::writePictures(const std::filesystem::path& outputDirectory) {
  for (const auto& [type, height] : kTemplates) {
    // Each template alone in a window of its size, drawn once its images
    // and media are in and the picture stays still.
    const auto window = std::make_shared<platform::Window>(platform::Rect{0, 0, kTemplateWidth, height});
    window->setHidden(false);
    DemoScreen screen(window);
    const auto view = OVNativeAdView::nativeAdViewWithNativeAd(state_->ad, type);
    view->setFrame({0, 0, kTemplateWidth, height});
    window->addSubview(view);
    const std::string name = "native-template-" + std::to_string(static_cast<int>(height)) + ".png";
    if (!step("template " + std::to_string(static_cast<int>(height)),
              [&] { return screen.still(kStillSeconds); }, "filled, its images drawn")) {
      return false;
    }
    if (!screen.write(window->bounds(), outputDirectory / name, "picture")) return false;
  }
  return true;
}

bool DemoNative::closeBrowser() {
  const auto browser = [&] { return state_->root->presentedViewController(); };
  const auto done = [&] { return browser() ? findButton(browser()->view(), kDoneTitle) : nullptr; };
  if (!step("browser", [&] { return done() != nullptr; }, "the in-app browser opened the ad's link")) return false;
  if (!state_->screen.tap(centreInWindow(*done()))) {
    std::printf("           %-22s FAILED: the tap on Done reached no view\n", "browser");
    return false;
  }
  return true;
}

bool DemoNative::tapCallToAction() {
  const auto button = state_->shown->callToActionButton();
  if (!button) {
    std::printf("           %-22s FAILED: the template has no call to action\n", "tap");
    return false;
  }
  const platform::Rect bounds = button->bounds();
  const platform::Point tap = button->convertPointToView({bounds.midX(), bounds.midY()}, nullptr);
  std::printf("           %-22s \"%s\" at (%.0f, %.0f)\n", "tap",
              button->title(platform::kControlStateNormal).value_or("").c_str(), tap.x, tap.y);
  if (!state_->screen.tap(tap)) {
    std::printf("           %-22s FAILED: the tap reached no view\n", "tap");
    return false;
  }
  return true;
}

}  // namespace plexora::demo
