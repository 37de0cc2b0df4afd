// Downloads the resource cache's images, data and videos into its files on
// disk and hands them back, and serves the byte requests of the video
// engine's remote assets.
//
// Cache fetches never block: a fetch starts on the caller's thread and goes
// on where its download completes, so no pool thread waits for the URL
// session's queue (which needs a pool thread of its own). Each attempt uses
// the cache file when it is there (an empty file, or an image file that does
// not decode, is deleted and fetched again), else downloads the whole
// resource and writes it to the file atomically, without a flush to the disk:
// readers see a file complete or absent, and one a crash left empty is
// fetched again. A download
// fails, and nothing is written, on a transport error, an HTTP status outside
// 2xx, a body over the size bound, or an image that does not decode. The
// caller's retry block is asked before every attempt, the first included;
// when no attempt delivers, no result block is called. The finished block,
// when given, is called once at the very end: after the result block, or
// once no attempt is left.
//
// An engine loading request either receives its response, content
// information and the bytes of the range it asked for, then finishLoading,
// or it receives finishLoadingWithError; never a success without bytes. A
// cancelled request is answered no more.
//
// Thread safety: every member may be called from any thread. The blocks of
// a fetch run one at a time: on the caller's thread until the first
// download starts, then on a default global queue thread. Engine requests
// are answered on the URL session's queue.
// Ownership: the shared loader lives for the process (without a range
// store); a fetch in progress holds the loader and its blocks until it has
// finished. The loader holds the URL-session request of each engine request
// it serves until that request is answered or cancelled; it holds the
// engine's request itself only weakly, and its range store strongly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/foundation/Bytes.h"
#include "platform/foundation/URL.h"
#include "util/cache/OVAdCacheFetchType.h"
#include "util/qnv/asset/QNVAssetResourceLoading.h"

namespace plexora::platform {
class Image;
}

namespace plexora {

class OVAdByteRangeStore;
class OVAdURLSession;
class OVAdURLSessionTaskContainer;

struct OVAdResourceLoaderLimits {
  // Larger resources fail: a creative is never more than a few megabytes.
  std::size_t maximumResourceBytes = std::size_t{64} * 1024 * 1024;
  // Seconds for one whole download, connecting included.
  double downloadTimeout = 60.0;
};

class OVAdResourceLoader final : public QNVAssetResourceLoaderDelegate,
                                 public std::enable_shared_from_this<OVAdResourceLoader> {
 public:
  // Answers whether another attempt may follow.
  using RetryBlock = std::function<bool()>;
  // The flag tells whether the resource was downloaded just now (false when
  // it came from its cache file).
  using ImageBlock = std::function<void(std::shared_ptr<platform::Image> image, bool downloaded)>;
  using DataBlock = std::function<void(std::shared_ptr<const platform::Bytes> data, bool downloaded)>;
  using VideoBlock = std::function<void(const platform::URL& fileURL, bool downloaded)>;
  // Whether a result block was called.
  using FinishedBlock = std::function<void(bool delivered)>;

  // Fetches through the shared URL session.
  static std::shared_ptr<OVAdResourceLoader> sharedResourceLoader();
  // With a range store, the engine's ranged requests that do not bypass the
  // cache are answered from it when it holds all of their bytes, and the
  // ranges downloaded for them are kept in it.
  static std::shared_ptr<OVAdResourceLoader> create(std::shared_ptr<OVAdURLSession> session,
                                                    OVAdResourceLoaderLimits limits = {},
                                                    std::shared_ptr<OVAdByteRangeStore> rangeStore = nullptr);

  OVAdResourceLoader(const OVAdResourceLoader&) = delete;
  OVAdResourceLoader& operator=(const OVAdResourceLoader&) = delete;

  const OVAdResourceLoaderLimits& limits() const { return limits_; }

  // `cacheFileURL` is a file URL. A null retry block allows one attempt.
  // Only the block of the fetch type is called (when given).
  void fetchCacheObjectAtURL(const platform::URL& url, const platform::URL& cacheFileURL, OVAdCacheFetchType fetchType,
                             RetryBlock retryBlock, ImageBlock imageBlock, DataBlock dataBlock, VideoBlock videoBlock,
                             FinishedBlock finishedBlock = nullptr);
  void fetchImageAtURL(const platform::URL& url, const platform::URL& cacheFileURL, RetryBlock retryBlock,
                       ImageBlock imageBlock, FinishedBlock finishedBlock = nullptr);
  void fetchDataAtURL(const platform::URL& url, const platform::URL& cacheFileURL, RetryBlock retryBlock,
                      DataBlock dataBlock, FinishedBlock finishedBlock = nullptr);
  void fetchVideoAtURL(const platform::URL& url, const platform::URL& cacheFileURL, RetryBlock retryBlock,
                       VideoBlock videoBlock, FinishedBlock finishedBlock = nullptr);

  // The engine's requests. Loading fetches the request's URL (with a Range
  // header for a partial range) through the URL session.
  void resourceLoaderLoadRequest(const std::shared_ptr<QNVAssetResourceLoader>& resourceLoader,
                                 const std::shared_ptr<QNVAssetResourceLoadingRequest>& loadingRequest) override;
  // Cancels the URL-session request that serves it; nothing when there is
  // none.
  void resourceLoaderCancelLoadingRequest(
      const std::shared_ptr<QNVAssetResourceLoader>& resourceLoader,
      const std::shared_ptr<QNVAssetResourceLoadingRequest>& loadingRequest) override;
  // Always false: nothing is prefetched.
  bool resourceLoaderHasPrefetchedDataForUrl(const std::shared_ptr<QNVAssetResourceLoader>& resourceLoader,
                                             const platform::URL& url) override;

  // Engine requests being served.
  std::size_t pendingVideoRequestCount() const;

 private:
  struct PendingVideoRequest {
    std::weak_ptr<QNVAssetResourceLoadingRequest> loadingRequest;
    std::shared_ptr<OVAdURLSessionTaskContainer> sessionRequest;
  };
  // Keyed by the engine request's address; the entry holds the request
  // itself only weakly.
  using PendingVideoRequests = std::map<const QNVAssetResourceLoadingRequest*, PendingVideoRequest>;

  // One cache fetch in progress.
  struct Fetch;
  enum class AttemptOutcome { Delivered, Failed, Downloading };
  using DownloadBlock = std::function<void(std::optional<platform::Bytes> body)>;

  OVAdResourceLoader(std::shared_ptr<OVAdURLSession> session, OVAdResourceLoaderLimits limits,
                     std::shared_ptr<OVAdByteRangeStore> rangeStore);

  // Makes attempts while the retry block allows, until one delivers or
  // starts a download (whose completion goes on from here).
  void runAttempts(const std::shared_ptr<Fetch>& fetch);
  AttemptOutcome startAttempt(const std::shared_ptr<Fetch>& fetch);
  // Writes and delivers what a download brought; answers whether it
  // delivered.
  bool completeDownload(const Fetch& fetch, const std::string& path, std::optional<platform::Bytes> body);
  // Reads the cache file; answers whether it delivered. An unusable file is
  // removed.
  bool deliverCacheFile(const Fetch& fetch, const std::string& path);
  // Answers the whole body of a 2xx answer within the size bound, or none,
  // on the URL session's queue.
  void download(const platform::URL& url, DownloadBlock done) const;

  // Takes the entry out when it is still served by `sessionRequest` (any
  // session request when null); answers whether there was one.
  std::optional<PendingVideoRequest> removeVideoRequestForKey(
      const QNVAssetResourceLoadingRequest* loadingRequest,
      const std::shared_ptr<OVAdURLSessionTaskContainer>& sessionRequest);

  const std::shared_ptr<OVAdURLSession> session_;
  const OVAdResourceLoaderLimits limits_;
  const std::shared_ptr<OVAdByteRangeStore> rangeStore_;
  mutable std::mutex pendingMutex_;
  PendingVideoRequests pendingVideoRequests_;
};

}  // namespace plexora
