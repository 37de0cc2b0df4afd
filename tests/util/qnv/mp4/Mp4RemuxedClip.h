// A plain clip's samples laid out again as another muxer might have: the
// first samples of each track in the movie box's tables, the others in movie
// fragments of a given plan, under a movie header of a given duration. The
// samples' bytes, durations, sync flags and sample entries stay the clip's;
// edit lists are left out, and each track header names its track (id: its
// place, from 1), as readers of fragments need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "util/qnv/mp4/Mp4BoxWriter.h"

namespace plexora::testing {

// Samples [begin, end) of one track, in decode order; an end past the
// track's last sample stops there. Tracks are numbered video first, then
// audio (the clip has one of each at most).
struct Mp4FragmentRun {
  size_t track = 0;
  size_t begin = 0;
  size_t end = 0;
};

struct Mp4RemuxPlan {
  // Per track: how many of its first samples the movie box's tables hold
  // (all of them at most).
  std::vector<size_t> samplesInMovieBox;
  // Each movie fragment's runs, one track fragment each; sequence numbers
  // count the fragments from 1.
  std::vector<std::vector<Mp4FragmentRun>> fragments;
  // A movie extends box even without fragments (an init segment).
  bool fragmented = false;
  // The movie header's duration in milliseconds; none: that of the
  // samples in the movie box, as a fragmenting muxer writes it.
  std::optional<uint64_t> movieDurationMs;
  // Every fragment's decode times moved on by this much: media cut out of
  // a longer stream.
  uint32_t fragmentTimeOffsetSeconds = 0;
  // The video's sample entry as an encrypted one: 'encv' with its original
  // format in a protection scheme box.
  bool encryptedVideo = false;
};

Bytes remuxedMp4(const std::string& clipPath, const Mp4RemuxPlan& plan);

// The bytes written to `path`, which is answered.
std::string writtenMp4(const std::string& path, const Bytes& bytes);

}  // namespace plexora::testing
