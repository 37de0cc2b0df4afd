// The ad server's answer files: "<name>.json" in one directory, read anew on
// every use (so a demo picks up edits without a restart), with every
// "{{BASE_URL}}" replaced by the serving server's base URL so tracker and
// media URLs point back at it.
//
// Thread safety: immutable after construction; any thread may read.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plexora::testserver {

inline constexpr std::string_view kBaseURLPlaceholder = "{{BASE_URL}}";

// Every occurrence of kBaseURLPlaceholder in `text` replaced by `baseURL`.
std::string substituteBaseURL(std::string text, std::string_view baseURL);

class FixtureLibrary final {
 public:
  // The fixtures kept under version control beside the server's sources.
  static std::filesystem::path defaultDirectory();

  explicit FixtureLibrary(std::filesystem::path directory) : directory_(std::move(directory)) {}

  const std::filesystem::path& directory() const { return directory_; }
  // The text of "<name>.json" as stored; none when the name is no plain
  // file name (letters, digits, "_" and "-" only: a placement identifier
  // from a request must not reach outside the directory) or the file
  // cannot be read.
  std::optional<std::string> read(std::string_view name) const;
  // The names (without ".json") of every fixture, sorted.
  std::vector<std::string> names() const;

 private:
  const std::filesystem::path directory_;
};

}  // namespace plexora::testserver
