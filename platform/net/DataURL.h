// URLs that carry their content themselves ("data:[<media type>][;base64],
// <data>"): the library names built-in images this way, and a session
// answers them without the network, as it answers any other URL.
//
// Thread safety: pure functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Bytes.h"

namespace plexora::platform {

struct DataURLContents {
  // As written, or "text/plain;charset=US-ASCII" when the URL names none.
  std::string mediaType;
  Bytes bytes;
};

bool isDataURL(std::string_view url);

// The content of a data URL: base64 when the media type ends in ";base64",
// percent-encoded text otherwise. Nullopt for anything else, for a missing
// comma, and for data that does not decode.
std::optional<DataURLContents> readDataURL(std::string_view url);

}  // namespace plexora::platform
