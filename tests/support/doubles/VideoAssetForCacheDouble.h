// A video asset for the resource cache's tests: it records the keys it was
// asked to load, completes its load on another thread or never (as the test
// chooses), and reports the tracks the test gives it. VideoAssetFactoryScope
// installs a factory that makes such assets and records every URL it was
// asked for, and puts the default factory back when it ends.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/URL.h"
#include "util/compatibility/OVAdCreateVideoAsset.h"
#include "util/qnv/asset/QNVAssetForCache.h"

namespace plexora::testing {

class VideoAssetForCacheDouble final : public QNVAssetForCache {
 public:
  enum class Completion { OnGlobalQueue, Never };

  VideoAssetForCacheDouble(platform::URL url, bool isFile, Completion completion)
      : url_(std::move(url)), isFile_(isFile), completion_(completion) {}

  const platform::URL& url() const { return url_; }
  bool isFile() const { return isFile_; }
  std::vector<std::string> requestedKeys() const {
    std::lock_guard lock(mutex_);
    return requestedKeys_;
  }
  int loadCount() const {
    std::lock_guard lock(mutex_);
    return loadCount_;
  }
  void setTracks(QNVMediaType mediaType, std::vector<QNVAssetTrackInfo> tracks) {
    std::lock_guard lock(mutex_);
    tracks_[mediaType] = std::move(tracks);
  }

  void loadValuesAsynchronouslyForKeys(const std::vector<std::string>& keys,
                                       std::function<void()> completionHandler) override {
    {
      std::lock_guard lock(mutex_);
      requestedKeys_ = keys;
      ++loadCount_;
      if (completion_ == Completion::Never) {
        heldHandler_ = std::move(completionHandler);
        return;
      }
    }
    platform::DispatchQueue::global()->async(std::move(completionHandler));
  }

  std::vector<QNVAssetTrackInfo> tracksWithMediaType(QNVMediaType mediaType) const override {
    std::lock_guard lock(mutex_);
    const auto found = tracks_.find(mediaType);
    return found == tracks_.end() ? std::vector<QNVAssetTrackInfo>() : found->second;
  }

 private:
  const platform::URL url_;
  const bool isFile_;
  const Completion completion_;
  mutable std::mutex mutex_;
  std::vector<std::string> requestedKeys_;
  int loadCount_ = 0;
  std::function<void()> heldHandler_;
  std::map<QNVMediaType, std::vector<QNVAssetTrackInfo>> tracks_;
};

class VideoAssetFactoryScope {
 public:
  using Completion = VideoAssetForCacheDouble::Completion;

  explicit VideoAssetFactoryScope(Completion completion = Completion::OnGlobalQueue,
                                  std::vector<QNVAssetTrackInfo> videoTracks = {}) {
    OVAdSetVideoAssetFactory([this, completion, videoTracks](const platform::URL& url, bool isFile) {
      auto asset = std::make_shared<VideoAssetForCacheDouble>(url, isFile, completion);
      asset->setTracks(QNVMediaType::Video, videoTracks);
      std::lock_guard lock(mutex_);
      created_.push_back(asset);
      return asset;
    });
  }
  ~VideoAssetFactoryScope() { OVAdSetVideoAssetFactory(nullptr); }
  VideoAssetFactoryScope(const VideoAssetFactoryScope&) = delete;
  VideoAssetFactoryScope& operator=(const VideoAssetFactoryScope&) = delete;

  std::vector<std::shared_ptr<VideoAssetForCacheDouble>> created() const {
    std::lock_guard lock(mutex_);
    return created_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<VideoAssetForCacheDouble>> created_;
};

}  // namespace plexora::testing
