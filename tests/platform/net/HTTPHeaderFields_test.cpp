#include "platform/net/HTTPHeaderFields.h"

#include <gtest/gtest.h>

#include "platform/net/HTTPURLResponse.h"

namespace plexora::platform {
namespace {

TEST(HTTPHeaderFieldsTest, SetReplacesEveryFieldOfTheNameAtTheFirstPosition) {
  HTTPHeaderFields fields{{"Accept", "a"}, {"set-cookie", "1"}, {"X-Other", "o"}, {"Set-Cookie", "2"}};
  fields.set("SET-COOKIE", "3");
  EXPECT_EQ(fields, (HTTPHeaderFields{{"Accept", "a"}, {"set-cookie", "3"}, {"X-Other", "o"}}));

  fields.add("X-Other", "p");
  EXPECT_EQ(fields.value("x-other"), "o");
  fields.remove("X-OTHER");
  EXPECT_FALSE(fields.contains("X-Other"));
  fields.set("New", "n");
  EXPECT_EQ(fields.fields().back(), (HTTPHeaderFields::Field{"New", "n"}));
}

TEST(HTTPURLResponseTest, TextEncodingNameComesFromTheCharsetParameter) {
  struct Case {
    const char* contentType;
    const char* expected;
  };
  const Case cases[] = {
      {"text/html; charset=UTF-8", "utf-8"},
      {"application/json;charset=\"ISO-8859-1\"", "iso-8859-1"},
      {"text/plain; format=flowed; Charset = utf-16 ", "utf-16"},
      {"text/plain", ""},
      {"text/plain; charset=", ""},
      {"text/plain; charset", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    HTTPURLResponse response;
    response.headers.set("content-type", c.contentType);
    EXPECT_EQ(response.textEncodingName(), c.expected) << c.contentType;
  }
  EXPECT_EQ(HTTPURLResponse().textEncodingName(), "");
}

}  // namespace
}  // namespace plexora::platform
