// Reads every generated clip with the MP4 parser and checks each track's
// frame records and stream description against ffprobe's reading of the same
// file.
//
// ffprobe shows decode times shifted back by the first edit's media time
// (so the first frames of a track with an edit decode before 0); the parser
// keeps decode times from 0 and maps only presentation times through the
// edit list, leaving media times before the first edit's start as they are.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <map>
#include <string>

#include "util/qnv/mp4/Mp4ParsedFile.h"
#include "util/qnv/mp4/QNVMp4CodecConfiguration.h"
#include "util/qnv/mp4/QNVMp4FileBasedReader.h"
#include "util/qnv/mp4/QNVMp4Parser.h"
#include "util/qnv/support/QNVTestClip.h"

namespace plexora {
namespace {

const std::string kMediaDir = PLEXORA_TEST_MEDIA_DIR;

nlohmann::json ffprobe(const std::string& path) {
  const std::string command =
      "ffprobe -v error -show_packets -show_streams -of json '" + path + "'";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  std::string output;
  char buffer[4096];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  ::pclose(pipe);
  return nlohmann::json::parse(output, nullptr, false);
}

int64_t number(const nlohmann::json& object, const char* key) {
  const auto& value = object.at(key);
  return value.is_string() ? std::stoll(value.get<std::string>()) : value.get<int64_t>();
}

// The samples ffprobe lists: a fragmented file's from its fragments, any
// other's from its sample tables.
const std::vector<testing::Mp4ParsedTrackSamples>& listedSamples(const testing::Mp4ParsedFile& parsed) {
  return parsed.fragmented ? parsed.fragmentSamples : parsed.movieSamples;
}

void expectFramesMatch(const std::string& name, const testing::Mp4ParsedFile& parsed, const nlohmann::json& probe) {
  std::map<int64_t, std::vector<nlohmann::json>> packets;
  for (const auto& packet : probe.at("packets")) packets[number(packet, "stream_index")].push_back(packet);
  const auto& samples = listedSamples(parsed);
  ASSERT_EQ(packets.size(), samples.size()) << name;
  for (const auto& [track, trackPackets] : packets) {
    const QNVMP4TrakAtom& trak = parsed.provider.moovAtom.trakAtoms.at(track);
    const auto& frames = samples.at(track).frames;
    const int64_t shift = trak.editList.empty() ? 0 : std::max<int64_t>(trak.editList[0].mediaTime, 0);
    ASSERT_EQ(frames.size(), trackPackets.size()) << name << " track " << track;
    for (size_t i = 0; i < frames.size(); ++i) {
      const auto& packet = trackPackets[i];
      const QNVMp4FrameRecord& frame = frames[i];
      SCOPED_TRACE(name + " track " + std::to_string(track) + " frame " + std::to_string(i));
      EXPECT_EQ(frame.offset, static_cast<uint64_t>(number(packet, "pos")));
      EXPECT_EQ(frame.size, static_cast<uint32_t>(number(packet, "size")));
      EXPECT_EQ(static_cast<int64_t>(frame.dts), number(packet, "dts") + shift);
      const int64_t pts = number(packet, "pts");
      EXPECT_EQ(static_cast<int64_t>(frame.pts), pts >= 0 ? pts : pts + shift);
      if (!parsed.fragmented) {
        EXPECT_EQ(frame.duration, static_cast<uint32_t>(number(packet, "duration")));
        EXPECT_EQ(samples.at(track).sync.at(i), packet.at("flags").get<std::string>().find('K') != std::string::npos);
      } else if (i + 1 < frames.size()) {
        // ffprobe reports a fragment sample's codec duration; the run's own
        // duration is what separates its decode time from the next one's.
        EXPECT_EQ(frame.duration, static_cast<uint64_t>(number(trackPackets[i + 1], "dts") - number(packet, "dts")));
      }
    }
  }
}

int profileIdc(const std::string& profile) {
  static const std::map<std::string, int> kProfiles = {
      {"Baseline", 66}, {"Constrained Baseline", 66}, {"Main", 77}, {"High", 100}};
  const auto found = kProfiles.find(profile);
  return found == kProfiles.end() ? -1 : found->second;
}

void expectStreamsMatch(const std::string& name, const testing::Mp4ParsedFile& parsed, const nlohmann::json& probe) {
  for (const auto& stream : probe.at("streams")) {
    const size_t index = static_cast<size_t>(number(stream, "index"));
    SCOPED_TRACE(name + " stream " + std::to_string(index));
    const QNVMP4SampleDescription& description = parsed.provider.moovAtom.trakAtoms.at(index).sampleDescription;
    const std::string codec = stream.at("codec_name");
    if (codec == "h264") {
      EXPECT_EQ(parsed.provider.moovAtom.trakAtoms.at(index).handler(), "vide");
      std::optional<platform::VideoFormatDescription> format;
      ASSERT_EQ(createH264FormatDescription(description, format), platform::kVideoFormatDescriptionOK);
      EXPECT_EQ(format->dimensions(), (platform::VideoDimensions{static_cast<int32_t>(number(stream, "width")),
                                                                static_cast<int32_t>(number(stream, "height"))}));
      EXPECT_EQ(format->sequenceParameterSet().profileIdc, profileIdc(stream.at("profile")));
    } else if (codec == "aac") {
      EXPECT_EQ(parsed.provider.moovAtom.trakAtoms.at(index).handler(), "soun");
      const auto audio = audioStreamDescription(description);
      ASSERT_TRUE(audio.has_value());
      EXPECT_EQ(audio->sampleRate, static_cast<double>(number(stream, "sample_rate")));
      EXPECT_EQ(audio->channelsPerFrame, static_cast<uint32_t>(number(stream, "channels")));
      EXPECT_EQ(stream.at("profile"), "LC");
      EXPECT_EQ(description.objectType, 2U);
    } else if (codec == "opus") {
      EXPECT_EQ(description.codingName, platform::fourCharCode("Opus"));
      EXPECT_EQ(description.channelConfiguration, static_cast<uint32_t>(number(stream, "channels")));
      EXPECT_EQ(number(stream, "sample_rate"), 48000);
      EXPECT_EQ(description.preSkip, 312U);
    } else {
      ADD_FAILURE() << "unexpected codec " << codec;
    }
  }
}

class QNVMp4FfprobeOracleTest : public ::testing::TestWithParam<const char*> {};

TEST_P(QNVMp4FfprobeOracleTest, FramesAndStreamsAgreeWithFfprobe) {
  const std::string path = kMediaDir + "/" + GetParam();
  const nlohmann::json probe = ffprobe(path);
  ASSERT_TRUE(probe.is_object()) << "ffprobe could not read " << path;
  const testing::Mp4ParsedFile parsed = testing::parseMp4File(path);
  expectStreamsMatch(GetParam(), parsed, probe);
  expectFramesMatch(GetParam(), parsed, probe);
}

INSTANTIATE_TEST_SUITE_P(GeneratedClips, QNVMp4FfprobeOracleTest,
                         ::testing::Values("baseline_aac_moov_first.mp4", "baseline_aac_moov_last.mp4",
                                           "main_bframes.mp4", "fps60.mp4", "fps59_94.mp4", "rotated.mp4",
                                           "video_only.mp4", "opus.mp4", "fragmented.mp4",
                                           "fragmented_sidx.mp4", "fragmented_interleaved.mp4", "quicktime.mov"),
                         [](const auto& info) { return testing::clipTestName(info.param); });

TEST(QNVMp4FfprobeOracleTest, SegmentIndexPointsAtEachFragment) {
  auto reader = QNVMp4FileBasedReader::initWithFilePath(kMediaDir + "/fragmented_sidx.mp4");
  ASSERT_NE(reader, nullptr);
  QNVMP4MoovAtomProvider provider;
  ASSERT_EQ(parseMoovAtom(provider, *reader), kQNVMp4ParseDone);
  reader->moveHead(provider.moovAtomSize);
  ASSERT_EQ(parseSidxAtom(provider, *reader, reader->head()), kQNVMp4ParseDone);
  const QNVMP4SidxAtom sidx = provider.sidxAtom;
  while (parseNextMoofAtom(provider, *reader, reader->head()) == kQNVMp4ParseDone) {
  }
  ASSERT_EQ(sidx.segments.size(), provider.moofAtoms.size());
  for (size_t i = 0; i < sidx.segments.size(); ++i) {
    EXPECT_EQ(sidx.segments[i].offset, provider.moofAtoms[i].offset) << i;
    if (i + 1 < sidx.segments.size()) {
      EXPECT_EQ(sidx.segments[i].offset + sidx.segments[i].size, provider.moofAtoms[i + 1].offset) << i;
    }
  }
  EXPECT_EQ(sidx.timescale, provider.moovAtom.trakAtoms.at(0).mediaTimescale);
}

}  // namespace
}  // namespace plexora
