// Shows one of the library's windows inside a host's own: draws the window
// (its views, the web engine's pages and the video engine's frames as they
// last drew) into a pixel buffer the host owns, tells the host when the
// window's picture changed, and feeds the host's pointer to the window's
// views as touches, so a tap reaches the ad (a page's link, a call to
// action).
//
//   auto display = OVHostDisplay::displayWithWindow(window);
//   display->setContentChangedHandler([&] { dirty = true; });
//   ... dirty: display->render(pixels, width, height, stride); present them ...
//   display->sendPointer(OVHostPointerPhase::Press, {x, y});
//   display->sendPointer(OVHostPointerPhase::Release, {x, y});
//
// The window becomes the screen: making a display gives the main screen the
// window's size, and the interface a portrait orientation when the window
// is at least as tall as it is wide (else landscape), so full-screen ads
// (interstitials, rewarded and full-screen video) lay out inside the
// host's window. A host with several displays makes the one of its
// full-screen ads last.
//
// Pixels: one pixel a point of the window, the buffer's top left at the
// window's (0, 0). Each pixel is four bytes in the byte order R, G, B, A,
// with straight (not premultiplied) alpha; where the window draws nothing
// the pixel is transparent (0, 0, 0, 0). Rows follow each other `stride`
// bytes apart.
//
// Thread safety: main thread only (the thread that runs
// platform::MainLoop); the handler runs on the main queue, never inside a
// call to the display.
// Ownership: the host owns the display and its buffer; the display holds
// the window weakly (the host keeps its window alive) and holds the
// handler until it is replaced or the display goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/Export.h"
#include "platform/ui/Geometry.h"

namespace plexora::platform {
class Window;
}

namespace plexora {

enum class OVHostDisplayResult {
  Rendered,
  NullBuffer,      // no buffer given
  EmptySize,       // a width or height of 0
  StrideTooSmall,  // rows shorter than width * 4 bytes
  TooLarge,        // more pixels than a picture may have
  NoWindow,        // the window has gone
};

// A text naming the result, for the host's log ("rendered", "null buffer", ...).
PLEXORA_EXPORT const char* OVHostDisplayResultDescription(OVHostDisplayResult result);

// One pointer (a mouse's first button or a finger) in window coordinates.
enum class OVHostPointerPhase { Press, Move, Release };

class PLEXORA_EXPORT OVHostDisplay final : public std::enable_shared_from_this<OVHostDisplay> {
 public:
  using ContentChangedHandler = std::function<void()>;

  static std::shared_ptr<OVHostDisplay> displayWithWindow(const std::shared_ptr<platform::Window>& window);
  ~OVHostDisplay();
  OVHostDisplay(const OVHostDisplay&) = delete;
  OVHostDisplay& operator=(const OVHostDisplay&) = delete;

  std::shared_ptr<platform::Window> window() const;

  // Draws the window's top-left `width` x `height` points into `pixels`,
  // which holds `height` rows of `stride` bytes; the bytes of a row beyond
  // width * 4 are left as they were. Anything but Rendered leaves the
  // buffer untouched.
  OVHostDisplayResult render(std::uint8_t* pixels, std::uint32_t width, std::uint32_t height, std::size_t stride);

  // Called on the main queue once the window's picture differs from the
  // one last rendered for the host (or last announced): a view changed, a
  // page or a video drew a new frame. The window is looked at a few times
  // a second while a handler is set (less often when drawing it is slow,
  // so the looks take a small share of the main thread); an empty handler
  // stops that.
  void setContentChangedHandler(ContentChangedHandler handler);

  // A press inside the window begins a touch; moves and the release follow
  // it wherever the pointer goes, and the release ends it, so a press and a
  // release on a button work it. A press outside the window, a move or
  // release with no press under way, and a point that is not finite are
  // ignored. Answers whether the event reached one of the window's views.
  bool sendPointer(OVHostPointerPhase phase, platform::Point location);

 private:
  struct State;

  explicit OVHostDisplay(const std::shared_ptr<platform::Window>& window);
  // `now`: the display link's tick, in seconds of the platform clock.
  void checkContent(double now);

  std::unique_ptr<State> state_;
};

}  // namespace plexora
