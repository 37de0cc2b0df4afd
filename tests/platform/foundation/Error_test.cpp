#include "platform/foundation/Error.h"

#include <gtest/gtest.h>

#include "platform/foundation/Exception.h"

namespace plexora::platform {
namespace {

TEST(ErrorTest, DescriptionComesFromTheUserInfo) {
  const Error error("com.example.ads.sdk", 1001,
                    Dictionary{{kLocalizedDescriptionKey, "No fill"}, {"OVAdErrorDetailKey", Dictionary{}}});
  EXPECT_EQ(error.domain(), "com.example.ads.sdk");
  EXPECT_EQ(error.code(), 1001);
  EXPECT_EQ(error.localizedDescription(), "No fill");
  EXPECT_EQ(error.userInfo().size(), 2u);

  // An empty description is still the description.
  EXPECT_EQ(Error("d", 42, Dictionary{{kLocalizedDescriptionKey, ""}}).localizedDescription(), "");
}

TEST(ErrorTest, WithoutADescriptionTheDomainAndCodeAreNamed) {
  const Error cases[] = {
      Error("NSURLErrorDomain", -1001),
      Error("NSURLErrorDomain", -1001, Dictionary{{kLocalizedDescriptionKey, 7}}),
  };
  for (const Error& error : cases) {
    EXPECT_EQ(error.localizedDescription(), "The operation couldn\u2019t be completed. (NSURLErrorDomain error -1001.)");
  }
}

TEST(ErrorTest, EqualityComparesEveryPart) {
  const Error base("d", 1, Dictionary{{"k", "v"}});
  EXPECT_EQ(base, Error("d", 1, Dictionary{{"k", "v"}}));
  EXPECT_NE(base, Error("e", 1, Dictionary{{"k", "v"}}));
  EXPECT_NE(base, Error("d", 2, Dictionary{{"k", "v"}}));
  EXPECT_NE(base, Error("d", 1, Dictionary{{"k", "w"}}));
}

TEST(ExceptionTest, CarriesNameReasonAndDetails) {
  try {
    throw Exception(kInvalidArgumentException, "Invalid version number", Dictionary{{"given", "1..2"}});
  } catch (const std::exception& caught) {
    EXPECT_STREQ(caught.what(), "Invalid version number");
    const auto* exception = dynamic_cast<const Exception*>(&caught);
    ASSERT_NE(exception, nullptr);
    EXPECT_EQ(exception->name(), "NSInvalidArgumentException");
    EXPECT_EQ(exception->reason(), "Invalid version number");
    EXPECT_EQ(exception->userInfo(), Value(Dictionary{{"given", "1..2"}}));
  }
  EXPECT_TRUE(Exception(kInternalInconsistencyException, "r").userInfo().isNull());
}

}  // namespace
}  // namespace plexora::platform
