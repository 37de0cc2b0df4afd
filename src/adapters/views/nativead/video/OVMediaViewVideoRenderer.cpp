#include "plexora/OVMediaViewVideoRenderer.h"

#include <algorithm>
#include <cstdio>

#include "adapters/views/nativead/video/OVAdVideoPlayerAccess.h"
#include "adapters/views/nativead/video/OVMediaViewVideoRendererState.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/media/SystemPlayerKit.h"
#include "plexora/OVAdErrorDomain.h"
#include "plexora/OVAdSettings.h"
#include "tracking/OVAdVideoLogger.h"
#include "util/cache/OVAdCache.h"
#include "util/OVAdError.h"
#include "util/OVAdKeyValueObserving.h"
#include "util/OVAdLogger.h"
#include "util/OVAdNotificationCenter.h"
#include "util/compatibility/OVAdFileVideoAsset.h"
#include "util/qnv/asset/QNVAssetForCache.h"
#include "util/qnv/asset/QNVMediaAsset.h"
#include "util/qnv/player/QNVPlayer.h"

namespace plexora {

namespace {

// How often the renderer's own reporter gives the logger the position.
const platform::MediaTime kProgressInterval = platform::MediaTime::make(250, 1000);

using WeakRenderer = std::weak_ptr<platform::View>;

// The state of a renderer still alive, else null; the view is kept alive
// through `keep` while the caller works.
OVMediaViewVideoRendererState* stateOf(const WeakRenderer& weak, std::shared_ptr<platform::View>& keep) {
  keep = weak.lock();
  const auto* renderer = dynamic_cast<const OVMediaViewVideoRenderer*>(keep.get());
  return renderer ? renderer->rendererState().get() : nullptr;
}

void onMain(WeakRenderer weak, std::function<void(OVMediaViewVideoRendererState&)> work) {
  platform::DispatchQueue::main()->async([weak = std::move(weak), work = std::move(work)] {
    std::shared_ptr<platform::View> keep;
    if (auto* state = stateOf(weak, keep)) work(*state);
  });
}

std::string playbackFailedDescription(const std::optional<platform::Error>& error) {
  if (!error) return kOVMediaViewPlaybackFailedUnknown;
  const std::string reason = error->localizedDescription();
  const auto code = static_cast<long>(error->code());
  const int length = std::snprintf(nullptr, 0, kOVMediaViewPlaybackFailedFormat, code, reason.c_str());
  std::string text(static_cast<std::size_t>(std::max(length, 0)), '\0');
  std::snprintf(text.data(), text.size() + 1, kOVMediaViewPlaybackFailedFormat, code, reason.c_str());
  return text;
}

// Hears the engine player's status, posted on the media-state queue, and
// carries a failure to the main queue for the load it was made for.
class EngineStatusObserver final : public OVAdKeyValueObserver {
 public:
  EngineStatusObserver(WeakRenderer renderer, std::uint64_t load) : renderer_(std::move(renderer)), load_(load) {}

  void observeValueForKeyPath(const std::string& keyPath, OVAdKeyValueObservable*, const platform::Dictionary& change,
                              void*) override {
    const platform::Value* value = change.find(kOVAdKeyValueChangeNewKey);
    if (keyPath != kQNVPlayerStatusKey || !value || value->toDouble() != kQNVPlayerStatusFailed) return;
    onMain(renderer_, [load = load_](OVMediaViewVideoRendererState& state) { state.playbackFailed(load); });
  }

 private:
  WeakRenderer renderer_;
  std::uint64_t load_;
};

}  // namespace

// ---- Construction and layout ----

OVMediaViewVideoRenderer::OVMediaViewVideoRenderer() : state_(std::make_shared<OVMediaViewVideoRendererState>(*this)) {
  state_->videoContainerView = std::make_shared<platform::View>(bounds());
  // The renderer's own touch handling (its subclasses') sees every touch.
  state_->videoContainerView->setUserInteractionEnabled(false);
  // A view must be shared before it takes subviews: the container is added
  // at the first layout or load.
  const std::weak_ptr<OVMediaViewVideoRendererState> weakState = state_;
  addPeriodicTimeObserverForInterval(kProgressInterval, platform::DispatchQueue::main(),
                                     [weakState](const platform::MediaTime&) {
                                       if (const auto state = weakState.lock()) state->reportProgress();
                                     });
}

OVMediaViewVideoRenderer::~OVMediaViewVideoRenderer() {
  OVMediaViewVideoRendererState& state = *state_;
  if (state.player) state.player->pause();
  state.endItemObservation();
  if (state.videoLogger) state.videoLogger->registerStop(currentTime());
  for (const auto& observer : state.timingObservers) state.detach(*observer);
}

void OVMediaViewVideoRenderer::layoutSubviews() {
  platform::View::layoutSubviews();
  const auto& container = state_->videoContainerView;
  if (!container->superview()) insertSubview(container, 0);
  container->setFrame(platform::Rect({0, 0}, bounds().size));
  if (state_->videoView) state_->videoView->setFrame(platform::Rect({0, 0}, bounds().size));
}

void OVMediaViewVideoRenderer::setFrame(platform::Rect frame) {
  platform::View::setFrame(frame);
  if (weak_from_this().expired()) return;
  layoutSubviews();
}

// ---- Time observers ----

std::shared_ptr<OVAdTimeObserver> OVMediaViewVideoRenderer::addPeriodicTimeObserverForInterval(
    const platform::MediaTime& interval, platform::DispatchQueuePtr queue, TimeBlock block) {
  auto record = OVAdTimeObserver::initWithInterval(interval, std::move(queue), std::move(block));
  if (!record) return nullptr;
  state_->timingObservers.push_back(record);
  state_->attach(*record);
  return record;
}

void OVMediaViewVideoRenderer::removeTimeObserver(const std::shared_ptr<OVAdTimeObserver>& observer) {
  auto& records = state_->timingObservers;
  const auto found = std::find(records.begin(), records.end(), observer);
  if (found == records.end()) return;
  state_->detach(**found);
  records.erase(found);
}

void OVMediaViewVideoRendererState::attach(OVAdTimeObserver& observer) {
  if (!player || observer.downstreamObserver()) return;
  observer.setDownstreamObserver(OVAdVideoAddPeriodicTimeObserver(
      *player, observer.interval(), observer.queue(),
      [block = observer.block()](const platform::MediaTime& time) { block(time); }));
}

void OVMediaViewVideoRendererState::detach(OVAdTimeObserver& observer) {
  if (player && observer.downstreamObserver()) OVAdVideoRemoveTimeObserver(*player, observer.downstreamObserver());
  observer.setDownstreamObserver(nullptr);
}

// ---- Reads ----

double OVMediaViewVideoRenderer::aspectRatio() const {
  if (!state_->playerItem) return 0.0;
  const platform::Size size = OVAdVideoNaturalSize(state_->asset.get());
  return size.height > 0 ? size.width / size.height : 0.0;
}

platform::MediaTime OVMediaViewVideoRenderer::currentTime() const {
  const auto& player = state_->player;
  if (!player) return platform::MediaTime::zero();
  const platform::MediaTime now = player->currentTime();
  const platform::MediaTime length = OVAdVideoItemDuration(state_->playerItem.get());
  if (!now.isValid() || !length.isValid()) return platform::MediaTime::zero();
  // An item whose length is not known yet does not limit the position.
  if (!length.isNumeric() || !(length > platform::MediaTime::zero())) return now;
  return std::min(now, length);
}

platform::MediaTime OVMediaViewVideoRenderer::duration() const {
  if (!state_->playerItem) return platform::MediaTime::indefinite();
  const platform::MediaTime length = OVAdVideoItemDuration(state_->playerItem.get());
  // Zero is what an item answers before it knows.
  if (!length.isNumeric() || !(length > platform::MediaTime::zero())) return platform::MediaTime::indefinite();
  return length;
}

bool OVMediaViewVideoRenderer::isPlaying() const { return state_->player && state_->intendsToPlay; }

bool OVMediaViewVideoRendererState::itemFailed() const {
  return OVAdVideoItemFailed(player.get(), playerItem.get());
}

// ---- Playback ----

void OVMediaViewVideoRenderer::playVideo() {
  OVMediaViewVideoRendererState& state = *state_;
  if (!state.player || state.itemFailed() || state.intendsToPlay) return;
  if (state.isStarted && state.videoLogger) state.videoLogger->registerResume(currentTime());
  state.player->play();
  state.isStarted = true;
  state.intendsToPlay = true;
  videoDidPlay();
}

void OVMediaViewVideoRenderer::pauseVideo() {
  OVMediaViewVideoRendererState& state = *state_;
  if (!state.player || state.itemFailed() || !state.intendsToPlay) return;
  state.player->pause();
  state.intendsToPlay = false;
  if (state.videoLogger) state.videoLogger->registerPause(currentTime());
  videoDidPause();
}

float OVMediaViewVideoRenderer::volume() const { return state_->volume; }

void OVMediaViewVideoRenderer::setVolume(float volume) {
  if (volume == state_->volume) return;
  state_->volume = volume;
  if (state_->player) OVAdVideoSetVolume(*state_->player, volume);
  videoDidChangeVolume();
}

// ---- Seeking ----

void OVMediaViewVideoRenderer::engageVideoSeek() {
  OVMediaViewVideoRendererState& state = *state_;
  if (!state.player || state.itemFailed() || state.isSeeking) return;
  state.isSeeking = true;
  // The system's player would play on under the finger; the engine holds
  // its position while seeking.
  if (state.library == OVAdVideoLibrary::kAVPlayer) {
    state.playingBeforeSeeked = state.intendsToPlay;
    if (state.intendsToPlay) {
      state.player->pause();
      state.intendsToPlay = false;
    }
  }
  if (state.videoLogger) state.videoLogger->registerSeekStart(currentTime());
  videoDidEngageSeek();
}

void OVMediaViewVideoRenderer::seekVideoToTime(const platform::MediaTime& time) {
  OVMediaViewVideoRendererState& state = *state_;
  if (!state.player || state.itemFailed() || !state.isSeeking) return;
  if (time.isValid() && !time.isIndefinite()) state.player->seekToTime(time);
  videoDidSeek();
}

void OVMediaViewVideoRenderer::disengageVideoSeek() {
  OVMediaViewVideoRendererState& state = *state_;
  if (!state.player || state.itemFailed() || !state.isSeeking) return;
  state.isSeeking = false;
  if (state.videoLogger) state.videoLogger->registerSeekEnd(currentTime());
  videoDidDisengageSeek();
  if (state.library == OVAdVideoLibrary::kAVPlayer && state.playingBeforeSeeked && !state.intendsToPlay &&
      state.player) {
    state.player->play();
    state.intendsToPlay = true;
    state.isStarted = true;
  }
}

// ---- Loading ----

void OVMediaViewVideoRenderer::loadVideoURL(const platform::URL& videoURL, const std::string& clientToken,
                                            bool autoplayEnabled, Block loadedBlock, Block failureBlock) {
  OVMediaViewVideoRendererState& state = *state_;
  for (const auto& observer : state.timingObservers) state.detach(*observer);
  // A late report about the previous item must not reach this video.
  state.endItemObservation();
  if (state.player) state.player->pause();
  if (state.videoView) state.videoView->removeFromSuperview();
  state.videoView.reset();
  state.player.reset();
  state.playerItem.reset();
  state.asset.reset();

  layoutSubviews();
  auto videoView = OVAdVideoPlayerView::initWithFrame({});
  state.videoView = videoView;
  state.videoContainerView->addSubview(videoView);
  setNeedsLayout();
  layoutSubviews();

  state.isStarted = false;
  state.intendsToPlay = false;
  state.isSeeking = false;
  state.playingBeforeSeeked = false;
  state.lastError.reset();
  state.loadedBlock = std::move(loadedBlock);
  state.failureBlock = std::move(failureBlock);

  const WeakRenderer weak = sharedView();
  // The previous video's logger goes without a stop report: its video was
  // replaced, not watched to a stop.
  state.videoLogger = OVAdVideoLogger::initWithTargetView(
      videoView, clientToken.empty() ? std::nullopt : std::optional<std::string>(clientToken),
      [weak] {
        std::shared_ptr<platform::View> keep;
        const auto* alive = stateOf(weak, keep);
        return alive ? alive->volume : 0.0F;
      },
      autoplayEnabled);

  // The layer was made for one player kind; the player must be of it.
  state.library = videoView->videoLibrary();
  const std::uint64_t load = ++state.load;
  OVAdCache::sharedCache()->AVAssetForURL(videoURL, [weak, load, videoURL](
                                                        const std::shared_ptr<QNVAssetForCache>& asset) {
    // Whatever queue the cache answers on, even at once within this call.
    onMain(weak, [load, videoURL, asset](OVMediaViewVideoRendererState& state) {
      state.assetArrived(load, videoURL, asset);
    });
  });
}

void OVMediaViewVideoRendererState::assetArrived(std::uint64_t forLoad, const platform::URL& url,
                                                 const std::shared_ptr<QNVAssetForCache>& cached) {
  if (forLoad != load) return;
  if (!cached) {
    fail(kOVMediaViewErrorInvalidResponse, kOVMediaViewInvalidResponse);
    return;
  }
  std::shared_ptr<platform::PlayerAsset> playable;
  platform::URL itemURL = url;
  if (const auto file = std::dynamic_pointer_cast<OVAdFileVideoAsset>(cached)) {
    // Without an asset factory of its own the cache answers the downloaded
    // file; it is opened here as an asset of this load's player kind.
    if (!file->isFile() || !file->fileSize()) {
      fail(kOVMediaViewErrorInvalidResponse, kOVMediaViewInvalidResponse);
      return;
    }
    itemURL = file->url();
    playable = OVAdCreateVideoAsset(library, itemURL, true);
  } else {
    playable = std::dynamic_pointer_cast<platform::PlayerAsset>(cached);
    const bool engineAsset = std::dynamic_pointer_cast<QNVAVAsset>(cached) != nullptr;
    if (engineAsset != (library == OVAdVideoLibrary::kQNVPlayer)) playable.reset();
  }
  if (!playable) {
    fail(kOVMediaViewErrorUnsupportedAsset, kOVMediaViewUnsupportedAsset);
    return;
  }
  asset = playable;
  playerItem = OVAdCreateVideoPlayerItem(library, playable, itemURL);
  if (!playerItem) {
    // No system player on this platform.
    fail(kOVMediaViewErrorUnsupportedAsset, kOVMediaViewUnsupportedAsset);
    return;
  }
  const WeakRenderer weak = owner.sharedView();
  playable->loadValuesAsynchronouslyForKeys({kOVMediaViewVideoDurationKey}, [weak, forLoad] {
    onMain(weak, [forLoad](OVMediaViewVideoRendererState& state) { state.startPlayer(forLoad); });
  });
}

void OVMediaViewVideoRendererState::startPlayer(std::uint64_t forLoad) {
  if (forLoad != load || !playerItem || !videoView) return;
  if (library == OVAdVideoLibrary::kQNVPlayer) {
    // The engine reads the file itself: one it cannot parse fails here
    // rather than as a player that never shows a frame.
    const auto* engineItem = dynamic_cast<const QNVAssetForPlayer*>(playerItem.get());
    const auto* engineAsset = dynamic_cast<const QNVAVAsset*>(asset.get());
    std::optional<platform::Error> loadError;
    if (!engineItem || !engineAsset ||
        engineAsset->statusOfValueForKey(kOVMediaViewVideoDurationKey, &loadError) != kQNVKeyValueStatusLoaded ||
        !engineItem->formatDesc()) {
      fail(kOVMediaViewErrorUnsupportedAsset, kOVMediaViewUnsupportedAsset);
      return;
    }
  }
  player = OVAdCreateVideoPlayer(library, playerItem, videoView->playerLayer());
  if (!player) {
    fail(kOVMediaViewErrorUnsupportedAsset, kOVMediaViewUnsupportedAsset);
    return;
  }
  player->setMuted(false);
  OVAdVideoSetVolume(*player, volume);
  videoView->setPlayer(player);
  for (const auto& observer : timingObservers) attach(*observer);
  owner.setNeedsLayout();
  observeItem(forLoad);
  const WeakRenderer weak = owner.sharedView();
  onMain(weak, [forLoad](OVMediaViewVideoRendererState& state) { state.finishLoad(forLoad); });
}

void OVMediaViewVideoRendererState::observeItem(std::uint64_t forLoad) {
  endItemObservation();
  const WeakRenderer weak = owner.sharedView();
  notifications = OVAdNotificationCenter::create();
  // The players post an item's notifications with the whole item's address.
  const void* item = dynamic_cast<const void*>(playerItem.get());
  notifications->addNotificationWithName(platform::kAVPlayerItemDidPlayToEndTimeNotification, item,
                                         [weak, forLoad](const platform::Notification&) {
                                           onMain(weak, [forLoad](OVMediaViewVideoRendererState& state) {
                                             state.reachedEnd(forLoad);
                                           });
                                         });
  notifications->addNotificationWithName(platform::kAVPlayerItemFailedToPlayToEndTimeNotification, item,
                                         [weak, forLoad](const platform::Notification&) {
                                           onMain(weak, [forLoad](OVMediaViewVideoRendererState& state) {
                                             state.playbackFailed(forLoad);
                                           });
                                         });
  // Only the system's player plays in the background; its layer lets go of
  // the player meanwhile.
  const auto showPlayer = [weak](bool show) {
    std::shared_ptr<platform::View> keep;
    auto* state = stateOf(weak, keep);
    if (!state || !OVAdSettings::isBackgroundVideoPlaybackAllowed() || !state->videoView) return;
    if (const auto layer = std::dynamic_pointer_cast<platform::SystemPlayerLayer>(state->videoView->playerLayer())) {
      layer->setPlayer(show ? state->player : nullptr);
    }
  };
  notifications->addNotificationWithName(platform::kApplicationDidEnterBackgroundNotification,
                                         [showPlayer](const platform::Notification&) { showPlayer(false); });
  notifications->addNotificationWithName(platform::kApplicationWillEnterForegroundNotification,
                                         [showPlayer](const platform::Notification&) { showPlayer(true); });

  if (const auto engine = std::dynamic_pointer_cast<QNVPlayer>(player)) {
    engineStatusObserver = std::make_shared<EngineStatusObserver>(weak, forLoad);
    engine->addObserver(engineStatusObserver, kQNVPlayerStatusKey, kOVAdKeyValueObservingOptionNew, nullptr);
    observedEnginePlayer = engine;
  } else if (const auto system = std::dynamic_pointer_cast<platform::SystemPlayerItem>(playerItem)) {
    systemItemObserver = system->addObserver([weak, forLoad](const std::string& key) {
      if (key != platform::kSystemPlayerItemStatusKey) return;
      std::shared_ptr<platform::View> keep;
      auto* state = stateOf(weak, keep);
      if (state && state->itemFailed()) state->playbackFailed(forLoad);
    });
    observedSystemItem = system;
  }
}

void OVMediaViewVideoRendererState::endItemObservation() {
  notifications.reset();
  if (const auto engine = observedEnginePlayer.lock(); engine && engineStatusObserver) {
    engine->removeObserver(engineStatusObserver.get(), kQNVPlayerStatusKey, nullptr);
  }
  engineStatusObserver.reset();
  observedEnginePlayer.reset();
  if (const auto item = observedSystemItem.lock()) item->removeObserver(systemItemObserver);
  observedSystemItem.reset();
  systemItemObserver = 0;
}

void OVMediaViewVideoRendererState::finishLoad(std::uint64_t forLoad) {
  if (forLoad != load || !player || itemFailed()) return;
  if (loadedBlock) loadedBlock();
  owner.videoDidLoad();
}

// ---- End and failure ----

void OVMediaViewVideoRendererState::reachedEnd(std::uint64_t forLoad) {
  if (forLoad != load || !player || itemFailed()) return;
  if (videoLogger) videoLogger->registerComplete(owner.currentTime());
  owner.videoDidEnd();
  if (forLoad != load || !player) return;
  // The video rests at its start, paused; the next play is a resume.
  player->seekToTime(platform::MediaTime::zero());
  player->pause();
  intendsToPlay = false;
}

void OVMediaViewVideoRendererState::playbackFailed(std::uint64_t forLoad) {
  if (forLoad != load || !player || lastError) return;
  fail(kOVMediaViewErrorPlaybackFailed,
       playbackFailedDescription(OVAdVideoPlaybackError(player.get(), playerItem.get())));
}

void OVMediaViewVideoRendererState::fail(std::int64_t code, const std::string& description) {
  const platform::Error error = OVAdError::getNSError(code, OVPlexoraMediaViewErrorDomain, description, {});
  OV_LOG(kOVAdLogLevelError, "%s", description.c_str());
  lastError = error;
  intendsToPlay = false;
  // Every failure of a load runs its failure block, once: the media view
  // falls back to its cover image whatever went wrong.
  const OVMediaViewVideoRenderer::Block failure = std::move(failureBlock);
  failureBlock = nullptr;
  if (failure) failure();
  owner.videoDidFailWithError(error);
}

void OVMediaViewVideoRendererState::reportProgress() {
  if (!videoLogger || !player || isSeeking || itemFailed()) return;
  videoLogger->registerProgress(owner.currentTime());
}

}  // namespace plexora
