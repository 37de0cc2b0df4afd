// Building requests, the sandbox test, the trust decision and the
// completion's log line: what the URL session decides from its arguments.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/net/URLError.h"
#include "plexora/OVAdSettings.h"
#include "server/OVAdURLSession.h"
#include "util/SettingsTestEnvironment.h"

namespace plexora {
namespace {

using platform::Dictionary;
using platform::Value;

struct BuildCase {
  const char* name;
  std::string url;
  std::optional<std::string> method;
  Value parameters;
  std::string expectedURL;
  std::string expectedMethod;
};

TEST(OVAdURLSessionRequestTest, GetCarriesTheParametersInTheQuery) {
  const Value twoParameters(Dictionary{{"a", 1}, {"b", "x y"}});
  const BuildCase cases[] = {
      {"no query yet", "https://t.example/p", "GET", twoParameters, "https://t.example/p?a=1&b=x+y", "GET"},
      {"existing query", "https://t.example/p?z=0", "GET", twoParameters, "https://t.example/p?z=0&a=1&b=x+y", "GET"},
      {"no parameters", "https://t.example/p?z=0", "GET", Value(Dictionary{}), "https://t.example/p?z=0", "GET"},
      {"no dictionary", "https://t.example/p", "GET", Value(), "https://t.example/p", "GET"},
      {"no method", "https://t.example/p", std::nullopt, twoParameters, "https://t.example/p?a=1&b=x+y", "GET"},
      {"fragment", "https://t.example/p#top", "GET", twoParameters, "https://t.example/p?a=1&b=x+y#top", "GET"},
  };
  for (const BuildCase& test : cases) {
    SCOPED_TRACE(test.name);
    const platform::URLRequest request = OVAdURLSession::urlRequestWithURL(test.url, test.method, test.parameters);
    EXPECT_EQ(request.url, test.expectedURL);
    EXPECT_EQ(request.httpMethod, test.expectedMethod);
    EXPECT_TRUE(request.httpBody.empty());
    EXPECT_FALSE(request.valueForHTTPHeaderField("Content-Type").has_value());
  }
}

TEST(OVAdURLSessionRequestTest, PostCarriesAFormBodyAndItsContentTypeEvenWhenEmpty) {
  const platform::URLRequest filled =
      OVAdURLSession::urlRequestWithURL("https://t.example/p?z=0", "POST", Value(Dictionary{{"k", "a&b"}}));
  EXPECT_EQ(filled.url, "https://t.example/p?z=0");
  EXPECT_EQ(filled.httpMethod, "POST");
  EXPECT_EQ(std::string(filled.httpBody.begin(), filled.httpBody.end()), "k=a%26b");
  EXPECT_EQ(filled.valueForHTTPHeaderField("Content-Type"), "application/x-www-form-urlencoded");

  const platform::URLRequest empty = OVAdURLSession::urlRequestWithURL("https://t.example/p", "POST", Value());
  EXPECT_TRUE(empty.httpBody.empty());
  EXPECT_EQ(empty.valueForHTTPHeaderField("Content-Type"), "application/x-www-form-urlencoded");
}

TEST(OVAdURLSessionRequestTest, EmptyURLs) {
  EXPECT_TRUE(OVAdURLSession::isEmptyURL(""));
  EXPECT_TRUE(OVAdURLSession::isEmptyURL("#"));
  EXPECT_FALSE(OVAdURLSession::isEmptyURL("##"));
  EXPECT_FALSE(OVAdURLSession::isEmptyURL("https://t.example/#"));
}

TEST(OVAdURLSessionTrustTest, OnlySandboxHostsPassTheSandboxTest) {
  const struct {
    const char* host;
    bool sandbox;
  } cases[] = {
      {"ads.sb.plexora.example", true},
      {"ADS.SB.Plexora.Example", true},
      {"ads.dc2.plexora.example", true},
      {"edge.dc.plexora.example", true},
      {"", false},
      {"ads.plexora.example", false},
      {"sb.plexora.example", false},
      {"ads.dc2.plexora.example.attacker.example", false},
      {"ads.dc2.notplexora.example", false},
      {"ads.dc2.attacker.example", false},
      {"ads.sb.plexora.example.attacker.example", false},
      {"127.0.0.1", false},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(OVAdURLSession::isSandboxHost(test.host), test.sandbox) << test.host;
  }
}

TEST(OVAdURLSessionTrustTest, ValidationIsSkippedOnlyForSandboxHostsWhileDisabled) {
  auto session = OVAdURLSession::create([](auto) {});
  EXPECT_FALSE(session->isSSLValidationDisabled());
  EXPECT_FALSE(session->acceptsServerTrustWithoutValidation("ads.sb.plexora.example"));

  session->setSSLValidationDisabled(true);
  EXPECT_TRUE(session->acceptsServerTrustWithoutValidation("ads.sb.plexora.example"));
  EXPECT_TRUE(session->acceptsServerTrustWithoutValidation("ads.dc1.plexora.example"));
  EXPECT_FALSE(session->acceptsServerTrustWithoutValidation("ads.plexora.example"));
  EXPECT_FALSE(session->acceptsServerTrustWithoutValidation("ads.attacker.example"));
}

TEST(OVAdURLSessionTrustTest, TheSettingsURLPrefixSwitchesValidation) {
  testing::SettingsTestEnvironment environment;
  OVAdSettings::setUrlPrefix("sb");
  auto session = OVAdURLSession::create([](auto) {});
  OVAdURLSession::followSettings(session);
  EXPECT_TRUE(session->isSSLValidationDisabled()) << "a prefix set before counts";

  OVAdSettings::setUrlPrefix("");
  EXPECT_FALSE(session->isSSLValidationDisabled());
  OVAdSettings::setUrlPrefix("dc1");
  EXPECT_TRUE(session->isSSLValidationDisabled());
}

class OVAdURLSessionLogTest : public ::testing::Test {
 protected:
  OVAdURLSessionLogTest() { OVAdSettings::setLogLevel(6); }

  static platform::HTTPURLResponse response(long status, const char* contentType) {
    platform::HTTPURLResponse response;
    response.statusCode = status;
    response.headers.set("Content-Type", contentType);
    return response;
  }

  testing::SettingsTestEnvironment environment_;
  const platform::Bytes body_ = platform::Bytes(3, 'x');
};

TEST_F(OVAdURLSessionLogTest, AResponseWithAnErrorIsAnHTTPError) {
  OVAdURLSession::logCompletion("https://t.example/a", response(200, "text/plain; charset=UTF-8"), body_,
                                platform::makeURLError(platform::kURLErrorNetworkConnectionLost), 0.25);
  ASSERT_EQ(environment_.lines().size(), 1U);
  const std::string line = environment_.lines().front();
  EXPECT_NE(line.find("<error>] HTTP error, status=200, error=Error Domain=NSURLErrorDomain Code=-1005"),
            std::string::npos)
      << line;
  EXPECT_NE(line.find(", bytes=3, encoding=utf-8, url=https://t.example/a"), std::string::npos) << line;
}

TEST_F(OVAdURLSessionLogTest, AnErrorOnAnEmptyURLIsLoggedAsComplete) {
  for (const char* url : {"#", ""}) {
    environment_.clearLines();
    OVAdURLSession::logCompletion(url, response(404, "text/html"), body_,
                                  platform::makeURLError(platform::kURLErrorBadServerResponse), 0.5);
    ASSERT_EQ(environment_.lines().size(), 1U) << url;
    EXPECT_NE(environment_.lines().front().find(
                  "<debug>] HTTP complete, status=404, bytes=3, encoding=(null), duration=0.500000, url=" +
                  std::string(url)),
              std::string::npos)
        << environment_.lines().front();
  }
}

TEST_F(OVAdURLSessionLogTest, ASuccessIsADebugLineAndNoResponseNoLine) {
  OVAdURLSession::logCompletion("https://t.example/a", response(500, "text/plain"), {}, std::nullopt, 1.0);
  EXPECT_EQ(environment_.count("<debug>] HTTP complete, status=500, bytes=0"), 1U);

  environment_.clearLines();
  OVAdURLSession::logCompletion("https://t.example/a", std::nullopt, {},
                                platform::makeURLError(platform::kURLErrorCannotConnectToHost), 1.0);
  EXPECT_TRUE(environment_.lines().empty());
}

}  // namespace
}  // namespace plexora
