// The images the fixtures' media URLs name, made when asked for rather than
// kept as files: an answer that names "{{BASE_URL}}media/<name>.png" (or
// ".jpg", ".jpeg") gets a picture of that type at the width and height the
// fixture gives beside the URL, so a native ad whose cache policy waits for
// its images loads from the bundled server as from a real one. Names no
// fixture gives, other kinds (videos) and names that are no plain file name
// are not served.
//
// Thread safety: plain functions; any thread.
#pragma once

#include <cstdint>
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

// A picture of the size in the type the name's extension says: a diagonal
// gradient between two colours taken from the name, so each image differs
// from the others. None for any other extension or an empty or absurd size.
std::optional<FixtureImage> paintImage(std::string_view name, std::uint32_t width, std::uint32_t height);

}  // namespace plexora::testserver
