// Finding the view controller and window to present from, and marking and
// finding the library's ad views.
#include <set>

#include "platform/ui/Application.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

// The marked views, for as long as each lives. Main thread only.
std::set<std::weak_ptr<platform::View>, std::owner_less<>>& markedViews() {
  static std::set<std::weak_ptr<platform::View>, std::owner_less<>> views;
  return views;
}

// Main thread only.
std::shared_ptr<platform::ViewController>& topViewControllerOverrideSlot() {
  static std::shared_ptr<platform::ViewController> viewController;
  return viewController;
}

std::shared_ptr<platform::ViewController> lastPresentedFrom(std::shared_ptr<platform::ViewController> viewController) {
  while (auto presented = viewController->presentedViewController()) {
    viewController = std::move(presented);
  }
  return viewController;
}

}  // namespace

platform::InterfaceOrientationMask OVAdUtility::supportedInterfaceOrientationsForWindow(
    const std::shared_ptr<platform::Window>& window) {
  const auto application = platform::Application::shared();
  if (const auto delegate = application->delegate()) {
    if (const auto mask = delegate->supportedInterfaceOrientationsForWindow(window)) {
      return *mask;
    }
  }
  return application->supportedInterfaceOrientationsForWindow(window);
}

void OVAdUtility::markView(const std::shared_ptr<platform::View>& view) {
  if (!view) return;
  auto& views = markedViews();
  std::erase_if(views, [](const std::weak_ptr<platform::View>& marked) { return marked.expired(); });
  views.insert(view);
}

bool OVAdUtility::isViewMarked(const std::shared_ptr<platform::View>& view) {
  return view && markedViews().contains(std::weak_ptr<platform::View>(view));
}

std::shared_ptr<platform::View> OVAdUtility::findAdInViewController(
    const std::shared_ptr<platform::ViewController>& viewController) {
  if (!viewController) return nullptr;
  std::shared_ptr<platform::View> ad;
  traverseView(viewController->view(), [&ad](const std::shared_ptr<platform::View>& view) {
    if (isViewMarked(view)) ad = view;
  });
  return ad;
}

std::shared_ptr<platform::View> OVAdUtility::findAdOnScreen() {
  const auto top = topViewController();
  if (!top) return nullptr;
  if (auto ad = findAdInViewController(top)) return ad;
  for (const auto& child : top->childViewControllers()) {
    if (auto ad = findAdInViewController(child)) return ad;
  }
  return nullptr;
}

void OVAdUtility::traverseView(const std::shared_ptr<platform::View>& view, const ViewBlock& block) {
  if (!view || !block) return;
  block(view);
  for (const auto& subview : view->subviews()) {
    block(subview);
  }
}

std::shared_ptr<platform::ViewController> OVAdUtility::topViewControllerOverride() {
  return topViewControllerOverrideSlot();
}

void OVAdUtility::setTopViewControllerOverride(std::shared_ptr<platform::ViewController> viewController) {
  topViewControllerOverrideSlot() = std::move(viewController);
}

std::shared_ptr<platform::ViewController> OVAdUtility::topViewController() {
  if (auto overridden = topViewControllerOverride()) return overridden;
  return viewControllerFromView(nullptr);
}

std::shared_ptr<platform::ViewController> OVAdUtility::viewControllerFromView(
    const std::shared_ptr<platform::View>& view) {
  if (view) {
    if (auto viewController = traverseResponderChainForViewController(view)) return viewController;
    return topViewController();
  }
  if (const auto window = currentWindow()) {
    if (auto root = window->rootViewController()) return lastPresentedFrom(std::move(root));
  }
  const auto delegate = platform::Application::shared()->delegate();
  const auto delegateWindow = delegate ? delegate->window() : nullptr;
  return delegateWindow ? delegateWindow->rootViewController() : nullptr;
}

std::shared_ptr<platform::ViewController> OVAdUtility::traverseResponderChainForViewController(
    const std::shared_ptr<platform::Responder>& responder) {
  for (auto current = responder; current; current = current->nextResponder()) {
    if (auto viewController = std::dynamic_pointer_cast<platform::ViewController>(current)) return viewController;
  }
  return nullptr;
}

std::shared_ptr<platform::Window> OVAdUtility::currentWindow() {
  const auto application = platform::Application::shared();
  if (auto key = application->keyWindow(); key && key->windowLevel() == platform::Window::kLevelNormal) {
    return key;
  }
  for (auto& window : application->windows()) {
    if (window->windowLevel() == platform::Window::kLevelNormal) return window;
  }
  return nullptr;
}

void OVAdUtility::setApplicationStatusBarHidden(bool hidden) {
  platform::Application::shared()->setStatusBarHidden(hidden);
}

}  // namespace plexora
