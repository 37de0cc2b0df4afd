// first_ad_banner SERVER_URL SCRATCH_DIR: a host that starts, loads one
// banner of the placement "banner" from the ad server and, once its page is
// drawn, prints "drawn" and ends. Exit status 0 when drawn, 1 when the
// banner failed or a minute passed, 2 for bad arguments.
#include <cstdio>
#include <memory>
#include <string>

#include "FirstAdDrawnColor.h"
#include "OVAdViewInternal.h"
#include "adapters/views/contentcontainer/OVAdWebKitContentContainer.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Image.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "plexora/OVAdSettings.h"
#include "plexora/OVAdView.h"

namespace {

using namespace plexora;

constexpr const char* kPlacement = "banner";
constexpr double kDrawLimitSeconds = 60.0;

class FailureDelegate final : public OVAdViewDelegate {
 public:
  void adView(const std::shared_ptr<OVAdView>&, const platform::Error& error) override {
    failed = true;
    std::fprintf(stderr, "first_ad_banner: %s\n", error.localizedDescription().c_str());
  }
  bool failed = false;
};

bool drawn(const std::shared_ptr<OVAdView>& banner) {
  const auto ad = std::dynamic_pointer_cast<OVAdViewInternal>(banner->adView());
  const auto container = ad ? std::dynamic_pointer_cast<OVAdWebKitContentContainer>(ad->adContentContainer()) : nullptr;
  const auto frame = container && container->webView() ? container->webView()->snapshot() : nullptr;
  if (!frame) return false;
  const platform::Pixel corner = frame->pixel(frame->pixelWidth() / 4, frame->pixelHeight() / 4);
  return bench::isDrawnColor(corner.red, corner.green, corner.blue);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::string scratch = argv[2];
  platform::setCachesDirectory(scratch);
  platform::setUserDefaultsPath(scratch + "/UserDefaults.plist");
  platform::UserDefaults::resetStandardUserDefaults(scratch + "/UserDefaults.plist");
  if (!OVAdSettings::setAdServerBaseURL(argv[1])) return 2;

  const auto window = std::make_shared<platform::Window>();
  const auto root = std::make_shared<platform::ViewController>();
  window->setRootViewController(root);
  window->makeKeyAndVisible();
  const auto delegate = std::make_shared<FailureDelegate>();
  const auto banner = OVAdView::initWithPlacementID(kPlacement, kOVAdSize320x50, root);
  banner->setDelegate(delegate);
  window->addSubview(banner);
  banner->loadAd();

  const bool done = platform::MainLoop::instance().runUntil(
      [&] { return delegate->failed || drawn(banner); }, kDrawLimitSeconds);
  if (!done || delegate->failed) return 1;
  std::fputs(bench::kDrawnLine, stdout);
  std::fflush(stdout);
  return 0;
}
