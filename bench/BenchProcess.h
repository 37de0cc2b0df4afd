// What the benchmark programs share about their own process: a scratch
// directory for the library's settings, caches and user defaults, and the
// processor time of the software GL rasterizer's threads.
//
// Thread safety: useScratchDirectory is called on the main thread before
// the runs start; rasterizerSeconds from any thread.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include <stdlib.h>

#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"

namespace plexora::bench {

// Settings, caches and user defaults in a new directory of their own under
// the temporary directory, named after the program; ends the program when
// it cannot be made. Answers the directory.
inline std::string useScratchDirectory(std::string_view program) {
  std::string directory = (std::filesystem::temp_directory_path() / (std::string(program) + "-XXXXXX")).string();
  if (::mkdtemp(directory.data()) == nullptr) std::abort();
  platform::setCachesDirectory(directory);
  platform::setUserDefaultsPath(directory + "/UserDefaults.plist");
  platform::UserDefaults::resetStandardUserDefaults(directory + "/UserDefaults.plist");
  return directory;
}

// Processor time of this process's GL rasterizer threads so far, in seconds.
inline double rasterizerSeconds() {
  constexpr std::string_view kRasterizerThreadPrefix = "llvmpipe";
  double seconds = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string name;
    std::getline(comm, name);
    if (!name.starts_with(kRasterizerThreadPrefix)) continue;
    // The first field: nanoseconds on a CPU.
    std::ifstream schedstat(task.path() / "schedstat");
    std::uint64_t nanoseconds = 0;
    if (schedstat >> nanoseconds) seconds += static_cast<double>(nanoseconds) * 1e-9;
  }
  return seconds;
}

}  // namespace plexora::bench
