// The fixture banner from the loopback ad server in the real web engine,
// shown through a host display: the page the engine drew is in the host's
// buffer, the host hears when it arrives, and a press and release of the
// host's pointer on it follows the page's link, which the library turns
// into the ad's click. Real clock and main loop.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Paths.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "plexora/OVAdSettings.h"
#include "plexora/OVAdView.h"
#include "plexora/OVHostDisplay.h"
#include "support/EngineWaits.h"
#include "support/TempDir.h"
#include "support/doubles/FakeBrowser.h"
#include "testserver/adserver/AdServer.h"

namespace plexora::testing {
namespace {

class CountingAdViewDelegate final : public OVAdViewDelegate {
 public:
  void adViewWillLogImpression(const std::shared_ptr<OVAdView>&) override { ++impressions; }
  void adViewDidClick(const std::shared_ptr<OVAdView>&) override { ++clicks; }

  int impressions = 0;
  int clicks = 0;
};

class HostDisplayInEngineTest : public ::testing::Test {
 protected:
  static constexpr std::uint32_t kWidth = 375;
  static constexpr std::uint32_t kHeight = 200;
  static constexpr std::size_t kStride = kWidth * 4;

  HostDisplayInEngineTest() {
    platform::setCachesDirectory(caches_.path().string());
    server_.start();
    previousServer_ = OVAdSettings::adServerBaseURL();
    EXPECT_TRUE(OVAdSettings::setAdServerBaseURL(server_.baseURL()));
    window_->setRootViewController(root_);
    window_->makeKeyAndVisible();
  }
  ~HostDisplayInEngineTest() override {
    OVAdSettings::setAdServerBaseURL(previousServer_);
    platform::setCachesDirectory("");
  }

  // Pixels of the banner's place (0, 100, 320, 50) in the fixture's blue
  // (#1f6feb), text aside.
  std::size_t bluePixels() const {
    std::size_t count = 0;
    for (std::uint32_t y = 100; y < 150; ++y) {
      for (std::uint32_t x = 0; x < 320; ++x) {
        const std::uint8_t* p = pixels_.data() + y * kStride + x * 4;
        const bool blue = p[0] > 15 && p[0] < 50 && p[1] > 95 && p[1] < 130 && p[2] > 220 && p[3] == 255;
        count += blue ? 1 : 0;
      }
    }
    return count;
  }

  bool acknowledged(const std::string& type) {
    for (const auto& event : server_.logging().events()) {
      if (event.type == type && event.token == "ct-banner-1" && event.code) return true;
    }
    return false;
  }

  TempDir caches_;
  testserver::AdServer server_;
  std::string previousServer_;
  std::shared_ptr<platform::Window> window_ = std::make_shared<platform::Window>();
  std::shared_ptr<platform::ViewController> root_ = std::make_shared<platform::ViewController>();
  std::shared_ptr<CountingAdViewDelegate> delegate_ = std::make_shared<CountingAdViewDelegate>();
  std::shared_ptr<std::vector<FakeSafariPresenter::Presentation>> presentations_ =
      std::make_shared<std::vector<FakeSafariPresenter::Presentation>>();
  OVAdSafariViewController::Presenter::Scope browserScope_ = FakeSafariPresenter::install(presentations_);
  std::vector<std::uint8_t> pixels_ = std::vector<std::uint8_t>(kStride * kHeight, 0);
};

TEST_F(HostDisplayInEngineTest, TheBannersPageIsInTheHostBufferAndAHostTapOnItIsTheAdsClick) {
  const auto display = OVHostDisplay::displayWithWindow(window_);
  int changes = 0;
  display->setContentChangedHandler([&] { ++changes; });
  const auto banner = OVAdView::initWithPlacementID("banner", kOVAdSize320x50, root_);
  banner->setDelegate(delegate_);
  banner->setFrame({{0, 100}, banner->frame().size});
  window_->addSubview(banner);
  banner->loadAd();
  ASSERT_TRUE(waitFor([&] { return delegate_->impressions > 0; }));

  // The engine's first frames of a page may be blank; each new one is news
  // for the host, who draws again.
  ASSERT_TRUE(waitFor([&] {
    if (changes == 0) return false;
    changes = 0;
    EXPECT_EQ(display->render(pixels_.data(), kWidth, kHeight, kStride), OVHostDisplayResult::Rendered);
    return bluePixels() > 320 * 50 / 2;
  })) << bluePixels()
      << " blue pixels";

  const platform::Point onTheLink{160, 125};
  EXPECT_TRUE(display->sendPointer(OVHostPointerPhase::Press, onTheLink));
  EXPECT_TRUE(display->sendPointer(OVHostPointerPhase::Release, onTheLink));
  ASSERT_TRUE(waitFor([&] { return !presentations_->empty(); }));
  EXPECT_EQ((*presentations_)[0].url.absoluteString(), "https://shop.plexora.test/spring");
  EXPECT_TRUE(waitFor([&] { return delegate_->clicks == 1; }));
  EXPECT_TRUE(waitFor([&] { return acknowledged("open_link"); }));
}

}  // namespace
}  // namespace plexora::testing
