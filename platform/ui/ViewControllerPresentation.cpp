// Modal presentation and dismissal.
#include <algorithm>
#include <string>
#include <utility>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Log.h"
#include "platform/ui/MainThread.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace plexora::platform {

namespace {

void afterTransition(bool animated, Task task) {
  if (animated) {
    DispatchQueue::main()->after(ViewController::kTransitionSeconds, std::move(task));
  } else {
    DispatchQueue::main()->async(std::move(task));
  }
}

void refuse(const std::string& why) { logLine("View controller presentation refused: " + why); }

}  // namespace

std::shared_ptr<ViewController> ViewController::topMostParent() {
  auto node = sharedController();
  while (auto parent = node->parentViewController()) {
    node = std::move(parent);
  }
  return node;
}

bool ViewController::present(const std::shared_ptr<ViewController>& controller, bool animated,
                             std::function<void()> completion) {
  assertMainThread();
  auto presenter = topMostParent();
  if (!controller || controller == presenter || controller->presenting_.lock() || controller->parentViewController()) {
    refuse("the controller is missing, the presenter itself, already presented or a child");
    return false;
  }
  if (presenter->presented_ || presenter->transitioning_) {
    refuse("the presenter already presents a controller");
    return false;
  }
  auto presenterView = presenter->viewIfLoaded();
  auto window = presenterView ? presenterView->window() : nullptr;
  if (!window) {
    refuse("the presenter's view is not in a window");
    return false;
  }

  presenter->presented_ = controller;
  controller->presenting_ = presenter;
  presenter->transitioning_ = true;
  auto view = controller->view();
  view->setFrame(window->bounds());
  view->setAutoresizingMask(kAutoresizingFlexibleWidth | kAutoresizingFlexibleHeight);
  window->addSubview(view);

  const bool covers = controller->presentationStyle_ == ModalPresentationStyle::FullScreen;
  controller->sendAppearance(Appearance::WillAppear, animated);
  if (covers) {
    presenter->sendAppearance(Appearance::WillDisappear, animated);
  }
  afterTransition(animated, [presenter, controller, covers, animated, completion = std::move(completion)] {
    if (covers) {
      presenter->coverView();
    }
    controller->sendAppearance(Appearance::DidAppear, animated);
    if (covers) {
      presenter->sendAppearance(Appearance::DidDisappear, animated);
    }
    presenter->transitioning_ = false;
    if (completion) {
      completion();
    }
  });
  return true;
}

bool ViewController::dismiss(bool animated, std::function<void()> completion) {
  assertMainThread();
  auto root = topMostParent();
  if (root->presented_) {
    return root->dismissPresented(animated, std::move(completion));
  }
  if (auto presenter = root->presentingViewController()) {
    return presenter->dismissPresented(animated, std::move(completion));
  }
  refuse("nothing is presented");
  return false;
}

bool ViewController::dismissPresented(bool animated, std::function<void()> completion) {
  std::vector<std::shared_ptr<ViewController>> chain;
  for (auto presented = presented_; presented; presented = presented->presented_) {
    chain.push_back(presented);
  }
  const bool busy = transitioning_ || std::any_of(chain.begin(), chain.end(), [](const auto& controller) {
                      return controller->transitioning_;
                    });
  if (busy) {
    refuse("a transition is under way");
    return false;
  }
  auto self = sharedController();
  auto top = chain.back();
  transitioning_ = true;
  const bool uncovers = chain.front()->presentationStyle_ == ModalPresentationStyle::FullScreen;
  if (uncovers) {
    uncoverView();
  }
  top->sendAppearance(Appearance::WillDisappear, animated);
  if (uncovers) {
    sendAppearance(Appearance::WillAppear, animated);
  }
  afterTransition(animated, [self, chain, top, uncovers, animated, completion = std::move(completion)] {
    for (const auto& controller : chain) {
      if (auto view = controller->viewIfLoaded()) {
        view->removeFromSuperview();
      }
      controller->presented_.reset();
      controller->presenting_.reset();
    }
    self->presented_.reset();
    top->sendAppearance(Appearance::DidDisappear, animated);
    if (uncovers) {
      self->sendAppearance(Appearance::DidAppear, animated);
    }
    self->transitioning_ = false;
    if (completion) {
      completion();
    }
  });
  return true;
}

void ViewController::coverView() {
  auto superview = view_ ? view_->superview() : nullptr;
  if (!superview) {
    return;
  }
  const auto siblings = superview->subviews();
  coveredIndex_ = static_cast<std::size_t>(std::find(siblings.begin(), siblings.end(), view_) - siblings.begin());
  coveredSuperview_ = superview;
  view_->removeFromSuperview();
}

void ViewController::uncoverView() {
  auto superview = coveredSuperview_.lock();
  coveredSuperview_.reset();
  if (superview && view_ && !view_->superview()) {
    superview->insertSubview(view_, coveredIndex_);
  }
}

}  // namespace plexora::platform
