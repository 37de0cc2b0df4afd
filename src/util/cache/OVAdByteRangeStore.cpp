#include "util/cache/OVAdByteRangeStore.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

#include "platform/foundation/Files.h"
#include "util/OVAdLogger.h"
#include "util/OVAdSHA1HexDigest.h"

namespace plexora {

namespace {

constexpr const char* kDataSuffix = ".data";
constexpr const char* kIndexSuffix = ".index";
constexpr const char* kSizeKey = "size";
constexpr const char* kTypeKey = "type";
constexpr const char* kWriteFailedMessage = "Failed to keep fetched bytes of %s: %s";

}  // namespace

OVAdByteRangeStore::OVAdByteRangeStore(std::string directory) : directory_(std::move(directory)) {}

std::string OVAdByteRangeStore::pathFor(const std::string& url, const char* suffix) const {
  return directory_ + "/" + OVAdSHA1HexDigest(url) + suffix;
}

std::optional<OVAdByteRangeStore::Index> OVAdByteRangeStore::readIndex(const std::string& url) const {
  std::ifstream in(pathFor(url, kIndexSuffix));
  if (!in) return std::nullopt;
  Index index;
  std::string key;
  if (!(in >> key >> index.fileSize) || key != kSizeKey) return std::nullopt;
  if (!(in >> key) || key != kTypeKey) return std::nullopt;
  in.get();
  std::getline(in, index.contentType);
  std::uint64_t first = 0;
  std::uint64_t end = 0;
  while (in >> first >> end) {
    if (end > first && end <= index.fileSize) index.ranges[first] = end;
  }
  return index;
}

bool OVAdByteRangeStore::writeIndex(const std::string& url, const Index& index) const {
  std::ostringstream text;
  text << kSizeKey << ' ' << index.fileSize << '\n' << kTypeKey << ' ' << index.contentType << '\n';
  for (const auto& [first, end] : index.ranges) text << first << ' ' << end << '\n';
  const std::string bytes = text.str();
  platform::FileError error;
  if (platform::writeFileAtomically(pathFor(url, kIndexSuffix),
                                    platform::ByteView(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                                    &error, platform::WriteDurability::Volatile)) {
    return true;
  }
  OV_LOG(kOVAdLogLevelWarn, kWriteFailedMessage, url.c_str(), error.description().c_str());
  return false;
}

std::optional<OVAdByteRangeStore::Held> OVAdByteRangeStore::read(const std::string& url, std::uint64_t offset,
                                                                 std::uint64_t length) const {
  std::lock_guard lock(mutex_);
  const std::optional<Index> index = readIndex(url);
  if (!index || offset >= index->fileSize) return std::nullopt;
  // A range past the end of the file is served to its end, as a host does.
  const std::uint64_t end = length == 0 ? index->fileSize : std::min(offset + length, index->fileSize);
  // The one held range that starts at or before the offset must reach the end.
  auto range = index->ranges.upper_bound(offset);
  if (range == index->ranges.begin()) return std::nullopt;
  --range;
  if (range->second < end) return std::nullopt;

  std::ifstream in(pathFor(url, kDataSuffix), std::ios::binary);
  Held held{platform::Bytes(end - offset), index->fileSize, index->contentType};
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(reinterpret_cast<char*>(held.bytes.data()), static_cast<std::streamsize>(held.bytes.size()));
  if (!in || static_cast<std::uint64_t>(in.gcount()) != held.bytes.size()) return std::nullopt;
  return held;
}

void OVAdByteRangeStore::write(const std::string& url, std::uint64_t offset, platform::ByteView bytes,
                               std::uint64_t fileSize, const std::string& contentType) {
  if (bytes.empty() || offset + bytes.size() > fileSize) return;
  std::lock_guard lock(mutex_);
  platform::FileError error;
  if (!platform::createDirectories(directory_, &error)) {
    OV_LOG(kOVAdLogLevelWarn, kWriteFailedMessage, url.c_str(), error.description().c_str());
    return;
  }
  std::optional<Index> index = readIndex(url);
  const std::string dataPath = pathFor(url, kDataSuffix);
  if (!index || index->fileSize != fileSize) {
    index = Index{fileSize, contentType, {}};
    // Truncated: the bytes of a file that changed are no longer its bytes.
    std::ofstream(dataPath, std::ios::binary | std::ios::trunc);
  }
  {
    std::fstream out(dataPath, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(offset));
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      OV_LOG(kOVAdLogLevelWarn, kWriteFailedMessage, url.c_str(), dataPath.c_str());
      return;
    }
  }
  // Merged with every held range it touches or overlaps.
  std::uint64_t first = offset;
  std::uint64_t end = offset + bytes.size();
  auto range = index->ranges.upper_bound(first);
  if (range != index->ranges.begin() && std::prev(range)->second >= first) --range;
  while (range != index->ranges.end() && range->first <= end) {
    first = std::min(first, range->first);
    end = std::max(end, range->second);
    range = index->ranges.erase(range);
  }
  index->ranges[first] = end;
  index->contentType = contentType;
  writeIndex(url, *index);
}

}  // namespace plexora
