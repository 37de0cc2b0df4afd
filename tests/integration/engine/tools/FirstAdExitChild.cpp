// A host that makes one banner and quits: FirstAdWarmUpInEngine_test runs it
// as a child process and expects it to end by itself, leaving no web
// process behind.
//
//   first_ad_exit_child CACHES at-once             returns right after the banner is made
//   first_ad_exit_child CACHES after-web-process   returns once the warmed web process runs
//
// Exit status 0 when it got that far; 2 for bad arguments; 3 when the web
// process never came.
#include <string>

#include "platform/dispatch/MainLoop.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/ViewController.h"
#include "plexora/OVAdSettings.h"
#include "plexora/OVAdView.h"
#include "support/WebProcesses.h"

namespace {

constexpr const char* kAtOnce = "at-once";
constexpr const char* kAfterWebProcess = "after-web-process";
// Nothing listens there: whatever the library sends stays on this machine.
constexpr const char* kClosedServer = "http://127.0.0.1:9/";
constexpr double kWebProcessWaitSeconds = 60.0;

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::string mode = argv[2];
  if (mode != kAtOnce && mode != kAfterWebProcess) return 2;
  plexora::platform::setCachesDirectory(argv[1]);
  plexora::OVAdSettings::setAdServerBaseURL(kClosedServer);

  const auto banner = plexora::OVAdView::initWithPlacementID(
      "banner", plexora::kOVAdSize320x50, std::make_shared<plexora::platform::ViewController>());
  if (mode == kAfterWebProcess &&
      !plexora::platform::MainLoop::instance().runUntil([] { return !plexora::testing::webProcesses().empty(); },
                                                        kWebProcessWaitSeconds)) {
    return 3;
  }
  return 0;
}
