// One banner's life in the demo: placed in a headless window shown through
// the host display, loaded from the ad server, its page rendered by the web
// engine, seen, tapped, its link opened in the in-app browser and closed
// with a tap, its events acknowledged; every step printed with the seconds
// since the start.
//
// Thread safety: main thread only; it runs the main loop while it waits.
// Ownership: owns the window, the banner and the host delegate.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "testserver/adserver/AdServer.h"

namespace plexora::demo {

class DemoBanner final {
 public:
  // `bundledServer` is null for a server elsewhere: acknowledgements are
  // then not visible to the demo and that step is skipped.
  DemoBanner(std::string placement, testserver::AdServer* bundledServer);
  ~DemoBanner();
  DemoBanner(const DemoBanner&) = delete;
  DemoBanner& operator=(const DemoBanner&) = delete;

  // Every step in order; false after printing the step that failed.
  bool run(const std::filesystem::path& pngPath);

 private:
  struct State;

  bool step(const std::string& name, const std::function<bool()>& done, const std::string& detail = {});
  // Points the bundled server's banner at a landing page it serves.
  void serveLandingPage();
  // The in-app browser the click opened: loaded, pictured, closed with its
  // Done button.
  bool browse(const std::filesystem::path& pngPath);

  std::string placement_;
  testserver::AdServer* bundledServer_;
  std::unique_ptr<State> state_;
};

}  // namespace plexora::demo
