// Loading ffmpeg-made DASH presentations from the loopback server, and
// seeking in them once loaded.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "support/MediaOracle.h"
#include "support/TempDir.h"
#include "testserver/RangeFile.h"
#include "util/RuntimeTestSupport.h"
#include "util/qnv/dash/QNVDashAsset.h"
#include "util/qnv/dash/DashPlayerFixture.h"

namespace plexora {
namespace {

using testing::onQueue;
using testing::waitUntil;

using testing::dashDir;
using testing::fileText;

// "<SegmentBase .../>" of a fragmented file: its header and its segment
// index by the byte ranges of their top-level boxes.
std::string segmentBaseOf(const std::string& file) {
  uint64_t moovEnd = 0;
  uint64_t sidxStart = 0;
  uint64_t sidxEnd = 0;
  for (uint64_t offset = 0; offset + 8 <= file.size();) {
    const auto* p = reinterpret_cast<const unsigned char*>(file.data() + offset);
    const uint64_t size = (uint64_t{p[0]} << 24) | (uint64_t{p[1]} << 16) | (uint64_t{p[2]} << 8) | p[3];
    const std::string type(file.data() + offset + 4, 4);
    if (type == "moov") moovEnd = offset + size - 1;
    if (type == "sidx") {
      sidxStart = offset;
      sidxEnd = offset + size - 1;
    }
    if (size == 0) break;
    offset += size;
  }
  return "<SegmentBase indexRange=\"" + std::to_string(sidxStart) + "-" + std::to_string(sidxEnd) +
         "\"><Initialization range=\"0-" + std::to_string(moovEnd) + "\" /></SegmentBase>";
}

// The players' configuration, with each frame's details kept for the tests
// that read frames off the asset.
QNVDashAssetConfig loadingConfig() {
  QNVDashAssetConfig config = testing::playbackConfig();
  config.abrSelectorType = 0;
  config.embedFrameInfo = true;
  return config;
}

class QNVDashAssetLoadingTest : public testing::DashPlayerFixture {
 protected:
  QNVDashAssetLoadingTest() : DashPlayerFixture("dash-asset-test") {}

  // The manifest inline, or fetched from its URL.
  void makeAsset(const std::string& shape, bool inlineManifest) {
    const std::string path = "/dash/" + shape + "/manifest.mpd";
    std::string data = inlineManifest ? fileText(dashDir() + "/" + shape + "/manifest.mpd") : "";
    asset_ = QNVDashAsset::initWithConfig(loadingConfig(), std::move(data), platform::URL::parse(server_.url(path)),
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

// A template stream's video init segment that answers without the movie's
// headers (an empty one fails in the fetch): nothing later can bring them, so the load fails once with the
// parse error as its cause instead of waiting for good.
TEST_F(QNVDashAssetLoadingTest, AnInitSegmentWithoutHeadersFailsTheLoadOnce) {
  const std::string shape = "bframes_template";
  struct Case {
    const char* name;
    std::string init;
  };
  const Case cases[] = {{"a media segment", fileText(dashDir() + "/" + shape + "/seg-0-0.m4s")},
                        {"no boxes at all", std::string(512, 'x')}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& entry : std::filesystem::directory_iterator(dashDir() + "/" + shape)) {
      const std::string name = entry.path().filename().string();
      auto bytes = std::make_shared<const std::string>(name == "init-0.m4s" ? c.init : fileText(entry.path().string()));
      server_.on("/dash/" + shape + "/" + name, testserver::serveRangeFile(bytes));
    }
    makeAsset(shape, false);
    EXPECT_EQ(load(), 1);
    onQueue([&] {
      std::optional<platform::Error> error;
      ASSERT_EQ(asset_->statusOfValueForKey("duration", &error), kQNVKeyValueStatusFailed);
      EXPECT_EQ(error->domain(), kQNVAssetLoadingError);
      EXPECT_EQ(error->code(), kQNVAssetLoadingErrorDownloadFailed);
      const platform::Value* cause = error->userInfo().find("code");
      ASSERT_NE(cause, nullptr);
      EXPECT_EQ(cause->toInt64(), kQNVAssetLoadingErrorParseFailed);
      asset_.reset();
    });
  }
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

// An audio track the engine cannot decode (MP3 here) plays as no audio:
// the video loads and plays alone rather than feeding the audio output
// frames with an empty format.
TEST_F(QNVDashAssetLoadingTest, UndecodableAudioMakesAVideoOnlyStream) {
  testing::RuntimeLogCapture log;
  testing::TempDir dir;
  testing::commandOutput("cd '" + dir.path().string() +
                         "' && ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "
                         "'sine=frequency=440:sample_rate=44100:duration=2' -c:a libmp3lame -b:a 64k -seg_duration 1 "
                         "-single_file 1 -single_file_name 'mp3-$RepresentationID$.mp4' -global_sidx 1 -f dash out.mpd");
  const std::string mp3 = fileText((dir / "mp3-0.mp4").string());
  ASSERT_FALSE(mp3.empty());
  serve("base");
  server_.on("/dash/base/mp3.mp4", testserver::serveRangeFile(std::make_shared<const std::string>(mp3)));

  // The base presentation with its audio representation replaced.
  std::string manifest = fileText(dashDir() + "/base/manifest.mpd");
  const size_t audio = manifest.find("<BaseURL>rep-2.mp4</BaseURL>");
  const size_t audioEnd = manifest.find("</SegmentBase>", audio) + std::string("</SegmentBase>").size();
  ASSERT_NE(audio, std::string::npos);
  manifest.replace(audio, audioEnd - audio, "<BaseURL>mp3.mp4</BaseURL>" + segmentBaseOf(mp3));
  asset_ = QNVDashAsset::initWithConfig(loadingConfig(), manifest,
                                        platform::URL::parse(server_.url("/dash/base/manifest.mpd")), nullptr);
  asset_->resourceLoader()->setDelegate(fetcher_, platform::DispatchQueue::global(), std::nullopt, std::nullopt,
                                        std::nullopt);

  ASSERT_EQ(load(), 1);
  onQueue([&] {
    EXPECT_EQ(asset_->statusOfValueForKey("", nullptr), kQNVKeyValueStatusLoaded);
    EXPECT_FALSE(asset_->containsTrack(kQNVAudioTrack));
    EXPECT_EQ(asset_->asbd(), platform::AudioStreamBasicDescription{});
  });
  EXPECT_EQ(log.count("audio track is not AAC. ignoring"), 1U);
  EXPECT_EQ(nextFrame(kQNVVideoTrack).presentationTime, platform::MediaTime::make(0, 1));
}

}  // namespace
}  // namespace plexora
