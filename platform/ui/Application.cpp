#include "platform/ui/Application.h"

#include <algorithm>
#include <cctype>

#include "platform/device/DeviceProvider.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/MainThread.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TouchDelivery.h"
#include "platform/ui/Window.h"

namespace plexora::platform {

namespace {

const std::set<std::string>& defaultOpenableSchemes() {
  static const std::set<std::string> schemes{"http", "https"};
  return schemes;
}

std::string lowerCased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::shared_ptr<Window> sharedWindow(Window* window) {
  return std::static_pointer_cast<Window>(window->weak_from_this().lock());
}

}  // namespace

Application::Application()
    : supportedOrientations_(kInterfaceOrientationMaskAllButUpsideDown),
      openableSchemes_(defaultOpenableSchemes()),
      touches_(std::make_unique<TouchDelivery>()) {}

Application::~Application() = default;

std::shared_ptr<Application> Application::shared() {
  // Deliberately leaked: windows unregister themselves while statics are
  // destroyed at exit.
  static auto* const application = new std::shared_ptr<Application>(new Application);
  return *application;
}

void Application::post(const char* name) { NotificationCenter::defaultCenter().post(name, this); }

void Application::transitionTo(ApplicationState target) {
  assertMainThread();
  while (state_.load() != target) {
    switch (state_.load()) {
      case ApplicationState::Active:
        post(kApplicationWillResignActiveNotification);
        state_ = ApplicationState::Inactive;
        break;
      case ApplicationState::Inactive:
        if (target == ApplicationState::Active) {
          state_ = ApplicationState::Active;
          post(kApplicationDidBecomeActiveNotification);
        } else {
          state_ = ApplicationState::Background;
          post(kApplicationDidEnterBackgroundNotification);
        }
        break;
      case ApplicationState::Background:
        post(kApplicationWillEnterForegroundNotification);
        state_ = ApplicationState::Inactive;
        break;
    }
  }
}

InterfaceOrientation Application::statusBarOrientation() const {
  return DeviceProvider::current()->profile().orientation;
}

void Application::setStatusBarOrientation(InterfaceOrientation orientation) {
  assertMainThread();
  const Rect oldBounds = Screen::main()->bounds();
  DeviceProvider::current()->updateProfile([orientation](DeviceProfile& profile) {
    const bool turns = isLandscape(profile.orientation) != isLandscape(orientation) &&
                       profile.orientation != InterfaceOrientation::Unknown && orientation != InterfaceOrientation::Unknown;
    if (turns) {
      std::swap(profile.screen.bounds.width, profile.screen.bounds.height);
    }
    profile.orientation = orientation;
  });
  const Rect newBounds = Screen::main()->bounds();
  if (newBounds == oldBounds) {
    return;
  }
  for (const auto& window : windows()) {
    if (window->screen()->isMain() && window->frame() == oldBounds) {
      window->setFrame(newBounds);
    }
  }
}

InterfaceOrientationMask Application::supportedInterfaceOrientationsForWindow(const std::shared_ptr<Window>&) const {
  return supportedOrientations_;
}

void Application::registerWindow(Window* window) { windows_.push_back(WindowEntry{window, nextWindowOrder_++}); }

void Application::unregisterWindow(Window* window) {
  std::erase_if(windows_, [window](const WindowEntry& entry) { return entry.window == window; });
}

void Application::bringWindowToFront(Window* window) {
  for (auto& entry : windows_) {
    if (entry.window == window) {
      entry.order = nextWindowOrder_++;
    }
  }
}

std::vector<std::shared_ptr<Window>> Application::windows() const {
  auto entries = windows_;
  std::stable_sort(entries.begin(), entries.end(), [](const WindowEntry& a, const WindowEntry& b) {
    if (a.window->windowLevel() != b.window->windowLevel()) {
      return a.window->windowLevel() < b.window->windowLevel();
    }
    return a.order < b.order;
  });
  std::vector<std::shared_ptr<Window>> result;
  for (const auto& entry : entries) {
    // A window still being built (or already being destroyed) has no owner.
    if (auto window = sharedWindow(entry.window)) {
      result.push_back(std::move(window));
    }
  }
  return result;
}

std::shared_ptr<Window> Application::keyWindow() const { return keyWindow_.lock(); }

void Application::setKeyWindow(Window* window) {
  keyWindow_ = window ? sharedWindow(window) : nullptr;
}

bool Application::canOpenURL(const URL& url) const { return openableSchemes_.contains(lowerCased(url.scheme())); }

bool Application::openURL(const URL& url) {
  assertMainThread();
  if (!canOpenURL(url)) {
    return false;
  }
  openedURLs_.push_back(url);
  if (urlOpener_) {
    urlOpener_(url);
  }
  return true;
}

void Application::setOpenableSchemes(std::set<std::string> schemes) {
  openableSchemes_.clear();
  for (const auto& scheme : schemes) {
    openableSchemes_.insert(lowerCased(scheme));
  }
}

bool Application::sendTouch(TouchPhase phase, Point screenLocation, TouchDetails details) {
  assertMainThread();
  TouchInput input;
  input.phase = phase;
  input.screenLocation = screenLocation;
  input.timestamp = details.timestamp.value_or(Clock::current()->monotonicTime());
  input.force = details.force;
  input.majorRadius = details.majorRadius;

  std::vector<std::shared_ptr<Window>> frontToBack;
  for (const auto& window : windows()) {
    if (!window->isHidden() && window->screen()->isMain()) {
      frontToBack.insert(frontToBack.begin(), window);
    }
  }
  return touches_->deliver(input, frontToBack);
}

bool Application::sendTap(Point screenLocation, TouchDetails details) {
  if (!details.timestamp) {
    details.timestamp = Clock::current()->monotonicTime();
  }
  if (!sendTouch(TouchPhase::Began, screenLocation, details)) {
    return false;
  }
  sendTouch(TouchPhase::Ended, screenLocation, details);
  return true;
}

void Application::reset() {
  assertMainThread();
  touches_->cancel(Clock::current()->monotonicTime());
  state_ = ApplicationState::Active;
  delegate_.reset();
  statusBarHidden_ = false;
  supportedOrientations_ = kInterfaceOrientationMaskAllButUpsideDown;
  keyWindow_.reset();
  openableSchemes_ = defaultOpenableSchemes();
  openedURLs_.clear();
  urlOpener_ = nullptr;
}

}  // namespace plexora::platform
