#include "DemoBanner.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <vector>

#include "adapters/views/contentcontainer/OVAdWebKitContentContainer.h"
#include "internal/browser/OVAdSafariViewController.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/ui/Image.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "plexora/OVAdSize.h"
#include "plexora/OVAdView.h"

namespace plexora::demo {

namespace {

// The engine starts helper processes on first use; a loaded two-core
// machine takes seconds for that alone.
constexpr double kStepTimeoutSeconds = 60.0;
// The page's link the demo's click follows, as a user's tap on the ad would.
constexpr const char* kClickScript = "document.querySelector('a').click();";

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

}  // namespace

struct DemoBanner::State {
  // The demo shows no browser: the link a click opens is printed, and the
  // browser reports itself shown and closed, as a user's quick look would.
  static void presentBrowser(const platform::URL& url, const std::shared_ptr<OVAdViewControllerProxy>&,
                             const std::string&, std::int64_t,
                             const std::weak_ptr<OVAdSafariViewControllerDelegate>& delegate) {
    std::printf("           %-22s %s\n", "browser (not shown)", url.absoluteString().c_str());
    platform::DispatchQueue::main()->async([delegate] {
      const auto browser = std::make_shared<platform::ViewController>();
      if (const auto target = delegate.lock()) target->viewControllerCompleted(browser);
      if (const auto target = delegate.lock()) target->viewControllerDismissed(browser);
    });
  }

  OVAdSafariViewController::Presenter::Scope browserScope{OVAdSafariViewController::presenter(), &presentBrowser};
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
  const bool reached = platform::MainLoop::instance().runUntil(
      [&] { return done() || !state_->host->errors.empty(); }, kStepTimeoutSeconds);
  const double seconds = std::chrono::duration<double>(Clock::now() - state_->start).count();
  if (!state_->host->errors.empty()) {
    std::printf("%8.3f s  %-22s FAILED: %s\n", seconds, name.c_str(), state_->host->errors.front().c_str());
    return false;
  }
  if (!reached || !done()) {
    std::printf("%8.3f s  %-22s FAILED: not reached within %.0f s\n", seconds, name.c_str(), kStepTimeoutSeconds);
    return false;
  }
  std::printf("%8.3f s  %-22s %s\n", seconds, name.c_str(), detail.c_str());
  std::fflush(stdout);
  return true;
}

bool DemoBanner::run(const std::filesystem::path& pngPath) {
  State& state = *state_;
  state.window->setRootViewController(state.root);
  state.window->makeKeyAndVisible();
  state.banner = OVAdView::initWithPlacementID(placement_, kOVAdSize320x50, state.root);
  state.banner->setDelegate(state.host);
  state.banner->setFrame({{0, 100}, state.banner->frame().size});
  state.window->addSubview(state.banner);

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

bool DemoBanner::writeSnapshot(const std::filesystem::path& pngPath) {
  const auto page = findPage(state_->banner);
  const auto image = page ? page->snapshot() : nullptr;
  if (!image) {
    std::printf("           %-22s FAILED: the page drew nothing\n", "snapshot");
    return false;
  }
  const auto png = image->encodePNG();
  std::ofstream file(pngPath, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  if (!file) {
    std::printf("           %-22s FAILED: cannot write %s\n", "snapshot", pngPath.c_str());
    return false;
  }
  std::printf("           %-22s %s\n", "snapshot", pngPath.c_str());
  return true;
}

bool DemoBanner::click() {
  const auto page = findPage(state_->banner);
  if (!page) return false;
  page->webView()->evaluateJavaScript(kClickScript, {});
  return true;
}

}  // namespace plexora::demo
