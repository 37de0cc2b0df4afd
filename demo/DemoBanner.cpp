#include "DemoBanner.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string_view>
#include <vector>

#include "adapters/views/contentcontainer/OVAdWebKitContentContainer.h"
#include "internal/browser/OVAdWKWebViewBrowserController.h"
#include "DemoStep.h"
#include "platform/ui/Control.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/ui/Image.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "plexora/OVAdSize.h"
#include "plexora/OVAdView.h"
#include "tracking/OVAdEventManager.h"

namespace plexora::demo {

namespace {

// The page's link the demo's click follows, as a user's tap on the ad would.
constexpr const char* kClickScript = "document.querySelector('a').click();";
constexpr const char* kBrowserPNGName = "browser.png";
// How long a link from a server elsewhere may take to load in the browser.
constexpr double kOutsideLinkSeconds = 10.0;
// The fixture banner's link, as its markup carries it, and the bundled
// server's landing page that replaces it.
constexpr const char* kFixtureLink = "https%3A%2F%2Fshop.plexora.test%2Fspring";
constexpr const char* kLandingLink = "{{BASE_URL}}landing%2Fspring";
constexpr const char* kLandingPath = "/landing/spring";
constexpr const char* kLandingPage =
    "<!DOCTYPE html><html><head><meta name=\"viewport\" content=\"width=device-width\"><title>Spring sale</title>"
    "</head><body style=\"margin:0;font:20px sans-serif\"><div style=\"background:#1f6feb;color:#fff;padding:24px\">"
    "Spring sale</div><p style=\"padding:0 24px\">30% off everything until the end of the month.</p></body></html>";

using Clock = std::chrono::steady_clock;

// What the host hears, with when it first heard it.
class HostDelegate final : public OVAdViewDelegate {
 public:
  void adViewDidLoad(const std::shared_ptr<OVAdView>&) override { ++loads; }
  void adViewWillLogImpression(const std::shared_ptr<OVAdView>&) override { ++impressions; }
  void adViewDidClick(const std::shared_ptr<OVAdView>&) override { ++clicks; }
  void adView(const std::shared_ptr<OVAdView>&, const platform::Error& error) override {
    errors.push_back(error.localizedDescription());
  }

  int loads = 0;
  int impressions = 0;
  int clicks = 0;
  std::vector<std::string> errors;
};

// The page's container inside the banner's view tree.
std::shared_ptr<OVAdWebContentContainerView> findPage(const std::shared_ptr<platform::View>& view) {
  if (!view) return nullptr;
  if (auto page = std::dynamic_pointer_cast<OVAdWebContentContainerView>(view)) return page;
  for (const auto& subview : view->subviews()) {
    if (auto page = findPage(subview)) return page;
  }
  return nullptr;
}

// The engine's first frames of a page are blank: a picture of one colour.
bool drewPage(const std::shared_ptr<platform::Image>& image) {
  if (!image) return false;
  const auto rgba = image->rgba();
  for (std::size_t at = 4; at + 4 <= rgba.size(); at += 4) {
    if (!std::equal(rgba.begin() + static_cast<std::ptrdiff_t>(at), rgba.begin() + static_cast<std::ptrdiff_t>(at + 4),
                    rgba.begin())) {
      return true;
    }
  }
  return false;
}

}  // namespace

struct DemoBanner::State {
  Clock::time_point start = Clock::now();
  std::shared_ptr<platform::Window> window = std::make_shared<platform::Window>();
  std::shared_ptr<platform::ViewController> root = std::make_shared<platform::ViewController>();
  std::shared_ptr<HostDelegate> host = std::make_shared<HostDelegate>();
  std::shared_ptr<OVAdView> banner;
};

DemoBanner::DemoBanner(std::string placement, testserver::AdServer* bundledServer)
    : placement_(std::move(placement)), bundledServer_(bundledServer), state_(std::make_unique<State>()) {}

DemoBanner::~DemoBanner() = default;

bool DemoBanner::step(const std::string& name, const std::function<bool()>& done, const std::string& detail) {
  return runDemoStep(state_->start, state_->host->errors, name, done, detail);
}

bool DemoBanner::run(const std::filesystem::path& pngPath) {
  State& state = *state_;
  state.window->setRootViewController(state.root);
  state.window->makeKeyAndVisible();
  state.banner = OVAdView::initWithPlacementID(placement_, kOVAdSize320x50, state.root);
  state.banner->setDelegate(state.host);
  state.banner->setFrame({{0, 100}, state.banner->frame().size});
  state.window->addSubview(state.banner);

  if (bundledServer_ != nullptr) serveLandingPage();
  state.banner->loadAd();
  if (!step("request", [] { return true; }, "placement " + placement_)) return false;
  if (!step("candidate", [&] { return state.host->loads > 0; }, "the ad server answered an HTML banner")) {
    return false;
  }
  const auto page = [&] { return findPage(state.banner); };
  if (!step("load", [&] { return page() && !page()->isHidden() && page()->snapshot(); },
            "page rendered by the web engine")) {
    return false;
  }
  if (!step("impression", [&] { return state.host->impressions > 0; }, "viewable, impression logged")) return false;
  // By now the engine has drawn the page; its first frame may still be blank.
  if (!writeSnapshot(pngPath)) return false;
  if (!click()) return false;
  if (!step("click", [&] { return state.host->clicks > 0; }, "the page's link ran the ad's command")) return false;
  if (!browse(pngPath.parent_path() / kBrowserPNGName)) return false;
  if (bundledServer_ == nullptr) {
    std::printf("%8s    %-22s skipped: the server is elsewhere\n", "", "events acknowledged");
    return true;
  }
  const auto acknowledged = [&](const char* type) {
    for (const auto& event : bundledServer_->logging().events()) {
      if (event.type == type && event.code) return true;
    }
    return false;
  };
  return step("events acknowledged",
              [&] { return acknowledged("impression") && acknowledged("open_link") && acknowledged("browser_session"); },
              "impression, open_link and browser_session");
}

void DemoBanner::serveLandingPage() {
  // The fixture's link names a shop that does not exist: the banner the
  // bundled server answers with links to a page of its own instead, so the
  // browser has something to load.
  auto answer = bundledServer_->fixtures().read(placement_);
  if (!answer) return;
  const std::string fixtureLink = kFixtureLink;
  for (auto at = answer->find(fixtureLink); at != std::string::npos; at = answer->find(fixtureLink, at)) {
    answer->replace(at, fixtureLink.size(), kLandingLink);
    at += std::string_view(kLandingLink).size();
  }
  testserver::Response landing;
  landing.headers = {{"Content-Type", "text/html; charset=utf-8"}, {"Connection", "close"}};
  landing.body = kLandingPage;
  bundledServer_->server().on(kLandingPath, std::move(landing));
  bundledServer_->setAnswer(placement_, testserver::AdAnswer::document(std::move(*answer)));
}

bool DemoBanner::browse(const std::filesystem::path& pngPath) {
  const auto browser = [&] {
    return std::dynamic_pointer_cast<OVAdWKWebViewBrowserController>(state_->root->presentedViewController());
  };
  const auto loaded = [&] {
    const auto shown = browser();
    return shown && shown->loadFinishMs() > 0 && !shown->webView()->isLoading() && drewPage(shown->webView()->snapshot());
  };
  // A server elsewhere may link to a page that is not there: after a while
  // the demo goes on and closes the browser all the same.
  if (bundledServer_ == nullptr && !platform::MainLoop::instance().runUntil(loaded, kOutsideLinkSeconds)) {
    std::printf("%8s    %-22s skipped: the link did not load within %.0f s\n", "", "browser", kOutsideLinkSeconds);
  } else {
    if (!step("browser", loaded, "in-app browser loaded the link")) return false;
    if (!writePNG(*browser()->webView()->snapshot(), pngPath, "browser snapshot")) return false;
  }
  const auto shown = browser();
  if (!shown) return false;
  shown->doneButton()->sendActionsForControlEvents(platform::kControlEventTouchUpInside);
  if (!step("browser closed", [&] { return !state_->root->presentedViewController(); }, "done, session logged")) {
    return false;
  }
  // A browsing session waits for the next batch of events; the demo sends
  // it now rather than minutes later.
  OVAdEventManager::sharedManager()->dispatchEventsImmediately();
  return true;
}

bool DemoBanner::writeSnapshot(const std::filesystem::path& pngPath) {
  const auto page = findPage(state_->banner);
  const auto image = page ? page->snapshot() : nullptr;
  if (!image) {
    std::printf("           %-22s FAILED: the page drew nothing\n", "snapshot");
    return false;
  }
  return writePNG(*image, pngPath, "snapshot");
}

bool DemoBanner::writePNG(const platform::Image& image, const std::filesystem::path& pngPath, const char* label) {
  const auto png = image.encodePNG();
  std::ofstream file(pngPath, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  if (!file) {
    std::printf("           %-22s FAILED: cannot write %s\n", label, pngPath.c_str());
    return false;
  }
  std::printf("           %-22s %s\n", label, pngPath.c_str());
  return true;
}

bool DemoBanner::click() {
  const auto page = findPage(state_->banner);
  if (!page) return false;
  page->webView()->evaluateJavaScript(kClickScript, {});
  return true;
}

}  // namespace plexora::demo
