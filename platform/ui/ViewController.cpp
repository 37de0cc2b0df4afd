// View loading, appearance, children and the responder chain.
#include "platform/ui/ViewController.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "platform/ui/Application.h"
#include "platform/ui/MainThread.h"
#include "platform/ui/Screen.h"
#include "platform/ui/View.h"

namespace plexora::platform {

ViewController::~ViewController() {
  if (view_) {
    view_->viewController_.reset();
  }
}

std::shared_ptr<ViewController> ViewController::sharedController() {
  auto self = weak_from_this().lock();
  if (!self) {
    throw std::logic_error("a view controller must be owned by a shared_ptr before its view is loaded or set");
  }
  return std::static_pointer_cast<ViewController>(self);
}

std::shared_ptr<View> ViewController::view() {
  assertMainThread();
  if (!view_ && !loadingView_) {
    loadingView_ = true;
    loadView();
    if (!view_) {
      setView(std::make_shared<View>());
    }
    loadingView_ = false;
    viewDidLoad();
  }
  return view_;
}

void ViewController::setView(std::shared_ptr<View> view) {
  assertMainThread();
  auto self = sharedController();
  if (view_) {
    view_->viewController_.reset();
  }
  view_ = std::move(view);
  if (view_) {
    view_->viewController_ = self;
  }
}

void ViewController::loadView() { setView(std::make_shared<View>(Screen::main()->bounds())); }

InterfaceOrientationMask ViewController::supportedInterfaceOrientations() const {
  return kInterfaceOrientationMaskAllButUpsideDown;
}

InterfaceOrientation ViewController::preferredInterfaceOrientationForPresentation() const {
  return Application::shared()->statusBarOrientation();
}

void ViewController::sendAppearance(Appearance appearance, bool animated) {
  switch (appearance) {
    case Appearance::WillAppear:
      viewWillAppear(animated);
      break;
    case Appearance::DidAppear:
      viewDidAppear(animated);
      break;
    case Appearance::WillDisappear:
      viewWillDisappear(animated);
      break;
    case Appearance::DidDisappear:
      viewDidDisappear(animated);
      break;
  }
  for (const auto& child : childViewControllers()) {
    child->sendAppearance(appearance, animated);
  }
}

void ViewController::addChildViewController(const std::shared_ptr<ViewController>& child) {
  assertMainThread();
  auto self = sharedController();
  if (!child || child == self || child->parent_.lock() == self) {
    return;
  }
  if (child->parentViewController()) {
    child->removeFromParentViewController();
  }
  child->willMoveToParentViewController(self);
  children_.push_back(child);
  child->parent_ = self;
}

void ViewController::removeFromParentViewController() {
  assertMainThread();
  auto parent = parent_.lock();
  if (!parent) {
    return;
  }
  auto self = sharedController();
  std::erase(parent->children_, self);
  parent_.reset();
  didMoveToParentViewController(nullptr);
}

std::shared_ptr<Responder> ViewController::nextResponder() const {
  if (auto presenting = presenting_.lock()) {
    return presenting;
  }
  if (view_) {
    if (auto superview = view_->superview()) {
      return superview;
    }
  }
  return parent_.lock();
}

}  // namespace plexora::platform
