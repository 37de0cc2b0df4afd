#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <string>

#include "platform/net/URLError.h"
#include "platform/net/URLSession.h"
#include "platform/net/URLSessionFixture.h"

namespace plexora::platform {
namespace {

using namespace std::chrono_literals;
using testserver::Response;

constexpr double kShortTimeout = 0.2;

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// `text` as a gzip stream, the way a server sends an encoded body.
std::string gzipped(const std::string& text) {
  z_stream stream{};
  constexpr int kGzipWindowBits = 15 + 16;
  EXPECT_EQ(deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, kGzipWindowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&stream, text.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

TEST_F(URLSessionFixture, ErrorsCarryTheURLDomainAndADescription) {
  Outcome outcome = fetch(URLRequest("ftp://127.0.0.1/file"));
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->domain(), "NSURLErrorDomain");
  EXPECT_EQ(outcome.error->code(), kURLErrorUnsupportedURL);
  EXPECT_FALSE(outcome.error->localizedDescription().empty());
  EXPECT_FALSE(outcome.response);
  EXPECT_TRUE(outcome.body.empty());
}

TEST_F(URLSessionFixture, TimeLimitCoversTheWholeTransfer) {
  struct Case {
    const char* name;
    std::optional<double> requestLimit;
    double sessionLimit;
  };
  for (const Case& limits : {Case{"request's own", kShortTimeout, 60.0}, Case{"session's", std::nullopt, kShortTimeout}}) {
    SCOPED_TRACE(limits.name);
    server.on("/slow", Response::text(200, "late", 2s));
    URLSessionConfiguration configuration;
    configuration.timeoutIntervalForRequest = limits.sessionLimit;
    makeSession(configuration);
    CompletionRecorder timed(delegateQueue);
    URLRequest request = requestFor("slow");
    request.timeoutInterval = limits.requestLimit;

    auto start = std::chrono::steady_clock::now();
    session->dataTask(request, timed.completion())->resume();
    Outcome outcome = timed.first();

    EXPECT_EQ(errorCode(outcome), kURLErrorTimedOut);
    EXPECT_GE(secondsSince(start), kShortTimeout - 0.01);
    EXPECT_LT(secondsSince(start), 0.9);
  }
}

TEST_F(URLSessionFixture, ABodyBeyondTheRequestsBoundFailsWithoutBeingReadWhole) {
  constexpr std::size_t kBound = 64 * 1024;
  const std::string beyond(kBound + 1, 'a');
  // Announces a length beyond the bound and never sends a byte of it: only
  // the announcement can end this transfer.
  Response withheld = Response::text(200, std::string(kBound * 16, 'a'));
  withheld.sendableBytes = [] { return std::size_t{0}; };
  // A small encoded body that decodes beyond the bound: no announced
  // length tells, only the bytes as they arrive.
  Response encoded = Response::text(200, gzipped(beyond));
  encoded.headers = {{"Content-Encoding", "gzip"}};
  const struct {
    const char* name;
    Response answer;
    std::optional<std::size_t> bound;
    std::int64_t code;
    std::size_t bodySize;
  } cases[] = {
      {"exactly the bound", Response::text(200, std::string(kBound, 'a')), kBound, 0, kBound},
      {"one byte beyond it", Response::text(200, beyond), kBound, kURLErrorDataLengthExceedsMaximum, 0},
      {"announced beyond it, none sent", withheld, kBound, kURLErrorDataLengthExceedsMaximum, 0},
      {"beyond it once decoded", encoded, kBound, kURLErrorDataLengthExceedsMaximum, 0},
      {"no bound", Response::text(200, beyond), std::nullopt, 0, kBound + 1},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    server.on("/large", test.answer);
    CompletionRecorder recorder(delegateQueue);
    URLRequest request = requestFor("large");
    request.maximumBodyLength = test.bound;
    session->dataTask(request, recorder.completion())->resume();
    const Outcome outcome = recorder.first();
    EXPECT_EQ(errorCode(outcome), test.code);
    EXPECT_EQ(outcome.body.size(), test.bodySize);
    if (test.code != 0) {
      EXPECT_FALSE(outcome.error->localizedDescription().empty());
    }
  }
}

TEST_F(URLSessionFixture, ConnectionDroppedWithoutAnswerIsALostConnection) {
  server.on("/drop", Response::dropped());
  EXPECT_EQ(errorCode(fetch(requestFor("drop"))), kURLErrorNetworkConnectionLost);
}

TEST_F(URLSessionFixture, RefusedConnectionCannotConnectToHost) {
  // A bound socket that does not listen: connecting to its port is refused,
  // and no other test can take the port meanwhile.
  int descriptor = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(descriptor, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  socklen_t length = sizeof address;
  ASSERT_EQ(getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length), 0);

  Outcome outcome = fetch(URLRequest("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/"));
  close(descriptor);

  EXPECT_EQ(errorCode(outcome), kURLErrorCannotConnectToHost);
  EXPECT_FALSE(outcome.response);
}

// Only the web's schemes may be fetched, also at the end of a redirect: a
// URL out of an ad must not read local files.
TEST_F(URLSessionFixture, OnlyHTTPAndHTTPSAreFetched) {
  Response toFile;
  toFile.status = 302;
  toFile.headers = {{"Location", "file:///etc/hostname"}};
  server.on("/to-file", toFile);

  for (const std::string& url : {std::string("file:///etc/hostname"), std::string("ftp://127.0.0.1/x"),
                                 std::string(""), std::string("#"), std::string("not a url"), server.url("to-file")}) {
    SCOPED_TRACE(url);
    CompletionRecorder one(delegateQueue);
    session->dataTask(URLRequest(url), one.completion())->resume();
    Outcome outcome = one.first();
    EXPECT_EQ(errorCode(outcome), kURLErrorUnsupportedURL);
    EXPECT_TRUE(outcome.body.empty());
  }
}

TEST_F(URLSessionFixture, FieldsThatWouldSmuggleLinesAreNotSent) {
  server.on("/fields", Response::text(200, "ok"));
  URLRequest request = requestFor("fields");
  request.headers.add("X-Bad", "a\r\nX-Injected: 1");
  request.headers.add("Bad Name", "b");
  request.headers.add("X-Good", "c");

  Outcome outcome = fetch(request);

  ASSERT_FALSE(outcome.error);
  auto received = server.requests();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_FALSE(received[0].header("X-Injected"));
  EXPECT_FALSE(received[0].header("X-Bad"));
  EXPECT_EQ(received[0].header("X-Good"), "c");
}

TEST_F(URLSessionFixture, MethodThatIsNoTokenIsRefused) {
  URLRequest request = requestFor("any");
  request.httpMethod = "GET /other HTTP/1.1\r\nX-Injected: 1\r\n";
  EXPECT_EQ(errorCode(fetch(request)), kURLErrorUnsupportedURL);
  EXPECT_TRUE(server.requests().empty());
}

class TLSSessionTest : public ::testing::Test {
 protected:
  void SetUp() override { server.start(); }

  Outcome fetchWith(URLSessionConfiguration configuration, DataTaskOptions options) {
    URLSession session(std::move(configuration), delegateQueue);
    CompletionRecorder recorder(delegateQueue);
    session.dataTask(URLRequest(server.url("secure")), recorder.completion(), options)->resume();
    return recorder.first();
  }

  testserver::TestServer server{testserver::TestServerOptions{.tls = true}};
  DispatchQueuePtr delegateQueue = DispatchQueue::createSerial("test.urlsession.tls");
};

TEST_F(TLSSessionTest, UntrustedCertificateFailsUnlessVerificationIsSwitchedOff) {
  server.on("/secure", Response::text(200, "secret"));

  Outcome verified = fetchWith({}, {});
  EXPECT_EQ(errorCode(verified), kURLErrorSecureConnectionFailed);
  EXPECT_TRUE(verified.body.empty());

  URLSessionConfiguration lenient;
  lenient.tlsVerificationDisabled = true;
  Outcome sessionWide = fetchWith(lenient, {});
  EXPECT_FALSE(sessionWide.error);
  EXPECT_EQ(sessionWide.body, "secret");

  Outcome perTask = fetchWith({}, DataTaskOptions{.tlsVerificationDisabled = true});
  EXPECT_FALSE(perTask.error);
  EXPECT_EQ(perTask.body, "secret");
}

// Transfers share easy handles: one task's trust must not stay behind for
// the next task of the same session.
TEST_F(TLSSessionTest, ATaskTrustingItsHostLeavesNoTrustForTheNextTask) {
  server.on("/secure", Response::text(200, "secret"));
  URLSession session({}, delegateQueue);
  CompletionRecorder recorder(delegateQueue);
  session.dataTask(URLRequest(server.url("secure")), recorder.completion(1), {.tlsVerificationDisabled = true})
      ->resume();
  ASSERT_TRUE(recorder.waitFor(1));
  session.dataTask(URLRequest(server.url("secure")), recorder.completion(2))->resume();
  ASSERT_TRUE(recorder.waitFor(2));

  const auto outcomes = recorder.outcomes();
  EXPECT_FALSE(outcomes[0].error);
  EXPECT_EQ(outcomes[0].body, "secret");
  EXPECT_EQ(errorCode(outcomes[1]), kURLErrorSecureConnectionFailed);
  EXPECT_TRUE(outcomes[1].body.empty());
}

// Trust given to one host must not carry over to the host a redirect names.
TEST_F(TLSSessionTest, TaskTrustingItsHostFollowsNoRedirect) {
  Response moved;
  moved.status = 302;
  moved.headers = {{"Location", "https://elsewhere.invalid/secure"}};
  server.on("/secure", moved);

  Outcome perTask = fetchWith({}, DataTaskOptions{.tlsVerificationDisabled = true});

  EXPECT_FALSE(perTask.error);
  ASSERT_TRUE(perTask.response);
  EXPECT_EQ(perTask.response->statusCode, 302);
}

}  // namespace
}  // namespace plexora::platform
