// Windows: the roots of view trees, placed on a screen by their frames
// (screen coordinates). A window starts hidden, at the normal level, the
// size of the main screen. The application lists every living window,
// back to front by level (see Application::windows); showing a window puts
// it in front of the others of its level.
//
// The root view controller's view fills the window and follows its size;
// while the window is visible the root controller hears the appearance
// hooks as the window shows and hides and as the root is replaced.
//
// Thread safety: main thread only.
// Ownership: a window owns its root view controller and its subviews; it
// shares its screen. The application knows windows without owning them:
// the host keeps its windows alive.
#pragma once

#include <memory>

#include "platform/Export.h"
#include "platform/ui/View.h"

namespace plexora::platform {

class Screen;
class ViewController;

class PLEXORA_EXPORT Window : public View {
 public:
  static constexpr double kLevelNormal = 0.0;
  static constexpr double kLevelStatusBar = 1000.0;
  static constexpr double kLevelAlert = 2000.0;

  Window();
  explicit Window(Rect frame);
  ~Window() override;

  double windowLevel() const { return level_; }
  void setWindowLevel(double level) { level_ = level; }
  std::shared_ptr<Screen> screen() const { return screen_; }
  void setScreen(std::shared_ptr<Screen> screen);

  bool isKeyWindow() const;
  void makeKeyWindow();
  // Shows the window and makes it the key window.
  void makeKeyAndVisible();

  std::shared_ptr<ViewController> rootViewController() const { return rootViewController_; }
  void setRootViewController(std::shared_ptr<ViewController> controller);

  void setHidden(bool hidden) override;
  // The application.
  std::shared_ptr<Responder> nextResponder() const override;

 private:
  double level_ = kLevelNormal;
  std::shared_ptr<Screen> screen_;
  std::shared_ptr<ViewController> rootViewController_;
};

}  // namespace plexora::platform
