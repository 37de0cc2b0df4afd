// What one ad load costs, side by side with the bare work it is made of:
//   BM_ClientSideLoad   the request's parameters, its form body, and the
//                       parse of a realistic 10-candidate answer into records
//                       (and each part alone: BM_RequestParameters,
//                       BM_FormBody, BM_ParseIntoRecords)
//   BM_BareJsonParse    nlohmann-json parsing the same answer alone, for
//                       comparison
//   BM_ValueTreeParse   the platform's JSON reader on it (the records' input,
//                       and the client-side cost's reference)
//   BM_LoopbackLoad     a provider's load to the delegate's success against a
//                       loopback server answering with that answer
//   BM_BareCurlPost     a libcurl POST of the same body to the same server
//   BM_BarePostAndParse that POST with its answer read by the platform's JSON
//                       reader, on the calling thread
//   BM_LoopbackLoadInTurns  a loopback load and that bare POST and parse in
//                       turns
//   BM_LoadFloor        the least a load with the library's thread hops must
//                       do: the request built on the main thread by the
//                       provider's own calls, posted with a libcurl easy
//                       handle on one worker thread, and back on the main
//                       loop, in the outcome's own task, the answer parsed
//                       into the ad records by the provider's response
//                       parser, as every load must
//   BM_LoadFloorValueTree  the same floor with the answer only read into the
//                       value tree on the worker, no records: that step's own
//                       figure
//   BM_LoadAgainstFloorInTurns  a loopback load and the floor in turns, each
//                       measured in wall time, process CPU time and context
//                       switches per load
// After the table come the goals, each against its reference from the same
// run (medians when repeated): the loopback load against the floor in CPU
// time, context switches and wall time, taken in turns; and the client-side
// cost against the platform's JSON reader. The loopback load against the
// bare POST and parse follows for comparison, without a goal. CPU time and
// context switches are the whole process's, the in-process loopback
// server's included: it does the same work for the load and the floor.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include "BenchMedians.h"
#include "BenchProcess.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/URLRequest.h"
#include "platform/value/Value.h"
#include "plexora/OVAdSettings.h"
#include "server/OVAdEnvironmentData.h"
#include "server/OVAdLoadThrottle.h"
#include "server/OVAdProvider.h"
#include "server/OVAdProviderResponseParser.h"
#include "server/OVAdURLSession.h"
#include "testserver/TestServer.h"
#include "util/OVAdUtility.h"

namespace {

using namespace plexora;

constexpr int kCandidates = 10;
constexpr const char* kUserAgent = "Mozilla/5.0 (X11; Linux x86_64) Bench/1.0";
constexpr const char* kDeliveryPath = "/network_ads_common/";

// An answer shaped like the ad server's: a full definition with a
// conversion cookie and feature configuration, and ten candidates with
// markup, metadata and trackers of every type.
std::string realisticAnswer() {
  std::string ads;
  for (int i = 0; i < kCandidates; ++i) {
    const std::string n = std::to_string(i);
    if (i > 0) {
      ads += ",";
    }
    ads += R"({"adapter":")" + std::string(i % 3 == 2 ? "ADMOB" : "PX") + R"(","data":{"request_id":"req-)" + n +
           R"(","ct":"ct-0123456789abcdef-)" + n +
           R"(","markup":"<!DOCTYPE html><html><head><meta name=\"viewport\" content=\"width=device-width\"></head>)"
           R"(<body style=\"margin:0\"><a href=\"ovad://open_link?url=https%3A%2F%2Fshop.example%2F)" +
           n + R"(\"><img src=\"https://cdn.example/img/)" + n +
           R"(.jpg\" width=\"320\" height=\"50\"></a></body></html>",)"
           R"("metadata":{"is_tablet":false,"ad_width":320,"ad_height":50,"is_video":false,"orientation":1}},)"
           R"("trackers":[{"type":"request","url":"https://t.example/r?c=)" +
           n + R"("},{"type":"impression","url":"https://t.example/i?c=)" + n +
           R"("},{"type":"impression","url":"https://partner.example/i?c=)" + n +
           R"("},{"type":"click","url":"https://t.example/c?c=)" + n + R"("}]})";
  }
  return R"({"type":"ads","code":0,"message":"","placements":[{"definition":{"type":"banner",)"
         R"("min_viewability_percentage":50,"refresh":30,"refresh_threshold":0,"request_timeout":5000,)"
         R"("client_max_retry_count":2,"cacheable":false,"viewability_check_ticker":2,)"
         R"("viewability_check_initial_delay":500,"viewability_check_interval":250,"placement_width":320,)"
         R"("placement_height":50,"conv_tracking_data":[{"url":"https://conv.example/b","key":"plx_conv",)"
         R"("value":"b1-7f3a","expiration":1893456000}]},"feature_config":{"unified_logging_event_limit":50,)"
         R"("ios_qnv_enabled":true},"ads":[)" +
         ads + "]}]}";
}

const std::string& answer() {
  static const std::string text = realisticAnswer();
  return text;
}

// Settings on defaults of their own, a fixed session and adapter list so no
// shared event manager or registry is made, and no local cookie storage.
void prepareProcess() {
  static const bool prepared = [] {
    bench::useScratchDirectory("ad-load-bench");
    OVAdEnvironmentData::installSessionSource(
        [] { return OVAdSessionFacts{"6F9619FF-8B86-D011-B42D-00C04FC964FF", 12.5}; });
    OVAdEnvironmentData::installAdapterSource([](OVAdPlacementType) { return std::vector<std::string>{"PX"}; });
    OVAdPlacementDefinition::setLocalCookieInstaller([](const OVAdHTTPCookie&) {});
    OVAdConnectionUtility::setForceThrottle(false);
    return true;
  }();
  (void)prepared;
}

std::shared_ptr<OVAdEnvironmentData> bannerEnvironment() {
  return std::make_shared<OVAdEnvironmentData>("123_456", kOVAdPlacementTypeBanner, 4, kOVAdSize320x50);
}

void BM_ClientSideLoad(benchmark::State& state) {
  prepareProcess();
  const auto environment = bannerEnvironment();
  const OVAdProviderResponseParser parser;
  const platform::ByteView data = platform::asBytes(answer());
  std::size_t candidates = 0;
  for (auto _ : state) {
    const std::string body =
        OVAdUtility::createQueryStringFromParameters(platform::Value(environment->adRequestParameters()));
    benchmark::DoNotOptimize(body.data());
    parser.parseResponseFromData(
        data,
        [&](std::shared_ptr<OVAdProviderResponse> response) {
          candidates = static_cast<OVAdProviderResponseAds&>(*response).adPlacement()->adCandidates().size();
        },
        [](const std::string&) { std::abort(); });
    // The conversion cookies each parse queues for the main queue.
    platform::MainLoop::instance().runOnce();
  }
  if (candidates != kCandidates) {
    state.SkipWithError("the answer did not parse into ten candidates");
  }
}
BENCHMARK(BM_ClientSideLoad)->Unit(benchmark::kMicrosecond);

// The three parts of the client-side cost, each alone.
void BM_RequestParameters(benchmark::State& state) {
  prepareProcess();
  const auto environment = bannerEnvironment();
  for (auto _ : state) {
    benchmark::DoNotOptimize(environment->adRequestParameters());
  }
}
BENCHMARK(BM_RequestParameters)->Unit(benchmark::kMicrosecond);

void BM_FormBody(benchmark::State& state) {
  prepareProcess();
  const platform::Value parameters(bannerEnvironment()->adRequestParameters());
  for (auto _ : state) {
    benchmark::DoNotOptimize(OVAdUtility::createQueryStringFromParameters(parameters));
  }
}
BENCHMARK(BM_FormBody)->Unit(benchmark::kMicrosecond);

void BM_ParseIntoRecords(benchmark::State& state) {
  prepareProcess();
  const OVAdProviderResponseParser parser;
  const platform::ByteView data = platform::asBytes(answer());
  for (auto _ : state) {
    parser.parseResponseFromData(
        data, [](std::shared_ptr<OVAdProviderResponse> response) { benchmark::DoNotOptimize(response.get()); },
        [](const std::string&) { std::abort(); });
    // The conversion cookies each parse queues for the main queue.
    platform::MainLoop::instance().runOnce();
  }
}
BENCHMARK(BM_ParseIntoRecords)->Unit(benchmark::kMicrosecond);

void BM_BareJsonParse(benchmark::State& state) {
  for (auto _ : state) {
    nlohmann::json document = nlohmann::json::parse(answer());
    benchmark::DoNotOptimize(document);
  }
}
BENCHMARK(BM_BareJsonParse)->Unit(benchmark::kMicrosecond);

// The platform's JSON reader alone: the value tree the records are read
// from.
void BM_ValueTreeParse(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(platform::parseJSON(answer()));
  }
}
BENCHMARK(BM_ValueTreeParse)->Unit(benchmark::kMicrosecond);

class CountingDelegate final : public OVAdProviderDelegate {
 public:
  void onAdRequestSuccess(const std::shared_ptr<OVAdProviderResponseAds>&) override { ++successes; }
  void onAdRequestError(const platform::Error&) override { ++errors; }
  int successes = 0;
  int errors = 0;
};

// A loopback server answering every load with the realistic answer.
testserver::TestServer& server() {
  static auto* const shared = [] {
    auto* started = new testserver::TestServer();
    started->start();
    testserver::Response response;
    response.body = answer();
    started->on(kDeliveryPath, std::move(response));
    return started;
  }();
  return *shared;
}

// The form body of one load, as the provider posts it.
std::string formBody() {
  return OVAdUtility::createQueryStringFromParameters(platform::Value(bannerEnvironment()->adRequestParameters()));
}

// The delivery endpoint, on the loopback server from now on.
std::string loopbackDeliveryEndpoint() {
  prepareProcess();
  OVAdSettings::setAdServerBaseURL(server().baseURL());
  return OVAdSettings::getDeliveryEndpoint();
}

// A provider posting through a session of its own to the loopback server.
class LoopbackLoader {
 public:
  LoopbackLoader() {
    loopbackDeliveryEndpoint();
    platform::MainLoop::instance().runUntil([&] { return session_->valid(); }, 5.0);
  }

  // One load, until the delegate has heard its outcome; answers whether it
  // was a success.
  bool load() {
    const int before = delegate_->successes + delegate_->errors;
    provider_->loadAdWithEnvironmentData(bannerEnvironment());
    platform::MainLoop::instance().runUntil([&] { return delegate_->successes + delegate_->errors > before; },
                                            10.0);
    return delegate_->successes > before;
  }

 private:
  const std::shared_ptr<OVAdURLSession> session_ =
      OVAdURLSession::create([](auto answer) { answer(std::string(kUserAgent)); });
  const std::shared_ptr<CountingDelegate> delegate_ = std::make_shared<CountingDelegate>();
  const std::shared_ptr<OVAdProvider> provider_ = OVAdProvider::initWithDelegate(delegate_, session_);
};

std::size_t collect(char* bytes, std::size_t size, std::size_t count, void* body) {
  static_cast<std::string*>(body)->append(bytes, size * count);
  return size * count;
}

// The same POST as a load's, made with libcurl alone on one handle that
// keeps its connection. It accepts compressed answers as the library's
// requests do, so the server does the same work for both.
class BarePost {
 public:
  BarePost() : body_(formBody()), url_(server().url(kDeliveryPath)) {
    curl_easy_setopt(curl_, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, headers_);
    curl_easy_setopt(curl_, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(curl_, CURLOPT_POSTFIELDS, body_.c_str());
    curl_easy_setopt(curl_, CURLOPT_POSTFIELDSIZE, static_cast<long>(body_.size()));
    curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &received_);
    curl_easy_setopt(curl_, CURLOPT_ACCEPT_ENCODING, "");
  }
  ~BarePost() {
    curl_slist_free_all(headers_);
    curl_easy_cleanup(curl_);
  }
  BarePost(const BarePost&) = delete;
  BarePost& operator=(const BarePost&) = delete;

  bool post() {
    received_.clear();
    return curl_easy_perform(curl_) == CURLE_OK;
  }
  // Posts and reads the answer with the platform's JSON reader.
  bool postAndParse() { return post() && platform::parseJSON(received_).has_value(); }

 private:
  const std::string body_;
  const std::string url_;
  std::string received_;
  CURL* const curl_ = curl_easy_init();
  curl_slist* const headers_ = curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded");
};

void BM_LoopbackLoad(benchmark::State& state) {
  LoopbackLoader loader;
  for (auto _ : state) {
    if (!loader.load()) {
      state.SkipWithError("a load failed");
      break;
    }
  }
  server().clearRequests();
}
BENCHMARK(BM_LoopbackLoad)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_BareCurlPost(benchmark::State& state) {
  prepareProcess();
  BarePost bare;
  for (auto _ : state) {
    if (!bare.post()) {
      state.SkipWithError("the POST failed");
      break;
    }
  }
  server().clearRequests();
}
BENCHMARK(BM_BareCurlPost)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_BarePostAndParse(benchmark::State& state) {
  prepareProcess();
  BarePost bare;
  for (auto _ : state) {
    if (!bare.postAndParse()) {
      state.SkipWithError("the POST failed");
      break;
    }
  }
  server().clearRequests();
}
BENCHMARK(BM_BarePostAndParse)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A loopback load and its reference taken in turns, so that both meet the
// same machine: a busy one slows thread hand-offs far more than a single
// thread's work, and separate runs seconds apart meet different loads. The
// time shown is the load's; "reference_us" the bare POST and parse's.
void BM_LoopbackLoadInTurns(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  LoopbackLoader loader;
  BarePost bare;
  std::chrono::duration<double> loads{0};
  std::chrono::duration<double> references{0};
  for (auto _ : state) {
    const auto start = Clock::now();
    const bool loaded = loader.load();
    const auto loadEnd = Clock::now();
    const bool posted = bare.postAndParse();
    const auto end = Clock::now();
    if (!loaded || !posted) {
      state.SkipWithError("a load or the POST failed");
      break;
    }
    loads += loadEnd - start;
    references += end - loadEnd;
    state.SetIterationTime(std::chrono::duration<double>(loadEnd - start).count());
  }
  if (state.iterations() > 0 && references.count() > 0) {
    state.counters["reference_us"] = references.count() * 1e6 / static_cast<double>(state.iterations());
    state.counters["ratio"] = loads.count() / references.count();
  }
  server().clearRequests();
}
BENCHMARK(BM_LoopbackLoadInTurns)->Unit(benchmark::kMicrosecond)->UseManualTime();

// What the floor makes of the answer.
enum class FloorWork {
  // The response parser's ad records, on the main loop with the outcome.
  Records,
  // The platform's JSON reader's value tree alone, on the worker.
  ValueTree,
};

// The floor: a load with no more than the hops a load cannot do without.
// The main loop builds the request with the provider's own calls and hands
// it to one worker thread, which posts it with a libcurl easy handle that
// keeps its connection and posts the outcome back to the main loop, the
// answer made into records there or read into a value tree before.
class LoadFloor {
 public:
  explicit LoadFloor(FloorWork work = FloorWork::Records) : work_(work) {
    loopbackDeliveryEndpoint();
    curl_easy_setopt(curl_, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &received_);
    curl_easy_setopt(curl_, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
    worker_ = std::thread([this] { run(); });
  }
  ~LoadFloor() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_one();
    worker_.join();
    curl_slist_free_all(headers_);
    curl_easy_cleanup(curl_);
  }
  LoadFloor(const LoadFloor&) = delete;
  LoadFloor& operator=(const LoadFloor&) = delete;

  // One load, until the main loop has its outcome; answers whether the
  // answer was read. Main thread.
  bool load() {
    const int before = outcomes_;
    platform::URLRequest request = OVAdURLSession::urlRequestWithURL(
        OVAdSettings::getDeliveryEndpoint(), "POST", platform::Value(bannerEnvironment()->adRequestParameters()));
    {
      std::lock_guard lock(mutex_);
      request_ = std::move(request);
    }
    wake_.notify_one();
    platform::MainLoop::instance().runUntil([&] { return outcomes_ > before; }, 10.0);
    return outcomes_ > before && succeeded_;
  }

 private:
  void run() {
    for (;;) {
      platform::URLRequest request;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return stopping_ || request_.has_value(); });
        if (stopping_) {
          return;
        }
        request = std::move(*request_);
        request_.reset();
      }
      const bool posted = post(request);
      if (work_ == FloorWork::ValueTree) {
        const bool read = posted && platform::parseJSON(received_).has_value();
        platform::DispatchQueue::main()->async([this, read] {
          succeeded_ = read;
          ++outcomes_;
        });
        continue;
      }
      platform::DispatchQueue::main()->async([this, posted, answer = std::move(received_)] {
        succeeded_ = false;
        if (posted) {
          parser_.parseResponseFromData(
              platform::asBytes(answer), [this](const std::shared_ptr<OVAdProviderResponse>&) { succeeded_ = true; },
              [](const std::string&) {});
        }
        ++outcomes_;
      });
    }
  }

  // Worker thread.
  bool post(const platform::URLRequest& request) {
    curl_slist_free_all(headers_);
    headers_ = nullptr;
    for (const auto& [name, value] : request.headers) {
      headers_ = curl_slist_append(headers_, (name + ": " + value).c_str());
    }
    curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, headers_);
    curl_easy_setopt(curl_, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(curl_, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.httpBody.size()));
    curl_easy_setopt(curl_, CURLOPT_POSTFIELDS, reinterpret_cast<const char*>(request.httpBody.data()));
    received_.clear();
    long status = 0;
    return curl_easy_perform(curl_) == CURLE_OK &&
           curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status == 200;
  }

  const FloorWork work_;

  // Worker thread only, but for the set-up and clean-up around it.
  CURL* const curl_ = curl_easy_init();
  curl_slist* headers_ = nullptr;
  std::string received_;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::optional<platform::URLRequest> request_;
  bool stopping_ = false;

  // Main thread only.
  const OVAdProviderResponseParser parser_;
  int outcomes_ = 0;
  bool succeeded_ = false;

  std::thread worker_;
};

void BM_LoadFloor(benchmark::State& state) {
  LoadFloor floor;
  for (auto _ : state) {
    if (!floor.load()) {
      state.SkipWithError("a floor load failed");
      break;
    }
  }
  server().clearRequests();
}
BENCHMARK(BM_LoadFloor)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_LoadFloorValueTree(benchmark::State& state) {
  LoadFloor floor(FloorWork::ValueTree);
  for (auto _ : state) {
    if (!floor.load()) {
      state.SkipWithError("a floor load failed");
      break;
    }
  }
  server().clearRequests();
}
BENCHMARK(BM_LoadFloorValueTree)->Unit(benchmark::kMicrosecond)->UseRealTime();

// What the whole process has spent so far.
struct ProcessCost {
  std::chrono::steady_clock::time_point wall;
  double cpuSeconds = 0;
  long contextSwitches = 0;

  static ProcessCost now() {
    ProcessCost cost;
    timespec cpu{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    cost.cpuSeconds = static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) * 1e-9;
    cost.contextSwitches = usage.ru_nvcsw + usage.ru_nivcsw;
    cost.wall = std::chrono::steady_clock::now();
    return cost;
  }
};

// The sums of many loads' costs.
struct CostSums {
  double wallSeconds = 0;
  double cpuSeconds = 0;
  double contextSwitches = 0;

  void add(const ProcessCost& start, const ProcessCost& end) {
    wallSeconds += std::chrono::duration<double>(end.wall - start.wall).count();
    cpuSeconds += end.cpuSeconds - start.cpuSeconds;
    contextSwitches += static_cast<double>(end.contextSwitches - start.contextSwitches);
  }
};

// A loopback load and the floor in turns, so that both meet the same
// machine; which goes first alternates, so neither always follows the
// other's work. The time shown is the load's; the counters hold both sides'
// costs per load: the floor's wall time, each side's CPU time and context
// switches ("cs").
void BM_LoadAgainstFloorInTurns(benchmark::State& state) {
  LoopbackLoader loader;
  LoadFloor floor;
  CostSums loads;
  CostSums floors;
  bool loadFirst = true;
  for (auto _ : state) {
    const auto timed = [](CostSums& sums, auto&& work) {
      const ProcessCost start = ProcessCost::now();
      const bool done = work();
      sums.add(start, ProcessCost::now());
      return done;
    };
    const double loadWallBefore = loads.wallSeconds;
    bool done = true;
    if (loadFirst) {
      done = timed(loads, [&] { return loader.load(); }) && timed(floors, [&] { return floor.load(); });
    } else {
      done = timed(floors, [&] { return floor.load(); }) && timed(loads, [&] { return loader.load(); });
    }
    loadFirst = !loadFirst;
    if (!done) {
      state.SkipWithError("a load or a floor load failed");
      break;
    }
    state.SetIterationTime(loads.wallSeconds - loadWallBefore);
  }
  const auto iterations = static_cast<double>(state.iterations());
  if (iterations > 0 && floors.wallSeconds > 0 && floors.cpuSeconds > 0) {
    state.counters["floor_us"] = floors.wallSeconds * 1e6 / iterations;
    state.counters["cpu_us"] = loads.cpuSeconds * 1e6 / iterations;
    state.counters["floor_cpu_us"] = floors.cpuSeconds * 1e6 / iterations;
    state.counters["cs"] = loads.contextSwitches / iterations;
    state.counters["floor_cs"] = floors.contextSwitches / iterations;
  }
  server().clearRequests();
}
BENCHMARK(BM_LoadAgainstFloorInTurns)->Unit(benchmark::kMicrosecond)->UseManualTime();

// The console table, and each benchmark's figure kept for the ratios: the
// median of its repetitions.
class RatioReporter final : public benchmark::ConsoleReporter {
 public:
  // Colours only for a terminal: the figures are often kept in files.
  RatioReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) != 0 ? OO_Defaults : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) {
        continue;
      }
      // A benchmark's wall time per iteration, and each of its counters
      // under "<benchmark>.<counter>".
      figures_.record(run, run.run_name.function_name, run.GetAdjustedRealTime());
      for (const auto& [counter, value] : run.counters) {
        figures_.record(run, run.run_name.function_name + "." + counter, value.value);
      }
    }
  }

  // The ratio of two figures, against a goal when there is one.
  void printRatio(const char* name, const std::string& measured, const std::string& reference,
                  std::optional<double> goal = std::nullopt) {
    const auto ours = figures_.median(measured);
    const auto base = figures_.median(reference);
    if (ours <= 0 || base <= 0) {
      return;
    }
    const double ratio = ours / base;
    std::printf("%-54s %6.2fx  (%.1f / %.1f", name, ratio, ours, base);
    if (goal) {
      std::printf(", goal at most %.2fx: %s", *goal, ratio <= *goal ? "met" : "missed");
    }
    std::printf(")\n");
  }

  // How much a figure exceeds its reference, against a goal.
  void printExcess(const char* name, const std::string& measured, const std::string& reference, double goal) {
    const auto ours = figures_.median(measured);
    const auto base = figures_.median(reference);
    if (base <= 0) {
      return;
    }
    const double excess = ours - base;
    std::printf("%-54s %+6.2f   (%.2f / %.2f, goal at most %+.2f: %s)\n", name, excess, ours, base, goal,
                excess <= goal ? "met" : "missed");
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
  const std::string inTurns = "BM_LoadAgainstFloorInTurns";
  reporter.printRatio("loopback load / floor, CPU time, in turns", inTurns + ".cpu_us", inTurns + ".floor_cpu_us",
                      1.15);
  reporter.printExcess("loopback load - floor, context switches, in turns", inTurns + ".cs", inTurns + ".floor_cs",
                       1.0);
  reporter.printRatio("loopback load / floor, wall time, in turns", inTurns, inTurns + ".floor_us", 1.2);
  reporter.printRatio("loopback load / floor, wall time", "BM_LoopbackLoad", "BM_LoadFloor");
  reporter.printRatio("loopback load / value-tree floor, wall time", "BM_LoopbackLoad", "BM_LoadFloorValueTree");
  reporter.printRatio("loopback load / bare POST and parse", "BM_LoopbackLoad", "BM_BarePostAndParse");
  reporter.printRatio("loopback load / bare POST and parse, in turns", "BM_LoopbackLoadInTurns",
                      "BM_LoopbackLoadInTurns.reference_us");
  reporter.printRatio("client-side load / platform JSON reader", "BM_ClientSideLoad", "BM_ValueTreeParse", 2.0);
  benchmark::Shutdown();
  return 0;
}
