// The downloader interface of the engine's assets, and what it tells its
// asset.
//
// Thread safety: every call comes on the asset's queue, and so do the
// delegate's callbacks.
// Ownership: the asset owns its loader; the loader holds the asset weakly.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/foundation/Error.h"
#include "util/qnv/asset/QNVDataBlockDistributor.h"
#include "util/qnv/asset/QNVMediaAsset.h"

namespace plexora {

class QNVAssetResourceLoader;

class QNVDataLoaderDelegate {
 public:
  virtual ~QNVDataLoaderDelegate() = default;
  virtual void loadingDidFailWithError(const platform::Error& error) = 0;
  // Bytes arrived; `isComplete` when a request has finished.
  virtual void dataWasReceivedForTrack(QNVTrackIndex track, bool isComplete) = 0;
  virtual void reportWarning(const platform::Error& error) = 0;
};

class QNVDataLoader {
 public:
  virtual ~QNVDataLoader() = default;

  // Only the first delegate is taken.
  virtual void setDelegate(std::weak_ptr<QNVDataLoaderDelegate> delegate) = 0;
  // The first request: `seconds` of media after a header of
  // `initializationAtomSize` bytes (0 when unknown: only the first box
  // headers are asked for).
  virtual void fetchFirstRequestForSeconds(uint32_t seconds, uint64_t initializationAtomSize,
                                           QNVTrackIndex track) = 0;
  // Bytes before the offset are not downloaded.
  virtual void seekForwardToOffset(uint64_t offset, QNVTrackIndex track) = 0;
  // Fetches from what was requested so far up to the offset (exclusive).
  virtual void fetchToOffset(uint64_t offset, QNVTrackIndex track) = 0;
  virtual bool isFullyDownloaded(QNVTrackIndex track) const = 0;
  virtual void resetWithNewVideoDataBlockDistributor(std::shared_ptr<QNVDataBlockDistributor> video,
                                                     std::shared_ptr<QNVDataBlockDistributor> audio) = 0;
  virtual void cancelRequests() = 0;
  virtual uint64_t currentReceiveOffsetForTrack(QNVTrackIndex track) const = 0;
  virtual uint64_t currentRequestOffsetForTrack(QNVTrackIndex track) const = 0;
  virtual bool fetchInProgressForTrack(QNVTrackIndex track) const = 0;
  // Total size of the resource once a request has completed; 0 before.
  virtual uint64_t fileSize() const = 0;
  virtual std::shared_ptr<QNVAssetResourceLoader> resourceLoader() const = 0;
};

}  // namespace plexora
