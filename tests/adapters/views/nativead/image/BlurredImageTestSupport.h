// What the blurred image view's tests share: a UI fixture with the
// library's settings, log and configuration reset around each test, test
// pictures and a picture comparison.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

#include "platform/media/GLContext.h"
#include "platform/ui/Image.h"
#include "platform/ui/UITest.h"
#include "plexora/OVAdSettings.h"
#include "util/OVAdConfigManager.h"
#include "util/RuntimeTestSupport.h"

namespace plexora::testing {

class BlurredImageTest : public platform::testing::UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    OVAdConfigManager::sharedManager()->loadConfigurationFromDictionary(platform::Value(platform::Dictionary{}));
  }
  void TearDown() override {
    OVAdConfigManager::sharedManager()->loadConfigurationFromDictionary(platform::Value(platform::Dictionary{}));
    UITest::TearDown();
  }

  static void configure(platform::Dictionary values) {
    OVAdConfigManager::sharedManager()->loadConfigurationFromDictionary(platform::Value(std::move(values)));
  }

  // Whether GL can draw here at all.
  static bool hasGL() { return platform::GLContext::create() != nullptr; }

  RuntimeLogCapture log_;
};

// Sharp detail everywhere: a blur changes every part of it.
inline std::shared_ptr<platform::Image> checkerboard(std::uint32_t width, std::uint32_t height, double scale,
                                                     std::uint32_t square = 4) {
  auto image = platform::Image::create(width, height, scale, platform::Color::white());
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const bool dark = ((x / square) + (y / square)) % 2 == 0;
      const auto shade = static_cast<std::uint8_t>(x * 255 / width);
      image->setPixel(x, y, dark ? platform::Pixel{shade, 20, 60, 255} : platform::Pixel{240, 230, shade, 255});
    }
  }
  return image;
}

// Peak signal-to-noise ratio of two pictures of one size, over all four
// components, in dB; infinite when they are the same, 0 for sizes that
// differ.
inline double psnr(const platform::Image& a, const platform::Image& b) {
  if (a.pixelWidth() != b.pixelWidth() || a.pixelHeight() != b.pixelHeight()) return 0.0;
  double squares = 0.0;
  const auto left = a.rgba();
  const auto right = b.rgba();
  for (std::size_t i = 0; i < left.size(); ++i) {
    const double difference = static_cast<double>(left[i]) - right[i];
    squares += difference * difference;
  }
  if (squares == 0.0) return std::numeric_limits<double>::infinity();
  return 10.0 * std::log10(255.0 * 255.0 / (squares / static_cast<double>(left.size())));
}

}  // namespace plexora::testing
