#include "platform/foundation/UUID.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace plexora::platform {
namespace {

TEST(UUIDTest, TextIsUpperCaseVersion4) {
  const std::regex shape("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
  for (int i = 0; i < 200; ++i) {
    const std::string uuid = makeUUIDString();
    ASSERT_EQ(uuid.size(), 36u);
    EXPECT_TRUE(std::regex_match(uuid, shape)) << uuid;
  }
}

TEST(UUIDTest, SuccessiveValuesDiffer) {
  std::set<std::string> seen;
  for (int i = 0; i < 10000; ++i) {
    seen.insert(makeUUIDString());
  }
  EXPECT_EQ(seen.size(), 10000u);
}

}  // namespace
}  // namespace plexora::platform
