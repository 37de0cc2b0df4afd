#include "DemoOptions.h"

namespace plexora::demo {

std::optional<DemoOptions> parseDemoOptions(const std::vector<std::string>& arguments, std::string& error) {
  DemoOptions options;
  for (std::size_t index = 0; index < arguments.size(); ++index) {
    const std::string& name = arguments[index];
    if (name == "--help" || name == "-h") {
      options.help = true;
      continue;
    }
    std::string* target = nullptr;
    if (name == "--server") target = &options.serverURL;
    if (name == "--placement") target = &options.placement;
    if (name == "--output") target = &options.outputDirectory;
    if (target == nullptr) {
      error = "unknown option " + name;
      return std::nullopt;
    }
    if (index + 1 >= arguments.size() || arguments[index + 1].empty()) {
      error = name + " needs a value";
      return std::nullopt;
    }
    *target = arguments[++index];
  }
  return options;
}

}  // namespace plexora::demo
