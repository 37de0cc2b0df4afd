// What the demo shows of a window, all of it through the host display: the
// window drawn into a buffer of the demo's own whenever the display says
// its picture changed, parts of that picture written as PNG files, and taps
// sent as the host's pointer.
//
// Thread safety: main thread only.
// Ownership: owns the display and the buffer; the caller keeps the window.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Button.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Window.h"
#include "plexora/OVHostDisplay.h"

namespace plexora::demo {

// The button titled `title` in the view tree, as a user finds it on screen.
std::shared_ptr<platform::Button> findButton(const std::shared_ptr<platform::View>& view, const std::string& title);
// The middle of the view, in its window's coordinates.
platform::Point centreInWindow(const platform::View& view);

class DemoScreen final {
 public:
  explicit DemoScreen(const std::shared_ptr<platform::Window>& window);

  // Draws the window again when its picture changed since the last look.
  void refresh();
  // Whether `rect` of the window, as last drawn, shows more than one colour
  // (the engine's first frames of a page are of one colour).
  bool drawn(platform::Rect rect);
  // Whether some row of `rect`, as last drawn, is of the colour `rgb` all
  // across (a page's own band of colour).
  bool showsRowOf(platform::Rect rect, std::array<std::uint8_t, 3> rgb);
  // The pixels of `rect` as last drawn, to tell later whether it changed.
  std::vector<std::uint8_t> pixelsOf(platform::Rect rect);
  // `rect` of the window, as last drawn, as a PNG file; prints the path or
  // the failure under `label`.
  bool write(platform::Rect rect, const std::filesystem::path& pngPath, const char* label);
  // A press and a release at `location` in the window; false when the press
  // reached no view.
  bool tap(platform::Point location);
  // Whether the window's picture has stayed the same for `seconds` (images
  // and media still arriving keep changing it).
  bool still(double seconds);

 private:
  struct Area {
    std::uint32_t left, top, right, bottom;
  };
  // `rect` within the picture, in whole pixels.
  Area clipped(platform::Rect rect) const;

  std::shared_ptr<OVHostDisplay> display_;
  std::uint32_t width_;
  std::uint32_t height_;
  std::vector<std::uint8_t> pixels_;
  std::shared_ptr<bool> changed_ = std::make_shared<bool>(true);
  std::chrono::steady_clock::time_point lastChange_ = std::chrono::steady_clock::now();
};

}  // namespace plexora::demo
