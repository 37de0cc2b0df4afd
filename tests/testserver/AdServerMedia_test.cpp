// The images the fixtures name, served by the ad server itself at the sizes
// the fixtures give, and a native ad of the bundled fixture that waits for
// its images (before they were served it failed with "No fill").
#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "AdServerTestSupport.h"
#include "NativeAdTestSupport.h"
#include "platform/ui/Image.h"
#include "plexora/OVAdImage.h"

namespace plexora::testing {
namespace {

constexpr std::string_view kMediaURLStart = "{{BASE_URL}}media/";

struct NamedImage {
  std::string name;
  std::uint32_t width;
  std::uint32_t height;
};

void collectImages(const nlohmann::json& node, std::vector<NamedImage>& images) {
  if (node.is_object() && node.contains("url") && node["url"].is_string()) {
    const std::string url = node["url"];
    const bool image = url.ends_with(".png") || url.ends_with(".jpg");
    if (url.starts_with(kMediaURLStart) && image && node.contains("width") && node.contains("height")) {
      images.push_back({url.substr(kMediaURLStart.size()), node["width"], node["height"]});
    }
  }
  if (node.is_structured()) {
    for (const auto& child : node) collectImages(child, images);
  }
}

TEST_F(AdServerTest, EveryImageAFixtureNamesIsServedInItsTypeAtItsSize) {
  std::vector<NamedImage> images;
  for (const std::string& name : server_.fixtures().names()) {
    collectImages(nlohmann::json::parse(server_.fixtures().read(name).value_or("null")), images);
  }
  ASSERT_GE(images.size(), nativeFixtureImages().size());
  for (const NamedImage& expected : images) {
    SCOPED_TRACE(expected.name);
    const Reply reply = get(server_.baseURL() + "media/" + expected.name);
    ASSERT_EQ(reply.status, 200);
    const bool png = expected.name.ends_with(".png");
    EXPECT_EQ(reply.body.substr(0, png ? 4 : 2), png ? "\x89PNG" : "\xFF\xD8");
    const auto image = platform::Image::decode(platform::asBytes(reply.body));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixelWidth(), expected.width);
    EXPECT_EQ(image->pixelHeight(), expected.height);
  }
}

TEST_F(AdServerTest, MediaNoFixtureNamesAsAnImageIsNotFound) {
  for (const char* name : {"native-video.mp4", "unknown.png", "native-icon", "..%2Fnative.json", ".png"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(get(server_.baseURL() + "media/" + name).status, 404);
  }
}

class AdServerNativeMediaTest : public ::testing::Test {
 protected:
  AdServerNativeMediaTest() { platform::setCachesDirectory(caches_.path().string()); }
  ~AdServerNativeMediaTest() override {
    DisplayAdTestWorld::settle();
    platform::setCachesDirectory("");
  }

  DisplayAdTestWorld world_;
  TempDir caches_;
};

TEST_F(AdServerNativeMediaTest, TheNativeFixtureLoadsWithTheImagesItsCachePolicyAwaits) {
  const auto delegate = std::make_shared<RecordingNativeAdDelegate>();
  const auto ad = OVNativeAd::initWithPlacementID(std::string(kNativeFixturePlacement));
  ad->setDelegate(delegate);
  ad->setMediaCachePolicy(kOVNativeAdMediaCachePolicyIcon | kOVNativeAdMediaCachePolicyImage);
  ad->loadAd();
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return delegate->settled(); }));
  ASSERT_EQ(delegate->messages, std::vector<std::string>{"loaded"})
      << (delegate->errors.empty() ? "" : delegate->errors.front().localizedDescription());
  bool iconArrived = false;
  ad->icon()->loadImageAsyncWithBlock([&](const std::shared_ptr<platform::Image>& icon) {
    iconArrived = icon != nullptr && icon->pixelWidth() == 128;
  });
  EXPECT_TRUE(DisplayAdTestWorld::waitFor([&] { return iconArrived; }));
}

}  // namespace
}  // namespace plexora::testing
