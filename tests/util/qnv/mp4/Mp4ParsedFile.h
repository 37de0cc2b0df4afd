// A whole MP4 file read by the engine's parser as the tests compare it: the
// movie box, then each track's samples from its sample tables and from every
// fragment after the movie box, with their sync flags.
#pragma once

#include <string>
#include <vector>

#include "util/qnv/mp4/QNVMP4MoovAtomProvider.h"
#include "util/qnv/mp4/QNVMp4FrameRecord.h"

namespace plexora::testing {

struct Mp4ParsedTrackSamples {
  std::vector<QNVMp4FrameRecord> frames;
  std::vector<bool> sync;
};

struct Mp4ParsedFile {
  QNVMP4MoovAtomProvider provider;
  // Per track, in the movie box's order.
  std::vector<Mp4ParsedTrackSamples> movieSamples;
  std::vector<Mp4ParsedTrackSamples> fragmentSamples;
  bool fragmented = false;
};

// Adds a test failure for anything the parser refuses; fragment errors but
// a run starting between key frames (interleaved runs may) count.
Mp4ParsedFile parseMp4File(const std::string& path);

}  // namespace plexora::testing
