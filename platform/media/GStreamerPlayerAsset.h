// The system player's asset on Linux: a URL, and what GStreamer's
// discoverer learns of it (duration, picture size) when asked to load.
//
// Thread safety: every member may be called from any thread; loading runs
// on the default-priority global queue and calls its handler there.
// Ownership: held through std::shared_ptr; a load in progress keeps the
// asset alive until its handler has run.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/URL.h"
#include "platform/media/SystemPlayer.h"

namespace plexora::platform {

class GStreamerPlayerAsset final : public SystemPlayerAsset, public std::enable_shared_from_this<GStreamerPlayerAsset> {
 public:
  static std::shared_ptr<GStreamerPlayerAsset> create(URL url);

  const URL& url() const { return url_; }

  // The keys are not looked at: one discovery learns everything.
  void loadValuesAsynchronouslyForKeys(const std::vector<std::string>& keys,
                                       std::function<void()> completionHandler) override;
  MediaTime duration() const override;
  // A load already under way still runs its handler; its results are kept.
  void cancelLoading() override {}
  Size naturalSize() const override;
  std::optional<Error> error() const override;

 private:
  explicit GStreamerPlayerAsset(URL url) : url_(std::move(url)) {}
  void discover();

  const URL url_;
  mutable std::mutex mutex_;
  MediaTime duration_ = MediaTime::zero();
  Size naturalSize_;
  std::optional<Error> error_;
};

}  // namespace plexora::platform
