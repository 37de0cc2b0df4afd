#include "util/compatibility/OVAdFileVideoAsset.h"

#include <filesystem>
#include <system_error>

#include "platform/dispatch/DispatchQueue.h"

namespace plexora {

namespace {

std::optional<std::uint64_t> regularFileSize(const platform::URL& url) {
  const std::optional<std::string> path = url.filePath();
  if (!path) {
    return std::nullopt;
  }
  std::error_code error;
  if (!std::filesystem::is_regular_file(*path, error)) {
    return std::nullopt;
  }
  const std::uintmax_t size = std::filesystem::file_size(*path, error);
  if (error) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(size);
}

}  // namespace

std::shared_ptr<OVAdFileVideoAsset> OVAdFileVideoAsset::create(platform::URL url, bool isFile) {
  return std::shared_ptr<OVAdFileVideoAsset>(new OVAdFileVideoAsset(std::move(url), isFile));
}

bool OVAdFileVideoAsset::isLoaded() const {
  std::lock_guard lock(mutex_);
  return loaded_;
}

std::optional<std::uint64_t> OVAdFileVideoAsset::fileSize() const {
  std::lock_guard lock(mutex_);
  return fileSize_;
}

void OVAdFileVideoAsset::loadValuesAsynchronouslyForKeys(const std::vector<std::string>& keys,
                                                         std::function<void()> completionHandler) {
  platform::DispatchQueue::global()->async(
      [self = shared_from_this(), completionHandler = std::move(completionHandler)] {
        const std::optional<std::uint64_t> size =
            self->isFile_ ? regularFileSize(self->url_) : std::optional<std::uint64_t>();
        {
          std::lock_guard lock(self->mutex_);
          self->fileSize_ = size;
          self->loaded_ = true;
        }
        if (completionHandler) {
          completionHandler();
        }
      });
}

}  // namespace plexora
