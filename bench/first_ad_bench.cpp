// The wait for the first ad, in fresh processes: a host that starts, makes
// a banner, loads it from the loopback ad server and ends once its page is
// drawn (first_ad_banner), against the web engine alone starting and drawing
// the same markup (first_ad_bare_engine).
//   BM_FirstDrawnPageInTurns  each round starts the bare program and the
//                             banner program, each a new process, the one
//                             first that went second in the round before,
//                             and times each from its start until it says
//                             its page is drawn; "bare_ms" and "banner_ms"
//                             per round, "ratio" the banner's over the bare
//                             one's
// A program's run ends only once it and every process it started (the
// engine's helpers, adopted when the program exits before them) are gone,
// so that no run meets the last one's leftovers.
// The ad server runs in a child process of its own. After the table comes
// the goal's ratio (medians over the rounds; run with
// --benchmark_repetitions=N for N rounds).
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "BenchMedians.h"
#include "BenchServerProcess.h"
#include "testserver/adserver/AdServer.h"
#include "testserver/adserver/FixtureLibrary.h"

extern char** environ;

namespace {

using namespace plexora;
using Clock = std::chrono::steady_clock;

constexpr const char* kPlacement = "banner";
constexpr const char* kDrawnLine = "drawn";
constexpr double kGoal = 1.1;
// A program that has not drawn by then has failed.
constexpr auto kRunLimit = std::chrono::seconds(90);

// This process's children but the ad server, by pid.
std::vector<pid_t> childrenButServer() {
  std::vector<pid_t> children;
  std::error_code failure;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", failure)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || !std::isdigit(static_cast<unsigned char>(name.front()))) continue;
    std::ifstream file(entry.path() / "stat");
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(text.substr(close + 1));
    std::string state;
    pid_t parent = -1;
    const auto pid = static_cast<pid_t>(std::stol(name));
    if (fields >> state >> parent && parent == ::getpid() && pid != bench::serverProcess().pid) children.push_back(pid);
  }
  return children;
}

// Reaps the helpers a finished program left behind, for at most the limit.
void awaitLeftovers() {
  const Clock::time_point endBy = Clock::now() + kRunLimit;
  for (std::vector<pid_t> left = childrenButServer(); !left.empty(); left = childrenButServer()) {
    for (const pid_t pid : left) ::waitpid(pid, nullptr, WNOHANG);
    if (Clock::now() > endBy) {
      for (const pid_t pid : left) ::kill(pid, SIGKILL);
    }
    ::usleep(10000);
  }
}

std::string& markupFile() {
  static std::string path;
  return path;
}

// The first candidate's markup of the fixture banner, as the banner program
// gets it from the server.
std::optional<std::string> fixtureMarkup() {
  const auto text = testserver::FixtureLibrary(testserver::FixtureLibrary::defaultDirectory()).read(kPlacement);
  if (!text) return std::nullopt;
  const auto document = nlohmann::json::parse(*text, nullptr, false);
  const auto pointer = nlohmann::json::json_pointer("/placements/0/ads/0/data/markup");
  if (document.is_discarded() || !document.contains(pointer)) return std::nullopt;
  return document.at(pointer).get<std::string>();
}

// Starts the program, reads its output until it says the page is drawn, and
// waits for it to end. The seconds from the start to the line, or none when
// it failed or took too long.
std::optional<double> secondsToDrawn(const std::vector<std::string>& arguments) {
  int output[2];
  if (::pipe2(output, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  const Clock::time_point start = Clock::now();
  pid_t child = -1;
  const int spawned = ::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(output[1]);
  if (spawned != 0) {
    ::close(output[0]);
    return std::nullopt;
  }

  std::string text;
  std::optional<double> seconds;
  while (!seconds && Clock::now() - start < kRunLimit) {
    pollfd readable{output[0], POLLIN, 0};
    if (::poll(&readable, 1, 100) <= 0) continue;
    char buffer[256];
    const ssize_t count = ::read(output[0], buffer, sizeof buffer);
    if (count <= 0) break;
    text.append(buffer, static_cast<std::size_t>(count));
    if (text.find(kDrawnLine) != std::string::npos) {
      seconds = std::chrono::duration<double>(Clock::now() - start).count();
    }
  }
  ::close(output[0]);
  int status = 0;
  const Clock::time_point endBy = Clock::now() + kRunLimit;
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (Clock::now() > endBy) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      return std::nullopt;
    }
    ::usleep(10000);
  }
  awaitLeftovers();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return seconds;
}

std::string scratchDirectory() {
  std::string directory = (std::filesystem::temp_directory_path() / "first_ad_bench-XXXXXX").string();
  if (::mkdtemp(directory.data()) == nullptr) return {};
  return directory;
}

std::optional<double> bareSecondsToDrawn() { return secondsToDrawn({PLEXORA_FIRST_AD_BARE_ENGINE, markupFile()}); }

// A fresh host with caches and settings of its own.
std::optional<double> bannerSecondsToDrawn() {
  const std::string scratch = scratchDirectory();
  const std::optional<double> seconds =
      secondsToDrawn({PLEXORA_FIRST_AD_BANNER, bench::serverProcess().baseURL, scratch});
  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
  return seconds;
}

void BM_FirstDrawnPageInTurns(benchmark::State& state) {
  static bool bareFirst = true;
  for (auto _ : state) {
    std::optional<double> bare;
    std::optional<double> banner;
    if (bareFirst) {
      bare = bareSecondsToDrawn();
      banner = bannerSecondsToDrawn();
    } else {
      banner = bannerSecondsToDrawn();
      bare = bareSecondsToDrawn();
    }
    bareFirst = !bareFirst;
    if (!bare || !banner) {
      state.SkipWithError(!bare ? "the bare engine program did not draw" : "the banner program did not draw");
      return;
    }
    state.SetIterationTime(*banner);
    state.counters["bare_ms"] = *bare * 1e3;
    state.counters["banner_ms"] = *banner * 1e3;
    state.counters["ratio"] = *banner / *bare;
  }
}
BENCHMARK(BM_FirstDrawnPageInTurns)->Iterations(1)->Repetitions(7)->UseManualTime()->Unit(benchmark::kMillisecond);

class RatioReporter final : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      for (const auto& [name, counter] : run.counters) figures_.record(run, name, counter.value);
    }
  }

  void printRatio() const {
    const double ratio = figures_.median("ratio");
    if (ratio <= 0) return;
    std::printf("first drawn page: banner / bare engine %6.2fx  (%.0f ms / %.0f ms, goal at most %.2fx: %s)\n", ratio,
                figures_.median("banner_ms"), figures_.median("bare_ms"), kGoal, ratio <= kGoal ? "met" : "missed");
  }

 private:
  bench::BenchMedians figures_;
};

}  // namespace

int main(int argc, char** argv) {
  const std::optional<std::string> markup = fixtureMarkup();
  if (!markup) {
    std::fprintf(stderr, "the fixture banner has no markup\n");
    return 1;
  }
  const std::string scratch = scratchDirectory();
  markupFile() = scratch + "/markup.html";
  std::ofstream(markupFile()) << *markup;
  // The engine's helpers outlive a program that ends: they become this
  // process's, to be waited for.
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);
  if (!bench::startServerProcess([](auto report) {
        testserver::AdServer server;
        server.start();
        report(server.baseURL());
      })) {
    std::fprintf(stderr, "the ad server did not start\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    bench::stopServerProcess();
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  reporter.printRatio();
  bench::stopServerProcess();
  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
  return 0;
}
