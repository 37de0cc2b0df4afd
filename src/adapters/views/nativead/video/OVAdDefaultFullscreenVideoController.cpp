#include "adapters/views/nativead/video/OVAdDefaultFullscreenVideoController.h"

#include <algorithm>
#include <mutex>

#include "adapters/views/nativead/video/OVMediaViewDefaultVideoRenderer.h"
#include "platform/ui/Font.h"

namespace plexora {

namespace {

constexpr const char* kCloseTitle = "\u2715";
constexpr double kCloseSize = 44.0;
constexpr platform::Color kCallToActionBackground{0.12, 0.44, 0.92, 1.0};

}  // namespace

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

void OVAdDefaultFullscreenVideoController::viewDidLoad() {
  const auto root = view();
  root->setBackgroundColor(platform::Color::black());
  const platform::Rect bounds = root->bounds();
  const std::weak_ptr<OVAdDefaultFullscreenVideoController> weakSelf = self();

  auto close = std::make_shared<platform::Button>(
      platform::Rect(bounds.size.width - kCloseSize - kMargin, kMargin, kCloseSize, kCloseSize));
  close->setTitle(kCloseTitle, platform::kControlStateNormal);
  close->addAction(platform::kControlEventTouchUpInside, [weakSelf](platform::Control&, const platform::Event*) {
    if (const auto controller = weakSelf.lock()) controller->close();
  });
  root->addSubview(close);
  closeButton_ = close;

  auto callToAction = std::make_shared<platform::Button>(platform::Rect(
      kMargin, bounds.size.height - kButtonHeight - kMargin, bounds.size.width - 2 * kMargin, kButtonHeight));
  callToAction->setTitle(callToAction_, platform::kControlStateNormal);
  callToAction->setTitleColor(platform::Color::white(), platform::kControlStateNormal);
  callToAction->setBackgroundColor(kCallToActionBackground);
  callToAction->addAction(platform::kControlEventTouchUpInside,
                          [weakSelf](platform::Control&, const platform::Event* event) {
                            if (const auto controller = weakSelf.lock()) controller->tapCallToAction(event);
                          });
  root->addSubview(callToAction);
  callToActionButton_ = callToAction;
}

void OVAdDefaultFullscreenVideoController::viewWillAppear(bool) { liftRenderer(); }

void OVAdDefaultFullscreenVideoController::liftRenderer() {
  const auto renderer = videoRenderer_.lock();
  const auto root = view();
  if (!renderer || renderer->superview() == root) return;
  if (const auto home = renderer->superview()) {
    const auto siblings = home->subviews();
    rendererIndex_ = static_cast<std::size_t>(std::find(siblings.begin(), siblings.end(), renderer) - siblings.begin());
    rendererHome_ = home;
    rendererFrame_ = renderer->frame();
  }
  root->insertSubview(renderer, 0);
  renderer->setFrame(root->bounds());
}

void OVAdDefaultFullscreenVideoController::returnRenderer() {
  const auto renderer = videoRenderer_.lock();
  const auto home = rendererHome_.lock();
  if (!renderer || !home || renderer->superview() != view()) return;
  home->insertSubview(renderer, std::min(rendererIndex_, home->subviews().size()));
  renderer->setFrame(rendererFrame_);
}

void OVAdDefaultFullscreenVideoController::close() {
  if (closing_) return;
  closing_ = true;
  if (const auto listener = delegate_.lock()) listener->videoControllerWillDismiss(self());
  const std::weak_ptr<OVAdDefaultFullscreenVideoController> weakSelf = self();
  const auto finish = [weakSelf] {
    const auto controller = weakSelf.lock();
    if (!controller) return;
    controller->returnRenderer();
    controller->closing_ = false;
    if (const auto listener = controller->delegate_.lock()) listener->videoControllerDidDismiss(controller);
  };
  // A controller that was never presented has nothing to dismiss.
  if (!presentingViewController() || !dismiss(true, finish)) finish();
}

void OVAdDefaultFullscreenVideoController::tapCallToAction(const platform::Event* event) {
  const auto button = callToActionButton();
  if (const auto listener = delegate_.lock(); listener && button) {
    listener->videoControllerDidTapCallToAction(self(), button, event);
  }
}

}  // namespace plexora
