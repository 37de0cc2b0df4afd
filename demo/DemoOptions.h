// The demo's command line: where the ads come from and where the picture
// of the banner goes.
//
// Thread safety: plain values.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace plexora::demo {

inline constexpr const char* kDefaultPlacement = "banner";
inline constexpr const char* kDefaultOutputDirectory = "plexora-demo-output";

struct DemoOptions {
  // Empty: the bundled ad server, started in the process.
  std::string serverURL;
  std::string placement = kDefaultPlacement;
  std::string outputDirectory = kDefaultOutputDirectory;
  bool help = false;
};

// The options, or none with the reason in `error`.
std::optional<DemoOptions> parseDemoOptions(const std::vector<std::string>& arguments, std::string& error);

inline constexpr const char* kDemoUsage =
    "usage: plexora-demo [--server URL] [--placement ID] [--output DIR]\n"
    "  --server URL     an ad server to load from (default: the bundled one, started here)\n"
    "  --placement ID   the banner placement to load (default: banner)\n"
    "  --output DIR     where banner.png and native-template-*.png are written (default: plexora-demo-output)\n";

}  // namespace plexora::demo
