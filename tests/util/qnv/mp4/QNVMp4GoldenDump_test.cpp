// What the parser reads from each checked-in conformance clip, against the
// dump checked in beside it: per track its handler, codec, picture size or
// sample rate and channels, timescale, edit list and sample count, then
// each sample's decode and presentation time, size and sync flag. The clips
// and dumps are checked in so a newer ffmpeg can move neither the input nor
// the oracle unseen; the ffprobe comparison keeps running as well.
//
// PLEXORA_WRITE_GOLDEN_DUMPS=1 writes the dumps afresh instead (after
// scripts/make-conformance-clips.sh has changed the set); read the
// difference before checking it in.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "util/qnv/mp4/Mp4ParsedFile.h"
#include "util/qnv/mp4/QNVMp4CodecConfiguration.h"
#include "util/qnv/support/QNVTestClip.h"

namespace plexora {
namespace {

const std::string kConformanceDir = std::string(PLEXORA_TEST_SOURCE_DIR) + "/util/qnv/conformance/";
constexpr const char* kWriteVariable = "PLEXORA_WRITE_GOLDEN_DUMPS";

std::string codeText(platform::FourCharCode code) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) text += static_cast<char>((code >> shift) & 0xFF);
  return text;
}

void dumpSamples(std::ostringstream& out, const char* where, const testing::Mp4ParsedTrackSamples& samples) {
  out << "  " << where << " samples: " << samples.frames.size() << "\n";
  for (size_t i = 0; i < samples.frames.size(); ++i) {
    const QNVMp4FrameRecord& frame = samples.frames[i];
    out << "    " << i << ": dts " << frame.dts << " pts " << frame.pts << " duration " << frame.duration << " size "
        << frame.size << " offset " << frame.offset << (i < samples.sync.size() && samples.sync[i] ? " sync" : "")
        << "\n";
  }
}

std::string dumpOf(const testing::Mp4ParsedFile& parsed) {
  std::ostringstream out;
  const QNVMP4MoovAtom& moov = parsed.provider.moovAtom;
  out << "tracks: " << moov.trakAtoms.size() << (parsed.fragmented ? " fragmented" : "") << "\n";
  for (size_t track = 0; track < moov.trakAtoms.size(); ++track) {
    const QNVMP4TrakAtom& trak = moov.trakAtoms[track];
    const QNVMP4SampleDescription& description = trak.sampleDescription;
    out << "track " << track << ": " << trak.handler() << " " << codeText(description.codingName) << " timescale "
        << trak.mediaTimescale << "\n";
    std::optional<platform::VideoFormatDescription> format;
    if (createH264FormatDescription(description, format) == platform::kVideoFormatDescriptionOK) {
      out << "  picture " << format->dimensions().width << "x" << format->dimensions().height << " nal length "
          << description.naluLengthSize << "\n";
    } else if (const auto audio = audioStreamDescription(description)) {
      out << "  audio " << audio->sampleRate << " Hz " << audio->channelsPerFrame << " channels object type "
          << description.objectType << "\n";
    }
    for (const QNVMP4EditListEntry& edit : trak.editList) {
      out << "  edit duration " << edit.segmentDuration << " media time " << edit.mediaTime << " rate "
          << edit.mediaRate << "\n";
    }
    if (track < parsed.movieSamples.size()) dumpSamples(out, "movie", parsed.movieSamples[track]);
    if (track < parsed.fragmentSamples.size()) dumpSamples(out, "fragment", parsed.fragmentSamples[track]);
  }
  return out.str();
}

std::string fileText(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class QNVMp4GoldenDumpTest : public ::testing::TestWithParam<const char*> {};

TEST_P(QNVMp4GoldenDumpTest, TheParserReadsWhatTheDumpSays) {
  const std::string clip = kConformanceDir + GetParam();
  const std::string dumpPath = clip + ".dump";
  const std::string dump = dumpOf(testing::parseMp4File(clip));
  if (std::getenv(kWriteVariable) != nullptr) {
    std::ofstream(dumpPath) << dump;
    GTEST_SKIP() << "wrote " << dumpPath;
  }
  const std::string expected = fileText(dumpPath);
  ASSERT_FALSE(expected.empty()) << "no dump at " << dumpPath << "; write it with " << kWriteVariable << "=1";
  EXPECT_EQ(dump, expected) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Clips, QNVMp4GoldenDumpTest,
                         ::testing::Values("baseline_aac_moov_first.mp4", "baseline_aac_moov_last.mp4",
                                           "main_bframes.mp4", "quicktime.mov", "fragmented.mp4",
                                           "fragmented_sidx.mp4", "fragmented_interleaved.mp4",
                                           "fragmented_moov_samples.mp4", "edit_cut.mp4", "edit_delay.mp4",
                                           "full_range.mp4", "bt709.mp4", "full_range_bt709.mp4", "one_frame.mp4",
                                           "audio_longer.mp4", "audio_shorter.mp4", "crop_left_top.mp4",
                                           "crop_right_bottom.mp4"),
                         [](const auto& info) { return testing::clipTestName(info.param); });

}  // namespace
}  // namespace plexora
