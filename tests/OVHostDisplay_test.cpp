// A host's display of a library window on the manual clock: the fixture
// native ad from the loopback ad server drawn into a host buffer and clicked
// through the host's pointer, the change notification, and the inputs a
// host may get wrong.
#include "plexora/OVHostDisplay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "adapters/OVPXNativeAdAdapter.h"
#include "adapters/views/nativead/OVNativeAdTemplateView.h"
#include "controllers/OVDisplayAdController.h"
#include "integration/NativeAdInWindowTest.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Screen.h"
#include "plexora/OVNativeAdView.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdScreen.h"

namespace plexora::testing {
namespace {

using platform::Point;
using platform::Rect;

constexpr std::uint8_t kSentinel = 0xA5;

// A host's buffer: rows of `stride` bytes, filled with a sentinel so what
// the display leaves alone shows.
struct HostBuffer {
  HostBuffer(std::uint32_t w, std::uint32_t h, std::size_t s)
      : width(w), height(h), stride(s), bytes(h * s, kSentinel) {}

  const std::uint8_t* at(std::uint32_t x, std::uint32_t y) const { return bytes.data() + y * stride + x * 4; }
  // How many pixels of `rect` pass.
  template <class Test>
  std::size_t count(Rect rect, Test passes) const {
    std::size_t found = 0;
    for (auto y = static_cast<std::uint32_t>(rect.minY()); y < rect.maxY() && y < height; ++y) {
      for (auto x = static_cast<std::uint32_t>(rect.minX()); x < rect.maxX() && x < width; ++x) {
        found += passes(at(x, y)) ? 1 : 0;
      }
    }
    return found;
  }

  std::uint32_t width;
  std::uint32_t height;
  std::size_t stride;
  std::vector<std::uint8_t> bytes;
};

bool isBlue(const std::uint8_t* p) { return p[3] == 255 && p[2] > 150 && p[0] < 120; }
bool isRed(const std::uint8_t* p) { return p[0] == 255 && p[1] == 0 && p[2] == 0 && p[3] == 255; }

class OVHostDisplayTest : public NativeAdInWindowTest {
 protected:
  // Time for a few of the display's looks at the window, however slow the
  // build draws it.
  void tick() {
    for (int i = 0; i < 20; ++i) {
      world_.clock().advance(0.1);
      DisplayAdTestWorld::settle();
    }
  }

  std::shared_ptr<OVHostDisplay> display_ = OVHostDisplay::displayWithWindow(window_);
};

TEST_F(OVHostDisplayTest, TheFixtureNativeAdIsDrawnIntoTheHostBufferAndAPointerTapOnItsCallToActionIsALoggedClick) {
  OVAdConfigManager::sharedManager()->loadConfigurationFromDictionary(
      platform::Value(platform::Dictionary{{"ad_clickability_threshold_ms", 500}}));
  const auto ad = loadedAd(kNativeFixturePlacement, kOVNativeAdMediaCachePolicyIcon | kOVNativeAdMediaCachePolicyImage);
  const auto adapter = std::dynamic_pointer_cast<OVPXNativeAdAdapter>(ad->adController()->currentAdapter());
  ASSERT_TRUE(adapter);
  adapter->setEventManager(events_);
  const auto view = std::dynamic_pointer_cast<OVNativeAdTemplateView>(
      OVNativeAdView::nativeAdViewWithNativeAd(ad, kOVNativeAdViewTypeGenericHeight300));
  ASSERT_TRUE(view);
  view->setFrame(Rect(0, 120, 375, 300));
  window_->addSubview(view);
  DisplayAdTestWorld::settle();
  ASSERT_TRUE(view->isLoaded());

  // Rows wider than the picture: the bytes past each row stay the host's.
  HostBuffer buffer(375, 480, 375 * 4 + 12);
  ASSERT_EQ(display_->render(buffer.bytes.data(), buffer.width, buffer.height, buffer.stride),
            OVHostDisplayResult::Rendered);
  const auto button = view->callToActionButton();
  const Rect buttonRect = button->convertRectToView(button->bounds(), nullptr);
  ASSERT_FALSE(buttonRect.isEmpty());
  EXPECT_GT(buffer.count(buttonRect, isBlue), static_cast<std::size_t>(buttonRect.width() * buttonRect.height() / 3))
      << "the call to action in its blue at " << buttonRect;
  EXPECT_EQ(buffer.count(Rect(0, 120, 375, 300),
                         [](const std::uint8_t* p) { return p[0] < 200 || p[1] < 200 || p[2] < 200; }) > 5000,
            true)
      << "the template is more than a white box";
  for (std::uint32_t y = 0; y < buffer.height; ++y) {
    const std::uint8_t* tail = buffer.bytes.data() + y * buffer.stride + buffer.width * 4;
    ASSERT_EQ(std::count(tail, tail + 12, kSentinel), 12) << "row " << y;
  }

  // Seen, then tapped past the click threshold through the host's pointer.
  world_.clock().advance(0.5);
  DisplayAdTestWorld::settle();
  world_.clock().advance(4.0);
  DisplayAdTestWorld::settle();
  const Point tap{buttonRect.midX(), buttonRect.midY()};
  EXPECT_TRUE(display_->sendPointer(OVHostPointerPhase::Press, tap));
  EXPECT_TRUE(display_->sendPointer(OVHostPointerPhase::Move, {tap.x + 1, tap.y}));
  EXPECT_TRUE(display_->sendPointer(OVHostPointerPhase::Release, {tap.x + 1, tap.y}));
  DisplayAdTestWorld::settle();
  ASSERT_EQ(presentations_->size(), 1u);
  EXPECT_EQ((*presentations_)[0].url.absoluteString(), "https://shop.plexora.test/boots");
  world_.clock().advance(0.5);
  EXPECT_TRUE(DisplayAdTestWorld::waitFor([&] { return !loggedEvents("open_link").empty(); }));
}

TEST_F(OVHostDisplayTest, TheHostHearsOfAChangeOnceUntilThePictureChangesAgain) {
  // A small window: quick to draw, so the looks come often in any build.
  const auto window = std::make_shared<platform::Window>(Rect(0, 0, 40, 40));
  window->setHidden(false);
  const auto display = OVHostDisplay::displayWithWindow(window);
  int changes = 0;
  display->setContentChangedHandler([&] { ++changes; });
  tick();
  EXPECT_EQ(changes, 1) << "the host has seen nothing yet";
  tick();
  EXPECT_EQ(changes, 1) << "nothing changed";

  auto square = std::make_shared<platform::View>(Rect(10, 10, 20, 20));
  square->setBackgroundColor(platform::Color{1, 0, 0, 1});
  window->addSubview(square);
  tick();
  EXPECT_EQ(changes, 2);
  HostBuffer buffer(40, 40, 160);
  ASSERT_EQ(display->render(buffer.bytes.data(), 40, 40, 160), OVHostDisplayResult::Rendered);
  EXPECT_EQ(buffer.count(Rect(10, 10, 20, 20), isRed), 400u);
  EXPECT_EQ(buffer.count(Rect(0, 0, 40, 10), isRed), 0u);

  // What the host rendered itself is no news; a change after it is.
  square->setBackgroundColor(platform::Color{0, 0, 1, 1});
  ASSERT_EQ(display->render(buffer.bytes.data(), 40, 40, 160), OVHostDisplayResult::Rendered);
  tick();
  EXPECT_EQ(changes, 2);
  square->setHidden(true);
  tick();
  EXPECT_EQ(changes, 3);

  display->setContentChangedHandler(nullptr);
  square->setHidden(false);
  tick();
  EXPECT_EQ(changes, 3) << "no handler, no looks";
}

TEST_F(OVHostDisplayTest, BadBuffersAreRefusedAndLeaveTheBufferAlone) {
  HostBuffer buffer(8, 8, 32);
  struct Case {
    const char* name;
    std::uint8_t* pixels;
    std::uint32_t width;
    std::uint32_t height;
    std::size_t stride;
    OVHostDisplayResult expected;
  };
  const Case cases[] = {
      {"null buffer", nullptr, 8, 8, 32, OVHostDisplayResult::NullBuffer},
      {"zero width", buffer.bytes.data(), 0, 8, 32, OVHostDisplayResult::EmptySize},
      {"zero height", buffer.bytes.data(), 8, 0, 32, OVHostDisplayResult::EmptySize},
      {"stride short of a row", buffer.bytes.data(), 8, 8, 31, OVHostDisplayResult::StrideTooSmall},
      {"more pixels than a picture", buffer.bytes.data(), 100000, 100000, 400000, OVHostDisplayResult::TooLarge},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(display_->render(c.pixels, c.width, c.height, c.stride), c.expected) << c.name;
    EXPECT_STRNE(OVHostDisplayResultDescription(c.expected), "unknown") << c.name;
  }
  EXPECT_EQ(std::count(buffer.bytes.begin(), buffer.bytes.end(), kSentinel),
            static_cast<std::ptrdiff_t>(buffer.bytes.size()));

  EXPECT_EQ(OVHostDisplay::displayWithWindow(nullptr), nullptr);
  auto gone = std::make_shared<platform::Window>();
  const auto orphan = OVHostDisplay::displayWithWindow(gone);
  gone.reset();
  EXPECT_EQ(orphan->render(buffer.bytes.data(), 8, 8, 32), OVHostDisplayResult::NoWindow);
  EXPECT_FALSE(orphan->sendPointer(OVHostPointerPhase::Press, {1, 1}));
}

TEST_F(OVHostDisplayTest, PointerEventsOutsideTheWindowOrWithoutAPressAreIgnoredAndADragOffAButtonDoesNotWorkIt) {
  auto button = std::make_shared<platform::Button>();
  button->setFrame(Rect(10, 10, 100, 40));
  int pressed = 0;
  button->addAction(platform::kControlEventTouchUpInside,
                    [&](platform::Control&, const platform::Event*) { ++pressed; });
  window_->addSubview(button);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Rect bounds = window_->bounds();

  struct Ignored {
    const char* name;
    OVHostPointerPhase phase;
    Point location;
  };
  const Ignored ignored[] = {
      {"move without a press", OVHostPointerPhase::Move, {20, 20}},
      {"release without a press", OVHostPointerPhase::Release, {20, 20}},
      {"press left of the window", OVHostPointerPhase::Press, {-1, 20}},
      {"press below the window", OVHostPointerPhase::Press, {20, bounds.maxY() + 5}},
      {"press at no number", OVHostPointerPhase::Press, {nan, 20}},
      {"press at infinity", OVHostPointerPhase::Press, {std::numeric_limits<double>::infinity(), 20}},
  };
  for (const Ignored& event : ignored) {
    EXPECT_FALSE(display_->sendPointer(event.phase, event.location)) << event.name;
  }
  EXPECT_EQ(pressed, 0);

  // Pressed on the button, let go far outside the window: the touch ends
  // there and the button is not worked.
  EXPECT_TRUE(display_->sendPointer(OVHostPointerPhase::Press, {20, 20}));
  display_->sendPointer(OVHostPointerPhase::Release, {-500, -500});
  DisplayAdTestWorld::settle();
  EXPECT_EQ(pressed, 0);
  // A release that is not a point still ends the touch under way.
  EXPECT_TRUE(display_->sendPointer(OVHostPointerPhase::Press, {20, 20}));
  display_->sendPointer(OVHostPointerPhase::Release, {nan, nan});
  EXPECT_FALSE(display_->sendPointer(OVHostPointerPhase::Release, {20, 20})) << "nothing under way any more";
  EXPECT_EQ(pressed, 0);

  EXPECT_TRUE(display_->sendPointer(OVHostPointerPhase::Press, {20, 20}));
  EXPECT_TRUE(display_->sendPointer(OVHostPointerPhase::Release, {21, 21}));
  DisplayAdTestWorld::settle();
  EXPECT_EQ(pressed, 1);
}

// The host's window is the screen full-screen ads lay out on, in the
// orientation its shape says.
TEST_F(OVHostDisplayTest, TheHostsWindowBecomesTheMainScreen) {
  struct Case {
    Rect frame;
    platform::InterfaceOrientation orientation;
  };
  const Case cases[] = {
      {Rect(0, 0, 375, 812), platform::InterfaceOrientation::Portrait},
      {Rect(40, 30, 900, 500), platform::InterfaceOrientation::LandscapeRight},
      {Rect(0, 0, 400, 400), platform::InterfaceOrientation::Portrait},
  };
  for (const auto& [frame, orientation] : cases) {
    SCOPED_TRACE(::testing::Message() << frame);
    const auto window = std::make_shared<platform::Window>(frame);
    const auto display = OVHostDisplay::displayWithWindow(window);
    EXPECT_EQ(platform::Screen::main()->bounds(), Rect(0, 0, frame.width(), frame.height()));
    EXPECT_EQ(OVAdScreen::sizeInOrientation(), frame.size);
    EXPECT_EQ(OVAdScreen::size(), frame.size);
    EXPECT_EQ(platform::Application::shared()->statusBarOrientation(), orientation);
  }
}

}  // namespace
}  // namespace plexora::testing
