// The search for a top-level box that every parse entry point starts with.
//
// Thread safety: a plain function over the caller's reader.
#pragma once

#include <cstdint>

#include "util/qnv/mp4/QNVMp4BoxReading.h"
#include "util/qnv/mp4/QNVMp4StreamingReader.h"

namespace plexora {

// What the parse entry points log when a box's bytes do not hold what its
// header promises.
inline constexpr const char* kQNVMp4ReadFailure = "reading out of range";

enum class QNVMp4BoxSearch { kFound, kNeedMoreData, kMalformed };

// Moves the head past every box that is not of `type` (whether its bytes have
// arrived or not) and adds their sizes to `skipped`. kFound leaves the head at
// the box with its header in `header`; kNeedMoreData leaves it at the first
// box whose header has not all arrived.
[[nodiscard]] QNVMp4BoxSearch findQNVMp4TopLevelBox(QNVMp4StreamingReader& reader, uint32_t type,
                                                    QNVMp4BoxHeader& header, uint64_t& skipped);

}  // namespace plexora
