#include "util/compatibility/OVAdQNVCompatibility.h"

#include <atomic>
#include <utility>

#include "plexora/OVAdSettings.h"
#include "platform/media/SystemPlayerKit.h"
#include "util/OVAdBackgroundDeallocatedClass.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdLogger.h"
#include "util/OVAdResourceLoader.h"
#include "util/qnv/asset/QNVAssetResourceLoader.h"
#include "util/qnv/asset/QNVLocalMp4Asset.h"
#include "util/qnv/asset/QNVMp4Asset.h"
#include "util/qnv/player/QNVPlayer.h"
#include "util/qnv/render/QNVPlayerLayer.h"

namespace plexora {

namespace {

// A system object whose last release tears it down on the background
// deallocation queue.
template <typename T>
std::shared_ptr<T> backgroundDeallocated(std::shared_ptr<T> object) {
  if (!object) return nullptr;
  T* raw = object.get();
  return std::shared_ptr<T>(raw, [object = std::move(object)](T* released) mutable {
    OVAdDeallocateInBackground(released, [object = std::move(object)]() mutable { object.reset(); });
  });
}

// Whether the process's first answer was logged.
std::atomic<bool> videoLibraryLogged{false};

}  // namespace

bool OVAdShouldUseQNVPlayer() {
  const bool answer =
      !OVAdSettings::isBackgroundVideoPlaybackAllowed() && OVAdConfigManager::sharedManager()->isQNVEnabled();
  if (!videoLibraryLogged.exchange(true)) {
    OV_LOG(kOVAdLogLevelDebug, kOVAdUsingVideoLibraryFormat,
           answer ? kOVAdVideoLibraryQNVPlayer : kOVAdVideoLibraryAVPlayer);
  }
  return answer;
}

void OVAdResetVideoLibraryLogForTesting() { videoLibraryLogged.store(false); }

OVAdVideoLibrary OVAdChooseVideoLibrary() {
  return OVAdShouldUseQNVPlayer() ? OVAdVideoLibrary::kQNVPlayer : OVAdVideoLibrary::kAVPlayer;
}

std::shared_ptr<platform::Player> OVAdCreateVideoPlayer(OVAdVideoLibrary library,
                                                        std::shared_ptr<platform::PlayerItem> item,
                                                        std::shared_ptr<platform::PlayerLayer> layer) {
  if (library == OVAdVideoLibrary::kQNVPlayer) {
    auto engineItem = std::dynamic_pointer_cast<QNVAssetForPlayer>(item);
    auto engineLayer = std::dynamic_pointer_cast<QNVPlayerLayer>(layer);
    if (engineItem && engineLayer) {
      auto player = QNVPlayer::initWithDisplayEngine(std::move(engineLayer));
      if (player) player->replaceCurrentItemWithPlayerItem(std::move(engineItem));
      return player;
    }
  }
  const auto kit = platform::SystemPlayerKit::installed();
  return kit ? backgroundDeallocated(kit->makePlayer(std::move(item))) : nullptr;
}

std::shared_ptr<platform::PlayerItem> OVAdCreateVideoPlayerItem(OVAdVideoLibrary library,
                                                                std::shared_ptr<platform::PlayerAsset> asset,
                                                                const platform::URL& url) {
  if (library == OVAdVideoLibrary::kQNVPlayer) {
    if (auto item = std::dynamic_pointer_cast<QNVAVPlayerItem>(asset)) return item;
    return std::dynamic_pointer_cast<platform::PlayerItem>(OVAdCreateVideoAsset(library, url, url.isFileURL()));
  }
  const auto kit = platform::SystemPlayerKit::installed();
  return kit ? backgroundDeallocated(kit->makePlayerItem(std::move(asset))) : nullptr;
}

std::shared_ptr<platform::PlayerAsset> OVAdCreateVideoAsset(OVAdVideoLibrary library, const platform::URL& url,
                                                            bool isFile) {
  if (library == OVAdVideoLibrary::kQNVPlayer) {
    if (isFile) return QNVLocalMp4Asset::initWithLocalURL(url, false, platform::Size{});
    auto asset = QNVMp4Asset::initWithURL(url, 0, 0);
    asset->resourceLoader()->setDelegate(OVAdResourceLoader::sharedResourceLoader(),
                                         platform::DispatchQueue::global(), std::nullopt, std::nullopt, std::nullopt);
    return asset;
  }
  const auto kit = platform::SystemPlayerKit::installed();
  return kit ? kit->makeURLAsset(url) : nullptr;
}

std::shared_ptr<platform::PlayerLayer> OVAdCreateVideoPlayerLayer(OVAdVideoLibrary library) {
  if (library == OVAdVideoLibrary::kQNVPlayer) {
    QNVPlayerLayerConfigs configs;
    configs.offMainThreadRendering = OVAdConfigManager::sharedManager()->isQNVOffThreadRenderingEnabled();
    configs.optimizeMemory = true;
    return QNVPlayerLayer::initWithConfigs(configs);
  }
  const auto kit = platform::SystemPlayerKit::installed();
  return kit ? kit->makePlayerLayer() : nullptr;
}

}  // namespace plexora
