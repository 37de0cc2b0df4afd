// The rewarded video's part of the demo: an ad of the bundled server's
// (a short clip and an end card) loaded with OVRewardedVideoAd for a
// rewarded user, shown full screen over a headless window's root
// controller, pictured while its video plays, played to its end, its end
// card pictured once its page is drawn and closed with the card's own link,
// its reward confirmed to the server and its impression acknowledged;
// every step printed with the seconds since this part began.
//
// Thread safety: main thread only; it runs the main loop while it waits.
// Ownership: owns the window, the ad and the host delegate.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "testserver/adserver/AdServer.h"

namespace plexora::demo {

inline constexpr const char* kRewardedPlacement = "rewarded";

class DemoRewarded final {
 public:
  // `mediaDirectory` holds the clip a bundled server plays as the ad's
  // video; a server elsewhere serves its own ad and video.
  DemoRewarded(testserver::AdServer* bundledServer, std::filesystem::path mediaDirectory);
  ~DemoRewarded();
  DemoRewarded(const DemoRewarded&) = delete;
  DemoRewarded& operator=(const DemoRewarded&) = delete;

  // Every step in order, the picture written into `outputDirectory`; false
  // after printing the step that failed.
  bool run(const std::filesystem::path& outputDirectory);

 private:
  struct State;

  bool step(const std::string& name, const std::function<bool()>& done, const std::string& detail = {});
  // The bundled server's answer and video for the placement; false when the
  // clip cannot be read.
  bool serveAd();

  testserver::AdServer* bundledServer_;
  std::filesystem::path mediaDirectory_;
  std::unique_ptr<State> state_;
};

}  // namespace plexora::demo
