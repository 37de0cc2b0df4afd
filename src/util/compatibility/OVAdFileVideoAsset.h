// The asset that stands in while no video engine has installed its factory:
// it plays nothing, but tells honestly what it knows of its URL. Loading
// looks at the file (for a file URL) and records whether it exists and how
// many bytes it holds; it exposes no tracks, so it weighs nothing in the
// resource cache.
//
// Thread safety: every member may be called from any thread.
// Ownership: held through std::shared_ptr; a load in progress keeps the
// asset alive until its handler has run.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/URL.h"
#include "util/qnv/asset/QNVAssetForCache.h"

namespace plexora {

class OVAdFileVideoAsset final : public QNVAssetForCache, public std::enable_shared_from_this<OVAdFileVideoAsset> {
 public:
  static std::shared_ptr<OVAdFileVideoAsset> create(platform::URL url, bool isFile);

  OVAdFileVideoAsset(const OVAdFileVideoAsset&) = delete;
  OVAdFileVideoAsset& operator=(const OVAdFileVideoAsset&) = delete;

  const platform::URL& url() const { return url_; }
  bool isFile() const { return isFile_; }
  // Whether a load has completed.
  bool isLoaded() const;
  // The file's size in bytes once loaded; none before, for a file that is
  // missing or not a regular file, and for a remote URL.
  std::optional<std::uint64_t> fileSize() const;

  // Looks at the file on the default-priority global queue, then calls the
  // handler there. The keys are not looked at.
  void loadValuesAsynchronouslyForKeys(const std::vector<std::string>& keys,
                                       std::function<void()> completionHandler) override;
  std::vector<QNVAssetTrackInfo> tracksWithMediaType(QNVMediaType mediaType) const override { return {}; }

 private:
  OVAdFileVideoAsset(platform::URL url, bool isFile) : url_(std::move(url)), isFile_(isFile) {}

  const platform::URL url_;
  const bool isFile_;
  mutable std::mutex mutex_;
  bool loaded_ = false;
  std::optional<std::uint64_t> fileSize_;
};

}  // namespace plexora
