// A fresh directory under the system's temporary directory, removed with the
// object. Tests point user defaults, caches and databases at one.
#pragma once

#include <filesystem>
#include <string>

namespace plexora::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace plexora::testing
