#include "util/cache/OVAdCacheFileURL.h"

#include "platform/foundation/Paths.h"
#include "platform/foundation/SHA1.h"

namespace plexora {

namespace {

constexpr const char* kCacheFolder = "plexora/cache";
constexpr const char* kDataFolder = "data";
constexpr const char* kDataExtension = "data";
constexpr const char* kImageFolder = "image";
constexpr const char* kImageExtension = "jpg";
constexpr const char* kVideoFolder = "video";
constexpr const char* kVideoExtension = "mp4";

std::string joinPath(const std::string& directory, const std::string& name) {
  if (directory.empty() || directory.back() == '/') {
    return directory + name;
  }
  return directory + "/" + name;
}

}  // namespace

std::string OVAdCacheRootPath() { return joinPath(platform::cachesDirectory(), kCacheFolder); }

std::optional<platform::URL> OVAdCacheFileURL(OVAdCacheFetchType fetchType, const platform::URL& url) {
  const char* folder = nullptr;
  const char* extension = nullptr;
  switch (fetchType) {
    case OVAdCacheFetchType::None:
      return platform::URL::fromFilePath(OVAdCacheRootPath());
    case OVAdCacheFetchType::Data:
      folder = kDataFolder;
      extension = kDataExtension;
      break;
    case OVAdCacheFetchType::Image:
      folder = kImageFolder;
      extension = kImageExtension;
      break;
    case OVAdCacheFetchType::Video:
      folder = kVideoFolder;
      extension = kVideoExtension;
      break;
  }
  if (folder == nullptr) {
    return std::nullopt;
  }
  const std::string fileName = platform::sha1Hex(platform::asBytes(url.absoluteString())) + "." + extension;
  return platform::URL::fromFilePath(joinPath(joinPath(OVAdCacheRootPath(), folder), fileName));
}

}  // namespace plexora
