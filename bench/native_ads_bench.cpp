// What loading a set of native ads costs, side by side with the bare work it
// is made of:
//   BM_NativeAdsManagerLoad  a native ads manager loading 10 ads from one
//                            loopback answer, waiting for their icons and
//                            cover images (20 images through the resource
//                            cache), until its delegate hears the set
//   BM_BareImageDownloads    a libcurl multi download of 20 images of the
//                            same sizes from the same server, each decoded
//   BM_ResourceCacheImages   the same 20 images through the resource cache
//                            alone, the part of the manager's load that
//                            waits for its media
// Every iteration names new image URLs, so nothing comes from the caches.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchProcess.h"
#include "dto/OVAdPlacementDefinition.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Image.h"
#include "plexora/OVAdSettings.h"
#include "plexora/OVNativeAdsManager.h"
#include "server/OVAdEnvironmentData.h"
#include "server/OVAdLoadThrottle.h"
#include "server/OVAdURLSession.h"
#include "testserver/TestServer.h"
#include "util/OVAdUtility.h"

namespace {

using namespace plexora;

constexpr int kAds = 10;
constexpr const char* kDeliveryPath = "/network_ads_common/";
constexpr const char* kMediaPath = "/media/";
constexpr double kWaitSeconds = 20.0;

std::atomic<int> generation{0};

std::string bytesOf(const platform::Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// A 128 x 128 PNG icon and a 1200 x 628 JPEG cover with some detail.
const std::string& iconBytes() {
  static const std::string icon = bytesOf(platform::Image::create(128, 128, 1.0, {0.2, 0.5, 0.9, 1.0})->encodePNG());
  return icon;
}
const std::string& coverBytes() {
  static const std::string cover = [] {
    auto image = platform::Image::create(1200, 628, 1.0, platform::Color::white());
    for (std::uint32_t y = 0; y < 628; ++y) {
      for (std::uint32_t x = 0; x < 1200; ++x) {
        image->setPixel(x, y, {static_cast<std::uint8_t>(x % 256), static_cast<std::uint8_t>(y % 256), 90, 255});
      }
    }
    return bytesOf(image->encodeJPEG(0.8));
  }();
  return cover;
}

std::string imageURL(const std::string& base, int set, int ad, bool icon) {
  return base + "media/" + std::to_string(set) + "-" + std::to_string(ad) + (icon ? "-icon.png" : "-cover.jpg");
}

// Ten native candidates whose images are new to this answer.
std::string answer(const std::string& base) {
  const int set = ++generation;
  std::string ads;
  for (int ad = 0; ad < kAds; ++ad) {
    if (ad > 0) ads += ",";
    const std::string n = std::to_string(ad);
    ads += R"({"adapter":"PX","data":{"request_id":"req-)" + n + R"(","ct":"ct-native-)" + n +
           R"(","title":"Native ad )" + n + R"(","call_to_action":"Install","body":"A body of the usual length.",)" +
           R"("icon":{"url":")" + imageURL(base, set, ad, true) + R"(","width":128,"height":128},)" +
           R"("image":{"url":")" + imageURL(base, set, ad, false) + R"(","width":1200,"height":628},)" +
           R"("ovad_command":"ovad://close"},"trackers":[]})";
  }
  return R"({"type":"ads","code":0,"message":"","placements":[{"definition":{"type":"native"},"ads":[)" + ads +
         "]}]}";
}

testserver::TestServer& server() {
  static auto* const shared = [] {
    auto* started = new testserver::TestServer();
    started->start();
    const std::string base = started->baseURL();
    started->on(kDeliveryPath, [base](const testserver::RecordedRequest&) {
      testserver::Response response = testserver::Response::text(200, answer(base));
      // A type the server does not compress: it compresses text with
      // brotli at the highest quality, about 12 ms of its own time for
      // this answer that the library's side has no part in.
      response.headers = {{"Content-Type", "application/octet-stream"}};
      return response;
    });
    started->on(
        kMediaPath,
        [](const testserver::RecordedRequest& request) {
          const bool icon = request.path.ends_with(".png");
          testserver::Response response = testserver::Response::text(200, icon ? iconBytes() : coverBytes());
          // Typed as images, as an image host serves them: the server then
          // sends them as they are instead of compressing them again for a
          // client that accepts compressed answers.
          response.headers = {{"Content-Type", icon ? "image/png" : "image/jpeg"}};
          return response;
        },
        testserver::Match::Prefix);
    return started;
  }();
  return *shared;
}

// Settings, caches and user defaults in a directory of their own, the
// shared URL session working, loads never throttled.
void prepareProcess() {
  static const bool prepared = [] {
    bench::useScratchDirectory("native-ads-bench");
    OVAdEnvironmentData::installSessionSource(
        [] { return OVAdSessionFacts{"6F9619FF-8B86-D011-B42D-00C04FC964FF", 12.5}; });
    OVAdPlacementDefinition::setLocalCookieInstaller([](const OVAdHTTPCookie&) {});
    OVAdConnectionUtility::setForceThrottle(false);
    OVAdSettings::setAdServerBaseURL(server().baseURL());
    bool answered = false;
    OVAdUtility::currentUserAgentWithBlock([&](const std::optional<std::string>&) { answered = true; });
    platform::MainLoop::instance().runUntil([&] { return answered; }, kWaitSeconds);
    const auto session = OVAdURLSession::sharedSession();
    platform::MainLoop::instance().runUntil([&] { return session->valid(); }, kWaitSeconds);
    return true;
  }();
  (void)prepared;
}

class CountingDelegate final : public OVNativeAdsManagerDelegate {
 public:
  void nativeAdsLoaded() override { ++loaded; }
  void nativeAdsFailedToLoadWithError(const platform::Error&) override { ++failed; }
  int loaded = 0;
  int failed = 0;
};

void BM_NativeAdsManagerLoad(benchmark::State& state) {
  prepareProcess();
  const auto delegate = std::make_shared<CountingDelegate>();
  std::size_t delivered = 0;
  for (auto _ : state) {
    // A manager of its own each time: the load throttle keys on the
    // placement, so each iteration names another.
    const auto manager =
        OVNativeAdsManager::initWithPlacementID("bench-" + std::to_string(generation.load()), kAds);
    manager->setDelegate(delegate);
    manager->setMediaCachePolicy(kOVNativeAdMediaCachePolicyIcon | kOVNativeAdMediaCachePolicyImage);
    manager->disableAutoRefresh();
    const int before = delegate->loaded + delegate->failed;
    manager->loadAds();
    platform::MainLoop::instance().runUntil([&] { return delegate->loaded + delegate->failed > before; },
                                            kWaitSeconds);
    delivered += manager->uniqueNativeAdCount();
  }
  if (delegate->failed > 0 || delivered != static_cast<std::size_t>(state.iterations()) * kAds) {
    state.SkipWithError("a set did not load whole");
  }
  server().clearRequests();
}
BENCHMARK(BM_NativeAdsManagerLoad)->Unit(benchmark::kMillisecond)->UseRealTime();

std::size_t collect(char* data, std::size_t size, std::size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

void BM_BareImageDownloads(benchmark::State& state) {
  prepareProcess();
  const std::string base = server().baseURL();
  CURLM* multi = curl_multi_init();
  for (auto _ : state) {
    const int set = ++generation;
    std::vector<CURL*> handles;
    std::vector<std::string> bodies(2 * kAds);
    for (int index = 0; index < 2 * kAds; ++index) {
      CURL* easy = curl_easy_init();
      const std::string url = imageURL(base, set, index / 2, index % 2 == 0);
      curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
      curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, collect);
      curl_easy_setopt(easy, CURLOPT_WRITEDATA, &bodies[static_cast<std::size_t>(index)]);
      curl_multi_add_handle(multi, easy);
      handles.push_back(easy);
    }
    int running = 0;
    do {
      curl_multi_perform(multi, &running);
      if (running > 0) curl_multi_poll(multi, nullptr, 0, 100, nullptr);
    } while (running > 0);
    for (CURL* easy : handles) {
      curl_multi_remove_handle(multi, easy);
      curl_easy_cleanup(easy);
    }
    for (const std::string& body : bodies) {
      const auto image = platform::Image::decode(
          platform::ByteView(reinterpret_cast<const std::uint8_t*>(body.data()), body.size()));
      if (!image) state.SkipWithError("an image did not decode");
    }
  }
  curl_multi_cleanup(multi);
  server().clearRequests();
}
BENCHMARK(BM_BareImageDownloads)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ResourceCacheImages(benchmark::State& state) {
  prepareProcess();
  const std::string base = server().baseURL();
  for (auto _ : state) {
    const int set = ++generation;
    std::vector<platform::URL> urls;
    for (int index = 0; index < 2 * kAds; ++index) {
      urls.push_back(*platform::URL::parse(imageURL(base, set, index / 2, index % 2 == 0)));
    }
    bool done = false;
    OVAdUtility::loadRemoteImagesWithURLs(urls, [&](const OVAdUtility::ImagesByURL&) { done = true; }, true);
    platform::MainLoop::instance().runUntil([&] { return done; }, kWaitSeconds);
  }
  server().clearRequests();
}
BENCHMARK(BM_ResourceCacheImages)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
BENCHMARK_MAIN();
