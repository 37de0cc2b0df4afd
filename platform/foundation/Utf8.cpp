#include "platform/foundation/Utf8.h"

#include <cstdint>

namespace plexora::platform {

namespace {

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xc0) == 0x80; }

}  // namespace

bool isValidUTF8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t codePoint = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xc2 && lead <= 0xdf) {
      length = 2;
      codePoint = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
      length = 3;
      codePoint = lead & 0x0f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
      length = 4;
      codePoint = lead & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) {
      return false;
    }
    for (std::size_t j = 1; j < length; ++j) {
      const auto continuation = static_cast<unsigned char>(text[i + j]);
      if ((continuation & 0xc0) != 0x80) {
        return false;
      }
      codePoint = (codePoint << 6) | (continuation & 0x3f);
    }
    const bool overlong = (length == 3 && codePoint < 0x800) || (length == 4 && codePoint < 0x10000);
    const bool surrogate = codePoint >= 0xd800 && codePoint <= 0xdfff;
    if (overlong || surrogate || codePoint > 0x10ffff) {
      return false;
    }
    i += length;
  }
  return true;
}

std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) {
    return text;
  }
  // A character is at most four bytes: the cut moves back over at most
  // three continuation bytes to the lead byte of the character it splits.
  std::size_t cut = maxBytes;
  while (cut > 0 && maxBytes - cut < 3 && isContinuationByte(text[cut])) {
    --cut;
  }
  return text.substr(0, cut);
}

}  // namespace plexora::platform
