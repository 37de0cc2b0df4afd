// Plays arbitrary bytes as a local MP4 file through the whole road an ad
// takes: the local asset, the player facade, the real layer on its rendering
// thread (decoder and GL) and the audio queue, on the manual clock. Every run
// must end, within a bounded span of virtual time, in frames drawn or in
// exactly one failure reaching the owner; never in a hang, a crash, a second
// failure, or a completion after a failure (an ad that failed must not be
// counted as played).
//
// Seeds: small clips made by scripts/make-test-media.sh (fuzz-smoke makes
// them into a temporary directory).
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/URL.h"
#include "util/qnv/asset/QNVLocalMp4Asset.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/player/QNVPlayer.h"

using namespace plexora;

namespace {

// The seed clips last about a second; a damaged one gets twice that and
// more to show a frame or fail.
constexpr double kStep = 1.0 / 30.0;
constexpr double kVirtualBound = 3.0;
// Real time a step may take before the run counts as hung.
constexpr double kSettleSeconds = 10.0;
constexpr auto kDecoderIdleDeadline = std::chrono::milliseconds(200);

void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "mp4_playback_fuzz: %s\n", what);
  std::abort();
}

// The owner's side: the item's notifications and the player's statuses.
class Owner final : public OVAdKeyValueObserver {
 public:
  explicit Owner(const void* item) {
    auto& centre = platform::NotificationCenter::defaultCenter();
    const auto count = [](std::atomic<int>& counter) {
      return [&counter](const platform::Notification&) { counter.fetch_add(1); };
    };
    tokens_[0] = centre.addObserver(kAVPlayerItemFailedToPlayToEndTimeNotification, item, nullptr, count(failures));
    tokens_[1] = centre.addObserver(kAVPlayerItemDidPlayToEndTimeNotification, item, nullptr, count(ends));
  }
  ~Owner() override {
    for (auto token : tokens_) platform::NotificationCenter::defaultCenter().removeObserver(token);
  }
  Owner(const Owner&) = delete;
  Owner& operator=(const Owner&) = delete;

  void observeValueForKeyPath(const std::string& keyPath, OVAdKeyValueObservable*, const platform::Dictionary& change,
                              void*) override {
    const platform::Value* value = change.find(kOVAdKeyValueChangeNewKey);
    if (keyPath == kQNVPlayerStatusKey && value != nullptr && value->asInteger() == kQNVPlayerStatusFailed) {
      failedStatuses.fetch_add(1);
    }
  }

  bool failed() const { return failures.load() > 0 || failedStatuses.load() > 0; }

  std::atomic<int> failures{0};
  std::atomic<int> failedStatuses{0};
  std::atomic<int> ends{0};

 private:
  platform::NotificationCenter::ObserverToken tokens_[2]{};
};

void settle() {
  QNVMediaStateQueue()->sync([] {});
  require(platform::DispatchQueue::settle(kSettleSeconds), "the queues never fell idle");
}

// Decoding runs on real threads: the clock moves on once the decoder has
// decoded nothing new over a few polls.
void waitForDecoderIdle(QNVPlayerLayer& layer) {
  const auto deadline = std::chrono::steady_clock::now() + kDecoderIdleDeadline;
  uint64_t decoded = layer.framesDecompressed();
  for (int idle = 0; idle < 3 && std::chrono::steady_clock::now() < deadline;) {
    std::this_thread::sleep_for(std::chrono::microseconds(500));
    settle();
    require(layer.dispatchSyncOnRenderingThread([] {}), "the rendering thread is gone");
    const uint64_t now = layer.framesDecompressed();
    idle = now == decoded ? idle + 1 : 0;
    decoded = now;
  }
}

const std::string& inputPath() {
  static const std::string path = "/tmp/mp4_playback_fuzz." + std::to_string(getpid()) + ".mp4";
  return path;
}

void writeInput(const uint8_t* data, size_t size) {
  FILE* file = std::fopen(inputPath().c_str(), "wb");
  require(file != nullptr, "cannot write the input file");
  if (size > 0) require(std::fwrite(data, 1, size, file) == size, "cannot write the input file");
  require(std::fclose(file) == 0, "cannot write the input file");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  writeInput(data, size);
  auto manualClock = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock(manualClock);

  auto asset = QNVLocalMp4Asset::initWithLocalURL(*platform::URL::fromFilePath(inputPath()), false, false, {});
  auto owner = std::make_shared<Owner>(asset.get());
  asset->loadValuesAsynchronouslyForKeys({"duration"}, [] {});

  QNVPlayerLayerConfigs configs;
  configs.offMainThreadRendering = true;
  configs.allowPlayWhenInactive = true;
  auto layer = QNVPlayerLayer::initWithConfigs(configs);
  layer->setBounds(platform::Rect({0, 0}, {64, 36}));
  auto player = QNVPlayer::initWithDisplayEngine(layer);
  player->addObserver(owner, kQNVPlayerStatusKey, kOVAdKeyValueObservingOptionNew, nullptr);
  player->setAudioEngine(QNVAudioQueue::create());
  player->replaceCurrentItemWithPlayerItem(asset);
  player->setMuted(false);
  player->play();
  settle();

  bool drawn = false;
  for (double elapsed = 0; elapsed < kVirtualBound; elapsed += kStep) {
    waitForDecoderIdle(*layer);
    manualClock->advance(kStep);
    settle();
    drawn = drawn || layer->presentedImage() != nullptr;
    // Decided: a picture reached the screen and the end came, or the owner
    // was told of a failure (the rest of the span watches for a completion
    // after it).
    if (drawn && owner->ends.load() > 0) break;
  }

  require(owner->failures.load() <= 1, "more than one failed-to-play-to-end");
  require(owner->failedStatuses.load() <= 1, "the player failed more than once");
  require(owner->ends.load() <= 1, "more than one did-play-to-end");
  require(!(owner->failed() && owner->ends.load() > 0), "both a failure and a completion");
  require(drawn || owner->failed(), "neither a frame drawn nor a failure");

  player->removeObserver(owner.get(), kQNVPlayerStatusKey, nullptr);
  player->pause();
  settle();
  player.reset();
  settle();
  layer->invalidate();
  require(layer->dispatchSyncOnRenderingThread([] {}), "the rendering thread is gone");
  return 0;
}
