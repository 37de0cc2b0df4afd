// Entry points of the MP4 parser: each looks for its box from the streaming
// reader's head, skipping other top-level boxes, and reads it into the
// provider once all of its bytes are at hand. Call again whenever more bytes
// may have arrived, until the result is done or error.
//
// Head positions: parseMoovAtom and parseSidxAtom leave the head at the start
// of the box they read (the caller moves past it by its size); parseNextMoofAtom
// moves it past the moof. Boxes skipped on the way are consumed in every case.
//
// Box sizes of 1 (a 64-bit size follows) are read; a size of 0 or one smaller
// than its header is an error, inside a box or at the top level.
//
// Thread safety: plain functions; the provider and reader belong to the
// caller's queue.
#pragma once

#include <cstdint>

#include "util/qnv/mp4/QNVMP4MoovAtomProvider.h"
#include "util/qnv/mp4/QNVMp4StreamingReader.h"

namespace plexora {

enum QNVMp4ParseResult : int32_t {
  kQNVMp4ParseDone = 0,
  kQNVMp4ParseNeedMoreData = 1,
  kQNVMp4ParseError = 2,
};

// Reads the moov box into provider.moovAtom and its size into moovAtomSize.
// Any result but done leaves moovAtom empty.
[[nodiscard]] QNVMp4ParseResult parseMoovAtom(QNVMP4MoovAtomProvider& provider, QNVMp4StreamingReader& reader);

// Reads the next moof box into a record appended to provider.moofAtoms.
// `streamOffset` is the stream offset of the reader's head; the record keeps
// the moof's own offset. Media data and other boxes on the way are passed
// over by their size without being read.
[[nodiscard]] QNVMp4ParseResult parseNextMoofAtom(QNVMP4MoovAtomProvider& provider, QNVMp4StreamingReader& reader,
                                                  uint64_t streamOffset);

// Reads the next sidx box into provider.sidxAtom, its segments placed at
// stream offsets counted from `streamOffset`, the offset of the reader's head.
[[nodiscard]] QNVMp4ParseResult parseSidxAtom(QNVMP4MoovAtomProvider& provider, QNVMp4StreamingReader& reader,
                                              uint64_t streamOffset);

}  // namespace plexora
