// Helpers that describe the library's surroundings: directory sizes and
// request renderings.
#include "util/OVAdUtility.h"

#include "platform/net/URLRequest.h"
#include "util/OVAdLogger.h"

namespace plexora {

namespace {

constexpr const char* kEnumerationFailedMessage = "Could not enumerate size of file at url: %s";

constexpr const char* kCURLPrefix = "curl -k -i ";
constexpr const char* kPostMethod = "POST";

}  // namespace

std::optional<std::uint64_t> ov_getSizeOfDirectory(const std::string& directory, platform::FileError* error) {
  platform::FileError listingError;
  const auto entries = platform::listDirectory(directory, /*recursive=*/true, &listingError);
  if (!entries) {
    OV_LOG(kOVAdLogLevelWarn, kEnumerationFailedMessage, listingError.path.c_str());
    if (error != nullptr) {
      *error = listingError;
    }
    return std::nullopt;
  }
  std::uint64_t size = 0;
  for (const auto& entry : *entries) {
    if (entry.isRegularFile) {
      size += entry.allocatedSize;
    }
  }
  return size;
}

std::string ov_CURLCommand(const platform::URLRequest& request) {
  std::string command = kCURLPrefix;
  if (request.httpMethod == kPostMethod && !request.httpBody.empty()) {
    command.append("-d \"").append(request.httpBody.begin(), request.httpBody.end()).append("\" ");
  }
  for (const auto& [name, value] : request.headers) {
    command.append("-H \"").append(name).append("\":\"").append(value).append("\" ");
  }
  command.append("\"").append(request.url).append("\"");
  return command;
}

}  // namespace plexora
