#include "platform/net/URLSession.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "platform/net/URLError.h"
#include "platform/net/URLSessionFixture.h"

namespace plexora::platform {
namespace {

using testserver::Match;
using testserver::Response;

TEST_F(URLSessionFixture, GetDeliversStatusHeadersAndBodyAndSendsWhatWasAsked) {
  Response hello = Response::text(200, "hello");
  hello.headers = {{"Content-Type", "text/plain; charset=UTF-8"}, {"X-Reply", "yes"}};
  server.on("/greeting", hello);

  URLRequest request = requestFor("greeting?name=J%C3%BCrgen&x=a+b");
  request.setValue("1", "X-Custom");
  Outcome outcome = fetch(request);

  ASSERT_FALSE(outcome.error) << outcome.error->localizedDescription();
  ASSERT_TRUE(outcome.response);
  EXPECT_EQ(outcome.response->statusCode, 200);
  EXPECT_EQ(outcome.response->url, server.url("greeting?name=J%C3%BCrgen&x=a+b"));
  EXPECT_EQ(outcome.response->valueForHTTPHeaderField("x-reply"), "yes");
  EXPECT_EQ(outcome.response->textEncodingName(), "utf-8");
  EXPECT_EQ(outcome.body, "hello");

  auto received = server.requests();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].method, "GET");
  EXPECT_EQ(received[0].path, "/greeting");
  EXPECT_EQ(received[0].queryItems(), (testserver::Fields{{"name", "Jürgen"}, {"x", "a b"}}));
  EXPECT_EQ(received[0].header("X-Custom"), "1");
  EXPECT_TRUE(received[0].body.empty());
}

TEST_F(URLSessionFixture, PostSendsTheFormBodyAndItsContentType) {
  server.on("/form", Response::text(200, "ok"));
  URLRequest request = requestFor("form");
  request.httpMethod = "POST";
  request.setValue("application/x-www-form-urlencoded", "Content-Type");
  request.setBody("placement=123_456&ua=Mozilla%2F5.0+%28X11%29&empty=");

  Outcome outcome = fetch(request);

  ASSERT_FALSE(outcome.error);
  EXPECT_EQ(outcome.body, "ok");
  auto received = server.requests();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].method, "POST");
  EXPECT_EQ(received[0].header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(received[0].formFields(),
            (testserver::Fields{{"placement", "123_456"}, {"ua", "Mozilla/5.0 (X11)"}, {"empty", ""}}));
}

// The transfer library labels bodies and asks for 100-continue on large
// ones by itself; the server must see only what the caller set.
TEST_F(URLSessionFixture, PostAddsNoFieldsOfItsOwn) {
  server.on("/raw", Response::text(200, "ok"));
  for (std::size_t size : {std::size_t{0}, std::size_t{5}, std::size_t{64 * 1024}}) {
    server.clearRequests();
    URLRequest request = requestFor("raw");
    request.httpMethod = "POST";
    request.httpBody.assign(size, 'x');
    auto task = session->dataTask(request, [](Bytes, std::optional<HTTPURLResponse>, std::optional<Error>) {});
    task->resume();
    ASSERT_TRUE(server.waitForRequests(1, std::chrono::seconds(5))) << size;
    auto received = server.requests().front();
    EXPECT_EQ(received.body.size(), size);
    EXPECT_FALSE(received.header("Content-Type")) << size;
    EXPECT_FALSE(received.header("Expect")) << size;
  }
}

TEST_F(URLSessionFixture, ConfigurationHeadersGoWithEveryRequestUnlessTheRequestSetsItsOwn) {
  URLSessionConfiguration configuration;
  configuration.additionalHTTPHeaders.set("User-Agent", "Agent/1.0 [OVPX/Test]");
  makeSession(configuration);
  server.on("/ua", Response::text(200, "ok"));

  send(requestFor("ua"), 1);
  URLRequest own = requestFor("ua");
  own.setValue("Own/2.0", "user-agent");
  send(own, 2);

  ASSERT_TRUE(recorder.waitFor(2));
  auto received = server.requests();
  ASSERT_EQ(received.size(), 2u);
  std::vector<std::string> agents;
  for (const auto& request : received) agents.push_back(request.header("User-Agent").value_or("(none)"));
  EXPECT_THAT(agents, ::testing::UnorderedElementsAre("Agent/1.0 [OVPX/Test]", "Own/2.0"));
}

TEST_F(URLSessionFixture, HTTPErrorStatusIsAResponseNotAnError) {
  for (int status : {500, 404, 204}) {
    server.enqueue("/status", Response::text(status, status == 204 ? "" : "trouble"));
    send(requestFor("status"), status);
  }
  ASSERT_TRUE(recorder.waitFor(3));
  for (const auto& outcome : recorder.outcomes()) {
    EXPECT_FALSE(outcome.error) << outcome.tag;
    ASSERT_TRUE(outcome.response) << outcome.tag;
  }
  std::multiset<long> statuses;
  for (const auto& outcome : recorder.outcomes()) statuses.insert(outcome.response->statusCode);
  EXPECT_EQ(statuses, (std::multiset<long>{204, 404, 500}));
}

TEST_F(URLSessionFixture, ADataURLIsAnsweredFromItselfAndABrokenOneFails) {
  Outcome outcome = fetch(URLRequest("data:text/plain;base64,aGVsbG8="));
  ASSERT_FALSE(outcome.error) << outcome.error->localizedDescription();
  ASSERT_TRUE(outcome.response);
  EXPECT_EQ(outcome.response->statusCode, 200);
  EXPECT_EQ(outcome.response->url, "data:text/plain;base64,aGVsbG8=");
  EXPECT_EQ(outcome.response->valueForHTTPHeaderField("Content-Type"), "text/plain");
  EXPECT_EQ(outcome.response->valueForHTTPHeaderField("Content-Length"), "5");
  EXPECT_EQ(outcome.body, "hello");

  send(URLRequest("data:text/plain;base64,aGVsbG8"));
  ASSERT_TRUE(recorder.waitFor(2));
  const Outcome broken = recorder.outcomes()[1];
  ASSERT_TRUE(broken.error);
  EXPECT_EQ(broken.error->code(), kURLErrorBadURL);
  EXPECT_FALSE(broken.response);
  EXPECT_TRUE(server.requests().empty());
}

TEST_F(URLSessionFixture, CompletionsRunOnTheDelegateQueue) {
  server.on("/q", Response::text(200, "ok"));
  EXPECT_TRUE(fetch(requestFor("q")).onDelegateQueue);
}

// A task that asks completes on the transfer thread whatever its outcome,
// except a cancellation, which keeps to the delegate queue.
TEST_F(URLSessionFixture, TaskAskingForTheTransferThreadCompletesThereUnlessCancelled) {
  using namespace std::chrono_literals;
  server.on("/ok", Response::text(200, "ok"));
  server.on("/missing", Response::text(404, "no"));
  server.on("/drop", Response::dropped());
  server.on("/slow", Response::text(200, "late", 300ms));
  DataTaskOptions options;
  options.completesOnTransferThread = true;
  constexpr const char* kTransferThread = "name = plexora.urlsession";

  struct Case {
    const char* path;
    long status;
    std::int64_t error;
  };
  for (const Case& c : {Case{"ok", 200, 0}, Case{"missing", 404, 0}, Case{"drop", 0, kURLErrorNetworkConnectionLost}}) {
    CompletionRecorder own(delegateQueue);
    session->dataTask(requestFor(c.path), own.completion(), options)->resume();
    const Outcome outcome = own.first();
    EXPECT_EQ(errorCode(outcome), c.error) << c.path;
    EXPECT_EQ(outcome.response ? outcome.response->statusCode : 0, c.status) << c.path;
    EXPECT_FALSE(outcome.onDelegateQueue) << c.path;
    EXPECT_THAT(outcome.thread, ::testing::HasSubstr(kTransferThread)) << c.path;
  }

  auto slow = send(requestFor("slow"), 1, options);
  ASSERT_TRUE(server.waitForRequests(4, 5s));
  slow->cancel();
  const Outcome cancelled = recorder.first();
  EXPECT_EQ(errorCode(cancelled), kURLErrorCancelled);
  EXPECT_TRUE(cancelled.onDelegateQueue);
}

TEST_F(URLSessionFixture, SessionWithoutDelegateQueueDeliversOnAQueueOfItsOwn) {
  server.on("/q", Response::text(200, "ok"));
  URLSession own;
  ASSERT_TRUE(own.delegateQueue());
  CompletionRecorder ownRecorder(own.delegateQueue());
  own.dataTask(requestFor("q"), ownRecorder.completion())->resume();
  Outcome outcome = ownRecorder.first();
  EXPECT_FALSE(outcome.error);
  EXPECT_TRUE(outcome.onDelegateQueue);
}

TEST_F(URLSessionFixture, RedirectsAreFollowedAndTheFinalAnswerReported) {
  Response moved;
  moved.status = 302;
  moved.headers = {{"Location", "/new"}, {"X-Hop", "first"}};
  server.on("/old", moved);
  server.on("/new", Response::text(200, "arrived"));

  Outcome outcome = fetch(requestFor("old"));

  ASSERT_FALSE(outcome.error);
  ASSERT_TRUE(outcome.response);
  EXPECT_EQ(outcome.response->statusCode, 200);
  EXPECT_EQ(outcome.response->url, server.url("new"));
  EXPECT_FALSE(outcome.response->valueForHTTPHeaderField("X-Hop"));
  EXPECT_EQ(outcome.body, "arrived");
}

TEST_F(URLSessionFixture, ResponseKeepsRepeatedFields) {
  Response cookies = Response::text(200, "ok");
  cookies.headers = {{"Set-Cookie", "a=1"}, {"Set-Cookie", "b=2"}};
  server.on("/cookies", cookies);

  Outcome outcome = fetch(requestFor("cookies"));

  ASSERT_TRUE(outcome.response);
  std::vector<std::string> values;
  for (const auto& [name, value] : outcome.response->headers) {
    if (HTTPHeaderFields::namesEqual(name, "set-cookie")) values.push_back(value);
  }
  EXPECT_EQ(values, (std::vector<std::string>{"a=1", "b=2"}));
}

}  // namespace
}  // namespace plexora::platform
