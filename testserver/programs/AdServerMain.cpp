// plexora-adserver: the library's ad server as a program of its own, a
// sandbox for hosts (and the installed-library check). It serves the
// bundled fixtures, and the images they name, on an ephemeral 127.0.0.1
// port, prints its base URL as the first line of its output and serves
// until SIGINT or SIGTERM. Each event its logging endpoint receives is then
// printed as a line "logged <type> <client token>", so a host's check can
// see its impressions and clicks arrive. With --list it prints the
// placements it answers and exits.
//
// The fixtures are looked up beside the program as installed
// (<prefix>/share/plexora/fixtures), else in the source tree it was built
// from; the videos they name in "media" under the installed fixtures, else
// in the build tree that made them.
#include <unistd.h>

#include <csignal>
#include <ctime>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "testserver/adserver/AdServer.h"

namespace {

constexpr std::string_view kListOption = "--list";
constexpr const char* kUsage = "usage: plexora-adserver [--list]\n";
constexpr const char* kNoFixturesMessage = "plexora-adserver: no fixtures in %s\n";
constexpr const char* kLoggedFormat = "logged %s %s\n";

constexpr const char* kMediaDirectoryName = "media";

struct Directories {
  std::filesystem::path fixtures;
  std::filesystem::path media;
};

Directories directories() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const std::filesystem::path installed = program.parent_path() / PLEXORA_AD_SERVER_INSTALLED_FIXTURES;
    if (std::filesystem::is_directory(installed, error)) {
      return {installed.lexically_normal(), (installed / kMediaDirectoryName).lexically_normal()};
    }
  }
  return {plexora::testserver::FixtureLibrary::defaultDirectory(), PLEXORA_AD_SERVER_BUILD_MEDIA};
}

int list(const std::filesystem::path& directory) {
  const auto placements = plexora::testserver::AdServer::placements(plexora::testserver::FixtureLibrary(directory));
  for (const auto& [name, description] : placements) std::printf("%-20s %s\n", name.c_str(), description.c_str());
  return 0;
}

int serve(const Directories& directories) {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  // Blocked before the server's threads start, so they inherit the mask and
  // only sigwait below receives the signals.
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  plexora::testserver::AdServer server(directories.fixtures);
  server.setMediaDirectory(directories.media);
  try {
    server.start();
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "plexora-adserver: %s\n", failure.what());
    return 1;
  }
  std::printf("%s\n", server.baseURL().c_str());
  std::fflush(stdout);

  // Waits for a stop signal, printing the logging endpoint's new events
  // between looks.
  const timespec pollInterval{0, 200'000'000};
  std::size_t printed = 0;
  while (sigtimedwait(&stopSignals, nullptr, &pollInterval) < 0) {
    const auto events = server.logging().events();
    for (; printed < events.size(); ++printed) {
      std::printf(kLoggedFormat, events[printed].type.c_str(), events[printed].token.c_str());
    }
    std::fflush(stdout);
  }
  server.stop();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 || (argc == 2 && argv[1] != kListOption)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const Directories found = directories();
  if (plexora::testserver::FixtureLibrary(found.fixtures).names().empty()) {
    std::fprintf(stderr, kNoFixturesMessage, found.fixtures.c_str());
    return 1;
  }
  return argc == 2 ? list(found.fixtures) : serve(found);
}
