#include "platform/ui/Window.h"

#include <utility>

#include "platform/ui/Application.h"
#include "platform/ui/MainThread.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ViewController.h"

namespace plexora::platform {

Window::Window() : Window(Screen::main()->bounds()) {}

Window::Window(Rect frame) : View(frame, WindowRoot{}), screen_(Screen::main()) {
  View::setHidden(true);
  Application::shared()->registerWindow(this);
}

Window::~Window() { Application::shared()->unregisterWindow(this); }

void Window::setScreen(std::shared_ptr<Screen> screen) { screen_ = screen ? std::move(screen) : Screen::main(); }

bool Window::isKeyWindow() const { return Application::shared()->keyWindow().get() == this; }

void Window::makeKeyWindow() {
  assertMainThread();
  Application::shared()->setKeyWindow(this);
}

void Window::makeKeyAndVisible() {
  setHidden(false);
  makeKeyWindow();
}

void Window::setHidden(bool hidden) {
  assertMainThread();
  if (hidden == isHidden()) {
    return;
  }
  View::setHidden(hidden);
  if (!hidden) {
    Application::shared()->bringWindowToFront(this);
  } else if (isKeyWindow()) {
    Application::shared()->setKeyWindow(nullptr);
  }
  if (rootViewController_) {
    rootViewController_->sendAppearance(hidden ? ViewController::Appearance::WillDisappear
                                               : ViewController::Appearance::WillAppear,
                                        false);
    rootViewController_->sendAppearance(hidden ? ViewController::Appearance::DidDisappear
                                               : ViewController::Appearance::DidAppear,
                                        false);
  }
}

void Window::setRootViewController(std::shared_ptr<ViewController> controller) {
  assertMainThread();
  if (controller == rootViewController_) {
    return;
  }
  auto old = std::exchange(rootViewController_, std::move(controller));
  const bool visible = !isHidden();
  if (old) {
    if (visible) {
      old->sendAppearance(ViewController::Appearance::WillDisappear, false);
    }
    if (auto oldView = old->viewIfLoaded(); oldView && oldView->superview().get() == this) {
      oldView->removeFromSuperview();
    }
    if (visible) {
      old->sendAppearance(ViewController::Appearance::DidDisappear, false);
    }
  }
  if (rootViewController_) {
    auto view = rootViewController_->view();
    view->setFrame(bounds());
    view->setAutoresizingMask(kAutoresizingFlexibleWidth | kAutoresizingFlexibleHeight);
    if (visible) {
      rootViewController_->sendAppearance(ViewController::Appearance::WillAppear, false);
    }
    insertSubview(view, 0);
    if (visible) {
      rootViewController_->sendAppearance(ViewController::Appearance::DidAppear, false);
    }
  }
}

std::shared_ptr<Responder> Window::nextResponder() const { return Application::shared(); }

}  // namespace plexora::platform
