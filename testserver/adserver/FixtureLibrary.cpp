#include "testserver/adserver/FixtureLibrary.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace plexora::testserver {

namespace {

constexpr std::string_view kFixtureExtension = ".json";

bool isPlainName(std::string_view name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
  });
}

}  // namespace

std::string substituteBaseURL(std::string text, std::string_view baseURL) {
  std::size_t at = 0;
  while ((at = text.find(kBaseURLPlaceholder, at)) != std::string::npos) {
    text.replace(at, kBaseURLPlaceholder.size(), baseURL);
    at += baseURL.size();
  }
  return text;
}

std::filesystem::path FixtureLibrary::defaultDirectory() { return PLEXORA_AD_SERVER_FIXTURE_DIR; }

std::optional<std::string> FixtureLibrary::read(std::string_view name) const {
  if (!isPlainName(name)) return std::nullopt;
  std::ifstream file(directory_ / (std::string(name) + std::string(kFixtureExtension)), std::ios::binary);
  if (!file) return std::nullopt;
  std::ostringstream text;
  text << file.rdbuf();
  if (file.bad()) return std::nullopt;
  return text.str();
}

std::vector<std::string> FixtureLibrary::names() const {
  std::vector<std::string> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(directory_, error)) {
    const std::filesystem::path& path = entry.path();
    if (entry.is_regular_file(error) && path.extension() == kFixtureExtension) {
      found.push_back(path.stem().string());
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace plexora::testserver
