#include "util/qnv/mp4/Mp4ParsedFile.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "util/qnv/mp4/Mp4TestDoubles.h"
#include "util/qnv/mp4/QNVMp4FileBasedReader.h"
#include "util/qnv/mp4/QNVMp4FragmentDecoder.h"
#include "util/qnv/mp4/QNVMp4Parser.h"
#include "util/qnv/mp4/QNVMp4SampleTables.h"

namespace plexora::testing {
namespace {

constexpr const char* kFragmentTag = "parsed-file";

bool isSyncSample(const QNVMP4TrakAtom& trak, size_t index) {
  if (trak.syncSamples.empty()) return true;
  return std::find(trak.syncSamples.begin(), trak.syncSamples.end(), index + 1) != trak.syncSamples.end();
}

// Every moof after the movie box, each track fragment into its track's
// samples (tracks and trex boxes share their order).
void readFragments(Mp4ParsedFile& parsed, QNVMp4FileBasedReader& reader) {
  const auto& trex = parsed.provider.moovAtom.mvexAtom.trexAtoms;
  std::vector<RecordingFrameStore> stores(parsed.provider.moovAtom.trakAtoms.size());
  parsed.fragmentSamples.resize(stores.size());
  QNVMp4ParseResult result;
  while ((result = parseNextMoofAtom(parsed.provider, reader, reader.head())) == kQNVMp4ParseDone) {
    const QNVMP4MoofAtom& moof = parsed.provider.moofAtoms.back();
    for (size_t traf = 0; traf < moof.trafAtoms.size(); ++traf) {
      size_t track = 0;
      while (track < trex.size() && trex[track].trackId != moof.trafAtoms[traf].trackId) ++track;
      ASSERT_LT(track, stores.size());
      decodeMoofAtom(
          stores[track], parsed.provider, moof, traf, kFragmentTag,
          [](const platform::Error& error) {
            if (error.code() != kQNVMp4FragmentNoLeadingKeyframe) ADD_FAILURE() << "fragment error " << error.code();
          },
          &parsed.fragmentSamples[track].sync);
    }
  }
  EXPECT_EQ(result, kQNVMp4ParseNeedMoreData) << "the file ends after its last box";
  for (size_t track = 0; track < stores.size(); ++track) parsed.fragmentSamples[track].frames = stores[track].frames;
}

}  // namespace

Mp4ParsedFile parseMp4File(const std::string& path) {
  Mp4ParsedFile parsed;
  auto reader = QNVMp4FileBasedReader::initWithFilePath(path);
  EXPECT_NE(reader, nullptr) << path;
  if (!reader) return parsed;
  EXPECT_EQ(parseMoovAtom(parsed.provider, *reader), kQNVMp4ParseDone) << path;
  const QNVMP4MoovAtom& moov = parsed.provider.moovAtom;
  for (size_t track = 0; track < moov.trakAtoms.size(); ++track) {
    RecordingFrameStore store;
    addSamplesOfTrack(store, moov, track);
    Mp4ParsedTrackSamples samples{store.frames, {}};
    for (size_t i = 0; i < samples.frames.size(); ++i) samples.sync.push_back(isSyncSample(moov.trakAtoms[track], i));
    parsed.movieSamples.push_back(std::move(samples));
  }
  parsed.fragmented = !moov.mvexAtom.trexAtoms.empty();
  if (parsed.fragmented) {
    reader->moveHead(parsed.provider.moovAtomSize);
    readFragments(parsed, *reader);
  }
  return parsed;
}

}  // namespace plexora::testing
