#include "util/OVAdResourceLoader.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/dispatch/DispatchQueue.h"
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
                                                               OVAdResourceLoaderLimits limits,
                                                               std::shared_ptr<OVAdByteRangeStore> rangeStore) {
  return std::shared_ptr<OVAdResourceLoader>(new OVAdResourceLoader(std::move(session), limits, std::move(rangeStore)));
}

OVAdResourceLoader::OVAdResourceLoader(std::shared_ptr<OVAdURLSession> session, OVAdResourceLoaderLimits limits,
                                       std::shared_ptr<OVAdByteRangeStore> rangeStore)
    : session_(std::move(session)), limits_(limits), rangeStore_(std::move(rangeStore)) {}

struct OVAdResourceLoader::Fetch {
  platform::URL url;
  platform::URL cacheFileURL;
  OVAdCacheFetchType fetchType;
  RetryBlock retryBlock;
  ImageBlock imageBlock;
  DataBlock dataBlock;
  VideoBlock videoBlock;
  FinishedBlock finishedBlock;
  bool firstAttempt = true;

  bool mayAttempt() {
    const bool allowed = retryBlock ? retryBlock() : firstAttempt;
    firstAttempt = false;
    return allowed;
  }
  void finish(bool delivered) const {
    if (finishedBlock) {
      finishedBlock(delivered);
    }
  }
};

void OVAdResourceLoader::fetchCacheObjectAtURL(const platform::URL& url, const platform::URL& cacheFileURL,
                                               OVAdCacheFetchType fetchType, RetryBlock retryBlock,
                                               ImageBlock imageBlock, DataBlock dataBlock, VideoBlock videoBlock,
                                               FinishedBlock finishedBlock) {
  runAttempts(std::make_shared<Fetch>(Fetch{url, cacheFileURL, fetchType, std::move(retryBlock),
                                            std::move(imageBlock), std::move(dataBlock), std::move(videoBlock),
                                            std::move(finishedBlock)}));
}

void OVAdResourceLoader::fetchImageAtURL(const platform::URL& url, const platform::URL& cacheFileURL,
                                         RetryBlock retryBlock, ImageBlock imageBlock, FinishedBlock finishedBlock) {
  fetchCacheObjectAtURL(url, cacheFileURL, OVAdCacheFetchType::Image, std::move(retryBlock), std::move(imageBlock),
                        nullptr, nullptr, std::move(finishedBlock));
}

void OVAdResourceLoader::fetchDataAtURL(const platform::URL& url, const platform::URL& cacheFileURL,
                                        RetryBlock retryBlock, DataBlock dataBlock, FinishedBlock finishedBlock) {
  fetchCacheObjectAtURL(url, cacheFileURL, OVAdCacheFetchType::Data, std::move(retryBlock), nullptr,
                        std::move(dataBlock), nullptr, std::move(finishedBlock));
}

void OVAdResourceLoader::fetchVideoAtURL(const platform::URL& url, const platform::URL& cacheFileURL,
                                         RetryBlock retryBlock, VideoBlock videoBlock, FinishedBlock finishedBlock) {
  fetchCacheObjectAtURL(url, cacheFileURL, OVAdCacheFetchType::Video, std::move(retryBlock), nullptr, nullptr,
                        std::move(videoBlock), std::move(finishedBlock));
}

void OVAdResourceLoader::runAttempts(const std::shared_ptr<Fetch>& fetch) {
  while (fetch->mayAttempt()) {
    switch (startAttempt(fetch)) {
      case AttemptOutcome::Delivered:
        fetch->finish(true);
        return;
      case AttemptOutcome::Downloading:
        return;
      case AttemptOutcome::Failed:
        break;
    }
  }
  fetch->finish(false);
}

OVAdResourceLoader::AttemptOutcome OVAdResourceLoader::startAttempt(const std::shared_ptr<Fetch>& fetch) {
  if (fetch->fetchType == OVAdCacheFetchType::None) {
    return AttemptOutcome::Delivered;
  }
  std::optional<std::string> path = fetch->cacheFileURL.filePath();
  if (!path) {
    OV_LOG(kOVAdLogLevelVerbose, kFailedToSaveMessage, fetch->cacheFileURL.absoluteString().c_str());
    return AttemptOutcome::Failed;
  }
  // A folder that cannot be made shows as a failed write below.
  platform::createDirectories(parentDirectory(*path));

  if (platform::fileExists(*path)) {
    OV_LOG(kOVAdLogLevelVerbose, kFetchingFromFileMessage, typeNumber(fetch->fetchType),
           fetch->url.absoluteString().c_str());
    if (deliverCacheFile(*fetch, *path)) {
      return AttemptOutcome::Delivered;
    }
  }

  OV_LOG(kOVAdLogLevelVerbose, kFetchingFromRemoteMessage, typeNumber(fetch->fetchType),
         fetch->url.absoluteString().c_str());
  download(fetch->url, [self = shared_from_this(), fetch, path = std::move(*path)](std::optional<platform::Bytes> body) {
    // Decoding and writing the file are not the session queue's business:
    // it would hold up every other answer meanwhile.
    platform::DispatchQueue::global()->async([self, fetch, path, body = std::move(body)]() mutable {
      if (self->completeDownload(*fetch, path, std::move(body))) {
        fetch->finish(true);
      } else {
        self->runAttempts(fetch);
      }
    });
  });
  return AttemptOutcome::Downloading;
}

bool OVAdResourceLoader::completeDownload(const Fetch& fetch, const std::string& path,
                                          std::optional<platform::Bytes> body) {
  std::shared_ptr<platform::Image> image;
  if (body && fetch.fetchType == OVAdCacheFetchType::Image) {
    // An image that does not decode is not worth a file: it would be
    // answered from disk, as nothing, from then on.
    image = decodeImage(*body);
    if (!image) {
      body.reset();
    }
  }
  // No flush to the disk: the cache is rebuilt from the network, so a file
  // that a crash leaves empty or missing costs one download (an empty file
  // counts as torn when read), while a flush per file made loading a set of
  // native ads several times slower. The rename still keeps readers from
  // seeing a half-written file.
  if (!body || !platform::writeFileAtomically(path, *body, nullptr, platform::WriteDurability::Volatile)) {
    OV_LOG(kOVAdLogLevelVerbose, kFailedToSaveMessage, fetch.cacheFileURL.absoluteString().c_str());
    return false;
  }
  OV_LOG(kOVAdLogLevelVerbose, kSavedMessage, fetch.cacheFileURL.absoluteString().c_str());

  switch (fetch.fetchType) {
    case OVAdCacheFetchType::Data:
      if (fetch.dataBlock) {
        fetch.dataBlock(std::make_shared<const platform::Bytes>(std::move(*body)), true);
      }
      break;
    case OVAdCacheFetchType::Image:
      if (fetch.imageBlock) {
        fetch.imageBlock(image, true);
      }
      break;
    case OVAdCacheFetchType::Video:
      if (fetch.videoBlock) {
        fetch.videoBlock(fetch.cacheFileURL, true);
      }
      break;
    case OVAdCacheFetchType::None:
      break;
  }
  return true;
}

bool OVAdResourceLoader::deliverCacheFile(const Fetch& fetch, const std::string& path) {
  if (fetch.fetchType == OVAdCacheFetchType::Video) {
    std::error_code failure;
    if (std::filesystem::file_size(path, failure) == 0 || failure) {
      // What a crash leaves of a file written without a flush.
      platform::removeItem(path);
      return false;
    }
    if (fetch.videoBlock) {
      fetch.videoBlock(fetch.cacheFileURL, false);
    }
    return true;
  }
  std::optional<platform::Bytes> bytes = platform::readFile(path);
  std::shared_ptr<platform::Image> image;
  if (bytes && fetch.fetchType == OVAdCacheFetchType::Image) {
    image = decodeImage(*bytes);
  }
  if (!bytes || bytes->empty() || (fetch.fetchType == OVAdCacheFetchType::Image && !image)) {
    // An unreadable or empty file (a crash's leftover), or an image that
    // does not decode, would answer nothing for good: drop it and download
    // again.
    platform::removeItem(path);
    return false;
  }
  if (fetch.fetchType == OVAdCacheFetchType::Data) {
    if (fetch.dataBlock) {
      fetch.dataBlock(std::make_shared<const platform::Bytes>(std::move(*bytes)), false);
    }
  } else if (fetch.imageBlock) {
    fetch.imageBlock(image, false);
  }
  return true;
}

void OVAdResourceLoader::download(const platform::URL& url, DownloadBlock done) const {
  platform::URLRequest request(url.absoluteString());
  request.timeoutInterval = limits_.downloadTimeout;
  // The session answers every request, at the latest when the transfer
  // times out or is cancelled.
  session_->requestWithURLRequest(
      std::move(request),
      [done = std::move(done), limit = limits_.maximumResourceBytes](
          const std::shared_ptr<OVAdURLSessionTaskContainer>&, const std::optional<platform::HTTPURLResponse>& response,
          const platform::Bytes& data, const std::optional<platform::Error>& error, double) {
        const bool usable = !error && response && response->statusCode >= kFirstSuccessStatus &&
                            response->statusCode < kFirstRedirectStatus && data.size() <= limit;
        done(usable ? std::optional<platform::Bytes>(data) : std::nullopt);
      });
}

}  // namespace plexora
