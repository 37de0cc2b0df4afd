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

}  // namespace
}  // namespace plexora::platform
