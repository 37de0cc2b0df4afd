// The video fetcher's disk cache of byte ranges: the bytes of remote media
// files that were fetched by range, kept in a folder so that a later request
// for bytes already held (by the same process or a later one) needs no
// network. A stream's ahead-of-playback disk-cache downloads land here, and
// so do its playback ranges.
//
// Per file, under the SHA-1 of its URL: "<digest>.data" holds the bytes at
// their own offsets, "<digest>.index" the file's size, content type and the
// held ranges. The bytes are written before the index that names them, so
// an index never claims bytes that were not written. An answer that gives
// the file another size starts the entry anew: the file has changed.
//
// Thread safety: every member may be called from any thread; one mutex
// serialises the folder's files.
// Ownership: the store owns its folder's files; the fetcher holds the store
// through std::shared_ptr.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Bytes.h"

namespace plexora {

class OVAdByteRangeStore final {
 public:
  struct Held {
    platform::Bytes bytes;
    std::uint64_t fileSize = 0;
    std::string contentType;
  };

  // The folder is made on the first write.
  explicit OVAdByteRangeStore(std::string directory);

  // The bytes [offset, offset + length) of the file at `url` when all of
  // them are held; length 0, or a range past the end, means to the end of
  // the file.
  std::optional<Held> read(const std::string& url, std::uint64_t offset, std::uint64_t length) const;
  // Keeps `bytes`, found at `offset` of a file of `fileSize` bytes.
  void write(const std::string& url, std::uint64_t offset, platform::ByteView bytes, std::uint64_t fileSize,
             const std::string& contentType);

 private:
  struct Index {
    std::uint64_t fileSize = 0;
    std::string contentType;
    // First byte to end (exclusive), merged, in order.
    std::map<std::uint64_t, std::uint64_t> ranges;
  };

  std::string pathFor(const std::string& url, const char* suffix) const;
  std::optional<Index> readIndex(const std::string& url) const;
  bool writeIndex(const std::string& url, const Index& index) const;

  const std::string directory_;
  mutable std::mutex mutex_;
};

}  // namespace plexora
