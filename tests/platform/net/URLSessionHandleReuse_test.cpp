// A session's transfers share a few easy handles: each request must go out
// exactly as asked, whatever the one before it on the same handle set.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/net/CurlHandlePool.h"
#include "platform/net/URLError.h"
#include "platform/net/URLSessionFixture.h"

namespace plexora::platform {
namespace {

using testserver::Response;

TEST_F(URLSessionFixture, EachRequestOnAReusedHandleSendsOnlyWhatItAsks) {
  server.on("/echo", Response::text(200, "ok"));
  Response moved;
  moved.status = 302;
  moved.headers = {{"Location", "/echo"}};
  server.on("/moved", moved);

  const struct {
    const char* method;
    std::string body;
    std::optional<std::string> header;
    const char* path;
    DataTaskOptions options;
    std::string expectedMethod;
    std::string expectedPath;
    long expectedStatus;
  } cases[] = {
      {"PUT", "a=1", "1", "echo", {}, "PUT", "/echo", 200},
      {"POST", "b=2", std::nullopt, "echo", {}, "POST", "/echo", 200},
      {"GET", "", std::nullopt, "echo", {}, "GET", "/echo", 200},
      {"HEAD", "", std::nullopt, "echo", {}, "HEAD", "/echo", 200},
      // A task that trusts its host follows no redirect; the next one does.
      {"GET", "", std::nullopt, "moved", {.tlsVerificationDisabled = true}, "GET", "/moved", 302},
      {"GET", "", std::nullopt, "moved", {}, "GET", "/echo", 200},
  };
  std::size_t sent = 0;
  for (const auto& test : cases) {
    SCOPED_TRACE(std::string(test.method) + " " + test.path);
    server.clearRequests();
    URLRequest request = requestFor(test.path);
    request.httpMethod = test.method;
    request.setBody(test.body);
    if (test.header) request.setValue(*test.header, "X-Once");
    send(std::move(request), static_cast<int>(sent), test.options);
    ASSERT_TRUE(recorder.waitFor(++sent));

    const Outcome outcome = recorder.outcomes().back();
    ASSERT_FALSE(outcome.error) << outcome.error->localizedDescription();
    ASSERT_TRUE(outcome.response);
    EXPECT_EQ(outcome.response->statusCode, test.expectedStatus);
    const auto received = server.requests();
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received.back().method, test.expectedMethod);
    EXPECT_EQ(received.back().path, test.expectedPath);
    EXPECT_EQ(received.back().body, test.body);
    EXPECT_EQ(received.back().header("X-Once").has_value(), test.header.has_value());
  }
}

TEST(CurlHandlePoolTest, AHandleComesBackWithoutTheOptionsOfItsLastTransferAndTheSurplusIsFreed) {
  CurlHandlePool pool;
  CURL* handle = pool.take();
  ASSERT_NE(handle, nullptr);
  int owner = 0;
  curl_easy_setopt(handle, CURLOPT_PRIVATE, &owner);
  pool.giveBack(handle);

  ASSERT_EQ(pool.take(), handle);
  char* kept = reinterpret_cast<char*>(&owner);
  curl_easy_getinfo(handle, CURLINFO_PRIVATE, &kept);
  EXPECT_EQ(kept, nullptr);
  pool.giveBack(handle);

  std::vector<CURL*> burst;
  for (std::size_t i = 0; i < CurlHandlePool::kMaxIdleHandles + 3; ++i) burst.push_back(pool.take());
  for (CURL* taken : burst) pool.giveBack(taken);
  EXPECT_EQ(pool.idleCount(), CurlHandlePool::kMaxIdleHandles);
}

}  // namespace
}  // namespace plexora::platform
