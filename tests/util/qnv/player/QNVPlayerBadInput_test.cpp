// Damaged and unusual clips played through the player facade, the real
// layer on its rendering thread, the local MP4 asset and the audio queue, on
// the manual clock: each failure reaches the player's owner (the status, or
// the asset's notifications), nothing hangs, and the player can be released
// in every state.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <thread>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/URL.h"
#include "platform/media/DecompressionSession.h"
#include "support/TempDir.h"
#include "util/qnv/asset/QNVLocalMp4Asset.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/mp4/Mp4RemuxedClip.h"
#include "util/qnv/player/QNVPlayer.h"
#include "util/qnv/player/QNVSynchronousPlayerDoubles.h"
#include "util/qnv/support/QNVTestClip.h"

namespace plexora {
namespace {

using platform::MediaTime;
using Bytes = std::vector<uint8_t>;

constexpr double kStep = 1.0 / 30.0;

Bytes fileBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

uint32_t readU32(const Bytes& bytes, size_t at) {
  return (uint32_t{bytes[at]} << 24) | (uint32_t{bytes[at + 1]} << 16) | (uint32_t{bytes[at + 2]} << 8) |
         bytes[at + 3];
}

void writeU32(Bytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

// Where the box of this type starts (its size field); the first one.
size_t findBox(const Bytes& bytes, const char* type) {
  const auto at = std::search(bytes.begin(), bytes.end(), type, type + 4);
  EXPECT_NE(at, bytes.end()) << type;
  return static_cast<size_t>(at - bytes.begin()) - 4;
}

// Takes `removed` bytes out at `at`, inside the box starting at `box`, and
// shrinks that box and each box around it. The movie box must follow the
// media data, so that no chunk offset moves.
void removeInsideBox(Bytes& bytes, size_t box, size_t at, uint32_t removed) {
  for (const char* type : {"moov", "trak", "mdia", "minf", "stbl", "stsd", "avc1"}) {
    // The nearest box of the type before `at` whose extent holds it.
    for (size_t start = at; start >= 4; --start) {
      if (std::memcmp(&bytes[start], type, 4) != 0) continue;
      const size_t begin = start - 4;
      if (begin + readU32(bytes, begin) > at) {
        writeU32(bytes, begin, readU32(bytes, begin) - removed);
        break;
      }
    }
  }
  writeU32(bytes, box, readU32(bytes, box) - removed);
  bytes.erase(bytes.begin() + static_cast<ptrdiff_t>(at), bytes.begin() + static_cast<ptrdiff_t>(at + removed));
}

// A track's frames, as the asset's reader lays them out.
std::vector<std::pair<uint64_t, uint32_t>> samplesOf(const std::string& path, QNVMediaType type) {
  std::vector<std::pair<uint64_t, uint32_t>> samples;
  auto movie = QNVLocalMp4Movie::open(path);
  for (const QNVLocalMp4Track* track : movie->tracksWithMediaType(type)) {
    for (const auto& frame : track->frames) samples.emplace_back(frame.offset, frame.size);
  }
  return samples;
}

// The first NAL unit of each video sample from `first` up to `last` claims
// zero bytes.
Bytes zeroLengthNalUnits(const std::string& path, size_t first, size_t last) {
  Bytes bytes = fileBytes(path);
  const auto samples = samplesOf(path, QNVMediaType::Video);
  for (size_t index = first; index < last && index < samples.size(); ++index) writeU32(bytes, samples[index].first, 0);
  return bytes;
}

// AAC packets from the fifth on are noise.
Bytes corruptAudioPackets(const std::string& path) {
  Bytes bytes = fileBytes(path);
  const auto samples = samplesOf(path, QNVMediaType::Audio);
  for (size_t index = 4; index < samples.size(); ++index) {
    const auto [offset, size] = samples[index];
    for (size_t at = offset; at < offset + size; ++at) bytes[at] = static_cast<uint8_t>(0x5A ^ (at * 7));
  }
  return bytes;
}

// A sample entry whose configuration holds no SPS and no PPS.
Bytes withoutParameterSets(const std::string& path) {
  Bytes bytes = fileBytes(path);
  const size_t avcC = findBox(bytes, "avcC");
  const size_t counts = avcC + 8 + 5;
  // After the SPS count: its sets, the PPS count and its sets.
  size_t end = counts + 1;
  for (uint32_t sps = bytes[counts] & 0x1F; sps > 0; --sps) end += 2 + ((size_t{bytes[end]} << 8) | bytes[end + 1]);
  for (uint32_t pps = bytes[end++]; pps > 0; --pps) end += 2 + ((size_t{bytes[end]} << 8) | bytes[end + 1]);
  const auto removed = static_cast<uint32_t>(end - (counts + 2));
  bytes[counts] = 0xE0;
  bytes[counts + 1] = 0;
  removeInsideBox(bytes, avcC, counts + 2, removed);
  return bytes;
}

// Every video sample lasts zero.
Bytes zeroDurationSamples(const std::string& path) {
  Bytes bytes = fileBytes(path);
  const size_t stts = findBox(bytes, "stts");
  const uint32_t entries = readU32(bytes, stts + 12);
  for (uint32_t entry = 0; entry < entries; ++entry) writeU32(bytes, stts + 16 + entry * 8 + 4, 0);
  return bytes;
}

// The media data cut in half; the movie box, ahead of it, stays whole.
Bytes truncatedMediaData(const std::string& path) {
  Bytes bytes = fileBytes(path);
  bytes.resize(findBox(bytes, "mdat") + (bytes.size() - findBox(bytes, "mdat")) / 2);
  return bytes;
}

// The player's status as its owner observes it.
class StatusRecorder final : public OVAdKeyValueObserver {
 public:
  void observeValueForKeyPath(const std::string& keyPath, OVAdKeyValueObservable*, const platform::Dictionary& change,
                              void*) override {
    const platform::Value* value = change.find(kOVAdKeyValueChangeNewKey);
    std::lock_guard lock(mutex_);
    if (keyPath == kQNVPlayerStatusKey && value != nullptr) statuses_.push_back(value->asInteger());
  }
  std::vector<int64_t> statuses() {
    std::lock_guard lock(mutex_);
    return statuses_;
  }

 private:
  std::mutex mutex_;
  std::vector<int64_t> statuses_;
};

// The item's notifications to its owner.
class ItemNotifications {
 public:
  explicit ItemNotifications(const void* item) {
    auto& centre = platform::NotificationCenter::defaultCenter();
    const auto count = [](std::atomic<int>& counter) {
      return [&counter](const platform::Notification&) { counter.fetch_add(1); };
    };
    tokens_ = {centre.addObserver(kAVPlayerItemFailedToPlayToEndTimeNotification, item, nullptr, count(failures)),
               centre.addObserver(kQNVAssetWarning, item, nullptr, count(warnings)),
               centre.addObserver(kAVPlayerItemDidPlayToEndTimeNotification, item, nullptr, count(ends))};
  }
  ~ItemNotifications() {
    for (auto token : tokens_) platform::NotificationCenter::defaultCenter().removeObserver(token);
  }
  ItemNotifications(const ItemNotifications&) = delete;
  ItemNotifications& operator=(const ItemNotifications&) = delete;

  std::atomic<int> failures{0};
  std::atomic<int> warnings{0};
  std::atomic<int> ends{0};

 private:
  std::vector<platform::NotificationCenter::ObserverToken> tokens_;
};

// Public throughout: the cases of the tables drive the fixture.
class QNVPlayerBadInputTest : public ::testing::Test {
 public:
  static void settle() {
    QNVMediaStateQueue()->sync([] {});
    platform::DispatchQueue::settle();
  }
  std::string written(const char* name, const Bytes& bytes) {
    writeFile(dir_ / name, bytes);
    return (dir_ / name).string();
  }

  void SetUp() override { makeEngine(); }
  void TearDown() override { releaseEngine(); }

  void makeEngine() {
    QNVPlayerLayerConfigs configs;
    configs.offMainThreadRendering = true;
    configs.allowPlayWhenInactive = true;
    layer_ = QNVPlayerLayer::initWithConfigs(configs);
    layer_->setBounds(platform::Rect({0, 0}, {160, 90}));
    player_ = QNVPlayer::initWithDisplayEngine(layer_);
    player_->addObserver(statuses_, kQNVPlayerStatusKey, kOVAdKeyValueObservingOptionNew, nullptr);
  }

  void releaseEngine() {
    if (player_) player_->removeObserver(statuses_.get(), kQNVPlayerStatusKey, nullptr);
    player_.reset();
    settle();
    if (layer_) {
      layer_->invalidate();
      ASSERT_TRUE(layer_->dispatchSyncOnRenderingThread([] {}));
      layer_.reset();
    }
  }

  // Loaded in the caller; the owner's notifications are watched from before
  // the load.
  std::shared_ptr<QNVLocalMp4Asset> load(const std::string& path, std::unique_ptr<ItemNotifications>* watch) {
    auto asset = QNVLocalMp4Asset::initWithLocalURL(*platform::URL::fromFilePath(path), false, false, {});
    if (watch != nullptr) *watch = std::make_unique<ItemNotifications>(asset.get());
    asset->loadValuesAsynchronouslyForKeys({"duration"}, [] {});
    return asset;
  }

  void start(const std::shared_ptr<QNVAssetForPlayer>& item) {
    player_->setAudioEngine(audio_);
    player_->replaceCurrentItemWithPlayerItem(item);
    player_->setMuted(false);
    player_->play();
    settle();
  }

  // Moves the clock on in display-frame steps, each once the decoder, on
  // its own threads, has fallen idle.
  void run(double seconds) {
    for (double elapsed = 0; elapsed < seconds; elapsed += kStep) {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
      uint64_t decoded = layer_->framesDecompressed();
      for (int idle = 0; idle < 5 && std::chrono::steady_clock::now() < deadline;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        settle();
        ASSERT_TRUE(layer_->dispatchSyncOnRenderingThread([] {}));
        const uint64_t now = layer_->framesDecompressed();
        idle = now == decoded ? idle + 1 : 0;
        decoded = now;
      }
      manualClock_->advance(kStep);
      settle();
    }
  }

  std::shared_ptr<platform::ManualClock> manualClock_ = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock_{manualClock_};
  testing::TempDir dir_;
  std::shared_ptr<StatusRecorder> statuses_ = std::make_shared<StatusRecorder>();
  std::shared_ptr<QNVPlayerLayer> layer_;
  std::shared_ptr<QNVPlayer> player_;
  std::shared_ptr<QNVAudioQueue> audio_ = QNVAudioQueue::create();
};

const std::string& goodClip() {
  static const std::string path = testing::testMediaPath("baseline_aac_moov_last.mp4");
  return path;
}

// Video the decoder cannot take fails the player with the decoder's error;
// the owner sees status failed, and the end never comes.
TEST_F(QNVPlayerBadInputTest, UndecodableVideoFailsThePlayer) {
  struct Case {
    const char* name;
    std::function<std::string(QNVPlayerBadInputTest&)> clip;
    int32_t code;
  };
  const Case cases[] = {
      // Damage that outlasts a few samples is a broken stream.
      {"every NAL unit damaged",
       [](auto& test) { return test.written("corrupt.mp4", zeroLengthNalUnits(goodClip(), 0, SIZE_MAX)); },
       platform::kDecompressionSessionBadData},
      {"no parameter sets",
       [](auto& test) { return test.written("no_parameter_sets.mp4", withoutParameterSets(goodClip())); },
       platform::kDecompressionSessionInvalidFormat},
      {"resolution change", [](auto&) { return testing::testMediaPath("resolution_change.mp4"); },
       platform::kDecompressionSessionResolutionChanged},
  };
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.name);
    std::unique_ptr<ItemNotifications> notifications;
    auto asset = load(entry.clip(*this), &notifications);
    ASSERT_EQ(asset->statusOfValueForKey("duration", nullptr), kQNVKeyValueStatusLoaded);
    start(asset);
    run(1.5);
    EXPECT_EQ(player_->status(), kQNVPlayerStatusFailed);
    ASSERT_TRUE(player_->error().has_value());
    EXPECT_EQ(player_->error()->domain(), kQNVGLDecompressionErrorDomain);
    EXPECT_EQ(player_->error()->code(), entry.code);
    const auto observed = statuses_->statuses();
    EXPECT_NE(std::find(observed.begin(), observed.end(), int64_t{kQNVPlayerStatusFailed}), observed.end());
    EXPECT_EQ(player_->rate(), 0.0f);
    EXPECT_EQ(notifications->ends.load(), 0);
    releaseEngine();
    makeEngine();
  }
}

// Media that is damaged or unusual in ways the player goes through: the
// owner is told what it lost, and playback reaches the end.
TEST_F(QNVPlayerBadInputTest, DamagedOrUnplayablePartsReachTheOwnerAndPlaybackEnds) {
  struct Case {
    const char* name;
    std::function<std::string(QNVPlayerBadInputTest&)> clip;
    QNVKeyValueStatus keyStatus;
    int failures;
    int warnings;
    bool playsAudio;
    bool mutedAtEnd = false;
  };
  const Case cases[] = {
      // One damaged frame is left out, as ffmpeg does; the others play.
      {"one zero-length NAL unit",
       [](auto& test) { return test.written("one_bad_nal.mp4", zeroLengthNalUnits(goodClip(), 5, 6)); },
       kQNVKeyValueStatusLoaded, 0, 0, true},
      {"zero-duration samples",
       [](auto& test) { return test.written("zero_durations.mp4", zeroDurationSamples(goodClip())); },
       kQNVKeyValueStatusLoaded, 0, 0, true},
      // Audio that does not decode fails the audio queue: the player mutes
      // itself and the item warns its owner; the video plays on.
      {"corrupt AAC packets",
       [](auto& test) { return test.written("corrupt_audio.mp4", corruptAudioPackets(goodClip())); },
       kQNVKeyValueStatusLoaded, 0, 1, false, true},
      // Audio that is not AAC is left out with a warning; the video plays.
      {"Opus audio", [](auto&) { return testing::testMediaPath("opus.mp4"); }, kQNVKeyValueStatusLoaded, 0, 1, false},
      {"MP3 audio", [](auto&) { return testing::testMediaPath("mp3.mp4"); }, kQNVKeyValueStatusLoaded, 0, 1, false},
  };
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.name);
    std::unique_ptr<ItemNotifications> notifications;
    auto asset = load(entry.clip(*this), &notifications);
    EXPECT_EQ(asset->statusOfValueForKey("duration", nullptr), entry.keyStatus);
    start(asset);
    run(1.5);
    EXPECT_EQ(notifications->failures.load(), entry.failures);
    EXPECT_EQ(notifications->warnings.load(), entry.warnings);
    EXPECT_EQ(notifications->ends.load(), 1);
    EXPECT_EQ(player_->status(), kQNVPlayerStatusReadyToPlay);
    EXPECT_EQ(player_->rate(), 0.0f);
    std::shared_ptr<platform::AudioOutputQueue> output;
    QNVMediaStateQueue()->sync([&] { output = audio_->outputQueue(); });
    EXPECT_EQ(output != nullptr && !output->playedBuffers().empty(), entry.playsAudio);
    EXPECT_EQ(player_->isMuted(), entry.mutedAtEnd);
    releaseEngine();
    makeEngine();
  }
}

// The movie box of a fragmented file without its fragments.
testing::Mp4RemuxPlan initSegment(bool encrypted) {
  testing::Mp4RemuxPlan plan;
  plan.samplesInMovieBox = {0, 0};
  plan.fragmented = true;
  plan.encryptedVideo = encrypted;
  return plan;
}

// A load that leaves nothing to play reaches the owner once, as a failure
// with its error: in the key status and, when the owner plays the item
// anyway, in the player's status and one failed-to-play-to-end notice.
// Never as a completion: an ad that did not play must not count as played.
TEST_F(QNVPlayerBadInputTest, AFailedLoadReachesTheOwnerOnceAsAFailureAndNeverAsACompletion) {
  struct Case {
    const char* name;
    std::function<std::string(QNVPlayerBadInputTest&)> clip;
  };
  const Case cases[] = {
      {"truncated media data",
       [](auto& test) {
         return test.written("truncated.mp4",
                             truncatedMediaData(testing::testMediaPath("baseline_aac_moov_first.mp4")));
       }},
      // A complete local file cannot bring the missing bytes later.
      {"movie box larger than the file",
       [](auto& test) {
         Bytes bytes = fileBytes(testing::testMediaPath("baseline_aac_moov_first.mp4"));
         const size_t moov = findBox(bytes, "moov");
         writeU32(bytes, moov, static_cast<uint32_t>(bytes.size()));
         return test.written("moov_too_large.mp4", bytes);
       }},
      {"not an MP4 file", [](auto& test) { return test.written("text.mp4", Bytes(4096, 'x')); }},
      {"empty file", [](auto& test) { return test.written("empty.mp4", Bytes{}); }},
      {"no file", [](auto& test) { return (test.dir_ / "missing.mp4").string(); }},
      {"no video track",
       [](auto& test) {
         const std::string path = (test.dir_ / "audio_only.mp4").string();
         testing::commandOutput("ffmpeg -nostdin -loglevel error -y -i '" + goodClip() + "' -vn -c copy '" + path +
                                "'");
         return path;
       }},
      // A video track without samples: nothing would be drawn.
      {"init segment alone",
       [](auto& test) { return test.written("init.mp4", testing::remuxedMp4(goodClip(), initSegment(false))); }},
      {"encrypted init segment",
       [](auto& test) { return test.written("encrypted_init.mp4", testing::remuxedMp4(goodClip(), initSegment(true))); }},
      {"empty video sample table, long duration",
       [](auto& test) {
         testing::Mp4RemuxPlan plan;
         plan.samplesInMovieBox = {0, SIZE_MAX};
         plan.movieDurationMs = 60'000;
         return test.written("empty_video_table.mp4", testing::remuxedMp4(goodClip(), plan));
       }},
  };
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.name);
    std::unique_ptr<ItemNotifications> notifications;
    auto asset = load(entry.clip(*this), &notifications);
    std::optional<platform::Error> keyError;
    EXPECT_EQ(asset->statusOfValueForKey("duration", &keyError), kQNVKeyValueStatusFailed);
    EXPECT_TRUE(keyError.has_value());
    EXPECT_EQ(asset->status(), kQNVAssetStatusFailed);
    start(asset);
    run(1.5);
    EXPECT_EQ(notifications->failures.load(), 1);
    EXPECT_EQ(notifications->ends.load(), 0);
    EXPECT_EQ(player_->status(), kQNVPlayerStatusFailed);
    ASSERT_TRUE(player_->error().has_value());
    EXPECT_EQ(player_->error()->domain(), keyError ? keyError->domain() : "");
    EXPECT_EQ(player_->rate(), 0.0f);
    const auto observed = statuses_->statuses();
    EXPECT_EQ(std::count(observed.begin(), observed.end(), int64_t{kQNVPlayerStatusReadyToPlay}), 0);
    releaseEngine();
    makeEngine();
  }
}

// Whatever state the player is in, releasing it (and the owner's item)
// leaves nothing behind: no block keeps the player or its item alive, no
// notification about the item follows, and the rendering thread still runs.
TEST_F(QNVPlayerBadInputTest, ThePlayerCanBeReleasedInEveryState) {
  struct Case {
    const char* name;
    std::function<std::shared_ptr<QNVAssetForPlayer>(QNVPlayerBadInputTest&)> reach;
  };
  const auto playing = [](QNVPlayerBadInputTest& test, double seconds) {
    auto asset = test.load(goodClip(), nullptr);
    test.start(asset);
    test.run(seconds);
    return asset;
  };
  const Case cases[] = {
      // The item's load is still queued when the player goes.
      {"loading",
       [](QNVPlayerBadInputTest& test) {
         auto asset = QNVLocalMp4Asset::initWithLocalURL(*platform::URL::fromFilePath(goodClip()), false, {});
         asset->loadValuesAsynchronouslyForKeys({"duration"}, [] {});
         test.player_->setAudioEngine(test.audio_);
         test.player_->replaceCurrentItemWithPlayerItem(asset);
         test.player_->setMuted(false);
         test.player_->play();
         return asset;
       }},
      {"playing", [&](QNVPlayerBadInputTest& test) { return playing(test, 0.3); }},
      {"paused",
       [&](QNVPlayerBadInputTest& test) {
         auto asset = playing(test, 0.3);
         test.player_->pause();
         settle();
         return asset;
       }},
      // A frame-accurate seek waits for the layer.
      {"seeking",
       [&](QNVPlayerBadInputTest& test) {
         auto asset = playing(test, 0.3);
         test.player_->pause();
         test.player_->seekToTime(MediaTime::make(2, 3), MediaTime::zero(), MediaTime::zero(), [](bool) {});
         settle();
         return asset;
       }},
      {"stalled",
       [](QNVPlayerBadInputTest& test) {
         auto item = std::make_shared<testing::ScriptedItem>();
         item->hasAudio = false;
         item->stallNow = true;
         test.start(item);
         test.run(0.5);
         EXPECT_FALSE(item->stallReasons.empty());
         EXPECT_EQ(test.player_->rate(), 0.0f);
         return item;
       }},
      {"failed",
       [](QNVPlayerBadInputTest& test) {
         auto asset = test.load(test.written("failed.mp4", zeroLengthNalUnits(goodClip(), 0, SIZE_MAX)), nullptr);
         test.start(asset);
         test.run(0.7);
         EXPECT_EQ(test.player_->status(), kQNVPlayerStatusFailed);
         return asset;
       }},
      {"ended",
       [&](QNVPlayerBadInputTest& test) {
         auto asset = playing(test, 1.5);
         EXPECT_EQ(test.player_->rate(), 0.0f);
         return asset;
       }},
  };
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.name);
    std::shared_ptr<QNVAssetForPlayer> item = entry.reach(*this);
    const void* identity = item.get();
    std::weak_ptr<QNVAssetForPlayer> weakItem = item;
    std::weak_ptr<QNVPlayer> weakPlayer = player_;
    std::weak_ptr<QNVAudioQueue> weakAudio = audio_;
    auto notes = std::make_unique<ItemNotifications>(identity);
    item.reset();
    audio_.reset();
    releaseEngine();
    manualClock_->advance(1.0);
    settle();
    EXPECT_TRUE(weakPlayer.expired());
    EXPECT_TRUE(weakItem.expired());
    EXPECT_TRUE(weakAudio.expired());
    EXPECT_EQ(notes->failures.load() + notes->ends.load() + notes->warnings.load(), 0);
    notes.reset();
    audio_ = QNVAudioQueue::create();
    makeEngine();
  }
}

}  // namespace
}  // namespace plexora
