// DASH presentations that ffmpeg made, served by the loopback server and
// played through the engine's player and layer on the manual clock, as a
// host that creates the asset plays them: pictures against ffmpeg's decode
// of the same representation, audio against ffprobe's packets, seeks, a
// live stream whose window moves on, and servers that fail a segment.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/NotificationCenter.h"
#include "support/MediaOracle.h"
#include "support/PostedCount.h"
#include "support/TempDir.h"
#include "testserver/DashLiveManifest.h"
#include "testserver/DashLiveSegments.h"
#include "testserver/RangeFile.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/dash/QNVDashAsset.h"
#include "util/qnv/player/QNVPlayer.h"
#include "util/qnv/player/QNVSynchronousPlayer.h"
#include "util/qnv/support/LoopbackFetchFixture.h"
#include "util/qnv/support/QNVClipPlayback.h"

namespace plexora {
namespace {

using testing::onQueue;
using testing::Posted;
using testing::waitUntil;

constexpr int kWidth = 160;
constexpr int kHeight = 90;
constexpr double kMinimumPsnr = 35.0;

std::string dashDir() { return std::string(PLEXORA_TEST_MEDIA_DIR) + "/dash"; }

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The media segments of a template representation in timeline order.
std::vector<std::filesystem::path> templateSegments(const std::string& shape, const std::string& id) {
  std::vector<std::pair<uint64_t, std::filesystem::path>> found;
  const std::string prefix = "seg-" + id + "-";
  for (const auto& entry : std::filesystem::directory_iterator(dashDir() + "/" + shape)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(prefix)) found.emplace_back(std::stoull(name.substr(prefix.size())), entry.path());
  }
  std::sort(found.begin(), found.end());
  std::vector<std::filesystem::path> paths;
  for (const auto& [time, path] : found) paths.push_back(path);
  return paths;
}

// One representation as one file ffmpeg reads: the fragmented file itself
// (SegmentBase), or the init segment and the media segments joined.
std::string representationFile(const std::string& shape, const std::string& id, const std::filesystem::path& dir) {
  if (std::filesystem::exists(dashDir() + "/" + shape + "/rep-" + id + ".mp4")) {
    return dashDir() + "/" + shape + "/rep-" + id + ".mp4";
  }
  const std::string joined = (dir / (shape + "-" + id + ".mp4")).string();
  std::ofstream out(joined, std::ios::binary);
  out << fileText(dashDir() + "/" + shape + "/init-" + id + ".m4s");
  for (const auto& segment : templateSegments(shape, id)) out << fileText(segment.string());
  return joined;
}

QNVDashAssetConfig playbackConfig() {
  QNVDashAssetConfig config;
  config.fetchBufferSizeInSeconds = 10.0;
  config.unstallBufferSizeInSeconds = 0.5;
  config.firstUnstallBufferSizeInSeconds = 0.5;
  config.stallBufferSizeInSeconds = 0.1;
  config.firstFetchSizeInSeconds = 1.0;
  config.abrSelectorType = kQNVAbrSelectorTypeHighest;
  return config;
}

class QNVDashPlayerPlaybackTest : public testing::LoopbackFetchFixture {
 protected:
  QNVDashPlayerPlaybackTest() : LoopbackFetchFixture("dash-playback-test") {}
  ~QNVDashPlayerPlaybackTest() override {
    onQueue([this] { asset_.reset(); });
  }

  // Serves every file of the shape's folder under "/dash/<shape>/", with
  // `faulty` answered with `fault`.
  void serve(const std::string& shape, const std::string& faulty = "",
             testserver::RangeFault fault = testserver::RangeFault::kNone) {
    for (const auto& entry : std::filesystem::directory_iterator(dashDir() + "/" + shape)) {
      const std::string name = entry.path().filename().string();
      auto bytes = std::make_shared<const std::string>(fileText(entry.path().string()));
      testserver::RangeFileOptions options;
      if (name == faulty) options.fault = fault;
      server_.on("/dash/" + shape + "/" + name, testserver::serveRangeFile(bytes, options));
    }
  }

  // Makes the asset for the manifest at `path` and waits for its load.
  void loadAsset(const std::string& path, const QNVDashAssetConfig& config = playbackConfig()) {
    asset_ = QNVDashAsset::initWithConfig(config, "", platform::URL::parse(server_.url(path)), nullptr);
    asset_->resourceLoader()->setDelegate(fetcher_, platform::DispatchQueue::global(), std::string("dash-video"),
                                          std::nullopt, std::nullopt);
    auto loaded = std::make_shared<std::atomic<bool>>(false);
    asset_->loadValuesAsynchronouslyForKeys({"duration"}, [loaded] { loaded->store(true); });
    ASSERT_TRUE(waitUntil([&] { return loaded->load(); }));
  }

  testing::QNVItemPlayback playback() const { return {asset_, asset_.get(), clock_.get()}; }

  testing::TempDir dir_;
  std::shared_ptr<QNVDashAsset> asset_;
};

// Every frame ffmpeg shows of the representation played, at its time, every
// audio packet at its time, and one end: B-frames behind an edit list,
// audio segments that do not line up with the video's.
struct OnDemandCase {
  const char* shape;
  const char* videoId;
  const char* audioId;
};

class QNVDashOnDemandPlaybackTest : public QNVDashPlayerPlaybackTest,
                                    public ::testing::WithParamInterface<OnDemandCase> {};

TEST_P(QNVDashOnDemandPlaybackTest, PlaysLikeFfmpeg) {
  const OnDemandCase& c = GetParam();
  serve(c.shape);
  loadAsset(std::string("/dash/") + c.shape + "/manifest.mpd");
  const std::string video = representationFile(c.shape, c.videoId, dir_.path());
  const testing::QNVPlayedClip played = testing::playItem(playback(), video, kWidth, kHeight);
  ASSERT_FALSE(played.framePsnr.empty()) << "ffmpeg shows no frame of " << video;
  for (size_t frame = 0; frame < played.framePsnr.size(); ++frame) {
    EXPECT_GE(played.framePsnr[frame], kMinimumPsnr) << "frame " << frame;
    EXPECT_EQ(played.frameRepresentations[frame], c.videoId) << "frame " << frame;
  }
  EXPECT_EQ(played.failures, 0);
  EXPECT_EQ(played.ends, 1);
  testing::expectAudioLikeFfprobe(representationFile(c.shape, c.audioId, dir_.path()), played);
}

INSTANTIATE_TEST_SUITE_P(Shapes, QNVDashOnDemandPlaybackTest,
                         ::testing::Values(OnDemandCase{"bframes_base", "0", "1"},
                                           OnDemandCase{"switch_base", "0", "2"},
                                           OnDemandCase{"bframes_template", "0", "1"},
                                           OnDemandCase{"switch_template", "0", "2"}),
                         [](const auto& info) { return std::string(info.param.shape); });

// A segment the server fails tells the owner (a stop notice or a warning)
// within a bounded time and leaves the player where it was; none hangs the
// player or its teardown.
TEST_F(QNVDashPlayerPlaybackTest, AFailedSegmentReachesTheOwner) {
  using testserver::RangeFault;
  struct Case {
    const char* name;
    RangeFault fault;
  };
  const Case cases[] = {{"404", RangeFault::kNotFound},
                        {"500", RangeFault::kServerError},
                        {"dropped mid-body", RangeFault::kDropMidBody},
                        {"truncated", RangeFault::kTruncated}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The second video segment of the template presentation.
    serve("bframes_template", "seg-0-23040.m4s", c.fault);
    loadAsset("/dash/bframes_template/manifest.mpd");
    Posted failures(kAVPlayerItemFailedToPlayToEndTimeNotification, asset_.get());
    Posted warnings(kQNVAssetWarning, asset_.get());
    QNVPlayerLayerConfigs configs;
    configs.offMainThreadRendering = true;
    configs.allowPlayWhenInactive = true;
    auto layer = QNVPlayerLayer::initWithConfigs(configs);
    auto player = QNVPlayer::initWithDisplayEngine(layer);
    player->replaceCurrentItemWithPlayerItem(asset_);
    player->play();
    EXPECT_TRUE(waitUntil([&] {
      clock_->advance(1.0 / 60);
      return failures.count.load() + warnings.count.load() > 0;
    }));
    EXPECT_LT(player->currentTime().seconds(), 3.0) << "nothing played past the missing segment";
    player->pause();
    player.reset();
    QNVMediaStateQueue()->sync([] {});
    layer->invalidate();
    onQueue([this] { asset_.reset(); });
  }
}

// A segment that never comes: the player stalls before it and the asset
// and player still go away at once.
TEST_F(QNVDashPlayerPlaybackTest, ASegmentThatNeverComesStallsWithoutHanging) {
  serve("bframes_template", "seg-0-23040.m4s", testserver::RangeFault::kNeverAnswers);
  loadAsset("/dash/bframes_template/manifest.mpd");
  QNVPlayerLayerConfigs configs;
  configs.offMainThreadRendering = true;
  configs.allowPlayWhenInactive = true;
  auto layer = QNVPlayerLayer::initWithConfigs(configs);
  auto player = QNVPlayer::initWithDisplayEngine(layer);
  player->replaceCurrentItemWithPlayerItem(asset_);
  player->play();
  for (int tick = 0; tick < 4 * 60; ++tick) {
    clock_->advance(1.0 / 60);
    QNVMediaStateQueue()->sync([] {});
  }
  EXPECT_LE(player->currentTime().seconds(), 1.6) << "no frame of the missing segment";
  EXPECT_GT(player->currentTime().seconds(), 0.5) << "the first segment played";
  const auto started = std::chrono::steady_clock::now();
  player->pause();
  player.reset();
  QNVMediaStateQueue()->sync([] {});
  layer->invalidate();
  onQueue([this] { asset_.reset(); });
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

// A live stream on the manual clock's wall time: one-second segments, a
// ten-second window. Playback stays near the live edge while the window
// moves on past every entry the first manifest listed, stalls on a
// segment that comes late and goes on once it has come.
TEST_F(QNVDashPlayerPlaybackTest, LivePlaysAtTheEdgeAsTheWindowMovesOn) {
  testserver::DashLiveManifestOptions options;
  options.availabilityStartTime = clock_->wallTime() - 20;
  options.segmentSeconds = 1;
  options.timeShiftBufferSeconds = 10;
  options.minimumUpdatePeriodSeconds = 1;
  options.videoRepresentations = {{"v1", 400'000}};
  options.withAudio = false;
  testserver::DashLiveSource source;
  source.init = std::make_shared<const std::string>(fileText(dashDir() + "/switch_template/init-0.m4s"));
  for (const auto& segment : templateSegments("switch_template", "0")) {
    source.segments.push_back(std::make_shared<const std::string>(fileText(segment.string())));
  }
  source.mediaTimescale = 15360;
  auto clock = clock_;
  server_.on("/live/manifest.mpd", testserver::serveDashLiveManifest(options, [clock] { return clock->wallTime(); }));
  server_.on("/live/v1/", testserver::serveDashLiveSegments(source, options), testserver::Match::Prefix);

  QNVDashAssetConfig config = playbackConfig();
  config.segmentsFromEndToStartPrefetch = 3;
  config.segmentsFromEndToStartUpdate = 3;
  loadAsset("/live/manifest.mpd", config);
  Posted failures(kAVPlayerItemFailedToPlayToEndTimeNotification, asset_.get());
  QNVPlayerLayerConfigs configs;
  configs.offMainThreadRendering = true;
  configs.allowPlayWhenInactive = true;
  auto layer = QNVPlayerLayer::initWithConfigs(configs);
  layer->setBounds(platform::Rect({0, 0}, {double{kWidth}, double{kHeight}}));
  auto player = QNVPlayer::initWithDisplayEngine(layer);
  player->replaceCurrentItemWithPlayerItem(asset_);
  player->play();

  // Real time for the downloads beside each step of the clock.
  const auto run = [&](double seconds) {
    for (double done = 0; done < seconds; done += 1.0 / 30) {
      clock_->advance(1.0 / 30);
      QNVMediaStateQueue()->sync([] {});
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
  };
  run(2);
  const double start = player->currentTime().seconds();
  run(12);
  EXPECT_NEAR(player->currentTime().seconds() - start, 12.0, 1.5) << "played as the clock ran";
  layer->dispatchSyncOnRenderingThread([] {});
  EXPECT_NE(layer->presentedImage(), nullptr);

  // The segment after the edge comes 1.5 s (real time) late.
  const double edge = std::floor(clock_->wallTime()) + 1;
  const auto late = static_cast<uint64_t>(edge * 1000);
  if (const auto segment = testserver::dashLiveSegment(source, options, late)) {
    testserver::Response slow;
    slow.body = *segment;
    slow.delay = std::chrono::milliseconds(1500);
    server_.enqueue("/live/v1/" + std::to_string(late) + ".m4s", slow);
  }
  const double beforeLate = player->currentTime().seconds();
  run(4);
  const auto lateUntil = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (std::chrono::steady_clock::now() < lateUntil) run(0.1);
  run(4);
  EXPECT_GT(player->currentTime().seconds(), beforeLate + 2.0) << "went on after the late segment";
  EXPECT_EQ(failures.count.load(), 0);
  player->pause();
  player.reset();
  QNVMediaStateQueue()->sync([] {});
  layer->invalidate();
}

}  // namespace
}  // namespace plexora
