#include "DemoStep.h"

#include <cstdio>

#include "platform/dispatch/MainLoop.h"

namespace plexora::demo {

namespace {

// The engine starts helper processes on first use; a loaded two-core
// machine takes seconds for that alone.
constexpr double kStepTimeoutSeconds = 60.0;

}  // namespace

bool runDemoStep(std::chrono::steady_clock::time_point start, const std::vector<std::string>& errors,
                 const std::string& name, const std::function<bool()>& done, const std::string& detail) {
  const bool reached =
      platform::MainLoop::instance().runUntil([&] { return done() || !errors.empty(); }, kStepTimeoutSeconds);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!errors.empty()) {
    std::printf("%8.3f s  %-22s FAILED: %s\n", seconds, name.c_str(), errors.front().c_str());
    return false;
  }
  if (!reached || !done()) {
    std::printf("%8.3f s  %-22s FAILED: not reached within %.0f s\n", seconds, name.c_str(), kStepTimeoutSeconds);
    return false;
  }
  std::printf("%8.3f s  %-22s %s\n", seconds, name.c_str(), detail.c_str());
  std::fflush(stdout);
  return true;
}

}  // namespace plexora::demo
