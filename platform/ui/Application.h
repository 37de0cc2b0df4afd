// The application: its life-cycle state, status bar, declared orientations,
// URL opening, windows, and the entry point for touches.
//
// State changes are driven by the host (or a test) through transitionTo(),
// which walks the states in the system's order and posts the life-cycle
// notifications on the library's default notification centre,
// with the application as object: "will" notifications before the state
// changes, "did" ones after it.
//
// The status-bar orientation is the device profile's (DeviceProvider), so
// the library's screen facts agree with it; changing it between portrait
// and landscape swaps the main screen's bounds and resizes the windows that
// filled the screen.
//
// URL opening is recorded so tests can see what was opened; a host that
// really opens URLs installs an opener.
//
// Touches: sendTouch() feeds one finger's touch sequence, in screen
// coordinates, to the front-most visible window that takes it.
//
// Thread safety: main thread only, except statusBarOrientation() and
// applicationState(), which any thread may read.
// Ownership: one application for the process, never destroyed. It knows
// windows without owning them and holds its delegate weakly.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/Export.h"
#include "platform/foundation/URL.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/InterfaceOrientation.h"
#include "platform/ui/Responder.h"

namespace plexora::platform {

class TouchDelivery;
class Window;

enum class ApplicationState : std::int64_t { Active = 0, Inactive = 1, Background = 2 };

class PLEXORA_EXPORT ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  // The application's main window, if it keeps one.
  virtual std::shared_ptr<Window> window() const { return nullptr; }
  // The orientations `window` supports; none leaves the answer to the
  // application's declaration.
  virtual std::optional<InterfaceOrientationMask> supportedInterfaceOrientationsForWindow(
      const std::shared_ptr<Window>& /*window*/) const {
    return std::nullopt;
  }
};

struct PLEXORA_EXPORT TouchDetails {
  // Seconds of the current Clock's monotonic time; none: now.
  std::optional<double> timestamp;
  double force = 0.0;
  double majorRadius = 0.0;
};

class PLEXORA_EXPORT Application final : public Responder {
 public:
  static std::shared_ptr<Application> shared();
  ~Application() override;

  ApplicationState applicationState() const { return state_.load(); }
  // Walks to `state`: active -> inactive posts WillResignActive; inactive
  // -> background DidEnterBackground; background -> inactive
  // WillEnterForeground; inactive -> active DidBecomeActive.
  void transitionTo(ApplicationState state);

  std::shared_ptr<ApplicationDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<ApplicationDelegate> delegate) { delegate_ = std::move(delegate); }

  InterfaceOrientation statusBarOrientation() const;
  void setStatusBarOrientation(InterfaceOrientation orientation);
  bool isStatusBarHidden() const { return statusBarHidden_; }
  void setStatusBarHidden(bool hidden) { statusBarHidden_ = hidden; }

  // What the application declares it supports (all but upside down unless
  // set), for any window.
  InterfaceOrientationMask supportedInterfaceOrientationsForWindow(const std::shared_ptr<Window>& window) const;
  void setSupportedInterfaceOrientations(InterfaceOrientationMask mask) { supportedOrientations_ = mask; }

  // Every living window, back to front: by level, then by the order in
  // which they were last shown (or made).
  std::vector<std::shared_ptr<Window>> windows() const;
  std::shared_ptr<Window> keyWindow() const;

  // Whether a URL's scheme (compared without case) is one the system can
  // open: "http" and "https" unless set otherwise.
  bool canOpenURL(const URL& url) const;
  // Opens the URL when it can: records it, hands it to the opener, answers
  // true.
  bool openURL(const URL& url);
  const std::vector<URL>& openedURLs() const { return openedURLs_; }
  void setOpenableSchemes(std::set<std::string> schemes);
  void setURLOpener(std::function<void(const URL&)> opener) { urlOpener_ = std::move(opener); }

  // Answers whether the touch reached a view.
  bool sendTouch(TouchPhase phase, Point screenLocation, TouchDetails details = {});
  // A touch that begins and ends at one point.
  bool sendTap(Point screenLocation, TouchDetails details = {});

  // Back to the state of a fresh launch: active, no key window, nothing
  // opened, default schemes, opener, orientations and status bar, no
  // delegate, no touch under way. Tests call it between cases; windows and
  // the device profile are left as they are.
  void reset();

 private:
  friend class Window;

  struct WindowEntry {
    Window* window;
    std::uint64_t order;
  };

  Application();
  void registerWindow(Window* window);
  void unregisterWindow(Window* window);
  void bringWindowToFront(Window* window);
  void setKeyWindow(Window* window);
  void post(const char* name);

  std::atomic<ApplicationState> state_{ApplicationState::Active};
  std::weak_ptr<ApplicationDelegate> delegate_;
  bool statusBarHidden_ = false;
  InterfaceOrientationMask supportedOrientations_;
  std::vector<WindowEntry> windows_;
  std::uint64_t nextWindowOrder_ = 0;
  std::weak_ptr<Window> keyWindow_;
  std::set<std::string> openableSchemes_;
  std::vector<URL> openedURLs_;
  std::function<void(const URL&)> urlOpener_;
  std::unique_ptr<TouchDelivery> touches_;
};

}  // namespace plexora::platform
