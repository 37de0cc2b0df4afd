// The resource loader serving the video engine's loading requests: the range
// arithmetic, and requests answered by a loopback server that honours or
// ignores ranges, fails, or is cancelled.
#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <optional>
#include <string>

#include "platform/net/URLError.h"
#include "support/doubles/VideoResourceLoadingRequestDouble.h"
#include "util/cache/OVAdCacheTestSupport.h"
#include "util/OVAdResourceLoader.h"
#include "util/OVAdResourceLoaderByteRange.h"

namespace plexora {
namespace {

using namespace std::chrono_literals;
using testing::LoadingRequestDouble;
using testserver::Response;

TEST(OVAdResourceLoaderByteRangeTest, RangeHeaderValues) {
  struct Case {
    std::int64_t offset;
    std::int64_t length;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {0, 0, std::nullopt},
      {0, -5, std::nullopt},
      {0, 10, "bytes=0-9"},
      {100, 1, "bytes=100-100"},
      {100, 0, "bytes=100-"},
      {-1, 10, std::nullopt},
      {INT64_MAX - 1, 2, "bytes=9223372036854775806-9223372036854775807"},
      {INT64_MAX, 2, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OVAdRangeHeaderValue(c.offset, c.length), c.expected) << c.offset << "+" << c.length;
  }
}

TEST(OVAdResourceLoaderByteRangeTest, ContentRangeParsing) {
  const auto full = OVAdParseContentRange("bytes 10-19/100");
  ASSERT_TRUE(full);
  EXPECT_EQ(full->first, 10);
  EXPECT_EQ(full->last, 19);
  EXPECT_EQ(full->total, 100);
  const auto unknownTotal = OVAdParseContentRange("bytes 0-4/*");
  ASSERT_TRUE(unknownTotal);
  EXPECT_FALSE(unknownTotal->total);

  for (const char* bad : {"", "bytes 5-4/10", "bytes 0-9/9", "items 0-1/2", "bytes 0-1", "bytes -1-2/5",
                          "bytes 0-99999999999999999999/5", "bytes a-b/c"}) {
    EXPECT_FALSE(OVAdParseContentRange(bad)) << bad;
  }
}

TEST(OVAdResourceLoaderByteRangeTest, ServedRangeOfAnswers) {
  // A 206 that starts before the offset is cut to it; one that starts after
  // cannot serve it.
  auto served = OVAdServedRangeForAnswer(206, "bytes 8-15/40", std::nullopt, 8, 10, 4);
  ASSERT_TRUE(served);
  EXPECT_EQ(served->contentLength, 40);
  EXPECT_EQ(served->bodyStart, 2U);
  EXPECT_EQ(served->bodyLength, 4U);
  EXPECT_TRUE(served->byteRangeAccessSupported);
  EXPECT_FALSE(OVAdServedRangeForAnswer(206, "bytes 12-15/40", std::nullopt, 4, 10, 4));
  // The Content-Range must match the body it came with.
  EXPECT_FALSE(OVAdServedRangeForAnswer(206, "bytes 8-15/40", std::nullopt, 5, 8, 0));
  EXPECT_FALSE(OVAdServedRangeForAnswer(206, std::nullopt, std::nullopt, 5, 0, 0));

  // A whole resource is sliced here; a range past its end serves nothing.
  served = OVAdServedRangeForAnswer(200, std::nullopt, "bytes", 10, 6, 100);
  ASSERT_TRUE(served);
  EXPECT_EQ(served->contentLength, 10);
  EXPECT_EQ(served->bodyStart, 6U);
  EXPECT_EQ(served->bodyLength, 4U);
  EXPECT_TRUE(served->byteRangeAccessSupported);
  EXPECT_FALSE(OVAdServedRangeForAnswer(200, std::nullopt, std::nullopt, 10, 10, 0));
  EXPECT_FALSE(OVAdServedRangeForAnswer(200, std::nullopt, std::nullopt, 0, 0, 0));
}

constexpr const char* kResource = "0123456789abcdefghijklmnopqrstuvwxyz";

class OVAdResourceLoaderEngineTest : public testing::ResourceFixture {
 protected:
  std::shared_ptr<LoadingRequestDouble> load(const std::string& path, std::int64_t offset, std::int64_t length) {
    auto request = std::make_shared<LoadingRequestDouble>(server_.url(path), offset, length);
    loader_->resourceLoaderLoadRequest(nullptr, request);
    return request;
  }
};

TEST_F(OVAdResourceLoaderEngineTest, WholeResourceIsServedWithItsLength) {
  server_.on("/video.mp4", Response::text(200, kResource));
  const auto request = load("/video.mp4", 0, 0);

  ASSERT_TRUE(request->waitForFinish());
  EXPECT_FALSE(request->error());
  ASSERT_TRUE(request->response());
  EXPECT_EQ(request->response()->statusCode, 200);
  EXPECT_EQ(request->data().received(), kResource);
  EXPECT_EQ(request->information().contentLength(), 36);
  EXPECT_FALSE(server_.requests().front().header("Range"));
  EXPECT_EQ(loader_->pendingVideoRequestCount(), 0U);
}

TEST_F(OVAdResourceLoaderEngineTest, RangeIsAskedOfTheServerAndServed) {
  testing::RawHTTPServer ranged(testing::RawHTTPServer::partialAnswer("bytes 10-14/36", "abcde"));
  auto request = std::make_shared<LoadingRequestDouble>(ranged.url("/video.mp4"), 10, 5);
  loader_->resourceLoaderLoadRequest(nullptr, request);

  ASSERT_TRUE(request->waitForFinish());
  EXPECT_FALSE(request->error());
  ASSERT_EQ(ranged.requestHeads().size(), 1U);
  EXPECT_NE(ranged.requestHeads().front().find("\r\nRange: bytes=10-14\r\n"), std::string::npos);
  EXPECT_EQ(request->data().received(), "abcde");
  EXPECT_EQ(request->data().currentOffset(), 15);
  EXPECT_EQ(request->information().contentLength(), 36) << "the whole resource's size, not the range's";
  EXPECT_EQ(request->information().contentType(), "video/mp4");
  EXPECT_TRUE(request->information().byteRangeAccessSupported());
}

TEST_F(OVAdResourceLoaderEngineTest, ServerIgnoringTheRangeIsSlicedHere) {
  const std::string resource = kResource;
  testing::RawHTTPServer ignoring(testing::RawHTTPServer::answer(resource.size(), resource));
  auto request = std::make_shared<LoadingRequestDouble>(ignoring.url("/video.mp4"), 30, 100);
  loader_->resourceLoaderLoadRequest(nullptr, request);

  ASSERT_TRUE(request->waitForFinish());
  EXPECT_FALSE(request->error());
  EXPECT_EQ(request->response()->statusCode, 200);
  EXPECT_EQ(request->data().received(), "uvwxyz") << "as far as the resource reaches";
  EXPECT_EQ(request->information().contentLength(), 36);
  EXPECT_FALSE(request->information().byteRangeAccessSupported());
}

// Never a success without bytes: each of these ends with an error only.
struct FailingAnswer {
  const char* name;
  Response response;
  std::int64_t offset;
  std::int64_t expectedCode;
  friend void PrintTo(const FailingAnswer& answer, std::ostream* out) { *out << answer.name; }
};

class OVAdResourceLoaderEngineFailureTest : public OVAdResourceLoaderEngineTest,
                                            public ::testing::WithParamInterface<FailingAnswer> {};

TEST_P(OVAdResourceLoaderEngineFailureTest, EndsWithAnErrorAndNoBytes) {
  const FailingAnswer& failing = GetParam();
  server_.on("/video.mp4", failing.response);
  const auto request = load("/video.mp4", failing.offset, 0);

  ASSERT_TRUE(request->waitForFinish());
  platform::DispatchQueue::settle();
  EXPECT_EQ(request->finishCount(), 1);
  ASSERT_TRUE(request->error());
  EXPECT_EQ(request->error()->domain(), platform::kURLErrorDomain);
  EXPECT_EQ(request->error()->code(), failing.expectedCode);
  EXPECT_EQ(request->data().received(), "");
  EXPECT_EQ(loader_->pendingVideoRequestCount(), 0U);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, OVAdResourceLoaderEngineFailureTest,
    ::testing::Values(
        FailingAnswer{"NotFound", Response::text(404, "missing"), 0, platform::kURLErrorBadServerResponse},
        FailingAnswer{"EmptyBody", Response::text(200, ""), 0, -1014},
        FailingAnswer{"OffsetPastTheEnd", Response::text(200, "short"), 50, platform::kURLErrorBadServerResponse},
        FailingAnswer{"OverSizeBound", Response::text(200, std::string(testing::kTestMaximumResourceBytes + 1, 'v')), 0,
                      -1103},
        FailingAnswer{"Dropped", Response::dropped(), 0, platform::kURLErrorNetworkConnectionLost},
        FailingAnswer{"NegativeOffset", Response::text(200, kResource), -4, platform::kURLErrorUnsupportedURL}),
    [](const ::testing::TestParamInfo<FailingAnswer>& info) { return std::string(info.param.name); });

TEST_F(OVAdResourceLoaderEngineTest, CancelledRequestIsNeverAnswered) {
  server_.on("/video.mp4", Response::text(200, kResource, 2s));
  const auto request = load("/video.mp4", 0, 0);
  ASSERT_TRUE(server_.waitForRequests(1, 2s));
  EXPECT_EQ(loader_->pendingVideoRequestCount(), 1U);

  loader_->resourceLoaderCancelLoadingRequest(nullptr, request);
  EXPECT_EQ(loader_->pendingVideoRequestCount(), 0U);
  platform::DispatchQueue::settle();
  EXPECT_EQ(request->finishCount(), 0);
  EXPECT_FALSE(request->response());

  // Cancelling again, or a request never loaded, does nothing.
  loader_->resourceLoaderCancelLoadingRequest(nullptr, request);
  loader_->resourceLoaderCancelLoadingRequest(nullptr, std::make_shared<LoadingRequestDouble>("http://x/", 0, 0));
}

}  // namespace
}  // namespace plexora
