#include "plexora/OVHostDisplay.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <utility>

#include "platform/device/DeviceProvider.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainThreadCheck.h"
#include "platform/media/DisplayLink.h"
#include "platform/ui/Application.h"
#include "platform/ui/Image.h"
#include "platform/ui/InterfaceOrientation.h"
#include "platform/ui/ViewRendering.h"
#include "platform/ui/Window.h"
#include "util/OVAdScreen.h"

namespace plexora {

namespace {

// Display refreshes between two looks at the window: a few a second keep a
// host's picture current without drawing the window sixty times a second.
constexpr int kChangeCheckInterval = 6;
// A look draws the whole window, which on a slow machine (or a large
// window) takes long: the looks take at most this share of the main
// thread's time, so the ad's own timers (viewability) keep their pace.
constexpr double kLookTimeShare = 0.1;

// Full-screen ads lay themselves out on the main screen: the host's window
// is the only screen its user sees, so the main screen takes its size, and
// the interface the orientation its shape says (a square one counts as
// portrait). A landscape orientation already in force is kept.
void makeMainScreenOf(const platform::Window& window) {
  const platform::Size size = window.bounds().size;
  const bool portrait = size.height >= size.width;
  platform::DeviceProvider::current()->updateProfile([&](platform::DeviceProfile& profile) {
    profile.screen.bounds = {size.width, size.height};
    profile.screen.nativeBounds.reset();
    if (portrait) {
      profile.orientation = platform::InterfaceOrientation::Portrait;
    } else if (!platform::isLandscape(profile.orientation)) {
      profile.orientation = platform::InterfaceOrientation::LandscapeRight;
    }
  });
  OVAdScreen::recomputeCachedState();
}

bool isFinite(platform::Point point) { return std::isfinite(point.x) && std::isfinite(point.y); }

std::shared_ptr<platform::Image> picture(const platform::Window& window, std::uint32_t width, std::uint32_t height) {
  const platform::Rect bounds = window.bounds();
  return platform::renderView(window, {bounds.origin, {static_cast<double>(width), static_cast<double>(height)}}, 1.0);
}

bool samePicture(const platform::Image* a, const platform::Image* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return a->pixelWidth() == b->pixelWidth() && a->pixelHeight() == b->pixelHeight() &&
         std::ranges::equal(a->rgba(), b->rgba());
}

}  // namespace

const char* OVHostDisplayResultDescription(OVHostDisplayResult result) {
  switch (result) {
    case OVHostDisplayResult::Rendered:
      return "rendered";
    case OVHostDisplayResult::NullBuffer:
      return "null buffer";
    case OVHostDisplayResult::EmptySize:
      return "empty size";
    case OVHostDisplayResult::StrideTooSmall:
      return "stride too small";
    case OVHostDisplayResult::TooLarge:
      return "too large";
    case OVHostDisplayResult::NoWindow:
      return "no window";
  }
  return "unknown";
}

struct OVHostDisplay::State {
  std::weak_ptr<platform::Window> window;
  ContentChangedHandler handler;
  std::shared_ptr<platform::DisplayLink> link;
  // What the host saw last (rendered or announced), at the size it asked
  // for; the change check draws the window at that size.
  std::shared_ptr<platform::Image> lastPicture;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  bool pressed = false;
  platform::Point lastPointer;
  // No look before this time of the display link's clock.
  double nextLook = 0.0;
};

std::shared_ptr<OVHostDisplay> OVHostDisplay::displayWithWindow(const std::shared_ptr<platform::Window>& window) {
  platform::requireMainThread("OVHostDisplay::displayWithWindow");
  if (!window) return nullptr;
  makeMainScreenOf(*window);
  return std::shared_ptr<OVHostDisplay>(new OVHostDisplay(window));
}

OVHostDisplay::OVHostDisplay(const std::shared_ptr<platform::Window>& window) : state_(std::make_unique<State>()) {
  state_->window = window;
  const platform::Rect bounds = window->bounds();
  state_->width = static_cast<std::uint32_t>(std::max(1.0, std::ceil(bounds.width())));
  state_->height = static_cast<std::uint32_t>(std::max(1.0, std::ceil(bounds.height())));
}

OVHostDisplay::~OVHostDisplay() {
  if (state_->link) state_->link->invalidate();
}

std::shared_ptr<platform::Window> OVHostDisplay::window() const { return state_->window.lock(); }

OVHostDisplayResult OVHostDisplay::render(std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                                          std::size_t stride) {
  platform::requireMainThread("OVHostDisplay::render");
  if (pixels == nullptr) return OVHostDisplayResult::NullBuffer;
  if (width == 0 || height == 0) return OVHostDisplayResult::EmptySize;
  const std::size_t rowBytes = std::size_t{width} * platform::Image::kBytesPerPixel;
  if (stride < rowBytes) return OVHostDisplayResult::StrideTooSmall;
  if (!platform::isAllowedImageSize(width, height)) return OVHostDisplayResult::TooLarge;
  const auto window = state_->window.lock();
  if (!window) return OVHostDisplayResult::NoWindow;
  auto image = picture(*window, width, height);
  if (!image) return OVHostDisplayResult::TooLarge;
  const auto rgba = image->rgba();
  for (std::uint32_t row = 0; row < height; ++row) {
    std::memcpy(pixels + row * stride, rgba.data() + row * rowBytes, rowBytes);
  }
  state_->lastPicture = std::move(image);
  state_->width = width;
  state_->height = height;
  return OVHostDisplayResult::Rendered;
}

void OVHostDisplay::setContentChangedHandler(ContentChangedHandler handler) {
  platform::requireMainThread("OVHostDisplay::setContentChangedHandler");
  state_->handler = std::move(handler);
  if (!state_->handler) {
    if (state_->link) state_->link->invalidate();
    state_->link.reset();
    return;
  }
  if (state_->link) return;
  const std::weak_ptr<OVHostDisplay> weakSelf = weak_from_this();
  state_->link = platform::DisplayLink::create([weakSelf](platform::DisplayLink& link) {
    if (const auto self = weakSelf.lock()) self->checkContent(link.timestamp());
  });
  state_->link->addToRunLoop([](platform::Task task) { platform::DispatchQueue::main()->async(std::move(task)); });
  state_->link->setFrameInterval(kChangeCheckInterval);
  state_->link->setPaused(false);
}

void OVHostDisplay::checkContent(double now) {
  const auto window = state_->window.lock();
  if (!window || !state_->handler || now < state_->nextLook) return;
  const auto started = std::chrono::steady_clock::now();
  auto image = picture(*window, state_->width, state_->height);
  const std::chrono::duration<double> cost = std::chrono::steady_clock::now() - started;
  state_->nextLook = now + cost.count() / kLookTimeShare;
  if (samePicture(image.get(), state_->lastPicture.get())) return;
  state_->lastPicture = std::move(image);
  // The handler may replace itself or drop the display: it runs from a copy.
  const ContentChangedHandler handler = state_->handler;
  handler();
}

bool OVHostDisplay::sendPointer(OVHostPointerPhase phase, platform::Point location) {
  platform::requireMainThread("OVHostDisplay::sendPointer");
  const auto window = state_->window.lock();
  if (!window) {
    state_->pressed = false;
    return false;
  }
  const auto application = platform::Application::shared();
  const platform::Rect frame = window->frame();
  const platform::Rect bounds = window->bounds();
  const auto onScreen = [&](platform::Point point) {
    return platform::Point{frame.minX() + point.x - bounds.minX(), frame.minY() + point.y - bounds.minY()};
  };
  if (!isFinite(location)) {
    // A touch under way must still end, or the next press would find it.
    if (!state_->pressed || phase != OVHostPointerPhase::Release) return false;
    state_->pressed = false;
    return application->sendTouch(platform::TouchPhase::Cancelled, onScreen(state_->lastPointer));
  }
  switch (phase) {
    case OVHostPointerPhase::Press:
      if (!bounds.containsPoint(location)) return false;
      state_->pressed = application->sendTouch(platform::TouchPhase::Began, onScreen(location));
      state_->lastPointer = location;
      return state_->pressed;
    case OVHostPointerPhase::Move:
      if (!state_->pressed) return false;
      state_->lastPointer = location;
      return application->sendTouch(platform::TouchPhase::Moved, onScreen(location));
    case OVHostPointerPhase::Release:
      if (!state_->pressed) return false;
      state_->pressed = false;
      return application->sendTouch(platform::TouchPhase::Ended, onScreen(location));
  }
  return false;
}

}  // namespace plexora
