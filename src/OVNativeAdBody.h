// The native ad's body shortened for display.
//
// Thread safety: a pure function.
#pragma once

#include <cstddef>
#include <string>

namespace plexora {

inline constexpr std::size_t kOVNativeAdBodyLimit = 90;
inline constexpr const char* kOVNativeAdBodyEllipsis = "...";

// A body of at most 90 characters as it is; a longer one cut after the last
// word (with its spacing) that ends before the 90th character, trimmed, or
// its first 90 characters when the first word is already longer, each with
// "..." appended. Characters are Unicode scalar values of the UTF-8 text.
std::string OVNativeAdShortenedBody(const std::string& body);

}  // namespace plexora
