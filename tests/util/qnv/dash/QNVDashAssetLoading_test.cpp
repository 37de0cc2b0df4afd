// Loading ffmpeg-made DASH presentations from the loopback server, and
// seeking in them once loaded.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "testserver/RangeFile.h"
#include "util/qnv/dash/QNVDashAsset.h"
#include "util/qnv/support/LoopbackFetchFixture.h"

namespace plexora {
namespace {

using testing::onQueue;
using testing::waitUntil;

std::string dashDir() { return std::string(PLEXORA_TEST_MEDIA_DIR) + "/dash"; }

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

QNVDashAssetConfig playbackConfig() {
  QNVDashAssetConfig config;
  config.fetchBufferSizeInSeconds = 10.0;
  config.unstallBufferSizeInSeconds = 0.5;
  config.firstUnstallBufferSizeInSeconds = 0.5;
  config.stallBufferSizeInSeconds = 0.1;
  config.firstFetchSizeInSeconds = 1.0;
  config.embedFrameInfo = true;
  return config;
}

class QNVDashAssetLoadingTest : public testing::LoopbackFetchFixture {
 protected:
  QNVDashAssetLoadingTest() : LoopbackFetchFixture("dash-asset-test") {}
  ~QNVDashAssetLoadingTest() override {
    onQueue([this] { asset_.reset(); });
  }

  // Serves every file of the shape's folder under "/dash/<shape>/".
  void serve(const std::string& shape) {
    for (const auto& entry : std::filesystem::directory_iterator(dashDir() + "/" + shape)) {
      auto bytes = std::make_shared<const std::string>(fileText(entry.path().string()));
      server_.on("/dash/" + shape + "/" + entry.path().filename().string(), testserver::serveRangeFile(bytes));
    }
  }

  // The manifest inline, or fetched from its URL.
  void makeAsset(const std::string& shape, bool inlineManifest) {
    const std::string path = "/dash/" + shape + "/manifest.mpd";
    std::string data = inlineManifest ? fileText(dashDir() + "/" + shape + "/manifest.mpd") : "";
    asset_ = QNVDashAsset::initWithConfig(playbackConfig(), std::move(data), platform::URL::parse(server_.url(path)),
                                          nullptr);
    asset_->resourceLoader()->setDelegate(fetcher_, platform::DispatchQueue::global(), std::string("dash-video"),
                                          std::nullopt, std::nullopt);
  }

  // Starts the load and waits for its handler; answers how often it ran.
  int load() {
    auto calls = std::make_shared<std::atomic<int>>(0);
    asset_->loadValuesAsynchronouslyForKeys({"duration"}, [calls] { calls->fetch_add(1); });
    EXPECT_TRUE(waitUntil([&] { return calls->load() > 0; }));
    // Any later report of the data path must not call it again.
    onQueue([] {});
    return calls->load();
  }

  // Waits until the track's current frame is at hand.
  QNVFrameMetadata nextFrame(QNVTrackIndex track) {
    QNVFrameMetadata frame;
    EXPECT_TRUE(waitUntil([&] {
      bool ready = false;
      onQueue([&] {
        frame = asset_->currentFrameMetadataForTrack(track);
        ready = !frame.isEmpty() && asset_->currentFrameDataForTrack(track) != nullptr;
      });
      return ready;
    }));
    return frame;
  }

  std::shared_ptr<QNVDashAsset> asset_;
};

TEST_F(QNVDashAssetLoadingTest, EachShapeLoadsAndCallsTheHandlerOnce) {
  struct Case {
    const char* shape;
    bool inlineManifest;
  };
  const Case cases[] = {{"base", false}, {"base", true}, {"template", false}, {"template", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.shape) + (c.inlineManifest ? " inline" : " fetched"));
    serve(c.shape);
    makeAsset(c.shape, c.inlineManifest);
    EXPECT_EQ(load(), 1);
    onQueue([&] {
      std::optional<platform::Error> error;
      EXPECT_EQ(asset_->statusOfValueForKey("duration", &error), kQNVKeyValueStatusLoaded);
      EXPECT_FALSE(error);
      EXPECT_EQ(asset_->status(), kQNVAssetStatusReadyToPlay);
      EXPECT_TRUE(asset_->formatDesc());
      EXPECT_TRUE(asset_->containsTrack(kQNVAudioTrack));
      EXPECT_NE(asset_->asbd().formatID, 0U);
      EXPECT_NE(asset_->debugDetails(), "unknown");
    });
    // A load asked for afterwards answers at once.
    EXPECT_EQ(load(), 1);
    onQueue([this] { asset_.reset(); });
  }
}

TEST_F(QNVDashAssetLoadingTest, AManifestThatCannotBeFetchedFailsTheLoadOnce) {
  makeAsset("missing", false);
  EXPECT_EQ(load(), 1);
  onQueue([&] {
    std::optional<platform::Error> error;
    ASSERT_EQ(asset_->statusOfValueForKey("duration", &error), kQNVKeyValueStatusFailed);
    EXPECT_EQ(error->domain(), kQNVAssetLoadingError);
    EXPECT_EQ(error->code(), kQNVAssetLoadingErrorDownloadFailed);
    EXPECT_NE(error->userInfo().find("code"), nullptr);
    EXPECT_NE(error->userInfo().find("domain"), nullptr);
    EXPECT_EQ(asset_->status(), kQNVAssetStatusFailed);
  });
}

// One-second segments with a keyframe at each start: a seek lands on the
// start of the segment holding the target, on both tracks.
TEST_F(QNVDashAssetLoadingTest, FragmentedSeekLandsOnTheKeyframeAtOrBeforeTheTarget) {
  serve("base");
  makeAsset("base", false);
  ASSERT_EQ(load(), 1);
  struct Case {
    int64_t targetMs;
    int64_t expectMs;
  };
  const Case cases[] = {{1500, 1000}, {400, 0}, {1000, 1000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.targetMs);
    bool sought = false;
    onQueue([&] { sought = asset_->seekToPosition(platform::MediaTime::make(c.targetMs, 1000)); });
    ASSERT_TRUE(sought);
    const QNVFrameMetadata video = nextFrame(kQNVVideoTrack);
    EXPECT_EQ(video.presentationTime, platform::MediaTime::make(c.expectMs, 1000));
    EXPECT_NE(video.flags & 1U, 0U) << "not a keyframe";
    const QNVFrameMetadata audio = nextFrame(kQNVAudioTrack);
    EXPECT_LE(audio.decodeTime.seconds(), c.expectMs / 1000.0 + 0.05);
    EXPECT_GE(audio.decodeTime.seconds(), c.expectMs / 1000.0 - 0.05);
    onQueue([&] { EXPECT_EQ(asset_->timeAfterSeek(), platform::MediaTime::make(c.expectMs, 1000)); });
  }
}

}  // namespace
}  // namespace plexora
