// What the MP4 parser read for one file or representation: the movie box,
// its size as found, the segment index and the movie fragments seen so far.
//
// Thread safety: none; one owner (the box manager or the DASH asset) reads and
// parses into it on its own queue.
#pragma once

#include <cstdint>
#include <vector>

#include "util/qnv/mp4/QNVMp4Atoms.h"
#include "util/qnv/mp4/QNVMp4FragmentAtoms.h"

namespace plexora {

struct QNVMP4MoovAtomProvider {
  QNVMP4MoovAtom moovAtom;
  uint64_t moovAtomSize = 0;
  QNVMP4SidxAtom sidxAtom;
  std::vector<QNVMP4MoofAtom> moofAtoms;

  void resetMoofAtoms() { moofAtoms.clear(); }
};

}  // namespace plexora
