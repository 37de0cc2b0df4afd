#include "adapters/views/nativead/video/OVAdDefaultFullscreenVideoController.h"

#include <mutex>
#include <utility>

#include "adapters/views/nativead/video/OVMediaViewDefaultVideoRenderer.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/Screen.h"

namespace plexora {

// Tells its controller when it has laid out, as rotations resize it.
class OVAdDefaultFullscreenVideoController::ContentView final : public platform::View {
 public:
  ContentView(platform::Rect frame, std::weak_ptr<OVAdDefaultFullscreenVideoController> controller)
      : platform::View(frame), controller_(std::move(controller)) {}

  void layoutSubviews() override {
    if (const auto controller = controller_.lock()) controller->viewDidLayoutSubviews();
  }

 private:
  std::weak_ptr<OVAdDefaultFullscreenVideoController> controller_;
};

OVAdFullscreenVideoController::Maker& OVAdFullscreenVideoController::maker() {
  static Maker instance;
  static std::once_flag installed;
  std::call_once(installed, [] {
    instance.install([](const std::shared_ptr<OVMediaViewDefaultVideoRenderer>& videoRenderer,
                        const std::string& callToAction) -> std::shared_ptr<OVAdFullscreenVideoController> {
      return OVAdDefaultFullscreenVideoController::initWithVideoRenderer(videoRenderer, callToAction);
    });
  });
  return instance;
}

std::shared_ptr<OVAdDefaultFullscreenVideoController> OVAdDefaultFullscreenVideoController::initWithVideoRenderer(
    const std::shared_ptr<OVMediaViewDefaultVideoRenderer>& videoRenderer, const std::string& callToAction) {
  auto controller = std::make_shared<OVAdDefaultFullscreenVideoController>();
  controller->videoRenderer_ = videoRenderer;
  controller->callToAction_ = callToAction;
  return controller;
}

std::shared_ptr<OVAdDefaultFullscreenVideoController> OVAdDefaultFullscreenVideoController::self() {
  return std::static_pointer_cast<OVAdDefaultFullscreenVideoController>(shared_from_this());
}

platform::InterfaceOrientationMask OVAdDefaultFullscreenVideoController::supportedInterfaceOrientations() const {
  return platform::kInterfaceOrientationMaskPortrait | platform::kInterfaceOrientationMaskLandscapeLeft |
         platform::kInterfaceOrientationMaskLandscapeRight;
}

void OVAdDefaultFullscreenVideoController::loadView() {
  setView(std::make_shared<ContentView>(platform::Screen::main()->bounds(), self()));
}

void OVAdDefaultFullscreenVideoController::viewDidLoad() {
  const auto root = view();
  root->setBackgroundColor(platform::Color::black());
  swapInVideoView();
  const std::weak_ptr<OVAdDefaultFullscreenVideoController> weakSelf = self();

  // Made once: a view loaded again does not get a second pair.
  if (!callToActionButton_) {
    auto button = OVAdVideoCallToActionButton::initWithText(callToAction_);
    const std::weak_ptr<OVAdVideoCallToActionButton> weakButton = button;
    button->addAction(platform::kControlEventTouchUpInside,
                      [weakSelf, weakButton](platform::Control&, const platform::Event* event) {
                        const auto controller = weakSelf.lock();
                        if (const auto sender = weakButton.lock(); controller && sender) {
                          controller->callToActionHit(sender, event);
                        }
                      });
    root->addSubview(button);
    callToActionButton_ = std::move(button);
  }
  if (!dismissButton_) {
    auto button = OVAdVideoDismissButton::videoDismissButton();
    const std::weak_ptr<OVAdVideoDismissButton> weakButton = button;
    button->addAction(platform::kControlEventTouchUpInside,
                      [weakSelf, weakButton](platform::Control&, const platform::Event*) {
                        if (const auto controller = weakSelf.lock()) controller->dismiss(weakButton.lock());
                      });
    button->setAlpha(kDismissButtonAlpha);
    button->setFrame(platform::Rect(kDismissButtonInset, kDismissButtonInset, kDismissButtonSize, kDismissButtonSize));
    // Last, so it lies above the renderer and the call-to-action button.
    root->addSubview(button);
    dismissButton_ = std::move(button);
  }
  viewDidLayoutSubviews();
}

void OVAdDefaultFullscreenVideoController::viewDidLayoutSubviews() {
  const auto root = viewIfLoaded();
  if (!root) return;
  const platform::Rect bounds = root->bounds();
  if (const auto renderer = videoRenderer_.lock(); renderer && renderer->superview() == root) {
    renderer->setFrame(bounds);
  }
  if (callToActionButton_) {
    const platform::Size size = callToActionButton_->frame().size;
    callToActionButton_->setFrame(platform::Rect(bounds.size.width - size.width - kCallToActionRightMargin,
                                                 kCallToActionTop, size.width, size.height));
  }
}

void OVAdDefaultFullscreenVideoController::viewDidAppear(bool animated) {
  OVAdFullscreenVideoController::viewDidAppear(animated);
  if (const auto renderer = videoRenderer_.lock()) renderer->setVolume(kFullscreenVolume);
}

void OVAdDefaultFullscreenVideoController::swapInVideoView() {
  const auto renderer = videoRenderer_.lock();
  if (!renderer) return;
  const auto root = view();
  originalSuperView_ = renderer->superview();
  renderer->removeFromSuperview();
  renderer->setFrame(root->bounds());
  renderer->setInlineMode(false);
  root->addSubview(renderer);
}

void OVAdDefaultFullscreenVideoController::swapOutVideoView() {
  const auto home = originalSuperView_.lock();
  // Taken before the field is cleared: the field was the only thing that
  // reached it here.
  const auto renderer = videoRenderer_.lock();
  videoRenderer_.reset();
  if (!renderer) return;
  renderer->removeFromSuperview();
  renderer->setFrame(home ? home->bounds() : platform::Rect());
  renderer->setInlineMode(true);
  if (home) home->addSubview(renderer);
}

void OVAdDefaultFullscreenVideoController::dismiss(const std::shared_ptr<platform::Button>&) { endFullscreen(nullptr); }

void OVAdDefaultFullscreenVideoController::callToActionHit(const std::shared_ptr<platform::Button>& button,
                                                           const platform::Event*) {
  endFullscreen(button);
}

void OVAdDefaultFullscreenVideoController::endFullscreen(std::shared_ptr<platform::Button> callToAction) {
  // A second tap during the dismissal would report it twice.
  if (dismissing_) return;
  dismissing_ = true;
  // Read once: the delegate told it will dismiss is the one told it did.
  const auto listener = delegate_.lock();
  if (listener) listener->videoControllerWillDismiss(self());
  const std::weak_ptr<OVAdDefaultFullscreenVideoController> weakSelf = self();
  platform::DispatchQueue::main()->async([weakSelf, listener, callToAction = std::move(callToAction)] {
    const auto controller = weakSelf.lock();
    if (!controller) return;
    controller->swapOutVideoView();
    const auto finished = [controller, listener, callToAction] {
      controller->dismissing_ = false;
      if (!listener) return;
      // The touch event has ended long before the dismissal: none is
      // passed on.
      if (callToAction) listener->videoControllerDidTapCallToAction(controller, callToAction, nullptr);
      listener->videoControllerDidDismiss(controller);
    };
    // A controller that is not presented has nothing to dismiss.
    if (!controller->presentingViewController() || !controller->dismiss(true, finished)) finished();
  });
}

}  // namespace plexora
