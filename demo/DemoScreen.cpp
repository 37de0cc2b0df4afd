#include "DemoScreen.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/ui/Image.h"

namespace plexora::demo {

namespace {

constexpr std::size_t kBytesPerPixel = 4;

}  // namespace

std::shared_ptr<platform::Button> findButton(const std::shared_ptr<platform::View>& view, const std::string& title) {
  if (!view) return nullptr;
  if (auto button = std::dynamic_pointer_cast<platform::Button>(view)) {
    if (button->title(platform::kControlStateNormal) == title) return button;
  }
  for (const auto& subview : view->subviews()) {
    if (auto button = findButton(subview, title)) return button;
  }
  return nullptr;
}

platform::Point centreInWindow(const platform::View& view) {
  const platform::Rect bounds = view.bounds();
  return view.convertPointToView({bounds.midX(), bounds.midY()}, nullptr);
}

DemoScreen::DemoScreen(const std::shared_ptr<platform::Window>& window)
    : display_(OVHostDisplay::displayWithWindow(window)),
      width_(static_cast<std::uint32_t>(std::ceil(window->bounds().width()))),
      height_(static_cast<std::uint32_t>(std::ceil(window->bounds().height()))),
      pixels_(std::size_t{width_} * height_ * kBytesPerPixel) {
  display_->setContentChangedHandler([changed = changed_] { *changed = true; });
}

DemoScreen::Area DemoScreen::clipped(platform::Rect rect) const {
  const auto along = [](double value, std::uint32_t size) {
    return static_cast<std::uint32_t>(std::clamp(std::isfinite(value) ? value : 0.0, 0.0, static_cast<double>(size)));
  };
  return {along(rect.minX(), width_), along(rect.minY(), height_), along(rect.maxX(), width_),
          along(rect.maxY(), height_)};
}

void DemoScreen::refresh() {
  if (!*changed_) return;
  *changed_ = false;
  lastChange_ = std::chrono::steady_clock::now();
  const auto result = display_->render(pixels_.data(), width_, height_, std::size_t{width_} * kBytesPerPixel);
  if (result != OVHostDisplayResult::Rendered) {
    std::printf("           %-22s FAILED: %s\n", "render", OVHostDisplayResultDescription(result));
  }
}

bool DemoScreen::drawn(platform::Rect rect) {
  refresh();
  const auto [left, top, right, bottom] = clipped(rect);
  if (left >= right || top >= bottom) return false;
  const std::uint8_t* first = pixels_.data() + (std::size_t{top} * width_ + left) * kBytesPerPixel;
  for (std::uint32_t y = top; y < bottom; ++y) {
    for (std::uint32_t x = left; x < right; ++x) {
      const std::uint8_t* pixel = pixels_.data() + (std::size_t{y} * width_ + x) * kBytesPerPixel;
      if (!std::equal(pixel, pixel + kBytesPerPixel, first)) return true;
    }
  }
  return false;
}

bool DemoScreen::showsRowOf(platform::Rect rect, std::array<std::uint8_t, 3> rgb) {
  // Room for the rounding of a colour on its way through the engine.
  constexpr int kTolerance = 4;
  refresh();
  const auto [left, top, right, bottom] = clipped(rect);
  const auto matches = [&](const std::uint8_t* pixel) {
    for (std::size_t channel = 0; channel < rgb.size(); ++channel) {
      if (std::abs(int{pixel[channel]} - int{rgb[channel]}) > kTolerance) return false;
    }
    return true;
  };
  for (std::uint32_t y = top; y < bottom; ++y) {
    std::uint32_t x = left;
    while (x < right && matches(pixels_.data() + (std::size_t{y} * width_ + x) * kBytesPerPixel)) ++x;
    if (left < right && x == right) return true;
  }
  return false;
}

std::vector<std::uint8_t> DemoScreen::pixelsOf(platform::Rect rect) {
  refresh();
  const auto [left, top, right, bottom] = clipped(rect);
  std::vector<std::uint8_t> part;
  for (std::uint32_t y = top; y < bottom; ++y) {
    const auto row = pixels_.begin() + static_cast<std::ptrdiff_t>((std::size_t{y} * width_ + left) * kBytesPerPixel);
    part.insert(part.end(), row, row + static_cast<std::ptrdiff_t>((right - left) * kBytesPerPixel));
  }
  return part;
}

bool DemoScreen::write(platform::Rect rect, const std::filesystem::path& pngPath, const char* label) {
  refresh();
  const auto [left, top, right, bottom] = clipped(rect);
  std::shared_ptr<platform::Image> image;
  if (left < right && top < bottom) {
    platform::Bytes part;
    for (std::uint32_t y = top; y < bottom; ++y) {
      const auto row = pixels_.begin() + static_cast<std::ptrdiff_t>((std::size_t{y} * width_ + left) * kBytesPerPixel);
      part.insert(part.end(), row, row + static_cast<std::ptrdiff_t>((right - left) * kBytesPerPixel));
    }
    image = platform::Image::fromRGBA(right - left, bottom - top, 1.0, std::move(part));
  }
  if (!image) {
    std::printf("           %-22s FAILED: nothing to write\n", label);
    return false;
  }
  const auto png = image->encodePNG();
  std::ofstream file(pngPath, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  if (!file) {
    std::printf("           %-22s FAILED: cannot write %s\n", label, pngPath.c_str());
    return false;
  }
  std::printf("           %-22s %s\n", label, pngPath.c_str());
  return true;
}

bool DemoScreen::tap(platform::Point location) {
  const bool reached = display_->sendPointer(OVHostPointerPhase::Press, location);
  display_->sendPointer(OVHostPointerPhase::Release, location);
  return reached;
}


bool DemoScreen::still(double seconds) {
  refresh();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - lastChange_).count() >= seconds;
}

}  // namespace plexora::demo
