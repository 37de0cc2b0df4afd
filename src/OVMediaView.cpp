#include "plexora/OVMediaView.h"

#include <cmath>
#include <string>

#include "OVMediaViewRelay.h"
#include "adapters/OVNativeAdDataModel.h"
#include "adapters/OVNativeAdMultiProductDataModel.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainThreadCheck.h"
#include "plexora/OVAdImage.h"
#include "plexora/OVNativeAd.h"
#include "tracking/OVAdEventManager.h"
#include "util/OVAdClickGate.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdLogger.h"
#include "util/OVAdTouchRecordKeys.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr const char* kAutoplayEnabledKey = "autoplay_enabled";
constexpr const char* kCardIndexKey = "cardind";
constexpr const char* kCardCountKey = "cardcnt";
constexpr const char* kTouchKey = "touch";
constexpr const char* kVideoFallbackMessage = "Video failed to load or was interrupted, falling back to image.";
constexpr const char* kCardImpressionMessage = "Cell at index %lu registered impression.";
constexpr const char* kCardClickMessage = "Cell at index %lu clicked.";
// A card is shown a third wider than its square image, plus its margin.
constexpr double kCardWidthFactor = 4.0 / 3.0;
constexpr double kCardMargin = 8.0;

double now() { return platform::Clock::current()->timeSinceReferenceDate(); }

std::shared_ptr<OVNativeAdMultiProductDataModel> cardAt(const OVNativeAd::Cards& cards, std::uint64_t index) {
  return index < cards.size() ? cards[index] : nullptr;
}

// Milliseconds since the first impression, or this when there was none.
constexpr std::int64_t kNoImpressionClickDelay = -1;

// The touch of a card tap: the carousel reports one point, which stands for
// the start, the click and the end of the touch.
platform::Dictionary touchAt(platform::Point position, const platform::Value& clickDelay) {
  const double time = platform::Clock::current()->wallTime();
  return platform::Dictionary{{kOVAdTouchStartTimeKey, time},    {kOVAdTouchEndTimeKey, time},
                              {kOVAdTouchStartXKey, position.x}, {kOVAdTouchStartYKey, position.y},
                              {kOVAdTouchClickXKey, position.x}, {kOVAdTouchClickYKey, position.y},
                              {kOVAdTouchEndXKey, position.x},   {kOVAdTouchEndYKey, position.y},
                              {kOVAdTouchClickDelayTimeKey, clickDelay}};
}

}  // namespace

std::shared_ptr<OVMediaView> OVMediaView::init() { return std::shared_ptr<OVMediaView>(new OVMediaView()); }

std::shared_ptr<OVMediaView> OVMediaView::initWithNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd) {
  platform::requireMainThread("OVMediaView::initWithNativeAd");
  auto view = init();
  view->setNativeAd(nativeAd);
  view->setupView();
  return view;
}

OVMediaView::OVMediaView() : loadedTime_(now()) { setClipsToBounds(true); }

OVMediaView::~OVMediaView() = default;

std::shared_ptr<OVMediaView> OVMediaView::self() { return std::static_pointer_cast<OVMediaView>(sharedView()); }

std::shared_ptr<OVMediaViewRelay> OVMediaView::relay() {
  if (!relay_) relay_ = std::make_shared<OVMediaViewRelay>(std::static_pointer_cast<OVMediaView>(sharedView()));
  return relay_;
}

// ---- Properties ----

bool OVMediaView::isAutoplayEnabled() const {
  if (nativeAd_) {
    if (const auto adChoice = nativeAd_->autoPlayEnabled()) return *adChoice;
  }
  return autoplayEnabled_;
}

float OVMediaView::volume() const {
  const auto renderer = currentVideoRenderer_.lock();
  return renderer ? renderer->volume() : 0.0F;
}

double OVMediaView::aspectRatio() const {
  if (const auto renderer = currentVideoRenderer_.lock(); renderer && chosenContent() == Content::Video) {
    return renderer->aspectRatio();
  }
  if (multiProductSupported() && multiProductView_.lock()) {
    const auto card = cardAt(nativeAd_->multiProductAdContent(), 0);
    const auto image = card ? card->image() : nullptr;
    if (!image || image->height() <= 0) return 0.0;
    const auto width = static_cast<double>(image->width());
    return (width * kCardWidthFactor + kCardMargin) / static_cast<double>(image->height());
  }
  if (const auto imageView = imageView_.lock()) {
    const auto image = imageView->image();
    if (!image || image->size().height <= 0) return 0.0;
    return image->size().width / image->size().height;
  }
  return 0.0;
}

void OVMediaView::applyNaturalWidth() {
  platform::Rect rect = frame();
  rect.size.width = std::round(aspectRatio() * rect.size.height);
  setFrame(rect);
}

void OVMediaView::applyNaturalHeight() {
  platform::Rect rect = frame();
  const double ratio = aspectRatio();
  rect.size.height = ratio > 0 ? std::round(rect.size.width / ratio) : 0.0;
  setFrame(rect);
}

// ---- Geometry ----

void OVMediaView::setFrame(platform::Rect frame) {
  platform::View::setFrame(frame);
  afterGeometryChange();
}

void OVMediaView::setBounds(platform::Rect bounds) {
  platform::View::setBounds(bounds);
  afterGeometryChange();
}

void OVMediaView::afterGeometryChange() {
  // A frame set before anything owns the view (in a subclass's
  // constructor) waits for the first load.
  if (weak_from_this().expired()) return;
  setupView();
  if (needsDelayedLoad_ && isValidFrame()) loadNativeAd(nativeAd_);
}

bool OVMediaView::isValidFrame() const { return !bounds().isEmpty(); }

// ---- Content ----

bool OVMediaView::videoSupported() const { return nativeAd_ && nativeAd_->isVideoSupported(); }

bool OVMediaView::multiProductSupported() const { return nativeAd_ && nativeAd_->isMultiProductSupported(); }

OVMediaView::Content OVMediaView::chosenContent() const {
  if (videoSupported() && !videoFailedToLoad_) return Content::Video;
  if (multiProductSupported()) return Content::Carousel;
  return Content::Image;
}

void OVMediaView::setNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd) {
  platform::requireMainThread("OVMediaView::setNativeAd");
  const auto previous = nativeAd_;
  nativeAd_ = nativeAd;
  if (nativeAd) {
    nativeAd->setUsedByMediaView(true);
    nativeAd->setMediaViewConfiguration(platform::Dictionary{{kAutoplayEnabledKey, isAutoplayEnabled()}});
  }
  if (nativeAd == previous) return;
  // A new ad gets its own chance at its video.
  videoFailedToLoad_ = false;
  if (isValidFrame()) {
    loadNativeAd(nativeAd);
  } else {
    needsDelayedLoad_ = true;
  }
}

void OVMediaView::loadNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd) {
  if (const auto imageView = imageView_.lock(); imageView && (imageView->image() || imageView->blurredImage())) {
    imageView->setImage(nullptr);
    imageView->setBlurredImage(nullptr);
  }
  if (nativeAd != nativeAd_) videoFailedToLoad_ = false;
  nativeAd_ = nativeAd;
  if (videoRenderer_ && videoRenderer_ != currentVideoRenderer_.lock()) setupVideoRenderer(videoRenderer_);
  setupView();
  ++loadGeneration_;
  switch (chosenContent()) {
    case Content::Video:
      loadVideo();
      break;
    case Content::Carousel:
      loadMultiProductAd();
      break;
    case Content::Image:
      loadImage();
      break;
  }
  needsDelayedLoad_ = false;
}

void OVMediaView::setupVideoRenderer(const std::shared_ptr<OVMediaViewVideoRenderer>& renderer) {
  if (const auto current = currentVideoRenderer_.lock()) current->removeFromSuperview();
  addSubview(renderer);
  currentVideoRenderer_ = renderer;
}

void OVMediaView::setupView() {
  const auto renderer = currentVideoRenderer_.lock();
  auto imageView = imageView_.lock();
  auto carousel = multiProductView_.lock();
  std::shared_ptr<platform::View> shown;
  switch (chosenContent()) {
    case Content::Video: {
      auto videoView = renderer;
      if (!videoView) {
        const auto made = OVMediaViewDefaultVideoRenderer::create();
        if (made) {
          made->setDelegate(relay());
          setupVideoRenderer(made);
        }
        videoView = made;
      }
      shown = videoView;
      break;
    }
    case Content::Carousel:
      if (!carousel) {
        carousel = OVAdMultiProductView::create();
        if (carousel) {
          carousel->setDelegate(relay());
          addSubview(carousel);
          multiProductView_ = carousel;
        }
      }
      shown = carousel;
      break;
    case Content::Image:
      if (!imageView) {
        imageView = OVAdBlurredImageView::create();
        if (imageView) {
          imageView->setDelegate(relay());
          addSubview(imageView);
          imageView_ = imageView;
        }
      }
      shown = imageView;
      break;
  }
  const std::shared_ptr<platform::View> contentViews[] = {currentVideoRenderer_.lock(), carousel, imageView};
  for (const auto& view : contentViews) {
    if (view) view->setHidden(view != shown);
  }
  // The fullscreen controller holds the renderer in its own view while it
  // shows; it is laid out there, not here.
  if (shown && shown->superview().get() == this) {
    shown->setFrame(bounds());
    bringSubviewToFront(shown);
  }
}

void OVMediaView::loadVideo() {
  const std::weak_ptr<OVMediaView> weakSelf = self();
  auto loaded = [weakSelf] {
    if (const auto view = weakSelf.lock()) view->dispatchViewDidLoad();
  };
  auto failure = [weakSelf] {
    const auto view = weakSelf.lock();
    if (!view) return;
    view->videoFailedToLoad_ = true;
    view->setupView();
    // An ad with products shows its carousel once its video is out.
    if (view->chosenContent() == Content::Carousel) {
      view->loadMultiProductAd();
    } else {
      view->loadImage();
    }
  };
  const auto videoURL = nativeAd_->videoURL();
  const auto renderer = currentVideoRenderer_.lock();
  if (!videoURL || !renderer) {
    failure();
    return;
  }
  const auto& dataModel = nativeAd_->dataModel();
  const std::string clientToken =
      dataModel && dataModel->inlineClientToken() ? *dataModel->inlineClientToken() : std::string();
  renderer->loadVideoURL(*videoURL, clientToken, isAutoplayEnabled(), std::move(loaded), std::move(failure));
  if (const auto defaultRenderer = std::dynamic_pointer_cast<OVMediaViewDefaultVideoRenderer>(renderer)) {
    defaultRenderer->setPosterImage(nativeAd_->coverImage());
  }
}

void OVMediaView::loadImage() {
  if (videoFailedToLoad_) OV_LOG(kOVAdLogLevelVerbose, "%s", kVideoFallbackMessage);
  const auto cover = nativeAd_ ? nativeAd_->coverImage() : nullptr;
  std::vector<std::shared_ptr<OVAdImage>> images;
  if (cover) images.push_back(cover);
  const std::string coverKey = cover && cover->url() ? cover->url()->absoluteString() : std::string();
  const std::weak_ptr<OVMediaView> weakSelf = self();
  const std::uint64_t generation = loadGeneration_;
  OVAdImage::loadImagesAsyncWithBlurredImages(
      images, true,
      [weakSelf, generation, coverKey](const OVAdImage::ImagesByRole& loaded, const OVAdImage::ImagesByURL& blurred) {
        const auto view = weakSelf.lock();
        // A later ad's load owns the view now.
        if (!view || generation != view->loadGeneration_) return;
        if (const auto imageView = view->imageView_.lock()) {
          const auto image = loaded.find(kOVAdImageTypeCover);
          imageView->setImage(image == loaded.end() ? nullptr : image->second);
          const auto backdrop = blurred.find(coverKey);
          imageView->setBlurredImage(backdrop == blurred.end() ? nullptr : backdrop->second);
        }
        view->dispatchViewDidLoad();
      });
}

void OVMediaView::loadMultiProductAd() {
  const auto carousel = multiProductView_.lock();
  if (!carousel) return;
  const std::weak_ptr<OVMediaView> weakSelf = self();
  carousel->setMultiProductAds(
      nativeAd_->multiProductAdContent(),
      [weakSelf](std::uint64_t index) {
        if (const auto view = weakSelf.lock()) view->logCardImpression(index);
      },
      [weakSelf](std::uint64_t index, platform::Point position, platform::Rect) {
        if (const auto view = weakSelf.lock()) view->handleCardClick(index, position);
      });
}

void OVMediaView::dispatchViewDidLoad() {
  const std::weak_ptr<OVMediaView> weakSelf = self();
  const std::uint64_t generation = loadGeneration_;
  platform::DispatchQueue::main()->async([weakSelf, generation] {
    const auto view = weakSelf.lock();
    // The load's content view and its completion may both report it.
    if (!view || generation != view->loadGeneration_ || view->reportedLoad_ == generation) return;
    view->reportedLoad_ = generation;
    if (const auto listener = view->delegate()) listener->mediaViewDidLoad(view);
  });
}

// ---- Carousel ----

void OVMediaView::logCardImpression(std::uint64_t index) {
  OV_LOG(kOVAdLogLevelDebug, kCardImpressionMessage, static_cast<unsigned long>(index));
  if (!nativeAd_) return;
  const OVNativeAd::Cards cards = nativeAd_->multiProductAdContent();
  const auto card = cardAt(cards, index);
  // An event without the card's token could not be told apart from others.
  if (!card || !card->inlineClientToken()) return;
  const platform::Dictionary data = nativeAd_->generateLoggingDataWithExtraData(
      {{kCardIndexKey, std::to_string(index)}, {kCardCountKey, std::to_string(cards.size())}});
  OVAdEventManager::sharedManager()->logImpressionForToken(*card->inlineClientToken(), data);
}

void OVMediaView::setupCommandProcessorIfNeeded() {
  if (commandProcessor_) return;
  commandProcessor_ = OVAdCommandProcessor::create();
  commandProcessor_->setDelegate(relay());
}

void OVMediaView::handleCardClick(std::uint64_t index, platform::Point position) {
  OV_LOG(kOVAdLogLevelDebug, kCardClickMessage, static_cast<unsigned long>(index));
  if (!nativeAd_) return;
  const OVNativeAd::Cards cards = nativeAd_->multiProductAdContent();
  const auto card = cardAt(cards, index);
  setupCommandProcessorIfNeeded();

  const auto configuration = OVAdConfigManager::sharedManager();
  // A tap this soon after the view appeared was not meant for the ad,
  // however old its impression.
  if (!OVAdClickGate::passesPrematureClickCheck(loadedTime_, *configuration)) return;

  const double firstImpressionTime = nativeAd_->firstImpressionTime();
  platform::Value clickDelay(kNoImpressionClickDelay);
  if (firstImpressionTime != kOVAdNoImpressionTime) {
    clickDelay = platform::Value((now() - firstImpressionTime) * 1000.0);
  }
  const platform::Dictionary data = nativeAd_->generateLoggingDataWithExtraData(
      {{kCardIndexKey, std::to_string(index)},
       {kCardCountKey, std::to_string(cards.size())},
       {kTouchKey, OVAdUtility::getJSONStringFromObject(touchAt(position, clickDelay)).value_or("")}});

  if (!OVAdClickGate::allowsClick(firstImpressionTime, *configuration)) return;
  if (!OVAdClickGate::passesTapMarginCheck(*this, position, *configuration)) return;
  if (!card || !card->commandURL()) return;
  const std::weak_ptr<OVNativeAd> weakAd = nativeAd_;
  commandProcessor_->processCommand(*card->commandURL(), platform::Value(data), card,
                                    [weakAd](OVAdCommand, OVAdAction, const std::shared_ptr<OVAdDataModel>&) {
                                      const auto ad = weakAd.lock();
                                      if (!ad) return;
                                      if (const auto listener = ad->delegate()) listener->nativeAdDidClick(ad);
                                    });
}

// ---- Fullscreen ----

void OVMediaView::openFullscreen(const std::shared_ptr<OVMediaViewDefaultVideoRenderer>& renderer) {
  const std::string callToAction = nativeAd_ ? nativeAd_->callToAction().value_or("") : std::string();
  const auto controller = OVAdFullscreenVideoController::initWithVideoRenderer(renderer, callToAction);
  if (!controller) return;
  videoFullscreenController_ = controller;
  controller->setDelegate(relay());
  const auto proxy = OVAdViewControllerProxy::proxyWithViewController(OVAdUtility::viewControllerFromView(self()));
  if (const auto listener = delegate()) listener->mediaViewWillEnterFullscreen(self());
  if (const auto presenter = proxy ? proxy->currentViewController() : nullptr) presenter->present(controller, true);
  renderer->playVideo();
}

void OVMediaView::videoControllerWillDismiss() {
  if (const auto renderer = currentVideoRenderer_.lock()) renderer->playVideo();
}

void OVMediaView::videoControllerDidDismiss() {
  videoFullscreenController_.reset();
  if (const auto listener = delegate()) listener->mediaViewDidExitFullscreen(self());
}

void OVMediaView::videoControllerDidTapCallToAction(const std::shared_ptr<platform::Button>& button) {
  if (nativeAd_) nativeAd_->handleTap(button, OVNativeAdNoTouchEvent{});
}

// ---- Relay ----

void OVMediaViewRelay::blurredImageViewDidLoad(const std::shared_ptr<OVAdBlurredImageView>&) {
  if (const auto view = mediaView_.lock()) view->dispatchViewDidLoad();
}

void OVMediaViewRelay::multiProductViewDidLoad(const std::shared_ptr<OVAdMultiProductView>&) {
  if (const auto view = mediaView_.lock()) view->dispatchViewDidLoad();
}

void OVMediaViewRelay::defaultVideoRendererWasTapped(const std::shared_ptr<OVMediaViewDefaultVideoRenderer>& renderer) {
  if (const auto view = mediaView_.lock()) view->openFullscreen(renderer);
}

void OVMediaViewRelay::defaultVideoRenderer(const std::shared_ptr<OVMediaViewDefaultVideoRenderer>&, float volume) {
  const auto view = mediaView_.lock();
  if (const auto listener = view ? view->delegate() : nullptr) listener->mediaView(view, volume);
}

void OVMediaViewRelay::defaultVideoRendererDidPause(const std::shared_ptr<OVMediaViewDefaultVideoRenderer>&) {
  const auto view = mediaView_.lock();
  if (const auto listener = view ? view->delegate() : nullptr) listener->mediaViewVideoDidPause(view);
}

void OVMediaViewRelay::defaultVideoRendererDidPlay(const std::shared_ptr<OVMediaViewDefaultVideoRenderer>&) {
  const auto view = mediaView_.lock();
  if (const auto listener = view ? view->delegate() : nullptr) listener->mediaViewVideoDidPlay(view);
}

void OVMediaViewRelay::defaultVideoRendererVideoDidComplete(const std::shared_ptr<OVMediaViewDefaultVideoRenderer>&) {
  const auto view = mediaView_.lock();
  if (const auto listener = view ? view->delegate() : nullptr) listener->mediaViewVideoDidComplete(view);
}

void OVMediaViewRelay::videoControllerWillDismiss(const std::shared_ptr<OVAdFullscreenVideoController>&) {
  if (const auto view = mediaView_.lock()) view->videoControllerWillDismiss();
}

void OVMediaViewRelay::videoControllerDidDismiss(const std::shared_ptr<OVAdFullscreenVideoController>&) {
  if (const auto view = mediaView_.lock()) view->videoControllerDidDismiss();
}

void OVMediaViewRelay::videoControllerDidTapCallToAction(const std::shared_ptr<OVAdFullscreenVideoController>&,
                                                         const std::shared_ptr<platform::Button>& button,
                                                         const platform::Event*) {
  if (const auto view = mediaView_.lock()) view->videoControllerDidTapCallToAction(button);
}

std::shared_ptr<OVAdViewControllerProxy> OVMediaViewRelay::viewControllerForPresentingModalView() {
  const auto view = mediaView_.lock();
  return OVAdViewControllerProxy::proxyWithViewController(
      view ? OVAdUtility::viewControllerFromView(view) : std::shared_ptr<platform::ViewController>());
}

}  // namespace plexora
