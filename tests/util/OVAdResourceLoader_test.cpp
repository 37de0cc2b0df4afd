// The resource loader's cache fetches against a loopback server and a real
// caches directory: where results come from, how many attempts are made,
// that a failed fetch leaves no file behind, and that many fetches at once
// neither wait for each other nor hold pool threads.
#include "util/OVAdResourceLoader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "adapters/views/video/OVInstreamAdChoicesIcon.h"
#include "platform/dispatch/DispatchSync.h"
#include "platform/foundation/Files.h"
#include "util/cache/OVAdCacheTestSupport.h"

namespace plexora {
namespace {

using namespace std::chrono_literals;
using testing::filesBelow;
using testing::pngBytes;
using testserver::Response;

struct Delivery {
  int calls = 0;
  std::string bytes;
  bool downloaded = false;
  std::shared_ptr<platform::Image> image;
  std::optional<platform::URL> fileURL;
};

class OVAdResourceLoaderTest : public testing::ResourceFixture {
 protected:
  // A retry block allowing `attempts` attempts, counting how often it is asked.
  OVAdResourceLoader::RetryBlock allowing(int attempts) {
    return [this, attempts] { return ++retryQuestions_ <= attempts; };
  }
  OVAdResourceLoader::DataBlock recordData() {
    return [this](std::shared_ptr<const platform::Bytes> data, bool downloaded) {
      ++delivery_.calls;
      delivery_.bytes = data ? std::string(data->begin(), data->end()) : "";
      delivery_.downloaded = downloaded;
    };
  }
  OVAdResourceLoader::ImageBlock recordImage() {
    return [this](std::shared_ptr<platform::Image> image, bool downloaded) {
      ++delivery_.calls;
      delivery_.image = std::move(image);
      delivery_.downloaded = downloaded;
    };
  }
  OVAdResourceLoader::VideoBlock recordVideo() {
    return [this](const platform::URL& fileURL, bool downloaded) {
      ++delivery_.calls;
      delivery_.fileURL = fileURL;
      delivery_.downloaded = downloaded;
    };
  }
  static void writeFile(const platform::URL& fileURL, const std::string& bytes) {
    const std::filesystem::path path = *fileURL.filePath();
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string readFile(const platform::URL& fileURL) {
    const auto bytes = platform::readFile(*fileURL.filePath());
    return bytes ? std::string(bytes->begin(), bytes->end()) : "<none>";
  }

  // Ends the fetch under way; awaitFinish() waits for it.
  OVAdResourceLoader::FinishedBlock finished() {
    return [this](bool delivered) {
      delivered_ = delivered;
      finished_.signal();
    };
  }
  bool awaitFinish() { return finished_.wait(kFetchPatience); }

  // Well beyond the test loader's download timeout.
  static constexpr double kFetchPatience = 10.0;
  int retryQuestions_ = 0;
  Delivery delivery_;
  bool delivered_ = false;
  platform::DispatchSemaphore finished_;
};

TEST_F(OVAdResourceLoaderTest, DataIsDownloadedOnceThenReadFromItsFile) {
  // The process's first request may outlast the fixture's short timeout on
  // a slow build (under a race detector it took just over a second), and
  // the retry that follows is a second download this test cannot tell
  // from a fault.
  loader_ = OVAdResourceLoader::create(session_, {testing::kTestMaximumResourceBytes, kFetchPatience / 2});
  server_.on("/creative.json", Response::text(200, "{\"a\":1}"));
  const platform::URL file = cacheFileURL(OVAdCacheFetchType::Data, "/creative.json");

  loader_->fetchDataAtURL(url("/creative.json"), file, allowing(2), recordData(), finished());
  ASSERT_TRUE(awaitFinish());
  EXPECT_EQ(delivery_.calls, 1);
  EXPECT_EQ(delivery_.bytes, "{\"a\":1}");
  EXPECT_TRUE(delivery_.downloaded);
  EXPECT_EQ(readFile(file), "{\"a\":1}");

  // Each fetch has attempts of its own to spend.
  delivery_ = {};
  retryQuestions_ = 0;
  loader_->fetchDataAtURL(url("/creative.json"), file, allowing(2), recordData(), finished());
  ASSERT_TRUE(awaitFinish());
  EXPECT_EQ(delivery_.calls, 1);
  EXPECT_EQ(delivery_.bytes, "{\"a\":1}");
  EXPECT_FALSE(delivery_.downloaded);
  EXPECT_EQ(requestsFor("/creative.json"), 1U);
}

TEST_F(OVAdResourceLoaderTest, TheVideoAdsChoicesIconLoadsFromItsDataURL) {
  const auto icon = OVInstreamAdChoicesIcon::init();
  ASSERT_TRUE(icon && icon->url());
  const platform::URL file = *OVAdCacheFileURL(OVAdCacheFetchType::Image, *icon->url());

  loader_->fetchImageAtURL(*icon->url(), file, allowing(2), recordImage(), finished());
  ASSERT_TRUE(awaitFinish());
  EXPECT_TRUE(delivered_);
  EXPECT_EQ(delivery_.calls, 1);
  ASSERT_TRUE(delivery_.image);
  EXPECT_EQ(delivery_.image->pixelWidth(), 24u);
  EXPECT_EQ(delivery_.image->pixelHeight(), 24u);
  EXPECT_TRUE(server_.requests().empty());
}

TEST_F(OVAdResourceLoaderTest, VideoWhoseFileExistsIsDeliveredWithoutDownload) {
  const platform::URL file = cacheFileURL(OVAdCacheFetchType::Video, "/ad.mp4");
  writeFile(file, "movie");

  loader_->fetchVideoAtURL(url("/ad.mp4"), file, allowing(2), recordVideo(), finished());
  ASSERT_TRUE(awaitFinish());
  ASSERT_EQ(delivery_.calls, 1);
  EXPECT_EQ(delivery_.fileURL, file);
  EXPECT_EQ(requestsFor("/ad.mp4"), 0U);
}

TEST_F(OVAdResourceLoaderTest, DownloadedVideoIsDeliveredAsItsFile) {
  server_.on("/ad.mp4", Response::text(200, "movie bytes"));
  const platform::URL file = cacheFileURL(OVAdCacheFetchType::Video, "/ad.mp4");

  loader_->fetchVideoAtURL(url("/ad.mp4"), file, allowing(2), recordVideo(), finished());
  ASSERT_TRUE(awaitFinish());
  ASSERT_EQ(delivery_.calls, 1);
  EXPECT_EQ(delivery_.fileURL, file);
  EXPECT_TRUE(delivery_.downloaded);
  EXPECT_EQ(readFile(file), "movie bytes");
}

TEST_F(OVAdResourceLoaderTest, ImageFileThatDoesNotDecodeIsReplacedByADownload) {
  const std::string png = pngBytes(3, 2);
  server_.on("/logo.png", Response::text(200, png));
  const platform::URL file = cacheFileURL(OVAdCacheFetchType::Image, "/logo.png");
  writeFile(file, "not an image");

  loader_->fetchImageAtURL(url("/logo.png"), file, allowing(2), recordImage(), finished());
  ASSERT_TRUE(awaitFinish());
  ASSERT_EQ(delivery_.calls, 1);
  ASSERT_NE(delivery_.image, nullptr);
  EXPECT_EQ(delivery_.image->pixelWidth(), 3U);
  EXPECT_TRUE(delivery_.downloaded);
  EXPECT_EQ(readFile(file), png);
  EXPECT_EQ(retryQuestions_, 1) << "the replacement happens within the first attempt";
}

// A write that was never flushed can leave an empty file after a crash;
// whatever the type, it is taken for torn and replaced by a download.
TEST_F(OVAdResourceLoaderTest, EmptyCacheFileOfEveryTypeIsReplacedByADownload) {
  const std::string png = pngBytes(3, 2);
  const struct {
    OVAdCacheFetchType fetchType;
    const char* path;
    std::string body;
  } cases[] = {
      {OVAdCacheFetchType::Data, "/creative.json", "{\"a\":1}"},
      {OVAdCacheFetchType::Image, "/logo.png", png},
      {OVAdCacheFetchType::Video, "/ad.mp4", "movie bytes"},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.path);
    server_.on(row.path, Response::text(200, row.body));
    const platform::URL file = cacheFileURL(row.fetchType, row.path);
    writeFile(file, "");
    delivery_ = {};

    loader_->fetchCacheObjectAtURL(url(row.path), file, row.fetchType, nullptr, recordImage(), recordData(),
                                   recordVideo(), finished());
    ASSERT_TRUE(awaitFinish());
    EXPECT_TRUE(delivered_);
    EXPECT_EQ(delivery_.calls, 1);
    EXPECT_TRUE(delivery_.downloaded);
    EXPECT_EQ(requestsFor(row.path), 1U);
    EXPECT_EQ(readFile(file), row.body);
  }
}

// Each bad answer fails both attempts: no block is called and no file (nor a
// temporary one) is left in the cache.
struct BadAnswer {
  const char* name;
  OVAdCacheFetchType fetchType;
  Response response;
  friend void PrintTo(const BadAnswer& answer, std::ostream* out) { *out << answer.name; }
};

class OVAdResourceLoaderBadAnswerTest : public OVAdResourceLoaderTest,
                                        public ::testing::WithParamInterface<BadAnswer> {};

TEST_P(OVAdResourceLoaderBadAnswerTest, FailsEveryAttemptAndLeavesNoFile) {
  const BadAnswer& bad = GetParam();
  server_.on("/resource", bad.response);
  const platform::URL file = cacheFileURL(bad.fetchType, "/resource");

  loader_->fetchCacheObjectAtURL(url("/resource"), file, bad.fetchType, allowing(2), recordImage(), recordData(),
                                 recordVideo(), finished());
  ASSERT_TRUE(awaitFinish());
  EXPECT_EQ(delivery_.calls, 0);
  EXPECT_EQ(retryQuestions_, 3) << "asked before each of two attempts, and once more";
  EXPECT_EQ(requestsFor("/resource"), 2U);
  EXPECT_TRUE(filesBelow(cacheRoot()).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Answers, OVAdResourceLoaderBadAnswerTest,
    ::testing::Values(BadAnswer{"ImageNotFound", OVAdCacheFetchType::Image, Response::text(404, "missing")},
                      BadAnswer{"DataServerError", OVAdCacheFetchType::Data, Response::text(500, "oops")},
                      BadAnswer{"ImageGarbage", OVAdCacheFetchType::Image, Response::text(200, "GIF89a? no")},
                      BadAnswer{"ImageEmpty", OVAdCacheFetchType::Image, Response::text(200, "")},
                      BadAnswer{"ImageDropped", OVAdCacheFetchType::Image, Response::dropped()},
                      BadAnswer{"VideoOverSizeBound", OVAdCacheFetchType::Video,
                                Response::text(200, std::string(testing::kTestMaximumResourceBytes + 1, 'v'))},
                      BadAnswer{"DataSlowerThanTimeout", OVAdCacheFetchType::Data, Response::text(200, "late", 3s)}),
    [](const ::testing::TestParamInfo<BadAnswer>& info) { return std::string(info.param.name); });

TEST_F(OVAdResourceLoaderTest, DownloadCutShortLeavesNoFile) {
  testing::RawHTTPServer truncating(testing::RawHTTPServer::answer(1000, std::string(10, 'x')));
  const platform::URL remote = testing::parsedURL(truncating.url("/ad.mp4"));
  const platform::URL file = *OVAdCacheFileURL(OVAdCacheFetchType::Video, remote);

  loader_->fetchVideoAtURL(remote, file, allowing(2), recordVideo(), finished());
  ASSERT_TRUE(awaitFinish());
  EXPECT_EQ(delivery_.calls, 0);
  EXPECT_EQ(truncating.connections(), 2);
  EXPECT_TRUE(filesBelow(cacheRoot()).empty());
}

TEST_F(OVAdResourceLoaderTest, UnwritableCacheFolderFailsEveryAttempt) {
  server_.on("/creative.json", Response::text(200, "{}"));
  // The cache file's folder would have to be made below a regular file.
  const std::filesystem::path blocker = caches_.path() / "blocker";
  std::ofstream(blocker) << "a file, not a folder";
  const platform::URL file = *platform::URL::fromFilePath((blocker / "data" / "x.data").string());

  loader_->fetchDataAtURL(url("/creative.json"), file, allowing(2), recordData(), finished());
  ASSERT_TRUE(awaitFinish());
  EXPECT_EQ(delivery_.calls, 0);
  EXPECT_EQ(requestsFor("/creative.json"), 2U);
}

TEST_F(OVAdResourceLoaderTest, SecondAttemptDeliversAfterAFailedFirst) {
  server_.enqueue("/logo.png", Response::text(503, "busy"));
  server_.on("/logo.png", Response::text(200, pngBytes(2, 2)));

  loader_->fetchImageAtURL(url("/logo.png"), cacheFileURL(OVAdCacheFetchType::Image, "/logo.png"), allowing(2),
                           recordImage(), finished());
  ASSERT_TRUE(awaitFinish());
  EXPECT_EQ(delivery_.calls, 1);
  EXPECT_NE(delivery_.image, nullptr);
  EXPECT_EQ(retryQuestions_, 2);
}

TEST_F(OVAdResourceLoaderTest, WithoutRetryBlockOneAttemptIsMade) {
  server_.on("/creative.json", Response::text(404, ""));

  loader_->fetchDataAtURL(url("/creative.json"), cacheFileURL(OVAdCacheFetchType::Data, "/creative.json"), nullptr,
                          recordData(), finished());
  ASSERT_TRUE(awaitFinish());
  EXPECT_EQ(delivery_.calls, 0);
  EXPECT_EQ(requestsFor("/creative.json"), 1U);
}

}  // namespace
}  // namespace plexora
