#include "adapters/views/nativead/video/OVMediaViewEngineVideoRenderer.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "platform/ui/Window.h"
#include "plexora/OVAdErrorDomain.h"
#include "plexora/OVAdImage.h"
#include "util/OVAdCache.h"
#include "util/OVAdError.h"
#include "util/OVAdLogger.h"
#include "platform/media/SystemPlayerKit.h"
#include "tracking/OVAdVideoLogger.h"
#include "util/OVAdTimer.h"
#include "util/compatibility/OVAdFileVideoAsset.h"
#include "util/qnv/QNVAssetForCache.h"
#include "util/qnv/QNVMediaAsset.h"
#include "util/qnv/QNVPlayer.h"
#include "util/qnv/QNVPlayerLayer.h"
#include "util/qnv/QNVSynchronousPlayer.h"

namespace plexora {

namespace {

constexpr const char* kDurationKey = "duration";
constexpr const char* kPlaybackFailedFormat = "Video playback failed with error code %ld (%s)";
constexpr const char* kUnsupportedAssetMessage = "Asset is an unsupported type";
constexpr const char* kInvalidResponseMessage = "Asset returning invalid response";
constexpr const char* kMutedTitle = "Sound off";
constexpr const char* kUnmutedTitle = "Sound on";
constexpr double kMuteButtonMargin = 8.0;
constexpr float kUnmutedVolume = 1.0F;

std::string playbackFailedDescription(std::int64_t code, const std::string& reason) {
  const int length = std::snprintf(nullptr, 0, kPlaybackFailedFormat, static_cast<long>(code), reason.c_str());
  std::string text(static_cast<std::size_t>(std::max(length, 0)), '\0');
  std::snprintf(text.data(), text.size() + 1, kPlaybackFailedFormat, static_cast<long>(code), reason.c_str());
  return text;
}

}  // namespace

// Carries the player's changes from the media-state queue to the main
// queue, for the load it was made for.
class OVMediaViewEngineVideoRenderer::PlayerObserver final : public OVAdKeyValueObserver {
 public:
  PlayerObserver(std::weak_ptr<OVMediaViewEngineVideoRenderer> renderer, std::uint64_t load)
      : renderer_(std::move(renderer)), load_(load) {}

  void observeValueForKeyPath(const std::string& keyPath, OVAdKeyValueObservable*, const platform::Dictionary& change,
                              void*) override {
    const platform::Value* value = change.find(kOVAdKeyValueChangeNewKey);
    if (!value) return;
    if (keyPath == kQNVPlayerRateKey) {
      const auto rate = static_cast<float>(value->toDouble());
      onMain([rate](OVMediaViewEngineVideoRenderer& renderer) { renderer.playerRateChanged(rate); });
    } else if (keyPath == kQNVPlayerStatusKey && value->toDouble() == kQNVPlayerStatusFailed) {
      onMain([](OVMediaViewEngineVideoRenderer& renderer) { renderer.playerFailed(); });
    }
  }

  void onMain(std::function<void(OVMediaViewEngineVideoRenderer&)> work) const {
    platform::DispatchQueue::main()->async([renderer = renderer_, load = load_, work = std::move(work)] {
      const auto self = renderer.lock();
      if (self && self->load_ == load) work(*self);
    });
  }

 private:
  std::weak_ptr<OVMediaViewEngineVideoRenderer> renderer_;
  std::uint64_t load_;
};

OVMediaViewDefaultVideoRenderer::Maker& OVMediaViewDefaultVideoRenderer::maker() {
  static Maker instance;
  static std::once_flag installed;
  std::call_once(installed, [] {
    instance.install(
        []() -> std::shared_ptr<OVMediaViewDefaultVideoRenderer> { return OVMediaViewEngineVideoRenderer::create(); });
  });
  return instance;
}

std::shared_ptr<OVMediaViewEngineVideoRenderer> OVMediaViewEngineVideoRenderer::create() {
  auto renderer = std::make_shared<OVMediaViewEngineVideoRenderer>();
  renderer->build();
  return renderer;
}

OVMediaViewEngineVideoRenderer::~OVMediaViewEngineVideoRenderer() {
  if (videoLogger_) videoLogger_->registerStop(currentTime());
  releasePlayer();
}

std::shared_ptr<OVMediaViewEngineVideoRenderer> OVMediaViewEngineVideoRenderer::self() {
  return std::static_pointer_cast<OVMediaViewEngineVideoRenderer>(sharedView());
}

void OVMediaViewEngineVideoRenderer::build() {
  setClipsToBounds(true);
  setBackgroundColor(platform::Color::black());
  const std::weak_ptr<OVMediaViewEngineVideoRenderer> weakSelf = self();

  // Takes no touches: the renderer's own tap sees them.
  auto video = std::make_shared<platform::View>(bounds());
  video->setUserInteractionEnabled(false);
  addSubview(video);
  videoView_ = video;

  auto poster = std::make_shared<platform::ImageView>(bounds());
  poster->setContentMode(platform::ContentMode::ScaleAspectFit);
  addSubview(poster);
  posterView_ = poster;

  auto mute = std::make_shared<platform::Button>();
  mute->setTitle(kMutedTitle, platform::kControlStateNormal);
  mute->setTitleColor(platform::Color::white(), platform::kControlStateNormal);
  mute->addAction(platform::kControlEventTouchUpInside, [weakSelf](platform::Control&, const platform::Event*) {
    if (const auto renderer = weakSelf.lock()) renderer->toggleMute();
  });
  addSubview(mute);
  muteButton_ = mute;

  addGestureRecognizer(std::make_shared<platform::TapGestureRecognizer>([weakSelf](platform::GestureRecognizer& tap) {
    if (tap.state() != platform::GestureRecognizerState::Ended) return;
    if (const auto renderer = weakSelf.lock()) renderer->tapped();
  }));
  layout();
}

void OVMediaViewEngineVideoRenderer::layout() {
  if (const auto video = videoView_.lock()) video->setFrame(bounds());
  if (const auto poster = posterView_.lock()) poster->setFrame(bounds());
  if (const auto mute = muteButton_.lock()) {
    mute->setFrame({bounds().size.width - kMuteButtonSize - kMuteButtonMargin,
                    bounds().size.height - kMuteButtonSize - kMuteButtonMargin, kMuteButtonSize, kMuteButtonSize});
  }
  if (layer_) layer_->setBounds(platform::Rect({0, 0}, bounds().size));
}

void OVMediaViewEngineVideoRenderer::setFrame(platform::Rect frame) {
  OVMediaViewDefaultVideoRenderer::setFrame(frame);
  layout();
}

void OVMediaViewEngineVideoRenderer::setBounds(platform::Rect bounds) {
  OVMediaViewDefaultVideoRenderer::setBounds(bounds);
  layout();
}

QNVPlayer* OVMediaViewEngineVideoRenderer::enginePlayer() const { return dynamic_cast<QNVPlayer*>(player_.get()); }

std::shared_ptr<QNVPlayerLayer> OVMediaViewEngineVideoRenderer::playerLayer() const {
  return std::dynamic_pointer_cast<QNVPlayerLayer>(layer_);
}

void OVMediaViewEngineVideoRenderer::draw(platform::GraphicsContext& context, platform::Rect rect) const {
  const auto engineLayer = playerLayer();
  auto frame = engineLayer ? engineLayer->presentedImage() : nullptr;
  if (!frame) return;
  // The frame changes on the rendering thread between draws: it is fetched
  // here and drawn as an image view would draw it.
  platform::ImageView picture(bounds());
  picture.setContentMode(platform::ContentMode::ScaleAspectFit);
  picture.setImage(std::move(frame));
  picture.draw(context, rect);
}

// ---- Loading ----

void OVMediaViewEngineVideoRenderer::loadVideoURL(const platform::URL& videoURL, const std::string& clientToken,
                                                  bool autoplayEnabled, Block loadedBlock, Block failureBlock) {
  releasePlayer();
  const std::weak_ptr<OVMediaViewEngineVideoRenderer> weakSelf = self();
  // The previous video's logger goes without a stop report: its video was
  // replaced, not watched to a stop.
  videoLogger_ = OVAdVideoLogger::initWithTargetView(
      videoView_.lock(), clientToken.empty() ? std::nullopt : std::optional<std::string>(clientToken),
      [weakSelf] {
        const auto renderer = weakSelf.lock();
        return renderer ? renderer->volume() : 0.0F;
      },
      autoplayEnabled);
  started_ = false;
  const std::uint64_t load = ++load_;
  loadedBlock_ = std::move(loadedBlock);
  failureBlock_ = std::move(failureBlock);
  autoplayEnabled_ = autoplayEnabled;
  ready_ = false;
  ended_ = false;
  autoplayDone_ = false;
  lastError_.reset();
  library_ = OVAdChooseVideoLibrary();
  OVAdCache::sharedCache()->AVAssetForURL(
      videoURL, [weakSelf, load, videoURL](const std::shared_ptr<QNVAssetForCache>& asset) {
        // The cache answers on the main queue, except at once for a video
        // whose download failed before: keep the report out of the caller's
        // call.
        platform::DispatchQueue::main()->async([weakSelf, load, videoURL, asset] {
          if (const auto renderer = weakSelf.lock()) renderer->assetArrived(load, videoURL, asset);
        });
      });
}

void OVMediaViewEngineVideoRenderer::assetArrived(std::uint64_t load, const platform::URL& videoURL,
                                                  const std::shared_ptr<QNVAssetForCache>& asset) {
  if (load != load_) return;
  if (!asset) {
    fail(kOVMediaViewErrorInvalidResponse, kInvalidResponseMessage);
    return;
  }
  const auto file = std::dynamic_pointer_cast<OVAdFileVideoAsset>(asset);
  if (!file) {
    // The cache made the asset itself: it serves only when it is of the
    // kind this load chose.
    const auto playable = std::dynamic_pointer_cast<platform::PlayerAsset>(asset);
    const bool engineAsset = std::dynamic_pointer_cast<QNVAVAsset>(asset) != nullptr;
    if (!playable || engineAsset != (library_ == OVAdVideoLibrary::kQNVPlayer)) {
      fail(kOVMediaViewErrorUnsupportedAsset, kUnsupportedAssetMessage);
      return;
    }
    startPlayer(load, playable, videoURL);
    return;
  }
  // Without an asset factory of its own the cache answers the downloaded
  // file; it is opened here as the chosen player's asset.
  if (!file->isFile() || !file->fileSize()) {
    fail(kOVMediaViewErrorInvalidResponse, kInvalidResponseMessage);
    return;
  }
  const platform::URL fileURL = file->url();
  const auto opened = OVAdCreateVideoAsset(library_, fileURL, true);
  if (!opened) {
    fail(kOVMediaViewErrorUnsupportedAsset, kUnsupportedAssetMessage);
    return;
  }
  const std::weak_ptr<OVMediaViewEngineVideoRenderer> weakSelf = self();
  opened->loadValuesAsynchronouslyForKeys({kDurationKey}, [weakSelf, load, opened, fileURL] {
    platform::DispatchQueue::main()->async([weakSelf, load, opened, fileURL] {
      if (const auto renderer = weakSelf.lock()) renderer->startPlayer(load, opened, fileURL);
    });
  });
}

void OVMediaViewEngineVideoRenderer::startPlayer(std::uint64_t load, const std::shared_ptr<platform::PlayerAsset>& asset,
                                                 const platform::URL& url) {
  if (load != load_) return;
  if (library_ == OVAdVideoLibrary::kQNVPlayer) {
    // The engine reads the file itself: one it cannot parse fails here
    // rather than as a player that never shows a frame.
    const auto item = std::dynamic_pointer_cast<QNVAssetForPlayer>(asset);
    const auto avAsset = std::dynamic_pointer_cast<QNVAVAsset>(asset);
    std::optional<platform::Error> loadError;
    if (!item || !avAsset || avAsset->statusOfValueForKey(kDurationKey, &loadError) != kQNVKeyValueStatusLoaded ||
        !item->formatDesc()) {
      fail(kOVMediaViewErrorUnsupportedAsset, kUnsupportedAssetMessage);
      return;
    }
    naturalSize_ = avAsset->naturalSize();
  }
  duration_ = asset->duration();
  durationSeconds_ = duration_.seconds();

  const auto item = OVAdCreateVideoPlayerItem(library_, asset, url);
  auto layer = item ? OVAdCreateVideoPlayerLayer(library_) : nullptr;
  auto player = layer ? OVAdCreateVideoPlayer(library_, item, layer) : nullptr;
  if (!player) {
    if (const auto engineLayer = std::dynamic_pointer_cast<QNVPlayerLayer>(layer)) engineLayer->invalidate();
    fail(kOVMediaViewErrorUnsupportedAsset, kUnsupportedAssetMessage);
    return;
  }
  layer->setBounds(platform::Rect({0, 0}, bounds().size));
  // The engine's player was built with its layer; the system's layer is
  // told its player.
  if (const auto systemLayer = std::dynamic_pointer_cast<platform::SystemPlayerLayer>(layer)) {
    systemLayer->setPlayer(player);
  }
  layer_ = std::move(layer);
  player_ = std::move(player);
  if (QNVPlayer* engine = enginePlayer()) {
    observeEnginePlayer(load, *engine, *item);
  } else {
    // The system's player starts with sound; this view's videos start muted.
    player_->setMuted(true);
  }
  ready_ = true;
  const std::weak_ptr<OVMediaViewEngineVideoRenderer> weakSelf = self();
  progressTimer_ = OVAdTimer::scheduledTimerWithTimeInterval(kProgressInterval, true, [weakSelf](const auto&) {
    if (const auto renderer = weakSelf.lock()) renderer->reportProgress();
  });
  if (loadedBlock_) loadedBlock_();
  playIfAutoplayDue();
}

void OVMediaViewEngineVideoRenderer::observeEnginePlayer(std::uint64_t load, QNVPlayer& player,
                                                         const platform::PlayerItem& item) {
  observer_ = std::make_shared<PlayerObserver>(self(), load);
  player.addObserver(observer_, kQNVPlayerRateKey, kOVAdKeyValueObservingOptionNew, nullptr);
  player.addObserver(observer_, kQNVPlayerStatusKey, kOVAdKeyValueObservingOptionNew, nullptr);

  auto& center = platform::NotificationCenter::defaultCenter();
  const std::shared_ptr<PlayerObserver> observer = observer_;
  // The engine posts an item's notifications with the whole asset's address.
  const void* identity = dynamic_cast<const void*>(&item);
  notifications_.push_back(center.addObserver(kAVPlayerItemDidPlayToEndTimeNotification, identity, nullptr,
                                              [observer](const platform::Notification&) {
                                                observer->onMain([](OVMediaViewEngineVideoRenderer& renderer) {
                                                  renderer.playerReachedEnd();
                                                });
                                              }));
  notifications_.push_back(center.addObserver(kAVPlayerItemFailedToPlayToEndTimeNotification, identity, nullptr,
                                              [observer](const platform::Notification&) {
                                                observer->onMain([](OVMediaViewEngineVideoRenderer& renderer) {
                                                  renderer.playerFailed();
                                                });
                                              }));
}

void OVMediaViewEngineVideoRenderer::releasePlayer() {
  if (progressTimer_) progressTimer_->invalidate();
  progressTimer_.reset();
  intendsToPlay_ = false;
  auto& center = platform::NotificationCenter::defaultCenter();
  for (const auto token : notifications_) center.removeObserver(token);
  notifications_.clear();
  if (QNVPlayer* engine = enginePlayer(); engine && observer_) {
    engine->removeObserver(observer_.get(), kQNVPlayerRateKey, nullptr);
    engine->removeObserver(observer_.get(), kQNVPlayerStatusKey, nullptr);
  }
  if (player_) player_->pause();
  observer_.reset();
  player_.reset();
  // The engine layer's rendering thread lets go of it only once invalidated.
  if (const auto engineLayer = playerLayer()) engineLayer->invalidate();
  layer_.reset();
  playing_ = false;
}

void OVMediaViewEngineVideoRenderer::fail(std::int64_t code, const std::string& description) {
  lastError_ = OVAdError::getNSError(code, OVPlexoraMediaViewErrorDomain, description, {});
  OV_LOG(kOVAdLogLevelError, "%s", description.c_str());
  ready_ = false;
  releasePlayer();
  if (const auto poster = posterView_.lock()) poster->setHidden(false);
  // The failure ends this load: a later report of it has nothing to run.
  ++load_;
  const Block failure = std::move(failureBlock_);
  failureBlock_ = nullptr;
  loadedBlock_ = nullptr;
  if (failure) failure();
}

// ---- Playback ----

void OVMediaViewEngineVideoRenderer::playVideo() {
  if (!player_ || !ready_) return;
  const bool rewound = ended_;
  if (ended_) {
    ended_ = false;
    player_->seekToTime(platform::MediaTime::zero());
  }
  if (started_ && !intendsToPlay_ && videoLogger_) {
    videoLogger_->registerResume(rewound ? platform::MediaTime::zero() : currentTime());
  }
  player_->play();
  started_ = true;
  intendsToPlay_ = true;
}

void OVMediaViewEngineVideoRenderer::pauseVideo() {
  if (!player_) return;
  player_->pause();
  if (intendsToPlay_ && ready_ && videoLogger_) videoLogger_->registerPause(currentTime());
  intendsToPlay_ = false;
}

platform::MediaTime OVMediaViewEngineVideoRenderer::currentTime() const {
  if (!player_) return platform::MediaTime::zero();
  const platform::MediaTime now = player_->currentTime();
  if (!now.isNumeric()) return platform::MediaTime::zero();
  return duration_.isNumeric() && durationSeconds_ > 0.0 && now.seconds() > durationSeconds_ ? duration_ : now;
}

void OVMediaViewEngineVideoRenderer::reportProgress() {
  if (videoLogger_ && player_ && ready_) videoLogger_->registerProgress(currentTime());
}

void OVMediaViewEngineVideoRenderer::playIfAutoplayDue() {
  if (!ready_ || !autoplayEnabled_ || autoplayDone_ || !window()) return;
  autoplayDone_ = true;
  playVideo();
}

void OVMediaViewEngineVideoRenderer::didMoveToWindow() { playIfAutoplayDue(); }

void OVMediaViewEngineVideoRenderer::playerRateChanged(float rate) {
  const bool playing = rate > 0.0F;
  if (playing == playing_) return;
  playing_ = playing;
  if (const auto poster = posterView_.lock()) poster->setHidden(playing);
  const auto listener = delegate_.lock();
  if (!listener) return;
  // The end stops the player too, just before its notification comes; that
  // is reported as the completion.
  const bool atEnd = ended_ || (player_ && player_->currentTime().seconds() >= durationSeconds_);
  if (playing) {
    listener->defaultVideoRendererDidPlay(self());
  } else if (!atEnd) {
    listener->defaultVideoRendererDidPause(self());
  }
}

void OVMediaViewEngineVideoRenderer::playerReachedEnd() {
  ended_ = true;
  intendsToPlay_ = false;
  if (videoLogger_) videoLogger_->registerComplete(currentTime());
  if (const auto listener = delegate_.lock()) listener->defaultVideoRendererVideoDidComplete(self());
}

void OVMediaViewEngineVideoRenderer::playerFailed() {
  const QNVPlayer* engine = enginePlayer();
  const std::optional<platform::Error> error = engine ? engine->error() : std::nullopt;
  fail(kOVMediaViewErrorPlaybackFailed,
       playbackFailedDescription(error ? error->code() : 0, error ? error->localizedDescription() : std::string()));
}

// ---- Controls ----

void OVMediaViewEngineVideoRenderer::setPosterImage(std::shared_ptr<OVAdImage> posterImage) {
  posterImage_ = std::move(posterImage);
  const auto poster = posterView_.lock();
  if (!poster) return;
  poster->setImage(nullptr);
  if (!posterImage_) return;
  const std::weak_ptr<platform::ImageView> weakPoster = poster;
  const std::shared_ptr<OVAdImage> record = posterImage_;
  const std::weak_ptr<OVMediaViewEngineVideoRenderer> weakSelf = self();
  posterImage_->loadImageAsyncWithBlock([weakSelf, weakPoster, record](const std::shared_ptr<platform::Image>& image) {
    const auto renderer = weakSelf.lock();
    // A later poster replaced this one.
    if (!renderer || renderer->posterImage_ != record) return;
    if (const auto view = weakPoster.lock()) view->setImage(image);
  });
}

double OVMediaViewEngineVideoRenderer::aspectRatio() const {
  return naturalSize_.height > 0 ? naturalSize_.width / naturalSize_.height : 0.0;
}

float OVMediaViewEngineVideoRenderer::volume() const {
  if (!player_ || player_->isMuted()) return 0.0F;
  // The system's player surface has no volume: unmuted, it plays at full.
  const QNVPlayer* engine = enginePlayer();
  return engine ? engine->volume() : kUnmutedVolume;
}

void OVMediaViewEngineVideoRenderer::toggleMute() {
  if (!player_) return;
  setVolume(player_->isMuted() ? kUnmutedVolume : 0.0F);
}

void OVMediaViewEngineVideoRenderer::setVolume(float volume) {
  if (!player_) return;
  const bool mute = !(volume > 0.0F);
  player_->setMuted(mute);
  if (QNVPlayer* engine = enginePlayer(); engine && !mute) engine->setVolume(volume);
  if (const auto button = muteButton_.lock()) {
    button->setTitle(mute ? kMutedTitle : kUnmutedTitle, platform::kControlStateNormal);
  }
  // The player takes the change on its own queue; the reads may still
  // answer the old state, so the new volume is told as set.
  if (const auto listener = delegate_.lock()) listener->defaultVideoRenderer(self(), mute ? 0.0F : volume);
}

void OVMediaViewEngineVideoRenderer::setInlineMode(bool inlineMode) {
  inlineMode_ = inlineMode;
  if (inlineMode) setVolume(0.0F);
}

void OVMediaViewEngineVideoRenderer::tapped() {
  // Full screen, the tap that would open it again means nothing.
  if (!inlineMode_) return;
  if (const auto listener = delegate_.lock()) listener->defaultVideoRendererWasTapped(self());
}

}  // namespace plexora
