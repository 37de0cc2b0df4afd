#include "util/OVAdResourceLoader.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <utility>

#include "platform/foundation/Files.h"
#include "platform/net/URLRequest.h"
#include "platform/ui/Image.h"
#include "server/OVAdURLSession.h"
#include "util/OVAdLogger.h"

namespace plexora {

namespace {

constexpr const char* kFetchingFromFileMessage = "Fetching resource type %ld with file url %s...";
constexpr const char* kFetchingFromRemoteMessage = "Fetching resource type %ld with remote url %s...";
constexpr const char* kSavedMessage = "Saved local cache file to %s.";
constexpr const char* kFailedToSaveMessage = "Failed to save local cache file: %s";

// Images of the cache are decoded at scale 1, as the server sizes them.
constexpr double kImageScale = 1.0;
// Beyond the transfer's own time limit, how long a download may wait for the
// session to start it (it holds requests back until it knows its user agent).
constexpr double kSessionStartAllowance = OVAdURLSession::kUserAgentWaitLimit + 5.0;
constexpr long kFirstSuccessStatus = 200;
constexpr long kFirstRedirectStatus = 300;

long typeNumber(OVAdCacheFetchType fetchType) { return static_cast<long>(fetchType); }

std::shared_ptr<platform::Image> decodeImage(const platform::Bytes& bytes) {
  return platform::Image::decode(bytes, kImageScale);
}

std::string parentDirectory(const std::string& path) { return std::filesystem::path(path).parent_path().string(); }

}  // namespace

std::shared_ptr<OVAdResourceLoader> OVAdResourceLoader::sharedResourceLoader() {
  // Never torn down: it is used until the process ends.
  static const auto* const loader = new std::shared_ptr<OVAdResourceLoader>(create(OVAdURLSession::sharedSession()));
  return *loader;
}

std::shared_ptr<OVAdResourceLoader> OVAdResourceLoader::create(std::shared_ptr<OVAdURLSession> session,
                                                               OVAdResourceLoaderLimits limits) {
  return std::shared_ptr<OVAdResourceLoader>(new OVAdResourceLoader(std::move(session), limits));
}

OVAdResourceLoader::OVAdResourceLoader(std::shared_ptr<OVAdURLSession> session, OVAdResourceLoaderLimits limits)
    : session_(std::move(session)), limits_(limits) {}

void OVAdResourceLoader::fetchCacheObjectAtURL(const platform::URL& url, const platform::URL& cacheFileURL,
                                               OVAdCacheFetchType fetchType, const RetryBlock& retryBlock,
                                               const ImageBlock& imageBlock, const DataBlock& dataBlock,
                                               const VideoBlock& videoBlock) {
  bool firstAttempt = true;
  while (retryBlock ? retryBlock() : firstAttempt) {
    firstAttempt = false;
    if (attemptFetch(url, cacheFileURL, fetchType, imageBlock, dataBlock, videoBlock)) {
      return;
    }
  }
}

void OVAdResourceLoader::fetchImageAtURL(const platform::URL& url, const platform::URL& cacheFileURL,
                                         const RetryBlock& retryBlock, const ImageBlock& imageBlock) {
  fetchCacheObjectAtURL(url, cacheFileURL, OVAdCacheFetchType::Image, retryBlock, imageBlock, nullptr, nullptr);
}

void OVAdResourceLoader::fetchDataAtURL(const platform::URL& url, const platform::URL& cacheFileURL,
                                        const RetryBlock& retryBlock, const DataBlock& dataBlock) {
  fetchCacheObjectAtURL(url, cacheFileURL, OVAdCacheFetchType::Data, retryBlock, nullptr, dataBlock, nullptr);
}

void OVAdResourceLoader::fetchVideoAtURL(const platform::URL& url, const platform::URL& cacheFileURL,
                                         const RetryBlock& retryBlock, const VideoBlock& videoBlock) {
  fetchCacheObjectAtURL(url, cacheFileURL, OVAdCacheFetchType::Video, retryBlock, nullptr, nullptr, videoBlock);
}

bool OVAdResourceLoader::attemptFetch(const platform::URL& url, const platform::URL& cacheFileURL,
                                      OVAdCacheFetchType fetchType, const ImageBlock& imageBlock,
                                      const DataBlock& dataBlock, const VideoBlock& videoBlock) {
  if (fetchType == OVAdCacheFetchType::None) {
    return true;
  }
  const std::optional<std::string> path = cacheFileURL.filePath();
  if (!path) {
    OV_LOG(kOVAdLogLevelVerbose, kFailedToSaveMessage, cacheFileURL.absoluteString().c_str());
    return false;
  }
  // A folder that cannot be made shows as a failed write below.
  platform::createDirectories(parentDirectory(*path));

  if (platform::fileExists(*path)) {
    OV_LOG(kOVAdLogLevelVerbose, kFetchingFromFileMessage, typeNumber(fetchType), url.absoluteString().c_str());
    if (deliverCacheFile(*path, cacheFileURL, fetchType, imageBlock, dataBlock, videoBlock)) {
      return true;
    }
  }

  OV_LOG(kOVAdLogLevelVerbose, kFetchingFromRemoteMessage, typeNumber(fetchType), url.absoluteString().c_str());
  std::optional<platform::Bytes> body = download(url);
  std::shared_ptr<platform::Image> image;
  if (body && fetchType == OVAdCacheFetchType::Image) {
    // An image that does not decode is not worth a file: it would be
    // answered from disk, as nothing, from then on.
    image = decodeImage(*body);
    if (!image) {
      body.reset();
    }
  }
  if (!body || !platform::writeFileAtomically(*path, *body)) {
    OV_LOG(kOVAdLogLevelVerbose, kFailedToSaveMessage, cacheFileURL.absoluteString().c_str());
    return false;
  }
  OV_LOG(kOVAdLogLevelVerbose, kSavedMessage, cacheFileURL.absoluteString().c_str());

  switch (fetchType) {
    case OVAdCacheFetchType::Data:
      if (dataBlock) {
        dataBlock(std::make_shared<const platform::Bytes>(std::move(*body)), true);
      }
      break;
    case OVAdCacheFetchType::Image:
      if (imageBlock) {
        imageBlock(image, true);
      }
      break;
    case OVAdCacheFetchType::Video:
      if (videoBlock) {
        videoBlock(cacheFileURL, true);
      }
      break;
    case OVAdCacheFetchType::None:
      break;
  }
  return true;
}

bool OVAdResourceLoader::deliverCacheFile(const std::string& path, const platform::URL& cacheFileURL,
                                          OVAdCacheFetchType fetchType, const ImageBlock& imageBlock,
                                          const DataBlock& dataBlock, const VideoBlock& videoBlock) {
  if (fetchType == OVAdCacheFetchType::Video) {
    if (videoBlock) {
      videoBlock(cacheFileURL, false);
    }
    return true;
  }
  std::optional<platform::Bytes> bytes = platform::readFile(path);
  std::shared_ptr<platform::Image> image;
  if (bytes && fetchType == OVAdCacheFetchType::Image) {
    image = decodeImage(*bytes);
  }
  if (!bytes || (fetchType == OVAdCacheFetchType::Image && !image)) {
    // An unreadable file, or an image that does not decode, would answer
    // nothing for good: drop it and download again.
    platform::removeItem(path);
    return false;
  }
  if (fetchType == OVAdCacheFetchType::Data) {
    if (dataBlock) {
      dataBlock(std::make_shared<const platform::Bytes>(std::move(*bytes)), false);
    }
  } else if (imageBlock) {
    imageBlock(image, false);
  }
  return true;
}

std::optional<platform::Bytes> OVAdResourceLoader::download(const platform::URL& url) const {
  struct Outcome {
    std::mutex mutex;
    std::condition_variable arrived;
    bool done = false;
    std::optional<platform::Bytes> body;
  };
  auto outcome = std::make_shared<Outcome>();

  platform::URLRequest request(url.absoluteString());
  request.timeoutInterval = limits_.downloadTimeout;
  const auto container = session_->requestWithURLRequest(
      std::move(request),
      [outcome, limit = limits_.maximumResourceBytes](
          const std::shared_ptr<OVAdURLSessionTaskContainer>&, const std::optional<platform::HTTPURLResponse>& response,
          const platform::Bytes& data, const std::optional<platform::Error>& error, double) {
        const bool usable = !error && response && response->statusCode >= kFirstSuccessStatus &&
                            response->statusCode < kFirstRedirectStatus && data.size() <= limit;
        std::lock_guard lock(outcome->mutex);
        if (usable) {
          outcome->body = data;
        }
        outcome->done = true;
        outcome->arrived.notify_all();
      });

  std::unique_lock lock(outcome->mutex);
  const auto patience = std::chrono::duration<double>(limits_.downloadTimeout + kSessionStartAllowance);
  if (!outcome->arrived.wait_for(lock, patience, [&] { return outcome->done; })) {
    lock.unlock();
    container->cancel();
    return std::nullopt;
  }
  return std::move(outcome->body);
}

}  // namespace plexora
