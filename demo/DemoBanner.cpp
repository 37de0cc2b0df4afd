#include "DemoBanner.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

#include "DemoScreen.h"
#include "DemoStep.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/ui/Button.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "plexora/OVAdSize.h"
#include "plexora/OVAdView.h"

namespace plexora::demo {

namespace {

constexpr const char* kBrowserPNGName = "browser.png";
constexpr const char* kDoneTitle = "Done";
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
// The colour of the landing page's header band (its "background" above),
// which nothing else on the screen has: the page is in once it shows.
constexpr std::array<std::uint8_t, 3> kLandingHeaderRGB{0x1f, 0x6f, 0xeb};

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

}  // namespace

struct DemoBanner::State {
  Clock::time_point start = Clock::now();
  std::shared_ptr<platform::Window> window = std::make_shared<platform::Window>();
  std::shared_ptr<platform::ViewController> root = std::make_shared<platform::ViewController>();
  std::shared_ptr<HostDelegate> host = std::make_shared<HostDelegate>();
  DemoScreen screen{window};
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
  const platform::Rect bannerRect = state.banner->frame();
  if (!step("load", [&] { return state.screen.drawn(bannerRect); },
            "page rendered by the web engine, in the host display")) {
    return false;
  }
  if (!step("impression", [&] { return state.host->impressions > 0; }, "viewable, impression logged")) return false;
  if (!state.screen.write(bannerRect, pngPath, "snapshot")) return false;
  // The user's tap on the ad, through the host's pointer.
  if (!state.screen.tap(centreInWindow(*state.banner))) {
    std::printf("           %-22s FAILED: the tap reached no view\n", "tap");
    return false;
  }
  if (!step("click", [&] { return state.host->clicks > 0; }, "the tapped link ran the ad's command")) return false;
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
  return step("events acknowledged", [&] { return acknowledged("impression") && acknowledged("open_link"); },
              "impression and open_link");
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
  State& state = *state_;
  // What the window showed before the browser: until its page is drawn,
  // the browser shows this through.
  const std::vector<std::uint8_t> behind = state.screen.pixelsOf(state.window->bounds());
  const auto browser = [&] { return state.root->presentedViewController(); };
  if (!step("browser", [&] { return browser() != nullptr; }, "in-app browser opened the link")) return false;
  // The page's part of the browser: above the toolbar with its Done button.
  const auto pageRect = [&] {
    const auto shown = browser();
    const auto done = shown ? findButton(shown->view(), kDoneTitle) : nullptr;
    if (!done) return platform::Rect{};
    const platform::Rect window = state.window->bounds();
    return platform::Rect{window.origin, {window.width(), centreInWindow(*done).y - done->bounds().height() / 2}};
  };
  // The bundled page is recognised by its header; a page from a server
  // elsewhere is unknown, and counts once it has replaced the window behind
  // with a picture of its own. The page's part spans the window's top rows,
  // so it is the start of the window's picture.
  const auto loaded = [&] {
    const platform::Rect page = pageRect();
    if (bundledServer_ != nullptr) return state.screen.showsRowOf(page, kLandingHeaderRGB);
    const std::vector<std::uint8_t> shown = state.screen.pixelsOf(page);
    return state.screen.drawn(page) && shown.size() <= behind.size() &&
           !std::equal(shown.begin(), shown.end(), behind.begin());
  };
  // A server elsewhere may link to a page that is not there: after a while
  // the demo goes on and closes the browser all the same.
  if (bundledServer_ == nullptr && !platform::MainLoop::instance().runUntil(loaded, kOutsideLinkSeconds)) {
    std::printf("%8s    %-22s skipped: the link did not load within %.0f s\n", "", "browser page", kOutsideLinkSeconds);
  } else {
    if (!step("browser page", loaded, "the link's page, in the host display")) return false;
    if (!state.screen.write(state.window->bounds(), pngPath, "browser snapshot")) return false;
  }
  const auto shown = browser();
  const auto done = shown ? findButton(shown->view(), kDoneTitle) : nullptr;
  if (!done || !state.screen.tap(centreInWindow(*done))) {
    std::printf("           %-22s FAILED: no Done button to tap\n", "browser");
    return false;
  }
  return step("browser closed", [&] { return !browser(); }, "done tapped, session logged");
}

}  // namespace plexora::demo
