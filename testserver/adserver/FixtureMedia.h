// The media the fixtures' URLs name. Images are made when asked for rather
// than kept as files: an answer that names "{{BASE_URL}}media/<name>.png"
// (or ".jpg", ".jpeg") gets a picture of that type at the width and height
// the fixture gives beside the URL, or, for an image of a page's markup,
// in its <img> tag's width and height attributes, so a native ad whose
// cache policy waits for its images loads from the bundled server as from
// a real one. Videos are files, made when the server is built
// (scripts/make-adserver-media.sh) and read from a media directory. Names
// no fixture gives and names that are no plain file name are not served.
//
// Thread safety: plain functions; any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "testserver/adserver/FixtureLibrary.h"

namespace plexora::testserver {

inline constexpr const char* kFixtureMediaPrefix = "/media/";

struct FixtureImage {
  std::string contentType;
  std::string body;
};

// The image for "media/<name>" as the fixtures in `fixtures` name it.
std::optional<FixtureImage> fixtureImage(const FixtureLibrary& fixtures, std::string_view name);

// The bytes of the video "<directory>/<name>" (an ".mp4" with a plain file
// name); none when there is no such file.
std::optional<std::string> fixtureVideo(const std::filesystem::path& directory, std::string_view name);

// A picture of the size in the type the name's extension says: a diagonal
// gradient between two colours taken from the name, so each image differs
// from the others. None for any other extension or an empty or absurd size.
std::optional<FixtureImage> paintImage(std::string_view name, std::uint32_t width, std::uint32_t height);

}  // namespace plexora::testserver
