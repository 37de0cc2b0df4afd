// The images the fixtures name, served by the ad server itself at the sizes
// the fixtures give (beside the URL, or in a page's image tag), the videos
// the build makes for them, and a native ad of the bundled fixture that
// waits for its images (before they were served it failed with "No fill").
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "AdServerTestSupport.h"
#include "NativeAdTestSupport.h"
#include "platform/ui/Image.h"
#include "support/TempDir.h"
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

// An image only a page's markup names (the interstitial's picture) comes
// at the size its tag gives, and one whose tag gives none at the default.
TEST_F(AdServerTest, AnImageOfAPagesMarkupIsServedAtItsTagsSize) {
  struct Case {
    const char* markup;
    std::uint32_t width;
    std::uint32_t height;
  };
  const Case cases[] = {
      {R"(<a href=\"ovad://close\">x</a><img src=\"{{BASE_URL}}media/page.jpg\" width=\"320\" height=\"480\" style=\"width:100%\">)",
       320, 480},
      {R"(<img style=\"width:100%\" src=\"{{BASE_URL}}media/page.jpg\">)", 64, 64},
  };
  for (const auto& [markup, width, height] : cases) {
    SCOPED_TRACE(markup);
    TempDir fixtures;
    std::ofstream(fixtures.path() / "page.json") << R"({"markup": ")" << markup << R"("})";
    testserver::AdServer server(fixtures.path());
    server.start();
    const Reply reply = get(server.baseURL() + "media/page.jpg");
    ASSERT_EQ(reply.status, 200);
    const auto image = platform::Image::decode(platform::asBytes(reply.body));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixelWidth(), width);
    EXPECT_EQ(image->pixelHeight(), height);
  }
  const Reply portrait = get(server_.baseURL() + "media/interstitial-portrait.jpg");
  EXPECT_EQ(portrait.status, 200) << "the bundled interstitial's picture";
}

// Every video a fixture names is made by the build, and a server given the
// directory serves it whole and in byte ranges, as a video host does.
TEST_F(AdServerTest, EveryVideoAFixtureNamesIsMadeAndServedFromTheMediaDirectory) {
  const std::regex video(R"(\{\{BASE_URL\}\}media/([A-Za-z0-9_.-]+\.mp4))");
  std::set<std::string> names;
  for (const std::string& fixture : server_.fixtures().names()) {
    const std::string text = server_.fixtures().read(fixture).value_or("");
    for (auto found = std::sregex_iterator(text.begin(), text.end(), video); found != std::sregex_iterator(); ++found) {
      names.insert((*found)[1]);
    }
  }
  ASSERT_TRUE(names.contains("rewarded-15s.mp4"));
  testserver::AdServer server;
  server.setMediaDirectory(PLEXORA_AD_SERVER_MEDIA_DIR);
  server.start();
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(std::filesystem::exists(std::filesystem::path(PLEXORA_AD_SERVER_MEDIA_DIR) / name));
    const Reply whole = get(server.baseURL() + "media/" + name);
    ASSERT_EQ(whole.status, 200);
    ASSERT_GT(whole.body.size(), 8u);
    EXPECT_EQ(whole.body.substr(4, 4), "ftyp") << "an MP4 file";
    platform::URLRequest request(server.baseURL() + "media/" + name);
    request.setValue("bytes=0-99", "Range");
    const Reply range = send(request);
    EXPECT_EQ(range.status, 206);
    EXPECT_EQ(range.body, whole.body.substr(0, 100));
  }
  EXPECT_EQ(get(server_.baseURL() + "media/rewarded-15s.mp4").status, 404) << "no directory, no videos";
  EXPECT_EQ(get(server.baseURL() + "media/..%2Frewarded-15s.mp4").status, 404);
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
