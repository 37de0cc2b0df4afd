// A video asset as the resource cache sees it: something that loads the
// values of a few keys in the background and may tell the data rate and
// length of its tracks. The engine's assets implement it; the cache uses it
// to prepare a downloaded video once and to weigh it in memory.
//
// Thread safety: every member may be called from any thread.
// Ownership: whoever made the asset holds it through std::shared_ptr; an
// asset keeps its pending completion handler until it has called it.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace plexora {

enum class QNVMediaType { Video, Audio };

// What the cache reads of one track.
struct QNVAssetTrackInfo {
  // Bits per second.
  float estimatedDataRate = 0.0F;
  // Length of the track's time range.
  double durationSeconds = 0.0;
};

class QNVAssetForCache {
 public:
  virtual ~QNVAssetForCache() = default;

  // Loads the values of the keys and then calls the handler once, on a
  // thread of the asset's choosing.
  virtual void loadValuesAsynchronouslyForKeys(const std::vector<std::string>& keys,
                                               std::function<void()> completionHandler) = 0;
  // The tracks of that type; empty when the asset does not expose them.
  virtual std::vector<QNVAssetTrackInfo> tracksWithMediaType(QNVMediaType mediaType) const = 0;
};

}  // namespace plexora
