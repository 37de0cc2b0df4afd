// How the video engine's assets get their bytes: they never fetch anything
// themselves. Each asset owns a QNVAssetResourceLoader (the engine's holder
// of a fetcher and the queue to call it on); the fetcher installed there is a
// QNVAssetResourceLoaderDelegate. For every byte range it wants, the engine
// hands the fetcher a QNVAssetResourceLoadingRequest, and the fetcher answers
// through that request: the response, the content information, the bytes,
// and exactly one of finishLoading or finishLoadingWithError.
//
// These are the interfaces only; the engine provides the request objects and
// the resource loader, the library provides the fetcher (OVAdResourceLoader).
//
// Thread safety: the engine calls the delegate only on the delegate queue it
// named for the asset; a fetcher may answer a request from any thread, since
// the engine's completion callbacks hop to their own queue.
// Ownership: the engine owns its requests; a fetcher keeps a request only
// while it serves it. The resource loader holds its delegate weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/Bytes.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLRequest.h"

namespace plexora {

// The engine's per-asset holder of the fetcher, its queue and tags.
class QNVAssetResourceLoader;

// What the fetcher learns about the whole resource, filled in before the
// request completes.
class QNVAssetResourceLoadingContentInformationRequest {
 public:
  virtual ~QNVAssetResourceLoadingContentInformationRequest() = default;

  // Total size of the resource in bytes (not of the range served).
  virtual void setContentLength(std::int64_t contentLength) = 0;
  virtual void setContentType(std::string contentType) = 0;
  virtual void setByteRangeAccessSupported(bool byteRangeAccessSupported) = 0;
};

// The byte range the engine wants and where the bytes go.
class QNVAssetResourceLoadingDataRequest {
 public:
  virtual ~QNVAssetResourceLoadingDataRequest() = default;

  // First byte wanted.
  virtual std::int64_t requestedOffset() const = 0;
  // Bytes wanted; 0 (or less) asks for everything from the offset on, so
  // offset 0 and length 0 ask for the whole resource.
  virtual std::int64_t requestedLength() const = 0;
  // Where the next answered byte belongs; starts at requestedOffset.
  virtual std::int64_t currentOffset() const = 0;
  // Hands over the next bytes, in order, starting at currentOffset, which
  // then moves on by their length.
  virtual void respondWithData(platform::ByteView data) = 0;
};

class QNVAssetResourceLoadingRequest {
 public:
  virtual ~QNVAssetResourceLoadingRequest() = default;

  // The URL to fetch. The byte range is in the data request, not here.
  virtual const platform::URLRequest& request() const = 0;
  // Null when the engine asks for no content information.
  virtual std::shared_ptr<QNVAssetResourceLoadingContentInformationRequest> contentInformationRequest() const = 0;
  // Null when the engine asks for no bytes.
  virtual std::shared_ptr<QNVAssetResourceLoadingDataRequest> dataRequest() const = 0;

  virtual void setResponse(const platform::HTTPURLResponse& response) = 0;
  // Completes the request without error.
  virtual void finishLoading() = 0;
  virtual void finishLoadingWithError(const platform::Error& error) = 0;
};

// The fetcher. The three operations all begin with the same keyword, so
// their names carry every keyword.
class QNVAssetResourceLoaderDelegate {
 public:
  virtual ~QNVAssetResourceLoaderDelegate() = default;

  // Starts serving the request.
  virtual void resourceLoaderLoadRequest(const std::shared_ptr<QNVAssetResourceLoader>& resourceLoader,
                                         const std::shared_ptr<QNVAssetResourceLoadingRequest>& loadingRequest) = 0;
  // Stops serving it: the request is answered no more.
  virtual void resourceLoaderCancelLoadingRequest(
      const std::shared_ptr<QNVAssetResourceLoader>& resourceLoader,
      const std::shared_ptr<QNVAssetResourceLoadingRequest>& loadingRequest) = 0;
  // Whether the bytes of the URL are already at hand.
  virtual bool resourceLoaderHasPrefetchedDataForUrl(const std::shared_ptr<QNVAssetResourceLoader>& resourceLoader,
                                                     const platform::URL& url) = 0;
};

}  // namespace plexora
