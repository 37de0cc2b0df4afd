#include "util/OVAdError.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "plexora/OVAdErrorDomain.h"

namespace plexora {
namespace {

using platform::Dictionary;
using platform::Value;

Dictionary detailOf(const platform::Error& error) {
  const Value* detail = error.userInfo().find(kOVAdErrorDetailKey);
  return detail == nullptr ? Dictionary{{"missing", true}} : detail->asDictionary();
}

TEST(OVAdErrorTest, AnErrorCarriesTheDefaultDescriptionAndAnEmptyDetail) {
  const platform::Error error = OVAdError::getNSError(kOVAdErrorCodeNoFill);
  EXPECT_EQ(error.domain(), "com.plexora.ads.sdk");
  EXPECT_EQ(error.code(), 1001);
  EXPECT_EQ(error.localizedDescription(), "No fill");
  EXPECT_EQ(error.userInfo().size(), 2U);
  ASSERT_NE(error.userInfo().find(kOVAdErrorDetailKey), nullptr);
  EXPECT_EQ(*error.userInfo().find(kOVAdErrorDetailKey), Value(Dictionary{}));
}

TEST(OVAdErrorTest, EveryCodeHasItsDefaultDescription) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {1000, "Network Error"}, {1001, "No fill"},        {1002, "Ad was re-loaded too frequently"},
      {2000, "Server Error"},  {2001, "Internal Error"}, {3001, "Mediation Error"},
      {42, ""},                {-1, ""},
  };
  for (const auto& [code, description] : cases) {
    EXPECT_EQ(OVAdError::defaultDescriptionForKey(code), description) << code;
    // An unknown code still has a description: the empty one.
    const platform::Error error = OVAdError::getNSError(code);
    const Value* stored = error.userInfo().find(platform::kLocalizedDescriptionKey);
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(*stored, Value(description)) << code;
  }
  EXPECT_EQ(OVAdError::defaultDescriptions().size(), 6U);
}

TEST(OVAdErrorTest, AGivenDescriptionAndDetailReplaceTheDefaults) {
  EXPECT_EQ(OVAdError::getNSError(2000, "custom").localizedDescription(), "custom");
  const platform::Error withEmptyDescription = OVAdError::getNSError(2000, "");
  const Value* empty = withEmptyDescription.userInfo().find(platform::kLocalizedDescriptionKey);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(*empty, Value(""));
  const platform::Error withDetail = OVAdError::getNSError(2001, std::nullopt, Dictionary{{"k", "v"}});
  EXPECT_EQ(withDetail.localizedDescription(), "Internal Error");
  EXPECT_EQ(detailOf(withDetail), (Dictionary{{"k", "v"}}));
}

TEST(OVAdErrorTest, TheMediaViewNamesItsOwnDomain) {
  const platform::Error error = OVAdError::getNSError(1001, OVPlexoraMediaViewErrorDomain, std::nullopt, {});
  EXPECT_EQ(error.domain(), "com.plexora.ads.sdk.mediaview");
  EXPECT_EQ(error.localizedDescription(), "No fill");
}

struct BodyCase {
  const char* name;
  std::optional<std::string> body;
  Dictionary expectedDetail;
};

TEST(OVAdErrorTest, AServerErrorBodyAddsItsFieldsToACopyOfTheDetail) {
  const Dictionary given{{"placement", "p1"}};
  const BodyCase cases[] = {
      {"message and numeric code",
       R"({"error":{"message":"Invalid token","code":190}})",
       Dictionary{{"placement", "p1"}, {"message", "Invalid token"}, {"code", "190"}}},
      {"every field", R"({"error":{"type":"OAuth","message":"m","code":"7","other":1}})",
       Dictionary{{"placement", "p1"}, {"message", "m"}, {"type", "OAuth"}, {"code", "7"}}},
      {"no data", std::nullopt, given},
      {"array body", R"([{"error":{"message":"m"}}])", given},
      {"invalid JSON", R"({"error":)", given},
      {"error is no object", R"({"error":"broken"})", given},
      {"no error object", R"({"message":"m"})", given},
      {"field of another kind", R"({"error":{"message":{"nested":1},"code":null}})", given},
  };
  for (const auto& testCase : cases) {
    std::optional<platform::ByteView> data;
    if (testCase.body) {
      data = platform::asBytes(*testCase.body);
    }
    const platform::Error error = OVAdError::getErrorFromJSON(data, kOVAdErrorCodeServerError, std::nullopt, given);
    EXPECT_EQ(error.code(), 2000) << testCase.name;
    EXPECT_EQ(error.localizedDescription(), "Server Error") << testCase.name;
    EXPECT_EQ(detailOf(error), testCase.expectedDetail) << testCase.name;
  }
  EXPECT_EQ(given, (Dictionary{{"placement", "p1"}}));
}

TEST(OVAdErrorTest, AServerErrorWithoutAGivenDetailStartsFromAnEmptyOne) {
  const std::string body = R"({"error":{"message":"m"}})";
  const platform::Error error = OVAdError::getErrorFromJSON(platform::asBytes(body), 1000, "Down");
  EXPECT_EQ(error.localizedDescription(), "Down");
  EXPECT_EQ(detailOf(error), (Dictionary{{"message", "m"}}));
}

}  // namespace
}  // namespace plexora
