// Memory figures of the system and of this process, parsed from the texts
// the kernel publishes under /proc.
//
// The parsers take the text itself, so a truncated or malformed file is a
// plain input: a figure that cannot be read whole is none, never a guess.
//
// Thread safety: pure functions, callable from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/Export.h"

namespace plexora::platform {

struct SystemMemory {
  std::optional<std::uint64_t> totalBytes;      // MemTotal
  std::optional<std::uint64_t> availableBytes;  // MemAvailable
};

struct ProcessMemory {
  std::uint64_t residentBytes = 0;
  std::uint64_t virtualBytes = 0;
};

// Reads the "MemTotal" and "MemAvailable" lines of /proc/meminfo ("Key:
// <digits> kB"); a line without its "kB" unit, with a figure that overflows,
// or repeated, leaves its figure none.
PLEXORA_EXPORT SystemMemory parseMemInfo(std::string_view text);

// Reads /proc/self/statm (seven page counts; the first two are the virtual
// and the resident size). None unless all seven are there and the byte
// counts fit 64 bits.
PLEXORA_EXPORT std::optional<ProcessMemory> parseProcessStatm(std::string_view text, std::uint64_t pageSize);

}  // namespace plexora::platform
