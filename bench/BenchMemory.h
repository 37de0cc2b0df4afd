// What a benchmark program reads of its own process's memory: resident
// memory and the allocator's bytes in use, in megabytes.
//
// Thread safety: any thread.
#pragma once

#include <cstdint>
#include <fstream>

#include <malloc.h>
#include <unistd.h>

namespace plexora::bench {

// This process's resident memory in megabytes.
inline double residentMegabytes() {
  std::ifstream statm("/proc/self/statm");
  std::uint64_t pages = 0;
  std::uint64_t resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// The allocator's bytes in use by this process, in megabytes: what the
// player holds, without the free memory its arenas keep.
inline double heapInUseMegabytes() {
  const struct mallinfo2 info = ::mallinfo2();
  return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

struct MemoryReading {
  double heap = 0;
  double resident = 0;

  static MemoryReading now() { return {heapInUseMegabytes(), residentMegabytes()}; }
};

}  // namespace plexora::bench
