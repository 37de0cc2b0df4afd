// Downloads one progressive MP4 file in consecutive byte ranges for the
// remote MP4 asset: one request in flight at a time, every answered block
// handed to the data block distributor at its file offset. Both tracks come
// through the one stream; track arguments are only handed back.
//
// The fetcher contract it relies on (see QNVAssetResourceLoading.h): each
// request names an offset and a length (a length of 0 asks for everything
// from the offset to the end of the resource); the fetcher sets the
// resource's total size on the content information before it completes,
// answers the bytes in order from the offset, and ends with exactly one
// finish. A fetcher that never gives a total size leaves the file never
// "fully downloaded": only a known size above 0, reached by the bytes
// received, is.
//
// A request that failed is no longer in flight: bytes or a completion that
// arrive for it later are refused, like those of a cancelled or replaced
// request.
//
// Thread safety: every call on the asset's queue; both fetcher callbacks hop
// there before touching state. The fetcher is called on its own queue.
// Ownership: held by the asset through std::shared_ptr; the callbacks of a
// request hold the loader weakly, so a released loader ignores late answers.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/URL.h"
#include "util/qnv/asset/QNVAssetResourceLoader.h"
#include "util/qnv/asset/QNVDataLoader.h"

namespace plexora {

class QNVMp4DataLoader final : public QNVDataLoader, public std::enable_shared_from_this<QNVMp4DataLoader> {
 public:
  static std::shared_ptr<QNVMp4DataLoader> initWithUrl(platform::URL url, uint64_t bitrate,
                                                       std::shared_ptr<QNVDataBlockDistributor> distributor,
                                                       platform::DispatchQueuePtr dispatchQueue, bool async);

  std::string description() const;

  void setDelegate(std::weak_ptr<QNVDataLoaderDelegate> delegate) override;
  void fetchFirstRequestForSeconds(uint32_t seconds, uint64_t initializationAtomSize, QNVTrackIndex track) override;
  void seekForwardToOffset(uint64_t offset, QNVTrackIndex track) override;
  void fetchToOffset(uint64_t offset, QNVTrackIndex track) override;
  bool isFullyDownloaded(QNVTrackIndex) const override { return fullyLoaded_; }
  void resetWithNewVideoDataBlockDistributor(std::shared_ptr<QNVDataBlockDistributor> video,
                                             std::shared_ptr<QNVDataBlockDistributor> audio) override;
  void cancelRequests() override;
  uint64_t currentReceiveOffsetForTrack(QNVTrackIndex) const override { return receiveOffset_; }
  uint64_t currentRequestOffsetForTrack(QNVTrackIndex) const override { return requestOffset_; }
  bool fetchInProgressForTrack(QNVTrackIndex) const override { return receiveOffset_ != requestOffset_; }
  uint64_t fileSize() const override { return fileSize_; }
  std::shared_ptr<QNVAssetResourceLoader> resourceLoader() const override { return resourceLoader_; }

  void _forTestingOverrideResourceLoader(std::shared_ptr<QNVAssetResourceLoader> loader) {
    resourceLoader_ = std::move(loader);
  }

 private:
  QNVMp4DataLoader(platform::URL url, uint64_t bitrate, std::shared_ptr<QNVDataBlockDistributor> distributor,
                   platform::DispatchQueuePtr dispatchQueue, bool async);

  void fetch(uint64_t offset, uint64_t length);
  // `serial` names the request the answer belongs to.
  void received(platform::Bytes bytes, uint64_t offset, uint64_t serial);
  void completed(const std::optional<platform::Error>& error, uint64_t serial, int64_t contentLength,
                 int64_t requestedOffset, int64_t requestedLength);

  std::weak_ptr<QNVDataLoaderDelegate> delegate_;
  std::shared_ptr<QNVAssetResourceLoader> resourceLoader_;
  std::shared_ptr<QNVDataBlockDistributor> dataBlockDistributor_;
  const platform::DispatchQueuePtr dispatchQueue_;
  std::shared_ptr<QNVLoadingRequest> currentResourceLoaderRequest_;
  // Each request's number, so an answer is matched to the request in flight
  // without comparing addresses that a later request may reuse.
  uint64_t requestSerial_ = 0;
  uint64_t requestOffset_ = 0;
  uint64_t receiveOffset_ = 0;
  bool fullyLoaded_ = false;
  const uint64_t bitrate_;
  const platform::URL url_;
  uint64_t fileSize_ = 0;
  const bool async_;
};

}  // namespace plexora
