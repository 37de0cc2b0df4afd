// The ad-choices icon record carries a decodable 24-pixel PNG inline.
#include "adapters/views/video/OVInstreamAdChoicesIcon.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/foundation/Base64.h"
#include "platform/ui/Image.h"

namespace plexora {
namespace {

TEST(OVInstreamAdChoicesIconTest, ItIsA16PointRecordOfAnInline24PixelPNG) {
  const auto icon = OVInstreamAdChoicesIcon::init();
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->width(), 16);
  EXPECT_EQ(icon->height(), 16);
  EXPECT_EQ(icon->type(), kOVAdImageTypeOther);
  ASSERT_TRUE(icon->url());
  const std::string& url = icon->url()->absoluteString();
  const std::string prefix = "data:image/png;base64,";
  ASSERT_EQ(url.rfind(prefix, 0), 0u);
  const auto bytes = platform::base64Decode(url.substr(prefix.size()));
  ASSERT_TRUE(bytes);
  const auto image = platform::Image::decode(*bytes);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixelWidth(), 24u);
  EXPECT_EQ(image->pixelHeight(), 24u);
  EXPECT_NE(OVInstreamAdChoicesIcon::init(), icon) << "a new record each time";
}

}  // namespace
}  // namespace plexora
