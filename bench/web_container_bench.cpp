// What the web content container adds to a page load in the real engine,
// side by side with the engine alone on the same markup:
//   BM_ContainerLoad        the fixture banner's markup into a new container
//                           until its owner heard adDidLoad and the page's
//                           AdControl bridge and activation command have run
//   BM_BareEngineLoad       the same markup into a new bare web view of the
//                           same size, until its load finished
//   BM_ContainerLoadInTurns the two in turns, so both meet the same machine;
//                           "reference_ms" is the bare load's, "ratio" the
//                           container's over it
//   BM_ContainerReloadInTurns  the same in turns, each loading again into
//                           one view that stays (a banner's refresh);
//                           "did_load_ms" is the container's time to
//                           adDidLoad, before its bridge is ready;
//                           "scripted_ratio" is against a bare view that
//                           runs one script after each load
//   BM_DeviceStateJSON      the device state the bridge script carries
//   BM_ScriptRoundTrip      one script into a loaded page until its answer
//                           reaches the main queue
//   BM_TenBannersResident   the proportional share (shared pages split)
//                           of this process and every process it started,
//                           summed: with the engine warmed by one page and
//                           no banner, with one banner and with ten; what
//                           each banner after the first adds, and ten
//                           against one
// Views are made outside the timed part: the time is the load's alone.
// After the table comes the goal's ratio (medians when repeated).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "BenchMedians.h"
#include "BenchProcess.h"
#include "adapters/views/contentcontainer/OVAdWebKitContentContainer.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/web/WebView.h"
#include "plexora/OVAdSettings.h"
#include "testserver/adserver/FixtureLibrary.h"
#include "util/OVAdDeviceState.h"

namespace {

using namespace plexora;
using Clock = std::chrono::steady_clock;

// The engine's helper processes start on the first view; a busy machine
// takes seconds for that alone.
constexpr double kWaitSeconds = 60.0;
constexpr int kResidentBanners = 10;
const platform::Rect kBannerFrame{0, 0, 320, 50};
constexpr const char* kBannerFixture = "banner";

struct Creative {
  std::string markup;
  std::string activationCommand;
};

// The first ad of the fixture banner, as the ad server sends it.
const Creative& fixtureCreative() {
  static const Creative creative = [] {
    const auto text = testserver::FixtureLibrary(testserver::FixtureLibrary::defaultDirectory()).read(kBannerFixture);
    if (!text) {
      std::fprintf(stderr, "web_container_bench: no %s fixture\n", kBannerFixture);
      std::abort();
    }
    const auto data = nlohmann::json::parse(*text)["placements"][0]["ads"][0]["data"];
    return Creative{data["markup"].get<std::string>(), data["activation_command"].get<std::string>()};
  }();
  return creative;
}

void prepareProcess() {
  static const bool prepared = [] {
    bench::useScratchDirectory("web-container-bench");
    return true;
  }();
  (void)prepared;
}

bool waitFor(const std::function<bool()>& done) { return platform::MainLoop::instance().runUntil(done, kWaitSeconds); }

// ---- The container ----

class LoadListener final : public OVAdContentContainerDelegate {
 public:
  void adDidLoad() override {
    ++loads;
    lastLoad = Clock::now();
  }
  void adWillLogImpression() override {}
  void adDidFailToLoadWithError(const platform::Error&) override { ++failures; }

  int loads = 0;
  int failures = 0;
  Clock::time_point lastLoad;
};

// A container as a banner owns it: made, framed, its owner listening.
class Banner {
 public:
  Banner() {
    container_->setDelegate(listener_);
    container_->setFrame(kBannerFrame);
  }

  void load() {
    loadsBefore_ = listener_->loads;
    container_->loadAdMarkup(fixtureCreative().markup, fixtureCreative().activationCommand);
  }
  bool ready() const { return listener_->loads > loadsBefore_ && container_->isJavascriptAdControlInitialized(); }
  bool failed() const { return listener_->failures > 0; }
  Clock::time_point lastLoad() const { return listener_->lastLoad; }

 private:
  int loadsBefore_ = 0;
  std::shared_ptr<LoadListener> listener_ = std::make_shared<LoadListener>();
  std::shared_ptr<OVAdWebKitContentContainer> container_ =
      OVAdWebKitContentContainer::initWithAdView(nullptr, kBannerFrame.size, kOVAdSize320x50);
};

// Seconds from the load to ready, or a negative figure when it failed.
// `toLoaded`, when given, gets the seconds to adDidLoad alone.
double timeLoad(Banner& banner, double* toLoaded = nullptr) {
  const auto start = Clock::now();
  banner.load();
  if (!waitFor([&] { return banner.ready() || banner.failed(); }) || banner.failed()) {
    return -1;
  }
  if (toLoaded != nullptr) {
    *toLoaded = std::chrono::duration<double>(banner.lastLoad() - start).count();
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double timeContainerLoad() {
  Banner banner;
  return timeLoad(banner);
}

// ---- The bare engine ----

class FinishListener final : public platform::WebViewNavigationDelegate {
 public:
  void didFinishNavigation(platform::WebView&) override { ++finished; }
  void didFailProvisionalNavigation(platform::WebView&, const platform::Error&) override { ++failures; }
  void didFailNavigation(platform::WebView&, const platform::Error&) override { ++failures; }

  int finished = 0;
  int failures = 0;
};

// A bare web view of the banner's size.
class BarePage {
 public:
  BarePage() {
    view_->setNavigationDelegate(listener_);
    view_->setFrameSize(static_cast<std::uint32_t>(kBannerFrame.width()),
                        static_cast<std::uint32_t>(kBannerFrame.height()));
  }

  // Seconds from a script's evaluation to its answer on the main queue.
  double timeScript(const std::string& script) {
    bool answered = false;
    const auto start = Clock::now();
    view_->evaluateJavaScript(script, [&](platform::Value, std::optional<platform::Error>) { answered = true; });
    if (!waitFor([&] { return answered; })) {
      return -1;
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
  }

  double timeLoad() {
    const int finishedBefore = listener_->finished;
    const auto start = Clock::now();
    view_->loadHTMLString(fixtureCreative().markup, OVAdSettings::getWebviewBaseURL());
    if (!waitFor([&] { return listener_->finished > finishedBefore || listener_->failures > 0; }) ||
        listener_->failures > 0) {
      return -1;
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
  }

 private:
  std::shared_ptr<FinishListener> listener_ = std::make_shared<FinishListener>();
  std::shared_ptr<platform::WebView> view_ = platform::makeWebView();
};

double timeBareLoad() {
  BarePage page;
  return page.timeLoad();
}

// The engine's helper processes start with the first view: that start is
// no part of any one load.
void warmEngine() {
  static const bool warmed = [] {
    prepareProcess();
    return timeBareLoad() >= 0;
  }();
  (void)warmed;
}

void BM_ContainerLoad(benchmark::State& state) {
  warmEngine();
  for (auto _ : state) {
    const double seconds = timeContainerLoad();
    if (seconds < 0) {
      state.SkipWithError("the container did not load");
      break;
    }
    state.SetIterationTime(seconds);
  }
}
BENCHMARK(BM_ContainerLoad)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_BareEngineLoad(benchmark::State& state) {
  warmEngine();
  for (auto _ : state) {
    const double seconds = timeBareLoad();
    if (seconds < 0) {
      state.SkipWithError("the page did not load");
      break;
    }
    state.SetIterationTime(seconds);
  }
}
BENCHMARK(BM_BareEngineLoad)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_ContainerLoadInTurns(benchmark::State& state) {
  warmEngine();
  double loads = 0;
  double references = 0;
  for (auto _ : state) {
    const double load = timeContainerLoad();
    const double reference = timeBareLoad();
    if (load < 0 || reference < 0) {
      state.SkipWithError("a load failed");
      break;
    }
    loads += load;
    references += reference;
    state.SetIterationTime(load);
  }
  if (state.iterations() > 0 && references > 0) {
    state.counters["reference_ms"] = references * 1e3 / static_cast<double>(state.iterations());
    state.counters["ratio"] = loads / references;
  }
}
BENCHMARK(BM_ContainerLoadInTurns)->Unit(benchmark::kMillisecond)->UseManualTime();

// The same in one view each, loaded again and again (a banner's refresh):
// without the engine's start of a view, what the container adds stands out.
// A second bare view runs one script after each of its loads (untimed), as
// the container's bridge does: a page that ever ran a script costs the next
// load its script world, which a never-scripted view does not pay.
void BM_ContainerReloadInTurns(benchmark::State& state) {
  warmEngine();
  Banner banner;
  BarePage page;
  BarePage scriptedPage;
  double loads = 0;
  double toLoaded = 0;
  double references = 0;
  double scriptedReferences = 0;
  for (auto _ : state) {
    double loaded = 0;
    const double load = timeLoad(banner, &loaded);
    const double reference = page.timeLoad();
    const double scriptedReference = scriptedPage.timeLoad();
    if (load < 0 || reference < 0 || scriptedReference < 0 ||
        scriptedPage.timeScript(fixtureCreative().activationCommand) < 0) {
      state.SkipWithError("a load failed");
      break;
    }
    loads += load;
    toLoaded += loaded;
    references += reference;
    scriptedReferences += scriptedReference;
    state.SetIterationTime(load);
  }
  if (state.iterations() > 0 && references > 0 && scriptedReferences > 0) {
    const double iterations = static_cast<double>(state.iterations());
    state.counters["did_load_ms"] = toLoaded * 1e3 / iterations;
    state.counters["reference_ms"] = references * 1e3 / iterations;
    state.counters["ratio"] = loads / references;
    state.counters["scripted_reference_ms"] = scriptedReferences * 1e3 / iterations;
    state.counters["scripted_ratio"] = loads / scriptedReferences;
  }
}
BENCHMARK(BM_ContainerReloadInTurns)->Unit(benchmark::kMillisecond)->UseManualTime();

// Where the container's time beyond the page's goes: the bridge's device
// state, and one script's trip to the page and back.
void BM_DeviceStateJSON(benchmark::State& state) {
  prepareProcess();
  for (auto _ : state) {
    benchmark::DoNotOptimize(OVAdDeviceStateJSON());
  }
}
BENCHMARK(BM_DeviceStateJSON)->Unit(benchmark::kMicrosecond);

void BM_ScriptRoundTrip(benchmark::State& state) {
  warmEngine();
  BarePage page;
  if (page.timeLoad() < 0) {
    state.SkipWithError("the page did not load");
    return;
  }
  for (auto _ : state) {
    const double seconds = page.timeScript(fixtureCreative().activationCommand);
    if (seconds < 0) {
      state.SkipWithError("the script got no answer");
      break;
    }
    state.SetIterationTime(seconds);
  }
}
BENCHMARK(BM_ScriptRoundTrip)->Unit(benchmark::kMicrosecond)->UseManualTime();

// ---- Memory ----

// A figure in kB of a /proc file of "Name:   value kB" lines; 0 when
// unreadable.
double kilobytes(const std::filesystem::path& path, const std::string& field) {
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    if (line.rfind(field, 0) == 0) {
      return std::strtod(line.c_str() + field.size(), nullptr);
    }
  }
  return 0;
}

double residentKB(const std::filesystem::path& process) { return kilobytes(process / "status", "VmRSS:"); }
// The process's share of the pages it shares with others: the engine's
// helpers map the same libraries, which their resident sizes each count.
double proportionalKB(const std::filesystem::path& process) { return kilobytes(process / "smaps_rollup", "Pss:"); }

// The parent's pid from /proc/<pid>/stat: the field after the command's
// closing parenthesis and the state.
long parentOf(const std::filesystem::path& stat) {
  std::ifstream file(stat);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')');
  if (close == std::string::npos) {
    return -1;
  }
  std::istringstream fields(text.substr(close + 1));
  std::string stateField;
  long parent = -1;
  fields >> stateField >> parent;
  return parent;
}

struct ProcessTree {
  int count = 0;
  double proportionalKB = 0;
};

// This process and every process it started, at any depth (the engine's
// web and network processes): how many, and their proportional share.
ProcessTree processTree() {
  std::map<long, long> parents;
  std::error_code failure;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", failure)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || !std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c) != 0; })) {
      continue;
    }
    parents[std::stol(name)] = parentOf(entry.path() / "stat");
  }
  const long self = ::getpid();
  ProcessTree tree;
  for (const auto& [pid, parent] : parents) {
    bool inTree = pid == self;
    for (long ancestor = parent; !inTree && ancestor > 1;) {
      inTree = ancestor == self;
      const auto next = parents.find(ancestor);
      ancestor = next == parents.end() ? -1 : next->second;
    }
    if (inTree) {
      ++tree.count;
      tree.proportionalKB += proportionalKB("/proc/" + std::to_string(pid));
    }
  }
  return tree;
}

bool allReady(const std::vector<std::unique_ptr<Banner>>& banners) {
  return std::all_of(banners.begin(), banners.end(), [](const auto& banner) { return banner->ready(); });
}

// The whole process tree's memory with the engine warmed by one page and no
// banner, with one banner, and with ten: what each banner after the first
// costs, and ten banners against one.
void BM_TenBannersResident(benchmark::State& state) {
  warmEngine();
  for (auto _ : state) {
    const ProcessTree idle = processTree();
    std::vector<std::unique_ptr<Banner>> banners;
    banners.push_back(std::make_unique<Banner>());
    banners.back()->load();
    if (!waitFor([&] { return allReady(banners); })) {
      state.SkipWithError("the first banner did not load");
      break;
    }
    const ProcessTree one = processTree();
    for (int index = 1; index < kResidentBanners; ++index) {
      banners.push_back(std::make_unique<Banner>());
      banners.back()->load();
    }
    if (!waitFor([&] { return allReady(banners); })) {
      state.SkipWithError("not every banner loaded");
      break;
    }
    const ProcessTree ten = processTree();
    state.counters["idle_pss_MB"] = idle.proportionalKB / 1024.0;
    state.counters["one_pss_MB"] = one.proportionalKB / 1024.0;
    state.counters["ten_pss_MB"] = ten.proportionalKB / 1024.0;
    state.counters["one_processes"] = one.count;
    state.counters["ten_processes"] = ten.count;
    state.counters["next_banner_MB"] =
        (ten.proportionalKB - one.proportionalKB) / 1024.0 / static_cast<double>(kResidentBanners - 1);
    state.counters["ten_over_one_ratio"] = ten.proportionalKB / one.proportionalKB;
    state.counters["self_rss_MB"] = residentKB("/proc/self") / 1024.0;
  }
}
BENCHMARK(BM_TenBannersResident)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// The console table, and each ratio counter and the per-banner memory kept
// for the summary:
// the median of its repetitions.
class RatioReporter final : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) != 0 ? OO_Defaults : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) {
        continue;
      }
      for (const auto& [counter, value] : run.counters) {
        if (!counter.ends_with("ratio") && counter != "next_banner_MB") {
          continue;
        }
        figures_.record(run, run.run_name.function_name + "/" + counter, value.value);
      }
    }
  }

  void printFigure(const char* name, const char* measured, const char* counter, double goal, const char* unit) {
    const double figure = figures_.median(std::string(measured) + "/" + counter);
    if (figure <= 0) {
      return;
    }
    std::printf("%-58s %6.2f%s (goal at most %.1f%s: %s)\n", name, figure, unit, goal, unit,
                figure <= goal ? "met" : "missed");
  }

  void printRatio(const char* name, const char* measured, const char* counter, double goal) {
    const double ratio = figures_.median(std::string(measured) + "/" + counter);
    if (ratio <= 0) {
      return;
    }
    std::printf("%-58s %6.2fx  (goal at most %.1fx: %s)\n", name, ratio, goal, ratio <= goal ? "met" : "missed");
  }

 private:
  bench::BenchMedians figures_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  reporter.printRatio("container load / bare engine load, in turns", "BM_ContainerLoadInTurns", "ratio", 1.3);
  reporter.printRatio("container reload / bare reload, in turns", "BM_ContainerReloadInTurns", "ratio", 1.3);
  reporter.printRatio("container reload / scripted bare reload, in turns", "BM_ContainerReloadInTurns",
                      "scripted_ratio", 1.3);
  reporter.printFigure("each banner after the first, whole process tree PSS", "BM_TenBannersResident",
                       "next_banner_MB", 8.0, " MB");
  reporter.printFigure("ten banners / one banner, whole process tree PSS", "BM_TenBannersResident",
                       "ten_over_one_ratio", 2.0, "x");
  benchmark::Shutdown();
  return 0;
}
