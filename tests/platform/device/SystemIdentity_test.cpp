#include "platform/device/SystemIdentity.h"

#include <gtest/gtest.h>

#include <regex>

namespace plexora::platform {
namespace {

TEST(SystemIdentityTest, SystemVersionIsTheDottedHeadOfTheRelease) {
  const struct {
    const char* release;
    const char* version;
  } cases[] = {
      {"6.8.0-45-generic", "6.8.0"},
      {"6.18.44-fc-v1478", "6.18.44"},
      {"5.15", "5.15"},
      {"4.19.", "4.19"},
      {"custom-kernel", "custom-kernel"},
      {".5", ".5"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(systemVersionFromRelease(c.release), c.version) << c.release;
}

TEST(SystemIdentityTest, SystemBuildIsTheFirstWordOfTheVersion) {
  EXPECT_EQ(systemBuildFromVersion("#1 SMP PREEMPT_DYNAMIC @0"), "#1");
  EXPECT_EQ(systemBuildFromVersion("  #45-Ubuntu SMP"), "#45-Ubuntu");
  EXPECT_EQ(systemBuildFromVersion(""), "");
}

TEST(SystemIdentityTest, LocaleIdentifierDropsCodesetAndModifier) {
  const struct {
    const char* name;
    std::optional<std::string> identifier;
  } cases[] = {
      {"en_US.UTF-8", "en_US"}, {"de_DE.ISO-8859-15@euro", "de_DE"}, {"sr_RS@latin", "sr_RS"}, {"fr", "fr"},
      {"C", std::nullopt},      {"C.UTF-8", std::nullopt},           {"POSIX", std::nullopt},  {"", std::nullopt},
      {".UTF-8", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(localeIdentifierFromLocaleName(c.name), c.identifier) << c.name;
}

TEST(SystemIdentityTest, AdvertisingIdentifierIsAStableUpperCaseUuidThatHidesTheMachineId) {
  const std::string machineId = "3d1219c7c4c5404aaa1f6d2a48adfda4";
  const auto identifier = advertisingIdentifierFromMachineId(machineId + "\n");
  ASSERT_TRUE(identifier);
  EXPECT_TRUE(
      std::regex_match(*identifier, std::regex("[0-9A-F]{8}-[0-9A-F]{4}-5[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}")))
      << *identifier;
  EXPECT_EQ(advertisingIdentifierFromMachineId(machineId), identifier);
  EXPECT_EQ(advertisingIdentifierFromMachineId("3D1219C7C4C5404AAA1F6D2A48ADFDA4"), identifier);
  EXPECT_NE(advertisingIdentifierFromMachineId("3d1219c7c4c5404aaa1f6d2a48adfda5"), identifier);

  std::string digitsOnly = *identifier;
  std::erase(digitsOnly, '-');
  EXPECT_NE(digitsOnly.substr(0, 12), "3D1219C7C4C5");
}

TEST(SystemIdentityTest, TextThatIsNoMachineIdGivesNoIdentifier) {
  for (const char* text :
       {"", "\n", "uninitialized\n", "3d1219c7c4c5404aaa1f6d2a48adfda", "3d1219c7c4c5404aaa1f6d2a48adfda44",
        "3d1219c7-c4c5-404a-aa1f-6d2a48adfda4", "zd1219c7c4c5404aaa1f6d2a48adfda4"}) {
    EXPECT_FALSE(advertisingIdentifierFromMachineId(text)) << text;
  }
}

}  // namespace
}  // namespace plexora::platform
