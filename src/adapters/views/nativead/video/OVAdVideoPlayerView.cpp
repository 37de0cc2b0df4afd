#include "adapters/views/nativead/video/OVAdVideoPlayerView.h"

#include <utility>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/media/SystemPlayerKit.h"
#include "platform/ui/ImageView.h"
#include "util/OVAdLogger.h"
#include "util/qnv/render/QNVPlayerLayer.h"

namespace plexora {

namespace {

// Stops what the layer draws with; runs on the main thread, where layers
// and the engine's rendering objects are touched.
void takeDown(const std::shared_ptr<platform::PlayerLayer>& layer) {
  if (const auto engineLayer = std::dynamic_pointer_cast<QNVPlayerLayer>(layer)) {
    OV_LOG(kOVAdLogLevelVerbose, "%s", kOVAdVideoPlayerViewInvalidatingRenderer);
    engineLayer->invalidate();
    engineLayer->invalidateRenderer(nullptr);
  }
}

}  // namespace

std::shared_ptr<OVAdVideoPlayerView> OVAdVideoPlayerView::initWithFrame(platform::Rect frame) {
  auto view = std::make_shared<OVAdVideoPlayerView>(frame);
  view->initVideoLayer();
  return view;
}

OVAdVideoPlayerView::OVAdVideoPlayerView(platform::Rect frame)
    : platform::View(frame), library_(OVAdChooseVideoLibrary()) {}

OVAdVideoPlayerView::~OVAdVideoPlayerView() {
  auto layer = std::move(playerLayer_);
  if (!layer) return;
  if (platform::DispatchQueue::isMainThread()) {
    takeDown(layer);
    return;
  }
  // The block keeps the layer alive until the main thread has taken it down.
  platform::DispatchQueue::main()->async([layer = std::move(layer)] { takeDown(layer); });
}

void OVAdVideoPlayerView::initVideoLayer() {
  if (initialized_) return;
  playerLayer_ = OVAdCreateVideoPlayerLayer(library_);
  // The layer's frame is the view's bounds: the view's own frame is in its
  // superview's coordinates and would offset the picture.
  if (playerLayer_) playerLayer_->setBounds(bounds());
  initialized_ = true;
}

void OVAdVideoPlayerView::updateView(bool resize) {
  if (resize && playerLayer_) playerLayer_->setBounds(bounds());
}

void OVAdVideoPlayerView::setFrame(platform::Rect frame) {
  const bool changed = frame != this->frame() && !frame.isEmpty();
  platform::View::setFrame(frame);
  updateView(changed);
}

void OVAdVideoPlayerView::setBounds(platform::Rect bounds) {
  const bool changed = bounds != this->bounds() && !bounds.isEmpty();
  platform::View::setBounds(bounds);
  updateView(changed);
}

void OVAdVideoPlayerView::setPlayer(std::shared_ptr<platform::Player> player) {
  if (!playerLayer_) {
    initialized_ = false;
    initVideoLayer();
  }
  // The engine's player was bound to the layer when it was made.
  if (library_ == OVAdVideoLibrary::kAVPlayer) {
    if (const auto systemLayer = std::dynamic_pointer_cast<platform::SystemPlayerLayer>(playerLayer_)) {
      systemLayer->setPlayer(player);
    }
  }
  player_ = std::move(player);
}

void OVAdVideoPlayerView::draw(platform::GraphicsContext& context, platform::Rect rect) const {
  std::shared_ptr<platform::Image> frame;
  if (const auto engineLayer = std::dynamic_pointer_cast<QNVPlayerLayer>(playerLayer_)) {
    frame = engineLayer->presentedImage();
  } else if (const auto systemLayer = std::dynamic_pointer_cast<platform::SystemPlayerLayer>(playerLayer_)) {
    frame = systemLayer->presentedImage();
  }
  if (!frame) return;
  // The frame changes on the rendering side between draws: it is fetched
  // here and drawn as an image view would draw it.
  platform::ImageView picture(bounds());
  picture.setContentMode(platform::ContentMode::ScaleAspectFit);
  picture.setImage(std::move(frame));
  picture.draw(context, rect);
}

}  // namespace plexora
