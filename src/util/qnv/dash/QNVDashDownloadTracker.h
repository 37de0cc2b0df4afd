// Per-track bookkeeping of a DASH stream's downloads: the one request in
// flight, how far it has come, where the previous one stopped, and running
// totals of bytes asked for and received. It counts only: it starts and
// cancels nothing and estimates no bandwidth.
//
// Byte space: the file's offsets for a fragmented stream; the concatenation
// of the segments received for a segmented one.
//
// Thread safety: none; used on the media-state queue only.
// Ownership: the asset owns one tracker per track for its whole life and
// lends it to each data loader of that track; the tracker holds the request
// in flight and the disk-cache request strongly.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "util/qnv/asset/QNVAssetResourceLoading.h"

namespace plexora {

class QNVDashDownloadTracker {
 public:
  std::string description() const;
  bool fetchInProgress() const { return resourceLoaderRequest_ != nullptr; }

  // `length` 0: open-ended (a whole segment).
  void setRequest(std::shared_ptr<QNVAssetResourceLoadingRequest> request, uint64_t offset, uint64_t length,
                  std::string representation);
  // A request that turned out longer than asked keeps the longer length.
  void markRequestAsFinishedWithRequestLength(uint64_t length);
  void markRequestAsCanceled();
  // Back to zero for a seek; the disk-cache request and the prefetch count
  // stay.
  void clearDataForSeek();
  void markBytesReceived(uint64_t count);

  const std::shared_ptr<QNVAssetResourceLoadingRequest>& resourceLoaderRequest() const {
    return resourceLoaderRequest_;
  }
  uint64_t currentRequestOffset() const { return currentRequestOffset_; }
  uint64_t currentRequestLength() const { return currentRequestLength_; }
  uint64_t currentRequestBytesReceived() const { return currentRequestBytesReceived_; }
  const std::optional<std::string>& currentRequestRepresentationId() const { return currentRequestRepresentationId_; }
  uint64_t lastRequestReceiveOffset() const { return lastRequestReceiveOffset_; }
  const std::optional<std::string>& lastRequestRepresentationId() const { return lastRequestRepresentationId_; }

  uint64_t bytesRequested = 0;
  uint64_t bytesReceived = 0;
  std::shared_ptr<QNVAssetResourceLoadingRequest> diskCacheResourceLoaderRequest;
  uint64_t bytesFromPrefetchCache = 0;

 private:
  void recordStop();
  void clearCurrentRequestData();

  std::shared_ptr<QNVAssetResourceLoadingRequest> resourceLoaderRequest_;
  uint64_t currentRequestOffset_ = 0;
  uint64_t currentRequestLength_ = 0;
  uint64_t currentRequestBytesReceived_ = 0;
  std::optional<std::string> currentRequestRepresentationId_;
  uint64_t lastRequestReceiveOffset_ = 0;
  std::optional<std::string> lastRequestRepresentationId_;
};

}  // namespace plexora
