#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/foundation/Files.h"
#include "platform/net/URLRequest.h"
#include "plexora/OVAdSettings.h"
#include "support/TempDir.h"
#include "util/OVAdUtility.h"
#include "util/SettingsTestEnvironment.h"

namespace plexora {
namespace {

void writeFile(const std::filesystem::path& path, std::size_t size) {
  const platform::Bytes bytes(size, 'x');
  ASSERT_TRUE(platform::writeFileAtomically(path.string(), bytes));
}

std::uint64_t allocated(const std::filesystem::path& path) {
  return platform::allocatedFileSize(path.string()).value_or(0);
}

TEST(OVAdUtilityDiagnosticsTest, DirectorySizeSumsEveryRegularFileOfTheTree) {
  testing::TempDir directory;
  std::filesystem::create_directories(directory / "nested" / "deeper");
  writeFile(directory / "a", 1);
  writeFile(directory / ".hidden", 5000);
  writeFile(directory / "nested" / "deeper" / "b", 70000);
  std::filesystem::create_symlink(directory / "a", directory / "link");

  const std::uint64_t expected = allocated(directory / "a") + allocated(directory / ".hidden") +
                                 allocated(directory / "nested" / "deeper" / "b");
  ASSERT_GT(expected, 0U);
  EXPECT_EQ(ov_getSizeOfDirectory(directory.path().string()), expected);
}

TEST(OVAdUtilityDiagnosticsTest, AnEmptyDirectoryHasSizeZero) {
  testing::TempDir directory;
  EXPECT_EQ(ov_getSizeOfDirectory(directory.path().string()), 0U);
}

TEST(OVAdUtilityDiagnosticsTest, ADirectoryThatCannotBeWalkedHasNoSizeAndIsReported) {
  testing::SettingsTestEnvironment environment;
  OVAdSettings::setLogLevel(3);
  testing::TempDir directory;
  const std::string missing = (directory / "missing").string();

  platform::FileError error;
  EXPECT_EQ(ov_getSizeOfDirectory(missing, &error), std::nullopt);
  EXPECT_TRUE(error.code);
  EXPECT_EQ(error.path, missing);
  EXPECT_EQ(environment.count("<warn>] Could not enumerate size of file at url: " + missing), 1U);
  EXPECT_EQ(ov_getSizeOfDirectory(missing), std::nullopt);
}

TEST(OVAdUtilityDiagnosticsTest, CURLCommandRepeatsMethodBodyHeadersAndURL) {
  platform::URLRequest post("https://ads.example.com/network_ads_common/");
  post.httpMethod = "POST";
  post.setBody("a=1&b=2");
  post.setValue("application/x-www-form-urlencoded", "Content-Type");
  post.setValue("UA", "User-Agent");
  EXPECT_EQ(ov_CURLCommand(post),
            "curl -k -i -d \"a=1&b=2\" -H \"Content-Type\":\"application/x-www-form-urlencoded\" "
            "-H \"User-Agent\":\"UA\" \"https://ads.example.com/network_ads_common/\"");

  platform::URLRequest get("https://ads.example.com/t?x=1");
  get.setBody("ignored");
  EXPECT_EQ(ov_CURLCommand(get), "curl -k -i \"https://ads.example.com/t?x=1\"");
}

}  // namespace
}  // namespace plexora
