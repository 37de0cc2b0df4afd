// Turns one track fragment of a movie fragment into frame records, placing
// them on the store's timeline after the frames already there and reporting
// gaps, overlaps, drops and runs that do not start with a sync sample.
//
// Errors have the domain kQNVMp4ParserErrorDomain, the details "tag" (the
// caller's tag), "seqnum" (the fragment's sequence number) and, for codes 0
// (the first form), 1 and 4, "delta" (the time difference). The decode never
// stops on them: it reports, places the fragment as best it can and adds its
// samples.
//
// Thread safety: a plain function; the store belongs to the caller's queue.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"
#include "util/qnv/mp4/QNVMP4MoovAtomProvider.h"
#include "util/qnv/mp4/QNVMp4FrameMetadataCompressor.h"

namespace plexora {

inline constexpr const char* kQNVMp4ParserErrorDomain = "QNVMp4Parser";

enum QNVMp4FragmentErrorCode : int64_t {
  // The store's absolute-time delta exceeds the new base decode time, or
  // after a sequence gap the decode time went back before the last frame.
  kQNVMp4FragmentTimeWentBack = 0,
  kQNVMp4FragmentDiscontinuity = 1,
  kQNVMp4FragmentPriorDurationTooLong = 2,
  kQNVMp4FragmentNoLeadingKeyframe = 3,
  kQNVMp4FragmentOverlap = 4,
};

using QNVMp4FragmentErrorHandler = std::function<void(const platform::Error&)>;

// Adds the samples of moof.trafAtoms[trafIndex] to the store. Defaults missing
// from the run and the track fragment come from the movie's trex of the same
// track id (zero defaults without one). Nothing is added for a moof whose runs
// are all empty or a traf index it does not hold. `syncFlags`, when given,
// receives one entry per frame added: whether it is a sync sample.
void decodeMoofAtom(QNVMp4FrameMetadataCompressor& store, const QNVMP4MoovAtomProvider& provider,
                    const QNVMP4MoofAtom& moof, size_t trafIndex, const std::string& tag,
                    const QNVMp4FragmentErrorHandler& errorHandler, std::vector<bool>* syncFlags = nullptr);

}  // namespace plexora
