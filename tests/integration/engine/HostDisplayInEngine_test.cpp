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

#include "integration/engine/BannerInEngineFixture.h"
#include "plexora/OVAdView.h"
#include "plexora/OVHostDisplay.h"
#include "support/EngineWaits.h"

namespace plexora::testing {
namespace {

class HostDisplayInEngineTest : public BannerInEngineFixture {
 protected:
  static constexpr std::uint32_t kWidth = 375;
  static constexpr std::uint32_t kHeight = 200;
  static constexpr std::size_t kStride = kWidth * 4;

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
