#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ranges>
#include <vector>

#include "platform/ui/Blur.h"
#include "platform/ui/Image.h"
#include "platform/ui/UITest.h"
#include "util/cache/OVAdCache.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

using platform::Image;

platform::URL url(const char* text) { return *platform::URL::parse(text); }

// A picture with sharp stripes, so blurs of different radii differ.
std::shared_ptr<Image> stripes(std::uint32_t pixelWidth, std::uint32_t pixelHeight, double scale) {
  auto image = Image::create(pixelWidth, pixelHeight, scale, platform::Color::white());
  for (std::uint32_t x = 0; x < pixelWidth; x += 8) {
    for (std::uint32_t y = 0; y < pixelHeight; ++y) image->setPixel(x, y, {0, 0, 0, 255});
  }
  return image;
}

bool samePixels(const Image& a, const Image& b) {
  return a.pixelWidth() == b.pixelWidth() && a.pixelHeight() == b.pixelHeight() &&
         std::ranges::equal(a.rgba(), b.rgba());
}

class OVAdUtilityImagesTest : public platform::testing::UITest {
 protected:
  std::shared_ptr<OVAdCache> cache_ = OVAdCache::sharedCache();
};

TEST_F(OVAdUtilityImagesTest, TheBlurRadiusIsTheWidthInPointsOverThirty) {
  const auto image = stripes(300, 2, 1.0);
  const auto blurred = OVAdUtility::addGaussianBlurToImage(image);
  ASSERT_NE(blurred, nullptr);
  EXPECT_TRUE(samePixels(*blurred, *platform::gaussianBlur(*image, 10.0)));
  EXPECT_FALSE(samePixels(*blurred, *platform::gaussianBlur(*image, 5.0)));

  const auto retina = stripes(300, 2, 2.0);
  EXPECT_TRUE(samePixels(*OVAdUtility::addGaussianBlurToImage(retina), *platform::gaussianBlur(*retina, 5.0)))
      << "150 points wide";
  EXPECT_EQ(OVAdUtility::addGaussianBlurToImage(nullptr), nullptr);
  EXPECT_EQ(OVAdUtility::blurImage(nullptr, 3.0), nullptr);
}

TEST_F(OVAdUtilityImagesTest, SeveralBlursComeFromTheCacheOrAreMadeAndStored) {
  const auto cachedURL = url("https://images.test/blur/cached.png");
  const auto freshURL = url("https://images.test/blur/fresh.png");
  const auto cachedBlur = Image::create(1, 1, 1.0, platform::Color::black());
  cache_->setBlurredImage(cachedBlur, cachedURL);
  cache_->setBlurredImage(nullptr, freshURL);
  const auto fresh = stripes(60, 2, 1.0);

  std::optional<OVAdUtility::ImagesByURL> result;
  OVAdUtility::addGaussianBlurToImages(
      {{cachedURL.absoluteString(), stripes(60, 2, 1.0)}, {freshURL.absoluteString(), fresh}},
      [&](const OVAdUtility::ImagesByURL& images) { result = images; });
  EXPECT_FALSE(result.has_value()) << "answered on the main queue, not inline";
  runMainQueue();

  ASSERT_TRUE(result.has_value());
  ASSERT_EQ(result->size(), 2u);
  EXPECT_EQ(result->at(cachedURL.absoluteString()), cachedBlur);
  const auto made = result->at(freshURL.absoluteString());
  ASSERT_NE(made, nullptr);
  EXPECT_TRUE(samePixels(*made, *platform::gaussianBlur(*fresh, 2.0)));
  EXPECT_EQ(cache_->blurredImageForURL(freshURL), made);
}

TEST_F(OVAdUtilityImagesTest, SeveralImagesAnswerOnceAllAreLoaded) {
  const auto first = url("https://images.test/load/first.png");
  const auto second = url("https://images.test/load/second.png");
  const auto firstImage = Image::create(2, 2, 1.0, platform::Color::white());
  const auto secondImage = Image::create(3, 3, 1.0, platform::Color::black());
  cache_->setImage(firstImage, first);
  cache_->setImage(secondImage, second);

  std::optional<OVAdUtility::ImagesByURL> result;
  OVAdUtility::loadRemoteImagesWithURLs({first, second}, [&](const OVAdUtility::ImagesByURL& images) { result = images; },
                                        false);
  runMainQueue();
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(*result, (OVAdUtility::ImagesByURL{{first.absoluteString(), firstImage},
                                               {second.absoluteString(), secondImage}}));

  std::shared_ptr<Image> single;
  OVAdUtility::loadRemoteImageWithURL(first, [&](const std::shared_ptr<Image>& image) { single = image; });
  runMainQueue();
  EXPECT_EQ(single, firstImage);
}

TEST_F(OVAdUtilityImagesTest, NoImagesAnswerEmptyOnTheMainQueue) {
  std::optional<OVAdUtility::ImagesByURL> result;
  OVAdUtility::loadRemoteImagesWithURLs({}, [&](const OVAdUtility::ImagesByURL& images) { result = images; }, true);
  EXPECT_FALSE(result.has_value());
  runMainQueue();
  ASSERT_TRUE(result.has_value());
  EXPECT_TRUE(result->empty());
}

}  // namespace
}  // namespace plexora
