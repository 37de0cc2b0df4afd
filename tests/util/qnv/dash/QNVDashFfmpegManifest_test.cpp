// Manifests made by ffmpeg's dash muxer (scripts/make-test-media.sh), served
// by the loopback server: every URL and byte range the reader derives must
// exist there, and ffprobe, fetching the same URLs from the server, must
// read a segment from each.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/MediaOracle.h"
#include "testserver/RangeFile.h"
#include "util/qnv/dash/DashLoaderFixture.h"
#include "util/qnv/dash/QNVMediaPresentationDescription.h"

namespace plexora {
namespace {

std::string dashDir() { return std::string(PLEXORA_TEST_MEDIA_DIR) + "/dash"; }

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ffprobe's count of packets read from the URLs joined end to end, fetched
// by ffprobe itself.
int probedPackets(const std::vector<std::string>& urls) {
  std::string input = "concat:";
  for (size_t i = 0; i < urls.size(); ++i) input += (i == 0 ? "" : "|") + urls[i];
  const auto out = testing::commandOutput(
      "ffprobe -v error -protocol_whitelist concat,http,tcp -count_packets -show_entries stream=nb_read_packets -of "
      "csv=p=0 '" +
      input + "' 2>/dev/null");
  return std::atoi(std::string(out.begin(), out.end()).c_str());
}

uint32_t boxType(const std::string& bytes, uint64_t offset) {
  if (offset + 8 > bytes.size()) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + offset + 4);
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

class QNVDashFfmpegManifestTest : public testing::DashLoaderFixture {
 protected:
  // Serves every file of the shape's folder under "/dash/<shape>/".
  std::shared_ptr<const QNVMediaPresentationDescription> serveAndParse(const std::string& shape) {
    for (const auto& entry : std::filesystem::directory_iterator(dashDir() + "/" + shape)) {
      auto bytes = std::make_shared<const std::string>(fileText(entry.path().string()));
      server_.on("/dash/" + shape + "/" + entry.path().filename().string(), testserver::serveRangeFile(bytes));
    }
    std::optional<platform::Error> error;
    auto mpd = QNVMediaPresentationDescription::presentationDescriptionWithContentsOfXml(
        fileText(dashDir() + "/" + shape + "/manifest.mpd"),
        platform::URL::parse(server_.url("/dash/" + shape + "/manifest.mpd")), 100, false, &error);
    EXPECT_FALSE(error);
    return mpd;
  }
};

TEST_F(QNVDashFfmpegManifestTest, TemplateSegmentsExistAndProbe) {
  const auto mpd = serveAndParse("template");
  ASSERT_TRUE(mpd);
  EXPECT_EQ(mpd->videoType(), kQNVDashVideoTypeLive);
  EXPECT_EQ(mpd->durationMS(), 2000U);
  ASSERT_EQ(mpd->videoTracks().size(), 2U);
  ASSERT_EQ(mpd->audioTracks().size(), 1U);
  EXPECT_EQ(mpd->videoTracks()[0].width(), 320U);
  EXPECT_EQ(mpd->videoTracks()[1].height(), 90U);
  std::vector<const QNVDashTrackMetadata*> tracks = {&mpd->videoTracks()[0], &mpd->videoTracks()[1],
                                                     &mpd->audioTracks()[0]};
  for (const QNVDashTrackMetadata* track : tracks) {
    SCOPED_TRACE(track->representationId());
    ASSERT_TRUE(track->initializationUrl());
    ASSERT_EQ(track->timelineEntries()->size(), 2U);
    uint64_t expected = 0;
    for (const QNVMpdTimelineEntry& entry : *track->timelineEntries()) {
      EXPECT_EQ(entry.time(), expected);
      expected += entry.duration();
      ASSERT_TRUE(entry.mediaUrl());
      EXPECT_GT(probedPackets({track->initializationUrl()->absoluteString(), entry.mediaUrl()->absoluteString()}), 0)
          << entry.mediaUrl()->absoluteString();
    }
  }
  // ffprobe fetched every URL from the server, and every fetch found its file.
  for (const auto& request : server_.requests()) EXPECT_NE(request.path.find("/dash/template/"), std::string::npos);
}

TEST_F(QNVDashFfmpegManifestTest, SegmentBaseRangesHoldTheHeaderAndTheIndex) {
  const auto mpd = serveAndParse("base");
  ASSERT_TRUE(mpd);
  EXPECT_TRUE(mpd->isFragmented());
  ASSERT_EQ(mpd->videoTracks().size(), 2U);
  ASSERT_EQ(mpd->audioTracks().size(), 1U);
  for (const auto* track : {&mpd->videoTracks()[0], &mpd->videoTracks()[1], &mpd->audioTracks()[0]}) {
    SCOPED_TRACE(track->representationId());
    ASSERT_TRUE(track->initializationUrl());
    const std::string url = track->initializationUrl()->absoluteString();
    const std::string bytes = fileText(dashDir() + "/base/" + track->initializationUrl()->lastPathComponent());
    EXPECT_EQ(track->initializationRange().location, 0U);
    EXPECT_EQ(boxType(bytes, 0), platform::fourCharCode("ftyp"));
    // The index range is exactly the 'sidx' box, right after the header.
    EXPECT_EQ(track->indexRange().location, track->initializationRange().length);
    EXPECT_EQ(boxType(bytes, track->indexRange().location), platform::fourCharCode("sidx"));
    EXPECT_EQ(boxType(bytes, track->indexRange().location + track->indexRange().length),
              platform::fourCharCode("moof"));
    EXPECT_GT(probedPackets({url}), 0);
  }
}

TEST_F(QNVDashFfmpegManifestTest, LoaderRecordsTheOnDemandFiles) {
  serveAndParse("base");
  makeLoader("/dash/base/manifest.mpd", QNVDashPlaylistLoaderSettings{});
  forceUpdate();
  ASSERT_EQ(delegate_->updates.load(), 1);
  EXPECT_TRUE(data_->isFragmented());
  EXPECT_EQ(data_->representationId, "0");
  EXPECT_EQ(data_->fragmentedUrlForRepresentation("0", kQNVVideoTrack)->absoluteString(),
            server_.url("/dash/base/rep-0.mp4"));
  const auto mpd = serveAndParse("base");
  const QNVByteRange index = mpd->videoTracks()[0].indexRange();
  EXPECT_EQ(data_->fragmentedInitializationLengthForRepresentation("0", kQNVVideoTrack), index.location + index.length);
  EXPECT_EQ(data_->fragmentedUrlForRepresentation("", kQNVAudioTrack)->absoluteString(),
            server_.url("/dash/base/rep-2.mp4"));
}

}  // namespace
}  // namespace plexora
