// A native ad's world for tests: the loopback world of the ad units, caches
// in a directory of their own, the fixture's media served as real images
// (or faults a test scripts), answers of native candidates, and host
// delegates that record what reaches them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "controllers/DisplayAdTestWorld.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/Image.h"
#include "plexora/OVNativeAd.h"
#include "plexora/OVNativeAdsManager.h"
#include "support/TempDir.h"

namespace plexora::testing {

inline constexpr const char* kNativeFixturePlacement = "native";

// The images the native fixture names, below "media/".
inline const std::vector<std::string>& nativeFixtureImages() {
  static const std::vector<std::string> images = {"native-icon.png",  "native-cover.jpg", "carousel-1.jpg",
                                                  "carousel-2.jpg",   "native-cover-2.jpg", "native-icon-2.png",
                                                  "ad-choices.png"};
  return images;
}

// A PNG of the size, all one colour.
inline std::string pngBody(std::uint32_t width, std::uint32_t height) {
  const auto image = platform::Image::create(width, height, 1.0, platform::Color{0.9, 0.4, 0.1, 1.0});
  const platform::Bytes bytes = image->encodePNG();
  return std::string(bytes.begin(), bytes.end());
}

// The data of a valid native candidate whose cover and icon are
// "media/<name>-cover.png" and "media/<name>-icon.png" of the server.
inline std::string nativeAdData(const std::string& name) {
  return R"({"ct":"ct-)" + name + R"(","title":"Title )" + name + R"(","call_to_action":"Open",)" +
         R"("image":{"url":"{{BASE_URL}}media/)" + name + R"(-cover.png"},)" +
         R"("icon":{"url":"{{BASE_URL}}media/)" + name + R"(-icon.png"},"ovad_command":"ovad://close"})";
}

class RecordingNativeAdDelegate final : public OVNativeAdDelegate {
 public:
  void nativeAdDidLoad(const std::shared_ptr<OVNativeAd>&) override { messages.push_back("loaded"); }
  void nativeAdWillLogImpression(const std::shared_ptr<OVNativeAd>&) override { messages.push_back("impression"); }
  void nativeAd(const std::shared_ptr<OVNativeAd>&, const platform::Error& error) override {
    messages.push_back("error");
    errors.push_back(error);
  }
  void nativeAdDidClick(const std::shared_ptr<OVNativeAd>&) override { messages.push_back("click"); }
  void nativeAdDidFinishHandlingClick(const std::shared_ptr<OVNativeAd>&) override { messages.push_back("finished"); }

  std::size_t count(const std::string& message) const {
    return static_cast<std::size_t>(std::count(messages.begin(), messages.end(), message));
  }
  // Whether the load came to an end either way.
  bool settled() const { return count("loaded") + count("error") > 0; }

  std::vector<std::string> messages;
  std::vector<platform::Error> errors;
};

class RecordingNativeAdsManagerDelegate final : public OVNativeAdsManagerDelegate {
 public:
  void nativeAdsLoaded() override { messages.push_back("loaded"); }
  void nativeAdsFailedToLoadWithError(const platform::Error& error) override {
    messages.push_back("error");
    errors.push_back(error);
  }

  std::vector<std::string> messages;
  std::vector<platform::Error> errors;
};

class NativeAdTest : public ::testing::Test {
 protected:
  NativeAdTest() {
    platform::setCachesDirectory(caches_.path().string());
    for (const std::string& image : nativeFixtureImages()) serve(image, pngBody(8, 6));
  }
  ~NativeAdTest() override {
    DisplayAdTestWorld::settle();
    platform::setCachesDirectory("");
  }

  // The server's answer for "media/<name>" from now on, typed as an image
  // (which the server sends as it is rather than compressed).
  void serve(const std::string& name, std::string body, int status = 200) {
    testserver::Response response = testserver::Response::text(status, std::move(body));
    response.headers = {{"Content-Type", "image/png"}};
    world_.server().server().on("/media/" + name, std::move(response));
  }
  // The requests the server received for "media/<name>".
  std::size_t mediaRequests(const std::string& name) const {
    const auto requests = world_.server().requests();
    return static_cast<std::size_t>(std::count_if(requests.begin(), requests.end(), [&](const auto& request) {
      return request.path == "/media/" + name;
    }));
  }
  // Serves the images of nativeAdData(name).
  void serveImagesOf(const std::string& name) {
    serve(name + "-cover.png", pngBody(12, 6));
    serve(name + "-icon.png", pngBody(4, 4));
  }
  void answer(const std::string& placement, const std::vector<std::string>& adData,
              const std::string& definition = R"("type":"native")") {
    std::vector<CandidateSpec> candidates;
    for (const std::string& data : adData) candidates.emplace_back("PX", data);
    world_.server().setAnswer(placement, DisplayAdTestWorld::answer(candidates, definition));
  }

  std::shared_ptr<OVNativeAd> loadedAd(const std::string& placement, OVNativeAdMediaCachePolicy policy) {
    auto ad = OVNativeAd::initWithPlacementID(placement);
    ad->setDelegate(delegate_);
    ad->setMediaCachePolicy(policy);
    ad->loadAd();
    EXPECT_TRUE(DisplayAdTestWorld::waitFor([&] { return delegate_->settled(); }));
    DisplayAdTestWorld::settle();
    return ad;
  }

  DisplayAdTestWorld world_;
  TempDir caches_;
  std::shared_ptr<RecordingNativeAdDelegate> delegate_ = std::make_shared<RecordingNativeAdDelegate>();
};

}  // namespace plexora::testing
