// The view tree: ownership, moves with their hooks, state and responders.
#include "platform/ui/View.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/MainThread.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace plexora::platform {

View::View() : View(Rect::zero()) {}

View::View(Rect frame) { setFrame(frame); }

View::View(Rect frame, WindowRoot) : isWindow_(true) { setFrame(frame); }

View::~View() {
  // The subviews that live on leave a tree that no longer exists.
  auto subviews = std::move(subviews_);
  for (const auto& subview : subviews) {
    subview->superview_.reset();
    if (subview.use_count() > 1) {
      if (isWindow_) {
        subview->notifyDidMoveToWindow();
      }
      subview->didMoveToSuperview();
    }
  }
  for (const auto& recognizer : gestureRecognizers_) {
    recognizer->view_.reset();
  }
}

std::shared_ptr<View> View::sharedView() {
  auto self = weak_from_this().lock();
  if (!self) {
    throw std::logic_error("a view must be owned by a shared_ptr before it takes subviews or gesture recognisers");
  }
  return std::static_pointer_cast<View>(self);
}

std::shared_ptr<View> View::superview() const { return superview_.lock(); }

std::vector<std::shared_ptr<View>> View::subviews() const { return subviews_; }

std::shared_ptr<Window> View::window() const {
  const View* node = this;
  std::shared_ptr<View> holder;
  while (auto parent = node->superview_.lock()) {
    holder = std::move(parent);
    node = holder.get();
  }
  if (!node->isWindow_) {
    return nullptr;
  }
  auto root = std::const_pointer_cast<Responder>(node->weak_from_this().lock());
  return std::static_pointer_cast<Window>(root);
}

bool View::isDescendantOfView(const View* view) const {
  if (view == nullptr) {
    return false;
  }
  const View* node = this;
  std::shared_ptr<View> holder;
  while (node != nullptr) {
    if (node == view) {
      return true;
    }
    holder = node->superview_.lock();
    node = holder.get();
  }
  return false;
}

void View::addSubview(const std::shared_ptr<View>& view) {
  attach(view, [this] { return subviews_.size(); });
}

void View::insertSubview(const std::shared_ptr<View>& view, std::size_t index) {
  attach(view, [this, index] { return std::min(index, subviews_.size()); });
}

void View::insertSubviewAbove(const std::shared_ptr<View>& view, const std::shared_ptr<View>& sibling) {
  attach(view, [this, sibling] {
    auto found = std::find(subviews_.begin(), subviews_.end(), sibling);
    return found == subviews_.end() ? subviews_.size() : static_cast<std::size_t>(found - subviews_.begin()) + 1;
  });
}

void View::insertSubviewBelow(const std::shared_ptr<View>& view, const std::shared_ptr<View>& sibling) {
  attach(view, [this, sibling] {
    auto found = std::find(subviews_.begin(), subviews_.end(), sibling);
    return found == subviews_.end() ? subviews_.size() : static_cast<std::size_t>(found - subviews_.begin());
  });
}

void View::bringSubviewToFront(const std::shared_ptr<View>& view) {
  if (view && view->superview_.lock().get() == this) {
    addSubview(view);
  }
}

void View::sendSubviewToBack(const std::shared_ptr<View>& view) {
  if (view && view->superview_.lock().get() == this) {
    insertSubview(view, 0);
  }
}

void View::attach(const std::shared_ptr<View>& view, const std::function<std::size_t()>& place) {
  assertMainThread();
  if (!view || isDescendantOfView(view.get())) {
    return;
  }
  auto self = sharedView();
  auto oldSuperview = view->superview_.lock();
  if (oldSuperview == self) {
    // Only the order changes: the view stays in the same tree.
    eraseSubview(view.get());
    subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(place()), view);
    return;
  }
  auto oldWindow = view->window();
  auto newWindow = window();
  view->willMoveToSuperview(self);
  if (oldWindow != newWindow) {
    view->notifyWillMoveToWindow(newWindow);
  }
  if (oldSuperview) {
    oldSuperview->willRemoveSubview(view);
    oldSuperview->eraseSubview(view.get());
    oldSuperview->setNeedsLayout();
  }
  subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(place()), view);
  view->superview_ = self;
  if (oldWindow != newWindow) {
    view->notifyDidMoveToWindow();
  }
  view->didMoveToSuperview();
  didAddSubview(view);
  setNeedsLayout();
}

void View::removeFromSuperview() {
  assertMainThread();
  auto superview = superview_.lock();
  if (!superview) {
    return;
  }
  auto self = sharedView();
  auto oldWindow = window();
  superview->willRemoveSubview(self);
  willMoveToSuperview(nullptr);
  if (oldWindow) {
    notifyWillMoveToWindow(nullptr);
  }
  superview->eraseSubview(this);
  superview_.reset();
  superview->setNeedsLayout();
  if (oldWindow) {
    notifyDidMoveToWindow();
  }
  didMoveToSuperview();
}

void View::eraseSubview(const View* view) {
  std::erase_if(subviews_, [view](const std::shared_ptr<View>& subview) { return subview.get() == view; });
}

void View::notifyWillMoveToWindow(const std::shared_ptr<Window>& newWindow) {
  willMoveToWindow(newWindow);
  for (const auto& subview : subviews()) {
    subview->notifyWillMoveToWindow(newWindow);
  }
}

void View::notifyDidMoveToWindow() {
  didMoveToWindow();
  for (const auto& subview : subviews()) {
    subview->notifyDidMoveToWindow();
  }
}

std::shared_ptr<View> View::viewWithTag(std::int64_t tag) {
  if (tag_ == tag) {
    return sharedView();
  }
  for (const auto& subview : subviews()) {
    if (auto found = subview->viewWithTag(tag)) {
      return found;
    }
  }
  return nullptr;
}

void View::setHidden(bool hidden) { hidden_ = hidden; }

void View::setAlpha(double alpha) { alpha_ = std::clamp(alpha, 0.0, 1.0); }

void View::setBorderWidth(double width) { borderWidth_ = width > 0.0 && std::isfinite(width) ? width : 0.0; }

void View::addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer) {
  assertMainThread();
  if (!recognizer) {
    return;
  }
  auto self = sharedView();
  if (auto previous = recognizer->view(); previous && previous != self) {
    previous->removeGestureRecognizer(recognizer);
  }
  if (std::find(gestureRecognizers_.begin(), gestureRecognizers_.end(), recognizer) == gestureRecognizers_.end()) {
    gestureRecognizers_.push_back(recognizer);
  }
  recognizer->view_ = self;
}

void View::removeGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer) {
  assertMainThread();
  auto found = std::find(gestureRecognizers_.begin(), gestureRecognizers_.end(), recognizer);
  if (found == gestureRecognizers_.end()) {
    return;
  }
  gestureRecognizers_.erase(found);
  recognizer->view_.reset();
}

std::shared_ptr<Responder> View::nextResponder() const {
  if (auto controller = viewController_.lock()) {
    return controller;
  }
  return superview_.lock();
}

}  // namespace plexora::platform
