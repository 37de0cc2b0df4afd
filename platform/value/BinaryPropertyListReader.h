// Reader of binary property lists ("bplist00"), written for hostile input:
// every offset, count and reference is checked against the bytes at hand,
// reference cycles and nesting beyond kMaxNesting are refused, and shared
// references may not expand the result beyond a budget tied to the input's
// size. The system libplist aborts the process on some malformed binary
// files, so it is left to read XML and to write.
//
// Thread safety: a pure function; call from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/value/Value.h"

namespace plexora::platform {

// The value of a binary property list, with the mapping of parsePropertyList
// (dates become doubles of seconds since 2001). None for anything malformed
// and for content a Value cannot carry: UIDs, sets, strings that hold a NUL
// or are not Unicode.
std::optional<Value> readBinaryPropertyList(std::span<const uint8_t> bytes);

}  // namespace plexora::platform
