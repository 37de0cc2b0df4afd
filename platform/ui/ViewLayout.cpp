// Layout passes, fitting sizes and animations.
#include <cmath>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/MainThread.h"
#include "platform/ui/View.h"

namespace plexora::platform {

namespace {

// Views marked since the last pass; touched on the main thread only.
struct PendingLayout {
  std::vector<std::weak_ptr<View>> views;
  bool passQueued = false;
};

PendingLayout& pendingLayout() {
  static PendingLayout* const pending = new PendingLayout;
  return *pending;
}

std::shared_ptr<View> rootOf(std::shared_ptr<View> view) {
  while (auto parent = view->superview()) {
    view = std::move(parent);
  }
  return view;
}

void runLayoutPass() {
  PendingLayout& pending = pendingLayout();
  pending.passQueued = false;
  auto marked = std::move(pending.views);
  pending.views.clear();
  std::unordered_set<const View*> laidOut;
  for (const auto& weak : marked) {
    if (auto view = weak.lock()) {
      auto root = rootOf(view);
      if (laidOut.insert(root.get()).second) {
        root->layoutIfNeeded();
      }
    }
  }
}

double nonNegativeSeconds(double seconds) { return std::isfinite(seconds) && seconds > 0.0 ? seconds : 0.0; }

}  // namespace

void View::setNeedsLayout() {
  assertMainThread();
  needsLayout_ = true;
  auto self = weak_from_this().lock();
  if (!self) {
    return;  // Still being built: the first pass after it joins a tree will see the mark.
  }
  PendingLayout& pending = pendingLayout();
  pending.views.push_back(std::static_pointer_cast<View>(self));
  if (!pending.passQueued) {
    pending.passQueued = true;
    DispatchQueue::main()->async(runLayoutPass);
  }
}

void View::layoutIfNeeded() {
  assertMainThread();
  if (needsLayout_) {
    needsLayout_ = false;
    layoutSubviews();
  }
  for (const auto& subview : subviews()) {
    subview->layoutIfNeeded();
  }
}

Size View::sizeThatFits(Size) const { return bounds_.size; }

void View::sizeToFit() { setFrame(Rect(origin_, sizeThatFits(bounds_.size))); }

Size View::intrinsicContentSize() const { return Size{kNoIntrinsicMetric, kNoIntrinsicMetric}; }

void View::animate(double duration, const Animations& animations, AnimationCompletion completion) {
  animate(duration, 0.0, 0, animations, std::move(completion));
}

void View::animate(double duration, double delay, AnimationOptions, const Animations& animations,
                   AnimationCompletion completion) {
  assertMainThread();
  if (animations) {
    animations();
  }
  if (!completion) {
    return;
  }
  const double total = nonNegativeSeconds(duration) + nonNegativeSeconds(delay);
  auto finish = [completion = std::move(completion)] { completion(true); };
  if (total > 0.0) {
    DispatchQueue::main()->after(total, std::move(finish));
  } else {
    DispatchQueue::main()->async(std::move(finish));
  }
}

}  // namespace plexora::platform
