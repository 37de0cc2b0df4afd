// The resource cache's files on disk: measured as a whole and wiped as a
// whole.
#include "platform/foundation/Files.h"
#include "util/cache/OVAdCache.h"
#include "util/cache/OVAdCacheFileURL.h"
#include "util/OVAdLogger.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr const char* kSizeFailedMessage = "Failed to detect currect disk cache size due to error: %s";
constexpr const char* kWipeIfNeededFailedMessage =
    "Failed to clear disk cache with current size %llu and limit %zu due to error %s.";
constexpr const char* kWipeFailedMessage = "Failed to clear local cache: %s";

}  // namespace

std::uint64_t OVAdCache::diskCacheSize() const {
  const std::string root = OVAdCacheRootPath();
  // Nothing downloaded yet is no failure.
  if (!platform::isDirectory(root)) {
    return 0;
  }
  platform::FileError error;
  const std::optional<std::uint64_t> size = ov_getSizeOfDirectory(root, &error);
  if (!size) {
    OV_LOG(kOVAdLogLevelWarn, kSizeFailedMessage, error.description().c_str());
    return 0;
  }
  return *size;
}

bool OVAdCache::wipeDiskCacheIfNeeded() {
  std::lock_guard lock(diskSizeMutex_);
  if (!knownDiskSize_) {
    knownDiskSize_ = diskCacheSize();
  }
  const std::uint64_t size = *knownDiskSize_;
  if (size <= diskCacheLimit_) {
    return false;
  }
  knownDiskSize_.reset();
  platform::FileError error;
  if (!platform::removeItem(OVAdCacheRootPath(), &error)) {
    OV_LOG(kOVAdLogLevelWarn, kWipeIfNeededFailedMessage, static_cast<unsigned long long>(size),
           static_cast<std::size_t>(diskCacheLimit_), error.description().c_str());
  }
  return true;
}

void OVAdCache::noteDiskCacheFileWritten(const platform::URL& fileURL) {
  const std::optional<std::string> path = fileURL.filePath();
  const std::optional<std::uint64_t> size = path ? platform::allocatedFileSize(*path) : std::nullopt;
  std::lock_guard lock(diskSizeMutex_);
  // Before the first check the measurement will include the file.
  if (knownDiskSize_ && size) {
    *knownDiskSize_ += *size;
  }
}

void OVAdCache::wipeDiskCache() {
  std::lock_guard lock(diskSizeMutex_);
  knownDiskSize_.reset();
  const std::string root = OVAdCacheRootPath();
  platform::FileError error;
  if (platform::fileExists(root) && !platform::removeItem(root, &error)) {
    OV_LOG(kOVAdLogLevelDebug, kWipeFailedMessage, error.description().c_str());
  }
}

}  // namespace plexora
