// The loopback server's script, driven through the session the way every
// network test uses it.
#include <gtest/gtest.h>

#include "platform/net/URLSessionFixture.h"

namespace plexora::platform {
namespace {

using testserver::Match;
using testserver::RecordedRequest;
using testserver::Response;

class TestServerScriptTest : public URLSessionFixture {
 protected:
  std::string bodyOf(std::string_view path) {
    CompletionRecorder one(delegateQueue);
    session->dataTask(requestFor(path), one.completion())->resume();
    Outcome outcome = one.first();
    if (!outcome.response) return "(no response)";
    return std::to_string(outcome.response->statusCode) + " " + outcome.body;
  }
};

TEST_F(TestServerScriptTest, QueuedAnswersComeFirstThenExactPathsThenTheLongestPrefix) {
  server.on("/a/", Response::text(200, "prefix a"), Match::Prefix);
  server.on("/a/b/", Response::text(200, "prefix a/b"), Match::Prefix);
  server.on("/a/b/c", Response::text(200, "exact"));
  server.enqueue("/a/b/c", Response::text(201, "once"));
  server.enqueue("/a/", Response::text(202, "queued prefix"), Match::Prefix);

  EXPECT_EQ(bodyOf("a/b/c"), "201 once");
  EXPECT_EQ(bodyOf("a/b/c"), "200 exact");
  EXPECT_EQ(bodyOf("a/b/x"), "200 prefix a/b");
  EXPECT_EQ(bodyOf("a/x"), "202 queued prefix");
  EXPECT_EQ(bodyOf("a/x"), "200 prefix a");
  EXPECT_EQ(bodyOf("elsewhere"), "404 ");
}

TEST_F(TestServerScriptTest, AnswerFunctionSeesTheRequest) {
  server.on("/echo", [](const RecordedRequest& request) {
    return Response::text(200, request.method + " " + request.query + " " + request.body);
  });
  URLRequest request = requestFor("echo?x=1");
  request.httpMethod = "POST";
  request.setBody("payload");

  Outcome outcome = fetch(request);

  EXPECT_EQ(outcome.body, "POST x=1 payload");
}

// Event batches are form posts of tens of kilobytes; they must reach the
// script whole rather than be refused before it runs.
TEST_F(TestServerScriptTest, LargeFormBodiesReachTheScript) {
  server.on("/size", [](const RecordedRequest& request) {
    return Response::text(200, std::to_string(request.body.size()));
  });
  URLRequest request = requestFor("size");
  request.httpMethod = "POST";
  request.setValue("application/x-www-form-urlencoded", "Content-Type");
  request.setBody("payload=" + std::string(100 * 1024, 'x'));

  Outcome outcome = fetch(request);

  ASSERT_TRUE(outcome.response);
  EXPECT_EQ(outcome.response->statusCode, 200);
  EXPECT_EQ(outcome.body, std::to_string(8 + 100 * 1024));
}

}  // namespace
}  // namespace plexora::platform
